// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <mutex>
#include <string>

#include "Audio/AudioWrapper.h"
#include "Audio/VizCollector.h"
#include "Core/MemoryStream.h"
#include "Other/AudioInterfaceBase.h"
#include "Other/AudioInterfaceClient.h"
#include "Other/ParamInterfaceConnector.h"
#include "Platform/RunLoop.h"
#include "Support/Instance.h"
#include "Support/Patience.h"
#include "Support/Printers.h"
#include "Support/ShownErrors.h"

using namespace zel;

namespace {

using test::kPatience;
using test::kPatienceMs;

const char* const kDelay = "plugin.modMain.modLagwell.adelay";

bool pump(const std::function<bool()>& until) { return platform::standaloneRunLoop().runUntil(until, kPatienceMs); }

std::string nameOf(const std::vector<uint8_t>& block) {
    CMemoryReaderStatic in(block.data(), block.size());
    CString name;
    return in.readString(name) ? std::string() : name.utf8();
}

struct CFakeFacts final : CAudioInterfaceDataProvider {
    size_t internalChannelCount() const override { return 8; }
    size_t groupCount() const override { return 4; }
    void ioChannelCounts(size_t& inputs, size_t& outputs, size_t& sidechain) const override {
        inputs = 2;
        outputs = 6;
        sidechain = 1;
    }
    double sampleRate() const override { return 48000.0; }
    CErrorPtr importChannelLabels(const std::vector<CString>& labels) override {
        imported = labels;
        return nullptr;
    }
    std::vector<CString> imported;
};

// Notes the name of every message it receives, in arrival order.
class CRecordingClient final : public CAudioInterfaceClient {
public:
    std::vector<std::string> received;
    size_t count(const char* name) const { return size_t(std::count(received.begin(), received.end(), name)); }

protected:
    CErrorPtr dispatchBaseMessage(const CString& name, CPosInputStream& fields) override {
        received.push_back(name.utf8());
        return CAudioInterfaceClient::dispatchBaseMessage(name, fields);
    }
};

// Every value a listened parameter took on the editor side: group and first
// element of each update.
struct CValueLog final : CUpdateListener {
    std::vector<std::pair<uint32_t, double>> values;
    ~CValueLog() override { detach(); }
    void update(CUpdateNotifier& notifier, const CString& what) override {
        if (what != bridge::kUpdateParam) return;
        const auto& p = static_cast<CParamInterfaceClient::CParam&>(notifier);
        values.emplace_back(p.lastSlice().group, p.value().read(p.lastSlice().group, p.lastSlice().first));
    }
};

// Holds the base's sending thread inside "update-undo-history" (which a
// preset activation sends from inside the registry's lock) until opened.
class CGatedConnector final : public CParamInterfaceClientConnectorUni {
public:
    CErrorPtr receive(std::vector<uint8_t> block) override {
        if (nameOf(block) == bridge::kUpdateUndoHistory) {
            std::unique_lock<std::mutex> lock(m_lock);
            if (m_armed) {
                m_armed = false;
                m_inside = true;
                m_changed.notify_all();
                m_changed.wait(lock, [this] { return m_open; });
            }
        }
        return CParamInterfaceClientConnectorUni::receive(std::move(block));
    }
    void arm() {
        std::lock_guard<std::mutex> lock(m_lock);
        m_armed = true;
    }
    bool waitInside() {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, kPatience, [this] { return m_inside; });
    }
    void open() {
        std::lock_guard<std::mutex> lock(m_lock);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_armed = false, m_inside = false, m_open = false;
};

// Notes when a "change-param" block enters the base and when it comes
// back, and which thread carries it.
class CDoorConnector final : public CParamInterfaceClientConnectorUni {
public:
    CErrorPtr sendToBase(const std::vector<uint8_t>& block) override {
        const bool watched = nameOf(block) == bridge::kChangeParam;
        if (watched) {
            std::lock_guard<std::mutex> lock(m_lock);
            m_thread = gettid();
            m_entered = true;
            m_changed.notify_all();
        }
        CErrorPtr err = CParamInterfaceClientConnectorUni::sendToBase(block);
        if (watched) m_left = true;
        return err;
    }
    bool waitEntered() {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, kPatience, [this] { return m_entered; });
    }
    bool left() const { return m_left; }
    // Whether the carrying thread sleeps (state "S" in /proc): how the test
    // sees, without guessing at a time, that it waits for a lock.
    bool carrierSleeps() {
        std::lock_guard<std::mutex> lock(m_lock);
        std::ifstream stat("/proc/self/task/" + std::to_string(m_thread) + "/stat");
        const std::string text((std::istreambuf_iterator<char>(stat)), {});
        const size_t close = text.rfind(')');
        return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'S';
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    pid_t m_thread = 0;
    bool m_entered = false;
    std::atomic<bool> m_left{false};
};

// One editor on the instance, kept under the instance's root as an editor
// tree would keep it: its connector and its client.
struct CEditor {
    CObject* node = nullptr;
    CParamInterfaceClientConnectorUni* connector = nullptr;
    CRecordingClient* client = nullptr;

    CEditor(CObject& root, const char* name, std::unique_ptr<CParamInterfaceClientConnectorUni> ownConnector = {},
            const char* fps = nullptr, const CString& plugin = "plugin") {
        EXPECT_EQ(root.createChild("core:object", name, node), nullptr);
        if (ownConnector) {
            ownConnector->setClassInfo(CClassRegistry::instance().find("other:param-interface-client-connector-uni"));
            ownConnector->setName("connector");
            connector = ownConnector.get();
            EXPECT_EQ(node->addChild(std::move(ownConnector)), nullptr);
        } else {
            EXPECT_EQ(node->createChild("other:param-interface-client-connector-uni", "connector", connector), nullptr);
        }
        connector->setAttr("base-connector", plugin + ".interface-base-connector");
        auto owned = std::make_unique<CRecordingClient>();
        owned->setName("client");
        owned->setAttr("client-connector", CString(name) + ".connector");
        owned->setAttr("group-names-param", plugin + ".modMain.io-params.group-names");
        if (fps) owned->setAttr("fps", fps);
        client = owned.get();
        EXPECT_EQ(node->addChild(std::move(owned)), nullptr);
        CErrorPtr err = node->init();
        EXPECT_EQ(err, nullptr) << (err ? err->describe() : "");
    }

    // Listens and waits for the parameter's information and value.
    CParamInterfaceClient::CParam* listen(const char* name) {
        CParamInterfaceClient::CParam* p = nullptr;
        EXPECT_EQ(client->listenParam(name, p), nullptr);
        if (!p) return nullptr;
        EXPECT_TRUE(pump([&] { return p->hasInfo() && p->value().hasValue(); })) << name;
        return p;
    }
    CParamInterfaceClient::CRegistry* listenRegistry(const char* name = "param-registry") {
        CParamInterfaceClient::CRegistry* r = nullptr;
        EXPECT_EQ(client->listenRegistry(name, r), nullptr);
        if (!r) return nullptr;
        EXPECT_TRUE(pump([&] { return !r->id().empty(); })) << name;
        return r;
    }
    // Sends a block as it stands, past the client's own checks.
    CErrorPtr sendRaw(const char* name, const bridge::CFields& fields) {
        std::vector<uint8_t> block;
        EXPECT_EQ(bridge::encode(name, fields, block), nullptr);
        return connector->sendToBase(block);
    }
};

class Bridge : public ::testing::Test {
protected:
    void SetUp() override { base().setDataProvider(&facts); }

    CAudioInterfaceBase& base() {
        return *dynamic_cast<CAudioInterfaceBase*>(inst.root.findObject("plugin.interface-base"));
    }
    std::vector<CString> history() { return inst.undo().history(); }

    CInstance inst;
    CFakeFacts facts;
};

std::vector<uint8_t> presetWithDelay(CInstance& inst, double digit) {
    const double before = inst.value("modLagwell.adelay");
    CAudioParamTransaction tx(*inst.collector);
    tx.setElements(inst.param("modLagwell.adelay"), 0, 0, {digit});
    tx.finish("");
    CMemoryWriter out;
    EXPECT_EQ(inst.registry().acquirePreset(false, -1, out), nullptr);
    CAudioParamTransaction back(*inst.collector);
    back.setElements(inst.param("modLagwell.adelay"), 0, 0, {before});
    back.finish("");
    return out.take();
}

}  // namespace

// The fields the two ends must agree on byte for byte.
TEST(BridgeMessages, FixedFieldLayouts) {
    auto reader = [](const std::vector<uint8_t>& block, const char* name) {
        auto in = std::make_unique<CMemoryReader>(block);
        CString read;
        EXPECT_EQ(in->readString(read), nullptr);
        EXPECT_EQ(read, name);
        return in;
    };
    uint32_t u = 0;

    bridge::CUndoHistory history;
    history.position = 1;
    history.names = {"Undo history start", "Audio delay"};
    std::vector<uint8_t> block;
    ASSERT_EQ(bridge::encode(bridge::kUpdateUndoHistory, history, block), nullptr);
    auto in = reader(block, "update-undo-history");
    ASSERT_EQ(in->readUInt32(u), nullptr);
    EXPECT_EQ(u, 1u) << "position first";
    ASSERT_EQ(in->readUInt32(u), nullptr);
    EXPECT_EQ(u, 2u) << "then the entry count";
    CString name;
    ASSERT_EQ(in->readString(name), nullptr);
    EXPECT_EQ(name, "Undo history start");

    bridge::CListen listen;
    listen.name = kDelay;
    listen.handle = 0x20005;
    ASSERT_EQ(bridge::encode(bridge::kListenParam, listen, block), nullptr);
    in = reader(block, "listen-param");
    ASSERT_EQ(in->readString(name), nullptr);
    EXPECT_EQ(name, kDelay);
    ASSERT_EQ(in->readUInt32(u), nullptr);
    EXPECT_EQ(u, 0x20005u);

    // Two u32, then the value slice record with its eight-field header.
    CAudioParamInfo info;
    info.elementSize = 2;
    CAudioParamStorage value(info);
    value.setComponent(1, 3, 1, 0.5);
    CMemoryWriter slice;
    ASSERT_EQ(value.saveSlice(slice, {1, 3, 1}), nullptr);
    bridge::CChangeParam change;
    change.handle = 0x10001;
    change.undoId = 42;
    change.slice = slice.bytes();
    ASSERT_EQ(bridge::encode(bridge::kChangeParam, change, block), nullptr);
    in = reader(block, "change-param");
    for (uint32_t expected : {0x10001u, 42u, 1u, 3u, 1u}) {
        ASSERT_EQ(in->readUInt32(u), nullptr);
        EXPECT_EQ(u, expected);
    }
    bridge::CChangeParam back;
    CMemoryReader whole(block);
    ASSERT_EQ(whole.readString(name), nullptr);
    ASSERT_EQ(back.read(whole), nullptr);
    EXPECT_EQ(back.slice, change.slice) << "the slice runs to the end of the block";
}

TEST_F(Bridge, BothEditorsHearAChangeMadeInEither) {
    CEditor a(inst.root, "ui-a"), b(inst.root, "ui-b");
    EXPECT_NE(a.connector->identity(), b.connector->identity());
    auto* pa = a.listen(kDelay);
    auto* pb = b.listen(kDelay);
    ASSERT_TRUE(pa && pb);
    EXPECT_EQ(pa->handle() >> 16, uint32_t(a.connector->identity())) << "the identity rides in the handle";
    EXPECT_EQ(pa->info().visualName, "Audio delay");
    EXPECT_EQ(pa->info().maxValue(0), 9.0);

    ASSERT_EQ(a.client->changeParam(*pa, 1, 0, {4.0}), nullptr);
    EXPECT_EQ(inst.value("modLagwell.adelay", 1), 4.0);
    EXPECT_TRUE(pump([&] { return pb->value().read(1, 0) == 4.0 && pa->value().read(1, 0) == 4.0; }));

    ASSERT_EQ(b.client->changeParam(*pb, 1, 0, {99.0}), nullptr);
    EXPECT_EQ(inst.value("modLagwell.adelay", 1), 9.0) << "clamped on the audio side";
    EXPECT_TRUE(pump([&] { return pa->value().read(1, 0) == 9.0 && pb->value().read(1, 0) == 9.0; }));
    EXPECT_EQ(history().size(), 1u) << "changes without an undo id leave no entry";

    // Listening is counted per editor; the last unlisten stops the updates.
    CParamInterfaceClient::CParam* again = nullptr;
    ASSERT_EQ(b.client->listenParam(kDelay, again), nullptr);
    EXPECT_EQ(again, pb);
    ASSERT_EQ(b.client->unlistenParam(*pb), nullptr);
    ASSERT_EQ(b.client->unlistenParam(*pb), nullptr);
    const size_t heard = b.client->count(bridge::kUpdateParam);
    ASSERT_EQ(a.client->changeParam(*pa, 1, 0, {1.0}), nullptr);
    EXPECT_TRUE(pump([&] { return pa->value().read(1, 0) == 1.0; }));
    EXPECT_EQ(b.client->count(bridge::kUpdateParam), heard);
}

TEST_F(Bridge, ChangesFromOutsideTheBridgeReachTheEditors) {
    CEditor a(inst.root, "ui-a");
    auto* delay = a.listen(kDelay);
    ASSERT_TRUE(delay);
    // An undoable change anywhere (a preset, the host's state) tells the
    // editors through the undo history.
    inst.edit("modLagwell.adelay", 2, 0, {8.0});
    EXPECT_TRUE(pump([&] { return delay->value().read(2, 0) == 8.0 && a.client->undoHistory().size() == 2; }));
    inst.undo().moveTo(0);
    EXPECT_TRUE(pump([&] { return delay->value().read(2, 0) == 0.0; }));
    // Anything else reaches them at their next frame.
    CAudioParamTransaction tx(*inst.collector);
    tx.setElements(inst.param("modLagwell.adelay"), 0, 3, {5.0});
    tx.finish("");
    EXPECT_TRUE(pump([&] { return delay->value().read(0, 3) == 5.0; }));
    EXPECT_EQ(delay->lastSlice().group, 0u);
    EXPECT_EQ(delay->lastSlice().first, 0u) << "whole groups travel";
}

TEST_F(Bridge, AGestureLeftOpenByAClosingEditorIsKept) {
    CEditor a(inst.root, "ui-a");
    auto* delay = a.listen(kDelay);
    ASSERT_TRUE(delay);
    ASSERT_EQ(a.client->beginUndo("Drag"), nullptr);
    ASSERT_EQ(a.client->changeParam(*delay, 0, 0, {3.0}), nullptr);
    inst.root.removeChild(a.node);
    EXPECT_EQ(history().back(), "Drag");
    inst.undo().moveTo(0);
    EXPECT_EQ(inst.value("modLagwell.adelay"), 0.0);
}

TEST_F(Bridge, MessagesArriveInSendOrderOnTheEditorThread) {
    CEditor a(inst.root, "ui-a"), b(inst.root, "ui-b");
    auto* pa = a.listen(kDelay);
    auto* pb = b.listen(kDelay);
    ASSERT_TRUE(pa && pb);
    CValueLog log;
    pb->addListener(log);
    // Sent from another thread: the editor thread (this one) gets them only
    // through its run loop. Each step is its own frame.
    std::thread sender([&] {
        for (int i = 9; i >= 0; --i) {
            EXPECT_EQ(a.client->changeParam(*pa, 0, 0, {double(i)}), nullptr);
            EXPECT_EQ(base().refresh(), nullptr);
        }
    });
    sender.join();
    EXPECT_TRUE(log.values.empty()) << "nothing is delivered outside the client's run loop";
    EXPECT_TRUE(pump([&] { return log.values.size() == 10; }));
    ASSERT_EQ(log.values.size(), 10u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(log.values[size_t(i)], std::make_pair(0u, 9.0 - i)) << i;
}

TEST_F(Bridge, KnobGestureIsOneUndoEntry) {
    CEditor a(inst.root, "ui-a"), b(inst.root, "ui-b");
    auto* pa = a.listen(kDelay);
    auto* pb = b.listen(kDelay);
    ASSERT_TRUE(pa && pb);

    ASSERT_EQ(a.client->beginUndo(), nullptr);
    for (double v : {1.0, 2.0, 3.0, 4.0}) ASSERT_EQ(a.client->changeParam(*pa, 2, 0, {v}), nullptr);
    EXPECT_EQ(history().size(), 1u) << "nothing is recorded while the gesture runs";
    EXPECT_EQ(inst.value("modLagwell.adelay", 2), 4.0) << "each step is applied at once";
    ASSERT_EQ(a.client->submitUndo(), nullptr);
    EXPECT_EQ(history(), (std::vector<CString>{"Undo history start", "Audio delay"}));

    ASSERT_EQ(a.client->setUndoHistoryPos(0), nullptr);
    EXPECT_EQ(inst.value("modLagwell.adelay", 2), 0.0) << "the undo restores the value from before the gesture";
    EXPECT_TRUE(pump([&] { return b.client->undoHistory().size() == 2 && b.client->undoPosition() == 0; }))
        << "the redo entry stays";
    EXPECT_EQ(pb->value().read(2, 0), 0.0);

    // An abandoned gesture leaves no entry, and its values go back.
    ASSERT_EQ(a.client->setUndoHistoryPos(1), nullptr);
    ASSERT_EQ(a.client->beginUndo("Drag"), nullptr);
    ASSERT_EQ(a.client->changeParam(*pa, 2, 0, {6.0}), nullptr);
    ASSERT_EQ(a.client->removeUndo(), nullptr);
    ASSERT_EQ(a.client->submitUndo(), nullptr) << "a submit without an open record does nothing";
    EXPECT_EQ(inst.value("modLagwell.adelay", 2), 4.0);
    EXPECT_EQ(history().size(), 2u);

    // Nested gestures (linked controls) end with the outermost submit; a
    // gesture of one editor does not swallow another editor's entries.
    auto* samples = b.listen("plugin.modMain.modLagwell.sdelay");
    ASSERT_TRUE(samples);
    ASSERT_EQ(a.client->beginUndo("Linked"), nullptr);
    ASSERT_EQ(a.client->beginUndo(), nullptr);
    ASSERT_EQ(a.client->changeParam(*pa, 0, 0, {1.0}), nullptr);
    ASSERT_EQ(b.client->changeParam(*samples, 0, 0, {2.0}, 9), nullptr);
    ASSERT_EQ(a.client->changeParam(*pa, 1, 0, {1.0}), nullptr);
    ASSERT_EQ(a.client->submitUndo(), nullptr);
    EXPECT_EQ(history().back(), "Sample delay") << "b's own step";
    ASSERT_EQ(a.client->submitUndo(), nullptr);
    EXPECT_EQ(history().back(), "Linked");
    ASSERT_EQ(a.client->setUndoHistoryPos(history().size() - 2), nullptr);
    EXPECT_EQ(inst.value("modLagwell.adelay", 0), 0.0);
    EXPECT_EQ(inst.value("modLagwell.adelay", 1), 0.0);
    EXPECT_EQ(inst.value("modLagwell.sdelay", 0), 2.0);

    // Steps outside a gesture with one undo id merge into one entry; a reset
    // is an entry of its own.
    ASSERT_EQ(a.client->changeParam(*pa, 0, 0, {5.0}, 7), nullptr);
    const size_t entries = inst.undo().count();
    ASSERT_EQ(a.client->changeParam(*pa, 0, 0, {6.0}, 7), nullptr);
    EXPECT_EQ(inst.undo().count(), entries);
    ASSERT_EQ(a.client->resetParam(*pa, 8), nullptr);
    EXPECT_EQ(inst.undo().count(), entries + 1);
    EXPECT_EQ(history().back(), "Audio delay reset");
    EXPECT_EQ(inst.value("modLagwell.adelay", 0), 0.0);
    ASSERT_EQ(a.client->setUndoHistoryPos(entries - 1), nullptr);
    EXPECT_EQ(inst.value("modLagwell.adelay", 0), 0.0) << "the merged entry started before 5";
}

TEST_F(Bridge, NestedGesturesCancelTheInnermostAndSubmitIntoTheOuter) {
    CEditor a(inst.root, "ui-a"), b(inst.root, "ui-b");
    auto* pa = a.listen(kDelay);
    auto* samples = a.listen("plugin.modMain.modLagwell.sdelay");
    auto* pb = b.listen(kDelay);
    ASSERT_TRUE(pa && samples && pb);

    ASSERT_EQ(a.client->beginUndo("Linked"), nullptr);
    ASSERT_EQ(a.client->changeParam(*pa, 0, 0, {1.0}), nullptr);
    ASSERT_EQ(a.client->beginUndo(), nullptr);
    ASSERT_EQ(a.client->changeParam(*pa, 1, 0, {2.0}), nullptr);
    ASSERT_EQ(a.client->changeParam(*pa, 0, 0, {3.0}), nullptr);
    ASSERT_EQ(a.client->changeParam(*samples, 0, 0, {4.0}), nullptr);
    // The inner gesture alone is cancelled: its values go back to where it
    // started, the outer one stays open.
    ASSERT_EQ(a.client->removeUndo(), nullptr);
    EXPECT_EQ(inst.value("modLagwell.adelay", 0), 1.0);
    EXPECT_EQ(inst.value("modLagwell.adelay", 1), 0.0);
    EXPECT_EQ(inst.value("modLagwell.sdelay", 0), 0.0);
    EXPECT_EQ(history().size(), 1u) << "a cancelled gesture leaves no entry";
    EXPECT_TRUE(pump([&] { return pb->value().read(0, 0) == 1.0 && pb->value().read(1, 0) == 0.0; }))
        << "the editors see the values go back";

    // An inner submit joins the outer gesture; the outer submit is the one
    // entry, and its undo goes back to before the outer gesture.
    ASSERT_EQ(a.client->beginUndo("Inner"), nullptr);
    ASSERT_EQ(a.client->changeParam(*samples, 0, 1, {5.0}), nullptr);
    ASSERT_EQ(a.client->submitUndo(), nullptr);
    EXPECT_EQ(history().size(), 1u);
    ASSERT_EQ(a.client->changeParam(*pa, 2, 0, {6.0}), nullptr);
    ASSERT_EQ(a.client->submitUndo(), nullptr);
    EXPECT_EQ(history(), (std::vector<CString>{"Undo history start", "Linked"}));
    EXPECT_EQ(inst.value("modLagwell.sdelay", 0, 1), 5.0);
    ASSERT_EQ(a.client->setUndoHistoryPos(0), nullptr);
    EXPECT_EQ(inst.value("modLagwell.adelay", 0), 0.0);
    EXPECT_EQ(inst.value("modLagwell.adelay", 2), 0.0);
    EXPECT_EQ(inst.value("modLagwell.sdelay", 0, 1), 0.0);

    // Cancelling the outer gesture too brings back everything of both.
    ASSERT_EQ(a.client->beginUndo("Outer"), nullptr);
    ASSERT_EQ(a.client->changeParam(*pa, 0, 0, {7.0}), nullptr);
    ASSERT_EQ(a.client->beginUndo(), nullptr);
    ASSERT_EQ(a.client->changeParam(*pa, 0, 0, {8.0}), nullptr);
    ASSERT_EQ(a.client->submitUndo(), nullptr);
    ASSERT_EQ(a.client->removeUndo(), nullptr);
    EXPECT_EQ(inst.value("modLagwell.adelay", 0), 0.0);
    EXPECT_EQ(history(), (std::vector<CString>{"Undo history start", "Linked"}));
}

TEST_F(Bridge, AReconnectedClientListensAndChangesAgain) {
    CShownErrors shown;
    CEditor a(inst.root, "ui-a");
    auto* delay = a.listen(kDelay);
    auto* reg = a.listenRegistry();
    ASSERT_TRUE(delay && reg);
    ASSERT_EQ(a.client->listenViz(), nullptr);
    ASSERT_TRUE(pump([&] { return a.client->isVizActive(); }));
    auto* baseEnd =
        dynamic_cast<CParamInterfaceBaseConnectorUni*>(inst.root.findObject("plugin.interface-base-connector"));
    ASSERT_NE(baseEnd, nullptr);
    const int before = a.connector->identity();
    const size_t cleared = a.client->count(bridge::kClearClient);

    a.connector->disconnect();
    a.connector->connect(*baseEnd);
    ASSERT_NE(a.connector->identity(), before);
    EXPECT_EQ(delay->handle() >> 16, uint32_t(a.connector->identity())) << "the handles carry the new identity";
    EXPECT_EQ(reg->handle() >> 16, uint32_t(a.connector->identity()));
    EXPECT_TRUE(pump([&] {
        return a.client->count(bridge::kClearClient) == cleared + 1 && delay->hasInfo() && delay->value().hasValue() &&
               !reg->id().empty();
    })) << "the information and the values come anew";
    EXPECT_EQ(delay->info().visualName, "Audio delay");
    EXPECT_TRUE(pump([&] { return a.client->isVizActive() && a.client->internalChannelCount() == 8; }))
        << "the meters and the audio facts too";

    ASSERT_EQ(a.client->changeParam(*delay, 0, 0, {5.0}), nullptr);
    EXPECT_EQ(inst.value("modLagwell.adelay"), 5.0);
    inst.edit("modLagwell.adelay", 1, 0, {3.0});
    EXPECT_TRUE(pump([&] { return delay->value().read(1, 0) == 3.0; })) << "it hears changes again";
    ASSERT_EQ(a.client->renamePreset(*reg, "Again"), nullptr);
    EXPECT_TRUE(pump([&] { return !reg->programs().empty() && reg->programs()[0] == "Again"; }));
    EXPECT_TRUE(shown.shown().empty());
}

TEST_F(Bridge, UndoingARenameShowsTheOldNameInTheProgramList) {
    CEditor a(inst.root, "ui-a");
    auto* reg = a.listenRegistry();
    ASSERT_TRUE(reg);
    ASSERT_TRUE(pump([&] { return !reg->programs().empty() && reg->programs()[0] == "Default"; }));
    ASSERT_EQ(a.client->renamePreset(*reg, "Kick"), nullptr);
    ASSERT_TRUE(pump([&] { return reg->programs()[0] == "Kick"; }));
    const size_t renamed = inst.undo().position();

    ASSERT_EQ(a.client->setUndoHistoryPos(renamed - 1), nullptr);
    EXPECT_TRUE(pump([&] { return reg->programs()[0] == "Default"; }));
    ASSERT_EQ(a.client->setUndoHistoryPos(renamed), nullptr);
    EXPECT_TRUE(pump([&] { return reg->programs()[0] == "Kick"; }));
}

TEST_F(Bridge, ValuesTravelOncePerFrameForWhatChanged) {
    // The editor's frame clock is stopped: the test is the frame.
    CEditor a(inst.root, "ui-a", {}, "0");
    CParamInterfaceClient::CParam* delay = nullptr;
    ASSERT_EQ(a.client->listenParam(kDelay, delay), nullptr);
    ASSERT_EQ(a.client->frame(), nullptr);
    ASSERT_TRUE(pump([&] { return delay->hasInfo() && delay->value().hasValue(); }));
    const size_t first = a.client->count(bridge::kUpdateParam);

    for (double v : {1.0, 2.0, 3.0}) ASSERT_EQ(a.client->changeParam(*delay, 1, 0, {v}), nullptr);
    inst.edit("modLagwell.adelay", 2, 0, {4.0});
    platform::standaloneRunLoop().runFor(30);
    EXPECT_EQ(a.client->count(bridge::kUpdateParam), first) << "nothing travels between frames";
    ASSERT_EQ(a.client->frame(), nullptr);
    ASSERT_TRUE(pump([&] { return delay->value().read(2, 0) == 4.0; }));
    EXPECT_EQ(delay->value().read(1, 0), 3.0);
    EXPECT_EQ(a.client->count(bridge::kUpdateParam), first + 2) << "one update per changed group";

    ASSERT_EQ(a.client->frame(), nullptr);
    platform::standaloneRunLoop().runFor(30);
    EXPECT_EQ(a.client->count(bridge::kUpdateParam), first + 2) << "a frame without changes sends nothing";
}

// An editor shows what it asked for at once (a typed name, a picked
// colour); the instance's answer must reach it even when the value is back
// where it was by the next frame, or the editor keeps showing its own edit.
TEST_F(Bridge, AnEditorHearsBackItsChangeWhenItIsUndoneBeforeItsNextFrame) {
    CEditor a(inst.root, "ui-a", {}, "0"), b(inst.root, "ui-b", {}, "0");
    struct CCase {
        const char* param;
        std::function<CErrorPtr(CParamInterfaceClient&, CParamInterfaceClient::CParam&, uint32_t)> change;
    };
    const std::vector<CCase> cases{
        {kDelay, [](auto& c, auto& p, uint32_t id) { return c.changeParam(p, 1, 0, {7.0}, id); }},
        {kDelay, [](auto& c, auto& p, uint32_t id) { return c.resetParam(p, id); }},
        {"plugin.modMain.io-params.in-channel-names",
         [](auto& c, auto& p, uint32_t id) { return c.changeParamText(p, 0, 2, "Kick", id); }},
        {"plugin.modMain.uicolor-params.palette",
         [](auto& c, auto& p, uint32_t id) {
             return c.changeParamBytes(p, 0, 0, {1, 2, 3}, id);
         }},
    };
    inst.edit("modLagwell.adelay", 1, 0, {3.0});
    uint32_t undoId = 100;
    for (const CCase& test : cases) {
        SCOPED_TRACE(test.param);
        CParamInterfaceClient::CParam *pa = nullptr, *pb = nullptr;
        ASSERT_EQ(a.client->listenParam(test.param, pa), nullptr);
        ASSERT_EQ(b.client->listenParam(test.param, pb), nullptr);
        ASSERT_EQ(a.client->frame(), nullptr);
        ASSERT_EQ(b.client->frame(), nullptr);
        ASSERT_TRUE(
            pump([&] { return pa->hasInfo() && pb->hasInfo() && pa->value().hasValue() && pb->value().hasValue(); }));
        CMemoryWriter before;
        ASSERT_EQ(pa->value().save(before), nullptr);
        const size_t heardA = a.client->count(bridge::kUpdateParam), heardB = b.client->count(bridge::kUpdateParam);

        ASSERT_EQ(test.change(*a.client, *pa, ++undoId), nullptr);
        ASSERT_GT(inst.undo().count(), 0u);
        ASSERT_EQ(a.client->setUndoHistoryPos(inst.undo().count() - 1), nullptr);
        ASSERT_EQ(a.client->frame(), nullptr);
        ASSERT_EQ(b.client->frame(), nullptr);
        EXPECT_TRUE(pump([&] { return a.client->count(bridge::kUpdateParam) > heardA; }))
            << "the editor that changed the value hears what it is now";
        CMemoryWriter after;
        ASSERT_EQ(pa->value().save(after), nullptr);
        EXPECT_EQ(after.bytes(), before.bytes());
        platform::standaloneRunLoop().runFor(30);
        EXPECT_EQ(b.client->count(bridge::kUpdateParam), heardB) << "the other editor had nothing to learn";

        // Heard once: the next frame is quiet again.
        const size_t heard = a.client->count(bridge::kUpdateParam);
        ASSERT_EQ(a.client->frame(), nullptr);
        platform::standaloneRunLoop().runFor(30);
        EXPECT_EQ(a.client->count(bridge::kUpdateParam), heard);
        ASSERT_EQ(a.client->unlistenParam(*pa), nullptr);
        ASSERT_EQ(b.client->unlistenParam(*pb), nullptr);
    }
}

TEST_F(Bridge, HostAutomationOnTheAudioThreadReachesTheEditorAtItsFrame) {
    struct CHost final : CAudioWrapper {
        void reportExtParam(size_t, double) override {}
        void beginExtParamEdit(size_t) override {}
        void performExtParamEdit(size_t, double) override {}
        void endExtParamEdit(size_t) override {}
    } w;
    ASSERT_EQ(w.init(), nullptr);
    w.setupProcessing(48000, 512);
    CEditor a(w.root(), "ui-a", {}, nullptr, w.plugin().fullName());
    auto* delay = a.listen("plugin.modMain.modLagwell.sdelay");
    ASSERT_TRUE(delay);
    size_t index = w.extParamCount();
    for (size_t i = 0; i < w.extParamCount(); ++i)
        if (w.extParam(i).extName() == "SDelay1") index = i;
    ASSERT_LT(index, w.extParamCount());
    const size_t group = size_t(w.extParam(index).group()), element = size_t(w.extParam(index).elementIndex());

    // The audio thread only applies the event; the editor's frame clock
    // (40 frames per second) finds the new version.
    std::thread audio([&] {
        std::vector<float> in(64, 0.0f), out(64, 0.0f);
        const float* ins[] = {in.data(), in.data()};
        float* outs[] = {out.data(), out.data()};
        w.queueEvent(10, CAudioWrapper::kEventParamChange, int32_t(index), 7.0 / 9.0);
        w.process(ins, 2, outs, 2, in.size());
    });
    audio.join();
    EXPECT_TRUE(pump([&] { return delay->value().read(group, element) == 7.0; }));
}

TEST_F(Bridge, UndoHistoryMessageListsTheEntries) {
    CEditor a(inst.root, "ui-a");
    auto* pa = a.listen(kDelay);
    ASSERT_TRUE(pa);
    ASSERT_EQ(a.client->requestUndoHistory(), nullptr);
    EXPECT_TRUE(pump([&] { return a.client->count(bridge::kUpdateUndoHistory) == 1; }));
    EXPECT_EQ(a.client->undoHistory(), (std::vector<CString>{"Undo history start"}));
    EXPECT_EQ(a.client->undoPosition(), 0u);

    ASSERT_EQ(a.client->changeParam(*pa, 0, 0, {3.0}, 1), nullptr);
    ASSERT_EQ(a.client->changeParam(*pa, 1, 0, {3.0}, 2), nullptr);
    ASSERT_EQ(a.client->setUndoHistoryPos(1), nullptr);
    EXPECT_TRUE(pump([&] { return a.client->count(bridge::kUpdateUndoHistory) == 4; }))
        << "every change of the history is sent";
    EXPECT_EQ(a.client->undoHistory(), (std::vector<CString>{"Undo history start", "Audio delay", "Audio delay"}));
    EXPECT_EQ(a.client->undoPosition(), 1u);
}

TEST_F(Bridge, PresetsAndBanksTravelAsRecords) {
    CEditor a(inst.root, "ui-a"), b(inst.root, "ui-b");
    auto* reg = a.listenRegistry();
    auto* pb = b.listen(kDelay);
    ASSERT_TRUE(reg && pb);
    EXPECT_EQ(reg->id(), "t4c9");
    EXPECT_EQ(reg->currentProgram(), 0);
    EXPECT_EQ(reg->programs().size(), inst.registry().sessionBank().presets().size());

    ASSERT_EQ(a.client->requestPreset(*reg, false, -1), nullptr);
    ASSERT_TRUE(pump([&] { return !reg->data().empty(); }));
    EXPECT_EQ(reg->dataKind(), bridge::CRegistryData::kPreset);
    CAudioPreset preset;
    CMemoryReaderStatic in(reg->data().data(), reg->data().size());
    ASSERT_EQ(preset.load(in), nullptr);
    EXPECT_EQ(preset.name(), "t4c9:Default");

    ASSERT_EQ(a.client->activatePreset(*reg, presetWithDelay(inst, 7.0)), nullptr);
    EXPECT_EQ(inst.value("modLagwell.adelay"), 7.0);
    EXPECT_EQ(history().back(), "Master preset activate");
    EXPECT_TRUE(pump([&] { return pb->value().read(0, 0) == 7.0; })) << "an activation reaches every listener";

    ASSERT_EQ(a.client->requestBank(*reg), nullptr);
    ASSERT_TRUE(pump([&] { return reg->dataKind() == bridge::CRegistryData::kBank; }));
    CAudioPresetBank bank;
    CMemoryReaderStatic bankIn(reg->data().data(), reg->data().size());
    ASSERT_EQ(bank.load(bankIn), nullptr);
    EXPECT_EQ(bank.presets().size(), reg->programs().size());

    ASSERT_EQ(a.client->renamePreset(*reg, "Mine"), nullptr);
    EXPECT_TRUE(pump([&] { return !reg->programs().empty() && reg->programs()[0] == "Mine"; }));
    EXPECT_EQ(history().back(), "Program name change");

    ASSERT_EQ(a.client->activateDefaultPreset(*reg), nullptr);
    EXPECT_EQ(history().back(), "Master reset");
    EXPECT_TRUE(pump([&] { return pb->value().read(0, 0) == 0.0; }));
    auto* samples = b.listen("plugin.modMain.modLagwell.sdelay");
    ASSERT_TRUE(samples);
    ASSERT_EQ(a.client->activateFactoryPreset(*reg, 1), nullptr);
    EXPECT_EQ(history().back(), "ROM preset activate");
    EXPECT_TRUE(pump([&] { return samples->value().read(0, 1) == 3.0 && reg->programs()[0] == "32 samples"; }));

    // A bad record comes back to the sender and changes nothing.
    CErrorPtr err = a.client->activatePreset(*reg, {1, 2, 3});
    EXPECT_NE(err, nullptr);
    EXPECT_EQ(history().back(), "ROM preset activate");
}

TEST_F(Bridge, ExchangeShadowSwitchesSlotsAndTheirHistories) {
    CEditor a(inst.root, "ui-a");
    auto* reg = a.listenRegistry();
    auto* delay = a.listen(kDelay);
    auto* slot = a.listen("plugin.modMain.ab-state");
    ASSERT_TRUE(reg && delay && slot);

    ASSERT_EQ(a.client->changeParam(*delay, 0, 0, {4.0}, 1), nullptr);
    ASSERT_EQ(a.client->exchangeShadowPreset(*reg), nullptr);
    EXPECT_TRUE(pump([&] { return slot->value().read(0, 0) == 1.0; }));
    EXPECT_EQ(delay->value().read(0, 0), 4.0) << "the first switch leaves the sound as it was";
    EXPECT_EQ(a.client->undoHistory().size(), 2u) << "slot B starts with a copy of A's history";

    ASSERT_EQ(a.client->changeParam(*delay, 0, 0, {7.0}, 2), nullptr);
    ASSERT_EQ(a.client->exchangeShadowPreset(*reg), nullptr);
    EXPECT_TRUE(pump([&] { return slot->value().read(0, 0) == 0.0 && delay->value().read(0, 0) == 4.0; }));
    EXPECT_EQ(a.client->undoHistory().size(), 2u) << "A's history without B's change";

    ASSERT_EQ(a.client->updateShadowPreset(*reg), nullptr);
    ASSERT_EQ(a.client->exchangeShadowPreset(*reg), nullptr);
    EXPECT_TRUE(pump([&] { return slot->value().read(0, 0) == 1.0; }));
    EXPECT_EQ(delay->value().read(0, 0), 4.0) << "the copy made B equal to A";
}

TEST_F(Bridge, TextAndByteValuesTravelAsSlices) {
    CEditor a(inst.root, "ui-a"), b(inst.root, "ui-b");
    ASSERT_TRUE(pump([&] { return b.client->groupNames().size() == 8; }));
    EXPECT_EQ(b.client->groupNames()[1], "2");

    auto* names = a.listen("plugin.modMain.io-params.group-names");
    ASSERT_TRUE(names);
    const CString renamed = CString::fromUtf8("Drums \xE2\x86\x92 L");  // a unit above 255
    ASSERT_EQ(a.client->changeParamText(*names, 0, 1, renamed, 3), nullptr);
    EXPECT_EQ(inst.param("io-params.group-names").storage().text(0, 1), renamed);
    EXPECT_TRUE(pump([&] { return b.client->groupNames().size() == 8 && b.client->groupNames()[1] == renamed; }));
    EXPECT_EQ(b.client->groupNames()[2], "3");
    EXPECT_EQ(history().back(), "Group names");

    auto* palette = a.listen("plugin.modMain.uicolor-params.palette");
    ASSERT_TRUE(palette);
    const std::vector<uint8_t> bytes{0, 1, 2, 250, 255};
    ASSERT_EQ(a.client->changeParamBytes(*palette, 0, 0, bytes), nullptr);
    EXPECT_EQ(inst.param("uicolor-params.palette").storage().bytes(0, 0), bytes);
    EXPECT_TRUE(pump([&] { return palette->value().bytes(0, 0) == bytes; }));
}

TEST_F(Bridge, AudioFactsVisualisationAndChannelLabels) {
    CEditor a(inst.root, "ui-a");
    ASSERT_TRUE(pump([&] { return a.client->exportSlotNames().size() == 2; }));
    EXPECT_EQ(a.client->internalChannelCount(), 8u);
    EXPECT_EQ(a.client->groupCount(), 4u);
    EXPECT_EQ(a.client->ioChannelCounts().outputs, 6u);
    EXPECT_EQ(a.client->ioChannelCounts().sidechain, 1u);
    EXPECT_EQ(a.client->sampleRate(), 48000.0);
    EXPECT_EQ(a.client->exportSlotNames()[1], "plugin.modMain.modMeterOut");

    auto& viz = *dynamic_cast<CAudioVizCollector*>(inst.root.findObject("plugin.viz-collector"));
    CAudioVizMeterStream* out =
        viz.registerProducer(*CApplication::sharedObject()->findObject("audio.modMain.modMeterOut"));
    out->publish(3, 1, CAudioVizDataMeter(0.25, 0.5));
    ASSERT_EQ(a.client->listenViz(), nullptr);
    ASSERT_EQ(a.client->requestVizData(), nullptr);
    ASSERT_TRUE(pump([&] { return !a.client->vizData().empty(); }));
    EXPECT_TRUE(a.client->isVizActive());
    const auto& streams = a.client->vizData();
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].path, "plugin.modMain.modMeterIODiff");
    EXPECT_TRUE(streams[0].frames.empty()) << "a meter that published nothing has no frames";
    ASSERT_EQ(streams[1].frames.size(), 1u);
    EXPECT_EQ(streams[1].frames[0].channel, 3u);
    EXPECT_EQ(streams[1].frames[0].group, 1);
    EXPECT_EQ(streams[1].frames[0].index, 1u) << "the editor sees whether the producer still runs";
    EXPECT_EQ(streams[1].frames[0].level, 0.25);
    EXPECT_EQ(streams[1].frames[0].peak, 0.5);
    ASSERT_EQ(a.client->unlistenViz(), nullptr);
    EXPECT_TRUE(pump([&] { return !a.client->isVizActive(); }));

    ASSERT_EQ(a.client->importChannelLabels({"Left", "Right"}), nullptr);
    EXPECT_EQ(facts.imported, (std::vector<CString>{"Left", "Right"}));
    ASSERT_EQ(base().sendChannelLabels({"In 1"}), nullptr);
    EXPECT_TRUE(pump([&] { return a.client->channelLabels().size() == 1; }));
}

TEST(BridgeViz, MetersRunWhileAnEditorListensUnlessAlwaysActive) {
    CObject* project = CApplication::sharedObject()->findObject("project");
    ASSERT_NE(project, nullptr);
    const CString always = project->getAttr("is-viz-always-active");
    ASSERT_EQ(project->setAttr("is-viz-always-active", "false"), nullptr);
    {
        CInstance inst;
        CFakeFacts facts;
        dynamic_cast<CAudioInterfaceBase*>(inst.root.findObject("plugin.interface-base"))->setDataProvider(&facts);
        CEditor a(inst.root, "ui-a"), b(inst.root, "ui-b");
        ASSERT_EQ(a.client->listenViz(), nullptr);
        ASSERT_EQ(b.client->listenViz(), nullptr);
        EXPECT_EQ(inst.value("modMeterOut-enable"), 1.0);
        ASSERT_EQ(a.client->unlistenViz(), nullptr);
        EXPECT_EQ(inst.value("modMeterOut-enable"), 1.0) << "b still looks";
        b.connector->disconnect();
        EXPECT_EQ(inst.value("modMeterOut-enable"), 0.0) << "a closed editor stops listening";
    }
    project->setAttr("is-viz-always-active", always);
}

TEST_F(Bridge, FailuresComeBackToTheSender) {
    CEditor a(inst.root, "ui-a");
    CParamInterfaceClient::CRegistry* r = nullptr;
    CErrorPtr err = a.client->listenRegistry("nope", r);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->text(), "No param registry object 'nope' found.");
    err = a.client->listenRegistry("audio-env", r);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->text(), "Param registry object 'audio-env' is NULL.");
    EXPECT_EQ(r, nullptr);

    // Handles carry the sender's identity; another client's are refused.
    bridge::CListen foreign;
    foreign.name = kDelay;
    foreign.handle = uint32_t(a.connector->identity() + 1) << 16 | 1;
    err = a.sendRaw(bridge::kListenParam, foreign);
    ASSERT_NE(err, nullptr);
    EXPECT_NE(err->text().utf8().find("does not belong"), std::string::npos);
    bridge::CChangeParam unknown;
    unknown.handle = uint32_t(a.connector->identity()) << 16 | 999;
    err = a.sendRaw(bridge::kChangeParam, unknown);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->text(), CString("Unknown parameter handle ") + toText(unknown.handle) + ".");

    // A slice of the wrong format changes nothing.
    auto* delay = a.listen(kDelay);
    ASSERT_TRUE(delay);
    auto* names = a.listen("plugin.modMain.io-params.group-names");
    ASSERT_TRUE(names);
    CAudioParamStorage text(names->info());
    text.setText(0, 0, "x");
    bridge::CChangeParam wrong;
    wrong.handle = delay->handle();
    CMemoryWriter slice;
    ASSERT_EQ(text.saveSlice(slice, {0, 0, 1}), nullptr);
    wrong.slice = slice.take();
    EXPECT_NE(a.sendRaw(bridge::kChangeParam, wrong), nullptr);
    EXPECT_EQ(inst.value("modLagwell.adelay"), 0.0);

    // No base behind the connector, and no connection at all.
    CObject lone;
    ASSERT_EQ(CApplication::instance()->initRootObject(lone), nullptr);
    CParamInterfaceBaseConnectorUni* bare = nullptr;
    ASSERT_EQ(lone.createChild("other:param-interface-base-connector-uni", "bare", bare), nullptr);
    {
        CShownErrors shown;
        a.connector->connect(*bare);
        ASSERT_EQ(shown.shown().size(), 1u) << "listening again fails where there is no base";
        EXPECT_NE(shown.shown()[0].find("No base object defined."), std::string::npos);
    }
    err = a.client->beginUndo();
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->text(), "No base object defined.");
    a.connector->disconnect();
    err = a.client->submitUndo();
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->text(), "No base object defined.");
}

TEST_F(Bridge, BlocksForAConnectorWithoutClientAreReported) {
    CShownErrors errors;
    CObject* node = nullptr;
    ASSERT_EQ(inst.root.createChild("core:object", "ui-bare", node), nullptr);
    CParamInterfaceClientConnectorUni* connector = nullptr;
    ASSERT_EQ(node->createChild("other:param-interface-client-connector-uni", "connector", connector), nullptr);
    connector->setAttr("base-connector", "plugin.interface-base-connector");
    ASSERT_EQ(node->init(), nullptr) << "connecting sends \"clear-client\"";
    EXPECT_TRUE(pump([&] { return !errors.shown().empty(); }));
    const std::vector<std::string> shown = errors.shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("No client object defined."), std::string::npos);
}

TEST_F(Bridge, ClientMessageWaitsWhileAPresetActivationHoldsTheRegistry) {
    auto gated = std::make_unique<CGatedConnector>();
    CGatedConnector& gate = *gated;
    auto watched = std::make_unique<CDoorConnector>();
    CDoorConnector& door = *watched;
    CEditor a(inst.root, "ui-a", std::move(gated)), b(inst.root, "ui-b", std::move(watched));
    auto* reg = a.listenRegistry();
    auto* delay = b.listen(kDelay);
    ASSERT_TRUE(reg && delay);
    const std::vector<uint8_t> record = presetWithDelay(inst, 6.0);

    gate.arm();
    auto activation = std::async(std::launch::async, [&] { return a.client->activatePreset(*reg, record); });
    const bool inside = gate.waitInside();
    EXPECT_TRUE(inside) << "the activation never reported its undo entry";
    auto change = std::async(std::launch::async, [&] { return b.client->changeParam(*delay, 0, 0, {3.0}, 5); });
    // The change has reached the base: it either waits or runs through.
    EXPECT_TRUE(door.waitEntered());
    EXPECT_TRUE(test::eventually([&] { return door.left() || door.carrierSleeps(); }));
    EXPECT_FALSE(door.left()) << "the change ran while the activation held the registry";
    {
        CAudioParam& adelay = inst.param("modLagwell.adelay");
        std::lock_guard<std::mutex> lock(adelay.lock());
        EXPECT_EQ(adelay.storage().read(0, 0), 6.0) << "the change got in while the activation held the registry";
    }
    gate.open();
    ASSERT_EQ(activation.wait_for(kPatience), std::future_status::ready);
    ASSERT_EQ(change.wait_for(kPatience), std::future_status::ready);
    EXPECT_EQ(activation.get(), nullptr);
    EXPECT_EQ(change.get(), nullptr);
    EXPECT_EQ(inst.value("modLagwell.adelay"), 3.0) << "the change came after the activation";
    const std::vector<CString> entries = history();
    ASSERT_GE(entries.size(), 3u);
    EXPECT_EQ(entries[entries.size() - 2], "Master preset activate");
    EXPECT_EQ(entries.back(), "Audio delay");
}

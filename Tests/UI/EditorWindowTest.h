// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Windows of a test editor on a server of the test's own, and a log of the
// events its views hear.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "Support/Xvfb.h"
#include "UI/View.h"
#include "UI/WindowRenderer.h"
#include "UI/WindowSharedData.h"
#include "UITestSupport.h"

namespace zel {

inline bool operator==(const CRect& a, const CRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline void PrintTo(const CRect& r, std::ostream* out) {
    *out << "(" << r.left << ", " << r.top << ") - (" << r.right << ", " << r.bottom << ")";
}

}  // namespace zel

namespace zel::test {

// `test:view-log`: "view:event" for every event of the views it listens to.
class CViewLog : public CObject {
public:
    static void setupClass(CClassInfo& info) {
        setupObjectClass(info);
        info.onEvent("record", &CViewLog::onRecord);
    }
    CErrorPtr onRecord(CObject* params, CObject*) {
        std::string sender = params->getAttr("sender").utf8();
        sender = sender.substr(sender.rfind('.') + 1);
        entries.push_back(sender + ":" + params->getAttr("event-name").utf8());
        last[entries.back()] = CObject::CAttrMap(params->attrs());
        return nullptr;
    }
    size_t count(const std::string& entry) const { return size_t(std::count(entries.begin(), entries.end(), entry)); }
    // The entries that name one of `events`, in order.
    std::vector<std::string> only(std::initializer_list<const char*> events) const {
        std::vector<std::string> out;
        for (const std::string& e : entries)
            for (const char* name : events)
                if (e.size() > strlen(name) && e.compare(e.size() - strlen(name), std::string::npos, name) == 0 &&
                    e[e.size() - strlen(name) - 1] == ':')
                    out.push_back(e);
        return out;
    }
    std::string param(const std::string& entry, const char* name) const {
        auto found = last.find(entry);
        if (found == last.end()) return {};
        auto it = found->second.find(name);
        return it == found->second.end() ? std::string() : it->second.utf8();
    }
    std::vector<std::string> entries;
    std::map<std::string, CObject::CAttrMap> last;
};

inline void registerViewLog() {
    static const CClassEntry entry{"test:view-log", &createObject<CViewLog>, &CViewLog::setupClass};
    if (!CClassRegistry::instance().find("test:view-log")) (void)CClassRegistry::instance().registerCreator(entry);
}

// The timers and sector map every window of the tests has.
inline std::string rendererChildren() {
    return R"(<ui:sector-map name="sector-map" sector-size="64"/>
      <ui:update-timer name="update-timer" fps="{*/^ fps}"/>
      <ui:update-timer name="render-timer" order-asc="1000" fps="{*/^ fps}"/>)";
}

// Like buildTree, with run-time `templates` and the window opener.
inline std::unique_ptr<CLoopRoot> buildEditor(const std::string& templates, const std::string& body, CErrorPtr& err) {
    registerRecorder();
    registerViewLog();
    auto root = std::make_unique<CLoopRoot>();
    root->setClassInfo(CClassRegistry::instance().find("core:object"));
    const std::string xml = "<document>" + templates + R"(
  <core:object name="ui">
    <core:object name="global-data" winpos-store="true"/>
    <ui:window-shared-data name="window-shared-data">
      <ui:window-closer name="window-closer"/>
      <ui:window-opener name="window-opener" update-interval="0.01" wait-timeout="1"/>
    </ui:window-shared-data>
    )" + editorPalette() + body +
                            R"(
    <test:view-log name="log"/>
  </core:object>
</document>)";
    err = CApplication::instance()->initRootObject(*root);
    if (!err) err = CXMLData::loadFromMemory("ui-test", compileDocument(xml, uniqueLeaf("ui-test")), *root);
    if (!err) err = root->init();
    return root;
}

class EditorWindowTest : public ::testing::Test {
protected:
    static constexpr uint32_t kPatienceMs = 10000;

    void SetUp() override {
        if (!x.isRunning()) GTEST_SKIP() << "Xvfb is not installed";
        x.use();
        registerViewLog();
    }

    void open(const std::string& body, const std::string& templates = {}) {
        CErrorPtr err;
        root = buildEditor(templates, body, err);
        ASSERT_EQ(err, nullptr) << err->describe();
        log = dynamic_cast<CViewLog*>(root->findObject("ui.log"));
        shared = dynamic_cast<CWindowSharedData*>(root->findObject("ui.window-shared-data"));
        ASSERT_NE(log, nullptr);
    }
    CWindowRenderer* rendererOf(const char* window) {
        return dynamic_cast<CWindowRenderer*>(root->findObject(std::string("ui.") + window + ".window-renderer"));
    }
    CView* view(const std::string& path) { return dynamic_cast<CView*>(root->findObject("ui." + path)); }
    // The log hears `events` of every view named.
    void listen(std::initializer_list<std::string> paths, std::initializer_list<const char*> events) {
        for (const std::string& path : paths) {
            CObject* object = root->findObject("ui." + path);
            ASSERT_NE(object, nullptr) << path;
            for (const char* event : events) CNotifyServer::instance().subscribe(object, event, log, 0, "record");
        }
    }
    bool runUntil(const std::function<bool()>& condition) { return root->loop.runUntil(condition, kPatienceMs); }
    bool heard(const std::string& entry) {
        return runUntil([&] { return log->count(entry) > 0; });
    }
    // Shown: its first frame went to the server, so input reaches it.
    void waitShown(CWindowRenderer* renderer) {
        ASSERT_NE(renderer, nullptr);
        ASSERT_TRUE(runUntil([&] { return renderer->frameCount() >= 1; }));
        renderer->window()->display().sync();
    }

    lagwell::test::CXvfb x;
    std::unique_ptr<CLoopRoot> root;
    CViewLog* log = nullptr;
    CWindowSharedData* shared = nullptr;
};

}  // namespace zel::test

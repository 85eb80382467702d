// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <poll.h>
#include <xcb/xcb.h>

#include <algorithm>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "Platform/Clipboard.h"
#include "Platform/Clock.h"
#include "Platform/RunLoop.h"
#include "Support/Patience.h"
#include "Support/RunProgram.h"
#include "Support/Xvfb.h"

namespace zel::platform {
namespace {

using zel::test::kPatienceMs;

// Every test talks to `xclip`, another X client, on a server of its own.
class ClipboardThreads : public ::testing::Test {
protected:
    void SetUp() override {
        if (!x.isRunning()) GTEST_SKIP() << "Xvfb is not installed";
        if (std::system("command -v xclip >/dev/null 2>&1") != 0) GTEST_SKIP() << "xclip is not installed";
        std::string error;
        clipboard = CClipboard::open(loop, x.display(), error);
        ASSERT_TRUE(clipboard) << error;
    }

    // Runs an xclip command on a thread of its own while this loop answers
    // the requests it makes.
    zel::test::RunResult xclipWhileServing(const std::string& arguments) {
        std::atomic<bool> done{false};
        zel::test::RunResult result;
        std::thread client([&] {
            result = zel::test::runProgram("sh", {"-c", "DISPLAY=" + x.display() + " timeout 10 xclip " + arguments});
            done = true;
            // Wakes the loop to look at `done`.
            loop.post([] {});
        });
        loop.runUntil([&] { return done.load(); }, kPatienceMs);
        client.join();
        return result;
    }

    // Another program takes the clipboard with `text`; xclip stays in the
    // background to serve it.
    void xclipCopies(const std::string& text) {
        const std::string command =
            "printf %s '" + text + "' | DISPLAY=" + x.display() + " xclip -i -selection clipboard >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    lagwell::test::CXvfb x;
    CStandaloneRunLoop loop;
    std::unique_ptr<CClipboard> clipboard;
};

TEST_F(ClipboardThreads, OtherProgramsReadWhatWeCopiedAsUtf8) {
    const std::string text = "Größe ½ — 🎧 Kick";
    ASSERT_TRUE(clipboard->copy(text));
    EXPECT_TRUE(clipboard->ownsSelection());
    const zel::test::RunResult read = xclipWhileServing("-o -selection clipboard");
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.output, text);
    EXPECT_EQ(clipboard->answeredCount(), 1);
    // The list of targets names the text forms.
    const zel::test::RunResult targets = xclipWhileServing("-o -selection clipboard -t TARGETS");
    EXPECT_NE(targets.output.find("UTF8_STRING"), std::string::npos) << targets.output;
    EXPECT_NE(targets.output.find("TARGETS"), std::string::npos) << targets.output;
    // A form we do not offer is refused, not answered with something else.
    const zel::test::RunResult image = xclipWhileServing("-o -selection clipboard -t image/png");
    EXPECT_NE(image.status, 0);
    EXPECT_EQ(clipboard->answeredCount(), 1);
}

TEST_F(ClipboardThreads, PastesWhatAnotherProgramCopiedAndLosesTheSelectionToIt) {
    ASSERT_TRUE(clipboard->copy("ours"));
    xclipCopies("Überhang 12.5 ms");
    std::string pasted;
    const bool gotIt =
        loop.runUntil([&] { return clipboard->paste(pasted, 1000) && pasted == "Überhang 12.5 ms"; }, kPatienceMs);
    EXPECT_TRUE(gotIt) << pasted;
    EXPECT_FALSE(clipboard->ownsSelection());
    // Ours again after copying; the paste no longer asks the other program.
    ASSERT_TRUE(clipboard->copy("again"));
    ASSERT_TRUE(clipboard->paste(pasted, 1000));
    EXPECT_EQ(pasted, "again");
}

TEST_F(ClipboardThreads, NoOwnerOrASilentOwnerEndsThePasteInTime) {
    std::string pasted = "unchanged";
    EXPECT_FALSE(clipboard->paste(pasted, 1000));
    EXPECT_EQ(pasted, "unchanged");

    // A client that takes the selection and never answers requests.
    xcb_connection_t* silent = xcb_connect(x.display().c_str(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(silent));
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(silent)).data;
    const xcb_window_t window = xcb_generate_id(silent);
    xcb_create_window(silent, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(silent, xcb_intern_atom(silent, 0, 9, "CLIPBOARD"), nullptr);
    ASSERT_TRUE(atom);
    xcb_set_selection_owner(silent, window, atom->atom, XCB_CURRENT_TIME);
    std::free(atom);
    std::free(xcb_get_input_focus_reply(silent, xcb_get_input_focus(silent), nullptr));

    const double start = secondsSinceStart();
    EXPECT_FALSE(clipboard->paste(pasted, 200));
    const double waited = secondsSinceStart() - start;
    EXPECT_GE(waited, 0.19);
    EXPECT_LT(waited, 0.6);
    EXPECT_EQ(pasted, "unchanged");
    xcb_disconnect(silent);
}

TEST_F(ClipboardThreads, TwoEditorsOnOneThreadPasteEachOthersText) {
    std::string error;
    std::unique_ptr<CClipboard> second = CClipboard::open(loop, x.display(), error);
    ASSERT_TRUE(second) << error;
    ASSERT_TRUE(clipboard->copy("from the first"));
    std::string pasted;
    const double start = secondsSinceStart();
    // Nobody runs the loop meanwhile: the answer cannot come by request.
    ASSERT_TRUE(second->paste(pasted, 1000));
    EXPECT_LT(secondsSinceStart() - start, 0.5);
    EXPECT_EQ(pasted, "from the first");
    ASSERT_TRUE(second->copy("from the second"));
    EXPECT_FALSE(clipboard->ownsSelection());
    ASSERT_TRUE(clipboard->paste(pasted, 1000));
    EXPECT_EQ(pasted, "from the second");
    // The first learns of its loss when its events are read.
    loop.runFor(50);
    second.reset();
    EXPECT_FALSE(clipboard->paste(pasted, 200) && pasted == "from the second");
}

// An owner on a thread of its own that sends its text in parts of
// `partSize` bytes, each after the reader deleted the one before.
class CPartsOwner {
public:
    CPartsOwner(const std::string& display, std::string text, size_t partSize)
        : m_text(std::move(text)), m_partSize(partSize) {
        m_c = xcb_connect(display.c_str(), nullptr);
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        m_window = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        m_clipboard = atom("CLIPBOARD");
        m_incr = atom("INCR");
        m_utf8 = atom("UTF8_STRING");
        xcb_set_selection_owner(m_c, m_window, m_clipboard, XCB_CURRENT_TIME);
        std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
        m_thread = std::thread([this] { serve(); });
    }
    ~CPartsOwner() {
        m_stop = true;
        m_thread.join();
        xcb_disconnect(m_c);
    }
    int partsSent() const { return m_parts; }

private:
    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return a;
    }
    void serve() {
        xcb_window_t requestor = XCB_WINDOW_NONE;
        xcb_atom_t property = XCB_ATOM_NONE;
        size_t sent = 0;
        bool finished = false;
        while (!m_stop) {
            xcb_generic_event_t* event = xcb_poll_for_event(m_c);
            if (!event) {
                pollfd fd{xcb_get_file_descriptor(m_c), POLLIN, 0};
                poll(&fd, 1, 20);
                continue;
            }
            const uint8_t type = event->response_type & 0x7F;
            if (type == XCB_SELECTION_REQUEST) {
                auto* e = reinterpret_cast<xcb_selection_request_event_t*>(event);
                requestor = e->requestor;
                property = e->property;
                sent = 0;
                finished = false;
                // Told when the reader deletes the property.
                const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
                xcb_change_window_attributes(m_c, requestor, XCB_CW_EVENT_MASK, &mask);
                const uint32_t size = uint32_t(m_text.size());
                xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, requestor, property, m_incr, 32, 1, &size);
                xcb_selection_notify_event_t notify{};
                notify.response_type = XCB_SELECTION_NOTIFY;
                notify.time = e->time;
                notify.requestor = requestor;
                notify.selection = e->selection;
                notify.target = e->target;
                notify.property = property;
                xcb_send_event(m_c, 0, requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&notify));
                xcb_flush(m_c);
            } else if (type == XCB_PROPERTY_NOTIFY) {
                auto* e = reinterpret_cast<xcb_property_notify_event_t*>(event);
                if (e->window == requestor && e->atom == property && e->state == XCB_PROPERTY_DELETE && !finished) {
                    const size_t count = std::min(m_partSize, m_text.size() - sent);
                    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, requestor, property, m_utf8, 8, uint32_t(count),
                                        m_text.data() + sent);
                    sent += count;
                    // The empty part ends the transfer.
                    finished = count == 0;
                    ++m_parts;
                    xcb_flush(m_c);
                }
            }
            std::free(event);
        }
    }

    std::string m_text;
    size_t m_partSize;
    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_window = XCB_WINDOW_NONE;
    xcb_atom_t m_clipboard = XCB_ATOM_NONE, m_incr = XCB_ATOM_NONE, m_utf8 = XCB_ATOM_NONE;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_parts{0};
    std::thread m_thread;
};

TEST_F(ClipboardThreads, TextSentInPartsArrivesWhole) {
    // Parts of 5 bytes split the two-byte characters between them.
    const std::string text = "Grüße aus dem Regieraum, Kanal 3";
    CPartsOwner owner(x.display(), text, 5);
    std::string pasted;
    ASSERT_TRUE(clipboard->paste(pasted, 2000));
    EXPECT_EQ(pasted, text);
    EXPECT_EQ(owner.partsSent(), int((text.size() + 4) / 5) + 1);
}

TEST(Clipboard, AnAbsentServerIsAnErrorNotACrash) {
    CStandaloneRunLoop loop;
    std::string error;
    EXPECT_FALSE(CClipboard::open(loop, ":4999", error));
    EXPECT_NE(error.find("Unable to connect"), std::string::npos);
}

}  // namespace
}  // namespace zel::platform

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a host lends a plug-in's editor on Linux: its run loop (timers and
// descriptors, dispatched by our poll loop) and the frame that the view
// asks for it. Strict as a real host is: a descriptor registers once, and
// everything registered is counted, so leaks show.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "HostObject.h"
#include "Platform/RunLoop.h"
#include "pluginterfaces/gui/iplugview.h"

namespace lagwell::host {

class HostRunLoop final : public HostOwned<Steinberg::Linux::IRunLoop> {
public:
    explicit HostRunLoop(zel::platform::CStandaloneRunLoop& loop) : m_loop(loop) {}
    ~HostRunLoop();

    Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                       Steinberg::Linux::FileDescriptor fd) override;
    Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override;
    Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                                Steinberg::Linux::TimerInterval milliseconds) override;
    Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override;

    size_t timerCount() const { return m_timers.size(); }
    size_t handlerCount() const { return m_handlers.size(); }
    // Timer calls made so far: the editor's frames when it has one timer.
    uint64_t timerCalls() const { return m_timerCalls; }

private:
    struct Watch {
        Steinberg::Linux::FileDescriptor fd;
        zel::platform::IRunLoop::CWatchId id;
    };
    zel::platform::CStandaloneRunLoop& m_loop;
    std::map<Steinberg::Linux::IEventHandler*, Watch> m_handlers;
    std::map<Steinberg::Linux::ITimerHandler*, zel::platform::IRunLoop::CTimerId> m_timers;
    uint64_t m_timerCalls = 0;
};

class EditorWindow;

// The frame of one view; it offers the run loop unless told not to. A view
// that asks for another size gets it, and so does the window it sits in.
class PlugFrame final : public HostOwned<Steinberg::IPlugFrame> {
public:
    explicit PlugFrame(HostRunLoop* loop, EditorWindow* window = nullptr) : m_loop(loop), m_window(window) {}

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view, Steinberg::ViewRect* newSize) override;

    int resizeRequests() const { return m_resizeRequests; }

private:
    HostRunLoop* m_loop;
    EditorWindow* m_window;
    int m_resizeRequests = 0;
};

// A top-level X window that holds an editor, with its own connection.
class EditorWindow final {
public:
    // Throws HostError when there is no display. A window not `shown` is
    // mapped by show(), as a host shows its window once the editor is in.
    EditorWindow(zel::platform::CStandaloneRunLoop& loop, int width, int height, const std::string& title,
                 bool shown = true);
    ~EditorWindow();
    EditorWindow(const EditorWindow&) = delete;
    EditorWindow& operator=(const EditorWindow&) = delete;

    // The window id to embed into: a child of the top-level window, as
    // hosts embed editors (Ardour into a socket below its toolbar).
    uint32_t id() const { return m_socket; }
    uint32_t topLevel() const { return m_id; }
    bool isClosed() const { return m_closed; }
    bool isBroken() const;
    // X errors this connection has seen.
    int errorCount() const { return m_errors; }
    void resize(int width, int height);
    // Hidden and shown again without closing the editor, as Ardour closes
    // and reopens its plug-in windows by default.
    void show(bool visible);
    // Above every other top-level window, as a host raises its window.
    void raise();
    // Whether the top-level window `other` is stacked above this one.
    bool isBelow(uint32_t other);
    int width() const;
    int height() const;
    // The window's pixels (bytes B, G, R, unused) as the server has them.
    bool capture(std::vector<uint8_t>& pixels, int& width, int& height);

private:
    void dispatch();

    struct Impl;
    std::unique_ptr<Impl> m_impl;
    uint32_t m_id = 0;
    uint32_t m_socket = 0;
    bool m_closed = false;
    int m_errors = 0;
};

// Writes 8-bit RGB; false with `error` set on failure.
bool writePng(const std::string& path, const std::vector<uint8_t>& bgrx, int width, int height, std::string& error);

}  // namespace lagwell::host

// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/XWindow.h"

#include <pthread.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <time.h>
#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

#include "Platform/XAtom.h"

namespace zel::platform {

namespace {

// Double clicks: a second press of the same button within this time and
// distance of the first.
constexpr uint32_t kDoubleClickMs = 400;
constexpr int kDoubleClickDistance = 4;

uint32_t modifiersOf(uint16_t state) {
    uint32_t mods = 0;
    if (state & XCB_MOD_MASK_SHIFT) mods |= kModShift;
    if (state & XCB_MOD_MASK_CONTROL) mods |= kModCtrl;
    if (state & XCB_MOD_MASK_1) mods |= kModAlt;
    return mods;
}

uint32_t buttonsOf(uint16_t state) {
    uint32_t held = 0;
    if (state & XCB_BUTTON_MASK_1) held |= 1;
    if (state & XCB_BUTTON_MASK_2) held |= 2;
    if (state & XCB_BUTTON_MASK_3) held |= 4;
    return held;
}

// A write to a connection whose server went away raises SIGPIPE, which ends
// the process unless the host ignores it. The library reads before it
// writes and so mostly sees the hang-up first, but the server can go between
// the two. While one of our calls talks to the server the signal is blocked
// for this thread, and one that it raised is taken before the mask goes
// back, so that the write only fails.
class CSigPipeGuard {
public:
    CSigPipeGuard() {
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
    }
    ~CSigPipeGuard() {
        sigset_t pending;
        sigpending(&pending);
        if (!m_wasPending && sigismember(&pending, SIGPIPE) == 1) {
            const timespec none{0, 0};
            sigtimedwait(&m_pipe, nullptr, &none);
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    CSigPipeGuard(const CSigPipeGuard&) = delete;
    CSigPipeGuard& operator=(const CSigPipeGuard&) = delete;

private:
    sigset_t m_pipe;
    sigset_t m_old;
    bool m_wasPending = false;
};

}  // namespace

struct CDisplay::CImpl {
    IRunLoop& loop;
    xcb_connection_t* connection = nullptr;
    xcb_screen_t* screen = nullptr;
    IRunLoop::CWatchId watch = 0;
    bool broken = false;
    bool shm = false;
    uint8_t shmCompletion = 0;
    xcb_atom_t wmProtocols = XCB_ATOM_NONE;
    xcb_atom_t wmDeleteWindow = XCB_ATOM_NONE;
    xcb_atom_t netWorkArea = XCB_ATOM_NONE;
    xcb_atom_t netFrameExtents = XCB_ATOM_NONE;
    xcb_atom_t netWmName = XCB_ATOM_NONE;
    xcb_atom_t utf8String = XCB_ATOM_NONE;
    xkb_context* xkbContext = nullptr;
    xkb_keymap* keymap = nullptr;
    xkb_state* keyState = nullptr;
    std::map<uint32_t, CNativeWindow*> windows;
    int errors = 0;
    int lastErrorCode = 0, lastErrorRequest = 0;

    explicit CImpl(IRunLoop& l) : loop(l) {}
    ~CImpl() {
        if (keyState) xkb_state_unref(keyState);
        if (keymap) xkb_keymap_unref(keymap);
        if (xkbContext) xkb_context_unref(xkbContext);
        if (connection) xcb_disconnect(connection);
    }

    void setupKeyboard() {
        if (!xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                         XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr))
            return;
        xkbContext = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        if (!xkbContext) return;
        const int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
        if (device < 0) return;
        keymap = xkb_x11_keymap_new_from_device(xkbContext, connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (keymap) keyState = xkb_x11_state_new_from_device(keymap, connection, device);
    }

    void setupShm() {
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(connection, &xcb_shm_id);
        if (!ext || !ext->present) return;
        xcb_shm_query_version_reply_t* version =
            xcb_shm_query_version_reply(connection, xcb_shm_query_version(connection), nullptr);
        if (!version) return;
        std::free(version);
        shm = true;
        shmCompletion = uint8_t(ext->first_event + XCB_SHM_COMPLETION);
    }

    void translateKey(CWindowEvent& event, xcb_keycode_t code, uint16_t state) {
        if (!keyState) return;
        // The event's own modifier state, so that keys read right even when
        // the host holds the keyboard state.
        const xkb_mod_mask_t locked = state & XCB_MOD_MASK_LOCK;
        const xkb_mod_mask_t depressed = state & 0xFF & ~XCB_MOD_MASK_LOCK;
        xkb_state_update_mask(keyState, depressed, 0, locked, 0, 0, (state >> 13) & 3);
        event.keysym = xkb_state_key_get_one_sym(keyState, code);
        char text[64];
        const int size = xkb_state_key_get_utf8(keyState, code, text, sizeof text);
        if (size > 0 && size < int(sizeof text)) event.text.assign(text, size_t(size));
    }
};

std::shared_ptr<CDisplay> CDisplay::open(IRunLoop& loop, const std::string& name, std::string& error) {
    const CSigPipeGuard guard;
    auto impl = std::make_unique<CImpl>(loop);
    int screenNumber = 0;
    impl->connection = xcb_connect(name.empty() ? nullptr : name.c_str(), &screenNumber);
    if (xcb_connection_has_error(impl->connection)) {
        error = "Unable to connect to the X server" + (name.empty() ? std::string() : " '" + name + "'") + ".";
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(impl->connection));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) {
        error = "The X server has no screen " + std::to_string(screenNumber) + ".";
        return nullptr;
    }
    impl->screen = it.data;
    impl->wmProtocols = internAtom(impl->connection, "WM_PROTOCOLS");
    impl->wmDeleteWindow = internAtom(impl->connection, "WM_DELETE_WINDOW");
    impl->netWorkArea = internAtom(impl->connection, "_NET_WORKAREA");
    impl->netFrameExtents = internAtom(impl->connection, "_NET_FRAME_EXTENTS");
    impl->netWmName = internAtom(impl->connection, "_NET_WM_NAME");
    impl->utf8String = internAtom(impl->connection, "UTF8_STRING");
    impl->setupShm();
    impl->setupKeyboard();

    std::shared_ptr<CDisplay> display(new CDisplay(std::move(impl)));
    std::weak_ptr<CDisplay> weak = display;
    const int fd = xcb_get_file_descriptor(display->m_impl->connection);
    if (const int code = loop.addFdWatch(
            fd,
            [weak] {
                if (auto d = weak.lock()) d->dispatch();
            },
            display->m_impl->watch)) {
        error = "Unable to watch the X connection (error " + std::to_string(code) + ").";
        return nullptr;
    }
    return display;
}

CDisplay::CDisplay(std::unique_ptr<CImpl> impl) : m_impl(std::move(impl)) {}

CDisplay::~CDisplay() {
    if (m_impl->watch) m_impl->loop.removeFdWatch(m_impl->watch);
}

bool CDisplay::isBroken() const { return m_impl->broken; }
bool CDisplay::hasShm() const { return m_impl->shm; }

void CDisplay::markBroken() {
    if (m_impl->broken) return;
    m_impl->broken = true;
    // The descriptor stays readable (hung up) forever: stop watching it.
    if (m_impl->watch) m_impl->loop.removeFdWatch(m_impl->watch);
    m_impl->watch = 0;
    // Windows learn of it; they may release themselves in the callback.
    std::map<uint32_t, CNativeWindow*> windows = m_impl->windows;
    for (auto& [id, window] : windows)
        if (m_impl->windows.count(id)) window->disconnected();
}

void CDisplay::flush() {
    const CSigPipeGuard guard;
    if (m_impl->broken) return;
    xcb_flush(m_impl->connection);
    if (xcb_connection_has_error(m_impl->connection)) markBroken();
}

void CDisplay::sync() {
    const CSigPipeGuard guard;
    if (m_impl->broken) return;
    std::free(xcb_get_input_focus_reply(m_impl->connection, xcb_get_input_focus(m_impl->connection), nullptr));
    if (xcb_connection_has_error(m_impl->connection)) markBroken();
}

int CDisplay::errorCount() const { return m_impl->errors; }

void CDisplay::lastError(int& code, int& request) const {
    code = m_impl->lastErrorCode;
    request = m_impl->lastErrorRequest;
}

void CDisplay::addWindow(CNativeWindow* window) { m_impl->windows[window->id()] = window; }
void CDisplay::removeWindow(CNativeWindow* window) { m_impl->windows.erase(window->id()); }

void CDisplay::dispatch() {
    const CSigPipeGuard guard;
    if (m_impl->broken) return;
    // Keeps this display alive while a listener releases its window.
    std::shared_ptr<CDisplay> self = shared_from_this();
    xcb_connection_t* c = m_impl->connection;
    while (xcb_generic_event_t* raw = xcb_poll_for_event(c)) {
        std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> holder(raw, &std::free);
        const uint8_t type = raw->response_type & 0x7F;
        auto windowOf = [&](uint32_t id) -> CNativeWindow* {
            auto it = m_impl->windows.find(id);
            return it == m_impl->windows.end() ? nullptr : it->second;
        };
        CWindowEvent event;
        CNativeWindow* target = nullptr;
        switch (type) {
            case 0: {
                // An X error of ours is counted, never fatal: requests on a
                // window that the host destroyed first fail this way.
                auto* e = reinterpret_cast<xcb_generic_error_t*>(raw);
                ++m_impl->errors;
                m_impl->lastErrorCode = e->error_code;
                m_impl->lastErrorRequest = e->major_code;
                continue;
            }
            case XCB_BUTTON_PRESS:
            case XCB_BUTTON_RELEASE: {
                auto* e = reinterpret_cast<xcb_button_press_event_t*>(raw);
                target = windowOf(e->event);
                if (!target) continue;
                event.x = e->event_x;
                event.y = e->event_y;
                event.rootX = e->root_x;
                event.rootY = e->root_y;
                event.modifiers = modifiersOf(e->state);
                event.buttonsHeld = buttonsOf(e->state);
                if (e->detail == 4 || e->detail == 5) {
                    if (type == XCB_BUTTON_RELEASE) continue;
                    event.type = CWindowEvent::kMouseWheel;
                    event.wheelDelta = e->detail == 4 ? 1 : -1;
                    break;
                }
                // Horizontal wheel steps have no use here.
                if (e->detail == 6 || e->detail == 7) continue;
                event.button = e->detail;
                if (type == XCB_BUTTON_PRESS) {
                    event.type = CWindowEvent::kMousePress;
                    event.doubleClick = target->isDoubleClick(e->detail, e->event_x, e->event_y, e->time);
                } else {
                    event.type = CWindowEvent::kMouseRelease;
                }
                break;
            }
            case XCB_MOTION_NOTIFY: {
                auto* e = reinterpret_cast<xcb_motion_notify_event_t*>(raw);
                target = windowOf(e->event);
                if (!target) continue;
                event.type = CWindowEvent::kMouseMove;
                event.x = e->event_x;
                event.y = e->event_y;
                event.rootX = e->root_x;
                event.rootY = e->root_y;
                event.modifiers = modifiersOf(e->state);
                event.buttonsHeld = buttonsOf(e->state);
                break;
            }
            case XCB_LEAVE_NOTIFY: {
                auto* e = reinterpret_cast<xcb_leave_notify_event_t*>(raw);
                target = windowOf(e->event);
                if (!target) continue;
                // A grab that ends without our release was broken by the server:
                // the window (or the host's window above it) went unviewable.
                if (target->m_grabbed && (e->mode == XCB_NOTIFY_MODE_UNGRAB || !target->isViewable())) {
                    target->m_grabbed = false;
                    event.type = CWindowEvent::kGrabLost;
                    break;
                }
                // Leaves caused by our own grab are not the pointer leaving.
                if (e->mode != XCB_NOTIFY_MODE_NORMAL) continue;
                event.type = CWindowEvent::kMouseLeave;
                event.x = e->event_x;
                event.y = e->event_y;
                break;
            }
            case XCB_KEY_PRESS:
            case XCB_KEY_RELEASE: {
                auto* e = reinterpret_cast<xcb_key_press_event_t*>(raw);
                target = windowOf(e->event);
                if (!target) continue;
                event.type = type == XCB_KEY_PRESS ? CWindowEvent::kKeyPress : CWindowEvent::kKeyRelease;
                event.modifiers = modifiersOf(e->state);
                event.x = e->event_x;
                event.y = e->event_y;
                m_impl->translateKey(event, e->detail, e->state);
                break;
            }
            case XCB_FOCUS_IN:
            case XCB_FOCUS_OUT: {
                auto* e = reinterpret_cast<xcb_focus_in_event_t*>(raw);
                target = windowOf(e->event);
                if (!target || e->mode == XCB_NOTIFY_MODE_GRAB || e->mode == XCB_NOTIFY_MODE_UNGRAB) continue;
                event.type = type == XCB_FOCUS_IN ? CWindowEvent::kFocusIn : CWindowEvent::kFocusOut;
                break;
            }
            case XCB_EXPOSE: {
                auto* e = reinterpret_cast<xcb_expose_event_t*>(raw);
                target = windowOf(e->window);
                if (!target) continue;
                event.type = CWindowEvent::kExpose;
                event.area = CPixelRect{e->x, e->y, e->width, e->height};
                break;
            }
            case XCB_DESTROY_NOTIFY: {
                auto* e = reinterpret_cast<xcb_destroy_notify_event_t*>(raw);
                if (e->event != e->window) continue;
                target = windowOf(e->window);
                if (!target) continue;
                target->m_destroyed = true;
                target->m_grabbed = false;
                target->m_keyFocus = false;
                event.type = CWindowEvent::kDestroyed;
                break;
            }
            case XCB_CLIENT_MESSAGE: {
                auto* e = reinterpret_cast<xcb_client_message_event_t*>(raw);
                target = windowOf(e->window);
                if (!target || e->type != m_impl->wmProtocols || e->data.data32[0] != m_impl->wmDeleteWindow) continue;
                event.type = CWindowEvent::kCloseRequest;
                break;
            }
            default:
                if (m_impl->shm && type == m_impl->shmCompletion) {
                    auto* e = reinterpret_cast<xcb_shm_completion_event_t*>(raw);
                    if (CNativeWindow* w = windowOf(e->drawable)) w->m_shmPending = false;
                }
                continue;
        }
        target->handle(event);
        if (m_impl->broken) return;
    }
    if (xcb_connection_has_error(c)) markBroken();
}

CPixelRect CDisplay::workArea(int x, int y) {
    const CSigPipeGuard guard;
    xcb_screen_t* s = m_impl->screen;
    CPixelRect area{0, 0, s->width_in_pixels, s->height_in_pixels};
    if (m_impl->broken) return area;
    xcb_connection_t* c = m_impl->connection;
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (randr && randr->present) {
        if (xcb_randr_get_monitors_reply_t* reply =
                xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, s->root, 1), nullptr)) {
            for (auto it = xcb_randr_get_monitors_monitors_iterator(reply); it.rem; xcb_randr_monitor_info_next(&it)) {
                const xcb_randr_monitor_info_t* m = it.data;
                if (x >= m->x && x < m->x + m->width && y >= m->y && y < m->y + m->height) {
                    area = CPixelRect{m->x, m->y, m->width, m->height};
                    break;
                }
            }
            std::free(reply);
        }
    }
    // The desktop's work area (without panels) of the first desktop, where
    // a window manager publishes one.
    if (m_impl->netWorkArea != XCB_ATOM_NONE) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            c, xcb_get_property(c, 0, s->root, m_impl->netWorkArea, XCB_ATOM_CARDINAL, 0, 4), nullptr);
        if (reply && xcb_get_property_value_length(reply) >= 16) {
            const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(reply));
            const int left = std::max(area.x, int(v[0])), top = std::max(area.y, int(v[1]));
            const int right = std::min(area.x + area.width, int(v[0] + v[2]));
            const int bottom = std::min(area.y + area.height, int(v[1] + v[3]));
            if (right > left && bottom > top) area = CPixelRect{left, top, right - left, bottom - top};
        }
        std::free(reply);
    }
    return area;
}

uint32_t CDisplay::topLevelOf(uint32_t window) {
    const CSigPipeGuard guard;
    xcb_connection_t* c = m_impl->connection;
    for (int depth = 0; depth < 64 && !m_impl->broken; ++depth) {
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
        if (!tree) return 0;
        const uint32_t parent = tree->parent, root = tree->root;
        std::free(tree);
        if (parent == root || parent == XCB_WINDOW_NONE) return window;
        window = parent;
    }
    return 0;
}

CNativeWindow::CNativeWindow(std::shared_ptr<CDisplay> display, IWindowListener& listener)
    : m_display(std::move(display)), m_listener(listener) {}

std::unique_ptr<CNativeWindow> CNativeWindow::create(std::shared_ptr<CDisplay> display, const COptions& options,
                                                     IWindowListener& listener, std::string& error) {
    const CSigPipeGuard guard;
    if (display->isBroken()) {
        error = "The connection to the X server is broken.";
        return nullptr;
    }
    CDisplay::CImpl& d = display->impl();
    xcb_connection_t* c = d.connection;
    std::unique_ptr<CNativeWindow> window(new CNativeWindow(display, listener));
    window->m_rect = options.rect;
    window->m_parent = options.parent;
    const uint32_t parent = options.parent ? options.parent : d.screen->root;
    window->m_id = xcb_generate_id(c);
    const uint32_t events = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                            XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_LEAVE_WINDOW | XCB_EVENT_MASK_KEY_PRESS |
                            XCB_EVENT_MASK_KEY_RELEASE | XCB_EVENT_MASK_FOCUS_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    // Value order follows the mask bits: background pixel, override
    // redirect, event mask.
    const uint32_t values[] = {0, options.overrideRedirect ? 1u : 0u, events};
    xcb_void_cookie_t cookie = xcb_create_window_checked(
        c, XCB_COPY_FROM_PARENT, window->m_id, parent, int16_t(options.rect.x), int16_t(options.rect.y),
        uint16_t(std::max(1, options.rect.width)), uint16_t(std::max(1, options.rect.height)), 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, d.screen->root_visual,
        XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    if (xcb_generic_error_t* err = xcb_request_check(c, cookie)) {
        error = "Unable to create window (error " + std::to_string(err->error_code) + ").";
        std::free(err);
        if (xcb_connection_has_error(c)) display->markBroken();
        return nullptr;
    }
    window->m_gc = xcb_generate_id(c);
    xcb_create_gc(c, window->m_gc, window->m_id, 0, nullptr);
    if (!options.parent) {
        xcb_icccm_set_wm_protocols(c, window->m_id, d.wmProtocols, 1, &d.wmDeleteWindow);
        if (options.transientFor) xcb_icccm_set_wm_transient_for(c, window->m_id, options.transientFor);
        // A fixed size, as the editor's windows have.
        xcb_size_hints_t hints{};
        xcb_icccm_size_hints_set_min_size(&hints, options.rect.width, options.rect.height);
        xcb_icccm_size_hints_set_max_size(&hints, options.rect.width, options.rect.height);
        xcb_icccm_size_hints_set_position(&hints, 1, options.rect.x, options.rect.y);
        xcb_icccm_set_wm_normal_hints(c, window->m_id, &hints);
    }
    display->addWindow(window.get());
    window->setTitle(options.title);
    display->flush();
    return window;
}

CNativeWindow::~CNativeWindow() {
    const CSigPipeGuard guard;
    if (m_grabbed) releasePointer();
    if (m_keyFocus) returnKeyFocus();
    releaseShm();
    m_display->removeWindow(this);
    if (!m_display->isBroken()) {
        xcb_connection_t* c = m_display->impl().connection;
        if (m_invisibleCursor) xcb_free_cursor(c, m_invisibleCursor);
        xcb_free_gc(c, m_gc);
        // A window that went with the host's is not destroyed again. One
        // that goes before we heard of it costs a counted error, no more.
        if (!m_destroyed) xcb_destroy_window(c, m_id);
        m_display->flush();
    }
}

void CNativeWindow::disconnected() {
    m_grabbed = false;
    m_keyFocus = false;
    CWindowEvent event;
    event.type = CWindowEvent::kDisconnected;
    m_listener.windowEvent(event);
}

void CNativeWindow::show(bool visible) {
    const CSigPipeGuard guard;
    if (m_display->isBroken() || m_destroyed) return;
    xcb_connection_t* c = m_display->impl().connection;
    if (visible)
        xcb_map_window(c, m_id);
    else
        xcb_unmap_window(c, m_id);
    m_display->flush();
}

void CNativeWindow::raise() {
    const CSigPipeGuard guard;
    if (m_display->isBroken() || m_destroyed || m_parent) return;
    const uint32_t values[] = {XCB_STACK_MODE_ABOVE};
    xcb_configure_window(m_display->impl().connection, m_id, XCB_CONFIG_WINDOW_STACK_MODE, values);
    m_display->flush();
}

void CNativeWindow::move(int x, int y) {
    const CSigPipeGuard guard;
    m_rect.x = x;
    m_rect.y = y;
    if (m_display->isBroken() || m_destroyed) return;
    const uint32_t values[] = {uint32_t(x), uint32_t(y)};
    xcb_configure_window(m_display->impl().connection, m_id, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
    m_display->flush();
}

bool CNativeWindow::screenOrigin(int& x, int& y) {
    const CSigPipeGuard guard;
    if (m_display->isBroken() || m_destroyed) return false;
    CDisplay::CImpl& d = m_display->impl();
    xcb_translate_coordinates_reply_t* reply = xcb_translate_coordinates_reply(
        d.connection, xcb_translate_coordinates(d.connection, m_id, d.screen->root, 0, 0), nullptr);
    if (!reply) return false;
    x = reply->dst_x;
    y = reply->dst_y;
    std::free(reply);
    return true;
}

bool CNativeWindow::frameOrigin(int& x, int& y) {
    if (!screenOrigin(x, y)) return false;
    const CSigPipeGuard guard;
    CDisplay::CImpl& d = m_display->impl();
    if (d.netFrameExtents == XCB_ATOM_NONE) return true;
    // The window manager's frame: left, right, top and bottom.
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        d.connection, xcb_get_property(d.connection, 0, m_id, d.netFrameExtents, XCB_ATOM_CARDINAL, 0, 4), nullptr);
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 16) {
        const auto* extents = static_cast<const uint32_t*>(xcb_get_property_value(reply));
        x -= int(extents[0]);
        y -= int(extents[2]);
    }
    std::free(reply);
    return true;
}

void CNativeWindow::resize(int width, int height) {
    const CSigPipeGuard guard;
    m_rect.width = width;
    m_rect.height = height;
    if (m_display->isBroken() || m_destroyed) return;
    const uint32_t values[] = {uint32_t(std::max(1, width)), uint32_t(std::max(1, height))};
    xcb_configure_window(m_display->impl().connection, m_id, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                         values);
    m_display->flush();
}

void CNativeWindow::setTitle(const std::string& title) {
    const CSigPipeGuard guard;
    if (m_display->isBroken() || m_destroyed || m_parent) return;
    CDisplay::CImpl& d = m_display->impl();
    xcb_icccm_set_wm_name(d.connection, m_id, XCB_ATOM_STRING, 8, uint32_t(title.size()), title.data());
    xcb_change_property(d.connection, XCB_PROP_MODE_REPLACE, m_id, d.netWmName, d.utf8String, 8, uint32_t(title.size()),
                        title.data());
}

void CNativeWindow::releaseShm() {
    if (!m_shmData) return;
    if (!m_display->isBroken()) {
        xcb_shm_detach(m_display->impl().connection, m_shmSeg);
        // The server must have let go of the segment before it goes.
        m_display->sync();
    }
    shmdt(m_shmData);
    m_shmData = nullptr;
    m_shmSize = 0;
    m_shmPending = false;
}

bool CNativeWindow::blitShm(const uint8_t* pixels, size_t stride, int width, int height,
                            const std::vector<CPixelRect>& rects) {
    CDisplay::CImpl& d = m_display->impl();
    xcb_connection_t* c = d.connection;
    const size_t size = stride * size_t(height);
    if (m_shmSize != size) {
        releaseShm();
        const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
        if (id < 0) return false;
        void* data = shmat(id, nullptr, 0);
        // Marked for removal at once: it goes when both sides detach, also
        // when this process ends without detaching.
        shmctl(id, IPC_RMID, nullptr);
        if (data == reinterpret_cast<void*>(-1)) return false;
        m_shmSeg = xcb_generate_id(c);
        if (xcb_generic_error_t* err = xcb_request_check(c, xcb_shm_attach_checked(c, m_shmSeg, uint32_t(id), 1))) {
            std::free(err);
            shmdt(data);
            // A server that cannot share memory with us (another machine).
            d.shm = false;
            return false;
        }
        m_shmData = static_cast<uint8_t*>(data);
        m_shmSize = size;
    }
    // The server may still be reading the previous frame.
    if (m_shmPending) m_display->sync();
    for (const CPixelRect& r : rects)
        for (int y = r.y; y < r.y + r.height; ++y)
            std::memcpy(m_shmData + size_t(y) * stride + size_t(r.x) * 4, pixels + size_t(y) * stride + size_t(r.x) * 4,
                        size_t(r.width) * 4);
    for (size_t i = 0; i < rects.size(); ++i) {
        const CPixelRect& r = rects[i];
        // Only the last rectangle asks for a completion event.
        xcb_shm_put_image(c, m_id, m_gc, uint16_t(width), uint16_t(height), uint16_t(r.x), uint16_t(r.y),
                          uint16_t(r.width), uint16_t(r.height), int16_t(r.x), int16_t(r.y), d.screen->root_depth,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, i + 1 == rects.size() ? 1 : 0, m_shmSeg, 0);
    }
    m_shmPending = !rects.empty();
    return true;
}

void CNativeWindow::blit(const uint8_t* pixels, size_t stride, int width, int height,
                         const std::vector<CPixelRect>& rects) {
    const CSigPipeGuard guard;
    if (m_display->isBroken() || m_destroyed || rects.empty()) return;
    std::vector<CPixelRect> clipped;
    for (CPixelRect r : rects) {
        const int right = std::min(r.x + r.width, width), bottom = std::min(r.y + r.height, height);
        r.x = std::max(0, r.x);
        r.y = std::max(0, r.y);
        r.width = right - r.x;
        r.height = bottom - r.y;
        if (r.width > 0 && r.height > 0) clipped.push_back(r);
    }
    if (clipped.empty()) return;
    CDisplay::CImpl& d = m_display->impl();
    if (!(d.shm && blitShm(pixels, stride, width, height, clipped))) {
        xcb_connection_t* c = d.connection;
        // Requests have a size limit: send bands of whole rows.
        const size_t maxBytes = size_t(xcb_get_maximum_request_length(c)) * 4 - 64;
        std::vector<uint8_t> band;
        for (const CPixelRect& r : clipped) {
            const size_t rowBytes = size_t(r.width) * 4;
            const int rowsPerBand = int(std::max<size_t>(1, maxBytes / rowBytes));
            for (int y0 = r.y; y0 < r.y + r.height; y0 += rowsPerBand) {
                const int rows = std::min(rowsPerBand, r.y + r.height - y0);
                band.resize(rowBytes * size_t(rows));
                for (int row = 0; row < rows; ++row)
                    std::memcpy(band.data() + size_t(row) * rowBytes,
                                pixels + size_t(y0 + row) * stride + size_t(r.x) * 4, rowBytes);
                xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_id, m_gc, uint16_t(r.width), uint16_t(rows), int16_t(r.x),
                              int16_t(y0), 0, d.screen->root_depth, uint32_t(band.size()), band.data());
            }
        }
    }
    m_display->flush();
}

void CNativeWindow::grabPointer() {
    const CSigPipeGuard guard;
    if (m_grabbed || m_display->isBroken() || m_destroyed) return;
    xcb_connection_t* c = m_display->impl().connection;
    const uint16_t mask = XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION;
    // Every pointer event goes to this window, over our other windows too
    // (a drop-down's list opened by the press): the press keeps the pointer.
    xcb_grab_pointer_reply_t* reply =
        xcb_grab_pointer_reply(c,
                               xcb_grab_pointer(c, 0, m_id, mask, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                                                XCB_WINDOW_NONE, XCB_CURSOR_NONE, XCB_CURRENT_TIME),
                               nullptr);
    m_grabbed = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(reply);
}

void CNativeWindow::releasePointer() {
    const CSigPipeGuard guard;
    if (!m_grabbed) return;
    m_grabbed = false;
    if (m_display->isBroken()) return;
    xcb_ungrab_pointer(m_display->impl().connection, XCB_CURRENT_TIME);
    m_display->flush();
}

void CNativeWindow::setCursorHidden(bool hidden) {
    const CSigPipeGuard guard;
    if (m_display->isBroken() || m_destroyed) return;
    xcb_connection_t* c = m_display->impl().connection;
    if (hidden && !m_invisibleCursor) {
        // A cursor whose mask shows nothing.
        const xcb_pixmap_t pixmap = xcb_generate_id(c);
        xcb_create_pixmap(c, 1, pixmap, m_id, 1, 1);
        m_invisibleCursor = xcb_generate_id(c);
        xcb_create_cursor(c, m_invisibleCursor, pixmap, pixmap, 0, 0, 0, 0, 0, 0, 0, 0);
        xcb_free_pixmap(c, pixmap);
    }
    const uint32_t cursor = hidden ? m_invisibleCursor : uint32_t(XCB_CURSOR_NONE);
    xcb_change_window_attributes(c, m_id, XCB_CW_CURSOR, &cursor);
    m_display->flush();
}

void CNativeWindow::warpPointer(int x, int y) {
    const CSigPipeGuard guard;
    if (m_display->isBroken() || m_destroyed) return;
    xcb_warp_pointer(m_display->impl().connection, XCB_WINDOW_NONE, m_id, 0, 0, 0, 0, int16_t(x), int16_t(y));
    m_display->flush();
}

void CNativeWindow::takeKeyFocus() {
    const CSigPipeGuard guard;
    if (m_keyFocus || m_display->isBroken() || m_destroyed) return;
    xcb_connection_t* c = m_display->impl().connection;
    if (xcb_get_input_focus_reply_t* reply = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)) {
        m_previousFocus = reply->focus;
        std::free(reply);
    }
    xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, m_id, XCB_CURRENT_TIME);
    m_keyFocus = true;
    m_display->flush();
}

void CNativeWindow::returnKeyFocus() {
    const CSigPipeGuard guard;
    if (!m_keyFocus) return;
    m_keyFocus = false;
    if (m_display->isBroken()) return;
    xcb_connection_t* c = m_display->impl().connection;
    // Back to the window that had it, else to the host's window.
    uint32_t target = m_previousFocus;
    if (target == XCB_WINDOW_NONE || target == XCB_INPUT_FOCUS_POINTER_ROOT || target == m_id) target = m_parent;
    if (target != XCB_WINDOW_NONE) {
        xcb_void_cookie_t cookie = xcb_set_input_focus_checked(c, XCB_INPUT_FOCUS_PARENT, target, XCB_CURRENT_TIME);
        // The window may be gone by now; then nobody gets it back.
        std::free(xcb_request_check(c, cookie));
    }
    m_display->flush();
}

bool CNativeWindow::isViewable() {
    const CSigPipeGuard guard;
    if (m_display->isBroken() || m_destroyed) return false;
    xcb_connection_t* c = m_display->impl().connection;
    xcb_get_window_attributes_reply_t* reply =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, m_id), nullptr);
    const bool viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(reply);
    return viewable;
}

bool CNativeWindow::holdsInputFocus() {
    const CSigPipeGuard guard;
    if (m_display->isBroken() || m_destroyed) return false;
    xcb_connection_t* c = m_display->impl().connection;
    xcb_get_input_focus_reply_t* reply = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
    const bool holds = reply && reply->focus == m_id;
    std::free(reply);
    return holds;
}

bool CNativeWindow::isDoubleClick(int button, int x, int y, uint32_t timeMs) {
    const bool isDouble =
        !m_lastWasDouble && button == m_lastButton && uint32_t(timeMs - m_lastTimeMs) <= kDoubleClickMs &&
        std::abs(x - m_lastX) <= kDoubleClickDistance && std::abs(y - m_lastY) <= kDoubleClickDistance;
    m_lastButton = button;
    m_lastX = x;
    m_lastY = y;
    m_lastTimeMs = timeMs;
    // A third press starts a new pair.
    m_lastWasDouble = isDouble;
    return isDouble;
}

}  // namespace zel::platform

// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/Clipboard.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

#include "Platform/Clock.h"
#include "Platform/XAtom.h"

namespace zel::platform {

namespace {

// More than any edit box takes; a larger offer is read no further.
constexpr size_t kMaxPasteBytes = 1 << 20;

using CEventPtr = std::unique_ptr<xcb_generic_event_t, decltype(&std::free)>;

// Every clipboard of the process. Two editors in one host share its
// thread: one waiting for the other's answer would wait in vain, so text
// that another of ours holds is taken directly. The lock guards the list
// and each one's copied text.
std::mutex& instancesLock() {
    static std::mutex lock;
    return lock;
}

std::string latin1ToUtf8(const std::string& text) {
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(char(c));
        } else {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

}  // namespace

struct CClipboard::CImpl {
    IRunLoop& loop;
    xcb_connection_t* connection = nullptr;
    xcb_window_t window = XCB_WINDOW_NONE;
    IRunLoop::CWatchId watch = 0;
    xcb_atom_t clipboard = XCB_ATOM_NONE, utf8String = XCB_ATOM_NONE, text = XCB_ATOM_NONE;
    xcb_atom_t targets = XCB_ATOM_NONE, timestamp = XCB_ATOM_NONE, incr = XCB_ATOM_NONE;
    xcb_atom_t property = XCB_ATOM_NONE;
    // What we copied, and since when we hold the selection.
    std::string copied;
    bool owned = false;
    xcb_timestamp_t ownedSince = XCB_CURRENT_TIME;
    bool broken = false;
    int answered = 0;
    // The server as named when connecting, to tell windows of different
    // servers apart.
    std::string server;

    static std::vector<CImpl*>& instances() {
        static std::vector<CImpl*> list;
        return list;
    }

    explicit CImpl(IRunLoop& l) : loop(l) {}
    ~CImpl() {
        {
            const std::lock_guard<std::mutex> lock(instancesLock());
            auto& list = instances();
            list.erase(std::remove(list.begin(), list.end(), this), list.end());
        }
        if (watch) loop.removeFdWatch(watch);
        if (connection) xcb_disconnect(connection);
    }

    bool checkBroken() {
        if (!broken && xcb_connection_has_error(connection)) {
            broken = true;
            // A hung-up descriptor stays readable: stop watching it.
            if (watch) loop.removeFdWatch(watch);
            watch = 0;
        }
        return broken;
    }

    void answer(const xcb_selection_request_event_t& e) {
        // Clients from before the property was required name none.
        const xcb_atom_t target = e.target;
        const xcb_atom_t into = e.property == XCB_ATOM_NONE ? target : e.property;
        const bool current =
            e.time == XCB_CURRENT_TIME || ownedSince == XCB_CURRENT_TIME || int32_t(e.time - ownedSince) >= 0;
        bool given = false;
        if (owned && current && e.selection == clipboard) {
            if (target == targets) {
                const xcb_atom_t offered[] = {targets, timestamp, utf8String, text};
                xcb_change_property(connection, XCB_PROP_MODE_REPLACE, e.requestor, into, XCB_ATOM_ATOM, 32,
                                    uint32_t(sizeof offered / sizeof offered[0]), offered);
                given = true;
            } else if (target == timestamp) {
                xcb_change_property(connection, XCB_PROP_MODE_REPLACE, e.requestor, into, XCB_ATOM_INTEGER, 32, 1,
                                    &ownedSince);
                given = true;
            } else if ((target == utf8String || target == text) &&
                       copied.size() + 64 < size_t(xcb_get_maximum_request_length(connection)) * 4) {
                // Texts beyond one request would need the incremental
                // transfer; nothing an edit box copies comes near that.
                xcb_change_property(connection, XCB_PROP_MODE_REPLACE, e.requestor, into, utf8String, 8,
                                    uint32_t(copied.size()), copied.data());
                given = true;
                ++answered;
            }
        }
        xcb_selection_notify_event_t notify{};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = e.time;
        notify.requestor = e.requestor;
        notify.selection = e.selection;
        notify.target = target;
        notify.property = given ? into : xcb_atom_t(XCB_ATOM_NONE);
        xcb_send_event(connection, 0, e.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&notify));
        xcb_flush(connection);
    }

    // Events nobody waits for: requests are answered, a lost selection is
    // forgotten.
    void handle(const xcb_generic_event_t& event) {
        switch (event.response_type & 0x7F) {
            case XCB_SELECTION_REQUEST:
                answer(reinterpret_cast<const xcb_selection_request_event_t&>(event));
                break;
            case XCB_SELECTION_CLEAR: {
                const auto& e = reinterpret_cast<const xcb_selection_clear_event_t&>(event);
                if (e.selection == clipboard) {
                    const std::lock_guard<std::mutex> lock(instancesLock());
                    owned = false;
                    copied.clear();
                }
                break;
            }
            default:
                break;
        }
    }

    // The first event that `wanted` picks, handling the others meanwhile;
    // null when none came before `deadline` (seconds of the process clock).
    CEventPtr waitFor(const std::function<bool(const xcb_generic_event_t&)>& wanted, double deadline) {
        xcb_flush(connection);
        for (;;) {
            while (xcb_generic_event_t* raw = xcb_poll_for_event(connection)) {
                CEventPtr event(raw, &std::free);
                if (wanted(*event)) return event;
                handle(*event);
            }
            if (checkBroken()) return CEventPtr(nullptr, &std::free);
            const double left = deadline - secondsSinceStart();
            if (left <= 0) return CEventPtr(nullptr, &std::free);
            pollfd fd{xcb_get_file_descriptor(connection), POLLIN, 0};
            poll(&fd, 1, int(left * 1000) + 1);
        }
    }

    // Reads and deletes our property; false when it is not there.
    bool takeProperty(std::string& bytes, xcb_atom_t& type) {
        xcb_get_property_reply_t* reply =
            xcb_get_property_reply(connection,
                                   xcb_get_property(connection, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                                                    uint32_t(kMaxPasteBytes / 4)),
                                   nullptr);
        if (!reply) return false;
        type = reply->type;
        const int length = xcb_get_property_value_length(reply);
        bytes.assign(static_cast<const char*>(xcb_get_property_value(reply)), size_t(std::max(0, length)));
        std::free(reply);
        return type != XCB_ATOM_NONE;
    }

    // Asks the owner for the selection as `target`; the bytes it gave.
    bool convert(xcb_atom_t target, std::string& bytes, double deadline) {
        xcb_delete_property(connection, window, property);
        xcb_convert_selection(connection, window, clipboard, target, property, XCB_CURRENT_TIME);
        CEventPtr notify = waitFor(
            [&](const xcb_generic_event_t& e) {
                if ((e.response_type & 0x7F) != XCB_SELECTION_NOTIFY) return false;
                const auto& n = reinterpret_cast<const xcb_selection_notify_event_t&>(e);
                return n.requestor == window && n.selection == clipboard;
            },
            deadline);
        if (!notify) return false;
        if (reinterpret_cast<const xcb_selection_notify_event_t&>(*notify).property == XCB_ATOM_NONE) return false;
        xcb_atom_t type = XCB_ATOM_NONE;
        if (!takeProperty(bytes, type)) return false;
        if (type != incr) return true;
        // Sent in parts: each new value of the property is the next part,
        // an empty one the end. Deleting the property asks for more.
        bytes.clear();
        for (;;) {
            CEventPtr change = waitFor(
                [&](const xcb_generic_event_t& e) {
                    if ((e.response_type & 0x7F) != XCB_PROPERTY_NOTIFY) return false;
                    const auto& p = reinterpret_cast<const xcb_property_notify_event_t&>(e);
                    return p.window == window && p.atom == property && p.state == XCB_PROPERTY_NEW_VALUE;
                },
                deadline);
            if (!change) return false;
            std::string part;
            if (!takeProperty(part, type)) return false;
            if (part.empty()) return true;
            if (bytes.size() + part.size() > kMaxPasteBytes) return false;
            bytes += part;
        }
    }
};

std::unique_ptr<CClipboard> CClipboard::open(IRunLoop& loop, const std::string& display, std::string& error) {
    auto impl = std::make_unique<CImpl>(loop);
    int screenNumber = 0;
    impl->connection = xcb_connect(display.empty() ? nullptr : display.c_str(), &screenNumber);
    xcb_connection_t* c = impl->connection;
    if (xcb_connection_has_error(c)) {
        error = "Unable to connect to the X server" + (display.empty() ? std::string() : " '" + display + "'") + ".";
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) {
        error = "The X server has no screen " + std::to_string(screenNumber) + ".";
        return nullptr;
    }
    impl->window = xcb_generate_id(c);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, impl->window, it.data->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    impl->clipboard = internAtom(c, "CLIPBOARD");
    impl->utf8String = internAtom(c, "UTF8_STRING");
    impl->text = internAtom(c, "TEXT");
    impl->targets = internAtom(c, "TARGETS");
    impl->timestamp = internAtom(c, "TIMESTAMP");
    impl->incr = internAtom(c, "INCR");
    impl->property = internAtom(c, "LAGWELL_CLIPBOARD");
    if (impl->clipboard == XCB_ATOM_NONE || impl->property == XCB_ATOM_NONE) {
        error = "Unable to set up the clipboard.";
        return nullptr;
    }
    const char* named = display.empty() ? std::getenv("DISPLAY") : display.c_str();
    impl->server = named ? named : "";
    std::unique_ptr<CClipboard> clipboard(new CClipboard(std::move(impl)));
    CClipboard* self = clipboard.get();
    if (const int code = loop.addFdWatch(
            xcb_get_file_descriptor(c), [self] { self->dispatch(); }, self->m_impl->watch)) {
        error = "Unable to watch the clipboard's connection (error " + std::to_string(code) + ").";
        return nullptr;
    }
    const std::lock_guard<std::mutex> lock(instancesLock());
    CImpl::instances().push_back(self->m_impl.get());
    return clipboard;
}

CClipboard::CClipboard(std::unique_ptr<CImpl> impl) : m_impl(std::move(impl)) {}

CClipboard::~CClipboard() = default;

bool CClipboard::isBroken() const { return m_impl->broken; }
int CClipboard::answeredCount() const { return m_impl->answered; }

void CClipboard::dispatch() {
    CImpl& d = *m_impl;
    if (d.broken) return;
    while (xcb_generic_event_t* raw = xcb_poll_for_event(d.connection)) {
        CEventPtr event(raw, &std::free);
        d.handle(*event);
    }
    d.checkBroken();
}

bool CClipboard::copy(const std::string& utf8) {
    CImpl& d = *m_impl;
    if (d.broken) return false;
    // The server's time of a change to our own property stamps the
    // ownership, so that requests older than it can be told apart.
    xcb_change_property(d.connection, XCB_PROP_MODE_APPEND, d.window, d.property, d.utf8String, 8, 0, nullptr);
    CEventPtr stamp = d.waitFor(
        [&](const xcb_generic_event_t& e) {
            if ((e.response_type & 0x7F) != XCB_PROPERTY_NOTIFY) return false;
            const auto& p = reinterpret_cast<const xcb_property_notify_event_t&>(e);
            return p.window == d.window && p.atom == d.property;
        },
        secondsSinceStart() + 0.25);
    const xcb_timestamp_t time =
        stamp ? reinterpret_cast<const xcb_property_notify_event_t&>(*stamp).time : XCB_CURRENT_TIME;
    xcb_set_selection_owner(d.connection, d.window, d.clipboard, time);
    const bool ours = ownsSelection();
    const std::lock_guard<std::mutex> lock(instancesLock());
    d.copied = ours ? utf8 : std::string();
    d.ownedSince = time;
    d.owned = ours;
    return ours;
}

bool CClipboard::ownsSelection() {
    CImpl& d = *m_impl;
    if (d.broken) return false;
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(d.connection, xcb_get_selection_owner(d.connection, d.clipboard), nullptr);
    const bool ours = reply && reply->owner == d.window;
    std::free(reply);
    d.checkBroken();
    return ours;
}

bool CClipboard::paste(std::string& utf8, uint32_t timeoutMs) {
    CImpl& d = *m_impl;
    if (d.broken) return false;
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(d.connection, xcb_get_selection_owner(d.connection, d.clipboard), nullptr);
    const xcb_window_t owner = reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
    std::free(reply);
    if (d.checkBroken() || owner == XCB_WINDOW_NONE) return false;
    {
        const std::lock_guard<std::mutex> lock(instancesLock());
        for (const CImpl* other : CImpl::instances())
            if (other->window == owner && other->server == d.server && other->owned) {
                utf8 = other->copied;
                return true;
            }
    }
    const double deadline = secondsSinceStart() + timeoutMs / 1000.0;
    std::string bytes;
    if (d.convert(d.utf8String, bytes, deadline)) {
        utf8 = bytes;
        return true;
    }
    // Owners from before UTF-8 offer Latin-1 text.
    if (d.convert(XCB_ATOM_STRING, bytes, deadline)) {
        utf8 = latin1ToUtf8(bytes);
        return true;
    }
    return false;
}

}  // namespace zel::platform

// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditorHost.h"

#include <png.h>
#include <xcb/xcb.h>
#include <xcb/xcb_icccm.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Module.h"

namespace lagwell::host {

using namespace Steinberg;

// ---------------------------------------------------------------- run loop

HostRunLoop::~HostRunLoop() {
    for (auto& [handler, watch] : m_handlers) m_loop.removeFdWatch(watch.id);
    for (auto& [handler, id] : m_timers) m_loop.removeTimer(id);
}

tresult PLUGIN_API HostRunLoop::registerEventHandler(Linux::IEventHandler* handler, Linux::FileDescriptor fd) {
    if (!handler || fd < 0 || m_handlers.count(handler)) return kInvalidArgument;
    // One handler per descriptor, as hosts allow.
    for (const auto& [other, watch] : m_handlers)
        if (watch.fd == fd) return kResultFalse;
    zel::platform::IRunLoop::CWatchId id = 0;
    if (m_loop.addFdWatch(
            fd, [handler, fd] { handler->onFDIsSet(fd); }, id) != 0)
        return kResultFalse;
    handler->addRef();
    m_handlers[handler] = Watch{fd, id};
    return kResultOk;
}

tresult PLUGIN_API HostRunLoop::unregisterEventHandler(Linux::IEventHandler* handler) {
    auto it = m_handlers.find(handler);
    if (it == m_handlers.end()) return kInvalidArgument;
    m_loop.removeFdWatch(it->second.id);
    m_handlers.erase(it);
    handler->release();
    return kResultOk;
}

tresult PLUGIN_API HostRunLoop::registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval milliseconds) {
    if (!handler || milliseconds == 0 || m_timers.count(handler)) return kInvalidArgument;
    zel::platform::IRunLoop::CTimerId id = 0;
    if (m_loop.addTimer(
            uint32_t(milliseconds),
            [this, handler] {
                ++m_timerCalls;
                // The handler may unregister itself in the call.
                handler->addRef();
                handler->onTimer();
                handler->release();
            },
            id) != 0)
        return kResultFalse;
    handler->addRef();
    m_timers[handler] = id;
    return kResultOk;
}

tresult PLUGIN_API HostRunLoop::unregisterTimer(Linux::ITimerHandler* handler) {
    auto it = m_timers.find(handler);
    if (it == m_timers.end()) return kInvalidArgument;
    m_loop.removeTimer(it->second);
    m_timers.erase(it);
    handler->release();
    return kResultOk;
}

// ---------------------------------------------------------------- frame

tresult PLUGIN_API PlugFrame::queryInterface(const TUID iid, void** obj) {
    if (m_loop && FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid)) {
        m_loop->addRef();
        *obj = static_cast<Linux::IRunLoop*>(m_loop);
        return kResultOk;
    }
    return HostOwned<IPlugFrame>::queryInterface(iid, obj);
}

tresult PLUGIN_API PlugFrame::resizeView(IPlugView* view, ViewRect* newSize) {
    ++m_resizeRequests;
    if (!view || !newSize || newSize->getWidth() <= 0 || newSize->getHeight() <= 0) return kInvalidArgument;
    if (m_window) m_window->resize(newSize->getWidth(), newSize->getHeight());
    return view->onSize(newSize);
}

// ---------------------------------------------------------------- window

struct EditorWindow::Impl {
    zel::platform::CStandaloneRunLoop& loop;
    xcb_connection_t* connection = nullptr;
    xcb_screen_t* screen = nullptr;
    xcb_atom_t protocols = XCB_ATOM_NONE, deleteWindow = XCB_ATOM_NONE;
    zel::platform::IRunLoop::CWatchId watch = 0;
    int width = 0, height = 0;
    explicit Impl(zel::platform::CStandaloneRunLoop& l) : loop(l) {}
};

namespace {
xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return a;
}
}  // namespace

EditorWindow::EditorWindow(zel::platform::CStandaloneRunLoop& loop, int width, int height, const std::string& title,
                           bool shown)
    : m_impl(std::make_unique<Impl>(loop)) {
    Impl& d = *m_impl;
    int screen = 0;
    d.connection = xcb_connect(nullptr, &screen);
    if (xcb_connection_has_error(d.connection)) {
        xcb_disconnect(d.connection);
        throw HostError("cannot open the X display (is DISPLAY set?)");
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(d.connection));
    for (int i = 0; i < screen && it.rem; ++i) xcb_screen_next(&it);
    d.screen = it.data;
    d.width = width;
    d.height = height;
    m_id = xcb_generate_id(d.connection);
    const uint32_t values[] = {d.screen->black_pixel, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(d.connection, XCB_COPY_FROM_PARENT, m_id, d.screen->root, 0, 0, uint16_t(width), uint16_t(height),
                      0, XCB_WINDOW_CLASS_INPUT_OUTPUT, d.screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK,
                      values);
    d.protocols = atom(d.connection, "WM_PROTOCOLS");
    d.deleteWindow = atom(d.connection, "WM_DELETE_WINDOW");
    xcb_icccm_set_wm_protocols(d.connection, m_id, d.protocols, 1, &d.deleteWindow);
    xcb_icccm_set_wm_name(d.connection, m_id, XCB_ATOM_STRING, 8, uint32_t(title.size()), title.data());
    m_socket = xcb_generate_id(d.connection);
    xcb_create_window(d.connection, XCB_COPY_FROM_PARENT, m_socket, m_id, 0, 0, uint16_t(width), uint16_t(height), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, d.screen->root_visual, XCB_CW_BACK_PIXEL, values);
    xcb_map_window(d.connection, m_socket);
    if (shown) xcb_map_window(d.connection, m_id);
    xcb_flush(d.connection);
    loop.addFdWatch(
        xcb_get_file_descriptor(d.connection), [this] { dispatch(); }, d.watch);
}

EditorWindow::~EditorWindow() {
    Impl& d = *m_impl;
    if (d.watch) d.loop.removeFdWatch(d.watch);
    if (!xcb_connection_has_error(d.connection)) {
        xcb_destroy_window(d.connection, m_id);
        xcb_flush(d.connection);
    }
    xcb_disconnect(d.connection);
}

bool EditorWindow::isBroken() const { return xcb_connection_has_error(m_impl->connection) != 0; }

void EditorWindow::dispatch() {
    Impl& d = *m_impl;
    while (xcb_generic_event_t* e = xcb_poll_for_event(d.connection)) {
        const uint8_t type = e->response_type & 0x7F;
        if (type == 0) {
            ++m_errors;
        } else if (type == XCB_CLIENT_MESSAGE) {
            auto* m = reinterpret_cast<xcb_client_message_event_t*>(e);
            if (m->type == d.protocols && m->data.data32[0] == d.deleteWindow) m_closed = true;
        } else if (type == XCB_DESTROY_NOTIFY) {
            m_closed = true;
        }
        free(e);
    }
    if (xcb_connection_has_error(d.connection) && d.watch) {
        // The server is gone: its descriptor would stay readable forever.
        d.loop.removeFdWatch(d.watch);
        d.watch = 0;
    }
}

void EditorWindow::resize(int width, int height) {
    Impl& d = *m_impl;
    if (isBroken()) return;
    const uint32_t size[] = {uint32_t(width), uint32_t(height)};
    xcb_configure_window(d.connection, m_id, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
    xcb_configure_window(d.connection, m_socket, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
    xcb_flush(d.connection);
    d.width = width;
    d.height = height;
}

void EditorWindow::show(bool visible) {
    Impl& d = *m_impl;
    if (isBroken()) return;
    if (visible)
        xcb_map_window(d.connection, m_id);
    else
        xcb_unmap_window(d.connection, m_id);
    xcb_flush(d.connection);
}

void EditorWindow::raise() {
    Impl& d = *m_impl;
    if (isBroken()) return;
    const uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(d.connection, m_id, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_flush(d.connection);
}

bool EditorWindow::isBelow(uint32_t other) {
    Impl& d = *m_impl;
    if (isBroken()) return false;
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(d.connection, xcb_query_tree(d.connection, d.screen->root), nullptr);
    if (!tree) return false;
    // Bottom to top.
    const xcb_window_t* children = xcb_query_tree_children(tree);
    int self = -1, found = -1;
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
        if (children[i] == m_id) self = i;
        if (children[i] == other) found = i;
    }
    free(tree);
    return self >= 0 && found > self;
}

int EditorWindow::width() const { return m_impl->width; }
int EditorWindow::height() const { return m_impl->height; }

bool EditorWindow::capture(std::vector<uint8_t>& pixels, int& width, int& height) {
    Impl& d = *m_impl;
    if (isBroken()) return false;
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        d.connection,
        xcb_get_image(d.connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_id, 0, 0, uint16_t(d.width), uint16_t(d.height), ~0u),
        nullptr);
    if (!image) return false;
    const int length = xcb_get_image_data_length(image);
    const uint8_t* data = xcb_get_image_data(image);
    width = d.width;
    height = d.height;
    const bool ok = length >= width * height * 4;
    if (ok) pixels.assign(data, data + size_t(width) * size_t(height) * 4);
    free(image);
    return ok;
}

bool writePng(const std::string& path, const std::vector<uint8_t>& bgrx, int width, int height, std::string& error) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot write " + path;
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(file);
        error = "PNG encoding failed for " + path;
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = bgrx.data() + size_t(y) * size_t(width) * 4;
        for (int x = 0; x < width; ++x) {
            row[size_t(x) * 3] = src[x * 4 + 2];
            row[size_t(x) * 3 + 1] = src[x * 4 + 1];
            row[size_t(x) * 3 + 2] = src[x * 4];
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    const bool closed = fclose(file) == 0;
    if (!closed) error = "cannot write " + path;
    return closed;
}

}  // namespace lagwell::host

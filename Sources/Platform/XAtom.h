// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// For the platform layer's X sources only.

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace zel::platform {

// The atom of `name`, created when the server has none; XCB_ATOM_NONE when
// the connection fails.
inline xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    if (!reply) return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

}  // namespace zel::platform

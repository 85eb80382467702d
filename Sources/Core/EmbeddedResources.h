// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace zel {

// One resource built into the module. data points at a u32 little-endian
// payload size followed by the payload; name is the resource's exact name.
struct CEmbeddedResource {
    const unsigned char* data;
    const char* name;
};

// Generated at build time by lagwell-embed; ended by {nullptr, ""}.
extern const CEmbeddedResource kEmbeddedResources[];

}  // namespace zel

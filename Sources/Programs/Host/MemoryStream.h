// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The host's IBStream: the bytes of a plug-in state in memory. Reads stop at
// the end; writes and seeks past the end grow the stream (a gap reads as
// zeros).

#include <cstdint>
#include <vector>

#include "HostObject.h"
#include "pluginterfaces/base/ibstream.h"

namespace lagwell::host {

class MemoryStream final : public HostOwned<Steinberg::IBStream> {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}

    const std::vector<uint8_t>& bytes() const { return m_bytes; }
    int64_t position() const { return m_pos; }
    void rewind() { m_pos = 0; }

    Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 numBytes,
                                       Steinberg::int32* numBytesRead) override;
    Steinberg::tresult PLUGIN_API write(void* buffer, Steinberg::int32 numBytes,
                                        Steinberg::int32* numBytesWritten) override;
    Steinberg::tresult PLUGIN_API seek(Steinberg::int64 pos, Steinberg::int32 mode, Steinberg::int64* result) override;
    Steinberg::tresult PLUGIN_API tell(Steinberg::int64* pos) override;

private:
    std::vector<uint8_t> m_bytes;
    int64_t m_pos = 0;
};

}  // namespace lagwell::host

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Core/Stream.h"

namespace Steinberg {
class IBStream;
}

namespace zel {

// The framework's streams over a host stream (the state the host stores).
// The host keeps the stream; the adapter only borrows it for one call.
class CInputStreamVST final : public CInputStream {
public:
    explicit CInputStreamVST(Steinberg::IBStream* stream) : m_stream(stream) {}

    // Fails on a real error of the host stream and at its end.
    CErrorPtr read(void* buffer, size_t count) override;
    // Stops short only at the end of the host stream, which is no error.
    CErrorPtr readStreamed(void* buffer, size_t& count) override;

private:
    Steinberg::IBStream* m_stream;
};

class COutputStreamVST final : public COutputStream {
public:
    explicit COutputStreamVST(Steinberg::IBStream* stream) : m_stream(stream) {}

    CErrorPtr write(const void* buffer, size_t count) override;

private:
    Steinberg::IBStream* m_stream;
};

}  // namespace zel

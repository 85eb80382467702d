// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/VST/VSTStream.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "pluginterfaces/base/ibstream.h"

#define ZEL_SOURCE_TAG "VSTStream"

namespace zel {

namespace {
// Host streams count bytes in 32-bit signed integers.
constexpr size_t kMaxPiece = INT32_MAX;
}  // namespace

CErrorPtr CInputStreamVST::read(void* buffer, size_t count) {
    size_t got = count;
    ZEL_TRY(readStreamed(buffer, got));
    if (got < count)
        return ZEL_ERROR("@zelstr_CInputStreamVST_read_EOF Premature end of the host stream (%1 of %2 bytes read).",
                         got, count);
    return nullptr;
}

// Hosts differ at the end of a stream: some answer kResultOk with fewer
// bytes, others kResultFalse with none. Both mean the end; any other result
// is a failure of the stream.
CErrorPtr CInputStreamVST::readStreamed(void* buffer, size_t& count) {
    if (!m_stream) return ZEL_ERROR("@zelstr_CInputStreamVST_read_NoStream Input stream not specified.");
    uint8_t* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        const Steinberg::int32 want = static_cast<Steinberg::int32>(std::min(count - done, kMaxPiece));
        Steinberg::int32 got = 0;
        const Steinberg::tresult rc = m_stream->read(out + done, want, &got);
        if (rc != Steinberg::kResultOk && rc != Steinberg::kResultFalse)
            return ZEL_ERROR("@zelstr_CInputStreamVST_read_Failed Reading the host stream failed (result %1).",
                             static_cast<int>(rc));
        if (got <= 0) break;
        done += static_cast<size_t>(std::min(got, want));
    }
    count = done;
    return nullptr;
}

CErrorPtr COutputStreamVST::write(const void* buffer, size_t count) {
    if (!m_stream) return ZEL_ERROR("@zelstr_COutputStreamVST_write_NoStream Output stream not specified.");
    const uint8_t* in = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        const Steinberg::int32 want = static_cast<Steinberg::int32>(std::min(count - done, kMaxPiece));
        Steinberg::int32 written = 0;
        const Steinberg::tresult rc = m_stream->write(const_cast<uint8_t*>(in + done), want, &written);
        if (rc != Steinberg::kResultOk || written <= 0)
            return ZEL_ERROR(
                "@zelstr_COutputStreamVST_write_Failed Writing the host stream failed (result %1, %2 of %3 bytes "
                "written).",
                static_cast<int>(rc), done, count);
        done += static_cast<size_t>(std::min(written, want));
    }
    return nullptr;
}

}  // namespace zel

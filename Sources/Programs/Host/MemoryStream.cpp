// SPDX-License-Identifier: GPL-3.0-or-later
#include "MemoryStream.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace lagwell::host {

using namespace Steinberg;

tresult PLUGIN_API MemoryStream::read(void* buffer, int32 numBytes, int32* numBytesRead) {
    if (numBytes < 0 || (numBytes > 0 && !buffer)) return kInvalidArgument;
    const int64_t size = static_cast<int64_t>(m_bytes.size());
    const int32 n = m_pos >= size ? 0 : static_cast<int32>(std::min<int64_t>(numBytes, size - m_pos));
    if (n > 0) std::memcpy(buffer, m_bytes.data() + m_pos, static_cast<size_t>(n));
    m_pos += n;
    if (numBytesRead) *numBytesRead = n;
    return kResultOk;
}

tresult PLUGIN_API MemoryStream::write(void* buffer, int32 numBytes, int32* numBytesWritten) {
    if (numBytes < 0 || (numBytes > 0 && !buffer)) return kInvalidArgument;
    const auto end = static_cast<size_t>(m_pos) + static_cast<size_t>(numBytes);
    if (end > m_bytes.size()) m_bytes.resize(end);
    if (numBytes > 0) std::memcpy(m_bytes.data() + m_pos, buffer, static_cast<size_t>(numBytes));
    m_pos += numBytes;
    if (numBytesWritten) *numBytesWritten = numBytes;
    return kResultOk;
}

tresult PLUGIN_API MemoryStream::seek(int64 pos, int32 mode, int64* result) {
    int64 base;
    switch (mode) {
        case kIBSeekSet:
            base = 0;
            break;
        case kIBSeekCur:
            base = m_pos;
            break;
        case kIBSeekEnd:
            base = static_cast<int64>(m_bytes.size());
            break;
        default:
            return kInvalidArgument;
    }
    // A stream of one state never comes near the 32-bit sizes of the
    // interface; a position beyond them could not be read or written.
    if (pos < -base || pos > std::numeric_limits<int32>::max() - base) return kInvalidArgument;
    m_pos = base + pos;
    if (result) *result = m_pos;
    return kResultOk;
}

tresult PLUGIN_API MemoryStream::tell(int64* pos) {
    if (!pos) return kInvalidArgument;
    *pos = m_pos;
    return kResultOk;
}

}  // namespace lagwell::host

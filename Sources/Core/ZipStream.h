// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Core/Stream.h"

namespace zel {

// Decompresses a zlib stream (header and Adler-32 trailer) from a source
// stream it does not own. The source is read in pieces of kBufferBytes, so
// its position afterwards may lie beyond the end of the zlib stream. After a
// failure the adapter must be closed before it is opened again.
class CInputZipStream final : public CInputStream {
public:
    static constexpr size_t kBufferBytes = 32768;

    CInputZipStream();
    ~CInputZipStream() override;
    CInputZipStream(const CInputZipStream&) = delete;
    CInputZipStream& operator=(const CInputZipStream&) = delete;

    CErrorPtr open(CInputStream& source);
    // Delivers exactly `count` decompressed bytes straight into `buffer`.
    CErrorPtr read(void* buffer, size_t count) override;
    CErrorPtr close();

private:
    struct CState;
    std::unique_ptr<CState> m_state;
    CInputStream* m_source = nullptr;
    bool m_initialised = false;
};

// Compresses into a target stream it does not own; close finishes the zlib
// stream and writes what is left.
class COutputZipStream final : public COutputStream {
public:
    static constexpr size_t kBufferBytes = 32768;
    static constexpr int kDefaultLevel = -1;

    COutputZipStream();
    ~COutputZipStream() override;
    COutputZipStream(const COutputZipStream&) = delete;
    COutputZipStream& operator=(const COutputZipStream&) = delete;

    CErrorPtr open(COutputStream& target, int level = kDefaultLevel);
    CErrorPtr write(const void* buffer, size_t count) override;
    CErrorPtr close();

private:
    struct CState;
    CErrorPtr flushBuffer();
    void release();

    std::unique_ptr<CState> m_state;
    COutputStream* m_target = nullptr;
    bool m_initialised = false;
};

}  // namespace zel

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>

namespace zel::platform {

// A counting semaphore whose post() neither allocates, nor locks, nor
// waits: an audio thread can wake a worker with it.
class CSemaphore final {
public:
    CSemaphore();
    ~CSemaphore();
    CSemaphore(const CSemaphore&) = delete;
    CSemaphore& operator=(const CSemaphore&) = delete;

    void post();
    // Waits up to `ms` milliseconds for a post and takes it; false when
    // none came in time.
    bool wait(uint32_t ms);

private:
    struct CImpl;
    std::unique_ptr<CImpl> m_impl;
};

}  // namespace zel::platform

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <mutex>
#include <vector>

namespace zel::platform {

// Callbacks posted from any thread, run by whoever watches the queue's
// descriptor: for loops (a host's) that offer descriptors and timers but no
// posting of their own.
class CPostQueue final {
public:
    using CCallback = std::function<void()>;

    CPostQueue();
    ~CPostQueue();
    CPostQueue(const CPostQueue&) = delete;
    CPostQueue& operator=(const CPostQueue&) = delete;

    // Readable while callbacks wait; -1 when it could not be created.
    int fd() const { return m_fd; }
    // Returns 0 or the system error code.
    int post(CCallback callback);
    // Runs the waiting callbacks, in the order they were posted.
    void runPosted();

private:
    int m_fd = -1;
    int m_error = 0;
    std::mutex m_lock;
    std::vector<CCallback> m_posted;
};

}  // namespace zel::platform

// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/PostQueue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

namespace zel::platform {

CPostQueue::CPostQueue() {
    m_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_fd < 0) m_error = errno;
}

CPostQueue::~CPostQueue() {
    if (m_fd >= 0) ::close(m_fd);
}

int CPostQueue::post(CCallback callback) {
    if (m_fd < 0) return m_error;
    std::lock_guard<std::mutex> lock(m_lock);
    const uint64_t one = 1;
    // EAGAIN: the counter is saturated, the descriptor is readable anyway.
    if (::write(m_fd, &one, sizeof one) < 0 && errno != EAGAIN) return errno;
    m_posted.push_back(std::move(callback));
    return 0;
}

void CPostQueue::runPosted() {
    uint64_t count;
    while (m_fd >= 0 && ::read(m_fd, &count, sizeof count) > 0) {}
    std::vector<CCallback> posted;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        posted.swap(m_posted);
    }
    for (CCallback& callback : posted) callback();
}

}  // namespace zel::platform

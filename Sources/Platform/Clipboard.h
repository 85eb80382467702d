// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Platform/RunLoop.h"

namespace zel::platform {

// The X server's CLIPBOARD selection, as UTF-8 text. It has a connection
// and an unmapped window of its own, so that other programs' requests for
// what was copied are answered on the run loop whenever they come, and a
// paste can wait for the owner's answer without taking the editor's
// windows' events. Copied text stays available while this object lives.
class CClipboard final {
public:
    // Null with `error` set when there is no server.
    static std::unique_ptr<CClipboard> open(IRunLoop& loop, const std::string& display, std::string& error);
    ~CClipboard();
    CClipboard(const CClipboard&) = delete;
    CClipboard& operator=(const CClipboard&) = delete;

    // Takes the selection with this text; false when the server did not
    // give it.
    bool copy(const std::string& utf8);
    // The selection's text: ours when we hold it, else the owner's answer,
    // waited for at most `timeoutMs` in all. False when nobody holds the
    // selection, the owner has no text or does not answer in time.
    bool paste(std::string& utf8, uint32_t timeoutMs);
    // Whether the server still names us as the selection's owner.
    bool ownsSelection();
    // Reads and answers every pending request (also called by the watch).
    void dispatch();
    bool isBroken() const;
    // Requests from other programs answered with text so far.
    int answeredCount() const;

    struct CImpl;

private:
    explicit CClipboard(std::unique_ptr<CImpl> impl);

    std::unique_ptr<CImpl> m_impl;
};

}  // namespace zel::platform

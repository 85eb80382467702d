// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <memory>
#include <string>

#include "UI/View.h"

namespace zel {

class CWindowSharedData;

// `ui:win-error-message`: the root of the error window. It shows its
// `message` below `title-message`; "copy-to-clipboard" (its button, unless
// `is-copy-to-clipboard-hidden`) puts the title and the message on the
// clipboard.
class CWinErrorMessage : public CWinDrag {
public:
    static void setupClass(CClassInfo& info);
    // A message that comes while the window is open follows those shown,
    // the oldest making room beyond `kMaxMessages`.
    CErrorPtr addMessage(const CString& text);
    size_t messageCount() const { return m_messages.empty() ? 1 : m_messages.size(); }

    static constexpr size_t kMaxMessages = 8;

private:
    CErrorPtr onCopy(CObject* params, CObject* sender);

    // Those shown, once a second one came, after the explanation they share.
    std::deque<CString> m_messages;
    CString m_preamble;
};

// Shows the errors of the process in one editor's error window while that
// editor is the last one opened: a message from any thread goes to the
// editor's loop, where the window of the main window's
// `win-error-message-tag` opens over it, or takes the message when it is
// open already. With no window to open it over, or when it cannot open,
// the message goes to the standard error output.
class CEditorErrorDisplay {
public:
    explicit CEditorErrorDisplay(CWindowSharedData& shared);
    ~CEditorErrorDisplay();
    CEditorErrorDisplay(const CEditorErrorDisplay&) = delete;
    CEditorErrorDisplay& operator=(const CEditorErrorDisplay&) = delete;

    // On the editor's loop.
    void show(const std::string& title, const std::string& text);

    struct CState;

private:
    CWindowSharedData* m_shared;
    std::shared_ptr<CState> m_state;
    int m_token = 0;
};

}  // namespace zel

// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/ErrorWindow.h"

#include "Core/Timer.h"
#include "Platform/Clipboard.h"
#include "Platform/ErrorDisplay.h"
#include "Platform/RunLoop.h"
#include "UI/WindowOpener.h"
#include "UI/WindowRenderer.h"
#include "UI/WindowSharedData.h"

#define ZEL_SOURCE_TAG "ErrorWindow"

namespace zel {

namespace {

// Messages in the window are set apart by an empty line.
const char* const kSeparator = "\n\n";

}  // namespace

void CWinErrorMessage::setupClass(CClassInfo& info) {
    CWinDrag::setupClass(info);
    info.onEvent("copy-to-clipboard", &CWinErrorMessage::onCopy);
}

CErrorPtr CWinErrorMessage::addMessage(const CString& text) {
    if (m_messages.empty()) {
        // The explanation that every message starts with shows once, above
        // the details of each.
        const CString first = getAttr("message");
        const size_t cut = first.find(CString(kSeparator));
        if (cut != CString::npos) {
            m_preamble = first.substr(0, cut + 2);
            m_messages.push_back(first.substr(cut + 2));
        } else {
            m_messages.push_back(first);
        }
    }
    const bool same = !m_preamble.empty() && text.substr(0, m_preamble.length()) == m_preamble;
    m_messages.push_back(same ? text.substr(m_preamble.length()) : text);
    while (m_messages.size() > kMaxMessages) m_messages.pop_front();
    CString all = m_preamble;
    for (size_t i = 0; i < m_messages.size(); ++i) all = all + (i ? CString(kSeparator) : CString()) + m_messages[i];
    ZEL_TRY(setAttr("message", all));
    return nullptr;
}

CErrorPtr CWinErrorMessage::onCopy(CObject*, CObject*) {
    auto* shared = dynamic_cast<CWindowSharedData*>(findObject("ui.window-shared-data"));
    if (!shared) return ZEL_ERROR("@zelstr_CWinErrorMessage_copy_NoSharedData Unable to find the window shared data.");
    platform::CClipboard* clipboard = nullptr;
    ZEL_TRY(shared->clipboard(clipboard));
    const CString text = getAttr("title-message") + CString(kSeparator) + getAttr("message");
    if (!clipboard->copy(text.utf8()))
        return ZEL_ERROR("@zelstr_CWinErrorMessage_copy_Refused Unable to copy the message to the clipboard.");
    return nullptr;
}

// ---------------------------------------------------------------- display

struct CEditorErrorDisplay::CState {
    CEditorErrorDisplay* display;
    platform::IRunLoop* loop;
};

CEditorErrorDisplay::CEditorErrorDisplay(CWindowSharedData& shared)
    : m_shared(&shared), m_state(std::make_shared<CState>(CState{this, &runLoopOf(shared)})) {
    std::weak_ptr<CState> weak = m_state;
    m_token = platform::addErrorSink([weak](const std::string& title, const std::string& text) {
        // Runs under the sinks' lock, which the destructor takes before the
        // state goes: the state and its loop are alive here.
        std::shared_ptr<CState> state = weak.lock();
        if (!state) return false;
        return state->loop->post([weak, title, text] {
            if (std::shared_ptr<CState> s = weak.lock())
                s->display->show(title, text);
            else
                platform::printErrorText(title, text);
        }) == 0;
    });
}

CEditorErrorDisplay::~CEditorErrorDisplay() {
    platform::removeErrorSink(m_token);
    m_state.reset();
}

void CEditorErrorDisplay::show(const std::string& title, const std::string& text) {
    const CString message = CString::fromUtf8(text);
    CView* over = nullptr;
    for (CWindowRenderer* window : m_shared->windows())
        if ((over = dynamic_cast<CView*>(window->parent())) != nullptr) break;
    auto* opener = dynamic_cast<CWindowOpener*>(m_shared->findChild("window-opener"));
    if (!over || !opener) {
        platform::printErrorText(title, text);
        return;
    }
    const CString tag = over->hasAttr("win-error-message-tag") ? over->getAttr("win-error-message-tag")
                                                               : CString("ui:win-error-message");
    CErrorPtr err;
    if (auto* open = dynamic_cast<CWinErrorMessage*>(opener->findPopup(tag))) {
        err = open->addMessage(message);
    } else {
        CWinDrag* window = nullptr;
        err = opener->openPopup(tag, "", *over, window, [&](CWinDrag& root) {
            root.setAttr("title-message", CString::fromUtf8(title));
            root.setAttr("message", message);
        });
    }
    if (!err) return;
    // Never through the error display again: that could loop.
    platform::printErrorText(title, text);
    platform::printErrorText(title, err->describe());
}

}  // namespace zel

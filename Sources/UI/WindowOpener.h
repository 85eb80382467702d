// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <vector>

#include "Core/Object.h"

namespace zel {

class CIntervalTimer;
class CView;
class CWinDrag;
class CWindowRenderer;

// `ui:window-opener`: opens popup windows from their templates under the
// editor's "ui" object, placed relative to the view that opens them, and
// releases their trees once they closed. The opener view hears
// "popup-created" when a popup opens and "popup-changed" when an open
// popup is asked for again or goes (`popup`, `is-open`). Its interval
// timer (`update-interval` seconds) runs only while popups exist; a popup
// asked to close that has not closed after `wait-timeout` seconds is
// closed by force. The popups' trees belong to the "ui" object, which
// releases those still open with the editor.
class CWindowOpener : public CObject {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    // Opens the popup of template `tag` named `name` (the template's name
    // when empty); an open popup of that name is raised and returned.
    // `prepare` may set the new popup's attributes before it initialises.
    CErrorPtr openPopup(const CString& tag, const CString& name, CView& opener, CWinDrag*& out,
                        const std::function<void(CWinDrag&)>& prepare = {});
    // Opens or closes: the popup of that name closes when it is open.
    CErrorPtr togglePopup(const CString& tag, const CString& name, CView& opener);
    CWinDrag* findPopup(const CString& name) const;
    size_t popupCount() const { return m_popups.size(); }
    bool isTimerRunning() const;

private:
    struct CPopup {
        CWinDrag* root;
        CWindowRenderer* renderer;
        CView* opener;
        double closingSince;  // < 0 while open
        bool closed;
    };
    CErrorPtr onTick(CObject* params, CObject* sender);
    CErrorPtr onPopupPreClose(CObject* params, CObject* sender);
    CErrorPtr onPopupClosed(CObject* params, CObject* sender);
    CErrorPtr timer(CIntervalTimer*& out);
    CErrorPtr release(size_t index);
    static CErrorPtr tellOpener(CView* opener, const char* event, CWinDrag& popup, bool open);

    std::vector<CPopup> m_popups;
    CIntervalTimer* m_timer = nullptr;
};

}  // namespace zel

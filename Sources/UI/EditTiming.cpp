// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/EditTiming.h"

namespace zel {

bool CEditGesture::press(double now, bool doubleClick) {
    if (doubleClick) {
        // The first press of the pair waited for this one: it opens
        // nothing, so a double click opens one edit box at most.
        m_waiting = false;
        return m_options.onDoubleClick;
    }
    if (m_options.onClick) return true;
    if (m_options.onSingleClick) {
        // A later press that is not a double click starts a new wait.
        m_waiting = true;
        m_due = now + m_options.singleClickDelay;
    }
    return false;
}

bool CEditGesture::tick(double now) {
    if (!m_waiting || now < m_due) return false;
    m_waiting = false;
    return true;
}

}  // namespace zel

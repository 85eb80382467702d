// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/AudioHostEdits.h"

#include <algorithm>

#include "Audio/AudioWrapper.h"

namespace zel {

void CAudioHostEdits::report(size_t index, double normalized) {
    if (m_gestures == 0) {
        m_host.reportExtParam(index, normalized);
        return;
    }
    if (std::find(m_open.begin(), m_open.end(), index) == m_open.end()) {
        m_open.push_back(index);
        m_host.beginExtParamEdit(index);
    }
    m_host.performExtParamEdit(index, normalized);
}

void CAudioHostEdits::gestureEnded() {
    if (m_gestures > 0) --m_gestures;
    if (m_gestures == 0) endAll();
}

void CAudioHostEdits::endAll() {
    std::vector<size_t> open;
    open.swap(m_open);
    for (size_t index : open) m_host.endExtParamEdit(index);
}

void CAudioHostEdits::reset() {
    m_open.clear();
    m_gestures = 0;
}

}  // namespace zel

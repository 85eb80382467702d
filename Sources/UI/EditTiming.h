// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace zel {

// Which click opens an edit box: a press at once, a single click once the
// double-click time has passed without a second press, or a double click.
// Times are seconds of one clock; the owner reports presses and ticks.
class CEditGesture {
public:
    struct COptions {
        bool onClick = false;
        bool onSingleClick = false;
        bool onDoubleClick = false;
        // How long a single click waits for a second press.
        double singleClickDelay = 0.5;
    };

    void setOptions(const COptions& options) { m_options = options; }
    const COptions& options() const { return m_options; }
    // A press; `doubleClick` when the window counts it as the second of a
    // double click. True when the edit box is to open now.
    bool press(double now, bool doubleClick);
    // True once, when a single click's wait ran out.
    bool tick(double now);
    bool isWaiting() const { return m_waiting; }
    // The press went to something else (the pointer left, the view closed).
    void cancel() { m_waiting = false; }

private:
    COptions m_options;
    bool m_waiting = false;
    double m_due = 0;
};

// The caret's blink: shown at once after every key or click, then toggled
// by each tick of the window's cursor timer.
class CCaretBlink {
public:
    void restart() {
        m_visible = true;
        m_hold = true;
    }
    // True when the caret's visibility changed.
    bool tick() {
        // The first tick after a key may come at once: the caret stays
        // for a whole period.
        if (m_hold) {
            m_hold = false;
            return false;
        }
        m_visible = !m_visible;
        return true;
    }
    bool isVisible() const { return m_visible; }

private:
    bool m_visible = true;
    bool m_hold = true;
};

}  // namespace zel

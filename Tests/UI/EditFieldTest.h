// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A test window of text fields at (100, 100) of the screen, typed into and
// clicked on through the X server.

#include <string>

#include "EditorWindowTest.h"

namespace zel::test {

// The window "main" at (100, 100) of the screen, titled `title`, with the
// caret's timer, holding `views`.
inline std::string editWindow(const char* title, int width, int height, const std::string& views) {
    return R"(
  <ui:window-drag name="main" width=")" +
           std::to_string(width) + R"(" height=")" + std::to_string(height) + R"(" color="Panel">
    <ui:window-renderer name="window-renderer" title=")" +
           title + R"(" num-threads="0" window-x="100" window-y="100" fps="40">
      )" + rendererChildren() +
           R"(
      <ui:interval-timer name="cursor-timer" interval="0.3">
        <ui:update-timer name="update-timer" fps="{*/^^ fps}"/>
      </ui:interval-timer>
    </ui:window-renderer>)" +
           views + R"(
  </ui:window-drag>)";
}

class EditFieldTest : public EditorWindowTest {
protected:
    // Opens `window` (an editWindow), waits until it is shown and logs
    // `events` of the views `fields` of it.
    void openFields(const std::string& window, std::initializer_list<std::string> fields,
                    std::initializer_list<const char*> events) {
        open(window);
        renderer = rendererOf("main");
        waitShown(renderer);
        listen(fields, events);
    }
    // The screen point of (wx, wy) of the window.
    static std::string windowPoint(int wx, int wy) { return std::to_string(100 + wx) + " " + std::to_string(100 + wy); }
    // The screen point `dx` right of the centre of "main.`name`".
    std::string screenPoint(const char* name, int dx = 0) {
        const CRect& r = view(std::string("main.") + name)->area();
        return windowPoint((r.left + r.right) / 2 + dx, (r.top + r.bottom) / 2);
    }
    // Keys through the server (xdotool key names), and typed text.
    void keys(const std::string& names) { ASSERT_EQ(x.run("xdotool key --delay 10 " + names), 0); }
    void typed(const std::string& text) { ASSERT_EQ(x.run("xdotool type --delay 10 '" + text + "'"), 0); }

    CWindowRenderer* renderer = nullptr;
};

}  // namespace zel::test

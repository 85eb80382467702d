// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "EditorWindowTest.h"
#include "Other/Font.h"
#include "UI/Controls/TextView.h"
#include "UI/EditBox.h"
#include "UI/Resources/ResourceObjects.h"
#include "UI/VirtualKeyboard.h"
#include "UI/WindowOpener.h"

using namespace zel;
using namespace zel::test;

namespace {

// A template of the plug-in's own document.
std::string shipped(const std::string& name) {
    std::ifstream in(LAGWELL_SOURCE_DIR "/Gfx/UserInterface.xml");
    const std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t from = doc.find("<template name=\"" + name + "\">");
    const size_t to = doc.find("</template>", from);
    return from == std::string::npos ? std::string() : doc.substr(from, to + 11 - from);
}

// Three fields of one tab group (a name, an amount that takes numbers, a
// password without a keyboard) over an empty view, at (100, 100) of the
// screen, at the UI `scale` of the settings.
std::string window(const std::string& scale) {
    return R"(
  <core:object name="local-data"><core:object name="ui-scale" scale=")" +
           scale + R"("/></core:object>
  <ui:window-drag name="main" width="400" height="200" color="Panel" ui-scale="{*/ui.local-data.ui-scale scale?1}">
    <ui:window-renderer name="window-renderer" title="Keyboard" num-threads="0" window-x="100" window-y="100" fps="40">
      )" + rendererChildren() +
           R"(
      <ui:interval-timer name="cursor-timer" interval="0.3">
        <ui:update-timer name="update-timer" fps="{*/^^ fps}"/>
      </ui:interval-timer>
    </ui:window-renderer>
    <ui:textview name="name" placement="top" height="22" title="Kick" font-name="shared::font.base"
                 is-read-only="false" is-editbox-on-singleclick="true" max-paragraph-length="6"
                 is-virtual-keyboard-allowed="true" tab-group="fields" inner-border="LR4"/>
    <ui:textview name="amount" placement="top" height="22" title="250" font-name="shared::font.base"
                 is-read-only="false" is-editbox-on-singleclick="true" accept-chars="0123456789.-"
                 is-virtual-keyboard-allowed="true" tab-group="fields" inner-border="LR4"/>
    <ui:textview name="secret" placement="top" height="22" title="abc" font-name="shared::font.base"
                 is-read-only="false" is-editbox-on-singleclick="true" is-password="true" tab-group="fields"
                 inner-border="LR4"/>
    <ui:view name="plain" placement="top" height="full"/>
  </ui:window-drag>)";
}

class VirtualKeyboardThreads : public EditorWindowTest {
protected:
    void openAt(const std::string& scale) {
        open(window(scale), shipped("ui:virtual-keyboard-key") + shipped("ui:virtual-keyboard") +
                                shipped("ui:virtual-keyboard-digital"));
        if (HasFatalFailure()) return;
        renderer = rendererOf("main");
        waitShown(renderer);
        opener = dynamic_cast<CWindowOpener*>(root->findObject("ui.window-shared-data.window-opener"));
        listen({"main.name", "main.amount", "main.secret"}, {"editbox-text-changed"});
    }
    CTextView* text(const char* name) { return dynamic_cast<CTextView*>(view(std::string("main.") + name)); }
    CEditBox* box(const char* name) { return text(name)->editor().editBox(); }
    bool editing(const char* name) { return box(name) && box(name)->isEditing(); }
    std::string title(const char* name) { return text(name)->getAttr("title").utf8(); }
    bool boxHolds(const char* name, const std::string& s) {
        return runUntil([&] { return box(name) && box(name)->buffer().text() == s; });
    }
    // Opens the field with a click and waits for its keyboard, shown.
    CWinDrag* edit(const char* name, bool withKeyboard = true) {
        const CRect& r = view(std::string("main.") + name)->area();
        EXPECT_EQ(x.run("xdotool mousemove " + std::to_string(100 + r.left + 30) + " " +
                        std::to_string(100 + (r.top + r.bottom) / 2) + " click 1"),
                  0);
        EXPECT_TRUE(runUntil([&] { return editing(name); }));
        CWinDrag* keyboard = nullptr;
        if (!withKeyboard) {
            root->loop.runFor(300);
            return box(name)->virtualKeyboard();
        }
        runUntil([&] { return (keyboard = box(name)->virtualKeyboard()) != nullptr; });
        if (keyboard) waitShown(rendererOf(keyboard));
        return keyboard;
    }
    CWindowRenderer* rendererOf(const char* window) { return EditorWindowTest::rendererOf(window); }
    CWindowRenderer* rendererOf(CWinDrag* popup) {
        return dynamic_cast<CWindowRenderer*>(popup->findChild("window-renderer"));
    }
    CVirtualKey* key(CWinDrag* keyboard, const std::string& path) {
        return dynamic_cast<CVirtualKey*>(keyboard->findObject(keyboard->fullName() + ".main." + path));
    }
    // A real click on a key, at the middle of it on the screen.
    void press(CWinDrag* keyboard, const std::string& path) {
        CVirtualKey* k = key(keyboard, path);
        ASSERT_NE(k, nullptr) << path;
        const platform::CPixelRect at = rendererOf(keyboard)->window()->rect();
        const CRect& r = k->area();
        ASSERT_EQ(x.run("xdotool mousemove " + std::to_string(at.x + (r.left + r.right) / 2) + " " +
                        std::to_string(at.y + (r.top + r.bottom) / 2) + " click 1"),
                  0);
    }
    bool keyboardsClosed() {
        return runUntil([&] { return opener->popupCount() == 0; });
    }

    CWindowRenderer* renderer = nullptr;
    CWindowOpener* opener = nullptr;
};

TEST_F(VirtualKeyboardThreads, KeysTypeWithinTheFieldsLimitsWithoutEndingTheEdit) {
    openAt("1");
    CWinDrag* keyboard = edit("name");
    ASSERT_NE(keyboard, nullptr);
    EXPECT_NE(keyboard->findObject(keyboard->fullName() + ".main.top-row.q"), nullptr) << "the letter layout";
    // Below the edit box, centred on the window that holds it.
    const platform::CPixelRect at = rendererOf(keyboard)->window()->rect();
    EXPECT_EQ(at.y, 100 + box("name")->area().bottom);
    EXPECT_EQ(at.x + at.width / 2, 100 + 400 / 2);

    press(keyboard, "top-row.e");
    ASSERT_TRUE(boxHolds("name", "Kicke"));
    // Caps lock: the key shows it, the letters turn to capitals and type them.
    press(keyboard, "home-row.caps");
    ASSERT_TRUE(runUntil([&] { return key(keyboard, "home-row.caps")->getBool("is-active", false); }));
    EXPECT_EQ(key(keyboard, "bottom-row.z")->getAttr("title"), CString("Z"));
    EXPECT_EQ(key(keyboard, "digit-row.k1")->getAttr("title"), CString("1"));
    press(keyboard, "bottom-row.z");
    ASSERT_TRUE(boxHolds("name", "KickeZ"));
    // The field's length limit holds for keys as for typing.
    press(keyboard, "bottom-row.x");
    root->loop.runFor(300);
    EXPECT_EQ(box("name")->buffer().text(), "KickeZ");
    press(keyboard, "digit-row.backspace");
    ASSERT_TRUE(boxHolds("name", "Kicke"));
    press(keyboard, "home-row.caps");
    ASSERT_TRUE(runUntil([&] { return key(keyboard, "bottom-row.z")->getAttr("title") == CString("z"); }));
    EXPECT_FALSE(key(keyboard, "home-row.caps")->getBool("is-active", true));
    // Clicking keys never took the focus: the edit goes on and the keyboard stays.
    EXPECT_TRUE(editing("name"));
    EXPECT_EQ(renderer->router()->focusView(), box("name"));
    EXPECT_EQ(log->count("name:editbox-text-changed"), 0u);
    EXPECT_EQ(opener->popupCount(), 1u);
    // Typing on the real keyboard still goes to the box.
    ASSERT_EQ(x.run("xdotool type --delay 10 'y'"), 0);
    ASSERT_TRUE(boxHolds("name", "Kickey"));
    // Held, Bkspace repeats after half a second.
    CVirtualKey* erase = key(keyboard, "digit-row.backspace");
    const platform::CPixelRect at2 = rendererOf(keyboard)->window()->rect();
    ASSERT_EQ(x.run("xdotool mousemove " + std::to_string(at2.x + erase->area().left + 8) + " " +
                    std::to_string(at2.y + erase->area().top + 8) + " mousedown 1"),
              0);
    root->loop.runFor(400);
    EXPECT_EQ(box("name")->buffer().text(), "Kickey") << "not before it is let go or repeats";
    ASSERT_TRUE(boxHolds("name", ""));
    ASSERT_EQ(x.run("xdotool mouseup 1"), 0);

    press(keyboard, "bottom-row.cancel");
    ASSERT_TRUE(heard("name:editbox-text-changed"));
    EXPECT_EQ(log->param("name:editbox-text-changed", "is-cancelled"), "true");
    EXPECT_EQ(title("name"), "Kick");
    EXPECT_FALSE(editing("name"));
    EXPECT_TRUE(keyboardsClosed());
}

TEST_F(VirtualKeyboardThreads, TheKeyboardGoesWithTheEditHoweverItEnds) {
    openAt("1");
    // Enter.
    CWinDrag* keyboard = edit("name");
    ASSERT_NE(keyboard, nullptr);
    press(keyboard, "top-row.r");
    ASSERT_TRUE(boxHolds("name", "Kickr"));
    ASSERT_EQ(x.run("xdotool key Return"), 0);
    ASSERT_TRUE(heard("name:editbox-text-changed"));
    EXPECT_EQ(title("name"), "Kickr");
    EXPECT_TRUE(keyboardsClosed());

    // Tab: the next field of the group opens with its own keyboard, the
    // digit pad for a field of numbers.
    keyboard = edit("name");
    ASSERT_NE(keyboard, nullptr);
    ASSERT_EQ(x.run("xdotool key Tab"), 0);
    ASSERT_TRUE(runUntil([&] { return editing("amount") && box("amount")->virtualKeyboard(); }));
    CWinDrag* digits = box("amount")->virtualKeyboard();
    EXPECT_EQ(digits->findObject(digits->fullName() + ".main.top-row"), nullptr);
    ASSERT_NE(digits->findObject(digits->fullName() + ".main.row-1.minus"), nullptr) << "the digit pad";
    ASSERT_TRUE(runUntil([&] { return opener->popupCount() == 1; })) << "the name's keyboard went";
    EXPECT_EQ(box("name")->virtualKeyboard(), nullptr);
    waitShown(rendererOf(digits));
    press(digits, "row-1.minus");
    press(digits, "row-3.k1");
    press(digits, "row-2.dot");
    press(digits, "row-2.k5");
    ASSERT_TRUE(boxHolds("amount", "250-1.5"));

    // A click elsewhere in the window accepts, and the keyboard goes.
    ASSERT_EQ(x.run("xdotool mousemove 110 280 click 1"), 0);
    ASSERT_TRUE(heard("amount:editbox-text-changed"));
    EXPECT_EQ(title("amount"), "250-1.5");
    EXPECT_TRUE(keyboardsClosed());

    // Escape.
    keyboard = edit("amount");
    ASSERT_NE(keyboard, nullptr);
    ASSERT_EQ(x.run("xdotool key Escape"), 0);
    ASSERT_TRUE(runUntil([&] { return log->count("amount:editbox-text-changed") == 2; }));
    EXPECT_TRUE(keyboardsClosed());
}

TEST_F(VirtualKeyboardThreads, OnlyFieldsThatAllowItOpenOneAndOnlyWithTheSettingOn) {
    openAt("1");
    EXPECT_EQ(edit("secret", false), nullptr);
    EXPECT_EQ(opener->popupCount(), 0u);
    ASSERT_EQ(x.run("xdotool key Escape"), 0);
    ASSERT_TRUE(heard("secret:editbox-text-changed"));

    root->findObject("ui.global-data")->setBool("show-virtual-keyboard", false);
    EXPECT_EQ(edit("name", false), nullptr);
    EXPECT_EQ(opener->popupCount(), 0u);
    ASSERT_EQ(x.run("xdotool key Escape"), 0);

    // A tag of the field's own wins over the choice by accepted characters.
    root->findObject("ui.global-data")->setBool("show-virtual-keyboard", true);
    text("amount")->setAttr("virtual-keyboard-tag", "ui:virtual-keyboard");
    CWinDrag* keyboard = edit("amount");
    ASSERT_NE(keyboard, nullptr);
    EXPECT_NE(keyboard->findObject(keyboard->fullName() + ".main.top-row.q"), nullptr);
    // Letters are refused by the field as typed ones would be.
    press(keyboard, "top-row.q");
    press(keyboard, "digit-row.k7");
    ASSERT_TRUE(boxHolds("amount", "2507"));
}

TEST_F(VirtualKeyboardThreads, APasswordShowsBulletsAndNeverLeavesThroughTheClipboard) {
    if (std::system("command -v xclip >/dev/null 2>&1") != 0) GTEST_SKIP() << "xclip is not installed";
    openAt("1");
    const CString bullets = passwordMask(nullptr, 3);
    EXPECT_EQ(bullets.utf8(), "***") << "without a font, asterisks";
    // The view draws the mask, never the text.
    const auto& items = text("secret")->paragraphs()[0].items;
    std::string drawn;
    for (const CTextItem& item : items) drawn += item.text.utf8();
    EXPECT_EQ(drawn.find("abc"), std::string::npos);
    EXPECT_EQ(decodeUtf8(drawn).size(), 3u);

    ASSERT_EQ(x.run("printf %s 'other' | xclip -i -selection clipboard >/dev/null 2>&1"), 0);
    EXPECT_EQ(edit("secret", false), nullptr);
    ASSERT_TRUE(editing("secret"));
    EXPECT_EQ(box("secret")->shownText("abc").utf8(), drawn);
    // Copy and cut are refused: the text stays and the clipboard keeps the other program's.
    ASSERT_EQ(x.run("xdotool key --delay 20 ctrl+a ctrl+c ctrl+x"), 0);
    root->loop.runFor(300);
    EXPECT_EQ(box("secret")->buffer().text(), "abc");
    ASSERT_EQ(x.run("xdotool key --delay 20 End ctrl+v"), 0);
    ASSERT_TRUE(boxHolds("secret", "abcother"));
    ASSERT_EQ(x.run("xdotool key Return"), 0);
    ASSERT_TRUE(heard("secret:editbox-text-changed"));
    EXPECT_EQ(title("secret"), "abcother");
}

TEST_F(VirtualKeyboardThreads, AtEveryScaleEachKeyHoldsItsTitleInsideTheKeyboard) {
    for (const char* scale : {"0.8", "1", "1.25"}) {
        SCOPED_TRACE(scale);
        openAt(scale);
        for (const char* field : {"name", "amount"}) {
            CWinDrag* keyboard = edit(field);
            ASSERT_NE(keyboard, nullptr);
            const platform::CPixelRect at = rendererOf(keyboard)->window()->rect();
            EXPECT_EQ(at.y, 100 + box(field)->area().bottom);
            std::vector<CRect> keys;
            std::function<void(CObject&)> walk = [&](CObject& o) {
                for (const auto& child : o.children()) {
                    if (auto* k = dynamic_cast<CVirtualKey*>(child.get())) {
                        const CRect& r = k->area();
                        EXPECT_GE(r.left, 0);
                        EXPECT_LE(r.right, at.width) << k->getAttr("title").utf8();
                        EXPECT_LE(r.bottom, at.height);
                        CFontObject* fonts = nullptr;
                        ASSERT_EQ(CFontObject::findFont(*k, fonts), nullptr);
                        const CFont* font = fonts->style("regular", k->uiScale());
                        EXPECT_LT(font->textWidth(k->getAttr("title")), r.width() - 4) << k->getAttr("title").utf8();
                        for (const CRect& other : keys) EXPECT_TRUE(r.intersect(other).isEmpty());
                        keys.push_back(r);
                    }
                    walk(*child);
                }
            };
            walk(*keyboard);
            EXPECT_EQ(keys.size(), std::string(field) == "name" ? 43u : 14u);
            if (const char* shots = std::getenv("LAGWELL_KEYBOARD_SHOTS")) {
                root->loop.runFor(200);
                const std::string file = std::string(shots) + "/keyboard-" + field + "-" + scale + ".png";
                EXPECT_EQ(x.run("import -window root -crop 700x500+0+0 " + file), 0);
            }
            ASSERT_EQ(x.run("xdotool key Escape"), 0);
            ASSERT_TRUE(keyboardsClosed());
        }
        root.reset();
    }
}

}  // namespace

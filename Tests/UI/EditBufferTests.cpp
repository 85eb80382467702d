// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "Platform/XWindow.h"
#include "UI/EditBuffer.h"

namespace zel {
namespace {

using platform::kModCtrl;
using platform::kModShift;

constexpr uint32_t kLeft = 0xff51, kRight = 0xff53, kHome = 0xff50, kEnd = 0xff57;
constexpr uint32_t kBackSpace = 0xff08, kDelete = 0xffff, kReturn = 0xff0d, kEscape = 0xff1b, kTab = 0xff09;

EEditAction press(CEditBuffer& buffer, uint32_t keysym, uint32_t mods = 0, const std::string& text = {}) {
    std::string copied;
    return buffer.key(CEditKey{keysym, mods, text}, copied);
}

EEditAction type(CEditBuffer& buffer, const std::string& text) {
    EEditAction last = EEditAction::None;
    for (char32_t c : decodeUtf8(text)) last = press(buffer, uint32_t(c), 0, encodeUtf8(std::u32string(1, c)));
    return last;
}

TEST(EditBuffer, CaretAndSelectionCountCharactersNotBytes) {
    CEditBuffer buffer;
    buffer.setText("Grüße 🎧");
    EXPECT_EQ(buffer.length(), 7u);
    EXPECT_EQ(buffer.caret(), 7u);
    press(buffer, kLeft);
    press(buffer, kLeft);
    press(buffer, kBackSpace);
    EXPECT_EQ(buffer.text(), "Grüß 🎧");
    press(buffer, kHome);
    press(buffer, kRight);
    press(buffer, kRight, kModShift);
    press(buffer, kRight, kModShift);
    EXPECT_EQ(buffer.selectedText(), "rü");
    EXPECT_EQ(buffer.textBefore(buffer.selectionEnd()), "Grü");
    // Typing replaces the selection.
    EXPECT_EQ(type(buffer, "é"), EEditAction::Changed);
    EXPECT_EQ(buffer.text(), "Géß 🎧");
    EXPECT_EQ(buffer.caret(), 2u);
}

TEST(EditBuffer, MalformedUtf8IsDroppedNotKept) {
    // A lone continuation byte, an overlong slash, a cut-off sequence, an
    // encoded surrogate; the characters around them stay.
    const std::string bytes = std::string("a\x80") + "b\xC0\xAF" + "c\xE2\x82" + "d\xED\xA0\x80" + "e";
    EXPECT_EQ(decodeUtf8(bytes), U"abcde");
    EXPECT_EQ(encodeUtf8(decodeUtf8("x\xF0\x9F\x8E\xA7y")), "x\xF0\x9F\x8E\xA7y");
}

TEST(EditBuffer, ArrowsHomeEndAndShiftSelection) {
    CEditBuffer buffer;
    buffer.setText("one two three");
    EXPECT_EQ(press(buffer, kHome), EEditAction::Moved);
    EXPECT_EQ(press(buffer, kHome), EEditAction::None);
    EXPECT_EQ(press(buffer, kLeft), EEditAction::None);
    press(buffer, kRight, kModCtrl);
    EXPECT_EQ(buffer.caret(), 4u);
    press(buffer, kEnd, kModShift);
    EXPECT_EQ(buffer.selectedText(), "two three");
    // Left without Shift collapses the selection to its start, right to its end.
    press(buffer, kLeft);
    EXPECT_FALSE(buffer.hasSelection());
    EXPECT_EQ(buffer.caret(), 4u);
    press(buffer, kLeft, kModShift | kModCtrl);
    EXPECT_EQ(buffer.selectedText(), "one ");
    press(buffer, kRight);
    EXPECT_EQ(buffer.caret(), 4u);
    // Shift+Home from the middle selects backwards; the anchor stays.
    press(buffer, kHome, kModShift);
    EXPECT_EQ(buffer.anchor(), 4u);
    EXPECT_EQ(buffer.caret(), 0u);
    EXPECT_EQ(press(buffer, kEnd), EEditAction::Moved);
    EXPECT_EQ(press(buffer, kRight), EEditAction::None);
}

TEST(EditBuffer, DeleteAndBackspaceTakeTheSelectionOrOneCharacter) {
    CEditBuffer buffer;
    buffer.setText("abcdef");
    EXPECT_EQ(press(buffer, kDelete), EEditAction::None);
    EXPECT_EQ(press(buffer, kBackSpace), EEditAction::Changed);
    EXPECT_EQ(buffer.text(), "abcde");
    press(buffer, kHome);
    EXPECT_EQ(press(buffer, kBackSpace), EEditAction::None);
    EXPECT_EQ(press(buffer, kDelete), EEditAction::Changed);
    EXPECT_EQ(buffer.text(), "bcde");
    press(buffer, kRight);
    press(buffer, kRight, kModShift);
    press(buffer, kRight, kModShift);
    EXPECT_EQ(press(buffer, kBackSpace), EEditAction::Changed);
    EXPECT_EQ(buffer.text(), "be");
    EXPECT_EQ(buffer.caret(), 1u);
    buffer.setText("delay time");
    EXPECT_EQ(press(buffer, kBackSpace, kModCtrl), EEditAction::Changed);
    EXPECT_EQ(buffer.text(), "delay ");
}

TEST(EditBuffer, AcceptCharsAndLengthLimitRefuseTypingAndPasting) {
    CEditBuffer buffer;
    buffer.setAcceptChars("0123456789.-");
    buffer.setMaxLength(6);
    buffer.setText("");
    EXPECT_EQ(type(buffer, "12a"), EEditAction::Refused);
    EXPECT_EQ(buffer.text(), "12");
    bool refused = false;
    // Pasted text keeps what is allowed, up to the limit.
    EXPECT_EQ(buffer.insert("3 x.45678", refused), 4u);
    EXPECT_TRUE(refused);
    EXPECT_EQ(buffer.text(), "123.45");
    EXPECT_EQ(type(buffer, "9"), EEditAction::Refused);
    EXPECT_EQ(buffer.text(), "123.45");
    // At the limit a selection can still be replaced by as much as it frees.
    press(buffer, kLeft, kModShift);
    press(buffer, kLeft, kModShift);
    EXPECT_EQ(buffer.insert("789", refused), 2u);
    EXPECT_EQ(buffer.text(), "123.78");
    // Nothing accepted leaves a selection in place.
    press(buffer, kHome, kModShift);
    EXPECT_EQ(type(buffer, "z"), EEditAction::Refused);
    EXPECT_EQ(buffer.selectedText(), "123.78");
    // A paragraph's own text is shown whole even when it breaks the rules.
    buffer.setText("12345678 ms");
    EXPECT_EQ(buffer.text(), "12345678 ms");
}

TEST(EditBuffer, PastedLineBreaksBecomeSpacesAndControlsAreRefused) {
    CEditBuffer buffer;
    bool refused = false;
    EXPECT_EQ(buffer.insert("left\r\nright\x07", refused), 11u);
    EXPECT_TRUE(refused);
    EXPECT_EQ(buffer.text(), "left  right");
}

TEST(EditBuffer, ClipboardKeys) {
    CEditBuffer buffer;
    buffer.setText("Kick In");
    std::string copied;
    EXPECT_EQ(buffer.key(CEditKey{'c', kModCtrl, "c"}, copied), EEditAction::None);
    EXPECT_EQ(buffer.key(CEditKey{'a', kModCtrl, "a"}, copied), EEditAction::Moved);
    EXPECT_EQ(buffer.key(CEditKey{'c', kModCtrl, "c"}, copied), EEditAction::Copy);
    EXPECT_EQ(copied, "Kick In");
    EXPECT_EQ(buffer.text(), "Kick In");
    press(buffer, kEnd);
    press(buffer, kLeft, kModShift | kModCtrl);
    // Ctrl+Shift+X reads as 'X'; it cuts all the same.
    EXPECT_EQ(buffer.key(CEditKey{'X', kModCtrl | kModShift, "X"}, copied), EEditAction::Cut);
    EXPECT_EQ(copied, "In");
    EXPECT_EQ(buffer.text(), "Kick ");
    EXPECT_EQ(buffer.key(CEditKey{'v', kModCtrl, "v"}, copied), EEditAction::Paste);
    // Control letters never type.
    EXPECT_EQ(buffer.text(), "Kick ");
}

TEST(EditBuffer, EnterEscapeAndTabEndTheEdit) {
    CEditBuffer buffer;
    buffer.setText("x");
    EXPECT_EQ(press(buffer, kReturn, 0, "\r"), EEditAction::Accept);
    EXPECT_EQ(press(buffer, kEscape, 0, "\x1b"), EEditAction::Cancel);
    EXPECT_EQ(press(buffer, kTab, 0, "\t"), EEditAction::NextField);
    EXPECT_EQ(press(buffer, kTab, kModShift, "\t"), EEditAction::PreviousField);
    buffer.setAcceptEnter(false);
    EXPECT_EQ(press(buffer, kReturn, 0, "\r"), EEditAction::None);
    EXPECT_EQ(buffer.text(), "x");
}

}  // namespace
}  // namespace zel

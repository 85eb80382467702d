// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zel {

// One key press as an edit box sees it: the key's symbol, the modifier
// flags of the window events and the text the key types (UTF-8).
struct CEditKey {
    uint32_t keysym = 0;
    uint32_t modifiers = 0;
    std::string text;
};

// What a key did to the buffer, and what the edit box has to do next.
enum class EEditAction {
    None,
    // The text changed.
    Changed,
    // Only the caret or the selection moved.
    Moved,
    // A typed or pasted character was not taken.
    Refused,
    Accept,
    Cancel,
    NextField,
    PreviousField,
    // The selection is to go to the clipboard (`copied` holds it); with a
    // cut the text has changed as well.
    Copy,
    Cut,
    // The clipboard's text is to be inserted (insert()).
    Paste
};

// The text of one edit box with its caret and selection, in characters
// (code points), and the editing keys. Characters outside `accept-chars`
// (when set), control characters and characters beyond the paragraph
// length limit (when not 0) are refused.
class CEditBuffer {
public:
    // Replaces the text as it is (a paragraph's own text is never
    // filtered); the caret goes to the end.
    void setText(const std::string& utf8);
    std::string text() const;
    size_t length() const { return m_text.size(); }

    void setAcceptChars(const std::string& utf8);
    void setMaxLength(size_t characters) { m_maxLength = characters; }
    // Whether Enter accepts the edit (else it does nothing).
    void setAcceptEnter(bool accept) { m_acceptEnter = accept; }
    // Whether the text may leave through Copy and Cut (not a password's).
    void setCopyAllowed(bool allowed) { m_copyAllowed = allowed; }

    size_t caret() const { return m_caret; }
    // Where the selection started; equal to the caret without selection.
    size_t anchor() const { return m_anchor; }
    bool hasSelection() const { return m_anchor != m_caret; }
    size_t selectionStart() const { return m_anchor < m_caret ? m_anchor : m_caret; }
    size_t selectionEnd() const { return m_anchor < m_caret ? m_caret : m_anchor; }
    std::string selectedText() const;
    // The text before position `pos`, for placing the caret when drawn.
    std::string textBefore(size_t pos) const;

    void selectAll();
    // Moves the caret; `extend` keeps the anchor where it is.
    void moveCaret(size_t pos, bool extend);
    // Types text in place of the selection. Line breaks and tabs become
    // spaces; refused characters are skipped. Returns the number taken.
    size_t insert(const std::string& utf8, bool& refused);
    bool eraseSelection();

    // Applies a key. `copied` receives the text for Copy and Cut.
    EEditAction key(const CEditKey& key, std::string& copied);

private:
    bool accepts(char32_t c) const;
    size_t wordLeft(size_t pos) const;
    size_t wordRight(size_t pos) const;
    EEditAction erase(bool forward, bool word);

    std::u32string m_text;
    std::u32string m_acceptChars;
    size_t m_maxLength = 0;
    size_t m_caret = 0;
    size_t m_anchor = 0;
    bool m_acceptEnter = true;
    bool m_copyAllowed = true;
};

// UTF-8 to code points and back; malformed bytes are skipped.
std::u32string decodeUtf8(const std::string& utf8);
std::string encodeUtf8(const std::u32string& text);

}  // namespace zel

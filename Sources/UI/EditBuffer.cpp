// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/EditBuffer.h"

#include <algorithm>

#include "Platform/XWindow.h"

namespace zel {

namespace {

constexpr uint32_t kKeyBackSpace = 0xff08, kKeyTab = 0xff09, kKeyReturn = 0xff0d, kKeyEscape = 0xff1b;
constexpr uint32_t kKeyHome = 0xff50, kKeyLeft = 0xff51, kKeyUp = 0xff52, kKeyRight = 0xff53, kKeyDown = 0xff54;
constexpr uint32_t kKeyEnd = 0xff57, kKeyDelete = 0xffff, kKeyBackTab = 0xfe20;
constexpr uint32_t kKeyPadEnter = 0xff8d, kKeyPadHome = 0xff95, kKeyPadLeft = 0xff96, kKeyPadUp = 0xff97;
constexpr uint32_t kKeyPadRight = 0xff98, kKeyPadDown = 0xff99, kKeyPadEnd = 0xff9c, kKeyPadDelete = 0xff9f;

bool isWordChar(char32_t c) { return c != U' ' && c != U'\t'; }

}  // namespace

std::u32string decodeUtf8(const std::string& utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        size_t extra = 0;
        char32_t cp = 0;
        if (b < 0x80) {
            cp = b;
        } else if ((b & 0xE0) == 0xC0 && b >= 0xC2) {
            cp = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0 && b <= 0xF4) {
            cp = b & 0x07;
            extra = 3;
        } else {
            ++i;
            continue;
        }
        size_t k = 1;
        for (; k <= extra && i + k < utf8.size(); ++k) {
            const unsigned char c = static_cast<unsigned char>(utf8[i + k]);
            if ((c & 0xC0) != 0x80) break;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (k <= extra) {
            // A sequence cut short: its bytes so far are dropped.
            i += k;
            continue;
        }
        i += extra + 1;
        const bool overlong = (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000);
        if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) continue;
        out.push_back(cp);
    }
    return out;
}

std::string encodeUtf8(const std::u32string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char32_t c : text) {
        if (c < 0x80) {
            out.push_back(char(c));
        } else if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (c >> 18)));
            out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

void CEditBuffer::setText(const std::string& utf8) {
    m_text = decodeUtf8(utf8);
    m_caret = m_anchor = m_text.size();
}

std::string CEditBuffer::text() const { return encodeUtf8(m_text); }

void CEditBuffer::setAcceptChars(const std::string& utf8) { m_acceptChars = decodeUtf8(utf8); }

std::string CEditBuffer::selectedText() const {
    return encodeUtf8(m_text.substr(selectionStart(), selectionEnd() - selectionStart()));
}

std::string CEditBuffer::textBefore(size_t pos) const {
    return encodeUtf8(m_text.substr(0, std::min(pos, m_text.size())));
}

void CEditBuffer::selectAll() {
    m_anchor = 0;
    m_caret = m_text.size();
}

void CEditBuffer::moveCaret(size_t pos, bool extend) {
    m_caret = std::min(pos, m_text.size());
    if (!extend) m_anchor = m_caret;
}

bool CEditBuffer::accepts(char32_t c) const {
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return false;
    return m_acceptChars.empty() || m_acceptChars.find(c) != std::u32string::npos;
}

size_t CEditBuffer::insert(const std::string& utf8, bool& refused) {
    refused = false;
    std::u32string typed;
    for (char32_t c : decodeUtf8(utf8)) {
        if (c == U'\r' || c == U'\n' || c == U'\t') c = U' ';
        if (accepts(c))
            typed.push_back(c);
        else
            refused = true;
    }
    const size_t start = selectionStart(), end = selectionEnd();
    const size_t kept = m_text.size() - (end - start);
    if (m_maxLength > 0) {
        const size_t room = m_maxLength > kept ? m_maxLength - kept : 0;
        if (typed.size() > room) {
            typed.resize(room);
            refused = true;
        }
    }
    // Nothing taken leaves the selection as it was.
    if (typed.empty()) return 0;
    m_text.replace(start, end - start, typed);
    m_caret = m_anchor = start + typed.size();
    return typed.size();
}

bool CEditBuffer::eraseSelection() {
    if (!hasSelection()) return false;
    const size_t start = selectionStart();
    m_text.erase(start, selectionEnd() - start);
    m_caret = m_anchor = start;
    return true;
}

size_t CEditBuffer::wordLeft(size_t pos) const {
    while (pos > 0 && !isWordChar(m_text[pos - 1])) --pos;
    while (pos > 0 && isWordChar(m_text[pos - 1])) --pos;
    return pos;
}

size_t CEditBuffer::wordRight(size_t pos) const {
    while (pos < m_text.size() && isWordChar(m_text[pos])) ++pos;
    while (pos < m_text.size() && !isWordChar(m_text[pos])) ++pos;
    return pos;
}

EEditAction CEditBuffer::erase(bool forward, bool word) {
    if (eraseSelection()) return EEditAction::Changed;
    const size_t to = forward ? (word ? wordRight(m_caret) : std::min(m_caret + 1, m_text.size()))
                              : (word ? wordLeft(m_caret) : (m_caret > 0 ? m_caret - 1 : 0));
    const size_t start = std::min(to, m_caret), end = std::max(to, m_caret);
    if (start == end) return EEditAction::None;
    m_text.erase(start, end - start);
    m_caret = m_anchor = start;
    return EEditAction::Changed;
}

EEditAction CEditBuffer::key(const CEditKey& key, std::string& copied) {
    const bool shift = key.modifiers & platform::kModShift;
    const bool ctrl = key.modifiers & platform::kModCtrl;
    const size_t before = m_caret, anchorBefore = m_anchor;
    auto moved = [&] { return m_caret != before || m_anchor != anchorBefore ? EEditAction::Moved : EEditAction::None; };
    switch (key.keysym) {
        case kKeyLeft:
        case kKeyPadLeft:
            // Without Shift a selection collapses to its start.
            if (hasSelection() && !shift && !ctrl)
                moveCaret(selectionStart(), false);
            else
                moveCaret(ctrl ? wordLeft(m_caret) : (m_caret > 0 ? m_caret - 1 : 0), shift);
            return moved();
        case kKeyRight:
        case kKeyPadRight:
            if (hasSelection() && !shift && !ctrl)
                moveCaret(selectionEnd(), false);
            else
                moveCaret(ctrl ? wordRight(m_caret) : m_caret + 1, shift);
            return moved();
        case kKeyHome:
        case kKeyPadHome:
        case kKeyUp:
        case kKeyPadUp:
            // One line: up is the start, down the end.
            moveCaret(0, shift);
            return moved();
        case kKeyEnd:
        case kKeyPadEnd:
        case kKeyDown:
        case kKeyPadDown:
            moveCaret(m_text.size(), shift);
            return moved();
        case kKeyBackSpace:
            return erase(false, ctrl);
        case kKeyDelete:
        case kKeyPadDelete:
            return erase(true, ctrl);
        case kKeyReturn:
        case kKeyPadEnter:
            return m_acceptEnter ? EEditAction::Accept : EEditAction::None;
        case kKeyEscape:
            return EEditAction::Cancel;
        case kKeyTab:
            return shift ? EEditAction::PreviousField : EEditAction::NextField;
        case kKeyBackTab:
            return EEditAction::PreviousField;
        default:
            break;
    }
    if (ctrl) {
        // Letters by their lower-case symbol, whatever Shift or Caps Lock did.
        const uint32_t letter = key.keysym >= 'A' && key.keysym <= 'Z' ? key.keysym + 32 : key.keysym;
        switch (letter) {
            case 'a':
                selectAll();
                return moved();
            case 'c':
                if (!m_copyAllowed) return EEditAction::Refused;
                if (!hasSelection()) return EEditAction::None;
                copied = selectedText();
                return EEditAction::Copy;
            case 'x':
                if (!m_copyAllowed) return EEditAction::Refused;
                if (!hasSelection()) return EEditAction::None;
                copied = selectedText();
                eraseSelection();
                return EEditAction::Cut;
            case 'v':
                return EEditAction::Paste;
            default:
                return EEditAction::None;
        }
    }
    if (key.text.empty() || (key.modifiers & platform::kModAlt)) return EEditAction::None;
    bool refused = false;
    const size_t taken = insert(key.text, refused);
    if (taken > 0) return EEditAction::Changed;
    return refused ? EEditAction::Refused : EEditAction::None;
}

}  // namespace zel

// SPDX-License-Identifier: GPL-3.0-or-later
#include "Strings.h"

#include <algorithm>

namespace lagwell::host {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool isHigh(char32_t u) { return u >= 0xD800 && u < 0xDC00; }
bool isLow(char32_t u) { return u >= 0xDC00 && u < 0xE000; }

// One code point from `text` at `i`, which it moves past the sequence.
char32_t decodeUtf8(const std::string& text, size_t& i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i++);
    if (lead < 0x80) return lead;
    size_t more;
    char32_t c;
    char32_t least;
    if ((lead & 0xE0) == 0xC0) {
        more = 1, c = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        more = 2, c = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        more = 3, c = lead & 0x07, least = 0x10000;
    } else {
        return kReplacement;
    }
    for (size_t k = 0; k < more; ++k) {
        if (i >= text.size() || (byte(i) & 0xC0) != 0x80) return kReplacement;
        c = (c << 6) | (byte(i++) & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return kReplacement;
    return c;
}

}  // namespace

std::string toUtf8(const Steinberg::Vst::TChar* text, size_t capacity) {
    std::string out;
    for (size_t i = 0; i < capacity && text[i] != 0; ++i) {
        const char32_t u = static_cast<char16_t>(text[i]);
        if (isHigh(u) && i + 1 < capacity && isLow(static_cast<char16_t>(text[i + 1]))) {
            const char32_t low = static_cast<char16_t>(text[++i]);
            appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        } else {
            appendUtf8(out, isHigh(u) || isLow(u) ? kReplacement : u);
        }
    }
    return out;
}

std::u16string toUtf16(const std::string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const char32_t c = decodeUtf8(text, i);
        if (c < 0x10000) {
            out += static_cast<char16_t>(c);
        } else {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
    return out;
}

void copyUtf16(const std::string& text, Steinberg::Vst::TChar* out, size_t capacity) {
    if (capacity == 0) return;
    const std::u16string wide = toUtf16(text);
    size_t n = std::min(wide.size(), capacity - 1);
    if (n > 0 && n < wide.size() && isHigh(wide[n - 1])) --n;
    for (size_t i = 0; i < n; ++i) out[i] = wide[i];
    out[n] = 0;
}

}  // namespace lagwell::host

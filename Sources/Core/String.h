// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zel {

// The framework's text: 8-bit characters (code points 0-255) until a
// character above 255 is stored, then UTF-16 units. Comparisons and
// searches work unit by unit across both forms.
class CString {
public:
    static constexpr size_t npos = std::string::npos;

    CString() = default;
    CString(const char* latin1);
    CString(const char* latin1, size_t count);
    CString(const std::string& latin1);
    CString(const std::u16string& units);

    static CString fromUtf8(const char* bytes, size_t count);
    static CString fromUtf8(const std::string& bytes) { return fromUtf8(bytes.data(), bytes.size()); }

    bool is16Bit() const { return m_wide; }
    bool empty() const { return length() == 0; }
    size_t length() const { return m_wide ? m_w.size() : m_n.size(); }
    char16_t at(size_t i) const { return m_wide ? m_w[i] : char16_t(static_cast<unsigned char>(m_n[i])); }

    void clear();
    void append(char16_t unit);
    void append(const CString& other);
    CString& operator+=(const CString& other) {
        append(other);
        return *this;
    }
    CString& operator+=(char16_t unit) {
        append(unit);
        return *this;
    }

    CString substr(size_t pos, size_t count = npos) const;
    size_t find(char16_t unit, size_t from = 0) const;
    size_t find(const CString& what, size_t from = 0) const;
    size_t rfind(char16_t unit, size_t before = npos) const;
    bool startsWith(const CString& prefix) const;
    bool endsWith(const CString& suffix) const;

    int compare(const CString& other) const;
    bool operator==(const CString& o) const { return compare(o) == 0; }
    bool operator!=(const CString& o) const { return compare(o) != 0; }
    bool operator<(const CString& o) const { return compare(o) < 0; }

    // UTF-8 for logs, files and the host; surrogate pairs are combined.
    std::string utf8() const;
    // 8-bit form; units above 255 become '?'.
    std::string latin1() const;
    const std::u16string& units16() const { return m_w; }
    const std::string& units8() const { return m_n; }

private:
    void widen();

    std::string m_n;
    std::u16string m_w;
    bool m_wide = false;
};

CString operator+(const CString& a, const CString& b);
inline CString operator+(const CString& a, const char* b) { return a + CString(b); }
inline CString operator+(const char* a, const CString& b) { return CString(a) + b; }

// Decimal text of numbers, as attributes and messages spell them.
CString toText(long long value);
CString toText(unsigned long long value);
inline CString toText(int value) { return toText(static_cast<long long>(value)); }
inline CString toText(unsigned value) { return toText(static_cast<unsigned long long>(value)); }
inline CString toText(long value) { return toText(static_cast<long long>(value)); }
inline CString toText(unsigned long value) { return toText(static_cast<unsigned long long>(value)); }
// Shortest text that reads back to the same double ("0.001", "12", "-1.5").
CString toText(double value);

// Strict parsers: the whole text must be a number. Integers accept a sign and
// "0x" hexadecimal; reals use "." and an optional exponent.
bool parseInt(const CString& text, long long& out);
bool parseReal(const CString& text, double& out);

}  // namespace zel

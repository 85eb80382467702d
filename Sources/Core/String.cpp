// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/String.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zel {

CString::CString(const char* latin1) : m_n(latin1 ? latin1 : "") {}
CString::CString(const char* latin1, size_t count) : m_n(latin1, count) {}
CString::CString(const std::string& latin1) : m_n(latin1) {}

CString::CString(const std::u16string& units) {
    for (char16_t u : units) append(u);
}

CString CString::fromUtf8(const char* bytes, size_t count) {
    CString out;
    size_t i = 0;
    while (i < count) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        uint32_t cp = 0;
        size_t extra = 0;
        if (b < 0x80) {
            cp = b;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            extra = 3;
        } else {
            ++i;
            continue;
        }
        if (extra && i + extra >= count) break;  // sequence cut off by the end
        for (size_t k = 1; k <= extra; ++k) cp = (cp << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
        i += extra + 1;
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            out.append(char16_t(0xD800 + (cp >> 10)));
            out.append(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.append(char16_t(cp));
        }
    }
    return out;
}

void CString::clear() {
    m_n.clear();
    m_w.clear();
    m_wide = false;
}

void CString::widen() {
    if (m_wide) return;
    m_w.reserve(m_n.size() + 1);
    for (char c : m_n) m_w.push_back(char16_t(static_cast<unsigned char>(c)));
    m_n.clear();
    m_wide = true;
}

void CString::append(char16_t unit) {
    if (!m_wide && unit > 0xFF) widen();
    if (m_wide)
        m_w.push_back(unit);
    else
        m_n.push_back(static_cast<char>(unit));
}

void CString::append(const CString& other) {
    if (!m_wide && !other.m_wide) {
        m_n += other.m_n;
        return;
    }
    for (size_t i = 0; i < other.length(); ++i) append(other.at(i));
}

CString CString::substr(size_t pos, size_t count) const {
    CString out;
    if (pos >= length()) return out;
    if (!m_wide) return CString(m_n.substr(pos, count));
    size_t end = (count == npos || pos + count > length()) ? length() : pos + count;
    for (size_t i = pos; i < end; ++i) out.append(m_w[i]);
    return out;
}

size_t CString::find(char16_t unit, size_t from) const {
    for (size_t i = from; i < length(); ++i)
        if (at(i) == unit) return i;
    return npos;
}

size_t CString::find(const CString& what, size_t from) const {
    const size_t n = what.length();
    if (n == 0) return from <= length() ? from : npos;
    for (size_t i = from; i + n <= length(); ++i) {
        size_t k = 0;
        while (k < n && at(i + k) == what.at(k)) ++k;
        if (k == n) return i;
    }
    return npos;
}

size_t CString::rfind(char16_t unit, size_t before) const {
    size_t i = before == npos || before > length() ? length() : before;
    while (i > 0) {
        --i;
        if (at(i) == unit) return i;
    }
    return npos;
}

bool CString::startsWith(const CString& prefix) const {
    if (prefix.length() > length()) return false;
    for (size_t i = 0; i < prefix.length(); ++i)
        if (at(i) != prefix.at(i)) return false;
    return true;
}

bool CString::endsWith(const CString& suffix) const {
    if (suffix.length() > length()) return false;
    const size_t off = length() - suffix.length();
    for (size_t i = 0; i < suffix.length(); ++i)
        if (at(off + i) != suffix.at(i)) return false;
    return true;
}

int CString::compare(const CString& other) const {
    if (!m_wide && !other.m_wide) {
        // Byte order equals code-unit order for unsigned 8-bit characters.
        int r = std::memcmp(m_n.data(), other.m_n.data(), std::min(m_n.size(), other.m_n.size()));
        if (r != 0) return r < 0 ? -1 : 1;
        return m_n.size() < other.m_n.size() ? -1 : (m_n.size() > other.m_n.size() ? 1 : 0);
    }
    const size_t n = std::min(length(), other.length());
    for (size_t i = 0; i < n; ++i) {
        char16_t a = at(i), b = other.at(i);
        if (a != b) return a < b ? -1 : 1;
    }
    return length() < other.length() ? -1 : (length() > other.length() ? 1 : 0);
}

static void putUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string CString::utf8() const {
    std::string out;
    out.reserve(length());
    for (size_t i = 0; i < length(); ++i) {
        uint32_t u = at(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < length() && at(i + 1) >= 0xDC00 && at(i + 1) < 0xE000) {
            u = 0x10000 + ((u - 0xD800) << 10) + (at(i + 1) - 0xDC00);
            ++i;
        }
        putUtf8(out, u);
    }
    return out;
}

std::string CString::latin1() const {
    if (!m_wide) return m_n;
    std::string out;
    out.reserve(m_w.size());
    for (char16_t u : m_w) out.push_back(u > 0xFF ? '?' : static_cast<char>(u));
    return out;
}

CString operator+(const CString& a, const CString& b) {
    CString r(a);
    r.append(b);
    return r;
}

CString toText(long long value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld", value);
    return CString(buf);
}

CString toText(unsigned long long value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llu", value);
    return CString(buf);
}

CString toText(double value) {
    char buf[40];
    for (int prec = 1; prec <= 17; ++prec) {
        std::snprintf(buf, sizeof buf, "%.*g", prec, value);
        if (std::strtod(buf, nullptr) == value) break;
    }
    // Attribute values are plain decimals: the shortest text of 80 is "8e+01",
    // which they do not read. Numbers of any sensible size are written out.
    if (std::strchr(buf, 'e') && std::fabs(value) >= 1e-9 && std::fabs(value) < 1e21) {
        char fixed[80];
        for (int decimals = 0; decimals <= 40; ++decimals) {
            std::snprintf(fixed, sizeof fixed, "%.*f", decimals, value);
            if (std::strtod(fixed, nullptr) == value) return CString(fixed);
        }
    }
    return CString(buf);
}

bool parseInt(const CString& text, long long& out) {
    const std::string s = text.latin1();
    if (s.empty() || text.is16Bit()) return false;
    size_t i = 0;
    bool neg = false;
    if (s[i] == '+' || s[i] == '-') neg = s[i++] == '-';
    int base = 10;
    if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size()) return false;
    unsigned long long v = 0;
    for (; i < s.size(); ++i) {
        int d;
        const char c = s[i];
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        if (v > (~0ULL - d) / base) return false;
        v = v * base + d;
    }
    if (base == 10 && v > (neg ? 0x8000000000000000ULL : 0x7FFFFFFFFFFFFFFFULL)) return false;
    out = neg ? static_cast<long long>(0 - v) : static_cast<long long>(v);
    return true;
}

bool parseReal(const CString& text, double& out) {
    const std::string s = text.latin1();
    if (s.empty() || text.is16Bit()) return false;
    // strtod would accept "inf", "nan", hex floats and leading blanks; attribute
    // reals are plain decimals only.
    for (char c : s)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return false;
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(s.c_str(), &end);
    // "1e999" overflows to infinity, which no value of the system may hold.
    if (end != s.c_str() + s.size() || !std::isfinite(v)) return false;
    out = v;
    return true;
}

}  // namespace zel

// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Converters/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace zel {

namespace {

bool isDigit(char16_t u) { return u >= u'0' && u <= u'9'; }

}  // namespace

double roundHalfAway(double value) { return std::round(value); }

long long roundHalfAwayToInt(double value) {
    if (std::isnan(value)) return 0;
    const double r = std::round(value);
    // 2^63: the first double above the range of long long.
    constexpr double kLimit = 9223372036854775808.0;
    if (r >= kLimit) return std::numeric_limits<long long>::max();
    if (r <= -kLimit) return std::numeric_limits<long long>::min();
    return static_cast<long long>(r);
}

CString formatNumber(double value, unsigned decimals) {
    if (decimals > 18) decimals = 18;
    double scale = 1.0;
    for (unsigned i = 0; i < decimals; ++i) scale *= 10.0;
    const long long n = roundHalfAwayToInt(value * scale);
    const unsigned long long magnitude =
        n < 0 ? 0ULL - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
    std::string digits = std::to_string(magnitude);
    if (decimals > 0) {
        if (digits.size() <= decimals) digits.insert(0, decimals + 1 - digits.size(), '0');
        digits.insert(digits.size() - decimals, 1, '.');
    }
    if (n < 0) digits.insert(0, 1, '-');
    return CString(digits);
}

bool parseNumber(const CString& text, double& out) {
    const size_t length = text.length();
    auto at = [&](size_t i) { return i < length ? text.at(i) : u'\0'; };
    size_t i = 0;
    bool negative = false;
    if (at(i) == u'+' || at(i) == u'-') negative = at(i++) == u'-';

    std::string intPart, fracPart;
    bool point = false;
    // The value is about 0.d × 10^magnitude; it decides between infinity and
    // zero when the result is out of the double range.
    long long magnitude = 0;
    bool significant = false;
    for (;; ++i) {
        const char16_t u = at(i);
        if (isDigit(u)) {
            significant = significant || u != u'0';
            if (!point) {
                intPart += static_cast<char>(u);
                if (significant) ++magnitude;
            } else {
                fracPart += static_cast<char>(u);
                if (!significant) --magnitude;
            }
        } else if (!point && (u == u'.' || u == u',')) {
            point = true;
        } else {
            break;
        }
    }
    if (intPart.empty() && fracPart.empty()) return false;

    long long exponent = 0;
    if (at(i) == u'e' || at(i) == u'E') {
        size_t j = i + 1;
        bool negativeExp = false;
        if (at(j) == u'+' || at(j) == u'-') negativeExp = at(j++) == u'-';
        if (isDigit(at(j))) {
            // Far beyond the double range already; stop growing.
            constexpr long long kExpCap = 1000000;
            for (; isDigit(at(j)); ++j)
                if (exponent < kExpCap) exponent = exponent * 10 + (at(j) - u'0');
            if (negativeExp) exponent = -exponent;
        }
    }

    std::string chars = intPart.empty() ? std::string("0") : intPart;
    if (!fracPart.empty()) chars += "." + fracPart;
    if (exponent != 0) chars += "e" + std::to_string(exponent);
    double value = 0.0;
    const auto result = std::from_chars(chars.data(), chars.data() + chars.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        value = magnitude + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    out = negative ? -value : value;
    return true;
}

bool parseWholeNumber(const CString& text, long long& out) {
    size_t i = 0;
    const size_t length = text.length();
    bool negative = false;
    if (i < length && (text.at(i) == u'+' || text.at(i) == u'-')) negative = text.at(i++) == u'-';
    if (i >= length || !isDigit(text.at(i))) return false;
    constexpr unsigned long long kMax = static_cast<unsigned long long>(std::numeric_limits<long long>::max());
    unsigned long long value = 0;
    // Anything above kMax + 1 reads as kMax + 1, which still tells the sign's
    // limit (-2^63 fits, 2^63 does not).
    for (; i < length && isDigit(text.at(i)); ++i)
        value = value > kMax / 10 ? kMax + 1 : std::min(value * 10 + (text.at(i) - u'0'), kMax + 1);
    if (negative)
        out = value > kMax ? std::numeric_limits<long long>::min() : -static_cast<long long>(value);
    else
        out = value > kMax ? std::numeric_limits<long long>::max() : static_cast<long long>(value);
    return true;
}

}  // namespace zel

// Numbers in note text, read and shown the same way in every locale.
#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>

#include "compose.h"

namespace midicompose {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

const char* SkipDigits(const char* p, const char* end) {
    while (p < end && IsDigit(*p)) ++p;
    return p;
}

// Whether a number too large or too small for a double is large: the decimal
// exponent of its first significant digit decides.
bool ExceedsRange(const char* digits, const char* mantissaEnd, const char* exponent, const char* end) {
    long long position = 0;  // power of ten of the first significant digit, plus one
    bool seenPoint = false, significant = false;
    for (const char* p = digits; p < mantissaEnd; ++p) {
        if (*p == '.') { seenPoint = true; continue; }
        if (!significant && *p == '0') { if (seenPoint) --position; continue; }
        significant = true;
        if (!seenPoint) ++position;
    }
    long long scale = 0;
    bool negative = false;
    const char* p = exponent;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    for (; p < end && IsDigit(*p); ++p) scale = std::min(scale * 10 + (*p - '0'), 1000000000LL);
    return position + (negative ? -scale : scale) > 0;
}

}  // namespace

double ParseDecimal(const char* begin, const char* end) {
    const char* p = begin;
    while (p < end && IsSpace(*p)) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';

    const char* const digits = p;
    const char* q = SkipDigits(p, end);
    bool anyDigit = q > p;
    if (q < end && *q == '.') {
        const char* fraction = q + 1;
        q = SkipDigits(fraction, end);
        anyDigit = anyDigit || q > fraction;
    }
    if (!anyDigit) return 0.0;
    const char* const mantissaEnd = q;
    const char* exponent = mantissaEnd;
    if (q < end && (*q == 'e' || *q == 'E')) {
        const char* e = q + 1;
        if (e < end && (*e == '+' || *e == '-')) ++e;
        if (e < end && IsDigit(*e)) {
            exponent = q + 1;
            q = SkipDigits(e, end);
        }
    }

    double value = 0.0;
    const std::from_chars_result r = std::from_chars(digits, q, value, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // Without an exponent, exponent == mantissaEnd == q and the scale is 0.
        value = ExceedsRange(digits, mantissaEnd, exponent, q) ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (r.ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

float NarrowToFloat(double value) {
    // Halfway between FLT_MAX and the next power of two rounds up to infinity.
    constexpr double kOverflow = 0x1.ffffffp127;
    if (std::fabs(value) >= kOverflow) return value < 0 ? -HUGE_VALF : HUGE_VALF;
    if (std::fabs(value) > FLT_MAX) return value < 0 ? -FLT_MAX : FLT_MAX;
    return static_cast<float>(value);
}

ShortNumber FormatShortNumber(double value) {
    ShortNumber out{};
    const std::to_chars_result r =
        std::to_chars(out.text, out.text + sizeof out.text - 1, value, std::chars_format::general, 2);
    *r.ptr = '\0';
    return out;
}

}  // namespace midicompose

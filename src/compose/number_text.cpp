// Numbers in note text, read and shown the same way in every locale.
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>

#include "compose.h"

#if defined(_WIN32)
#include <charconv>
#else
#include <locale.h>
#endif

namespace midicompose {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

const char* SkipDigits(const char* p, const char* end) {
    while (p < end && IsDigit(*p)) ++p;
    return p;
}

#if defined(_WIN32)
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

// [digits, end) is a validated decimal number without its sign.
double ReadUnsigned(const char* digits, const char* mantissaEnd, const char* exponent, const char* end) {
    double value = 0.0;
    const std::from_chars_result r = std::from_chars(digits, end, value, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // Without an exponent, exponent == mantissaEnd == end and the scale is 0.
        return ExceedsRange(digits, mantissaEnd, exponent, end) ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return r.ec == std::errc() ? value : 0.0;
}

#else

// While alive, this thread reads and prints numbers in the C locale; other
// threads and the host's own locale are left alone.
class CNumericLocale {
public:
    CNumericLocale() : c_(newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0))) {
        if (c_ == static_cast<locale_t>(0)) throw std::bad_alloc();
        previous_ = uselocale(c_);
    }
    ~CNumericLocale() {
        uselocale(previous_);
        freelocale(c_);
    }
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

private:
    locale_t c_;
    locale_t previous_;
};

// [digits, end) is a validated decimal number without its sign. strtod reads
// the same grammar, and overflows to infinity as it should.
double ReadUnsigned(const char* digits, const char*, const char*, const char* end) {
    CNumericLocale c;
    char* stop = nullptr;
    const double value = std::strtod(digits, &stop);
    if (stop == end) return value;
    // What follows the number continued it for strtod ("0x1p3" reads as hex
    // there, as 0 here): read a copy that holds the number alone.
    const std::string copy(digits, end);
    return std::strtod(copy.c_str(), nullptr);
}

#endif

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

    const double value = ReadUnsigned(digits, mantissaEnd, exponent, q);
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
#if defined(_WIN32)
    const std::to_chars_result r =
        std::to_chars(out.text, out.text + sizeof out.text - 1, value, std::chars_format::general, 2);
    *r.ptr = '\0';
#else
    CNumericLocale c;
    std::snprintf(out.text, sizeof out.text, "%.2g", value);
#endif
    return out;
}

}  // namespace midicompose

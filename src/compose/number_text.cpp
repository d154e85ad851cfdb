// Numbers in note text, read and shown the same way in every locale.
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "compose.h"

#include <charconv>
#include <cstdint>
#if !defined(_WIN32)
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


// Every power of ten a double holds exactly.
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Clinger's fast path: a decimal whose significant digits fit 53 bits, scaled
// by at most 10^22, is one exactly representable integer multiplied or
// divided by one exactly representable power of ten, and a single IEEE
// operation rounds that correctly, as strtod would. False for anything else.
bool ReadFast(const char* digits, const char* mantissaEnd, const char* exponent, const char* end, double& value) {
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
    constexpr std::uint64_t kMaxExact = std::uint64_t{1} << 53;
    std::uint64_t mantissa = 0;
    long scale = 0;         // power of ten the mantissa is to be multiplied by
    long pendingZeros = 0;  // zeros not yet folded into the mantissa
    bool seenPoint = false;
    for (const char* p = digits; p < mantissaEnd; ++p) {
        if (*p == '.') {
            seenPoint = true;
            continue;
        }
        if (seenPoint) --scale;
        if (*p == '0') {
            if (mantissa != 0) ++pendingZeros;  // leading zeros count for nothing
            continue;
        }
        for (; pendingZeros > 0; --pendingZeros) {
            if (mantissa > kMaxExact / 10) return false;
            mantissa *= 10;
        }
        if (mantissa > (kMaxExact - 9) / 10) return false;
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
    }
    scale += pendingZeros;  // trailing zeros of the mantissa scale it instead
    if (exponent < end) {
        const char* p = exponent;
        const bool negative = *p == '-';
        if (*p == '+' || *p == '-') ++p;
        long given = 0;
        for (; p < end; ++p) {
            if (given > 1000) return false;  // far outside the fast range anyway
            given = given * 10 + (*p - '0');
        }
        scale += negative ? -given : given;
    }
    if (mantissa == 0) {
        value = 0.0;
        return true;
    }
    if (scale < -22 || scale > 22) return false;
    const double m = static_cast<double>(mantissa);
    value = scale < 0 ? m / kPowersOfTen[-scale] : m * kPowersOfTen[scale];
    return true;
#else
    (void)digits, (void)mantissaEnd, (void)exponent, (void)end, (void)value;
    return false;
#endif
}

// The common length in note text, plain digits with at most one point ("2",
// "0.5", "1.25"), read in a single pass under the same rule as ReadFast. False
// for anything else (a sign, white space, an exponent, more digits), which
// the full reader then takes.
bool ReadPlainDecimal(const char* p, const char* end, double& value) {
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
    const auto digitAt = [](const char* q) { return static_cast<unsigned>(static_cast<unsigned char>(*q)) - '0'; };
    const char* const start = p;
    std::uint64_t mantissa = 0;  // may wrap past 19 digits, which are refused below
    for (; p < end && digitAt(p) <= 9; ++p) mantissa = mantissa * 10 + digitAt(p);
    std::ptrdiff_t digits = p - start, scale = 0;
    if (p < end && *p == '.') {
        const char* const fraction = ++p;
        for (; p < end && digitAt(p) <= 9; ++p) mantissa = mantissa * 10 + digitAt(p);
        scale = fraction - p;
        digits += p - fraction;
    }
    // 19 digits always fit 64 bits, and so scale >= -19: within the table.
    if (digits == 0 || digits > 19 || (p < end && (*p | 0x20) == 'e')) return false;
    if (mantissa > (std::uint64_t{1} << 53)) return false;
    value = static_cast<double>(mantissa) / kPowersOfTen[-scale];
    return true;
#else
    (void)p, (void)end, (void)value;
    return false;
#endif
}

// The grammar's parts: [digits, mantissaEnd) the mantissa, [exponent, end)
// the exponent's sign and digits (empty without one).
struct DecimalText {
    bool valid = false;
    bool negative = false;
    const char* digits = nullptr;
    const char* mantissaEnd = nullptr;
    const char* exponent = nullptr;
    const char* end = nullptr;
};

DecimalText ScanDecimal(const char* begin, const char* end) {
    DecimalText t;
    const char* p = begin;
    while (p < end && IsSpace(*p)) ++p;
    if (p < end && (*p == '+' || *p == '-')) t.negative = *p++ == '-';

    t.digits = p;
    const char* q = SkipDigits(p, end);
    bool anyDigit = q > p;
    if (q < end && *q == '.') {
        const char* fraction = q + 1;
        q = SkipDigits(fraction, end);
        anyDigit = anyDigit || q > fraction;
    }
    if (!anyDigit) return t;
    t.valid = true;
    t.mantissaEnd = q;
    t.exponent = q;
    if (q < end && (*q == 'e' || *q == 'E')) {
        const char* e = q + 1;
        if (e < end && (*e == '+' || *e == '-')) ++e;
        if (e < end && IsDigit(*e)) {
            t.exponent = q + 1;
            q = SkipDigits(e, end);
        }
    }
    t.end = q;
    return t;
}

// "%.2g" in the C locale, worked out exactly with integers, for the values
// this library prints: floats (every length and beat sum is one) from 1e-10
// to 1e18. False for anything else, which printf then formats.
bool FormatFloatShort(double value, char* out) {
    const float single = static_cast<float>(value);
    if (!(std::fabs(value) >= 1e-10 && std::fabs(value) <= 1e18) || static_cast<double>(single) != value) {
        return false;
    }
    if (value < 0) *out++ = '-';
    // The value is m * 2^e exactly.
    std::uint32_t bits = 0;
    std::memcpy(&bits, &single, sizeof bits);
    const int biased = static_cast<int>((bits >> 23) & 0xFF);
    const std::uint64_t m = (bits & 0x7FFFFF) | (biased != 0 ? 0x800000u : 0u);
    const int e = (biased != 0 ? biased : 1) - 150;

    // v / 10^s as the fraction n / d; within this range both fit 64 bits.
    static constexpr std::uint64_t kPowers[] = {1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull,
                                                10000000ull, 100000000ull, 1000000000ull, 10000000000ull,
                                                100000000000ull, 1000000000000ull, 10000000000000ull,
                                                100000000000000ull, 1000000000000000ull, 10000000000000000ull,
                                                100000000000000000ull, 1000000000000000000ull};
    auto fraction = [&](int s, std::uint64_t& n, std::uint64_t& d) {
        n = e >= 0 ? m << e : m;
        d = e >= 0 ? 1 : std::uint64_t{1} << -e;
        if (s >= 0) d *= kPowers[s]; else n *= kPowers[-s];
    };
    // s is the power of ten of the second significant digit: floor(v / 10^s)
    // has two digits. Estimated from the binary exponent, then corrected.
    int top = 23;
    while ((m >> top) == 0) --top;
    const int binary = e + top;  // 2^binary <= v < 2^(binary + 1)
    // floor(binary * log10(2)), with log10(2) as 1233 / 4096: floor(log10(v)) is it or one more.
    const int decimal = binary >= 0 ? binary * 1233 / 4096 : -((-binary * 1233 + 4095) / 4096);
    int s = decimal - 1;
    std::uint64_t n = 0, d = 1;
    for (;;) {
        fraction(s, n, d);
        const std::uint64_t whole = n / d;
        if (whole >= 100) ++s;
        else if (whole < 10) --s;
        else break;
    }
    // Rounded to two digits, halfway cases to even, as printf rounds.
    std::uint64_t q = n / d;
    const std::uint64_t r = n % d;
    if (r > d - r || (r == d - r && (q & 1) != 0)) ++q;
    if (q == 100) {
        q = 10;
        ++s;
    }
    const char first = static_cast<char>('0' + q / 10), second = static_cast<char>('0' + q % 10);
    const int exponent = s + 1;  // of the first digit
    if (exponent >= -4 && exponent < 2) {
        if (exponent == 1) {
            *out++ = first;
            *out++ = second;
        } else if (exponent == 0) {
            *out++ = first;
            if (second != '0') *out++ = '.', *out++ = second;
        } else {
            *out++ = '0';
            *out++ = '.';
            for (int zeros = -exponent - 1; zeros > 0; --zeros) *out++ = '0';
            *out++ = first;
            if (second != '0') *out++ = second;
        }
    } else {
        *out++ = first;
        if (second != '0') *out++ = '.', *out++ = second;
        *out++ = 'e';
        *out++ = exponent < 0 ? '-' : '+';
        const int magnitude = exponent < 0 ? -exponent : exponent;
        *out++ = static_cast<char>('0' + magnitude / 10);
        *out++ = static_cast<char>('0' + magnitude % 10);
    }
    *out = '\0';
    return true;
}

}  // namespace

double ParseDecimal(const char* begin, const char* end) {
    double plain = 0.0;
    if (ReadPlainDecimal(begin, end, plain)) return plain;
    const DecimalText t = ScanDecimal(begin, end);
    if (!t.valid) return 0.0;
    double value = 0.0;
    if (!ReadFast(t.digits, t.mantissaEnd, t.exponent, t.end, value)) {
        value = ReadUnsigned(t.digits, t.mantissaEnd, t.exponent, t.end);
    }
    return t.negative ? -value : value;
}

double ParseDecimalExactly(const char* begin, const char* end) {
    const DecimalText t = ScanDecimal(begin, end);
    if (!t.valid) return 0.0;
    const double value = ReadUnsigned(t.digits, t.mantissaEnd, t.exponent, t.end);
    return t.negative ? -value : value;
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
    if (FormatFloatShort(value, out.text)) return out;
#if defined(_WIN32)
    // std::to_chars prints as printf does in the C locale, with no locale to switch.
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

// Numbers in note text, read and shown the same way in every locale: with
// std::from_chars and std::to_chars where the standard library has them for
// floating point (GCC's and MinGW's), else with strtod and printf under the
// C locale for this thread alone (emscripten's libc++ has neither).
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>
#include <system_error>

#include "ascii.h"
#include "compose.h"

#if !defined(__cpp_lib_to_chars)
#include <locale.h>
#endif

namespace midicompose {
namespace {

const char* SkipDigits(const char* p, const char* end) {
    while (p < end && IsDigit(*p)) ++p;
    return p;
}

// The grammar: optional white space, a sign, digits with an optional point
// and fraction (a digit at least), an optional exponent. [digits, end) is
// the number without its sign; digits is null when there is none.
struct DecimalText {
    bool negative = false;
    const char* digits = nullptr;
    const char* end = nullptr;
};

DecimalText ScanDecimal(const char* begin, const char* end) {
    DecimalText t;
    const char* p = begin;
    while (p < end && IsSpace(*p)) ++p;
    if (p < end && (*p == '+' || *p == '-')) t.negative = *p++ == '-';
    const char* q = SkipDigits(p, end);
    bool anyDigit = q > p;
    if (q < end && *q == '.') {
        const char* fraction = q + 1;
        q = SkipDigits(fraction, end);
        anyDigit = anyDigit || q > fraction;
    }
    if (!anyDigit) return t;
    if (q < end && (*q == 'e' || *q == 'E')) {
        const char* e = q + 1;
        if (e < end && (*e == '+' || *e == '-')) ++e;
        if (e < end && IsDigit(*e)) q = SkipDigits(e, end);
    }
    t.digits = p;
    t.end = q;
    return t;
}

#if defined(__cpp_lib_to_chars)

// Past a double's range from_chars leaves the value alone: the number is
// large (an infinity) when its first significant digit stands at a positive
// power of ten, counting the exponent, and small (zero) otherwise.
double OutOfRange(const char* digits, const char* end) {
    long long position = 0;  // power of ten of the first significant digit, plus one
    bool point = false, significant = false;
    const char* p = digits;
    for (; p < end && (IsDigit(*p) || *p == '.'); ++p) {
        if (*p == '.') {
            point = true;
        } else if (*p == '0' && !significant) {
            if (point) --position;  // a leading zero after the point
        } else {
            significant = true;
            if (!point) ++position;
        }
    }
    long long scale = 0;
    const bool negative = p + 1 < end && p[1] == '-';
    for (p += p < end ? 1 : 0; p < end; ++p) {
        if (IsDigit(*p)) scale = std::min(scale * 10 + (*p - '0'), 1000000000LL);
    }
    return position + (negative ? -scale : scale) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

double ReadNumber(const char* digits, const char* end) {
    double value = 0.0;
    const std::from_chars_result r = std::from_chars(digits, end, value, std::chars_format::general);
    return r.ec == std::errc::result_out_of_range ? OutOfRange(digits, end) : value;
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

// strtod reads the grammar's numbers alike, and overflows to infinity. It
// reads a copy holding the number alone: what follows could continue it
// there ("0x1p3" is hexadecimal to strtod, 0 here).
double ReadNumber(const char* digits, const char* end) {
    CNumericLocale c;
    const std::string number(digits, end);
    return std::strtod(number.c_str(), nullptr);
}

#endif

// Most lengths are a few digits with a point ("0.5", "1.5"). Up to 15
// digits and no exponent, the digits as a whole number (below 2^53) and the
// power of ten of the point are both exact, so one division rounds once:
// the correctly rounded value, with no general reader. False otherwise.
bool ReadShortDecimal(const char* digits, const char* end, double& value) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    std::uint64_t whole = 0;
    int count = 0, fraction = -1;
    for (const char* p = digits; p < end; ++p) {
        if (*p == '.') {
            fraction = 0;
            continue;
        }
        if (!IsDigit(*p) || ++count > 15) return false;
        whole = whole * 10 + static_cast<std::uint64_t>(*p - '0');
        fraction += fraction >= 0;
    }
    value = static_cast<double>(whole) / kPowersOfTen[fraction > 0 ? fraction : 0];
    return true;
}

// Most lengths and sums have two significant digits or fewer ("0.5", "1.5",
// "16", "1e+02"). A value within a millionth of a unit in the second digit
// of such a number rounds to it, being nowhere near a halfway point, so
// "%.2g" shows those two digits: they are written here as printf places
// them, with no general formatter (to_chars' code and tables are large, and
// in a call that follows system calls each of their lines is a cache miss).
// False, with nothing written, for any other value.
bool FormatTwoDigits(double value, char* out) {
    if (!(value >= 1e-30 && value < 1e30)) return false;  // an exponent of two digits at most
    int exponent = 0;            // of the first digit
    double scaled = value * 10;  // the value over 10^(exponent - 1), brought into [10, 100)
    for (; scaled >= 100; scaled /= 10) ++exponent;
    for (; scaled < 10; scaled *= 10) --exponent;
    const double digits = std::floor(scaled + 0.5);
    if (std::fabs(scaled - digits) > 1e-6 || digits >= 100) return false;
    const char first = static_cast<char>('0' + static_cast<int>(digits) / 10);
    const char second = static_cast<char>('0' + static_cast<int>(digits) % 10);
    if (exponent < -4 || exponent >= 2) {  // "1.5e+02": the exponent in two digits
        *out++ = first;
        if (second != '0') {
            *out++ = '.';
            *out++ = second;
        }
        *out++ = 'e';
        *out++ = exponent < 0 ? '-' : '+';
        const int size = exponent < 0 ? -exponent : exponent;
        *out++ = static_cast<char>('0' + size / 10);
        *out++ = static_cast<char>('0' + size % 10);
    } else if (exponent == 1) {  // "16", "10"
        *out++ = first;
        *out++ = second;
    } else {  // "1.5", "6", "0.25", "0.005": a trailing zero dropped
        if (exponent < 0) {
            *out++ = '0';
            *out++ = '.';
            for (int zeros = -exponent - 1; zeros > 0; --zeros) *out++ = '0';
        }
        *out++ = first;
        if (exponent == 0 && second != '0') *out++ = '.';
        if (second != '0') *out++ = second;
    }
    *out = '\0';
    return true;
}

}  // namespace

double ParseDecimal(const char* begin, const char* end, const char** numberEnd) {
    const DecimalText t = ScanDecimal(begin, end);
    if (numberEnd != nullptr) *numberEnd = t.digits != nullptr ? t.end : begin;
    if (t.digits == nullptr) return 0.0;
    double value = 0.0;
    if (!ReadShortDecimal(t.digits, t.end, value)) value = ReadNumber(t.digits, t.end);
    return t.negative ? -value : value;
}

float NarrowToFloat(double value) {
    // Halfway between FLT_MAX and the next power of two rounds up to infinity.
    constexpr double kOverflow = 0x1.ffffffp127;
    if (std::fabs(value) >= kOverflow) return value < 0 ? -HUGE_VALF : HUGE_VALF;
    if (std::fabs(value) > FLT_MAX) return value < 0 ? -FLT_MAX : FLT_MAX;
    return static_cast<float>(value);
}

ShortNumber FormatNumber(double value, int digits) {
    ShortNumber out{};
#if defined(__cpp_lib_to_chars)
    // As printf's "%.*g" in the C locale, with no locale to switch.
    const std::to_chars_result r =
        std::to_chars(out.text, out.text + sizeof out.text - 1, value, std::chars_format::general, digits);
    *r.ptr = '\0';
#else
    CNumericLocale c;
    std::snprintf(out.text, sizeof out.text, "%.*g", digits, value);
#endif
    return out;
}

ShortNumber FormatShortNumber(double value) {
    ShortNumber out{};
    return FormatTwoDigits(value, out.text) ? out : FormatNumber(value, 2);
}

}  // namespace midicompose

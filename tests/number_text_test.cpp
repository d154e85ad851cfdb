// The number reader and printer against the C library, in the C locale:
// strtod and printf's "%.2g". Bounded samples here; MIDICOMPOSE_SWEEP=N
// (make sweep) compares N generated values of each.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <clocale>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "compose.h"

using namespace midicompose;

namespace {

long SweepSize(long fallback) {
    const char* given = std::getenv("MIDICOMPOSE_SWEEP");
    return given != nullptr ? std::atol(given) : fallback;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// strtod on the text (its grammar holds ParseDecimal's), in the test's C locale.
double Strtod(const char* text) { return std::strtod(text, nullptr); }

// Decimal texts of every shape the grammar allows, weighted toward the fast
// path's edges: 15 to 20 digits, scales near 10^22, runs of zeros.
std::string GeneratedDecimal(std::mt19937_64& rng) {
    std::string text;
    if (rng() % 8 == 0) text += " \t"[rng() % 2];
    if (rng() % 4 == 0) text += "+-"[rng() % 2];
    const int digits = 1 + static_cast<int>(rng() % 24);
    const int point = static_cast<int>(rng() % (digits + 2)) - 1;  // -1: no point
    for (int i = 0; i < digits; ++i) {
        if (i == point) text += '.';
        const unsigned kind = rng() % 10;
        text += static_cast<char>('0' + (kind < 3 ? 0 : kind < 5 ? 9 : rng() % 10));
    }
    if (rng() % 2 == 0) {
        text += "eE"[rng() % 2];
        if (rng() % 2 == 0) text += "+-"[rng() % 2];
        text += std::to_string(rng() % 4 == 0 ? rng() % 400 : rng() % 30);
    }
    if (rng() % 8 == 0) text += ":x";
    return text;
}

TEST(ParseDecimal, ReadsEveryGeneratedDecimalToTheSameBitsAsStrtod) {
    ASSERT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    std::mt19937_64 rng(20261208);
    const char* const boundaries[] = {"9007199254740992", "9007199254740993", "9007199254740991.5", "1e22", "1e23",
                                      "1e-22", "1e-23", "4.9e-324", "1.7976931348623157e308", "0.1", "0.5",
                                      "000000000000000000000001", "1.0000000000000000000000001", "123456789012345678",
                                      "18446744073709551617"};  // 2^64 + 1: wraps to 1 in 64 bits
    long compared = 0;
    std::vector<std::string> texts(std::begin(boundaries), std::end(boundaries));
    texts.push_back(std::string(400, '9'));                  // past the range with no exponent
    texts.push_back("0." + std::string(400, '0') + "1e70");  // below it, its zeros after the point
    for (const std::string& text : texts) {
        EXPECT_TRUE(SameBits(ParseDecimal(text.data(), text.data() + text.size()), Strtod(text.c_str()))) << text;
        ++compared;
    }
    for (long i = SweepSize(200000); i > 0; --i, ++compared) {
        const std::string text = GeneratedDecimal(rng);
        const char* end = text.data() + text.size();
        const double read = ParseDecimal(text.data(), end), reference = Strtod(text.c_str());
        ASSERT_TRUE(SameBits(read, reference)) << text << ": " << read << " against " << reference;
    }
    std::printf("compared %ld decimal texts\n", compared);
}

std::string Printf2g(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2g", value);
    return text;
}

TEST(FormatShortNumber, PrintsEveryLengthAndGeneratedFloatAsPrintfDoes) {
    ASSERT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    long compared = 0;
    auto check = [&compared](double value) {
        ++compared;
        return std::string(FormatShortNumber(value).text) == Printf2g(value);
    };
    // Every note length from 1/480 beat to 64 beats, in steps of 1/480.
    for (int k = 1; k <= 64 * 480; ++k) {
        const float length = static_cast<float>(k) / 480.0f;
        ASSERT_TRUE(check(length)) << k << "/480: " << FormatShortNumber(length).text;
    }
    // Every two-digit number and halfway point at every scale, as a float
    // and as a double, with both neighbours of each.
    for (int e = -45; e <= 38; ++e) {
        for (int d = 10; d <= 100; ++d) {
            for (const double m : {double(d), d + 0.5}) {
                const double x = m * std::pow(10.0, e - 1);
                const float f = static_cast<float>(x);
                for (const double g : {double(f), double(std::nextafter(f, 0.0f)), double(std::nextafter(f, HUGE_VALF)),
                                       x, std::nextafter(x, 0.0), std::nextafter(x, HUGE_VAL)}) {
                    ASSERT_TRUE(check(g)) << g << ": " << FormatShortNumber(g).text << " against " << Printf2g(g);
                }
            }
        }
    }
    // Random bit patterns: every finite float, and infinity.
    std::mt19937 rng(480);
    for (long i = SweepSize(200000); i > 0; --i) {
        const std::uint32_t bits = static_cast<std::uint32_t>(rng());
        float f;
        std::memcpy(&f, &bits, sizeof f);
        if (std::isnan(f)) continue;
        ASSERT_TRUE(check(f)) << bits << ": " << FormatShortNumber(f).text << " against " << Printf2g(f);
    }
    EXPECT_TRUE(check(std::numeric_limits<float>::infinity()));
    std::printf("compared %ld values\n", compared);
}

}  // namespace

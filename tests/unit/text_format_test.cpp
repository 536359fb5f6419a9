// The writers' formatter against the C library's snprintf: same bytes for the page formats,
// for the values that trip up number formatting, for cut texts and for formats it leaves to
// the library.
#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "display/text_grid.h"

namespace {

template <class... Args>
std::string ours(const char* format, Args... args) {
    char text[kTextBufferSize];
    const size_t length = formatInto(text, format, args...);
    return std::string(text, length);  // a wrong length shows as a different text
}

template <class... Args>
std::string library(const char* format, Args... args) {
    char text[kTextBufferSize];
    if (std::snprintf(text, sizeof text, format, args...) < 0) text[0] = '\0';
    return text;
}

// Counts mismatches and reports only the first few, so a broken case cannot flood the log.
class Differ {
public:
    template <class... Args>
    void check(const char* format, Args... args) {
        const std::string expected = library(format, args...);
        const std::string actual = ours(format, args...);
        ++checked;
        if (expected != actual && ++failures <= 10) {
            ADD_FAILURE() << "format \"" << format << "\": expected \"" << expected << "\", got \"" << actual
                          << "\"";
        }
    }
    ~Differ() { EXPECT_EQ(failures, 0) << "of " << checked << " checked"; }

private:
    long checked = 0;
    long failures = 0;
};

const char* const kDoubleFormats[] = {"%.1f kg", "%.0f kg", "%.2f%%", "%6.1f kg", "%6.0f kg",
                                      "%f",      "%.3f",    "%12.5f", "%.17f",    "%.f"};

void checkDouble(Differ& differ, double value) {
    for (const char* format : kDoubleFormats) differ.check(format, value);
}

TEST(TextFormat, EdgeValuesFormatAsTheLibraryDoes) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double edges[] = {0.0,      -0.0,    nan,      -nan,     inf,     -inf,   1e300,  -1e300,
                            1.7976931348623157e308, 4.9e-324, 2.2250738585072014e-308, 0.125,  0.375,
                            2.5,      0.5,     1.5,      -0.5,     -2.5,    0.05,   0.15,   0.25,
                            0.35,     -0.04,   -0.001,   9.95,     99.95,   999999.5, 1e15 + 0.5,
                            4503599627370495.5, 9007199254740993.0, 1e22,  1e23,   123456.789};
    Differ differ;
    for (const double value : edges) {
        checkDouble(differ, value);
        differ.check("%.1f", value);
        differ.check("%.60f", value);
        differ.check("%.150f", value);  // the longest precision the formatter takes on
        differ.check("%.300f", value);
        differ.check("%300.1f", value);
        differ.check("x%249.1fy", value);
    }
}

TEST(TextFormat, RandomDoublesFormatAsTheLibraryDoes) {
    std::mt19937_64 random(20240611);
    Differ differ;
    std::uniform_real_distribution<double> exponent(-12.0, 22.0);
    for (int i = 0; i < 150000; ++i) {
        const double magnitude = std::pow(10.0, exponent(random));
        checkDouble(differ, random() % 2 ? magnitude : -magnitude);
    }
    // Every bit pattern: NaNs with payloads and either sign, subnormals, the largest values.
    for (int i = 0; i < 50000; ++i) checkDouble(differ, std::bit_cast<double>(random()));
    // Multiples of small powers of two: the values that fall exactly halfway when rounded.
    for (int i = 0; i < 100000; ++i) {
        const int64_t units = static_cast<int64_t>(random() % 2000001) - 1000000;
        checkDouble(differ, std::ldexp(static_cast<double>(units), -static_cast<int>(random() % 12)));
    }
}

TEST(TextFormat, IntegersFormatAsTheLibraryDoes) {
    Differ differ;
    auto check = [&](long long value) {
        const int narrow = static_cast<int>(value);
        differ.check("%d", narrow);
        differ.check("%i", narrow);
        differ.check("%u", static_cast<unsigned>(narrow));
        differ.check(" (of %u)", static_cast<unsigned>(narrow));
        differ.check("%8d|", narrow);
        differ.check("%lld", value);
        differ.check("%lli", value);
        differ.check("%llu", static_cast<unsigned long long>(value));
        differ.check("%25lld", value);
    };
    for (const long long value : {0LL, 1LL, -1LL, 9LL, 10LL, -10LL, static_cast<long long>(INT_MIN),
                                  static_cast<long long>(INT_MAX), static_cast<long long>(UINT_MAX), LLONG_MIN,
                                  LLONG_MAX}) {
        check(value);
    }
    std::mt19937_64 random(7);
    for (int i = 0; i < 100000; ++i) {
        const auto bits = random();
        check(static_cast<long long>(bits >> (bits % 64)));  // every length of number
    }
}

TEST(TextFormat, TextsAndMixedFormatsAreCutAt251CharactersAsTheLibraryCutsThem) {
    Differ differ;
    const char* const null = nullptr;
    differ.check("%s", null);
    differ.check("<%8s>", null);
    differ.check("%s", "");
    differ.check("");
    differ.check("plain");
    differ.check("%%%%");
    differ.check(" Version %s", "030109");
    differ.check(" %s (%s)", "GL-01", "DeltaGlider");
    differ.check("[%s]", "50%d%s%n%%");
    differ.check("%s: %lld (of %u) %.2f%% %6.0f kg", "Main", -3LL, 4u, 99.995, 1e6);
    for (size_t length = 230; length <= 260; ++length) {
        const std::string name(length, 'n');
        std::string format;
        for (size_t i = 0; i < length; ++i) format += static_cast<char>('a' + i % 26);
        format += "%d tail";
        differ.check("%s", name.c_str());
        differ.check(" %s (%s)", name.c_str(), "class");
        differ.check("%s%.2f%%", name.c_str(), -12.345);
        differ.check("%s%lld", name.c_str(), LLONG_MIN);
        differ.check("%s%6.1f kg", name.c_str(), 1.25);
        differ.check(format.c_str(), 12345);
        differ.check("%*s|", static_cast<int>(length), "x");  // '*' goes to the library
    }
    differ.check("%251s", "right");
    differ.check("%400s", "right");
    differ.check("%9999d", 1);
    differ.check("%10000d", 1);  // beyond the widths the formatter takes on
}

TEST(TextFormat, FormatsWithOtherFeaturesStillMatchTheLibrary) {
    Differ differ;
    for (const char* format : {"%+d", "% d", "%-5d|", "%05d", "%x", "%X", "%o", "%c", "%5.3d", "%ld", "%hd",
                               "%hhd", "%zu", "%jd", "%1$d", "%.1d", "%d %x", "%llx", "%'d"}) {
        differ.check(format, -42, 7);
        differ.check(format, 7, -42);
    }
    for (const char* format : {"%+.1f", "%-8.1f|", "%08.2f", "% f", "%#.0f", "%e", "%.3g", "%a", "%F",
                               "%E", "%.1f %e", "%.1f %+.1f"}) {
        differ.check(format, -2.5, 3.0);
        differ.check(format, 0.125, -0.0);
    }
    differ.check("%-10s|", "left");
    differ.check("%.3s", "truncated");
    differ.check("%Lf", 2.5L);
    differ.check("%lf", 2.5);  // 'l' is not among the lengths the formatter handles
    differ.check("%s%.1f%", "trailing ", 2.0);
    differ.check("%*.*f", 8, 2, 3.14159);
    differ.check("%p", static_cast<void*>(nullptr));
}

}  // namespace

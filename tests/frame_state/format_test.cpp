// %b and %r conversions.
#include <gtest/gtest.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "VXR_SupportLib.h"

namespace {

std::string refBinary(int n) {
    if (n == INT_MIN) return "1" + std::string(31, '0');  // the bit pattern, no sign
    char buf[40];
    auto r = std::to_chars(buf, buf + sizeof buf, n, 2);
    return std::string(buf, r.ptr);
}

TEST(ConvertToBinary, AgainstReference) {
    char buf[34];
    EXPECT_STREQ(VXR_ConvertToBinary(0, buf), "0");
    std::vector<int> values = {1, -1, 5, -5, INT_MAX, INT_MIN, INT_MIN + 1};
    for (double v = 1; v < 2.2e9; v *= 1.37) {
        const long long k = std::llround(v);
        if (k > INT_MAX) break;
        values.push_back(static_cast<int>(k));
        values.push_back(-static_cast<int>(k));
    }
    for (int n : values) {
        std::memset(buf, 'Z', sizeof buf);
        EXPECT_EQ(VXR_ConvertToBinary(n, buf), refBinary(n)) << n;
    }
}

TEST(ConvertToEngFormat, LiteralCases) {
    struct Case {
        double x;
        const char* expect;
    } cases[] = {
        {0.0, "0"},
        {-0.0, "0"},
        {12.5, "12.50000 "},
        {999, "999.0000 "},
        {-1500, "-1.500000K"},
        {0.02, "20.00000m"},
        {2e-4, "200.0000u"},
        {2e-3, "2000.000u"},
        {4.7e12, "4.700000T"},
        {3.3e-16, "330.0000a"},
        {1e-19, "1.000000e-19"},
        {1e15, "1.000000e+15"},
        // Rounding pushes these past the letter table: plain %e.
        {5e-18, "5.000000e-18"},
        {1e-18, "1.000000e-18"},
        {999999999999999.9, "1.000000e+15"},
        {-999999999999999.9, "-1.000000e+15"},
    };
    for (const Case& c : cases) {
        char buf[16];
        EXPECT_STREQ(VXR_ConvertToEngFormat(c.x, buf), c.expect) << c.x;
    }
    char buf[16];
    EXPECT_STREQ(VXR_ConvertToEngFormat(std::numeric_limits<double>::infinity(), buf), "inf");
    EXPECT_NE(std::strstr(VXR_ConvertToEngFormat(std::nan(""), buf), "nan"), nullptr);
}

double letterScale(char c) {
    const char* letters = "afpnum KMGT";
    const char* p = std::strchr(letters, c);
    return p ? std::pow(10.0, 3 * (static_cast<int>(p - letters) - 6)) : NAN;
}

// Over log-spaced values of both signs: the text is sign, 7 significant
// digits, one scale letter; it denotes the %e value; the mantissa lies in
// [1, 1000) for values of 1 or more and in [10, 10000) below 1.
TEST(ConvertToEngFormat, LogSpacedAgainstReference) {
    for (int k = -18 * 16; k < 15 * 16; ++k) {
        for (int sign : {1, -1}) {
            const double x = sign * std::pow(10.0, k / 16.0) * 1.0000123;
            char buf[16];
            std::string s = VXR_ConvertToEngFormat(x, buf);
            char e[32];
            std::snprintf(e, sizeof e, "%e", std::fabs(x));
            const double rounded = std::strtod(e, nullptr);
            const int exp10 = std::atoi(std::strchr(e, 'e') + 1);
            if (std::fabs(x) < 1e-18 || exp10 <= -18 || exp10 >= 15) {
                char ref[32];
                std::snprintf(ref, sizeof ref, "%e", x);
                EXPECT_EQ(s, ref) << x;
                continue;
            }
            SCOPED_TRACE(s + " for " + e);
            ASSERT_GE(s.size(), 3u);
            if (sign < 0) {
                ASSERT_EQ(s[0], '-');
                s.erase(0, 1);
            }
            const char letter = s.back();
            const std::string num = s.substr(0, s.size() - 1);
            size_t digits = 0;
            for (char c : num) {
                ASSERT_TRUE(std::isdigit(static_cast<unsigned char>(c)) || c == '.');
                digits += c != '.';
            }
            EXPECT_EQ(digits, 7u);
            const double mant = std::strtod(num.c_str(), nullptr);
            if (std::fabs(x) >= 1.0) {
                EXPECT_GE(mant, 1.0);
                EXPECT_LT(mant, 1000.0);
            } else {
                EXPECT_GE(mant, 10.0);
                EXPECT_LT(mant, 10000.0);
            }
            EXPECT_NEAR(mant * letterScale(letter) / rounded, 1.0, 1e-12);
        }
    }
}

}  // namespace

#include "track/number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "tests/test_support.h"

namespace wayloom {
namespace {

// The process runs in the "C" locale here, so the C library serves as the reference.
// strtod, except that a text without a number gives +0 as the C standard has it (MinGW's gives -0
// for "-e0").
double CReference(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  return end == text.c_str() ? 0.0 : value;
}

std::string PrintfReference(double value, int decimals) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

TEST(ParseDecimal, ReadsTheLongestDecimalPrefixAsAtofDoes) {
  const struct {
    const char* text;
    double expected;
  } cases[] = {
      {"48.1173", 48.1173}, {"  -33.8568", -33.8568},
      {"\t+3", 3.0},        {"12.5N", 12.5},
      {".5", 0.5},          {"5.", 5.0},
      {"1e5", 1e5},         {"2.5E-3x", 2.5e-3},
      {"1e", 1.0},          {"1e+", 1.0},
      {"7e-", 7.0},         {"", 0.0},
      {".", 0.0},           {"-", 0.0},
      {"abc", 0.0},         {" ,5", 0.0},
      {"1.2.3", 1.2},       {"00012", 12.0},
      {"0.000", 0.0},       {"1,5", 1.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseDecimal(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(ParseDecimal, ReadsNoHexadecimalAndNoWords) {
  for (const char* text : {"0x1A", "0X10", "inf", "-inf", "INFINITY", "nan", "NaN(1)"}) {
    EXPECT_EQ(ParseDecimal(text), 0.0) << text;
  }
}

TEST(ParseDecimal, OverflowGivesInfinityAndUnderflowZero) {
  EXPECT_EQ(ParseDecimal("1e999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(ParseDecimal("-1e999"), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(ParseDecimal("1e99999999999999999999999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(ParseDecimal("1e-999"), 0.0);
  EXPECT_EQ(ParseDecimal("0.0000001e-400"), 0.0);
  EXPECT_EQ(ParseDecimal("123456789e-340"), CReference("123456789e-340"));  // subnormal
  EXPECT_EQ(ParseDecimal("0e99999"), 0.0);
  EXPECT_TRUE(std::signbit(ParseDecimal("-0")));
  EXPECT_TRUE(std::signbit(ParseDecimal("-1e-999")));
}

TEST(ParseDecimal, ReadsVeryLongNumbersExactly) {
  const std::string longInteger = "1" + std::string(400, '0');
  EXPECT_EQ(ParseDecimal(longInteger), std::numeric_limits<double>::infinity());
  const std::string longFraction = "0." + std::string(5000, '3');
  EXPECT_EQ(ParseDecimal(longFraction), CReference(longFraction));
  const std::string halfway = "9007199254740993" + std::string(3000, '0') + "1e-3000";
  EXPECT_EQ(ParseDecimal(halfway), CReference(halfway));
}

TEST(ParseDecimal, MatchesTheCLibraryOnRandomDecimalTexts) {
  std::mt19937_64 random(20261207);
  const char alphabet[] = "0123456789.-+eE x";
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    const int length = 1 + static_cast<int>(random() % 24);
    for (int k = 0; k < length; ++k) text += alphabet[random() % (sizeof alphabet - 1)];
    if (text.find_first_of("xX") != std::string::npos) continue;  // keep strtod's hex out
    const double expected = CReference(text);
    const double actual = ParseDecimal(text);
    ASSERT_EQ(std::memcmp(&expected, &actual, sizeof actual), 0) << '"' << text << '"';
  }
}

TEST(AppendFixed, PrintsExactlyAsPrintfOnRandomValues) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> degrees(-400.0, 400.0);
  for (int i = 0; i < 20000; ++i) {
    const double value = i % 2 ? degrees(random) : std::ldexp(degrees(random), -(i % 40));
    const int decimals = i % 6;
    ASSERT_EQ(FormatFixed(value, decimals), PrintfReference(value, decimals)) << value;
  }
  // Exact ties of the binary value round to even, as printf does.
  for (double tie : {0.5, 1.5, 2.5, 0.125, 12.5, 999.5, 0.375}) {
    EXPECT_EQ(FormatFixed(tie, tie < 1 ? 2 : 0), PrintfReference(tie, tie < 1 ? 2 : 0));
  }
  EXPECT_EQ(FormatFixed(1e300, 4), PrintfReference(1e300, 4));
  EXPECT_EQ(FormatFixed(-0.0, 2), "-0.00");
}

TEST(AppendFixed, PrintsExactlyAsPrintfNearRoundingTies) {
  // Values at and next to the halfway points between two printable results are where a fast
  // printer that rounds a scaled value could go wrong.
  std::mt19937_64 random(11);
  for (int i = 0; i < 40000; ++i) {
    const int decimals = static_cast<int>(random() % 6);
    const double scale = std::pow(10.0, decimals);
    const double units = static_cast<double>(random() % 100000000);
    double value = (units + 0.5) / scale;
    for (int step = 0; step < i % 4; ++step) value = std::nextafter(value, i % 8 < 4 ? 0.0 : 1e9);
    if (i % 3 == 0) value = -value;
    ASSERT_EQ(FormatFixed(value, decimals), PrintfReference(value, decimals))
        << value << " with " << decimals;
  }
  // Minutes of a coordinate (fraction times 60) close to the carry into the next minute or degree.
  for (double minutes : {59.99995, 59.999949999999, 9.99995, 9.9999499999, 0.00005, 2147483.6475}) {
    for (int decimals = 0; decimals <= 5; ++decimals) {
      ASSERT_EQ(FormatFixed(minutes, decimals), PrintfReference(minutes, decimals)) << minutes;
    }
  }
  for (double big : {2147483647.5, 4.5e15, 1e22, 123456789.125}) {
    EXPECT_EQ(FormatFixed(big, 3), PrintfReference(big, 3)) << big;
  }
}

TEST(ParseDecimal, MatchesTheCLibraryOnCoordinateLikeTexts) {
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> degrees(-180.0, 180.0);
  char text[64];
  for (int i = 0; i < 40000; ++i) {
    const int digits = 1 + static_cast<int>(random() % 20);
    std::snprintf(text, sizeof text, i % 2 ? "%.*f" : "%.*e", digits, degrees(random));
    const double expected = CReference(text);
    const double actual = ParseDecimal(text);
    ASSERT_EQ(std::memcmp(&expected, &actual, sizeof actual), 0) << text;
  }
}

TEST(NumberText, IgnoresTheProcessLocale) {
  if (!test::UseGermanLocale()) GTEST_SKIP() << "no German locale is installed";
  const double parsed = ParseDecimal("48.1173");
  const std::string printed = FormatFixed(2.5, 3);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(parsed, 48.1173);
  EXPECT_EQ(printed, "2.500");
}

}  // namespace
}  // namespace wayloom

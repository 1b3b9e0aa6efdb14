// The number reader and printer against the C library, which serves as the reference here: the
// tests run in the "C" locale.
#include "tests/test_support.h"

namespace wayloom::test {

constexpr double kInf = std::numeric_limits<double>::infinity();

std::string PrintfFixed(double value, int decimals) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

void ExpectSameBits(const std::string& text) {
  // strtod, except that a text without a number gives +0 as the C standard has it (MinGW's gives
  // -0 for "-e0").
  char* end = nullptr;
  double expected = std::strtod(text.c_str(), &end);
  if (end == text.c_str()) expected = 0.0;
  const double actual = ParseDecimal(text);
  ASSERT_EQ(std::memcmp(&expected, &actual, sizeof actual), 0) << '"' << text << '"';
}

TEST(ParseDecimal, ReadsTheLongestDecimalPrefixAndNothingElse) {
  // The C library reads these otherwise; texts it reads the same way come in the random test below.
  const struct {
    const char* text;
    double expected;
  } cases[] = {{"0x1A", 0.0}, {"inf", 0.0},    {"nan", 0.0}, {"1e99999999999999999999999", kInf},
               {"\t+3", 3.0}, {"12.5N", 12.5}, {"1,5", 1.0}};
  for (const auto& c : cases) EXPECT_EQ(ParseDecimal(c.text), c.expected) << '"' << c.text << '"';
  EXPECT_TRUE(std::signbit(ParseDecimal("-1e-999")));
  for (const std::string& text :
       {"1" + std::string(400, '0'), std::string("123456789e-340"), "0." + std::string(5000, '3'),
        "9007199254740993" + std::string(3000, '0') + "1e-3000"}) {
    ExpectSameBits(text);
  }
}

TEST(ParseDecimal, MatchesTheCLibraryOnRandomAndCoordinateLikeTexts) {
  std::mt19937_64 random(20261207);
  std::uniform_real_distribution<double> degrees(-180.0, 180.0);
  const char alphabet[] = "0123456789.-+eE ";
  char text[64];
  for (int i = 0; i < 40000; ++i) {
    if (i % 2) {
      std::string scrap;
      for (std::size_t k = 1 + random() % 24; k > 0; --k) scrap += alphabet[random() % 16];
      ExpectSameBits(scrap);
    } else {
      const int digits = 1 + static_cast<int>(random() % 20);
      std::snprintf(text, sizeof text, i % 4 ? "%.*f" : "%.*e", digits, degrees(random));
      ExpectSameBits(text);
    }
  }
}

TEST(FormatFixed, PrintsExactlyAsPrintfOnRandomValuesAndNearRoundingTies) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> degrees(-400.0, 400.0);
  const double scale[] = {1, 10, 100, 1000, 10000, 100000};
  for (int i = 0; i < 40000; ++i) {
    const int decimals = i % 6;
    double value = i % 2 ? degrees(random) : std::ldexp(degrees(random), -(i % 40));
    if (i % 4 == 0) {  // at or next to the halfway point between two printable results
      value = (static_cast<double>(random() % 100000000) + 0.5) / scale[decimals];
      for (int step = 0; step < i % 3; ++step) value = std::nextafter(value, i % 8 ? 0.0 : 1e9);
    }
    ASSERT_EQ(FormatFixed(value, decimals), PrintfFixed(value, decimals))
        << value << " " << decimals;
  }
  for (double value : {59.99995, 9.9999499999, 0.375, 2147483647.5, 4.5e15, 1e22, 1e300, -0.0}) {
    EXPECT_EQ(FormatFixed(value, 3), PrintfFixed(value, 3)) << value;
  }
}

}  // namespace wayloom::test

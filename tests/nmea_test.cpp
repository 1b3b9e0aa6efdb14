#include "track/nmea.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "tests/test_support.h"

namespace wayloom {
namespace {

std::string GgaTime(double clockMs) {
  std::string out;
  FormatGgaTime(clockMs, out);
  return out;
}

std::string Latitude(const std::string& text) {
  std::string out;
  FormatLatitude(text, out);
  return out;
}

std::string Longitude(const std::string& text) {
  std::string out;
  FormatLongitude(text, out);
  return out;
}

TEST(SentenceTime, SplitsWholeMillisecondClocksIntoHhmmssSss) {
  const struct {
    double clockMs;
    const char* time;
  } cases[] = {
      {3600000, "010000.000"},  {7200000, "020000.000"},  {0, "000000.000"},
      {3723004, "010203.004"},  {3601500, "010001.500"},  {3600250, "010000.250"},
      {45296789, "123456.789"}, {36000000, "100000.000"}, {86399999, "235959.999"},
      {3600010, "010000.010"},  {3600099, "010000.099"},  {3659000, "010059.000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GgaTime(c.clockMs), std::string("$GPGGA,") + c.time + ",") << c.clockMs;
  }
  std::string rmc;
  FormatRmcTime(45296789, rmc);
  EXPECT_EQ(rmc, "$GPRMC,123456.789,");
}

TEST(SentenceTime, RoundsToWholeMillisecondsAndWrapsAtMidnight) {
  const struct {
    double clockMs;
    const char* time;
  } cases[] = {
      {3600009.6, "010000.010"},  // would print .0010 if formatted before rounding
      {3600999.6, "010001.000"},  // the fraction carries into the seconds
      {3600012.5, "010000.012"},  // ties go to the even millisecond
      {3600013.5, "010000.014"},
      {86399999.6, "000000.000"},  // rounds up to midnight
      {86400000, "000000.000"},    // one day later
      {90000000, "010000.000"},    // 25 hours
      {3600000.0 + 1000.0 * 86400000, "010000.000"},
      {-1, "235959.999"},  // a negative period runs the clock back past midnight
      {-2000, "235958.000"},
      {-86400000.0 * 3 - 1000, "235959.000"},
      {std::numeric_limits<double>::infinity(), "000000.000"},
      {std::numeric_limits<double>::quiet_NaN(), "000000.000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GgaTime(c.clockMs), std::string("$GPGGA,") + c.time + ",") << c.clockMs;
  }
}

TEST(CoordinateFields, PrintDegreesAndMinutesWithHemisphere) {
  const struct {
    const char* text;
    const char* latitude;
    const char* longitude;
  } cases[] = {
      {"48.1173", "4807.0380,N,", "04807.0380,E,"},
      {"48.01", "4800.6000,N,", "04800.6000,E,"},
      {"-33.8568", "3351.4080,S,", "03351.4080,W,"},
      {"-0.5", "0030.0000,S,", "00030.0000,W,"},
      {"-0", "0000.0000,N,", "00000.0000,E,"},
      {"", "0000.0000,N,", "00000.0000,E,"},
      {"abc", "0000.0000,N,", "00000.0000,E,"},
      {"11.5166667", "1131.0000,N,", "01131.0000,E,"},
      {"-0.125", "0007.5000,S,", "00007.5000,W,"},
      {"5.5", "0530.0000,N,", "00530.0000,E,"},
      {"151.2153", "15112.9180,N,", "15112.9180,E,"},
      {"-122.4194", "12225.1640,S,", "12225.1640,W,"},
      {"123.5", "12330.0000,N,", "12330.0000,E,"},
      {" 7", "0700.0000,N,", "00700.0000,E,"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Latitude(c.text), c.latitude) << '"' << c.text << '"';
    EXPECT_EQ(Longitude(c.text), c.longitude) << '"' << c.text << '"';
  }
}

TEST(CoordinateFields, ChooseTheMinutesFormatOnThePrintedValue) {
  // Minutes that print as 60.0000 are a whole degree more.
  EXPECT_EQ(Latitude("48.99999999"), "4900.0000,N,");
  EXPECT_EQ(Latitude("9.999999999"), "1000.0000,N,");
  EXPECT_EQ(Longitude("-99.999999999"), "10000.0000,W,");
  EXPECT_EQ(Latitude("-0.999999999"), "0100.0000,S,");
  // Minutes of 9.99996 print as 10.0000, never as 010.0000.
  EXPECT_EQ(Latitude("48.166666"), "4810.0000,N,");
  EXPECT_EQ(Longitude("2.166666"), "00210.0000,E,");
  // Every minutes text is seven characters whatever the value.
  for (const char* text : {"1.0000001", "1.1666665", "1.9999991", "45.5", "0.0001"}) {
    const std::string field = Latitude(text);
    EXPECT_EQ(field.size(), 12u) << text << " gives " << field;
    EXPECT_EQ(field[4], '.') << text << " gives " << field;
  }
}

TEST(CoordinateFields, HandleHugeValuesWithoutLimit) {
  const std::string field = Latitude("1e300");
  EXPECT_EQ(field.size(), 301u + 7 + 3);
  EXPECT_EQ(field.substr(0, 3), "100");
  EXPECT_EQ(field.substr(field.size() - 10), "00.0000,N,");
  EXPECT_EQ(Longitude("-1e999").substr(0, 3), "inf");
}

TEST(Sentences, BuildTheReferenceGgaAndRmc) {
  const std::string gga = test::Gga(3600000, "48.1173", "11.5166667");
  EXPECT_EQ(gga, "$GPGGA,010000.000,4807.0380,N,01131.0000,E,1,07,1.25,00121,M,047,M,,*5F");
  EXPECT_EQ(gga.size(), 71u);

  std::string rmc = test::Rmc(3600000, "48.1173", "11.5166667", 35.0, 12.0);
  EXPECT_EQ(rmc, "$GPRMC,010000.000,A,4807.0380,N,01131.0000,E,35.00,12.000,0.00,E,*6E");
  EXPECT_EQ(rmc.size(), 68u);

  rmc = test::Rmc(3600000, "48.1173", "11.5166667", 194.39, 359.999);
  EXPECT_NE(rmc.find(",194.39,359.999,0.00,E,*"), std::string::npos) << rmc;
}

TEST(Sentences, ChecksumIsTheXorBetweenDollarAndStarInTwoUpperCaseDigits) {
  std::string sentence = "prefix$A";
  CloseSentence(sentence, 6);
  EXPECT_EQ(sentence, "prefix$A*41");
  sentence = "$AB";  // 'A' ^ 'B' = 0x03: a leading zero
  CloseSentence(sentence, 0);
  EXPECT_EQ(sentence, "$AB*03");
  sentence = "$";
  CloseSentence(sentence, 0);
  EXPECT_EQ(sentence, "$*00");
}

}  // namespace
}  // namespace wayloom

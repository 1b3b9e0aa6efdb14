// The sentence formatter: time and coordinate fields, whole GGA and RMC sentences against a plain
// printf formatter, dated RMC sentences, and the calendar behind them.

#include "tests/test_support.h"

namespace wayloom::test {

constexpr double kDayMs = 86400000.0;

// The GGA and RMC sentence of a position, as the track writers build them (without line end).
std::string Gga(double clockMs, std::string_view latitudeText, std::string_view longitudeText) {
  char sentence[kSentenceCapacity];
  return std::string(sentence, BuildGga(clockMs, latitudeText, longitudeText, sentence));
}

std::string Rmc(double clockMs, std::string_view latitudeText, std::string_view longitudeText,
                double speedKnots, double courseDegrees, const CalendarDate* date = nullptr) {
  char sentence[kSentenceCapacity];
  return std::string(sentence, BuildRmc(clockMs, latitudeText, longitudeText, speedKnots,
                                        courseDegrees, date, sentence));
}

// The printf formats of the track format, written out with the C library.
std::string Printf(const char* format, double value) {
  char text[512];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string PlainCoordinate(const std::string& text, bool latitude) {
  const double v = std::atof(text.c_str());
  double w = 0;
  const double f = std::modf(v, &w);
  double degrees = std::fabs(w);
  std::string minutes = f == 0 ? "00.0000" : Printf("%.4f", std::fabs(f) * 60);
  if (minutes == "60.0000") {
    degrees += 1;
    minutes = "00.0000";
  } else if (minutes.size() == 6) {
    minutes = "0" + minutes;
  }
  std::string degreeText = Printf("%.0f", degrees);
  while (degreeText.size() < (latitude ? 2u : 3u)) degreeText = "0" + degreeText;
  return degreeText + minutes + "," + (latitude ? (v < 0 ? 'S' : 'N') : (v < 0 ? 'W' : 'E')) + ",";
}

std::string PlainSentence(const std::string& type, double clockMs, const std::string& lat,
                          const std::string& lon) {
  double ms = std::fmod(std::isfinite(clockMs) ? std::nearbyint(clockMs) : 0.0, kDayMs);
  if (ms < 0) ms += kDayMs;
  const auto whole = static_cast<long long>(ms);
  char time[32];
  std::snprintf(time, sizeof time, "%02lld%02lld%02lld.%03lld,", whole / 3600000,
                whole / 60000 % 60, whole / 1000 % 60, whole % 1000);
  const std::string position = PlainCoordinate(lat, true) + PlainCoordinate(lon, false);
  std::string sentence = "$GP" + type + "," + time +
                         (type == "GGA" ? position + "1,07,1.25,00121,M,047,M,,"
                                        : "A," + position + "35.00,12.000,0.00,E,");
  unsigned sum = 0;
  for (std::size_t i = 1; i < sentence.size(); ++i) sum ^= static_cast<unsigned char>(sentence[i]);
  char hex[8];
  std::snprintf(hex, sizeof hex, "*%02X\n", sum);
  return sentence + hex;
}

// Plain decimals, the "%.5f" texts of extra points, minutes next to a printing threshold, minutes
// exactly on the half of their last printed digit (fraction m * 0.0000025, m odd, with up to three
// more zeros), and odd texts.
std::string CoordinateText(std::mt19937_64& random) {
  std::uniform_real_distribution<double> any(-200.0, 200.0);
  const double whole = std::floor(any(random));
  const double nudge = 1e-7 * static_cast<double>(random() % 20);
  static const char* const kOdd[] = {"",       "-0",    "abc",  " 7",   "1e20",
                                     "-1e-20", "12.5N", "-180", "1e300"};
  const std::string sign = random() % 2 ? "-" : "";
  switch (random() % 8) {
    case 0:
      return Printf("%.6f", any(random));
    case 1:
      return Printf("%.5f", any(random));
    case 2:  // minutes just below 60, in texts read by their digits and texts converted
      return Printf(random() % 2 ? "%.10f" : "%.12f", whole + (whole < 0 ? -1 : 1) * (1 - nudge));
    case 3:  // minutes just below 10
      return Printf("%.10f", whole + (1.0 / 6) - nudge);
    case 4:  // minutes near the half of their last printed digit
      return Printf(random() % 2 ? "%.12f" : "%.14f",
                    whole + (std::floor(any(random) * 1000) + 0.5) / 600000.0);
    case 5:
      return sign + std::to_string(random() % 1000) + "." +
             Printf("%07.0f", static_cast<double>((2 * (random() % 200000) + 1) * 25)) +
             std::string(random() % 4, '0');
    case 6:  // up to ten decimals
      return sign + std::to_string(random() % 1000) + "." +
             std::to_string(random() % 10000000000).substr(0, 1 + random() % 10);
    default:
      return kOdd[random() % (sizeof kOdd / sizeof kOdd[0])];
  }
}

TEST(Sentences, AgreeWithThePlainPrintfFormatterOnRandomAndAdversarialValues) {
  EXPECT_EQ(Gga(3600000, "48.1173", "11.5166667") + "\n",
            "$GPGGA,010000.000,4807.0380,N,01131.0000,E,1,07,1.25,00121,M,047,M,,*5F\n");
  EXPECT_EQ(Rmc(3600000, "48.1173", "11.5166667", 35.0, 12.0) + "\n",
            "$GPRMC,010000.000,A,4807.0380,N,01131.0000,E,35.00,12.000,0.00,E,*6E\n");
  std::mt19937_64 random(2026);
  std::uniform_real_distribution<double> day(-2e8, 2e8);
  for (int i = 0; i < 30000; ++i) {
    const std::string lat = CoordinateText(random);
    const std::string lon = CoordinateText(random);
    double clockMs = i % 3 == 0 ? day(random) : std::floor(day(random)) + 0.5 * (i % 2);
    if (i % 5000 < 2) clockMs = i % 2 ? std::nan("") : -HUGE_VAL;
    ASSERT_EQ(Gga(clockMs, lat, lon) + "\n", PlainSentence("GGA", clockMs, lat, lon))
        << lat << " " << lon << " " << clockMs;
    ASSERT_EQ(Rmc(clockMs, lat, lon, 35.0, 12.0) + "\n", PlainSentence("RMC", clockMs, lat, lon));
  }
}

// The date is set once, as for a whole track; each clock must be dated by its own day however far
// and whichever way the clock moved since the sentence before.
TEST(Sentences, ADatedRmcCarriesTheDayOfItsRoundedClock) {
  const std::string undatedRmc = Rmc(3600000, "48.1173", "11.5166667", 35.0, 12.0);
  const CalendarDate date{2026, 3, 7};
  const struct {
    double days, clockMs;
    const char *time, *date;
  } cases[] = {{0, 3600000, "010000.000", "070326"},      {0, kDayMs - 1, "235959.999", "070326"},
               {0, kDayMs - 0.4, "000000.000", "080326"},  // rounds up to midnight
               {0, -0.4, "000000.000", "070326"},          // rounds to 0: still the day
               {0, -1, "235959.999", "060326"},           {1, 0, "000000.000", "080326"},
               {-1, -1, "235959.999", "050326"},          {-66, 3600000, "010000.000", "311225"},
               {365, 0, "000000.000", "070327"},          {-9503, 0, "000000.000", "290200"}};
  for (const auto& c : cases) {
    const std::string rmc =
        Rmc(c.days * kDayMs + c.clockMs, "48.1173", "11.5166667", 35.0, 12.0, &date);
    const std::vector<std::string> fields = Split(rmc);
    ASSERT_EQ(fields.size(), 12u) << rmc;  // the date stands in for the undated 0.00
    EXPECT_EQ(fields[1], c.time) << c.days << " " << c.clockMs;
    EXPECT_EQ(fields[9] + fields[10], c.date) << c.days << " " << c.clockMs;
    EXPECT_TRUE(ChecksumHolds(rmc)) << rmc;
  }
  EXPECT_EQ(Rmc(3600000, "48.1173", "11.5166667", 35.0, 12.0), undatedRmc);
}

TEST(Calendar, CountsDaysFrom1970AndReadsOnlyRealDays) {
  EXPECT_EQ(DaysFromDate(CalendarDate{1970, 1, 1}), 0);
  EXPECT_EQ(DaysFromDate(CalendarDate{2026, 3, 7}), 20519);
  CalendarDate date;
  for (const char* good : {"2024-02-29", "2000-02-29", "2026-12-31"}) {
    EXPECT_TRUE(ParseIsoDate(good, date)) << good;
  }
  for (const char* bad : {"2023-02-29", "1900-02-29", "2026-04-31", "2026-13-01", "2026-00-10",
                          "2026-01-00", "2026-3-7", "2026/03/07", "2026-03-07 ", "+026-03-07"}) {
    EXPECT_FALSE(ParseIsoDate(bad, date)) << bad;
  }
}

}  // namespace wayloom::test

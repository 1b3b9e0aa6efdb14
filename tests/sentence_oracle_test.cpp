// The sentence formatter against a plain one written straight from the printf formats of the track
// format with the C library, on random and adversarial values. The fast formatter must agree with
// it byte for byte.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "tests/test_support.h"
#include "track/nmea.h"

namespace wayloom {
namespace {

std::string Printf(const char* format, double value) {
  char text[512];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string PlainTime(double clockMs) {
  double ms = std::isfinite(clockMs) ? std::nearbyint(clockMs) : 0.0;
  ms = std::fmod(ms, 86400000.0);
  if (ms < 0) ms += 86400000.0;
  const double h = std::floor(ms / 3600000);
  const double m = std::floor((ms - 3600000 * h) / 60000);
  const double s = std::floor((ms - 3600000 * h - 60000 * m) / 1000);
  const double r = ms - 3600000 * h - 60000 * m - 1000 * s;
  std::string text;
  text += h == 0 ? "00" : h < 10 ? "0" + Printf("%.0f", h) : Printf("%.0f", h);
  text += m == 0 ? "00" : m < 10 ? "0" + Printf("%1.0f", m) : Printf("%2.0f", m);
  text += s == 0 ? "00" : s < 10 ? "0" + Printf("%1.0f", s) : Printf("%2.0f", s);
  text += r == 0    ? ".000,"
          : r < 10  ? ".00" + Printf("%1.0f", r) + ","
          : r < 100 ? ".0" + Printf("%2.0f", r) + ","
                    : "." + Printf("%3.0f", r) + ",";
  return text;
}

std::string PlainCoordinate(const std::string& text, bool latitude) {
  const double v = std::atof(text.c_str());
  double w = 0;
  const double f = std::modf(v, &w);
  double degrees = std::fabs(w);
  std::string minutes = "00.0000";
  if (f != 0) {
    minutes = Printf("%.4f", std::fabs(f) * 60);
    if (minutes == "60.0000") {
      degrees += 1;
      minutes = "00.0000";
    } else if (minutes.size() == 6) {
      minutes = "0" + minutes;
    }
  }
  std::string degreeText = Printf("%.0f", degrees);
  while (degreeText.size() < (latitude ? 2u : 3u)) degreeText = "0" + degreeText;
  const char letter = latitude ? (v < 0 ? 'S' : 'N') : (v < 0 ? 'W' : 'E');
  return degreeText + minutes + "," + letter + ",";
}

std::string Close(const std::string& sentence) {
  unsigned sum = 0;
  for (std::size_t i = 1; i < sentence.size(); ++i) sum ^= static_cast<unsigned char>(sentence[i]);
  char hex[8];
  std::snprintf(hex, sizeof hex, "*%02X", sum);
  return sentence + hex;
}

std::string PlainGga(double clockMs, const std::string& lat, const std::string& lon) {
  return Close("$GPGGA," + PlainTime(clockMs) + PlainCoordinate(lat, true) +
               PlainCoordinate(lon, false) + "1,07,1.25,00121,M,047,M,,");
}

std::string PlainRmc(double clockMs, const std::string& lat, const std::string& lon, double speed,
                     double course) {
  return Close("$GPRMC," + PlainTime(clockMs) + "A," + PlainCoordinate(lat, true) +
               PlainCoordinate(lon, false) + Printf("%2.2f,", speed) + Printf("%2.3f,", course) +
               "0.00,E,");
}

// A coordinate text: plain decimals, the "%.5f" texts of extra points, and values whose minutes sit
// next to a printing threshold.
std::string CoordinateText(std::mt19937_64& random) {
  std::uniform_real_distribution<double> any(-200.0, 200.0);
  const double whole = std::floor(any(random));
  switch (random() % 6) {
    case 0:
      return Printf("%.6f", any(random));
    case 1:
      return Printf("%.5f", any(random));
    case 2:  // minutes just below 60
      return Printf("%.10f",
                    whole + (whole < 0 ? -1 : 1) * (1 - 1e-7 * static_cast<double>(random() % 20)));
    case 3:  // minutes just below 10
      return Printf("%.10f", whole + (1.0 / 6) - 1e-7 * static_cast<double>(random() % 20));
    case 4:  // minutes near the half of their last printed digit
      return Printf("%.12f", whole + (std::floor(any(random) * 1000) + 0.5) / 600000.0);
    default: {
      static const char* const kOdd[] = {"",       "-0",    "0",  "abc",  " 7",       "1e20",
                                         "-1e-20", "12.5N", "90", "-180", "0.0000001"};
      return kOdd[random() % (sizeof kOdd / sizeof kOdd[0])];
    }
  }
}

double ClockMs(std::mt19937_64& random) {
  std::uniform_real_distribution<double> day(-2e8, 2e8);
  switch (random() % 4) {
    case 0:
      return std::floor(day(random));
    case 1:
      return std::floor(day(random)) + 0.5;  // ties
    case 2:
      return 3600000 + static_cast<double>(random() % 100000) *
                           0.001;  // periods with more than three decimals
    default:
      return day(random);
  }
}

double Motion(std::mt19937_64& random) {
  std::uniform_real_distribution<double> any(0.0, 1000.0);
  switch (random() % 3) {
    case 0:
      return (std::floor(any(random) * 1000) + 0.5) / 1000;  // on a rounding tie of "%.2f"
    case 1:
      return (std::floor(any(random) * 10000) + 0.5) / 10000;  // ... of "%.3f"
    default:
      return any(random);
  }
}

TEST(SentenceFormatter, AgreesWithThePlainPrintfFormatterOnRandomAndAdversarialValues) {
  std::mt19937_64 random(2026);
  for (int i = 0; i < 30000; ++i) {
    const std::string lat = CoordinateText(random);
    const std::string lon = CoordinateText(random);
    const double clockMs = ClockMs(random);
    const double speed = Motion(random);
    const double course = Motion(random);
    ASSERT_EQ(test::Gga(clockMs, lat, lon), PlainGga(clockMs, lat, lon))
        << lat << " " << lon << " " << clockMs;
    ASSERT_EQ(test::Rmc(clockMs, lat, lon, speed, course),
              PlainRmc(clockMs, lat, lon, speed, course))
        << lat << " " << lon << " " << speed << " " << course;
  }
}

}  // namespace
}  // namespace wayloom

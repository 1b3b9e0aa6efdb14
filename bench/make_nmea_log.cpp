// Writes a deterministic NMEA log of about the given size, as a multi-constellation receiver
// records it at 1 Hz (or HZ fixes a second) while it moves: per fix RMC, GGA, GSA, three GPS and
// two GLONASS GSV, VTG, GLL and ZDA (about 680 bytes, CR LF line ends), days on end, so that the
// log passes midnight and dates change. For the replay benchmarks.
// Usage: wayloom_make_nmea_log MEGABYTES OUT [HZ]   (MEGABYTES may have decimals)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/calendar.h"
#include "base/number_text.h"
#include "base/units.h"
#include "sentences/fields.h"
#include "sentences/nmea.h"

namespace {

using wayloom::WriteDigits;

// Appends '$', body and the checksum, and CR LF.
void AppendSentence(std::string& out, const std::string& body) {
  const std::size_t start = out.size();
  out += '$';
  out += body;
  wayloom::CloseSentence(out, start);
  out += "\r\n";
}

std::string Digits(std::int64_t value, int width) {
  char text[24];
  return std::string(text, WriteDigits(text, static_cast<std::uint64_t>(value), width));
}

// ddmm.mmmmm or dddmm.mmmmm and the hemisphere, for degrees in hundred-thousandths of a minute.
std::string Coordinate(std::int64_t units, int degreeWidth, char positive, char negative) {
  const std::int64_t magnitude = units < 0 ? -units : units;
  const std::int64_t minuteUnits = magnitude % 6000000;
  return Digits(magnitude / 6000000, degreeWidth) + Digits(minuteUnits / 100000, 2) + "." +
         Digits(minuteUnits % 100000, 5) + "," + (units < 0 ? negative : positive);
}

// The sentences of the fix at second t of the recording, and hundredths of it.
void AppendFix(std::string& out, std::int64_t t, std::int64_t hundredths) {
  const wayloom::DayAndTime split = wayloom::SplitDays(t * 1000);
  const wayloom::CalendarDate date = wayloom::DateFromDays(20000 + split.day);
  const std::int64_t s = split.msOfDay / 1000;
  const std::string time = Digits(s / 3600, 2) + Digits(s / 60 % 60, 2) + Digits(s % 60, 2) + "." +
                           Digits(hundredths, 2);
  const std::string ddmmyy =
      Digits(date.day, 2) + Digits(date.month, 2) + Digits(date.year % 100, 2);
  // A slow circle of about 20 km around 52N 5E, a little more than a day a round.
  const std::int64_t phase = t % 100000;
  const std::int64_t north = 52 * 6000000 + (phase < 50000 ? phase : 100000 - phase) * 24;
  const std::int64_t east = 5 * 6000000 + (phase < 50000 ? phase : 100000 - phase) * 40 - 1000000;
  const std::string position = Coordinate(north, 2, 'N', 'S') + "," + Coordinate(east, 3, 'E', 'W');
  const std::string course = Digits(phase < 50000 ? 59 : 239, 3) + ".4";
  AppendSentence(out,
                 "GNRMC," + time + ",A," + position + ",5.83," + course + "," + ddmmyy + ",,,A");
  AppendSentence(out, "GNGGA," + time + "," + position + ",1,12,0.8,3.4,M,46.9,M,,");
  AppendSentence(out, "GNGSA,A,3,02,05,12,15,18,24,25,29,,,,,1.5,0.8,1.2");
  AppendSentence(out, "GPGSV,3,1,11,02,45,080,40,05,62,150,44,12,30,300,38,15,22,045,35");
  AppendSentence(out, "GPGSV,3,2,11,18,55,210,42,24,12,120,30,25,70,010,46,29,33,260,39");
  AppendSentence(out, "GPGSV,3,3,11,31,08,330,22,20,05,190,,26,03,090,");
  AppendSentence(out, "GLGSV,2,1,06,65,40,040,37,66,65,120,41,72,25,280,33,80,12,200,28");
  AppendSentence(out, "GLGSV,2,2,06,81,50,330,40,88,06,070,");
  AppendSentence(out, "GNVTG," + course + ",T,,M,5.83,N,10.80,K,A");
  AppendSentence(out, "GNGLL," + position + "," + time + ",A,A");
  AppendSentence(out, "GNZDA," + time + "," + Digits(date.day, 2) + "," + Digits(date.month, 2) +
                          "," + Digits(date.year, 4) + ",00,00");
}

}  // namespace

int main(int argc, char** argv) {
  const double megabytes = argc >= 3 ? wayloom::ParsePlainDecimal(argv[1]) : 0.0;
  const double hz = argc == 4 ? wayloom::ParsePlainDecimal(argv[3]) : 1.0;
  if (argc < 3 || argc > 4 || !(megabytes > 0.0 && megabytes < 1e6) ||
      !(hz == 1.0 || hz == 2.0 || hz == 5.0 || hz == 10.0 || hz == 20.0 || hz == 50.0)) {
    std::fputs("usage: wayloom_make_nmea_log MEGABYTES OUT [HZ: 1, 2, 5, 10, 20 or 50]\n", stderr);
    return 2;
  }
  const auto bytes = static_cast<std::uint64_t>(megabytes * 1048576.0);
  const auto fixesPerSecond = static_cast<std::int64_t>(hz);
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "%s: cannot write\n", argv[2]);
    return 1;
  }
  std::string block;
  std::uint64_t written = 0;
  for (std::int64_t fix = 20 * 3600 * fixesPerSecond; written + block.size() < bytes; ++fix) {
    AppendFix(block, fix / fixesPerSecond, fix % fixesPerSecond * (100 / fixesPerSecond));
    if (block.size() >= (1u << 20)) {
      written += std::fwrite(block.data(), 1, block.size(), out);
      block.clear();
    }
  }
  written += std::fwrite(block.data(), 1, block.size(), out);
  if (std::fclose(out) != 0 || written == 0) {
    std::fprintf(stderr, "%s: cannot write\n", argv[2]);
    return 1;
  }
  return 0;
}

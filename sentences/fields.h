// The pieces every NMEA sentence is made of, written at a caller's buffer without allocating:
// digits, the time and date fields, a position in degrees and minutes, and the close of a sentence.
// Both the classic GGA/RMC formatter (nmea.h) and the receiver's sentences (fix_sentences.h) are
// built from these, so a field looks the same in every sentence that carries it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/calendar.h"

namespace wayloom {

constexpr std::uint64_t PowerOfTen(int exponent) {
  return exponent == 0 ? 1 : 10 * PowerOfTen(exponent - 1);
}

// text as it stands; value with at least width digits, zero padded; value (below 100) as two
// digits. Each returns the end of what it wrote.
char* WriteDigits(char* out, std::uint64_t value, int width);
inline char* WriteText(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}
inline char* WriteTwoDigits(char* out, std::uint64_t value) {
  static constexpr char kDigitPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  std::memcpy(out, kDigitPairs + 2 * value, 2);
  return out + 2;
}

// hhmmss.sss and a comma, of a time of day from 0 to one day less a millisecond.
char* WriteTimeField(char* out, std::uint64_t msOfDay);

// ddmmyy: the date as RMC carries it, the year by its last two digits (also before year 0).
char* WriteDdmmyy(char* out, const CalendarDate& date);

// The dates dated sentences carry. RMC gives the year by two digits, which name one century: the
// one that begins with GPS time on 1980-01-06, as receivers and their readers take it (80 to 99
// the 1900s, 00 to 79 the 2000s). ZDA's four digits carry all of it.
constexpr CalendarDate kFirstSentenceDate{1980, 1, 6};
constexpr CalendarDate kLastSentenceDate{2079, 12, 31};

// A position's latitude or longitude: whole degrees with at least degreeDigits digits (2 for a
// latitude, 3 for a longitude), the minutes as mm.mmm with kMinuteDecimals decimals (minuteUnits
// counts them in units of the last decimal, below 60 minutes), a comma, the hemisphere letter and
// a comma. Inline, with the decimals fixed, as every track writes two of these a position.
template <int kMinuteDecimals>
char* WriteMinutesAndHemisphere(char* out, std::uint64_t minuteUnits, char hemisphere) {
  static_assert(kMinuteDecimals >= 1 && kMinuteDecimals <= 9, "a fraction of a minute");
  constexpr std::uint64_t kPerMinute = PowerOfTen(kMinuteDecimals);
  out = WriteTwoDigits(out, minuteUnits / kPerMinute);
  *out++ = '.';
  std::uint64_t fraction = minuteUnits % kPerMinute;
  std::uint64_t scale = kPerMinute;
  if (kMinuteDecimals % 2 == 1) {
    scale /= 10;
    *out++ = static_cast<char>('0' + fraction / scale);
    fraction %= scale;
  }
  while (scale > 1) {
    scale /= 100;
    out = WriteTwoDigits(out, fraction / scale);
    fraction %= scale;
  }
  *out++ = ',';
  *out++ = hemisphere;
  *out++ = ',';
  return out;
}

template <int kMinuteDecimals>
char* WriteCoordinateField(char* out, std::uint64_t degrees, std::uint64_t minuteUnits,
                           int degreeDigits, char hemisphere) {
  if (degrees < 1000) {  // every coordinate on the Earth
    if (degreeDigits == 3 || degrees >= 100) *out++ = static_cast<char>('0' + degrees / 100);
    out = WriteTwoDigits(out, degrees % 100);
  } else {
    out = WriteDigits(out, degrees, degreeDigits);
  }
  return WriteMinutesAndHemisphere<kMinuteDecimals>(out, minuteUnits, hemisphere);
}

// Ends the sentence that starts with its '$' (or '!') at sentenceStart and runs to end: appends
// '*' and the checksum (the XOR of every byte between the first character and '*') as two
// upper-case hex digits, and returns the new end. The one place a sentence is closed.
char* CloseSentence(char* sentenceStart, char* end);
// The same on a string, for the sentence that starts at sentenceStart and runs to its end.
void CloseSentence(std::string& out, std::size_t sentenceStart);
// The checksum a sentence body (what stands between its first character and '*') should carry.
unsigned SentenceChecksum(std::string_view body);

}  // namespace wayloom

// NMEA 0183 sentence formatting: the $GPGGA and $GPRMC sentences of one track point.
//
// Coordinates arrive as decimal-degree texts (from the POI file or from interpolation) and are
// converted here; the clock is milliseconds since midnight. Everything is appended to a caller's
// string so that a writer can reuse one buffer for a whole track.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "track/calendar.h"
#include "track/number_text.h"

namespace wayloom {

// The GGA fields after the position: fix quality 1, 7 satellites, HDOP 1.25, altitude 121 m, geoid
// separation 47 m, no differential data; every GGA sentence Wayloom writes carries them.
inline constexpr std::string_view kGgaFixFields = "1,07,1.25,00121,M,047,M,,";

// hhmmss.sss and a comma: the time field both sentences share.
void AppendTimeField(double clockMs, std::string& out);

// "$GPGGA," or "$GPRMC," followed by hhmmss.sss and a comma. The clock is rounded to a whole
// millisecond (ties to even) and taken modulo one day, so a clock past midnight or below zero
// still gives a valid time of day; a clock that is not finite prints as midnight.
void FormatGgaTime(double clockMs, std::string& out);
void FormatRmcTime(double clockMs, std::string& out);

// ddmm.mmmm,N, (or S) and dddmm.mmmm,E, (or W) from a signed decimal-degree text. The minutes are
// printed first and the degree is carried when they print as 60.0000, so the minutes text is always
// mm.mmmm. Degrees beyond the usual range print with as many digits as they need.
void FormatLatitude(std::string_view latitudeText, std::string& out);
void FormatLongitude(std::string_view longitudeText, std::string& out);

// Ends the sentence that starts with its '$' at out[sentenceStart] and runs to the end of out:
// appends '*' and the checksum (XOR of every byte between '$' and '*') as two upper-case hex
// digits. The one place a sentence is closed.
void CloseSentence(std::string& out, std::size_t sentenceStart);

// The GGA and RMC sentences of one position at one time, without line ends. The time and position
// fields are formatted once for both; a writer keeps one of these for a whole track, so that no
// sentence needs an allocation of its own.
//
// RMC sentences are undated unless a date is set: then field 9 carries the date as ddmmyy and the
// magnetic variation fields stay empty, the layout of NMEA 0183 version 2.0 to 2.2 (eleven data
// fields, the count the undated sentence has too; readers of later versions take the mode
// indicator that version 2.3 added as optional). GGA sentences are the same either way.
class SentencePair {
 public:
  // From now on the RMC sentences carry a date: date is the day of clock 0, so a clock of a day
  // or more is on a later date and a negative clock on an earlier one.
  void SetDate(const CalendarDate& date);
  // Back to undated RMC sentences.
  void ClearDate() { dated_ = false; }

  void Build(double clockMs, std::string_view latitudeText, std::string_view longitudeText,
             double speedKnots, double courseDegrees);
  std::string_view Gga() const { return std::string_view(text_, ggaLength_); }
  std::string_view Rmc() const { return std::string_view(text_ + ggaLength_, rmcLength_); }

  // The longest coordinate field: 309 degree digits, the minutes, and the hemisphere with commas.
  static constexpr std::size_t kCoordinateFieldCapacity = kFixedTextCapacity + 16;

 private:
  // The speed and course fields of the RMC sentence, each with its comma.
  std::string_view MotionFields(double speedKnots, double courseDegrees);
  // The date field and the two empty variation fields of the day the clock falls on.
  std::string_view DateFields(double clockMs);

  char motion_[2 * kFixedTextCapacity + 2];
  std::size_t motionLength_ = 0;
  unsigned motionXor_ = 0;  // their share of the checksum
  double motionSpeed_ = 0.0;
  double motionCourse_ = 0.0;
  bool dated_ = false;
  std::int64_t dayZero_ = 0;    // the date of clock 0, in days since 1970-01-01
  double dateFieldsDay_ = 0.0;  // the day offset dateFields_ was written for
  bool dateFieldsValid_ = false;
  char dateFields_[16];
  std::size_t dateFieldsLength_ = 0;
  unsigned dateFieldsXor_ = 0;
  // Two position fields each, the time and fixed texts, and (RMC) speed and course.
  char text_[6 * kCoordinateFieldCapacity + 256];
  std::size_t ggaLength_ = 0;
  std::size_t rmcLength_ = 0;
};

}  // namespace wayloom

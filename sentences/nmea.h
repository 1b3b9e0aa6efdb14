// NMEA 0183 sentence formatting: the $GPGGA and $GPRMC sentences of one track point.
//
// Coordinates arrive as decimal-degree texts (from the POI file or from interpolation) and are
// converted here; the clock is milliseconds since midnight. Each formatter comes in two forms: one
// writes at a caller's buffer and returns the end of what it wrote (the form the track writers
// use: no allocation, nothing copied twice), the other appends the same text to a string.
//
// A point's GGA and RMC sentences carry the same time and coordinates, and the points of a stretch
// the same speed and course. So each formatter keeps, per thread, the last text it wrote together
// with the input it wrote it for, and copies that text when the same input comes again.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/calendar.h"
#include "base/number_text.h"
#include "sentences/fields.h"

namespace wayloom {

// The GGA fields after the position: fix quality 1, 7 satellites, HDOP 1.25, altitude 121 m, geoid
// separation 47 m, no differential data; every GGA sentence Wayloom writes carries them.
inline constexpr std::string_view kGgaFixFields = "1,07,1.25,00121,M,047,M,,";

// The room the buffer forms need: a coordinate field (up to 309 degree digits, the minutes, the
// hemisphere and commas), and a whole sentence with the longest speed and course.
constexpr std::size_t kCoordinateFieldCapacity = kFixedTextCapacity + 16;
constexpr std::size_t kSentenceCapacity =
    2 * kCoordinateFieldCapacity + 2 * kFixedTextCapacity + 64;

// "$GPGGA," or "$GPRMC," followed by hhmmss.sss and a comma. The clock is rounded to a whole
// millisecond (ties to even) and taken modulo one day, so a clock past midnight or below zero
// still gives a valid time of day; a clock that is not finite prints as midnight.
char* FormatGgaTime(double clockMs, char* out);
char* FormatRmcTime(double clockMs, char* out);

// ddmm.mmmm,N, (or S) and dddmm.mmmm,E, (or W) from a signed decimal-degree text. The minutes are
// printed first and the degree is carried when they print as 60.0000, so the minutes text is always
// mm.mmmm. Degrees beyond the usual range print with as many digits as they need.
char* FormatLatitude(std::string_view latitudeText, char* out);
char* FormatLongitude(std::string_view longitudeText, char* out);

// The two sentences of a point, without line ends (the track file adds CR LF), written at out,
// which has room for kSentenceCapacity characters; each returns the end of its sentence.
char* BuildGga(double clockMs, std::string_view latitudeText, std::string_view longitudeText,
               char* out);
// RMC sentences are undated when date is null. Otherwise field 9 carries the date as ddmmyy and the
// magnetic variation fields stay empty, the layout of NMEA 0183 version 2.0 to 2.2 (eleven data
// fields, the count the undated sentence has too; readers of later versions take the mode indicator
// that version 2.3 added as optional); date is the day of clock 0, so a clock of a day or more is
// on a later date and a negative clock on an earlier one. GGA sentences are the same either way.
char* BuildRmc(double clockMs, std::string_view latitudeText, std::string_view longitudeText,
               double speedKnots, double courseDegrees, const CalendarDate* date, char* out);

}  // namespace wayloom

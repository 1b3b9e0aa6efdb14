// Locale-free number parsing and printing.
//
// Every number Wayloom reads (POI files, edits, table cells) or writes (NMEA fields, distances,
// interpolated coordinates) goes through these functions, so that a window toolkit that switches
// the process locale to one with a decimal comma cannot change a single byte of a track.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace wayloom {

// Reads a decimal number the way C's atof does in the "C" locale: leading white space, an optional
// sign, digits with an optional point, an optional exponent; the longest such prefix counts and
// text without one reads as 0. Hexadecimal and the words inf/nan are not numbers here. A value too
// large for a double reads as +/-infinity, one too small as +/-0, as strtod gives them.
double ParseDecimal(std::string_view text);

// A number typed as an option value: digits with an optional point and fraction and an optional
// exponent, nothing else (no sign, no blanks, no hex). Not a number (NaN) for any other text.
double ParsePlainDecimal(std::string_view text);

// Appends value printed as printf("%.*f", decimals, value) prints it in the "C" locale: exact
// decimal expansion, rounded half to even on ties of the binary value.
void AppendFixed(std::string& out, double value, int decimals);

// The room WriteFixed needs: the longest finite double has 309 integer digits, plus a sign, the
// point and up to kMaxFixedDecimals decimals.
constexpr int kMaxFixedDecimals = 60;
constexpr std::size_t kFixedTextCapacity = 384;

// Writes what AppendFixed appends into buffer, which holds kFixedTextCapacity characters, for
// decimals from 0 to kMaxFixedDecimals, and returns its length. No allocation.
std::size_t WriteFixed(char* buffer, double value, int decimals);

// |value| x 10^decimals rounded to a whole number exactly as "%.*f" rounds it, where that can be
// done quickly and surely: decimals up to 9, a result below 2^31, and the scaled value not next to
// a half. False otherwise (WriteFixed's exact printer then decides).
bool RoundScaled(double value, int decimals, std::uint64_t& units);

// The same as a new string.
std::string FormatFixed(double value, int decimals);

// Writes value (0 or more) with at least width digits, zero padded; returns the end. No
// allocation: a field of a sentence is written in place.
char* WriteDigits(char* out, std::int64_t value, int width);

}  // namespace wayloom

#include "sentences/fix_sentences.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

#include "base/number_text.h"
#include "base/units.h"
#include "sentences/fields.h"
#include "sentences/nmea.h"

namespace wayloom {
namespace {

struct Satellite {
  int prn;
  int elevationDegrees;
  int azimuthDegrees;
  int snrDb;
};

// Seven satellites used (high enough and strong enough) and three low, weak ones in view only.
constexpr Satellite kSky[] = {
    {5, 72, 48, 46},   {13, 58, 301, 44}, {15, 41, 132, 42}, {18, 34, 226, 40}, {20, 27, 71, 38},
    {24, 19, 178, 36}, {29, 23, 265, 37}, {2, 9, 12, 28},    {10, 6, 340, 24},  {31, 4, 110, 21},
};
constexpr std::size_t kUsed = 7;
constexpr std::size_t kPerGsv = 4;
// Dilutions of precision: HDOP that of GGA, PDOP the root of the sum of the squares of HDOP and
// VDOP.
constexpr std::string_view kDops = "2.19,1.25,1.80";

// Room for the longest sentence a receiver sends, before its checksum and line end.
constexpr std::size_t kLineCapacity = 2 * kFixedTextCapacity + 64;

// dd(d)mm.mmmmm and the hemisphere, each with its comma. The value is rounded to whole
// hundred-thousandths of a minute first, so a minute never prints as 60.
char* WriteCoordinate(char* out, double degrees, int degreeDigits, char positive, char negative) {
  const auto units = static_cast<std::uint64_t>(std::round(std::fabs(degrees) * 6000000.0));
  return WriteCoordinateField<5>(out, units / 6000000, units % 6000000, degreeDigits,
                                 degrees < 0.0 && units != 0 ? negative : positive);
}

char* WritePosition(char* out, const Fix& fix) {
  out = WriteCoordinate(out, fix.latitude, 2, 'N', 'S');
  return WriteCoordinate(out, fix.longitude, 3, 'E', 'W');
}

char* WriteNumber(char* out, double value, int decimals) {
  return out + WriteFixed(out, value, decimals);
}

// Closes the sentence in line (from its start to end) and appends it, with CR LF, to out.
void Close(std::string& out, char* line, char* end) {
  out.append(line, CloseSentence(line, end));
  out += "\r\n";
}

}  // namespace

bool ParseSentenceList(std::string_view text, std::vector<SentenceKind>& kinds,
                       std::string& problem) {
  static constexpr std::pair<std::string_view, SentenceKind> kNames[] = {
      {"RMC", SentenceKind::kRmc}, {"GGA", SentenceKind::kGga}, {"GLL", SentenceKind::kGll},
      {"VTG", SentenceKind::kVtg}, {"GSA", SentenceKind::kGsa}, {"GSV", SentenceKind::kGsv},
      {"ZDA", SentenceKind::kZda}};
  std::vector<SentenceKind> result;
  std::size_t from = 0;
  for (;;) {
    const std::size_t comma = std::min(text.find(',', from), text.size());
    std::string name(text.substr(from, comma - from));
    for (char& c : name) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    const auto* found = std::find_if(std::begin(kNames), std::end(kNames),
                                     [&name](const auto& entry) { return entry.first == name; });
    if (found == std::end(kNames)) {
      problem = "unknown sentence '" + name + "' (known: RMC, GGA, GLL, VTG, GSA, GSV, ZDA)";
      return false;
    }
    if (std::find(result.begin(), result.end(), found->second) != result.end()) {
      problem = "sentence " + name + " is listed twice";
      return false;
    }
    result.push_back(found->second);
    if (comma == text.size()) break;
    from = comma + 1;
  }
  kinds = std::move(result);
  return true;
}

FixSentences::FixSentences(std::vector<SentenceKind> kinds, const CalendarDate& date)
    : kinds_(std::move(kinds)), dayZero_(DaysFromDate(date)) {
  char line[kLineCapacity];
  char* out = WriteText(line, "$GPGSA,A,3,");
  for (std::size_t i = 0; i < 12; ++i) {
    if (i < kUsed) out = WriteDigits(out, static_cast<std::uint64_t>(kSky[i].prn), 2);
    *out++ = ',';
  }
  Close(gsa_, line, WriteText(out, kDops));

  constexpr std::size_t kInView = std::size(kSky);
  gsvCount_ = (kInView + kPerGsv - 1) / kPerGsv;
  for (std::size_t part = 0; part < gsvCount_; ++part) {
    out = WriteText(line, "$GPGSV,");
    out = WriteDigits(out, gsvCount_, 1);
    *out++ = ',';
    out = WriteDigits(out, part + 1, 1);
    *out++ = ',';
    out = WriteDigits(out, kInView, 2);
    for (std::size_t i = part * kPerGsv; i < kInView && i < (part + 1) * kPerGsv; ++i) {
      const Satellite& satellite = kSky[i];
      for (const auto& [value, width] : {std::pair{satellite.prn, 2},
                                         {satellite.elevationDegrees, 2},
                                         {satellite.azimuthDegrees, 3},
                                         {satellite.snrDb, 2}}) {
        *out++ = ',';
        out = WriteDigits(out, static_cast<std::uint64_t>(value), width);
      }
    }
    Close(gsv_, line, out);
  }
}

std::string_view FixSentences::Sentence(std::size_t i) const {
  return std::string_view(text_).substr(starts_[i], starts_[i + 1] - starts_[i] - 2);
}

char* FixSentences::WriteSentence(SentenceKind kind, const Fix& fix, std::uint64_t msOfDay,
                                  const CalendarDate& date, char* out) {
  switch (kind) {
    case SentenceKind::kRmc:
      out = WriteTimeField(WriteText(out, "$GPRMC,"), msOfDay);
      out = WritePosition(WriteText(out, "A,"), fix);
      out = WriteNumber(out, fix.speedKnots, 2);
      *out++ = ',';
      out = WriteNumber(out, fix.courseDegrees, 3);
      *out++ = ',';
      return WriteText(WriteDdmmyy(out, date), ",,");
    case SentenceKind::kZda:
      out = WriteTimeField(WriteText(out, "$GPZDA,"), msOfDay);
      out = WriteDigits(out, static_cast<std::uint64_t>(date.day), 2);
      *out++ = ',';
      out = WriteDigits(out, static_cast<std::uint64_t>(date.month), 2);
      *out++ = ',';
      out = WriteDigits(out, static_cast<std::uint64_t>(date.year), 4);
      return WriteText(out, ",00,00");
    case SentenceKind::kGga:
      out = WriteTimeField(WriteText(out, "$GPGGA,"), msOfDay);
      return WriteText(WritePosition(out, fix), kGgaFixFields);
    case SentenceKind::kGll:
      out = WritePosition(WriteText(out, "$GPGLL,"), fix);
      return WriteText(WriteTimeField(out, msOfDay), "A,A");
    case SentenceKind::kVtg:
      out = WriteNumber(WriteText(out, "$GPVTG,"), fix.courseDegrees, 3);
      out = WriteNumber(WriteText(out, ",T,,M,"), fix.speedKnots, 2);
      out = WriteNumber(WriteText(out, ",N,"), fix.speedKnots * kKilometresPerNauticalMile, 2);
      return WriteText(out, ",K,A");
    case SentenceKind::kGsa:
    case SentenceKind::kGsv:
      break;
  }
  return out;
}

std::string_view FixSentences::Build(const Fix& fix) {
  text_.clear();
  count_ = 0;
  // A receiver's clock is a whole number of milliseconds.
  const DayAndTime split = SplitDays(static_cast<std::int64_t>(fix.clockMs));
  const auto msOfDay = static_cast<std::uint64_t>(split.msOfDay);
  const CalendarDate date = DateFromDays(dayZero_ + split.day);
  const auto mark = [this] { starts_[count_++] = text_.size(); };
  char line[kLineCapacity];
  for (const SentenceKind kind : kinds_) {
    if (kind == SentenceKind::kGsa) {  // the constellation's sentences are made once
      mark();
      text_ += gsa_;
    } else if (kind == SentenceKind::kGsv) {
      for (std::size_t i = 0, from = 0; i < gsvCount_; ++i) {
        mark();
        const std::size_t end = gsv_.find('\n', from) + 1;
        text_.append(gsv_, from, end - from);
        from = end;
      }
    } else {
      mark();
      Close(text_, line, WriteSentence(kind, fix, msOfDay, date, line));
    }
  }
  starts_[count_] = text_.size();
  return text_;
}

}  // namespace wayloom

#include "sentences/fix_sentences.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

#include "base/number_text.h"
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

// value in at least width digits, zero padded.
void AppendDigits(std::string& out, std::int64_t value, int width) {
  const std::string digits = std::to_string(value);
  for (int pad = static_cast<int>(digits.size()); pad < width; ++pad) out += '0';
  out += digits;
}

// dd(d)mm.mmmmm and the hemisphere, each with its comma. The value is rounded to whole
// hundred-thousandths of a minute first, so a minute never prints as 60.
void AppendCoordinate(std::string& out, double degrees, int degreeDigits, char positive,
                      char negative) {
  const auto units = static_cast<std::int64_t>(std::round(std::fabs(degrees) * 6000000.0));
  AppendDigits(out, units / 6000000, degreeDigits);
  const std::int64_t minuteUnits = units % 6000000;
  AppendDigits(out, minuteUnits / 100000, 2);
  out += '.';
  AppendDigits(out, minuteUnits % 100000, 5);
  out += ',';
  out += degrees < 0.0 && units != 0 ? negative : positive;
  out += ',';
}

void AppendPosition(std::string& out, const Fix& fix) {
  AppendCoordinate(out, fix.latitude, 2, 'N', 'S');
  AppendCoordinate(out, fix.longitude, 3, 'E', 'W');
}

void Close(std::string& out, std::size_t start) {
  CloseSentence(out, start);
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
  gsa_ = "$GPGSA,A,3,";
  for (std::size_t i = 0; i < 12; ++i) {
    if (i < kUsed) AppendDigits(gsa_, kSky[i].prn, 2);
    gsa_ += ',';
  }
  gsa_ += kDops;
  CloseSentence(gsa_, 0);

  constexpr std::size_t kInView = std::size(kSky);
  gsvCount_ = (kInView + kPerGsv - 1) / kPerGsv;
  for (std::size_t part = 0; part < gsvCount_; ++part) {
    const std::size_t start = gsv_.size();
    gsv_ += "$GPGSV,";
    AppendDigits(gsv_, static_cast<std::int64_t>(gsvCount_), 1);
    gsv_ += ',';
    AppendDigits(gsv_, static_cast<std::int64_t>(part + 1), 1);
    gsv_ += ',';
    AppendDigits(gsv_, static_cast<std::int64_t>(kInView), 2);
    for (std::size_t i = part * kPerGsv; i < kInView && i < (part + 1) * kPerGsv; ++i) {
      gsv_ += ',';
      AppendDigits(gsv_, kSky[i].prn, 2);
      gsv_ += ',';
      AppendDigits(gsv_, kSky[i].elevationDegrees, 2);
      gsv_ += ',';
      AppendDigits(gsv_, kSky[i].azimuthDegrees, 3);
      gsv_ += ',';
      AppendDigits(gsv_, kSky[i].snrDb, 2);
    }
    Close(gsv_, start);
  }
}

std::string_view FixSentences::Sentence(std::size_t i) const {
  return std::string_view(text_).substr(starts_[i], starts_[i + 1] - starts_[i] - 2);
}

void FixSentences::AppendDated(SentenceKind kind, const Fix& fix, double msOfDay,
                               const CalendarDate& date) {
  const std::size_t start = text_.size();
  if (kind == SentenceKind::kRmc) {
    text_ += "$GPRMC,";
    AppendTimeField(msOfDay, text_);
    text_ += "A,";
    AppendPosition(text_, fix);
    AppendFixed(text_, fix.speedKnots, 2);
    text_ += ',';
    AppendFixed(text_, fix.courseDegrees, 3);
    text_ += ',';
    AppendDigits(text_, date.day, 2);
    AppendDigits(text_, date.month, 2);
    AppendDigits(text_, date.year % 100, 2);
    text_ += ",,";
  } else {  // ZDA
    text_ += "$GPZDA,";
    AppendTimeField(msOfDay, text_);
    AppendDigits(text_, date.day, 2);
    text_ += ',';
    AppendDigits(text_, date.month, 2);
    text_ += ',';
    AppendDigits(text_, date.year, 4);
    text_ += ",00,00";
  }
  Close(text_, start);
}

std::string_view FixSentences::Build(const Fix& fix) {
  text_.clear();
  count_ = 0;
  const DayAndTime split = SplitDay(fix.clockMs);
  const auto msOfDay = static_cast<double>(split.msOfDay);
  const CalendarDate date = DateFromDays(dayZero_ + split.day);
  const auto mark = [this] { starts_[count_++] = text_.size(); };
  for (const SentenceKind kind : kinds_) {
    const std::size_t start = text_.size();
    switch (kind) {
      case SentenceKind::kRmc:
      case SentenceKind::kZda:
        mark();
        AppendDated(kind, fix, msOfDay, date);
        continue;
      case SentenceKind::kGga:
        mark();
        text_ += "$GPGGA,";
        AppendTimeField(msOfDay, text_);
        AppendPosition(text_, fix);
        text_ += kGgaFixFields;
        break;
      case SentenceKind::kGll:
        mark();
        text_ += "$GPGLL,";
        AppendPosition(text_, fix);
        AppendTimeField(msOfDay, text_);
        text_ += "A,A";
        break;
      case SentenceKind::kVtg:
        mark();
        text_ += "$GPVTG,";
        AppendFixed(text_, fix.courseDegrees, 3);
        text_ += ",T,,M,";
        AppendFixed(text_, fix.speedKnots, 2);
        text_ += ",N,";
        AppendFixed(text_, fix.speedKnots * 1.852, 2);
        text_ += ",K,A";
        break;
      case SentenceKind::kGsa:
        mark();
        text_ += gsa_;
        text_ += "\r\n";
        continue;
      case SentenceKind::kGsv:
        for (std::size_t i = 0, from = 0; i < gsvCount_; ++i) {
          mark();
          const std::size_t end = gsv_.find('\n', from) + 1;
          text_.append(gsv_, from, end - from);
          from = end;
        }
        continue;
    }
    Close(text_, start);
  }
  starts_[count_] = text_.size();
  return text_;
}

}  // namespace wayloom

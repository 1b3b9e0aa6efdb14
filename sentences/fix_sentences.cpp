#include "sentences/fix_sentences.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/name_list.h"
#include "base/number_text.h"
#include "base/units.h"
#include "sentences/fields.h"

namespace wayloom {
namespace {

constexpr std::size_t kPerGsv = 4;
// GGA's fields after HDOP, and GNS's after HDOP without the units: altitude 121 m above the geoid,
// geoid 47 m above the ellipsoid, no differential data.
constexpr std::string_view kGgaAltitudeFields = "00121,M,047,M,,";
constexpr std::string_view kGnsAltitudeFields = "00121,047,,";
// The largest DOP printed, as receivers cap it.
constexpr double kMostDop = 99.99;

// Room for the longest sentence a receiver sends, before its checksum and line end.
constexpr std::size_t kLineCapacity = 2 * kFixedTextCapacity + 128;

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

char* WriteDop(char* out, double dop) { return WriteNumber(out, std::min(dop, kMostDop), 2); }

// GGA's altitude and geoid fields (GNS's without the units): the 121 m every track reports, unless
// a route file gave the fix its own altitude, which goes in metres to a decimetre.
char* WriteAltitude(char* out, double metres, bool units) {
  if (metres == kReportedAltitudeMetres) {
    return WriteText(out, units ? kGgaAltitudeFields : kGnsAltitudeFields);
  }
  const double decimetres = std::round(metres * 10.0);
  out = WriteNumber(out, decimetres == 0.0 ? 0.0 : decimetres / 10.0, 1);  // never -0.0
  return WriteText(out, units ? ",M,047,M,," : ",047,,");
}

// "$", the talker, the sentence type and a comma.
char* WriteStart(char* out, const char* talker, std::string_view type) {
  *out++ = '$';
  out = WriteText(out, talker);
  out = WriteText(out, type);
  *out++ = ',';
  return out;
}

int UsedOf(const SkyView& sky, GnssSystem system) {
  return static_cast<int>(
      std::count_if(sky.satellites.begin(), sky.satellites.end(),
                    [system](const SatelliteInView& s) { return s.system == system && s.used; }));
}

}  // namespace

struct FixSentences::Moment {
  const Fix& fix;
  const SkyView& sky;
  std::uint64_t msOfDay;
  CalendarDate date;
  bool valid;  // the receiver has a fix
};

bool ParseSentenceList(std::string_view text, std::vector<SentenceKind>& kinds,
                       std::string& problem) {
  static constexpr std::pair<std::string_view, SentenceKind> kNames[] = {
      {"RMC", SentenceKind::kRmc}, {"GGA", SentenceKind::kGga}, {"GLL", SentenceKind::kGll},
      {"VTG", SentenceKind::kVtg}, {"GSA", SentenceKind::kGsa}, {"GSV", SentenceKind::kGsv},
      {"ZDA", SentenceKind::kZda}, {"GNS", SentenceKind::kGns}};
  problem = ParseNameList(text, "sentence", kNames, true, kinds);
  return problem.empty();
}

bool ParseNmeaVersion(std::string_view text, NmeaVersion& version) {
  if (text != "2.3" && text != "4.1") return false;
  version = text == "2.3" ? NmeaVersion::k23 : NmeaVersion::k41;
  return true;
}

FixSentences::FixSentences(SentenceSettings settings, const CalendarDate& date)
    : kinds_(std::move(settings.kinds)),
      systems_(std::move(settings.systems)),
      version_(settings.version),
      dayZero_(DaysFromDate(date)) {
  std::sort(systems_.begin(), systems_.end());
  systems_.erase(std::unique(systems_.begin(), systems_.end()), systems_.end());
  if (systems_.empty()) systems_.push_back(GnssSystem::kGps);
  combinedTalker_ = systems_.size() > 1 ? "GN" : NamesOf(systems_.front()).talker;
}

std::string_view FixSentences::Sentence(std::size_t i) const {
  return std::string_view(text_).substr(starts_[i], starts_[i + 1] - starts_[i] - 2);
}

void FixSentences::Append(char* line, char* end) {
  text_.append(line, CloseSentence(line, end));
  text_ += "\r\n";
  starts_.push_back(text_.size());
}

char* FixSentences::WriteRmc(const Moment& at, char* out) const {
  out = WriteTimeField(WriteStart(out, combinedTalker_, "RMC"), at.msOfDay);
  if (at.valid) {
    out = WritePosition(WriteText(out, "A,"), at.fix);
    out = WriteNumber(out, at.fix.speedKnots, 2);
    *out++ = ',';
    out = WriteNumber(out, at.fix.courseDegrees, 3);
    *out++ = ',';
  } else {
    out = WriteText(out, "V,,,,,,,");
  }
  out = WriteText(WriteDdmmyy(out, at.date), ",,,");
  *out++ = at.valid ? 'A' : 'N';
  if (version_ == NmeaVersion::k41) out = WriteText(out, at.valid ? ",S" : ",V");
  return out;
}

char* FixSentences::WriteGga(const Moment& at, char* out) const {
  out = WriteTimeField(WriteStart(out, combinedTalker_, "GGA"), at.msOfDay);
  if (!at.valid) return WriteText(out, ",,,,0,00,,,,,,,");
  out = WriteText(WritePosition(out, at.fix), "1,");
  out = WriteDigits(out, static_cast<std::uint64_t>(at.sky.usedCount), 2);
  *out++ = ',';
  out = WriteDop(out, at.sky.hdop);
  *out++ = ',';
  return WriteAltitude(out, at.fix.altitudeMetres, true);
}

char* FixSentences::WriteGll(const Moment& at, char* out) const {
  out = WriteStart(out, combinedTalker_, "GLL");
  out = at.valid ? WritePosition(out, at.fix) : WriteText(out, ",,,,");
  return WriteText(WriteTimeField(out, at.msOfDay), at.valid ? "A,A" : "V,N");
}

char* FixSentences::WriteVtg(const Moment& at, char* out) const {
  out = WriteStart(out, combinedTalker_, "VTG");
  if (!at.valid) return WriteText(out, ",T,,M,,N,,K,N");
  out = WriteNumber(out, at.fix.courseDegrees, 3);
  out = WriteNumber(WriteText(out, ",T,,M,"), at.fix.speedKnots, 2);
  out = WriteNumber(WriteText(out, ",N,"), at.fix.speedKnots * kKilometresPerNauticalMile, 2);
  return WriteText(out, ",K,A");
}

char* FixSentences::WriteZda(const Moment& at, char* out) const {
  out = WriteTimeField(WriteStart(out, combinedTalker_, "ZDA"), at.msOfDay);
  out = WriteDigits(out, static_cast<std::uint64_t>(at.date.day), 2);
  *out++ = ',';
  out = WriteDigits(out, static_cast<std::uint64_t>(at.date.month), 2);
  *out++ = ',';
  out = WriteDigits(out, static_cast<std::uint64_t>(at.date.year), 4);
  return WriteText(out, ",00,00");
}

char* FixSentences::WriteGns(const Moment& at, char* out) const {
  out = WriteTimeField(WriteStart(out, combinedTalker_, "GNS"), at.msOfDay);
  out = at.valid ? WritePosition(out, at.fix) : WriteText(out, ",,,,");
  // A mode letter a system, in the order GPS, GLONASS, Galileo, BeiDou, at least the first two:
  // A for a system the fix uses, N for one it does not.
  const auto last = static_cast<int>(systems_.back());
  for (int i = 0; i <= std::max(last, 1); ++i) {
    const auto system = static_cast<GnssSystem>(i);
    *out++ = at.valid && UsedOf(at.sky, system) > 0 ? 'A' : 'N';
  }
  *out++ = ',';
  if (at.valid) {
    out = WriteDigits(out, static_cast<std::uint64_t>(at.sky.usedCount), 2);
    *out++ = ',';
    out = WriteText(WriteDop(out, at.sky.hdop), ",");
    out = WriteAltitude(out, at.fix.altitudeMetres, false);
  } else {
    out = WriteText(out, "00,,,,,");
  }
  if (version_ == NmeaVersion::k41) out = WriteText(out, at.valid ? ",S" : ",V");
  return out;
}

char* FixSentences::WriteGsa(const Moment& at, GnssSystem system, char* out) const {
  out = WriteStart(out, NamesOf(system).talker, "GSA");
  out = WriteText(out, at.valid ? "A,3," : "A,1,");
  int listed = 0;
  for (const SatelliteInView& satellite : at.sky.satellites) {
    if (!at.valid || satellite.system != system || !satellite.used) continue;
    if (listed++ == SkyView::kMostUsed) break;
    out = WriteDigits(out, static_cast<std::uint64_t>(satellite.id), 2);
    *out++ = ',';
  }
  for (; listed < SkyView::kMostUsed; ++listed) *out++ = ',';
  if (at.valid) {
    out = WriteDop(out, at.sky.pdop);
    *out++ = ',';
    out = WriteDop(out, at.sky.hdop);
    *out++ = ',';
    out = WriteDop(out, at.sky.vdop);
  } else {
    out = WriteText(out, ",,");
  }
  if (version_ == NmeaVersion::k41) {
    *out++ = ',';
    out = WriteDigits(out, static_cast<std::uint64_t>(NamesOf(system).nmeaSystemId), 1);
  }
  return out;
}

void FixSentences::AppendGsv(const SkyView& sky, GnssSystem system) {
  const auto first =
      std::find_if(sky.satellites.begin(), sky.satellites.end(),
                   [system](const SatelliteInView& s) { return s.system == system; });
  const auto end = std::find_if(first, sky.satellites.end(),
                                [system](const SatelliteInView& s) { return s.system != system; });
  const auto inView = static_cast<std::size_t>(end - first);
  // A system with no satellite in view still says so, in one sentence.
  const std::size_t count = std::max<std::size_t>(1, (inView + kPerGsv - 1) / kPerGsv);
  const GnssSystemNames& names = NamesOf(system);
  char line[kLineCapacity];
  for (std::size_t part = 0; part < count; ++part) {
    char* out = WriteDigits(WriteStart(line, names.talker, "GSV"), count, 1);
    *out++ = ',';
    out = WriteDigits(out, part + 1, 1);
    *out++ = ',';
    out = WriteDigits(out, inView, 2);
    for (std::size_t i = part * kPerGsv; i < inView && i < (part + 1) * kPerGsv; ++i) {
      const SatelliteInView& satellite = first[static_cast<std::ptrdiff_t>(i)];
      *out++ = ',';
      out = WriteDigits(out, static_cast<std::uint64_t>(satellite.id), 2);
      *out++ = ',';
      out = WriteDigits(out, static_cast<std::uint64_t>(satellite.elevationWholeDegrees), 2);
      *out++ = ',';
      out = WriteDigits(out, static_cast<std::uint64_t>(satellite.azimuthWholeDegrees), 3);
      *out++ = ',';
      // No signal (during an outage): the field stays empty.
      if (satellite.signalDbHz > 0) {
        out = WriteDigits(out, static_cast<std::uint64_t>(satellite.signalDbHz), 2);
      }
    }
    if (version_ == NmeaVersion::k41) {
      *out++ = ',';
      out = WriteDigits(out, static_cast<std::uint64_t>(names.nmeaSignalId), 1);
    }
    Append(line, out);
  }
}

std::string_view FixSentences::Build(const Fix& fix, const SkyView& sky) {
  text_.clear();
  starts_.resize(1);
  // A receiver's clock is a whole number of milliseconds.
  const DayAndTime split = SplitDays(static_cast<std::int64_t>(fix.clockMs));
  const Moment at{fix, sky, static_cast<std::uint64_t>(split.msOfDay),
                  DateFromDays(dayZero_ + split.day), sky.hasFix};
  char line[kLineCapacity];
  for (const SentenceKind kind : kinds_) {
    switch (kind) {
      case SentenceKind::kRmc:
        Append(line, WriteRmc(at, line));
        break;
      case SentenceKind::kGga:
        Append(line, WriteGga(at, line));
        break;
      case SentenceKind::kGll:
        Append(line, WriteGll(at, line));
        break;
      case SentenceKind::kVtg:
        Append(line, WriteVtg(at, line));
        break;
      case SentenceKind::kZda:
        Append(line, WriteZda(at, line));
        break;
      case SentenceKind::kGns:
        Append(line, WriteGns(at, line));
        break;
      case SentenceKind::kGsa:
        for (const GnssSystem system : systems_) Append(line, WriteGsa(at, system, line));
        break;
      case SentenceKind::kGsv:
        for (const GnssSystem system : systems_) AppendGsv(sky, system);
        break;
    }
  }
  return text_;
}

}  // namespace wayloom

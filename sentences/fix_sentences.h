// The sentences a simulated receiver sends for each fix, in the order chosen: RMC, GGA, GLL, VTG,
// GSA, GSV, ZDA and GNS, in NMEA 0183 version 2.3 or 4.1. Every sentence is closed by
// CloseSentence (sentences/fields.h).
//
// Positions carry five decimals of a minute (about 2 cm), as many receivers give them, so that the
// distance between two fixes can be read back to a fraction of a percent. RMC always carries its
// date. The satellites come from the sky at the fix (base/sky_view.h): GGA's and GNS's count and
// HDOP, GSA's lists and DOPs and GSV's satellites all describe it. A sky without a fix (an outage,
// or too few satellites) gives the sentences of a receiver that has lost its fix: RMC status V,
// GGA quality 0, GSA mode 1, mode indicators N, no position, speed or course.
//
// Talkers: with one system every sentence has that system's talker (GP, GL, GA, GB). With more,
// the sentences of the combined fix (RMC, GGA, GLL, VTG, ZDA, GNS) have GN, and each system has a
// GSA sentence and a GSV sentence group of its own under its own talker. 4.1 names the system of
// a GSA by its system ID as well; 2.3 has no field for it, so the talker is what names it there,
// and readers that know the systems by talker alone (Qt Positioning 6.4 among them) see each
// system's satellites in use in either version.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/calendar.h"
#include "base/fix.h"
#include "base/sky_view.h"

namespace wayloom {

enum class SentenceKind { kRmc, kGga, kGll, kVtg, kGsa, kGsv, kZda, kGns };

// 2.3: the mode indicator closes RMC, GLL and VTG. 4.1 adds RMC's and GNS's navigational status,
// GSA's system ID and GSV's signal ID.
enum class NmeaVersion { k23, k41 };

// What a receiver sends unless told otherwise: RMC first, as some readers take the date from it
// before they use any other sentence.
inline constexpr std::string_view kDefaultSentences = "RMC,GGA,GSA,GSV,VTG";

// Reads a comma-separated list of sentence names (upper or lower case, each at most once). False,
// with problem set, for an empty list, an unknown name or a name given twice.
bool ParseSentenceList(std::string_view text, std::vector<SentenceKind>& kinds,
                       std::string& problem);

// Reads "2.3" or "4.1". False for anything else.
bool ParseNmeaVersion(std::string_view text, NmeaVersion& version);

struct SentenceSettings {
  std::vector<SentenceKind> kinds;
  std::vector<GnssSystem> systems{GnssSystem::kGps};  // in any order; twice counts once
  NmeaVersion version = NmeaVersion::k23;
};

class FixSentences {
 public:
  // date is the day of clock 0: a fix's clock of a day or more falls on a later date.
  FixSentences(SentenceSettings settings, const CalendarDate& date);

  // Builds the sentences of fix under sky (of the settings' systems). The result, each sentence
  // ending in CR LF, is valid until the next call.
  std::string_view Build(const Fix& fix, const SkyView& sky);
  // Sentences in the last result, and each of them without its line end.
  std::size_t Count() const { return starts_.size() - 1; }
  std::string_view Text() const { return text_; }
  std::string_view Sentence(std::size_t i) const;

 private:
  struct Moment;  // what every sentence of one fix shares
  // Each writes the sentence of its kind at out, without its checksum, and returns its end.
  char* WriteRmc(const Moment& at, char* out) const;
  char* WriteGga(const Moment& at, char* out) const;
  char* WriteGll(const Moment& at, char* out) const;
  char* WriteVtg(const Moment& at, char* out) const;
  char* WriteZda(const Moment& at, char* out) const;
  char* WriteGns(const Moment& at, char* out) const;
  char* WriteGsa(const Moment& at, GnssSystem system, char* out) const;
  // The GSV group of system: each sentence closed and appended to text_.
  void AppendGsv(const SkyView& sky, GnssSystem system);
  // Closes the sentence from line to end and appends it, with CR LF, to text_.
  void Append(char* line, char* end);

  std::vector<SentenceKind> kinds_;
  std::vector<GnssSystem> systems_;  // each once, in the order of GnssSystem
  NmeaVersion version_;
  const char* combinedTalker_;  // GN, or the one system's talker
  std::int64_t dayZero_;
  std::string text_;
  std::vector<std::size_t> starts_{0};  // of each sentence in text_, and the end
};

}  // namespace wayloom

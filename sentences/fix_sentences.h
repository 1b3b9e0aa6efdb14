// The sentences a simulated receiver sends for each fix, in the order chosen: RMC, GGA, GLL, VTG,
// GSA, GSV and ZDA. Every sentence is closed by CloseSentence (track/nmea.h).
//
// Positions carry five decimals of a minute (about 2 cm), as many receivers give them, so that the
// distance between two fixes can be read back to a fraction of a percent. RMC always carries its
// date; GGA has the same fixed fields as every other GGA Wayloom writes (seven satellites used,
// HDOP 1.25), and GSA and GSV describe one constellation that agrees with them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/calendar.h"
#include "base/fix.h"

namespace wayloom {

enum class SentenceKind { kRmc, kGga, kGll, kVtg, kGsa, kGsv, kZda };

// What a receiver sends unless told otherwise: RMC first, as some readers take the date from it
// before they use any other sentence.
inline constexpr std::string_view kDefaultSentences = "RMC,GGA,GSA,GSV,VTG";

// Reads a comma-separated list of sentence names (upper or lower case, each at most once). False,
// with problem set, for an empty list, an unknown name or a name given twice.
bool ParseSentenceList(std::string_view text, std::vector<SentenceKind>& kinds,
                       std::string& problem);

class FixSentences {
 public:
  // date is the day of clock 0: a fix's clock of a day or more falls on a later date.
  FixSentences(std::vector<SentenceKind> kinds, const CalendarDate& date);

  // Builds the sentences of fix. The result, each sentence ending in CR LF, is valid until the
  // next call.
  std::string_view Build(const Fix& fix);
  // Sentences in the last result, and each of them without its line end.
  std::size_t Count() const { return count_; }
  std::string_view Text() const { return text_; }
  std::string_view Sentence(std::size_t i) const;

  // The most sentences a fix can have: one of each kind, GSV taking three.
  static constexpr std::size_t kMostSentences = 9;

 private:
  // Writes the sentence of kind (not GSA or GSV) for fix at out, without its checksum; returns
  // its end.
  static char* WriteSentence(SentenceKind kind, const Fix& fix, std::uint64_t msOfDay,
                             const CalendarDate& date, char* out);

  std::vector<SentenceKind> kinds_;
  std::int64_t dayZero_;
  std::string gsa_;  // the constellation does not change: these are made once
  std::string gsv_;
  std::size_t gsvCount_ = 0;
  std::string text_;
  std::array<std::size_t, kMostSentences + 1> starts_{};
  std::size_t count_ = 0;
};

}  // namespace wayloom

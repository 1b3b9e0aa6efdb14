// The NMEA log reader: a recording of what a receiver sent, read line by line in constant memory,
// whatever its length, and grouped into bursts.
//
// A line is a sentence when it starts with '$' or '!', holds printable ASCII only (no second '$'
// or '!', no '*' but the checksum's), has an address of five letters or digits (two of talker,
// three of sentence) or a 'P' and at least one more (proprietary), and ends in '*' and the two hex
// digits of its checksum, which must match. The checksum may be left out (no '*' at all) as older
// receivers do, except on RMC, RMB and RMA, which always needed one, on '!' sentences, and on a
// last line without a line end (a recording stopped in the middle of a sentence). Everything else
// is left out and counted: lines that are no sentence (text, binary data), sentences whose checksum
// is wrong, cut short or missing where needed, and lines longer than kMostLogLineBytes, which are
// skipped without being held. Or, with keepBad, the first two kinds are kept as they stand. Empty
// lines are skipped without a count. A line ends at LF, CR LF (any CRs before the LF), or the end
// of the file; a lone CR does not end a line.
//
// A burst is what the receiver sent for one time of day: the sentences that share it, and the
// sentences without a time that follow them. A sentence with another time starts the next burst.
// Where no time can be read (a log without times, or stretches without a fix) a burst starts at
// each RMC and each GGA that would be the burst's second of its kind. A burst holds at most
// kMostBurstLines lines; a longer run goes on in the next burst, with the same time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "base/calendar.h"

namespace wayloom {

// Far above the 82 characters the standard allows a sentence: receivers' own sentences run longer.
constexpr std::size_t kMostLogLineBytes = 1024;
constexpr std::size_t kMostBurstLines = 256;

enum class LogLineVerdict : unsigned char {
  kEmpty,        // nothing but line-end characters: skipped, not counted
  kSentence,     // with a checksum that matches
  kNoChecksum,   // without one, where one may be left out
  kBadChecksum,  // wrong, cut short, or missing where needed
  kNotNmea,
  kTooLong,
};

// The sentences whose time, date or position Wayloom reads; every other one is kOther.
enum class LogSentenceKind : unsigned char {
  kOther,
  kRmc,
  kGga,
  kGll,
  kGns,
  kZda,
  kGbs,
  kGst,
  kGrs
};

// Judges a line without its line end. The line's bytes are used to check the checksum in place
// (the sentence framer writes it at the '*') and are as they were afterwards.
LogLineVerdict CheckLogLine(char* line, std::size_t length);

// The kind of a sentence that CheckLogLine accepted, from its address, whatever the talker.
LogSentenceKind SentenceKindOf(std::string_view sentence);

// The field at index of a sentence (0: the address, "$GPRMC"; 1: the first data field), without
// the checksum; empty, with a null data pointer, when the sentence has fewer fields.
std::string_view SentenceField(std::string_view sentence, std::size_t index);
// The count fields from index first on, read in one pass.
void SentenceFields(std::string_view sentence, std::size_t first, std::string_view* fields,
                    std::size_t count);

// The index of the field that carries the time of day; 0 for kOther.
std::size_t TimeFieldIndex(LogSentenceKind kind);

// A time of day as a log writes it: hhmmss and an optional fraction of up to nine digits.
struct LogTime {
  std::int64_t units = 0;  // since midnight, in tenths to the power of decimals of a second
  int decimals = 0;
  std::int64_t Ms() const;  // milliseconds since midnight, the fraction beyond them cut off
};
// False for an empty field or one that is no time of day (hours from 24, minutes or seconds from
// 60, other characters).
bool ReadLogTime(std::string_view field, LogTime& time);

// The date of an RMC sentence (ddmmyy, years 80 to 99 taken as 1980 to 1999, the others as
// 2000 to 2079) or of a ZDA sentence (its day, month and four-digit year); false when it has
// none or it is no date.
bool ReadSentenceDate(std::string_view sentence, LogSentenceKind kind, CalendarDate& date);

// The position of an RMC, GGA, GLL or GNS sentence that reports a fix, in degrees (south and west
// negative); false, leaving both alone, for other sentences, sentences without a fix, and
// positions off the Earth.
bool ReadSentencePosition(std::string_view sentence, LogSentenceKind kind, double& latitude,
                          double& longitude);

struct LogLine {
  std::size_t start = 0;   // in LogBurst::Text()
  std::size_t length = 0;  // without the CR LF that follows it there
  LogSentenceKind kind = LogSentenceKind::kOther;
  LogLineVerdict verdict = LogLineVerdict::kSentence;  // a bad verdict: a line kept as it stands
  // Where the time field of a kept sentence of a timed kind stands in the line; length 0 when it
  // is empty or missing.
  std::uint16_t timeStart = 0;
  std::uint16_t timeLength = 0;

  bool Kept() const {
    return verdict == LogLineVerdict::kSentence || verdict == LogLineVerdict::kNoChecksum;
  }
};

// The most bytes of text a burst holds: its lines, each with CR LF.
constexpr std::size_t kMostBurstBytes = kMostBurstLines * (kMostLogLineBytes + 2);

struct LogBurst {
  std::vector<LogLine> lines;
  bool hasTime = false;
  std::int64_t timeOfDayMs = 0;  // of its sentences, when hasTime

  // Every line followed by CR LF.
  std::string_view Text() const { return std::string_view(text_.get(), textSize_); }
  std::string_view Line(std::size_t i) const {
    return Text().substr(lines[i].start, lines[i].length);
  }
  // The bytes of line i, for a replay that rewrites its fields where they stand.
  char* LineText(std::size_t i) { return text_.get() + lines[i].start; }

 private:
  friend class NmeaLogReader;
  // Room for the most a burst holds, filled without the zeroing a growing string does.
  std::unique_ptr<char[]> text_{new char[kMostBurstBytes]};
  std::size_t textSize_ = 0;
};

struct NmeaLogCounts {
  std::uint64_t sentences = 0;        // kept as sentences, those without a checksum among them
  std::uint64_t withoutChecksum = 0;  // of those
  std::uint64_t badChecksum = 0;      // left out, or kept as they stand with keepBad
  std::uint64_t notNmea = 0;          // the same
  std::uint64_t tooLong = 0;          // always left out

  std::uint64_t Bad() const { return badChecksum + notNmea + tooLong; }
};

class NmeaLogReader {
 public:
  explicit NmeaLogReader(bool keepBad = false);
  ~NmeaLogReader();
  NmeaLogReader(const NmeaLogReader&) = delete;
  NmeaLogReader& operator=(const NmeaLogReader&) = delete;

  // Opens the log at path (UTF-8); false, with Error() set, when it cannot be opened.
  bool Open(const std::string& path);
  // The next burst; false at the end of the log or on a read error (Error() tells).
  bool Next(LogBurst& burst);
  // Reads from the start again, the counts going on; false, with Error() set, when the log cannot
  // be read again (a pipe).
  bool Rewind();
  // Asked before every block is read: true ends the log there, Error() saying it was interrupted.
  // A device that never ends, or a long stretch without a sentence, then stops at once.
  void SetStopRequest(std::function<bool()> stopRequested) {
    stopRequested_ = std::move(stopRequested);
  }

  const NmeaLogCounts& Counts() const { return counts_; }
  std::error_code Error() const { return error_; }
  bool IsOpen() const { return file_ != nullptr; }

 private:
  // What decides whether a sentence belongs to the burst being read: its time, and whether it
  // has an RMC and a GGA sentence. A burst cut at kMostBurstLines hands it on to the next.
  struct BurstState {
    bool hasTime = false;
    std::int64_t timeOfDayMs = 0;
    bool hasRmc = false;
    bool hasGga = false;
  };
  // A line as judged, with the time read from it.
  struct JudgedLine {
    LogLine info;
    bool hasTime = false;
    std::int64_t timeMs = 0;
  };

  // The next line without its line end, valid until the next call; false at the end. usual: the
  // line was found on the way to be the usual sentence, plain text up to '*' and two hex digits
  // at its end, which CheckLogLine then need not look at again.
  bool NextLine(char*& line, std::size_t& length, bool& usual);
  bool Refill();
  // Judges and counts a line; false when it is left out.
  bool Admit(char* line, std::size_t length, bool usual, JudgedLine& judged);
  // Whether a sentence belongs to a new burst rather than to the one whose state is given.
  static bool StartsBurst(const BurstState& state, const JudgedLine& judged);
  void Append(LogBurst& burst, const char* line, const JudgedLine& judged);
  void Reset();

  bool keepBad_;
  std::FILE* file_ = nullptr;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;  // the unread bytes of buffer_
  std::size_t end_ = 0;
  bool atStart_ = true;  // no line read yet
  bool atEnd_ = false;
  bool unended_ = false;   // the last line read had no line end: the log ends with it
  bool skipping_ = false;  // in the rest of a line too long to hold
  BurstState state_;
  // The last time field read, and what it read as.
  std::string lastTimeField_;
  bool lastTimeValid_ = false;
  std::int64_t lastTimeMs_ = 0;
  // The line that ended the last burst by starting the next one.
  std::string pending_;
  JudgedLine pendingLine_;
  bool hasPending_ = false;
  NmeaLogCounts counts_;
  std::error_code error_;
  std::function<bool()> stopRequested_;
};

}  // namespace wayloom

// Replay of a recorded NMEA log, as one more kind of motion: the log's bursts (sources/nmea_log.h),
// each with the clock it is due at and its text, read from the file as they are asked for, so a
// log of any length takes the same memory.
//
// The clock counts from the first burst: each burst is due the difference of its time of day and
// that of the burst before it later (a step back in time or a repeated time: at once; across
// midnight: the step that is shorter than half a day). A burst without a time, or after one
// without a time, is due one untimed period after the burst before.
//
// Re-timing moves every time and date in the log by one offset: the one that puts the log's
// first time of day at startMsOfDay and its date (that of the first burst, found from the first
// date in the log) at date. The times of RMC, GGA, GLL, GNS, GBS, GST and GRS sentences, and the
// dates of RMC and ZDA, are rewritten; a time passing midnight moves its sentence's date on. Each
// rewritten sentence keeps its fields as they were (a time keeps its decimals, unless the offset
// needs more, up to milliseconds) and gets its checksum anew from the sentence framer; a sentence
// recorded without a checksum stays without one. Every other sentence, and every line kept as it
// stands, goes out untouched. Without re-timing the log's own bytes go out, each line ended by
// CR LF.
//
// Rounds: StartOver replays the log again, its clock and its times going on by the length of the
// round and one burst interval (the round's last clock step above zero; the untimed period when
// it had none), so that a client sees time move forward; the rounds after the first are re-timed
// by that much even when the first is not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "base/calendar.h"
#include "base/units.h"
#include "sources/nmea_log.h"

namespace wayloom {

struct ReplaySettings {
  bool keepBad = false;  // send lines that are no sentence or fail their checksum as they stand
  // Re-timing: where the log's first time of day and its first date go. Either may be given alone:
  // a start alone keeps the log's dates (but for passing midnight), a date alone its times.
  std::optional<std::int64_t> startMsOfDay;  // from 0 to below a day
  std::optional<CalendarDate> date;
  std::int64_t untimedPeriodMs = 1000;  // between bursts without a time; above 0
  // Read each burst's position, for a map. Reading them takes about a tenth of a replay's time:
  // a replay to a file, where nobody looks at them, turns it off.
  bool readPositions = true;
};

struct ReplayBurst {
  std::int64_t clockMs = 0;       // when it is due, counted from the first burst of the first round
  std::string_view text;          // its lines, each ending in CR LF; valid until the next call
  std::size_t sentenceCount = 0;  // lines in text
  // The position of the burst's first RMC, GGA, GLL or GNS sentence that reports a fix (never,
  // without readPositions).
  bool hasPosition = false;
  double latitude = 0.0;   // degrees, south negative
  double longitude = 0.0;  // degrees, west negative
};

// What re-timing found at the start of the log.
struct ReplayReference {
  bool hasTime = false;  // the log has a time of day
  std::int64_t firstTimeMs = 0;
  bool hasDate = false;    // and a date (looked for only when settings.date is given)
  CalendarDate firstDate;  // the date of the first time
};

class Replay {
 public:
  explicit Replay(const ReplaySettings& settings);

  // Opens the log (a path in UTF-8) and, when re-timing, reads it up to its first time (and its
  // first date, for a date: a log without one is read through) to find the offset. False, with
  // Error() set, when it cannot be read, and when re-timing a log that can be read only once (a
  // pipe: invalid_seek).
  bool Open(const std::string& path);
  // Asked before every block of the log is read (see NmeaLogReader::SetStopRequest); set it
  // before Open, which may read the whole log.
  void SetStopRequest(std::function<bool()> stopRequested);
  // The next burst of this round; false when the round is over or the log could not be read on
  // (Error() is then set).
  bool Next(ReplayBurst& burst);
  // Starts the next round from the log's start. False, with Error() set, when the log cannot be
  // read again, and when this round had no burst (there is nothing to play).
  bool StartOver();
  // Plays the log again from its start exactly as the first round played it: the same clocks and
  // times (a log written to a file and then sent live). False, with Error() set, when the log
  // cannot be read again.
  bool Restart();

  // The lines of one pass over the log: those of the first round, once it is over.
  const NmeaLogCounts& Counts() const;
  std::error_code Error() const { return error_ ? error_ : reader_.Error(); }
  bool IsOpen() const { return reader_.IsOpen(); }
  const ReplayReference& Reference() const { return reference_; }
  // How far the times of this round are moved.
  std::int64_t OffsetMs() const { return offsetMs_; }

 private:
  // Moves the times and dates of sentences by one offset. The sentences of a burst share their
  // time and the bursts of a day their date: the last of each is kept with what it became.
  class SentenceShifter {
   public:
    void SetOffset(std::int64_t offsetMs);
    // Moves the time and date of a burst's line in place, its checksum set anew; false, with
    // nothing changed, when a moved field would not have the width it has.
    bool Rewrite(char* text, const LogLine& line);
    // Appends a line of a burst (with its CR LF) with its time and date moved.
    void Append(std::string_view lineWithEnd, const LogLine& line, std::string& out);

   private:
    // Where a sentence's time and date stand and what they become.
    struct Move {
      bool unchanged = true;  // no time of day, or moved by whole days and no date
      std::string_view timeField;
      std::string_view timeText;
      std::string_view dateField;  // null when there is no date
      std::string_view dateText;
    };
    Move Plan(std::string_view sentence, const LogLine& line);

    // Whether field is a time of day; movedTime_ and days_ then hold where it goes.
    bool MoveTime(std::string_view field);
    // Whether the date at field (of an RMC or a ZDA sentence) is a date; the kind's memo then
    // holds it moved by days_.
    bool MoveDate(std::string_view sentence, LogSentenceKind kind, std::string_view field);

    struct DateMemo {
      bool valid = false;
      std::string field;
      std::int64_t days = 0;
      bool moves = false;
      std::string text;
    };

    DayAndTime offset_;  // whole days and the milliseconds of a day
    std::string timeField_;
    bool timeMoves_ = false;
    std::string movedTime_;
    std::int64_t days_ = 0;  // passed by the moved time
    DateMemo dates_[2];      // of RMC and ZDA sentences
    DateMemo& DateMemoOf(LogSentenceKind kind) {
      return dates_[kind == LogSentenceKind::kRmc ? 0 : 1];
    }
  };

  bool FindReference(const std::string& path);
  // Begins a round whose first burst is due at startMs, its times moved by offsetMs_.
  void StartRound(std::int64_t startMs);
  // The clock step from the burst before to burst_.
  std::int64_t StepMs() const;
  // burst_'s text with every time and date moved by offsetMs_.
  std::string_view ShiftedText();
  void FindPosition(ReplayBurst& burst) const;

  ReplaySettings settings_;
  NmeaLogReader reader_;
  LogBurst burst_;
  std::string shifted_;
  SentenceShifter shifter_;
  ReplayReference reference_;
  std::function<bool()> stopRequested_;
  std::int64_t firstOffsetMs_ = 0;  // of the first round
  std::int64_t offsetMs_ = 0;
  std::int64_t roundStartMs_ = 0;
  std::int64_t clockMs_ = 0;
  std::int64_t lastStepMs_ = 0;  // the last step above 0: the burst interval between rounds
  std::size_t burstsThisRound_ = 0;
  bool roundOver_ = false;
  bool lastHadTime_ = false;
  std::int64_t lastTimeMs_ = 0;
  bool countsKept_ = false;
  NmeaLogCounts firstRoundCounts_;
  std::error_code error_;  // of the search for the reference or of starting over
};

}  // namespace wayloom

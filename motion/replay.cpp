#include "motion/replay.h"

#include <cstring>
#include <utility>

#include "base/number_text.h"
#include "base/units.h"
#include "sentences/fields.h"
#include "sentences/nmea.h"

namespace wayloom {
namespace {

constexpr std::int64_t kHalfDayMs = kMsPerDay / 2;

std::int64_t PowerOfTen(int exponent) {
  static constexpr std::int64_t kPowers[] = {
      1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000, 10000000000};
  return kPowers[exponent];
}

// A time of day moved by an offset: its text, as many decimals as the field had (or as the offset
// needs, up to milliseconds), and the days it passed.
struct ShiftedTime {
  char text[20] = {};
  std::size_t length = 0;
  std::int64_t days = 0;
};

ShiftedTime ShiftTime(const LogTime& time, const DayAndTime& offset) {
  int decimals = time.decimals;
  std::int64_t units = time.units;
  while (decimals < 3 && offset.msOfDay % PowerOfTen(3 - decimals) != 0) {
    ++decimals;
    units *= 10;
  }
  const std::int64_t offsetUnits = decimals >= 3 ? offset.msOfDay * PowerOfTen(decimals - 3)
                                                 : offset.msOfDay / PowerOfTen(3 - decimals);
  const std::int64_t perSecond = PowerOfTen(decimals);
  const std::int64_t perDay = 86400 * perSecond;
  std::int64_t total = units + offsetUnits;  // below two days
  ShiftedTime shifted;
  shifted.days = offset.day;
  if (total >= perDay) {
    total -= perDay;
    ++shifted.days;
  }
  const std::int64_t seconds = total / perSecond;
  const std::int64_t hhmmss = seconds / 3600 * 10000 + seconds / 60 % 60 * 100 + seconds % 60;
  char* out = WriteDigits(shifted.text, static_cast<std::uint64_t>(hhmmss), 6);
  if (decimals > 0) {
    *out++ = '.';
    out = WriteDigits(out, static_cast<std::uint64_t>(total % perSecond), decimals);
  }
  shifted.length = static_cast<std::size_t>(out - shifted.text);
  return shifted;
}

// The date fields of an RMC (ddmmyy) or ZDA (dd,mm,yyyy) sentence for date; returns the end.
char* WriteDateFields(char* out, LogSentenceKind kind, const CalendarDate& date) {
  if (kind == LogSentenceKind::kRmc) return WriteDdmmyy(out, date);
  out = WriteTwoDigits(out, static_cast<std::uint64_t>(date.day));
  *out++ = ',';
  out = WriteTwoDigits(out, static_cast<std::uint64_t>(date.month));
  *out++ = ',';
  return WriteDigits(out, static_cast<std::uint64_t>(date.year), 4);
}

// Where the date of a sentence stands (field 9 of RMC, fields 2 to 4 of ZDA; null when it has
// none), found from the rest of the sentence after its time field (field 1 of both).
std::string_view DateFields(std::string_view afterTime, LogSentenceKind kind) {
  // afterTime starts at the comma that ends the time field: its field 1 is the sentence's 2.
  if (kind == LogSentenceKind::kRmc) return SentenceField(afterTime, 8);
  if (kind != LogSentenceKind::kZda) return std::string_view();
  std::string_view fields[3];  // day, month, year
  SentenceFields(afterTime, 1, fields, 3);
  if (fields[0].data() == nullptr || fields[2].data() == nullptr) return std::string_view();
  const char* const end = fields[2].data() + fields[2].size();
  return std::string_view(fields[0].data(), static_cast<std::size_t>(end - fields[0].data()));
}

}  // namespace

void Replay::SentenceShifter::SetOffset(std::int64_t offsetMs) {
  offset_ = SplitDays(offsetMs);
  timeField_.clear();
  timeMoves_ = false;
  for (DateMemo& memo : dates_) memo.valid = false;
}

bool Replay::SentenceShifter::MoveTime(std::string_view field) {
  if (field == timeField_) return timeMoves_;
  timeField_.assign(field);
  LogTime time;
  timeMoves_ = ReadLogTime(field, time);
  if (timeMoves_) {
    const ShiftedTime shifted = ShiftTime(time, offset_);
    movedTime_.assign(shifted.text, shifted.length);
    days_ = shifted.days;
  }
  return timeMoves_;
}

bool Replay::SentenceShifter::MoveDate(std::string_view sentence, LogSentenceKind kind,
                                       std::string_view field) {
  DateMemo& memo = DateMemoOf(kind);
  if (memo.valid && field == memo.field && days_ == memo.days) return memo.moves;
  memo.valid = true;
  memo.field.assign(field);
  memo.days = days_;
  CalendarDate date;
  memo.moves = ReadSentenceDate(sentence, kind, date);
  if (memo.moves) {
    char text[24];
    const CalendarDate moved = DateFromDays(DaysFromDate(date) + days_);
    memo.text.assign(text, WriteDateFields(text, kind, moved));
  }
  return memo.moves;
}

Replay::SentenceShifter::Move Replay::SentenceShifter::Plan(std::string_view sentence,
                                                            const LogLine& line) {
  Move move;
  move.timeField = sentence.substr(line.timeStart, line.timeLength);
  if (line.timeLength == 0 || !MoveTime(move.timeField)) return move;  // unchanged
  std::string_view dateField =
      DateFields(sentence.substr(line.timeStart + line.timeLength), line.kind);
  if (dateField.data() != nullptr && MoveDate(sentence, line.kind, dateField)) {
    move.dateField = dateField;
    move.dateText = DateMemoOf(line.kind).text;
  }
  move.timeText = movedTime_;
  move.unchanged = move.timeText == move.timeField && move.dateText == move.dateField;
  return move;
}

bool Replay::SentenceShifter::Rewrite(char* text, const LogLine& line) {
  const std::string_view sentence(text, line.length);
  const Move move = Plan(sentence, line);
  if (move.unchanged) return true;
  if (move.timeText.size() != move.timeField.size() ||
      move.dateText.size() != move.dateField.size()) {
    return false;
  }
  std::memcpy(text + line.timeStart, move.timeText.data(), move.timeText.size());
  if (!move.dateText.empty()) {
    std::memcpy(text + (move.dateField.data() - text), move.dateText.data(), move.dateText.size());
  }
  if (line.verdict == LogLineVerdict::kSentence) CloseSentence(text, text + line.length - 3);
  return true;
}

void Replay::SentenceShifter::Append(std::string_view lineWithEnd, const LogLine& line,
                                     std::string& out) {
  const std::string_view sentence = lineWithEnd.substr(0, line.length);
  const Move move = Plan(sentence, line);
  if (move.unchanged) {
    out.append(lineWithEnd);
    return;
  }
  // The time comes before the date in both sentences that carry one.
  const std::size_t start = out.size();
  const bool closed = line.verdict == LogLineVerdict::kSentence;
  const char* const begin = sentence.data();
  const char* const dataEnd = begin + sentence.size() - (closed ? 3 : 0);
  out.append(begin, move.timeField.data()).append(move.timeText);
  const char* rest = move.timeField.data() + move.timeField.size();
  if (move.dateField.data() != nullptr) {
    out.append(rest, move.dateField.data()).append(move.dateText);
    rest = move.dateField.data() + move.dateField.size();
  }
  out.append(rest, dataEnd);
  if (closed) CloseSentence(out, start);
  out.append("\r\n", 2);
}

Replay::Replay(const ReplaySettings& settings) : settings_(settings), reader_(settings.keepBad) {}

void Replay::SetStopRequest(std::function<bool()> stopRequested) {
  stopRequested_ = std::move(stopRequested);
  reader_.SetStopRequest(stopRequested_);
}

bool Replay::Open(const std::string& path) {
  reference_ = ReplayReference();
  offsetMs_ = 0;
  countsKept_ = false;
  error_.clear();
  if (!reader_.Open(path)) return false;
  if (settings_.startMsOfDay || settings_.date) {
    // The offset is found by reading the log once more from a reader of its own.
    if (!reader_.Rewind()) {
      error_ = std::make_error_code(std::errc::invalid_seek);
      return false;
    }
    if (!FindReference(path)) return false;
    if (reference_.hasTime && settings_.startMsOfDay) {
      offsetMs_ += *settings_.startMsOfDay - reference_.firstTimeMs;
    }
    if (reference_.hasDate && settings_.date) {
      offsetMs_ += (DaysFromDate(*settings_.date) - DaysFromDate(reference_.firstDate)) * kMsPerDay;
    }
  }
  firstOffsetMs_ = offsetMs_;
  lastStepMs_ = 0;
  StartRound(0);
  return true;
}

void Replay::StartRound(std::int64_t startMs) {
  roundStartMs_ = startMs;
  shifter_.SetOffset(offsetMs_);
  burstsThisRound_ = 0;
  roundOver_ = false;
  lastHadTime_ = false;
}

bool Replay::FindReference(const std::string& path) {
  NmeaLogReader scan;
  scan.SetStopRequest(stopRequested_);
  if (!scan.Open(path)) {
    error_ = scan.Error();
    return false;
  }
  const bool wantDate = settings_.date.has_value();
  std::int64_t lastTimeMs = 0;
  std::int64_t midnights = 0;  // passed since the first time
  LogBurst burst;
  while (scan.Next(burst)) {
    if (!burst.hasTime) continue;
    if (!reference_.hasTime) {
      reference_.hasTime = true;
      reference_.firstTimeMs = burst.timeOfDayMs;
    } else if (burst.timeOfDayMs - lastTimeMs < -kHalfDayMs) {
      ++midnights;
    } else if (burst.timeOfDayMs - lastTimeMs > kHalfDayMs) {
      --midnights;
    }
    lastTimeMs = burst.timeOfDayMs;
    if (!wantDate) return true;
    for (std::size_t i = 0; i < burst.lines.size(); ++i) {
      CalendarDate date;
      if (burst.lines[i].Kept() && ReadSentenceDate(burst.Line(i), burst.lines[i].kind, date)) {
        reference_.hasDate = true;
        reference_.firstDate = DateFromDays(DaysFromDate(date) - midnights);
        return true;
      }
    }
  }
  error_ = scan.Error();
  return !error_;
}

std::int64_t Replay::StepMs() const {
  if (!lastHadTime_ || !burst_.hasTime) return settings_.untimedPeriodMs;
  std::int64_t step = burst_.timeOfDayMs - lastTimeMs_;
  if (step > kHalfDayMs) step -= kMsPerDay;
  if (step <= -kHalfDayMs) step += kMsPerDay;
  return step > 0 ? step : 0;
}

std::string_view Replay::ShiftedText() {
  // Fields that keep their widths are written over in the burst itself; from the first line that
  // changes its length on, the burst is copied with its lines rewritten.
  bool copying = false;
  for (std::size_t i = 0; i < burst_.lines.size(); ++i) {
    const LogLine& line = burst_.lines[i];
    const bool timed = line.Kept() && TimeFieldIndex(line.kind) != 0;
    if (!copying) {
      if (!timed || shifter_.Rewrite(burst_.LineText(i), line)) continue;
      copying = true;
      shifted_.assign(burst_.Text().substr(0, line.start));
    }
    const std::string_view withEnd = burst_.Text().substr(line.start, line.length + 2);
    if (timed) {
      shifter_.Append(withEnd, line, shifted_);
    } else {
      shifted_.append(withEnd);
    }
  }
  return copying ? std::string_view(shifted_) : burst_.Text();
}

void Replay::FindPosition(ReplayBurst& burst) const {
  for (std::size_t i = 0; i < burst_.lines.size() && !burst.hasPosition; ++i) {
    burst.hasPosition =
        burst_.lines[i].Kept() &&
        ReadSentencePosition(burst_.Line(i), burst_.lines[i].kind, burst.latitude, burst.longitude);
  }
}

bool Replay::Next(ReplayBurst& burst) {
  if (roundOver_) return false;
  if (!reader_.Next(burst_)) {
    roundOver_ = true;
    if (!countsKept_) {
      firstRoundCounts_ = reader_.Counts();
      countsKept_ = true;
    }
    return false;
  }
  if (burstsThisRound_ == 0) {
    clockMs_ = roundStartMs_;
  } else {
    const std::int64_t step = StepMs();
    clockMs_ += step;
    if (step > 0) lastStepMs_ = step;
  }
  ++burstsThisRound_;
  lastHadTime_ = burst_.hasTime;
  lastTimeMs_ = burst_.timeOfDayMs;
  burst.clockMs = clockMs_;
  burst.text = offsetMs_ == 0 ? burst_.Text() : ShiftedText();
  burst.sentenceCount = burst_.lines.size();
  burst.hasPosition = false;
  if (settings_.readPositions) FindPosition(burst);
  return true;
}

bool Replay::StartOver() {
  if (burstsThisRound_ == 0) return false;
  if (!reader_.Rewind()) {
    error_ = reader_.Error();
    return false;
  }
  const std::int64_t intervalMs = lastStepMs_ > 0 ? lastStepMs_ : settings_.untimedPeriodMs;
  const std::int64_t roundMs = clockMs_ - roundStartMs_ + intervalMs;
  offsetMs_ += roundMs;
  StartRound(roundStartMs_ + roundMs);
  return true;
}

bool Replay::Restart() {
  if (!reader_.Rewind()) {
    error_ = reader_.Error();
    return false;
  }
  offsetMs_ = firstOffsetMs_;
  lastStepMs_ = 0;
  StartRound(0);
  return true;
}

const NmeaLogCounts& Replay::Counts() const {
  return countsKept_ ? firstRoundCounts_ : reader_.Counts();
}

}  // namespace wayloom

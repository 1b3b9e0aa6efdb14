#include "motion/replay.h"

#include <cstring>

#include "base/number_text.h"
#include "sentences/nmea.h"

namespace wayloom {
namespace {

constexpr std::int64_t kHalfDayMs = DayAndTime::kMsPerDay / 2;

std::int64_t PowerOfTen(int exponent) {
  std::int64_t power = 1;
  for (int i = 0; i < exponent; ++i) power *= 10;
  return power;
}

// A time of day moved by an offset: its text, as many decimals as the field had (or as the offset
// needs, up to milliseconds), and the days it passed.
struct ShiftedTime {
  char text[20] = {};
  std::size_t length = 0;
  std::int64_t days = 0;
};

ShiftedTime ShiftTime(const LogTime& time, std::int64_t offsetMs) {
  const DayAndTime offset = SplitDay(offsetMs);
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
  char* out = shifted.text;
  out = WriteDigits(out, seconds / 3600, 2);
  out = WriteDigits(out, seconds / 60 % 60, 2);
  out = WriteDigits(out, seconds % 60, 2);
  if (decimals > 0) {
    *out++ = '.';
    out = WriteDigits(out, total % perSecond, decimals);
  }
  shifted.length = static_cast<std::size_t>(out - shifted.text);
  return shifted;
}

// The date fields of an RMC (ddmmyy) or ZDA (dd,mm,yyyy) sentence for date; returns the end.
char* WriteDateFields(char* out, LogSentenceKind kind, const CalendarDate& date) {
  if (kind == LogSentenceKind::kRmc) {
    out = WriteDigits(out, date.day, 2);
    out = WriteDigits(out, date.month, 2);
    return WriteDigits(out, (date.year % 100 + 100) % 100, 2);
  }
  out = WriteDigits(out, date.day, 2);
  *out++ = ',';
  out = WriteDigits(out, date.month, 2);
  *out++ = ',';
  return WriteDigits(out, date.year, 4);
}

// Where a sentence's date stands: field 9 of RMC, fields 2 to 4 of ZDA.
std::string_view DateFields(std::string_view sentence, LogSentenceKind kind) {
  if (kind == LogSentenceKind::kRmc) return SentenceField(sentence, 9);
  const std::string_view day = SentenceField(sentence, 2);
  const std::string_view year = SentenceField(sentence, 4);
  return std::string_view(day.data(),
                          static_cast<std::size_t>(year.data() + year.size() - day.data()));
}

// Appends sentence with its time and date moved by offsetMs (the sentence as it is when it has no
// time of day), and CR LF.
void AppendShifted(std::string_view sentence, const LogLine& line, std::int64_t offsetMs,
                   std::string& out) {
  const std::string_view timeField = SentenceField(sentence, TimeFieldIndex(line.kind));
  LogTime time;
  if (!ReadLogTime(timeField, time)) {
    out.append(sentence).append("\r\n", 2);
    return;
  }
  const ShiftedTime shifted = ShiftTime(time, offsetMs);
  const std::string_view timeText(shifted.text, shifted.length);
  std::string_view dateField;
  char dateText[24];
  std::string_view dateTextView;
  CalendarDate date;
  if (ReadSentenceDate(sentence, line.kind, date)) {
    dateField = DateFields(sentence, line.kind);
    const CalendarDate moved = DateFromDays(DaysFromDate(date) + shifted.days);
    dateTextView = std::string_view(
        dateText, static_cast<std::size_t>(WriteDateFields(dateText, line.kind, moved) - dateText));
  }
  if (timeText == timeField && dateTextView == dateField) {  // moved by whole days, no date
    out.append(sentence).append("\r\n", 2);
    return;
  }
  // The time comes before the date in both sentences that carry one.
  const std::size_t start = out.size();
  const char* const begin = sentence.data();
  const char* const dataEnd = begin + std::min(sentence.find('*'), sentence.size());
  out.append(begin, timeField.data()).append(timeText);
  const char* rest = timeField.data() + timeField.size();
  if (dateField.data() != nullptr) {
    out.append(rest, dateField.data()).append(dateTextView);
    rest = dateField.data() + dateField.size();
  }
  out.append(rest, dataEnd);
  if (line.verdict == LogLineVerdict::kSentence) CloseSentence(out, start);
  out.append("\r\n", 2);
}

}  // namespace

Replay::Replay(const ReplaySettings& settings) : settings_(settings), reader_(settings.keepBad) {}

bool Replay::Open(const std::string& path) {
  reference_ = ReplayReference();
  offsetMs_ = 0;
  roundStartMs_ = 0;
  clockMs_ = 0;
  lastStepMs_ = 0;
  burstsThisRound_ = 0;
  roundOver_ = false;
  countsKept_ = false;
  error_.clear();
  if (!reader_.Open(path)) return false;
  if (!settings_.startMsOfDay && !settings_.date) return true;
  if (!FindReference(path)) return false;
  if (reference_.hasTime && settings_.startMsOfDay) {
    offsetMs_ += *settings_.startMsOfDay - reference_.firstTimeMs;
  }
  if (reference_.hasDate && settings_.date) {
    offsetMs_ += (DaysFromDate(*settings_.date) - DaysFromDate(reference_.firstDate)) *
                 DayAndTime::kMsPerDay;
  }
  return true;
}

bool Replay::FindReference(const std::string& path) {
  NmeaLogReader scan;
  if (!scan.Open(path)) return false;
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
  if (step > kHalfDayMs) step -= DayAndTime::kMsPerDay;
  if (step <= -kHalfDayMs) step += DayAndTime::kMsPerDay;
  return step > 0 ? step : 0;
}

std::string_view Replay::ShiftedText() {
  shifted_.clear();
  for (std::size_t i = 0; i < burst_.lines.size(); ++i) {
    const LogLine& line = burst_.lines[i];
    if (line.Kept() && TimeFieldIndex(line.kind) != 0) {
      AppendShifted(burst_.Line(i), line, offsetMs_, shifted_);
    } else {
      shifted_.append(burst_.text, line.start, line.length + 2);  // with its CR LF
    }
  }
  return shifted_;
}

void Replay::FindPosition(ReplayBurst& burst) const {
  burst.hasPosition = false;
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
  burst.text = offsetMs_ == 0 ? std::string_view(burst_.text) : ShiftedText();
  burst.sentenceCount = burst_.lines.size();
  FindPosition(burst);
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
  roundStartMs_ += roundMs;
  offsetMs_ += roundMs;
  burstsThisRound_ = 0;
  roundOver_ = false;
  lastHadTime_ = false;
  return true;
}

const NmeaLogCounts& Replay::Counts() const {
  return countsKept_ ? firstRoundCounts_ : reader_.Counts();
}

}  // namespace wayloom

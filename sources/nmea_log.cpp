#include "sources/nmea_log.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

#include "base/number_text.h"
#include "sentences/nmea.h"

namespace wayloom {
namespace {

// What is read from the file at a time; a line cut at the end of a block is moved to the front.
constexpr std::size_t kBlockBytes = std::size_t{256} << 10;
constexpr std::size_t kBufferBytes = kBlockBytes + kMostLogLineBytes + 2;

constexpr std::uint64_t kOnes = 0x0101010101010101;
constexpr std::uint64_t kHighBits = 0x8080808080808080;

// Whether some byte of word is zero; of bytes below limit (at most 128).
constexpr std::uint64_t AnyZero(std::uint64_t word) { return (word - kOnes) & ~word & kHighBits; }
constexpr std::uint64_t AnyBelow(std::uint64_t word, unsigned limit) {
  return (word - kOnes * limit) & ~word & kHighBits;
}

// A word with some byte that may not stand after a sentence's first character: a control
// character, DEL or above, or a second '$' or '!'. A carry out of a byte of 0xFF can mark the
// next byte too, but the word is then marked anyway.
bool AnyUnfit(std::uint64_t word) {
  const std::uint64_t belowSpace = AnyBelow(word, 0x20);
  const std::uint64_t fromDelete = ((word + kOnes) | word) & kHighBits;
  const std::uint64_t dollar = AnyZero(word ^ (kOnes * '$'));
  const std::uint64_t bang = AnyZero(word ^ (kOnes * '!'));
  return (belowSpace | fromDelete | dollar | bang) != 0;
}

bool UnfitByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte >= 0x7F || c == '$' || c == '!';
}

// Every byte printable ASCII, and no '$' or '!': eight bytes at a time, the last eight
// overlapping the ones before.
bool FitBody(const char* body, std::size_t size) {
  if (size < 8) {
    for (std::size_t i = 0; i < size; ++i) {
      if (UnfitByte(body[i])) return false;
    }
    return true;
  }
  std::uint64_t word;
  for (std::size_t i = 0; i + 8 <= size; i += 8) {
    std::memcpy(&word, body + i, sizeof word);
    if (AnyUnfit(word)) return false;
  }
  std::memcpy(&word, body + size - 8, sizeof word);
  return !AnyUnfit(word);
}

bool IsDigit(char c) { return static_cast<unsigned char>(c - '0') <= 9; }
bool IsAddressCharacter(char c) { return IsDigit(c) || (c >= 'A' && c <= 'Z'); }
bool IsHex(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
char UpperCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// RMA, RMB and RMC always needed a checksum.
bool NeedsChecksum(const char* address) {
  return address[2] == 'R' && address[3] == 'M' &&
         (address[4] == 'A' || address[4] == 'B' || address[4] == 'C');
}

// The value of the digits of text; false when it is empty or holds another character.
bool ReadDigits(std::string_view text, std::int64_t& value) {
  value = 0;
  for (const char c : text) {
    if (!IsDigit(c)) return false;
    value = value * 10 + (c - '0');
  }
  return !text.empty();
}

struct TimedKind {
  std::string_view formatter;
  LogSentenceKind kind;
  std::size_t timeField;
};

constexpr TimedKind kTimedKinds[] = {
    {"RMC", LogSentenceKind::kRmc, 1}, {"GGA", LogSentenceKind::kGga, 1},
    {"GLL", LogSentenceKind::kGll, 5}, {"GNS", LogSentenceKind::kGns, 1},
    {"ZDA", LogSentenceKind::kZda, 1}, {"GBS", LogSentenceKind::kGbs, 1},
    {"GST", LogSentenceKind::kGst, 1}, {"GRS", LogSentenceKind::kGrs, 1},
};

// Where a sentence that reports a fix has its position, and how it says that it has a fix.
enum class FixSign { kStatusA, kQualityNotZero, kStatusAOrNone, kModeNotAllN };
struct PositionFields {
  LogSentenceKind kind;
  std::size_t latitudeField;  // the hemisphere follows, then longitude and its hemisphere
  std::size_t signField;
  FixSign sign;
};

constexpr PositionFields kPositionFields[] = {
    {LogSentenceKind::kRmc, 3, 2, FixSign::kStatusA},
    {LogSentenceKind::kGga, 2, 6, FixSign::kQualityNotZero},
    {LogSentenceKind::kGll, 1, 6, FixSign::kStatusAOrNone},
    {LogSentenceKind::kGns, 2, 6, FixSign::kModeNotAllN},
};

bool ShowsFix(std::string_view field, FixSign sign) {
  switch (sign) {
    case FixSign::kStatusA:
      return field == "A";
    case FixSign::kQualityNotZero:
      return !field.empty() && field != "0";
    case FixSign::kStatusAOrNone:
      return field.data() == nullptr || field == "A";
    case FixSign::kModeNotAllN:
      return field.find_first_not_of('N') != std::string_view::npos;
  }
  return false;
}

// ddmm.mmmm (or dddmm.mmmm) and its hemisphere letter as signed degrees; false when either is no
// such text, the minutes reach 60 or the degrees go beyond mostDegrees.
bool ReadCoordinate(std::string_view value, std::string_view hemisphere, char negativeLetter,
                    char positiveLetter, double mostDegrees, double& degrees) {
  if (hemisphere.size() != 1 ||
      (hemisphere[0] != negativeLetter && hemisphere[0] != positiveLetter))
    return false;
  const double number = ParsePlainDecimal(value);
  if (!(number >= 0.0)) return false;  // NaN too
  const double whole = std::floor(number / 100.0);
  const double minutes = number - whole * 100.0;
  if (minutes >= 60.0) return false;
  degrees = whole + minutes / 60.0;
  if (degrees > mostDegrees) return false;
  if (hemisphere[0] == negativeLetter) degrees = -degrees;
  return true;
}

}  // namespace

LogLineVerdict CheckLogLine(char* line, std::size_t length) {
  if (length == 0) return LogLineVerdict::kEmpty;
  if (length > kMostLogLineBytes) return LogLineVerdict::kTooLong;
  const char start = line[0];
  if ((start != '$' && start != '!') || !FitBody(line + 1, length - 1)) {
    return LogLineVerdict::kNotNmea;
  }
  std::size_t addressEnd = 1;
  while (addressEnd < length && IsAddressCharacter(line[addressEnd])) ++addressEnd;
  if (addressEnd < length && line[addressEnd] != ',' && line[addressEnd] != '*') {
    return LogLineVerdict::kNotNmea;
  }
  const std::size_t addressLength = addressEnd - 1;
  const bool proprietary = start == '$' && addressLength >= 2 && line[1] == 'P';
  if (addressLength != 5 && !proprietary) return LogLineVerdict::kNotNmea;

  char* const star = static_cast<char*>(std::memchr(line, '*', length));
  if (star == nullptr) {
    const bool needed = start == '!' || (!proprietary && NeedsChecksum(line + 1));
    return needed ? LogLineVerdict::kBadChecksum : LogLineVerdict::kNoChecksum;
  }
  if (star != line + length - 3 || !IsHex(star[1]) || !IsHex(star[2])) {
    return LogLineVerdict::kBadChecksum;
  }
  // The framer writes the right checksum over the one the line has; the line's own comes back.
  const char given[2] = {star[1], star[2]};
  CloseSentence(line, star);
  const bool matches = UpperCase(given[0]) == star[1] && UpperCase(given[1]) == star[2];
  star[1] = given[0];
  star[2] = given[1];
  return matches ? LogLineVerdict::kSentence : LogLineVerdict::kBadChecksum;
}

LogSentenceKind SentenceKindOf(std::string_view sentence) {
  if (sentence.size() < 6 || sentence[0] != '$' || sentence[1] == 'P') {
    return LogSentenceKind::kOther;
  }
  const std::string_view formatter = sentence.substr(3, 3);
  for (const TimedKind& timed : kTimedKinds) {
    if (formatter == timed.formatter) return timed.kind;
  }
  return LogSentenceKind::kOther;
}

std::string_view SentenceField(std::string_view sentence, std::size_t index) {
  const std::size_t dataEnd = std::min(sentence.find('*'), sentence.size());
  std::size_t from = 0;
  for (std::size_t i = 0; i < index; ++i) {
    const std::size_t comma = sentence.find(',', from);
    if (comma >= dataEnd) return std::string_view();
    from = comma + 1;
  }
  const std::size_t to = std::min(sentence.find(',', from), dataEnd);
  return sentence.substr(from, to - from);
}

std::size_t TimeFieldIndex(LogSentenceKind kind) {
  for (const TimedKind& timed : kTimedKinds) {
    if (timed.kind == kind) return timed.timeField;
  }
  return 0;
}

std::int64_t LogTime::Ms() const {
  std::int64_t ms = units;
  for (int i = decimals; i < 3; ++i) ms *= 10;
  for (int i = 3; i < decimals; ++i) ms /= 10;
  return ms;
}

bool ReadLogTime(std::string_view field, LogTime& time) {
  std::int64_t hours = 0;
  std::int64_t minutes = 0;
  std::int64_t seconds = 0;
  if (field.size() < 6 || !ReadDigits(field.substr(0, 2), hours) ||
      !ReadDigits(field.substr(2, 2), minutes) || !ReadDigits(field.substr(4, 2), seconds) ||
      hours >= 24 || minutes >= 60 || seconds >= 60) {
    return false;
  }
  std::int64_t fraction = 0;
  int decimals = 0;
  if (field.size() > 6) {
    decimals = static_cast<int>(field.size()) - 7;
    if (field[6] != '.' || decimals < 1 || decimals > 9 || !ReadDigits(field.substr(7), fraction)) {
      return false;
    }
  }
  std::int64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  time.units = ((hours * 60 + minutes) * 60 + seconds) * scale + fraction;
  time.decimals = decimals;
  return true;
}

bool ReadSentenceDate(std::string_view sentence, LogSentenceKind kind, CalendarDate& date) {
  char iso[10] = {'0', '0', '0', '0', '-', '0', '0', '-', '0', '0'};
  if (kind == LogSentenceKind::kRmc) {
    const std::string_view field = SentenceField(sentence, 9);
    std::int64_t yearOfCentury = 0;
    if (field.size() != 6 || !ReadDigits(field.substr(4, 2), yearOfCentury)) return false;
    WriteDigits(iso, (yearOfCentury >= 80 ? 1900 : 2000) + yearOfCentury, 4);
    std::memcpy(iso + 5, field.data() + 2, 2);
    std::memcpy(iso + 8, field.data(), 2);
  } else if (kind == LogSentenceKind::kZda) {
    const std::string_view day = SentenceField(sentence, 2);
    const std::string_view month = SentenceField(sentence, 3);
    const std::string_view year = SentenceField(sentence, 4);
    if (day.size() != 2 || month.size() != 2 || year.size() != 4) return false;
    std::memcpy(iso, year.data(), 4);
    std::memcpy(iso + 5, month.data(), 2);
    std::memcpy(iso + 8, day.data(), 2);
  } else {
    return false;
  }
  return ParseIsoDate(std::string_view(iso, sizeof iso), date);
}

bool ReadSentencePosition(std::string_view sentence, LogSentenceKind kind, double& latitude,
                          double& longitude) {
  for (const PositionFields& fields : kPositionFields) {
    if (fields.kind != kind) continue;
    const std::size_t at = fields.latitudeField;
    double north = 0.0;
    double east = 0.0;
    if (!ShowsFix(SentenceField(sentence, fields.signField), fields.sign) ||
        !ReadCoordinate(SentenceField(sentence, at), SentenceField(sentence, at + 1), 'S', 'N',
                        90.0, north) ||
        !ReadCoordinate(SentenceField(sentence, at + 2), SentenceField(sentence, at + 3), 'W', 'E',
                        180.0, east)) {
      return false;
    }
    latitude = north;
    longitude = east;
    return true;
  }
  return false;
}

NmeaLogReader::NmeaLogReader(bool keepBad) : keepBad_(keepBad), buffer_(new char[kBufferBytes]) {}

NmeaLogReader::~NmeaLogReader() {
  if (file_ != nullptr) std::fclose(file_);
}

bool NmeaLogReader::Open(const std::string& path) {
  if (file_ != nullptr) std::fclose(file_);
  errno = 0;
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) {
    error_ = std::error_code(errno != 0 ? errno : ENOENT, std::generic_category());
    return false;
  }
  error_.clear();
  counts_ = NmeaLogCounts();
  Reset();
  return true;
}

bool NmeaLogReader::Rewind() {
  if (file_ == nullptr) return false;
  std::clearerr(file_);
  errno = 0;
  if (std::fseek(file_, 0, SEEK_SET) != 0) {
    error_ = std::error_code(errno != 0 ? errno : ESPIPE, std::generic_category());
    return false;
  }
  error_.clear();
  Reset();
  return true;
}

void NmeaLogReader::Reset() {
  begin_ = 0;
  end_ = 0;
  atEnd_ = false;
  skipping_ = false;
  hasPending_ = false;
  state_ = BurstState();
  atStart_ = true;
}

bool NmeaLogReader::Refill() {
  const std::size_t waiting = end_ - begin_;
  if (waiting > kMostLogLineBytes + 1) {  // no line end yet, and more than a line with its CR
    if (!skipping_) ++counts_.tooLong;
    skipping_ = true;
    begin_ = end_;
  }
  std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  errno = 0;
  const std::size_t read = std::fread(buffer_.get() + end_, 1, kBufferBytes - end_, file_);
  end_ += read;
  if (read == 0) {
    atEnd_ = true;
    if (std::ferror(file_)) {
      error_ = std::error_code(errno != 0 ? errno : EIO, std::generic_category());
      return false;
    }
  }
  return true;
}

bool NmeaLogReader::NextLine(char*& line, std::size_t& length) {
  if (file_ == nullptr) return false;
  for (;;) {
    char* const from = buffer_.get() + begin_;
    const std::size_t waiting = end_ - begin_;
    const auto* lineFeed = static_cast<const char*>(std::memchr(from, '\n', waiting));
    std::size_t size = 0;
    if (lineFeed != nullptr) {
      size = static_cast<std::size_t>(lineFeed - from);
      begin_ += size + 1;
    } else if (atEnd_) {
      if (waiting == 0) return false;
      size = waiting;  // the last line, without a line end
      begin_ = end_;
    } else {
      if (!Refill()) return false;
      continue;
    }
    if (skipping_) {  // the end of a line too long to hold
      skipping_ = false;
      continue;
    }
    char* start = from;
    if (atStart_) {  // a UTF-8 byte-order mark, as some editors write, is no part of the log
      atStart_ = false;
      if (size >= 3 && std::memcmp(start, "\xEF\xBB\xBF", 3) == 0) {
        start += 3;
        size -= 3;
      }
    }
    while (size > 0 && start[size - 1] == '\r') --size;
    if (size > kMostLogLineBytes) {
      ++counts_.tooLong;
      continue;
    }
    line = start;
    length = size;
    return true;
  }
}

bool NmeaLogReader::Admit(char* line, std::size_t length, JudgedLine& judged) {
  judged = JudgedLine();
  judged.info.length = length;
  judged.info.verdict = CheckLogLine(line, length);
  switch (judged.info.verdict) {
    case LogLineVerdict::kEmpty:
      return false;
    case LogLineVerdict::kBadChecksum:
      ++counts_.badChecksum;
      return keepBad_;
    case LogLineVerdict::kNotNmea:
      ++counts_.notNmea;
      return keepBad_;
    case LogLineVerdict::kTooLong:  // NextLine holds no such line
      ++counts_.tooLong;
      return false;
    case LogLineVerdict::kNoChecksum:
      ++counts_.withoutChecksum;
      break;
    case LogLineVerdict::kSentence:
      break;
  }
  ++counts_.sentences;
  const std::string_view sentence(line, length);
  judged.info.kind = SentenceKindOf(sentence);
  const std::size_t timeField = TimeFieldIndex(judged.info.kind);
  LogTime time;
  judged.hasTime = timeField != 0 && ReadLogTime(SentenceField(sentence, timeField), time);
  judged.timeMs = judged.hasTime ? time.Ms() : 0;
  return true;
}

bool NmeaLogReader::StartsBurst(const BurstState& state, const JudgedLine& judged) {
  if (!judged.info.Kept()) return false;  // a bad line kept as it stands goes with the burst
  if (judged.hasTime) {
    return state.hasTime ? judged.timeMs != state.timeOfDayMs : state.hasRmc || state.hasGga;
  }
  if (judged.info.kind == LogSentenceKind::kRmc) return state.hasRmc;
  if (judged.info.kind == LogSentenceKind::kGga) return state.hasGga;
  return false;
}

void NmeaLogReader::Append(LogBurst& burst, const char* line, const JudgedLine& judged) {
  LogLine stored = judged.info;
  stored.start = burst.text.size();
  burst.text.append(line, stored.length);
  burst.text.append("\r\n", 2);
  burst.lines.push_back(stored);
  if (!stored.Kept()) return;
  if (judged.hasTime && !state_.hasTime) {
    state_.hasTime = true;
    state_.timeOfDayMs = judged.timeMs;
  }
  if (stored.kind == LogSentenceKind::kRmc) state_.hasRmc = true;
  if (stored.kind == LogSentenceKind::kGga) state_.hasGga = true;
}

bool NmeaLogReader::Next(LogBurst& burst) {
  burst.text.clear();
  burst.lines.clear();
  if (hasPending_) {
    hasPending_ = false;
    Append(burst, pending_.data(), pendingLine_);
  }
  char* line = nullptr;
  std::size_t length = 0;
  JudgedLine judged;
  while (burst.lines.size() < kMostBurstLines && NextLine(line, length)) {
    if (!Admit(line, length, judged)) continue;
    if (!burst.lines.empty() && StartsBurst(state_, judged)) {
      pending_.assign(line, length);
      pendingLine_ = judged;
      hasPending_ = true;
      break;
    }
    Append(burst, line, judged);
  }
  burst.hasTime = state_.hasTime;
  burst.timeOfDayMs = state_.timeOfDayMs;
  // A burst cut at its longest goes on in the next one, with its time.
  if (burst.lines.size() < kMostBurstLines) state_ = BurstState();
  return !burst.lines.empty();
}

}  // namespace wayloom

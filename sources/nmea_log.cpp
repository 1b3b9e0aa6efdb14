#include "sources/nmea_log.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/number_text.h"
#include "sentences/fields.h"
#include "sentences/nmea.h"

namespace wayloom {
namespace {

// What is read from the file at a time; a line cut at the end of a block is moved to the front.
constexpr std::size_t kBlockBytes = std::size_t{256} << 10;
constexpr std::size_t kBufferBytes = kBlockBytes + kMostLogLineBytes + 2;
// Zero bytes after the last byte read: a scan sixteen bytes at a time stops at them.
constexpr std::size_t kScanPadding = 16;

constexpr std::uint64_t kOnes = 0x0101010101010101;
constexpr std::uint64_t kHighBits = 0x8080808080808080;

// Whether some byte of word is zero; of bytes below limit (at most 128).
constexpr std::uint64_t AnyZero(std::uint64_t word) { return (word - kOnes) & ~word & kHighBits; }
constexpr std::uint64_t AnyBelow(std::uint64_t word, unsigned limit) {
  return (word - kOnes * limit) & ~word & kHighBits;
}

// What may not stand in a sentence's text after its first character: control characters, DEL
// and above, a second '$' or '!', and a '*' other than the one before the checksum.
bool Reserved(char c) { return c == '$' || c == '!' || c == '*'; }
bool Unprintable(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte >= 0x7F;
}

// Whether some of the eight bytes at text may not stand in a sentence's text. A carry out of a
// byte of 0xFF can mark the next byte too, but the word is then marked anyway.
bool AnyUnfit8(const char* text) {
  std::uint64_t word;
  std::memcpy(&word, text, sizeof word);
  const std::uint64_t belowSpace = AnyBelow(word, 0x20);
  const std::uint64_t fromDelete = ((word + kOnes) | word) & kHighBits;
  const std::uint64_t reserved =
      AnyZero(word ^ (kOnes * '$')) | AnyZero(word ^ (kOnes * '!')) | AnyZero(word ^ (kOnes * '*'));
  return (belowSpace | fromDelete | reserved) != 0;
}

#if defined(__SSE2__)
// The same for sixteen bytes, as a mask: bit i for byte i. As signed bytes, those from 0x80 are
// negative: one comparison finds them with the control characters.
unsigned UnfitMask16(const char* text) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
  __m128i unfit = _mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20));
  unfit = _mm_or_si128(unfit, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x7F)));
  unfit = _mm_or_si128(unfit, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('$')));
  unfit = _mm_or_si128(unfit, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('!')));
  unfit = _mm_or_si128(unfit, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('*')));
  return static_cast<unsigned>(_mm_movemask_epi8(unfit));
}
bool AnyUnfit16(const char* text) { return UnfitMask16(text) != 0; }
#endif

// Every byte printable ASCII and none reserved: the text of a sentence between its start and the
// '*' of its checksum. A whole number of blocks, the last one overlapping the ones before.
bool PlainText(const char* text, std::size_t size) {
#if defined(__SSE2__)
  if (size >= 16) {
    for (std::size_t i = 0; i + 16 <= size; i += 16) {
      if (AnyUnfit16(text + i)) return false;
    }
    return !AnyUnfit16(text + size - 16);
  }
#endif
  if (size >= 8) {
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
      if (AnyUnfit8(text + i)) return false;
    }
    return !AnyUnfit8(text + size - 8);
  }
  for (std::size_t i = 0; i < size; ++i) {
    if (Unprintable(text[i]) || Reserved(text[i])) return false;
  }
  return true;
}

// Printable, with no second '$' or '!' ('*' may stand anywhere): a sentence with its checksum
// cut short or misplaced, or no sentence at all.
bool PrintableText(const char* text, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    if (Unprintable(text[i]) || (Reserved(text[i]) && text[i] != '*')) return false;
  }
  return true;
}

bool IsDigit(char c) { return static_cast<unsigned char>(c - '0') <= 9; }
// Upper-case letters and digits, looked up: five of them start every sentence.
constexpr auto kAddressCharacters = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c)
    table[static_cast<std::size_t>(c)] = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
  return table;
}();
bool IsAddressCharacter(char c) { return kAddressCharacters[static_cast<unsigned char>(c)]; }
bool IsHex(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
char UpperCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The length of the usual sentence that starts at line (a '$' or '!' read before): plain text, a
// '*', two hex digits, then LF or CR LF, whose length goes to lineEnd. Found in one pass that
// stops at the first byte that is not plain text, where the line feed is too. 0 for any other
// line, which the general rules then judge. The bytes after the last one read are zeros.
std::size_t UsualSentenceLength(const char* line, std::size_t& lineEnd) {
#if defined(__SSE2__)
  const char* at = line + 1;
  for (unsigned mask = 0;; at += 16) {
    if (at - line > static_cast<std::ptrdiff_t>(kMostLogLineBytes)) return 0;
    mask = UnfitMask16(at);
    if (mask != 0) {
      at += __builtin_ctz(mask);
      break;
    }
  }
  if (*at != '*' || !IsHex(at[1]) || !IsHex(at[2])) return 0;
  const auto length = static_cast<std::size_t>(at + 3 - line);
  if (length > kMostLogLineBytes) return 0;
  if (at[3] == '\n') {
    lineEnd = 1;
  } else if (at[3] == '\r' && at[4] == '\n') {
    lineEnd = 2;
  } else {
    return 0;
  }
  return length;
#else
  (void)line;
  (void)lineEnd;
  return 0;
#endif
}

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

constexpr std::size_t kKindCount = static_cast<std::size_t>(LogSentenceKind::kGrs) + 1;
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

constexpr std::size_t kLastPositionField = 6;
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

// CheckLogLine, told whether the reader found line to be the usual sentence.
LogLineVerdict CheckLine(char* line, std::size_t length, bool usual) {
  if (length == 0) return LogLineVerdict::kEmpty;
  if (length > kMostLogLineBytes) return LogLineVerdict::kTooLong;
  const char start = line[0];
  if (start != '$' && start != '!') return LogLineVerdict::kNotNmea;
  // The usual sentence ends in "*hh" and holds nothing reserved before: one pass over its text,
  // made already when the reader found its line end.
  const bool closed = usual || (length >= 4 && line[length - 3] == '*');
  const bool plain = usual || PlainText(line + 1, (closed ? length - 3 : length) - 1);
  if (!plain && !PrintableText(line + 1, length - 1)) return LogLineVerdict::kNotNmea;
  std::size_t addressEnd = 1;
  if (length > 6 && line[6] == ',' && IsAddressCharacter(line[1]) && IsAddressCharacter(line[2]) &&
      IsAddressCharacter(line[3]) && IsAddressCharacter(line[4]) && IsAddressCharacter(line[5])) {
    addressEnd = 6;  // the usual address: talker and sentence, five characters
  }
  while (addressEnd < length && IsAddressCharacter(line[addressEnd])) ++addressEnd;
  if (addressEnd < length && line[addressEnd] != ',' && line[addressEnd] != '*') {
    return LogLineVerdict::kNotNmea;
  }
  const std::size_t addressLength = addressEnd - 1;
  const bool proprietary = start == '$' && addressLength >= 2 && line[1] == 'P';
  if (addressLength != 5 && !proprietary) return LogLineVerdict::kNotNmea;
  if (!plain) return LogLineVerdict::kBadChecksum;  // a '*' with no checksum after it
  if (!closed) {
    const bool needed = start == '!' || (!proprietary && NeedsChecksum(line + 1));
    return needed ? LogLineVerdict::kBadChecksum : LogLineVerdict::kNoChecksum;
  }
  char* const star = line + length - 3;
  if (!usual && (!IsHex(star[1]) || !IsHex(star[2]))) return LogLineVerdict::kBadChecksum;
  // The framer writes the right checksum over the one the line has; the line's own comes back.
  const char given[2] = {star[1], star[2]};
  CloseSentence(line, star);
  const bool matches = UpperCase(given[0]) == star[1] && UpperCase(given[1]) == star[2];
  star[1] = given[0];
  star[2] = given[1];
  return matches ? LogLineVerdict::kSentence : LogLineVerdict::kBadChecksum;
}

}  // namespace

LogLineVerdict CheckLogLine(char* line, std::size_t length) {
  return CheckLine(line, length, false);
}

LogSentenceKind SentenceKindOf(std::string_view sentence) {
  if (sentence.size() < 6 || sentence[0] != '$' || sentence[1] == 'P') {
    return LogSentenceKind::kOther;
  }
  // The three letters as one number, compared with the table's: every sentence is looked up.
  const auto key = [](const char* letters) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(letters[0])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(letters[1])) << 8 |
           static_cast<unsigned char>(letters[2]);
  };
  const std::uint32_t formatter = key(sentence.data() + 3);
  for (const TimedKind& timed : kTimedKinds) {
    if (formatter == key(timed.formatter.data())) return timed.kind;
  }
  return LogSentenceKind::kOther;
}

void SentenceFields(std::string_view sentence, std::size_t first, std::string_view* fields,
                    std::size_t count) {
  std::size_t dataEnd = sentence.size();
  if (dataEnd >= 3 && sentence[dataEnd - 3] == '*') dataEnd -= 3;
  const char* at = sentence.data();
  const char* const end = at + dataEnd;
  const auto nextComma = [&at, end] {
    return static_cast<const char*>(std::memchr(at, ',', static_cast<std::size_t>(end - at)));
  };
  std::size_t i = 0;
  std::size_t skipped = 0;
  if (first > 0 && dataEnd > 6 && (sentence[0] == '$' || sentence[0] == '!') &&
      sentence[6] == ',') {  // the usual five-letter address
    at += 7;
    skipped = 1;
  }
  for (; skipped < first; ++skipped) {
    const char* const comma = nextComma();
    if (comma == nullptr) {
      i = count;  // the sentence has no field at first
      break;
    }
    at = comma + 1;
  }
  for (std::size_t filled = 0; filled < count; ++filled) fields[filled] = std::string_view();
  for (; i < count; ++i) {
    const char* const comma = nextComma();
    const char* const fieldEnd = comma != nullptr ? comma : end;
    fields[i] = std::string_view(at, static_cast<std::size_t>(fieldEnd - at));
    if (comma == nullptr) break;
    at = comma + 1;
  }
}

std::string_view SentenceField(std::string_view sentence, std::size_t index) {
  std::string_view field;
  SentenceFields(sentence, index, &field, 1);
  return field;
}

std::size_t TimeFieldIndex(LogSentenceKind kind) {
  static constexpr auto kIndexOfKind = [] {
    std::array<std::size_t, kKindCount> index{};
    for (const TimedKind& timed : kTimedKinds) {
      index[static_cast<std::size_t>(timed.kind)] = timed.timeField;
    }
    return index;
  }();
  return kIndexOfKind[static_cast<std::size_t>(kind)];
}

std::int64_t LogTime::Ms() const {
  std::int64_t ms = units;
  for (int i = decimals; i < 3; ++i) ms *= 10;
  for (int i = 3; i < decimals; ++i) ms /= 10;
  return ms;
}

bool ReadLogTime(std::string_view field, LogTime& time) {
  const std::size_t size = field.size();
  if (size < 6 || (size > 6 && (size < 8 || size > 16 || field[6] != '.'))) return false;
  std::int64_t digits[6];
  for (std::size_t i = 0; i < 6; ++i) {
    digits[i] = field[i] - '0';
    if (digits[i] < 0 || digits[i] > 9) return false;
  }
  const std::int64_t hours = digits[0] * 10 + digits[1];
  const std::int64_t minutes = digits[2] * 10 + digits[3];
  const std::int64_t seconds = digits[4] * 10 + digits[5];
  if (hours >= 24 || minutes >= 60 || seconds >= 60) return false;
  std::int64_t units = (hours * 60 + minutes) * 60 + seconds;
  for (std::size_t i = 7; i < size; ++i) {  // the fraction, at most nine digits
    const std::int64_t digit = field[i] - '0';
    if (digit < 0 || digit > 9) return false;
    units = units * 10 + digit;
  }
  time.units = units;
  time.decimals = size > 6 ? static_cast<int>(size) - 7 : 0;
  return true;
}

bool ReadSentenceDate(std::string_view sentence, LogSentenceKind kind, CalendarDate& date) {
  char iso[10] = {'0', '0', '0', '0', '-', '0', '0', '-', '0', '0'};
  if (kind == LogSentenceKind::kRmc) {
    const std::string_view field = SentenceField(sentence, 9);
    std::int64_t yearOfCentury = 0;
    if (field.size() != 6 || !ReadDigits(field.substr(4, 2), yearOfCentury)) return false;
    WriteDigits(iso,
                static_cast<std::uint64_t>((yearOfCentury >= 80 ? 1900 : 2000) + yearOfCentury), 4);
    std::memcpy(iso + 5, field.data() + 2, 2);
    std::memcpy(iso + 8, field.data(), 2);
  } else if (kind == LogSentenceKind::kZda) {
    std::string_view fields[3];  // day, month, year
    SentenceFields(sentence, 2, fields, 3);
    const std::string_view day = fields[0];
    const std::string_view month = fields[1];
    const std::string_view year = fields[2];
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
  for (const PositionFields& where : kPositionFields) {
    if (where.kind != kind) continue;
    std::string_view fields[kLastPositionField + 1];  // 0 is left out
    SentenceFields(sentence, 1, fields + 1, kLastPositionField);
    const std::size_t at = where.latitudeField;
    double north = 0.0;
    double east = 0.0;
    if (!ShowsFix(fields[where.signField], where.sign) ||
        !ReadCoordinate(fields[at], fields[at + 1], 'S', 'N', 90.0, north) ||
        !ReadCoordinate(fields[at + 2], fields[at + 3], 'W', 'E', 180.0, east)) {
      return false;
    }
    latitude = north;
    longitude = east;
    return true;
  }
  return false;
}

NmeaLogReader::NmeaLogReader(bool keepBad)
    : keepBad_(keepBad), buffer_(new char[kBufferBytes + kScanPadding]()) {}

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
  lastTimeField_.clear();
  lastTimeValid_ = false;
  unended_ = false;
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
  if (stopRequested_ && stopRequested_()) {
    begin_ = end_;  // the rest of an interrupted line is no line
    atEnd_ = true;
    error_ = std::make_error_code(std::errc::interrupted);
    return false;
  }
  errno = 0;
  const std::size_t read = std::fread(buffer_.get() + end_, 1, kBufferBytes - end_, file_);
  end_ += read;
  std::memset(buffer_.get() + end_, 0, kScanPadding);
  if (read == 0) {
    atEnd_ = true;
    if (std::ferror(file_)) {
      error_ = std::error_code(errno != 0 ? errno : EIO, std::generic_category());
      return false;
    }
  }
  return true;
}

bool NmeaLogReader::NextLine(char*& line, std::size_t& length, bool& usual) {
  if (file_ == nullptr) return false;
  usual = false;
  char* const next = buffer_.get() + begin_;
  if (!skipping_ && !atStart_ && begin_ < end_ && (*next == '$' || *next == '!')) {
    std::size_t lineEnd = 0;
    length = UsualSentenceLength(next, lineEnd);
    if (length != 0) {
      usual = true;
      line = next;
      begin_ += length + lineEnd;
      return true;
    }
  }
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
      unended_ = true;
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

bool NmeaLogReader::Admit(char* line, std::size_t length, bool usual, JudgedLine& judged) {
  judged = JudgedLine();
  judged.info.length = length;
  judged.info.verdict = CheckLine(line, length, usual);
  // A recording stopped in the middle of a sentence leaves it without its checksum.
  if (judged.info.verdict == LogLineVerdict::kNoChecksum && unended_) {
    judged.info.verdict = LogLineVerdict::kBadChecksum;
  }
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
  const std::size_t timeIndex = TimeFieldIndex(judged.info.kind);
  if (timeIndex == 0) return true;
  const std::string_view timeField = SentenceField(sentence, timeIndex);
  if (timeField.data() != nullptr) {
    judged.info.timeStart = static_cast<std::uint16_t>(timeField.data() - line);
    judged.info.timeLength = static_cast<std::uint16_t>(timeField.size());
  }
  // The sentences of a burst mostly share the text of their time: it is read once.
  if (timeField != lastTimeField_) {
    lastTimeField_.assign(timeField);
    LogTime time;
    lastTimeValid_ = ReadLogTime(timeField, time);
    lastTimeMs_ = lastTimeValid_ ? time.Ms() : 0;
  }
  judged.hasTime = lastTimeValid_;
  judged.timeMs = lastTimeMs_;
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
  stored.start = burst.textSize_;
  char* const at = burst.text_.get() + stored.start;
  std::memcpy(at, line, stored.length);
  std::memcpy(at + stored.length, "\r\n", 2);
  burst.textSize_ += stored.length + 2;
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
  burst.textSize_ = 0;
  burst.lines.clear();
  if (hasPending_) {
    hasPending_ = false;
    Append(burst, pending_.data(), pendingLine_);
  }
  char* line = nullptr;
  std::size_t length = 0;
  bool usual = false;
  JudgedLine judged;
  while (burst.lines.size() < kMostBurstLines && NextLine(line, length, usual)) {
    if (!Admit(line, length, usual, judged)) continue;
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

#include "sentences/fields.h"

#include <cstring>

#include "base/units.h"

namespace wayloom {

char* WriteDigits(char* out, std::uint64_t value, int width) {
  // Written from the right, two digits at a time.
  char digits[20];
  char* const end = digits + sizeof digits;
  char* at = end;
  for (; value >= 100; value /= 100) {
    at -= 2;
    WriteTwoDigits(at, value % 100);
  }
  if (value >= 10) {
    at -= 2;
    WriteTwoDigits(at, value);
  } else {
    *--at = static_cast<char>('0' + value);
  }
  const auto count = static_cast<std::size_t>(end - at);
  for (auto pad = static_cast<int>(count); pad < width; ++pad) *out++ = '0';
  std::memcpy(out, at, count);
  return out + count;
}

char* WriteTimeField(char* out, std::uint64_t msOfDay) {
  out = WriteTwoDigits(out, msOfDay / 3600000);
  out = WriteTwoDigits(out, msOfDay / 60000 % 60);
  out = WriteTwoDigits(out, msOfDay / 1000 % 60);
  *out++ = '.';
  *out++ = static_cast<char>('0' + msOfDay % 1000 / 100);
  out = WriteTwoDigits(out, msOfDay % 100);
  *out++ = ',';
  return out;
}

char* WriteDdmmyy(char* out, const CalendarDate& date) {
  out = WriteTwoDigits(out, static_cast<std::uint64_t>(date.day));
  out = WriteTwoDigits(out, static_cast<std::uint64_t>(date.month));
  return WriteTwoDigits(out,
                        static_cast<std::uint64_t>(date.year - FloorDivide(date.year, 100) * 100));
}

unsigned SentenceChecksum(std::string_view body) {
  // Eight bytes at a time: the XOR of the words, folded to one byte at the end.
  std::uint64_t words = 0;
  std::size_t i = 0;
  for (; i + 8 <= body.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, body.data() + i, sizeof word);
    words ^= word;
  }
  for (; i < body.size(); ++i) words ^= static_cast<unsigned char>(body[i]);
  words ^= words >> 32;
  words ^= words >> 16;
  words ^= words >> 8;
  return static_cast<unsigned>(words & 0xFF);
}

char* CloseSentence(char* sentenceStart, char* end) {
  static const char kHex[] = "0123456789ABCDEF";
  const unsigned checksum = SentenceChecksum(
      std::string_view(sentenceStart + 1, static_cast<std::size_t>(end - sentenceStart) - 1));
  *end++ = '*';
  *end++ = kHex[(checksum >> 4) & 0xF];
  *end++ = kHex[checksum & 0xF];
  return end;
}

void CloseSentence(std::string& out, std::size_t sentenceStart) {
  const std::size_t end = out.size();
  out.resize(end + 3);
  CloseSentence(out.data() + sentenceStart, out.data() + end);
}

}  // namespace wayloom

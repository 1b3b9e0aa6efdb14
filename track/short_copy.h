// Copying of short texts (sentence fields, coordinates, whole sentences) without a call into the
// C library for each: a few fixed-size moves that the compiler turns into plain loads and stores.
// Formatting a sentence copies some twenty pieces of a few bytes each, where the call would cost
// more than the copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace wayloom {

// Copies of more than 16 bytes: an ordinary memcpy, kept out of line.
char* CopyLong(char* out, const char* source, std::size_t size);

// Copies size bytes, between sizeof(Word) and twice that, as two possibly overlapping words: the
// first and the last sizeof(Word) bytes.
template <typename Word>
inline void CopyTwoWords(char* out, const char* source, std::size_t size) {
  Word head;
  Word tail;
  std::memcpy(&head, source, sizeof head);
  std::memcpy(&tail, source + size - sizeof tail, sizeof tail);
  std::memcpy(out, &head, sizeof head);
  std::memcpy(out + size - sizeof tail, &tail, sizeof tail);
}

// Copies size bytes from source to out (the two must not overlap); returns the end of the copy.
inline char* CopyShort(char* out, const char* source, std::size_t size) {
  if (size >= 8 && size <= 16) {
    CopyTwoWords<std::uint64_t>(out, source, size);
  } else if (size >= 4 && size < 8) {
    CopyTwoWords<std::uint32_t>(out, source, size);
  } else if (size < 4) {
    if (size > 0) out[0] = source[0];
    if (size > 1) out[1] = source[1];
    if (size > 2) out[2] = source[2];
  } else {
    return CopyLong(out, source, size);
  }
  return out + size;
}

}  // namespace wayloom

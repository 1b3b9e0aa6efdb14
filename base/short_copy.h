// Copying and comparing of short texts (sentence fields, coordinates, whole sentences) without a
// call into the C library for each: a few fixed-size moves that the compiler turns into plain loads
// and stores.
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

// Whether the size bytes (at most 16) at a and at b are the same, compared as at most two
// possibly overlapping words.
template <typename Word>
inline bool SameTwoWords(const char* a, const char* b, std::size_t size) {
  Word a0;
  Word a1;
  Word b0;
  Word b1;
  std::memcpy(&a0, a, sizeof a0);
  std::memcpy(&a1, a + size - sizeof a1, sizeof a1);
  std::memcpy(&b0, b, sizeof b0);
  std::memcpy(&b1, b + size - sizeof b1, sizeof b1);
  return ((a0 ^ b0) | (a1 ^ b1)) == 0;
}

inline bool EqualShort(const char* a, const char* b, std::size_t size) {
  if (size >= 8) return SameTwoWords<std::uint64_t>(a, b, size);
  if (size >= 4) return SameTwoWords<std::uint32_t>(a, b, size);
  for (std::size_t i = 0; i < size; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace wayloom

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

// Copies size bytes from source to out (the two must not overlap); returns the end of the copy.
inline char* CopyShort(char* out, const char* source, std::size_t size) {
  if (size >= 8 && size <= 16) {
    std::uint64_t head;
    std::uint64_t tail;
    std::memcpy(&head, source, 8);
    std::memcpy(&tail, source + size - 8, 8);
    std::memcpy(out, &head, 8);
    std::memcpy(out + size - 8, &tail, 8);
  } else if (size >= 4 && size < 8) {
    std::uint32_t head;
    std::uint32_t tail;
    std::memcpy(&head, source, 4);
    std::memcpy(&tail, source + size - 4, 4);
    std::memcpy(out, &head, 4);
    std::memcpy(out + size - 4, &tail, 4);
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

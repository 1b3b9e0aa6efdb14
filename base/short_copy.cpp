#include "base/short_copy.h"

namespace wayloom {

char* CopyLong(char* out, const char* source, std::size_t size) {
  std::memcpy(out, source, size);
  return out + size;
}

}  // namespace wayloom

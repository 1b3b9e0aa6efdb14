// A hint to the processor to fetch memory that will be read soon. Reading points out of file order
// (a closest-order track) otherwise waits on memory at every point. It changes nothing else.
#pragma once

namespace wayloom {

inline void PrefetchForReading(const void* address) {
#if defined(__GNUC__)
  __builtin_prefetch(address);
#else
  (void)address;
#endif
}

}  // namespace wayloom

// What a front end shows of the sentences a live output sends: the last of them, in a ring of a
// fixed number of lines (memory stays bounded however long the output runs), each numbered as it
// comes so that a reader takes only the lines after the last one it took; and the satellites the
// sentences say the fix used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wayloom {

class SentenceRing {
 public:
  explicit SentenceRing(std::size_t capacity) : lines_(capacity) {}

  // Adds every line of text (sentences each ending in CR LF; the line ends are not kept).
  void AddLines(std::string_view text);
  void Clear() { added_ = 0; }
  // How many lines were ever added.
  std::uint64_t Added() const { return added_; }
  // The lines after the first `seen` ever added that the ring still holds, oldest first.
  std::vector<std::string> Since(std::uint64_t seen) const;

 private:
  std::vector<std::string> lines_;  // line k of all added is at k % capacity
  std::uint64_t added_ = 0;
};

// The satellites used as a fix's GGA (or else GNS) sentence gives them; empty when neither is
// among the sentences or the field is empty.
std::string SatellitesUsed(std::string_view sentences);

}  // namespace wayloom

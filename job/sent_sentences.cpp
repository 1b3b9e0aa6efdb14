#include "job/sent_sentences.h"

#include <algorithm>

namespace wayloom {

namespace {

// The next line of text from start on (without its line end), start moved past it.
std::string_view NextLine(std::string_view text, std::size_t& start) {
  const std::size_t end = std::min(text.find('\n', start), text.size());
  std::string_view line = text.substr(start, end - start);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  start = end + 1;
  return line;
}

}  // namespace

void SentenceRing::AddLines(std::string_view text) {
  if (lines_.empty()) return;
  for (std::size_t start = 0; start < text.size();) {
    const std::string_view line = NextLine(text, start);
    lines_[added_ % lines_.size()].assign(line);
    ++added_;
  }
}

std::vector<std::string> SentenceRing::Since(std::uint64_t seen) const {
  const std::uint64_t held = std::min<std::uint64_t>(added_, lines_.size());
  std::vector<std::string> lines;
  for (std::uint64_t k = std::max(seen, added_ - held); k < added_; ++k) {
    lines.push_back(lines_[k % lines_.size()]);
  }
  return lines;
}

std::string SatellitesUsed(std::string_view sentences) {
  std::string gns;
  for (std::size_t start = 0; start < sentences.size();) {
    const std::string_view line = NextLine(sentences, start);
    if (line.size() < 7 || line[0] != '$') continue;
    const std::string_view type = line.substr(3, 4);
    if (type != "GGA," && type != "GNS,") continue;
    // The satellites are the seventh field in both.
    std::size_t field = 0;
    for (int comma = 0; comma < 7 && field != std::string_view::npos; ++comma) {
      field = line.find(',', field + 1);
    }
    if (field == std::string_view::npos) continue;
    const std::string_view value = line.substr(field + 1, line.find(',', field + 1) - field - 1);
    if (type == "GGA,") return std::string(value);
    gns.assign(value);
  }
  return gns;
}

}  // namespace wayloom

// Lists of names typed as one setting, "RMC,GGA" or "gps,galileo": each name from a table, in
// upper or lower case, at most once. The sentence list and the system list read this way.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wayloom {

// Reads text, names separated by commas, into the values the table gives them, in the order
// typed. The names compare in the case the table writes them in (upperCase: "RMC"; otherwise
// "gps"), whatever case they are typed in. An empty text when good; otherwise what is wrong:
// "unknown WHAT 'NAME' (known: ...)" (also for an empty name) or "WHAT NAME is listed twice".
template <typename Value, std::size_t kCount>
std::string ParseNameList(std::string_view text, std::string_view what,
                          const std::pair<std::string_view, Value> (&table)[kCount], bool upperCase,
                          std::vector<Value>& values) {
  std::vector<Value> result;
  for (std::size_t from = 0;;) {
    const std::size_t comma = std::min(text.find(',', from), text.size());
    std::string name(text.substr(from, comma - from));
    for (char& c : name) {
      if (upperCase && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (!upperCase && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    const auto* found = std::find_if(std::begin(table), std::end(table),
                                     [&name](const auto& entry) { return entry.first == name; });
    if (found == std::end(table)) {
      std::string known;
      for (const auto& entry : table)
        known += (known.empty() ? "" : ", ") + std::string(entry.first);
      return "unknown " + std::string(what) + " '" + name + "' (known: " + known + ")";
    }
    if (std::find(result.begin(), result.end(), found->second) != result.end()) {
      return std::string(what) + " " + name + " is listed twice";
    }
    result.push_back(found->second);
    if (comma == text.size()) break;
    from = comma + 1;
  }
  values = std::move(result);
  return {};
}

}  // namespace wayloom

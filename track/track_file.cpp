#include "track_file.h"

namespace wayloom {
namespace {
constexpr std::size_t kFlushThreshold = 1 << 18;
}

TrackFile::~TrackFile() {
  if (stream_) Close();
}

bool TrackFile::Open(const std::string& path) {
  if (stream_) Close();
  // Binary mode: the CR of every line end is written by WriteLine, on every platform.
  stream_ = std::fopen(path.c_str(), "wb");
  ownsStream_ = true;
  failed_ = false;
  pending_.clear();
  pending_.reserve(kFlushThreshold + 512);
  return stream_ != nullptr;
}

void TrackFile::Attach(std::FILE* stream) {
  if (stream_) Close();
  stream_ = stream;
  ownsStream_ = false;
  failed_ = false;
  pending_.clear();
  pending_.reserve(kFlushThreshold + 512);
}

bool TrackFile::WriteLine(std::string_view line) {
  if (failed_ || !stream_) return false;
  pending_.append(line.data(), line.size());
  pending_ += "\r\n";
  if (pending_.size() >= kFlushThreshold) return Flush();
  return true;
}

bool TrackFile::Flush() {
  if (!pending_.empty() && !failed_) {
    if (std::fwrite(pending_.data(), 1, pending_.size(), stream_) != pending_.size()) {
      failed_ = true;
    }
  }
  pending_.clear();
  if (!failed_ && std::fflush(stream_) != 0) failed_ = true;
  return !failed_;
}

bool TrackFile::Close() {
  if (!stream_) return !failed_;
  Flush();
  if (ownsStream_ && std::fclose(stream_) != 0) failed_ = true;
  stream_ = nullptr;
  return !failed_;
}

}  // namespace wayloom

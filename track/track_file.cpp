#include "track/track_file.h"

#include <cstring>
#include <filesystem>
#include <system_error>

namespace wayloom {

bool DestinationExists(const std::string& path) {
  try {
    std::error_code error;
    const auto status = std::filesystem::symlink_status(std::filesystem::u8path(path), error);
    return !error && std::filesystem::exists(status);
  } catch (const std::exception&) {
    return true;
  }
}
namespace {
constexpr std::size_t kBlockBytes = 1 << 20;
}

TrackFile::~TrackFile() {
  if (stream_) Close();
}

void TrackFile::Start() {
  failed_ = false;
  filling_.resize(kBlockBytes);
  filled_ = 0;
  writing_.clear();
}

bool TrackFile::Open(const std::string& path) {
  if (stream_) Close();
  // Binary mode: the CR of every line end is written by WriteLine, on every platform.
  stream_ = std::fopen(path.c_str(), "wb");
  ownsStream_ = true;
  Start();
  return stream_ != nullptr;
}

void TrackFile::Attach(std::FILE* stream) {
  if (stream_) Close();
  stream_ = stream;
  ownsStream_ = false;
  Start();
}

bool TrackFile::WriteLine(std::string_view line) {
  if (failed_ || !stream_) return false;
  const std::size_t needed = line.size() + 2;
  if (filled_ + needed > filling_.size()) {
    HandOver();
    if (failed_) return false;
    if (needed > filling_.size()) filling_.resize(needed);
  }
  char* out = filling_.data() + filled_;
  std::memcpy(out, line.data(), line.size());
  out[line.size()] = '\r';
  out[line.size() + 1] = '\n';
  filled_ += needed;
  return true;
}

void TrackFile::Wait() {
  if (written_.valid() && !written_.get()) failed_ = true;
}

void TrackFile::HandOver() {
  Wait();
  if (failed_) return;
  if (filled_ == 0) return;
  writing_.swap(filling_);
  const std::size_t bytes = filled_;
  filled_ = 0;
  if (filling_.size() < kBlockBytes) filling_.resize(kBlockBytes);
  written_ = std::async(std::launch::async, [this, bytes] {
    return std::fwrite(writing_.data(), 1, bytes, stream_) == bytes;
  });
}

bool TrackFile::Close() {
  if (!stream_) return !failed_;
  HandOver();
  Wait();
  if (!failed_ && std::fflush(stream_) != 0) failed_ = true;
  if (ownsStream_ && std::fclose(stream_) != 0) failed_ = true;
  stream_ = nullptr;
  filling_ = std::string();
  writing_ = std::string();
  filled_ = 0;
  return !failed_;
}

}  // namespace wayloom

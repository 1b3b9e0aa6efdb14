#include "track_file.h"

namespace wayloom {
namespace {
constexpr std::size_t kBlockBytes = 1 << 20;
}

TrackFile::~TrackFile() {
  if (stream_) Close();
}

void TrackFile::Start() {
  failed_ = false;
  filling_.clear();
  filling_.reserve(kBlockBytes + 4096);
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
  filling_.append(line.data(), line.size());
  filling_ += "\r\n";
  if (filling_.size() >= kBlockBytes) HandOver();
  return !failed_;
}

void TrackFile::Wait() {
  if (written_.valid() && !written_.get()) failed_ = true;
}

void TrackFile::HandOver() {
  Wait();
  if (failed_) return;
  writing_.swap(filling_);
  filling_.clear();
  written_ = std::async(std::launch::async, [this] {
    return std::fwrite(writing_.data(), 1, writing_.size(), stream_) == writing_.size();
  });
}

bool TrackFile::Close() {
  if (!stream_) return !failed_;
  if (!filling_.empty()) HandOver();
  Wait();
  if (!failed_ && std::fflush(stream_) != 0) failed_ = true;
  if (ownsStream_ && std::fclose(stream_) != 0) failed_ = true;
  stream_ = nullptr;
  filling_.clear();
  writing_.clear();
  return !failed_;
}

}  // namespace wayloom

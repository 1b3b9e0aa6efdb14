#include "outputs/track_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace wayloom {

namespace {

// Paths are UTF-8 on every platform, as the file functions take them; a name that is no UTF-8
// (possible on Windows only) has no path.
bool Utf8Path(const std::string& text, std::filesystem::path& path) {
  try {
    path = std::filesystem::u8path(text);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

bool DestinationExists(const std::string& path) {
  std::filesystem::path name;
  if (!Utf8Path(path, name)) return true;
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(name, error)) && !error;
}

bool SameFile(const std::string& first, const std::string& second) {
  std::filesystem::path one;
  std::filesystem::path other;
  std::error_code notTheSame;
  return Utf8Path(first, one) && Utf8Path(second, other) &&
         std::filesystem::equivalent(one, other, notTheSame);
}

namespace {
constexpr std::size_t kBlockBytes = 1 << 20;

// The line feeds among the first size bytes of the file in, or none when they cannot be read.
std::optional<std::uint64_t> CountLines(std::ifstream& in, std::uintmax_t size) {
  in.clear();
  in.seekg(0);
  std::uint64_t lines = 0;
  char block[65536];
  while (size > 0) {
    const auto count = static_cast<std::streamsize>(std::min<std::uintmax_t>(size, sizeof block));
    if (!in.read(block, count)) return std::nullopt;
    lines += static_cast<std::uint64_t>(std::count(block, block + count, '\n'));
    size -= static_cast<std::uintmax_t>(count);
  }
  return lines;
}

// Cuts the regular file at path back to just after its last line feed, and tells how many lines
// it holds then. Nothing happens to a file that cannot be read back (a device, a pipe) or cut.
std::optional<std::uint64_t> CutToLastLine(const std::string& utf8Path) {
  std::filesystem::path path;
  if (!Utf8Path(utf8Path, path)) return std::nullopt;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  std::uintmax_t end = std::filesystem::file_size(path, error);
  if (error) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  char block[4096];
  while (end > 0 && in) {
    const std::uintmax_t start = end > sizeof block ? end - sizeof block : 0;
    const auto count = static_cast<std::streamsize>(end - start);
    in.seekg(static_cast<std::streamoff>(start));
    if (!in.read(block, count)) return std::nullopt;
    const char* const last = std::find(std::make_reverse_iterator(block + count),
                                       std::make_reverse_iterator(block), '\n')
                                 .base();
    if (last != block) {
      end = start + static_cast<std::uintmax_t>(last - block);
      break;
    }
    end = start;
  }
  const std::optional<std::uint64_t> lines = CountLines(in, end);
  in.close();
  std::filesystem::resize_file(path, end, error);
  if (error) return std::nullopt;
  return lines;
}

}  // namespace

TrackFile::~TrackFile() {
  if (stream_) Close();
}

void TrackFile::Start(bool emptyFirst) {
  failed_ = false;
  error_.clear();
  filling_.clear();  // made a block by the first line written
  filled_ = 0;
  queued_.clear();
  closing_ = false;
  writeError_ = 0;
  emptying_ = emptyFirst;
  emptyFailed_ = false;
  linesKept_.reset();
  if (stream_) writer_ = std::thread([this] { WriterLoop(); });
}

bool TrackFile::Open(const std::string& path) {
  if (stream_) Close();
  // Binary mode: the CR of every line end is written by WriteLine, on every platform. Emptying a
  // large existing file takes the system a while, so a regular file is opened for appending and
  // emptied by the writer thread, before the first block is written, while the track is
  // formatted.
  std::error_code error;
  std::filesystem::path name;
  const bool regularFile = Utf8Path(path, name) && std::filesystem::is_regular_file(name, error);
  errno = 0;
  stream_ = std::fopen(path.c_str(), regularFile ? "ab" : "wb");
  const int openError = errno;
  ownsStream_ = true;
  path_ = path;
  if (!stream_) {
    failed_ = false;
    Fail(openError);
    return false;
  }
  // Blocks are written whole: a stream buffer would only split each in two writes.
  std::setvbuf(stream_, nullptr, _IONBF, 0);
  emptyFirst_ = name;
  Start(regularFile);
  return true;
}

void TrackFile::Fail(int errorNumber) {
  if (!failed_)
    error_ = std::error_code(errorNumber != 0 ? errorNumber : EIO, std::generic_category());
  failed_ = true;
}

void TrackFile::Attach(std::FILE* stream) {
  if (stream_) Close();
  stream_ = stream;
  ownsStream_ = false;
  path_.clear();
  Start(false);
}

char* TrackFile::Room(std::size_t needed) {
  if (failed_ || !stream_) return nullptr;
  if (filled_ + needed > filling_.size()) {
    HandOver();
    if (failed_) return nullptr;
    if (filling_.size() < kBlockBytes) filling_.resize(kBlockBytes);
    if (needed > filling_.size()) filling_.resize(needed);
  }
  char* const out = filling_.data() + filled_;
  filled_ += needed;
  return out;
}

bool TrackFile::WriteText(std::string_view text) {
  char* const out = Room(text.size());
  if (!out) return false;
  std::memcpy(out, text.data(), text.size());
  return true;
}

void TrackFile::WriterLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (emptying_) {
    lock.unlock();
    std::error_code resizeError;
    std::filesystem::resize_file(emptyFirst_, 0, resizeError);
    lock.lock();
    emptying_ = false;
    emptyFailed_ = static_cast<bool>(resizeError);
    if (resizeError) writeError_ = resizeError.value();
  }
  for (;;) {
    changed_.wait(lock, [this] { return closing_ || !queued_.empty() || writeError_ != 0; });
    if (queued_.empty() || writeError_ != 0) return;  // closing, or failed: nothing more is written
    Block block = std::move(queued_.front());
    queued_.pop_front();
    lock.unlock();
    errno = 0;
    const bool written = std::fwrite(block.bytes.data(), 1, block.size, stream_) == block.size;
    const int writeError = written ? 0 : (errno != 0 ? errno : EIO);
    lock.lock();
    if (writeError != 0) writeError_ = writeError;
    spare_.push_back(std::move(block.bytes));
    changed_.notify_all();
  }
}

void TrackFile::HandOver() {
  if (filled_ == 0) return;
  const std::size_t size = filled_;
  filled_ = 0;
  Queue(filling_, size);
}

bool TrackFile::WriteLines(std::string& lines, std::size_t size) {
  if (failed_ || !stream_) return false;
  if (size == 0) return true;
  HandOver();  // what came before goes first
  if (!failed_) Queue(lines, size);
  return !failed_;
}

void TrackFile::Queue(std::string& bytes, std::size_t size) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] {
    return queued_.size() < (emptying_ ? mostQueuedWhileEmptying_ : mostQueued_) ||
           writeError_ != 0;
  });
  if (writeError_ != 0) {
    Fail(writeError_);
    return;
  }
  queued_.push_back(Block{std::move(bytes), size});
  changed_.notify_all();
  if (spare_.empty()) {
    bytes = std::string();
  } else {
    bytes = std::move(spare_.back());
    spare_.pop_back();
  }
}

void TrackFile::StopWriter() {
  if (!writer_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  writer_.join();
  if (writeError_ != 0) Fail(writeError_);
  queued_.clear();
  spare_.clear();
}

bool TrackFile::Close() {
  if (!stream_) {
    StopWriter();
    return !failed_;
  }
  if (!failed_) HandOver();
  StopWriter();
  errno = 0;
  if (!failed_ && std::fflush(stream_) != 0) Fail(errno);
  errno = 0;
  if (ownsStream_ && std::fclose(stream_) != 0) Fail(errno);
  // A write that failed part way (a full disk) may have left half a line at the end. A file that
  // could not be emptied holds none of the track: it stays as it was.
  if (failed_ && ownsStream_) linesKept_ = emptyFailed_ ? 0 : CutToLastLine(path_);
  stream_ = nullptr;
  filling_ = std::string();
  filled_ = 0;
  return !failed_;
}

}  // namespace wayloom

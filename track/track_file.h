// The destination of a track: NMEA lines with CR LF ends, buffered, with every write, flush and
// close checked so that a full disk is reported instead of a track silently cut short. A file it
// opened itself is then cut back to its last complete line: whatever went wrong, every line in it
// is whole.
//
// Lines are gathered in a large block; a full block is written by a background task while the next
// one fills, so that formatting and the system's copying of the data overlap.
#pragma once

#include <cstdio>
#include <future>
#include <string>
#include <string_view>
#include <system_error>

namespace wayloom {

// Whether anything, even a dangling link or a file we may not read, stands at path (UTF-8 on every
// platform). An existing file must never be replaced without the question, so this does not
// depend on being able to open it, and a name that is no UTF-8 counts as taken.
bool DestinationExists(const std::string& path);
// Whether two paths name the same existing file, under whatever names.
bool SameFile(const std::string& first, const std::string& second);

class TrackFile {
 public:
  TrackFile() = default;
  TrackFile(const TrackFile&) = delete;
  TrackFile& operator=(const TrackFile&) = delete;
  ~TrackFile();

  // Creates the file at path, or empties an existing one. False when it cannot be opened.
  bool Open(const std::string& path);
  // Writes to a stream someone else opened (standard output); Close flushes it but leaves it open.
  void Attach(std::FILE* stream);

  // Writes line (without line end) followed by CR LF. False once any write has failed.
  bool WriteLine(std::string_view line);
  // Flushes and closes. False when this or any earlier write failed.
  bool Close();
  // The system's reason for the first failure of Open, a write or Close.
  std::error_code Error() const { return error_; }

 private:
  void Start();
  // Hands the filled block to the background task, after the one before it has been written.
  void HandOver();
  // Waits for the block being written, noting a failure.
  void Wait();
  void Fail(int errorNumber);

  std::FILE* stream_ = nullptr;
  bool ownsStream_ = false;
  bool failed_ = false;
  std::error_code error_;
  std::string path_;  // of a file opened here, to be cut back after a failure
  // The block being filled: its first filled_ bytes are lines not yet handed over. Its size is
  // its capacity; a line longer than the room left makes it grow.
  std::string filling_;
  std::size_t filled_ = 0;
  std::string writing_;       // the block the background task writes
  std::future<int> written_;  // the background task's result: 0, or the errno of its failure
};

}  // namespace wayloom

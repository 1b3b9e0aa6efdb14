// The destination of a track: NMEA lines with CR LF ends, buffered, with every write, flush and
// close checked so that a full disk is reported instead of a track silently cut short.
//
// Lines are gathered in a large block; a full block is written by a background task while the next
// one fills, so that formatting and the system's copying of the data overlap.
#pragma once

#include <cstdio>
#include <future>
#include <string>
#include <string_view>

namespace wayloom {

// Whether anything, even a dangling link or a file we may not read, stands at path (UTF-8 on every
// platform). An existing file must never be replaced without the question, so this does not
// depend on being able to open it, and a name that is no UTF-8 counts as taken.
bool DestinationExists(const std::string& path);

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

 private:
  void Start();
  // Hands the filled block to the background task, after the one before it has been written.
  void HandOver();
  // Waits for the block being written, noting a failure.
  void Wait();

  std::FILE* stream_ = nullptr;
  bool ownsStream_ = false;
  bool failed_ = false;
  // The block being filled: its first filled_ bytes are lines not yet handed over. Its size is
  // its capacity; a line longer than the room left makes it grow.
  std::string filling_;
  std::size_t filled_ = 0;
  std::string writing_;        // the block the background task writes
  std::future<bool> written_;  // the background task's result
};

}  // namespace wayloom

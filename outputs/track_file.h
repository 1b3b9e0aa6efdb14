// The destination of a track: NMEA lines with CR LF ends, buffered, with every write, flush and
// close checked so that a full disk is reported instead of a track silently cut short. A file it
// opened itself is then cut back to its last complete line: whatever went wrong, every line in it
// is whole.
//
// Lines are gathered in large blocks; full blocks are written, in order, by a writer thread of
// the file's own while the next ones fill, so that formatting and the system's copying of the data
// overlap. A few blocks may wait their turn, so that the writer seldom waits for the writer thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

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

  // Writes text (whole lines with their CR LF ends) as it stands. False once any write has failed.
  bool WriteText(std::string_view text);
  // Writes the first size characters of lines, whole lines with their CR LF ends, by taking the
  // text over instead of copying it; lines comes back as an empty buffer to be filled again.
  // False once any write has failed.
  bool WriteLines(std::string& lines, std::size_t size);
  // Flushes and closes. False when this or any earlier write failed.
  bool Close();
  // At most this many full blocks (of a megabyte) wait for the writer thread, also while an old
  // file is emptied: 8, and 32 while emptying, unless set. A writer that only copies what it reads
  // (a replay) keeps its memory small with a few and loses nothing.
  void SetMostQueued(std::size_t blocks) { mostQueued_ = mostQueuedWhileEmptying_ = blocks; }
  // The system's reason for the first failure of Open, a write or Close.
  std::error_code Error() const { return error_; }
  // After a failure, once closed: how many lines a regular file opened here holds, cut back to
  // its last complete one (none of them when it could not even be emptied). Not known for a
  // stream or a device.
  std::optional<std::uint64_t> LinesKept() const { return linesKept_; }

 private:
  void Start(bool emptyFirst);
  // Room for needed more bytes in the block being filled, handing it over first when it is full;
  // null once a write has failed.
  char* Room(std::size_t needed);
  // Queues the filled block for the writer thread, waiting while too many are queued already.
  void HandOver();
  // Queues size characters of bytes, giving a spare block back in its place.
  void Queue(std::string& bytes, std::size_t size);
  // Waits until the writer thread has written every queued block, then stops it.
  void StopWriter();
  void WriterLoop();
  void Fail(int errorNumber);

  std::FILE* stream_ = nullptr;
  bool ownsStream_ = false;
  bool failed_ = false;
  std::error_code error_;
  std::string path_;  // of a file opened here, to be cut back after a failure
  std::optional<std::uint64_t> linesKept_;
  // The block being filled: its first filled_ bytes are lines not yet handed over. Its size is
  // its capacity; a line longer than the room left makes it grow.
  std::string filling_;
  std::size_t filled_ = 0;

  // Shared with the writer thread, under mutex_.
  struct Block {
    std::string bytes;
    std::size_t size = 0;
  };
  std::thread writer_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Block> queued_;  // full blocks, oldest first
  // A few blocks waiting ride out the system's hiccups without holding much memory. Emptying a
  // large old file takes the system some tens of milliseconds, which more blocks bridge, so that
  // formatting goes on meanwhile.
  std::size_t mostQueued_ = 8;
  std::size_t mostQueuedWhileEmptying_ = 32;
  std::vector<std::string> spare_;    // written blocks, to be filled again
  std::filesystem::path emptyFirst_;  // a regular file the writer thread empties before writing
  bool emptying_ = false;
  bool emptyFailed_ = false;  // the old file is still there, as it was
  bool closing_ = false;
  int writeError_ = 0;  // the errno of the writer thread's first failure
};

}  // namespace wayloom

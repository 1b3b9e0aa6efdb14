// A pseudo-terminal that looks like a serial GPS receiver to programs that only read serial ports:
// we write to its master side, they open the device, whose path a symbolic link names.
//
// The device is in raw mode (no echo, no line editing, bytes as they are). Sentence pairs go out
// only while some program has the device open, so a reader that opens it later starts at the
// current point instead of reading what queued up before; a reader that does not keep up loses
// whole pairs or fixes (never part of one) rather than holding the stream up.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct pollfd;

namespace wayloom {

class PtyLink {
 public:
  PtyLink() = default;
  PtyLink(const PtyLink&) = delete;
  PtyLink& operator=(const PtyLink&) = delete;
  ~PtyLink() { Close(); }

  // Opens a pseudo-terminal and links linkPath to its device. An existing linkPath is never
  // replaced, except a dangling link to a pseudo-terminal device: one that an earlier run could
  // not remove. False, with error set, when either step fails (nothing is left behind).
  bool Open(const std::string& linkPath, std::string& error);
  const std::string& DevicePath() const { return devicePath_; }

  // Adds the master side to fds while a reader has the device open; HandlePoll must get fds back
  // unchanged from fds[first] on, first being fds.size() before the call.
  void AddPollFds(std::vector<pollfd>& fds) const;
  void HandlePoll(const std::vector<pollfd>& fds, std::size_t first);

  // Writes bytes whole (a sentence pair, or a fix's sentences), if a reader has the device open
  // and there is room for them.
  void Send(std::string_view bytes);
  // Whether bytes are still on their way: not yet written, or written but not yet read by the
  // reader. Closing the pseudo-terminal throws away what its reader has not read, so the last fix
  // is lost unless the caller waits for this to turn false first (for a few seconds at most).
  bool HasQueuedBytes() const { return HasUnwrittenBytes() || ReaderHasUnreadBytes(); }
  std::uint64_t FixesDropped() const { return fixesDropped_; }
  // Whether a reader had the device open when last looked at (at the last fix sent).
  bool ReaderOpen() const { return reader_; }

  // Removes the link (if it is still ours) and closes the pseudo-terminal.
  void Close();

 private:
  // Whether a reader has the device open; notices a reader that has gone.
  bool ReaderPresent();
  bool HasUnwrittenBytes() const { return sent_ < queue_.size(); }
  bool ReaderHasUnreadBytes() const;
  void ReaderGone();
  void Flush();

  int master_ = -1;
  std::string devicePath_;
  std::string linkPath_;  // empty until our link exists
  bool reader_ = false;
  std::string queue_;  // the rest of a pair the device took only part of
  std::size_t sent_ = 0;
  std::uint64_t fixesDropped_ = 0;
};

}  // namespace wayloom

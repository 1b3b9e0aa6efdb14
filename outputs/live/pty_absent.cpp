// The pseudo-terminal where the platform has none (Windows): the command line links the same
// class, and --pty fails before anything is written, saying why.
#include "outputs/live/pty_link.h"

namespace wayloom {

bool PtyLink::Open(const std::string&, std::string& error) {
  error = "--pty: there are no pseudo-terminals on this platform";
  return false;
}

void PtyLink::AddPollFds(std::vector<pollfd>&) const {}
void PtyLink::HandlePoll(const std::vector<pollfd>&, std::size_t) {}
void PtyLink::Send(std::string_view) {}
void PtyLink::Close() {}
bool PtyLink::ReaderHasUnreadBytes() const { return false; }

}  // namespace wayloom

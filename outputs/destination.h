// Opening the destination of a track: the checks every kind of track makes before a file is
// touched, with their messages and the overwrite question, in one place.
#pragma once

#include <string>

#include "base/host.h"
#include "outputs/track_file.h"

namespace wayloom {

enum class DestinationOpening {
  kOpen,      // file is open for writing
  kDeclined,  // the destination exists and the answer was No: it was left untouched
  kFailed,    // it is the source itself, or could not be opened (the message has been shown)
};

// Opens file at destPath for a track read from sourcePath. A destination that is the source under
// any of its names is refused ("Error the output file is the input file"); one that exists is
// written over only when the prompter answers Yes to "The output file already exists\noverwrite ?";
// one that cannot be opened is reported with the system's reason.
DestinationOpening OpenDestination(TrackFile& file, const std::string& destPath,
                                   const std::string& sourcePath, Prompter& prompter);
// The same checks and question without opening anything (kOpen: it may be written), for a track
// with several files: every one is asked about before any is emptied.
DestinationOpening CheckDestination(const std::string& destPath, const std::string& sourcePath,
                                    Prompter& prompter);

// Whether both names lead to the same file or device once every link is followed: a destination
// against a pseudo-terminal's link, which must be checked after the link exists.
bool SameCanonicalPath(const std::string& first, const std::string& second);
// Whether two outputs would write the same file: the same file under two names, or two spellings
// of one path that does not exist yet.
bool SameOutputFile(const std::string& first, const std::string& second);

}  // namespace wayloom

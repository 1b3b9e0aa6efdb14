// The timed track files of a job (--gpx, --kml): every fix of the track as it is written, at its
// time in UTC (the date of clock 0 and the fix's clock) and its position and altitude. They are
// destinations like the track file: asked about and checked before anything is written.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/calendar.h"
#include "base/fix.h"
#include "base/host.h"
#include "outputs/destination.h"
#include "outputs/timed_track.h"

namespace wayloom {

class TimedFiles : public FixListener {
 public:
  // gpxPath and kmlPath are empty for none; dayZero is the date of clock 0.
  TimedFiles(const std::string& gpxPath, const std::string& kmlPath, const CalendarDate& dayZero);

  // The destination's checks for each file, before any is written: not the source, not another
  // output of the track (destPath, each other, ptyLink; each may be empty), and the overwrite
  // question. The message has been shown unless it answers kOpen; kept names the file the answer
  // No kept.
  DestinationOpening Check(const std::string& sourcePath, const std::string& destPath,
                           const std::string& ptyLink, Prompter& prompter, std::string& kept) const;
  // Creates the files, the track named trackName. False, with the message shown, when one cannot
  // be created.
  bool Open(const std::string& trackName, Prompter& prompter);

  void OnFix(const Fix& fix, const SentenceLines& sentences) override;
  // A timed route's date of clock 0, known once the route is read.
  void SetDayZero(const CalendarDate& dayZero);

  // Ends every document, so that a track stopped halfway leaves files that hold the fixes so far.
  // False, with the message shown, when a write failed since Open.
  bool Close(Prompter& prompter);

  // Fixes each file holds, and those no file can hold (a position off the Earth, a year outside
  // 0 to 9999).
  std::uint64_t FixesWritten() const { return written_; }
  std::uint64_t FixesLeftOut() const { return leftOut_; }
  // The files' paths, for the summary.
  std::vector<std::string> Paths() const;

 private:
  struct File {
    std::string path;
    std::unique_ptr<TimedTrackWriter> writer;
  };
  std::vector<File> files_;
  std::int64_t dayZeroMs_ = 0;
  std::uint64_t written_ = 0;
  std::uint64_t leftOut_ = 0;
};

}  // namespace wayloom

#include "job/timed_files.h"

#include <cmath>

namespace wayloom {
namespace {

constexpr std::int64_t kMsPerDay = 86400000;

}  // namespace

TimedFiles::TimedFiles(const std::string& gpxPath, const std::string& kmlPath,
                       const CalendarDate& dayZero) {
  SetDayZero(dayZero);
  if (!gpxPath.empty()) {
    files_.push_back({gpxPath, std::make_unique<TimedTrackWriter>(TimedTrackFormat::kGpx)});
  }
  if (!kmlPath.empty()) {
    files_.push_back({kmlPath, std::make_unique<TimedTrackWriter>(TimedTrackFormat::kKml)});
  }
}

void TimedFiles::SetDayZero(const CalendarDate& dayZero) {
  dayZeroMs_ = DaysFromDate(dayZero) * kMsPerDay;
}

DestinationOpening TimedFiles::Check(const std::string& sourcePath, const std::string& destPath,
                                     const std::string& ptyLink, Prompter& prompter,
                                     std::string& kept) const {
  for (std::size_t i = 0; i < files_.size(); ++i) {
    const std::string& path = files_[i].path;
    const bool clash = (!destPath.empty() && SameOutputFile(path, destPath)) ||
                       (!ptyLink.empty() && SameOutputFile(path, ptyLink)) ||
                       (i > 0 && SameOutputFile(path, files_[0].path));
    if (clash) {
      prompter.ShowMessage("Error the output file is another output of the track\n" + path);
      return DestinationOpening::kFailed;
    }
    if (const DestinationOpening checked = CheckDestination(path, sourcePath, prompter);
        checked != DestinationOpening::kOpen) {
      kept = path;
      return checked;
    }
  }
  return DestinationOpening::kOpen;
}

bool TimedFiles::Open(const std::string& trackName, Prompter& prompter) {
  for (File& file : files_) {
    if (!file.writer->Open(file.path, trackName)) {
      prompter.ShowMessage(file.writer->Error());
      return false;
    }
  }
  return true;
}

void TimedFiles::OnFix(const Fix& fix, const SentenceLines&) {
  TimedPoint point;
  // The clock to the millisecond as the sentences print it (ties to even).
  point.utcMs = dayZeroMs_ + static_cast<std::int64_t>(std::nearbyint(fix.clockMs));
  point.latitude = fix.latitude;
  point.longitude = fix.longitude;
  point.elevationMetres = fix.altitudeMetres;
  bool written = false;
  bool refused = false;
  for (File& file : files_) {
    if (file.writer->Write(point)) {
      written = true;
    } else if (file.writer->IsOpen()) {
      refused = true;
    }
  }
  written_ += written ? 1 : 0;
  leftOut_ += refused ? 1 : 0;
}

bool TimedFiles::Close(Prompter& prompter) {
  bool closed = true;
  for (File& file : files_) {
    // A write that failed has closed its file already and keeps its error for this.
    if (!file.writer->Close()) {
      prompter.ShowMessage(file.writer->Error());
      closed = false;
    }
  }
  return closed;
}

std::vector<std::string> TimedFiles::Paths() const {
  std::vector<std::string> paths;
  for (const File& file : files_) paths.push_back(file.path);
  return paths;
}

}  // namespace wayloom

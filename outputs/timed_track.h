// Timed track files, for the location players of phone emulators and map programs: the simulated
// track as a GPX 1.1 track (`trk`, a `trkpt` with `ele` and `time` per fix) or a KML `gx:Track`
// (every fix's `when`, then every fix's `gx:coord`).
//
// Points are written as they come: memory stays the same for a track of any length (a KML file
// keeps its coordinates in a temporary file until the times are all written).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace wayloom {

struct TimedPoint {
  std::int64_t utcMs = 0;        // milliseconds since 1970-01-01 00:00 UTC
  double latitude = 0.0;         // degrees, -90 to 90
  double longitude = 0.0;        // degrees, -180 to 180
  double elevationMetres = 0.0;  // above mean sea level
};

enum class TimedTrackFormat { kGpx, kKml };

class TimedTrackWriter {
 public:
  explicit TimedTrackWriter(TimedTrackFormat format);
  TimedTrackWriter(const TimedTrackWriter&) = delete;
  TimedTrackWriter& operator=(const TimedTrackWriter&) = delete;
  // Finishes the file, as Close does, if it is still open.
  ~TimedTrackWriter();

  // Creates path (a file there is replaced: the caller has asked first) and writes the head of
  // the document, the track named trackName. False, with Error() set, when that fails.
  bool Open(const std::string& path, const std::string& trackName);
  // Adds one point. False, with Error() set, for a position off the Earth or a time outside the
  // years 0 to 9999 (nothing is written for it), or a write that fails (the file is then closed).
  bool Write(const TimedPoint& point);
  // Writes the end of the document and closes the file. False, with Error() set, when a write
  // fails.
  bool Close();

  const std::string& Error() const { return error_; }
  // False once a write has failed (or before Open): a point refused for its values leaves it open.
  bool IsOpen() const { return file_ != nullptr; }
  std::uint64_t PointsWritten() const { return points_; }

 private:
  struct Xml;  // the XML library stays out of this header
  bool Put(std::FILE* file, const std::string& bytes);
  bool Fail(const std::string& what);

  TimedTrackFormat format_;
  std::unique_ptr<Xml> xml_;
  std::FILE* file_ = nullptr;
  std::FILE* coords_ = nullptr;  // KML: the coordinates, until the times are written
  std::string path_;
  std::string tail_;  // the end of the document
  std::string error_;
  std::uint64_t points_ = 0;
};

}  // namespace wayloom

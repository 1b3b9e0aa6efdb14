// A fix: where the simulated receiver is at one moment of the track, how fast and which way it
// goes. Every kind of motion makes fixes, every fix goes out as a few NMEA sentences, and whoever
// wants to see the track as it is made (the window's map, a live output, a test) is a
// FixListener.
#pragma once

#include <cstddef>
#include <string_view>

namespace wayloom {

// The altitude a fix has unless it carries its own: the 121 m every classic GGA sentence reports.
inline constexpr double kReportedAltitudeMetres = 121.0;

struct Fix {
  // A fix that is not a point of the POI list (a receiver's fix, an extra point between points).
  static constexpr std::size_t kNoPoint = static_cast<std::size_t>(-1);

  double clockMs = 0.0;        // the track's clock: milliseconds since midnight of its first day
  double latitude = 0.0;       // degrees, negative south
  double longitude = 0.0;      // degrees, negative west
  double speedKnots = 0.0;     // over ground
  double courseDegrees = 0.0;  // true course, 0 to below 360
  std::size_t poiIndex = kNoPoint;  // the point of the POI list this fix reports, if it is one
  // False for a moment without a position (a replayed log's burst that reports none): latitude
  // and longitude then mean nothing, and a map leaves the fix out.
  bool hasPosition = true;
  double altitudeMetres = kReportedAltitudeMetres;  // above mean sea level, as GGA reports it
};

// The sentences of one fix as they go out: one after the other, each ending in CR LF.
class SentenceLines {
 public:
  SentenceLines(std::string_view text, std::size_t count) : text_(text), count_(count) {}
  std::string_view Text() const { return text_; }
  std::size_t Count() const { return count_; }

 private:
  std::string_view text_;
  std::size_t count_;
};

class FixListener {
 public:
  virtual ~FixListener() = default;
  // A point of the POI list, by its index there, reached since the fix before: told in the order
  // the track visits the points, before the fix at or after the moment it was reached.
  virtual void OnPointReached(std::size_t /*poiIndex*/) {}
  // Every fix, in track order, once its sentences have gone to the track file (if there is one).
  // The sentences are valid only during the call. The call may take its time (a live output waits
  // here until the fix is due); a stop asked for meanwhile ends the track right after it returns.
  virtual void OnFix(const Fix& fix, const SentenceLines& sentences) = 0;
};

}  // namespace wayloom

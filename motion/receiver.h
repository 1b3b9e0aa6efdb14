// A simulated receiver travelling a route: it moves at a constant ground speed along the WGS84
// geodesics between the points, may stand still at each point for a while, and reports a fix every
// period at the position reached at that time.
//
// The fixes are made one at a time as they are asked for, so a route of any length takes the same
// memory: only the stretch being travelled is held.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "base/fix.h"
#include "route/planar_offset.h"
#include "route/route.h"

namespace wayloom {

struct ReceiverMotion {
  double speedKnots = 0.0;            // reported ground speed while moving
  double speedMetresPerSecond = 0.0;  // the same speed, as travelled
  double periodSeconds = 1.0;         // between fixes, above 0
  double dwellSeconds = 0.0;          // standing still at every point of the route
  double noiseMetres = 0.0;           // standard deviation of the horizontal error; 0 for none
  std::uint64_t seed = 1;             // of the error's random numbers
};

// Horizontal position error that drifts smoothly from fix to fix: a first-order Gauss-Markov
// process for the east and for the north error, each with the given standard deviation and a
// correlation time of kCorrelationSeconds. The random numbers come from std::mt19937_64, whose
// output the C++ standard defines, turned Gaussian by the polar method written out here (the
// output of std::normal_distribution differs between standard libraries): the same seed gives the
// same error in every build.
class ReceiverNoise {
 public:
  static constexpr double kCorrelationSeconds = 30.0;

  ReceiverNoise(double sigmaMetres, std::uint64_t seed);
  // Moves the error on by elapsedSeconds and adds it to the position.
  void Apply(double elapsedSeconds, double& latitude, double& longitude);
  // Adds to a velocity the rate at which the error drifts back towards 0 (minus the error over the
  // correlation time): a reported speed and course as inexact as the position, and consistent with
  // where the reported positions head. Standing still, the speed is that drift alone.
  void ApplyToVelocity(double& speedKnots, double& courseDegrees) const;

 private:
  // Two independent standard normal numbers.
  void NormalPair(double& first, double& second);

  double sigmaMetres_;
  std::mt19937_64 random_;
  bool started_ = false;
  double eastMetres_ = 0.0;
  double northMetres_ = 0.0;
};

class FixStream {
 public:
  // route holds the points in visiting order; the first fix is at startClockMs. details (in the
  // same order, checked by TakeRouteDetails) change the motion point by point: a point's speed is
  // that of the stretch from it, its dwell adds to the motion's, and the elevations give each
  // fix's altitude, interpolated along the stretch (a point without one takes the elevation of the
  // nearest point before it that has one, else after it). Without elevations a fix's altitude is
  // kReportedAltitudeMetres.
  //
  // With times (a timed route, checked by TakeRouteTimes) the receiver is at each point at its
  // time, exactly, whatever the motion's speed and dwell: at a constant speed along each stretch
  // (its length over its duration), standing still through a time gap at one place, and jumping
  // across a stretch of no duration (no fix falls inside it). The last fix is then the first tick
  // at or after the last point's time.
  FixStream(std::vector<GeoPoint> route, const ReceiverMotion& motion, std::int64_t startClockMs,
            RouteDetails details = {});
  ~FixStream();
  FixStream(const FixStream&) = delete;
  FixStream& operator=(const FixStream&) = delete;

  // The next fix of this round; false when the receiver has reached the last point. A round with
  // at least one point has at least one fix. Fixes come every period, on the ticks of the period
  // from the round's start: the last one is the first tick at or after the arrival at the last
  // point (or the last tick of the dwell there), at rest on that point.
  bool Next(Fix& fix);

  // Begins another round at the first point, at the next fix time after the round before.
  void StartOver();

  // How many points of the route the receiver had reached (in the order of the route) at the
  // last fix of this round; a point at the same place as the one before is reached with it.
  std::size_t PointsReached() const { return to_ < route_.size() ? to_ : route_.size(); }

 private:
  // Sets up the stretch from point from_ to the next point at another place, if any.
  void StartStretch();
  // The position, speed and course at secondsIntoRound, which lies in the current stretch or its
  // dwell.
  void PositionAt(double secondsIntoRound, Fix& fix) const;
  void Emit(std::int64_t clockMs, Fix& fix);
  // The course at the end of the stretch, when the receiver arrives.
  double ArrivalCourse() const;
  // How long the receiver stands at a point of the route, and the elevation there.
  double DwellAt(std::size_t point) const;
  double ElevationAt(std::size_t point) const;
  // A timed route: each point is reached at its recorded time.
  bool Timed() const { return !details_.timesSeconds.empty(); }
  // When the receiver leaves point from_ (timed: the time of the last point at its place), and
  // when it reaches the end of the stretch from there.
  double LeavesSeconds() const {
    return Timed() ? details_.timesSeconds[to_ - 1] : arrivedSeconds_ + DwellAt(from_);
  }
  double ArrivesSeconds() const {
    return Timed() ? details_.timesSeconds[to_] : LeavesSeconds() + stretchMetres_ / stretchSpeed_;
  }

  std::vector<GeoPoint> route_;
  ReceiverMotion motion_;
  RouteDetails details_;
  ReceiverNoise noise_;
  std::int64_t roundStartMs_;
  std::uint64_t tick_ = 0;  // fixes of the period made this round
  bool roundOver_ = false;
  bool atLastPoint_ = false;  // a fix of this round has been made at the last point
  std::int64_t lastClockMs_ = 0;
  bool anyFix_ = false;

  // The point the receiver is at or has left, and the stretch from there.
  std::size_t from_ = 0;
  double arrivedSeconds_ = 0.0;  // when it reached point from_
  bool hasStretch_ = false;
  std::size_t to_ = 0;
  struct Geodesic;  // the stretch's geodesic line; the geodesic library stays out of this header
  std::unique_ptr<Geodesic> line_;
  double stretchMetres_ = 0.0;
  double stretchSpeed_ = 0.0;       // metres per second, along the stretch
  double stretchSpeedKnots_ = 0.0;  // the same, as reported
  double courseDegrees_ = 0.0;      // of the last movement, kept while standing
};

}  // namespace wayloom

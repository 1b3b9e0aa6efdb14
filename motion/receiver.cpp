#include "motion/receiver.h"

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/GeodesicLine.hpp>
#include <GeographicLib/Math.hpp>
#include <algorithm>
#include <cmath>
#include <utility>

#include "base/units.h"

namespace wayloom {
namespace {

const GeographicLib::Geodesic& Wgs84() { return GeographicLib::Geodesic::WGS84(); }

// An azimuth of -180 to 180 as a course of 0 to below 360, as it prints with three decimals. An
// azimuth of -0 (due north over a pole, or along a meridian between antipodal points) is course 0:
// never -0, which prints as "-0.000".
double CourseFromAzimuth(double azimuth) {
  const double course = azimuth < 0.0 ? azimuth + 360.0 : azimuth;
  return course > 0.0 && course < 359.9995 ? course : 0.0;
}

std::int64_t MsOf(double seconds) { return std::llround(seconds * 1000.0); }

}  // namespace

ReceiverNoise::ReceiverNoise(double sigmaMetres, std::uint64_t seed)
    : sigmaMetres_(sigmaMetres), random_(seed) {}

void ReceiverNoise::NormalPair(double& first, double& second) {
  // Marsaglia's polar method on 53-bit uniform numbers.
  for (;;) {
    const double u = static_cast<double>(random_() >> 11) * 0x1.0p-52 - 1.0;
    const double v = static_cast<double>(random_() >> 11) * 0x1.0p-52 - 1.0;
    const double s = u * u + v * v;
    if (s > 0.0 && s < 1.0) {
      const double factor = std::sqrt(-2.0 * std::log(s) / s);
      first = u * factor;
      second = v * factor;
      return;
    }
  }
}

void ReceiverNoise::Apply(double elapsedSeconds, double& latitude, double& longitude) {
  if (sigmaMetres_ <= 0.0) return;
  double east = 0.0;
  double north = 0.0;
  NormalPair(east, north);
  if (!started_) {
    eastMetres_ = sigmaMetres_ * east;
    northMetres_ = sigmaMetres_ * north;
    started_ = true;
  } else {
    // Keeps the standard deviation sigma whatever the step: x' = a x + sigma sqrt(1 - a^2) n.
    const double kept = std::exp(-std::fabs(elapsedSeconds) / kCorrelationSeconds);
    const double fresh = sigmaMetres_ * std::sqrt(1.0 - kept * kept);
    eastMetres_ = kept * eastMetres_ + fresh * east;
    northMetres_ = kept * northMetres_ + fresh * north;
  }
  const double metres = std::sqrt(eastMetres_ * eastMetres_ + northMetres_ * northMetres_);
  if (metres == 0.0) return;
  const double azimuth = GeographicLib::Math::atan2d(eastMetres_, northMetres_);
  double lat = 0.0;
  double lon = 0.0;
  Wgs84().Direct(latitude, longitude, azimuth, metres, lat, lon);
  latitude = lat;
  longitude = lon;
}

void ReceiverNoise::ApplyToVelocity(double& speedKnots, double& courseDegrees) const {
  if (sigmaMetres_ <= 0.0) return;
  constexpr double kMetresPerSecondPerKnot = kMetresPerNauticalMile / 3600.0;
  const double course = courseDegrees * kRadiansPerDegree;
  const double speed = speedKnots * kMetresPerSecondPerKnot;
  // The error fades towards 0 at the rate -error / correlation time: the velocity at which the
  // reported positions drift away from the true ones.
  const double east = speed * std::sin(course) - eastMetres_ / kCorrelationSeconds;
  const double north = speed * std::cos(course) - northMetres_ / kCorrelationSeconds;
  speedKnots = std::sqrt(east * east + north * north) / kMetresPerSecondPerKnot;
  if (speedKnots > 0.0)
    courseDegrees = CourseFromAzimuth(std::atan2(east, north) / kRadiansPerDegree);
}

struct FixStream::Geodesic {
  GeographicLib::GeodesicLine line;
};

FixStream::FixStream(std::vector<GeoPoint> route, const ReceiverMotion& motion,
                     std::int64_t startClockMs, RouteDetails details)
    : route_(std::move(route)),
      motion_(motion),
      details_(std::move(details)),
      noise_(motion.noiseMetres, motion.seed),
      roundStartMs_(startClockMs),
      line_(std::make_unique<Geodesic>()) {
  // A point without an elevation takes the one before it, the first ones the first there is.
  std::vector<double>& elevations = details_.elevationsMetres;
  const auto known = std::find_if(elevations.begin(), elevations.end(),
                                  [](double metres) { return !std::isnan(metres); });
  if (known == elevations.end()) elevations.clear();
  double last = known == elevations.end() ? 0.0 : *known;
  for (double& metres : elevations) {
    if (std::isnan(metres)) metres = last;
    last = metres;
  }
  StartOver();  // the first round: no fixes before it, so the clock starts at startClockMs
}

double FixStream::DwellAt(std::size_t point) const {
  const std::vector<double>& dwells = details_.dwellsSeconds;
  const double own = point < dwells.size() && !std::isnan(dwells[point]) ? dwells[point] : 0.0;
  return motion_.dwellSeconds + own;
}

double FixStream::ElevationAt(std::size_t point) const {
  const std::vector<double>& elevations = details_.elevationsMetres;
  return point < elevations.size() ? elevations[point] : kReportedAltitudeMetres;
}

FixStream::~FixStream() = default;

double FixStream::ArrivalCourse() const {
  double lat = 0.0;
  double lon = 0.0;
  double azimuth = 0.0;
  line_->line.Position(stretchMetres_, lat, lon, azimuth);
  return CourseFromAzimuth(azimuth);
}

void FixStream::StartOver() {
  roundStartMs_ += MsOf(static_cast<double>(tick_) * motion_.periodSeconds);
  tick_ = 0;
  roundOver_ = route_.empty();
  atLastPoint_ = false;
  from_ = 0;
  arrivedSeconds_ = 0.0;
  courseDegrees_ = 0.0;
  StartStretch();
  // Before it leaves the first point the receiver already faces the way it will go.
  if (hasStretch_) {
    double lat = 0.0;
    double lon = 0.0;
    double azimuth = 0.0;
    line_->line.Position(0.0, lat, lon, azimuth);
    courseDegrees_ = CourseFromAzimuth(azimuth);
  }
}

void FixStream::StartStretch() {
  hasStretch_ = false;
  // A point at the same place as the one before adds no time: no stretch and no dwell.
  for (to_ = from_ + 1; to_ < route_.size(); ++to_) {
    const GeoPoint& a = route_[from_];
    const GeoPoint& b = route_[to_];
    line_->line = Wgs84().InverseLine(a.latitude, a.longitude, b.latitude, b.longitude);
    stretchMetres_ = line_->line.Distance();
    if (stretchMetres_ > 0.0) {
      hasStretch_ = true;
      if (Timed()) {
        const double seconds = ArrivesSeconds() - LeavesSeconds();
        stretchSpeed_ = seconds > 0.0 ? stretchMetres_ / seconds : 0.0;  // 0: never travelled
        stretchSpeedKnots_ = stretchSpeed_ / (kMetresPerNauticalMile / 3600.0);
        return;
      }
      const std::vector<double>& speeds = details_.speedsMetresPerSecond;
      const bool own = from_ < speeds.size() && !std::isnan(speeds[from_]);
      stretchSpeed_ = own ? speeds[from_] : motion_.speedMetresPerSecond;
      stretchSpeedKnots_ =
          own ? stretchSpeed_ / (kMetresPerNauticalMile / 3600.0) : motion_.speedKnots;
      return;
    }
  }
}

void FixStream::PositionAt(double secondsIntoRound, Fix& fix) const {
  const double leaves = LeavesSeconds();
  fix.courseDegrees = courseDegrees_;
  fix.altitudeMetres = ElevationAt(from_);
  if (!hasStretch_ || secondsIntoRound < leaves) {
    // Standing at a point: at the last one from the moment it arrives.
    fix.latitude = route_[from_].latitude;
    fix.longitude = route_[from_].longitude;
    fix.speedKnots = 0.0;
    return;
  }
  double metres = (secondsIntoRound - leaves) * stretchSpeed_;
  if (metres > stretchMetres_) metres = stretchMetres_;
  double azimuth = 0.0;
  line_->line.Position(metres, fix.latitude, fix.longitude, azimuth);
  fix.speedKnots = stretchSpeedKnots_;
  fix.courseDegrees = CourseFromAzimuth(azimuth);
  fix.altitudeMetres += (ElevationAt(to_) - fix.altitudeMetres) * (metres / stretchMetres_);
}

void FixStream::Emit(std::int64_t clockMs, Fix& fix) {
  const double elapsed = anyFix_ ? static_cast<double>(clockMs - lastClockMs_) / 1000.0 : 0.0;
  noise_.Apply(elapsed, fix.latitude, fix.longitude);
  noise_.ApplyToVelocity(fix.speedKnots, fix.courseDegrees);
  fix.clockMs = static_cast<double>(clockMs);
  lastClockMs_ = clockMs;
  anyFix_ = true;
}

bool FixStream::Next(Fix& fix) {
  if (roundOver_) return false;
  const double seconds = static_cast<double>(tick_) * motion_.periodSeconds;
  // Travel on to the stretch (or the last point) that this time falls in.
  while (hasStretch_ && seconds >= ArrivesSeconds()) {
    courseDegrees_ = ArrivalCourse();
    arrivedSeconds_ = Timed() ? ArrivesSeconds()
                              : arrivedSeconds_ + (DwellAt(from_) + stretchMetres_ / stretchSpeed_);
    from_ = to_;
    StartStretch();
  }
  // At the last point (where every time from its arrival on falls) a receiver reports on its own
  // ticks: the first tick at or after the arrival, and those of the dwell; timed, up to the first
  // tick at or after the last point's time.
  const bool pastEnd =
      Timed() ? static_cast<double>(tick_ - 1) * motion_.periodSeconds >= LeavesSeconds()
              : seconds > LeavesSeconds();
  if (!hasStretch_ && atLastPoint_ && pastEnd) {
    roundOver_ = true;
    return false;
  }
  atLastPoint_ = !hasStretch_;
  PositionAt(seconds, fix);
  ++tick_;
  Emit(roundStartMs_ + MsOf(seconds), fix);
  return true;
}

}  // namespace wayloom

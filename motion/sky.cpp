#include "motion/sky.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/name_list.h"
#include "base/units.h"

namespace wayloom {
namespace {

// A satellite 20,000 km away turns by less than 0.015 degrees when the receiver moves 5 km: the
// held sky stays true to the printed whole degrees until the receiver has gone that far.
constexpr double kHeldDegrees = 0.045;
// Signal strength over elevation: weakest at the horizon, where the signal crosses the most air
// and the antenna gains the least, strongest at the zenith; typical of open-sky reception.
constexpr double kSignalAtHorizonDbHz = 32.0;
constexpr double kSignalRiseToZenithDbHz = 17.0;

// The receiver's place on the WGS84 ellipsoid and its east, north and up unit vectors.
struct LocalFrame {
  EcefMetres origin;
  EcefMetres east;
  EcefMetres north;
  EcefMetres up;
};

LocalFrame FrameAt(const ReceiverPlace& place) {
  const double latitude = place.latitudeDegrees * kRadiansPerDegree;
  const double longitude = place.longitudeDegrees * kRadiansPerDegree;
  const double sinLat = std::sin(latitude);
  const double cosLat = std::cos(latitude);
  const double sinLon = std::sin(longitude);
  const double cosLon = std::cos(longitude);
  const double eccentricitySquared = kWgs84Flattening * (2.0 - kWgs84Flattening);
  const double normal =
      kWgs84EquatorMetres / std::sqrt(1.0 - eccentricitySquared * sinLat * sinLat);
  LocalFrame frame;
  frame.origin = {(normal + place.heightMetres) * cosLat * cosLon,
                  (normal + place.heightMetres) * cosLat * sinLon,
                  (normal * (1.0 - eccentricitySquared) + place.heightMetres) * sinLat};
  frame.east = {-sinLon, cosLon, 0.0};
  frame.north = {-sinLat * cosLon, -sinLat * sinLon, cosLat};
  frame.up = {cosLat * cosLon, cosLat * sinLon, sinLat};
  return frame;
}

double Dot(const EcefMetres& a, const EcefMetres& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// The difference of two longitudes in degrees, 0 to 180.
double LongitudeGap(double a, double b) {
  const double gap = std::fmod(std::fabs(a - b), 360.0);
  return gap > 180.0 ? 360.0 - gap : gap;
}

int SignalDbHz(double sinElevation) {
  return static_cast<int>(
      std::lround(kSignalAtHorizonDbHz + kSignalRiseToZenithDbHz * sinElevation));
}

}  // namespace

std::int64_t UtcMsOf(const CalendarDate& date, std::int64_t clockMs) {
  return DaysFromDate(date) * kMsPerDay + clockMs;
}

bool ParseSystemList(std::string_view text, std::vector<GnssSystem>& systems,
                     std::string& problem) {
  static constexpr std::pair<std::string_view, GnssSystem> kNames[] = {
      {"gps", GnssSystem::kGps},
      {"glonass", GnssSystem::kGlonass},
      {"galileo", GnssSystem::kGalileo},
      {"beidou", GnssSystem::kBeidou}};
  problem = ParseNameList(text, "system", kNames, false, systems);
  return problem.empty();
}

Sky::Sky(const SkySettings& settings) : Sky(settings, {}, 0) {}

Sky::Sky(const SkySettings& settings, const std::vector<AlmanacRecord>& almanac,
         std::int64_t startUtcMs)
    : settings_(settings),
      sinMask_(std::sin(settings.elevationMaskDegrees * kRadiansPerDegree)),
      refreshMs_(std::max<std::int64_t>(0, std::llround(settings.refreshSeconds * 1000.0))) {
  std::vector<GnssSystem> systems = settings.systems;
  std::sort(systems.begin(), systems.end());
  systems.erase(std::unique(systems.begin(), systems.end()), systems.end());
  for (const GnssSystem system : systems) {
    const std::vector<SatelliteOrbit> orbits =
        system == GnssSystem::kGps && !almanac.empty()
            ? OrbitsFromAlmanac(almanac, GpsSecondsFromUtcMs(startUtcMs))
            : NominalConstellation(system);
    satellites_.insert(satellites_.end(), orbits.begin(), orbits.end());
  }
  for (std::size_t i = 0; i < satellites_.size(); ++i) {
    const auto same = [this, i](std::size_t first) {
      return SamePlane(satellites_[first].elements, satellites_[i].elements);
    };
    const auto plane = std::find_if(planes_.begin(), planes_.end(), same);
    planeOf_.push_back(static_cast<std::size_t>(plane - planes_.begin()));
    if (plane == planes_.end()) planes_.push_back(i);
  }
  turns_.resize(planes_.size());
}

const SkyView& Sky::At(const ReceiverPlace& place, std::int64_t utcMs) {
  const std::int64_t computeMs =
      refreshMs_ > 0 ? FloorDivide(utcMs, refreshMs_) * refreshMs_ : utcMs;
  if (!holding_ || computeMs != held_.utcMs ||
      std::fabs(place.latitudeDegrees - heldLatitude_) > kHeldDegrees ||
      LongitudeGap(place.longitudeDegrees, heldLongitude_) * heldCosLatitude_ > kHeldDegrees) {
    Compute(place, computeMs, held_);
    holding_ = true;
    heldLatitude_ = place.latitudeDegrees;
    heldLongitude_ = place.longitudeDegrees;
    heldCosLatitude_ = std::cos(place.latitudeDegrees * kRadiansPerDegree);
  }
  return held_;
}

void Sky::Compute(const ReceiverPlace& place, std::int64_t utcMs, SkyView& view) {
  const LocalFrame frame = FrameAt(place);
  const double gpsSeconds = GpsSecondsFromUtcMs(utcMs);
  view.utcMs = utcMs;
  view.satellites.clear();
  lines_.clear();
  for (std::size_t plane = 0; plane < planes_.size(); ++plane) {
    turns_[plane] = PlaneTurnAt(satellites_[planes_[plane]].elements, gpsSeconds);
  }
  for (std::size_t i = 0; i < satellites_.size(); ++i) {
    const SatelliteOrbit& satellite = satellites_[i];
    const EcefMetres at = PositionAt(satellite.elements, gpsSeconds, turns_[planeOf_[i]]);
    const EcefMetres toward{at.x - frame.origin.x, at.y - frame.origin.y, at.z - frame.origin.z};
    const double range = std::sqrt(Dot(toward, toward));
    const double upMetres = Dot(toward, frame.up);
    // Most satellites are below the mask: the sine of the elevation first, spares them the rest.
    if (upMetres < (sinMask_ - 1e-9) * range) continue;
    const LineOfSight line{Dot(toward, frame.east) / range, Dot(toward, frame.north) / range,
                           upMetres / range};
    const double elevation = std::asin(std::min(line.up, 1.0)) / kRadiansPerDegree;
    if (elevation < settings_.elevationMaskDegrees) continue;
    double azimuth = std::atan2(line.east, line.north) / kRadiansPerDegree;
    if (azimuth < 0.0) azimuth += 360.0;
    if (azimuth >= 360.0) azimuth = 0.0;
    SatelliteInView seen;
    seen.system = satellite.system;
    seen.id = satellite.id;
    seen.elevationDegrees = elevation;
    seen.azimuthDegrees = azimuth;
    seen.elevationWholeDegrees = static_cast<int>(std::lround(elevation));
    seen.azimuthWholeDegrees = static_cast<int>(std::lround(azimuth)) % 360;
    seen.signalDbHz = SignalDbHz(line.up);
    seen.healthy = satellite.healthy;
    view.satellites.push_back(seen);
    lines_.push_back(line);
  }
  Choose(view);
}

void Sky::Choose(SkyView& view) {
  candidates_.clear();
  candidateAt_.clear();
  for (std::size_t i = 0; i < view.satellites.size(); ++i) {
    if (!view.satellites[i].healthy) continue;
    candidates_.push_back(lines_[i]);
    candidateAt_.push_back(i);
  }
  ChooseForFix(candidates_, SkyView::kMostUsed, chosen_);
  used_.clear();
  for (const std::size_t i : chosen_) {
    SatelliteInView& satellite = view.satellites[candidateAt_[i]];
    satellite.used = true;
    used_.push_back(LineOfSightOf(satellite.elevationWholeDegrees, satellite.azimuthWholeDegrees));
  }
  view.usedCount = static_cast<int>(chosen_.size());
  const Dops dops = DopsOf(used_);
  view.hasFix = dops.solvable;
  view.hdop = dops.horizontal;
  view.vdop = dops.vertical;
  view.pdop = dops.position;
}

}  // namespace wayloom

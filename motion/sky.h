// The sky over a simulated receiver: which satellites of the chosen systems stand above its
// elevation mask at its place and time, where they stand, how strong their signals are, which of
// them it computes its fix from, and the dilutions of precision of that fix (base/sky_view.h).
//
// The satellites fly the nominal constellations (motion/constellations.h) or, for GPS, the orbits
// of an almanac (motion/almanac.h). They move a quarter of a degree across the sky in a minute,
// so a receiver's sky is computed afresh every few seconds and held in between (Sky::At), which
// keeps a day of fixes at 1 Hz with four systems well under a second.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/calendar.h"
#include "base/sky_view.h"
#include "motion/almanac.h"
#include "motion/constellations.h"
#include "motion/dop.h"

namespace wayloom {

struct SkySettings {
  std::vector<GnssSystem> systems{GnssSystem::kGps};  // in any order; twice counts once
  double elevationMaskDegrees = 5.0;                  // 0 to below 90
  double refreshSeconds = 5.0;                        // a sky is held this long; 0: every fix
};

struct ReceiverPlace {
  double latitudeDegrees = 0.0;
  double longitudeDegrees = 0.0;
  double heightMetres = 0.0;  // above the WGS84 ellipsoid
};

// Milliseconds since 1970-01-01 UTC of a fix's clock, which counts from midnight of date.
std::int64_t UtcMsOf(const CalendarDate& date, std::int64_t clockMs);

// Reads a comma-separated list of systems: gps, glonass, galileo, beidou (upper or lower case,
// each at most once). False, with problem set, for an empty list, an unknown name or a name given
// twice.
bool ParseSystemList(std::string_view text, std::vector<GnssSystem>& systems, std::string& problem);

class Sky {
 public:
  // The nominal constellations of the systems.
  explicit Sky(const SkySettings& settings);
  // The same, but GPS from the almanac's satellites (when the settings list GPS), their weeks
  // resolved near startUtcMs (see OrbitsFromAlmanac).
  Sky(const SkySettings& settings, const std::vector<AlmanacRecord>& almanac,
      std::int64_t startUtcMs);

  // The sky at the receiver's place at utcMs, as computed at the last whole multiple of the
  // refresh time since 1970 (the same for every run through that moment), at the place of the
  // first fix after it; computed again at the next multiple, or sooner when the receiver has gone
  // more than about 5 km from that place. Valid until the next call.
  const SkyView& At(const ReceiverPlace& place, std::int64_t utcMs);

  // The sky exactly at that place and moment.
  void Compute(const ReceiverPlace& place, std::int64_t utcMs, SkyView& view);

  // Every satellite of the chosen systems, by system and then id, as SkyView lists them.
  const std::vector<SatelliteOrbit>& Satellites() const { return satellites_; }

 private:
  void Choose(SkyView& view);

  SkySettings settings_;
  std::vector<SatelliteOrbit> satellites_;
  std::vector<std::size_t> planeOf_;  // each satellite's plane, an index into planes_
  std::vector<std::size_t> planes_;   // the first satellite of each plane
  std::vector<PlaneTurn> turns_;
  double sinMask_;
  std::int64_t refreshMs_;

  SkyView held_;
  bool holding_ = false;
  double heldLatitude_ = 0.0;
  double heldLongitude_ = 0.0;
  double heldCosLatitude_ = 1.0;

  // Room reused from one computation to the next.
  std::vector<LineOfSight> lines_;        // of every satellite in view
  std::vector<LineOfSight> candidates_;   // of the healthy ones
  std::vector<std::size_t> candidateAt_;  // their places in the view
  std::vector<std::size_t> chosen_;
  std::vector<LineOfSight> used_;
};

}  // namespace wayloom

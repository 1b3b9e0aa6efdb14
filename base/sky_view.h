// The sky a receiver sees at one fix: the satellites above its elevation mask, where each stands,
// how strong its signal is, which ones the position is computed from, and the dilutions of
// precision of that choice. motion/sky.h computes it; the sentences (GSA, GSV, GGA) print it.
#pragma once

#include <cstdint>
#include <vector>

namespace wayloom {

// The satellite systems a receiver can track, in the order their satellites are listed.
enum class GnssSystem : std::uint8_t { kGps, kGlonass, kGalileo, kBeidou };
constexpr int kGnssSystemCount = 4;

// What NMEA 0183 4.10 and 4.11 call each system: the talker of its own GSA and GSV sentences, the
// system ID of GSA's last field (BeiDou's 4 became official in 4.11; receivers speaking 4.10
// already send it), and the signal ID that closes GSV (the open civil signal a simple receiver
// tracks: GPS L1 C/A 1, GLONASS L1 C/A 1, Galileo E1 B/C 7, BeiDou B1I 1).
//
// Satellite IDs (SatelliteInView::id) are those of 4.10 with the system's own talker: GPS 1-32,
// GLONASS 65-96 (64 + orbital slot), Galileo 1-36, BeiDou 1-63. NMEA 2.3 numbers only GPS
// (1-32), SBAS (33-64) and GLONASS (65-96), always under GP or GL (GN when mixed); it has no
// numbers for Galileo or BeiDou. Receivers kept at 2.3 either leave those two systems out of GSA
// and GSV or print them in numberings of their own beyond 96 (Galileo 301-336 and BeiDou 401-463
// are common), which readers cannot rely on.
struct GnssSystemNames {
  const char* talker;  // "GP", "GL", "GA", "GB"
  int nmeaSystemId;    // 1, 2, 3, 4
  int nmeaSignalId;    // 1, 1, 7, 1
};
constexpr GnssSystemNames kGnssSystemNames[kGnssSystemCount] = {
    {"GP", 1, 1}, {"GL", 2, 1}, {"GA", 3, 7}, {"GB", 4, 1}};
constexpr const GnssSystemNames& NamesOf(GnssSystem system) {
  return kGnssSystemNames[static_cast<int>(system)];
}

struct SatelliteInView {
  GnssSystem system = GnssSystem::kGps;
  int id = 0;                     // as NMEA 4.10 numbers it within its system (see above)
  double elevationDegrees = 0.0;  // from the mask up to 90
  double azimuthDegrees = 0.0;    // clockwise from true north, 0 to below 360
  // The same rounded to whole degrees, as GSV prints them: 0 to 90 and 0 to 359.
  int elevationWholeDegrees = 0;
  int azimuthWholeDegrees = 0;
  int signalDbHz = 0;   // carrier to noise density, growing with elevation
  bool healthy = true;  // an almanac can mark a satellite unusable: tracked, never used
  bool used = false;    // in the position fix
};

struct SkyView {
  std::int64_t utcMs = 0;                   // the moment it shows, ms since 1970-01-01 UTC
  std::vector<SatelliteInView> satellites;  // by system, then by id
  int usedCount = 0;                        // at most kMostUsed
  // With four used satellites or more in a geometry that fixes a position: the dilutions of
  // precision of the used set, horizontal, vertical and of the position. Without a fix they are 0.
  // They are those of the whole-degree directions, so that a reader who works them out from GSV
  // and GSA gets the printed figures; the exact directions give figures up to 4% apart.
  bool hasFix = false;
  double hdop = 0.0;
  double vdop = 0.0;
  double pdop = 0.0;

  // As many as GSA lists and as a receiver of a dozen channels uses.
  static constexpr int kMostUsed = 12;
};

}  // namespace wayloom

// A GPS almanac, as the US Coast Guard Navigation Center and others publish it for free, in its
// two text forms: YUMA (a block of "Name: value" lines per satellite) and SEM (numbers only, in
// the units of the broadcast message). With one, the GPS satellites stand where they really were
// on the almanac's date instead of in the nominal slots.
#pragma once

#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "motion/constellations.h"

namespace wayloom {

// One satellite's almanac, in the units of the YUMA form (radians, seconds, metres).
struct AlmanacRecord {
  int prn = 0;     // 1 to 32
  int health = 0;  // 0: usable
  int week = 0;    // as the file gives it: most give the GPS week modulo 1024
  double timeOfApplicabilitySeconds = 0.0;  // into the week, 0 to below 604,800
  double eccentricity = 0.0;
  double inclinationRadians = 0.0;
  double rightAscensionRateRadiansPerSecond = 0.0;
  double sqrtSemiMajorAxis = 0.0;            // square root of metres
  double rightAscensionAtWeekRadians = 0.0;  // longitude of the node at the start of the week
  double argumentOfPerigeeRadians = 0.0;
  double meanAnomalyRadians = 0.0;
};

// Reads an almanac in either form, told apart by its first line that is not blank: YUMA begins
// with a line of stars, SEM with the number of records and a title. False, with problem naming the
// line and what is wrong with it, for anything else: a missing or unknown line, a number that
// does not read, a value outside its range (PRN 1 to 32, an orbit that stays clear of the Earth,
// a time within the week), a PRN given twice, a file without satellites.
bool ParseAlmanac(std::string_view text, std::vector<AlmanacRecord>& records, std::string& problem);

// ParseAlmanac on a file's bytes (at most kLargestAlmanacBytes of them). When the file cannot be
// read, problem says so and reason holds the system's error; otherwise reason is cleared.
constexpr std::size_t kLargestAlmanacBytes = 1 << 20;
bool ReadAlmanacFile(const std::string& path, std::vector<AlmanacRecord>& records,
                     std::string& problem, std::error_code& reason);

// The orbits of the almanac's satellites, in the order of their PRNs, by the algorithm the GPS
// signal interface document gives a receiver for its almanac (Keplerian elements, the node
// reckoned on the turning Earth, no harmonic corrections). A week given modulo 1024 is taken as the
// one nearest nearGpsSeconds (the track's start).
std::vector<SatelliteOrbit> OrbitsFromAlmanac(const std::vector<AlmanacRecord>& records,
                                              double nearGpsSeconds);

}  // namespace wayloom

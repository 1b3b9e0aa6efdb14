// Dilution of precision: how the directions of the satellites a fix is computed from turn their
// range errors into position errors, and the choice of those satellites.
#pragma once

#include <cstddef>
#include <vector>

namespace wayloom {

// The unit vector from the receiver towards a satellite, in the receiver's east, north and up.
struct LineOfSight {
  double east = 0.0;
  double north = 0.0;
  double up = 0.0;
};

LineOfSight LineOfSightOf(double elevationDegrees, double azimuthDegrees);

struct Dops {
  bool solvable = false;  // the directions fix a position and a clock
  double horizontal = 0.0;
  double vertical = 0.0;
  double position = 0.0;
};

// The classic dilutions of precision of a fix from these directions: G has a row
// (-east, -north, -up, 1) per satellite, Q = (G^T G)^-1, HDOP = sqrt(Qee + Qnn),
// VDOP = sqrt(Quu), PDOP = sqrt(Qee + Qnn + Quu).
//
// One receiver clock for every system (the fourth column): GLONASS, Galileo and BeiDou broadcast
// their time offsets to GPS time, so a receiver can reckon all its ranges in one time scale. That
// is also the geometry a reader of GSA and GSV checks with the textbook formula.
//
// Not solvable with fewer than four directions or with directions that leave the position or the
// clock undetermined (all in one plane or cone).
Dops DopsOf(const std::vector<LineOfSight>& lines);

// Which of the candidates a receiver computes its fix from when it can use at most `most`: all of
// them when they are no more; otherwise the highest first (the first a receiver locks on to
// stays), then one at a time the candidate that lowers the PDOP of the chosen ones most. This
// greedy choice gives close to the best geometry at a small cost (each step is a 4x4 update per
// candidate), where the highest satellites alone crowd around the zenith and leave the horizontal
// error to chance. chosen receives the indices of the chosen candidates, in increasing order.
void ChooseForFix(const std::vector<LineOfSight>& candidates, std::size_t most,
                  std::vector<std::size_t>& chosen);

}  // namespace wayloom

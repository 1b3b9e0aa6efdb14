#include "motion/dop.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace wayloom {
namespace {

constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180.0;
// A Cholesky pivot this small against its diagonal leaves an unknown undetermined.
constexpr double kSmallestPivotRatio = 1e-12;
// The greedy choice starts from a weak prior on the four unknowns (a variance of 1,000 range
// units squared), so that the first few satellites can be compared before they fix everything.
constexpr double kPriorInformation = 1e-3;

using Matrix4 = double[4][4];

void RowOf(const LineOfSight& line, double row[4]) {
  row[0] = -line.east;
  row[1] = -line.north;
  row[2] = -line.up;
  row[3] = 1.0;
}

// The diagonal of the inverse of the symmetric positive definite a, from its Cholesky factor
// a = L L^T: (a^-1)_ii is the sum over k of (L^-1)_ki squared. False when a is singular.
bool InverseDiagonal(const Matrix4& a, double diagonal[4]) {
  Matrix4 l = {};
  for (int j = 0; j < 4; ++j) {
    double pivot = a[j][j];
    for (int k = 0; k < j; ++k) pivot -= l[j][k] * l[j][k];
    if (!(pivot > kSmallestPivotRatio * a[j][j])) return false;
    l[j][j] = std::sqrt(pivot);
    for (int i = j + 1; i < 4; ++i) {
      double sum = a[i][j];
      for (int k = 0; k < j; ++k) sum -= l[i][k] * l[j][k];
      l[i][j] = sum / l[j][j];
    }
  }
  Matrix4 inverse = {};  // of L, lower triangular
  for (int j = 0; j < 4; ++j) {
    inverse[j][j] = 1.0 / l[j][j];
    for (int i = j + 1; i < 4; ++i) {
      double sum = 0.0;
      for (int k = j; k < i; ++k) sum += l[i][k] * inverse[k][j];
      inverse[i][j] = -sum / l[i][i];
    }
  }
  for (int i = 0; i < 4; ++i) {
    diagonal[i] = 0.0;
    for (int k = i; k < 4; ++k) diagonal[i] += inverse[k][i] * inverse[k][i];
  }
  return true;
}

// v = p g and g^T p g for a row g of G, whose last element is 1.
double Product(const Matrix4& p, const double g[4], double v[4]) {
  for (int i = 0; i < 4; ++i) v[i] = p[i][0] * g[0] + p[i][1] * g[1] + p[i][2] * g[2] + p[i][3];
  return g[0] * v[0] + g[1] * v[1] + g[2] * v[2] + v[3];
}

// p becomes (p^-1 + g g^T)^-1 by the Sherman-Morrison formula.
void AddRow(Matrix4& p, const double g[4]) {
  double v[4];
  const double denominator = 1.0 + Product(p, g, v);
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) p[i][j] -= v[i] * v[j] / denominator;
  }
}

// How much adding row g to the chosen ones lowers the sum of the three position variances.
double PositionGain(const Matrix4& p, const double g[4]) {
  double v[4];
  const double denominator = 1.0 + Product(p, g, v);
  return (v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) / denominator;
}

}  // namespace

LineOfSight LineOfSightOf(double elevationDegrees, double azimuthDegrees) {
  const double elevation = elevationDegrees * kRadiansPerDegree;
  const double azimuth = azimuthDegrees * kRadiansPerDegree;
  return {std::cos(elevation) * std::sin(azimuth), std::cos(elevation) * std::cos(azimuth),
          std::sin(elevation)};
}

Dops DopsOf(const std::vector<LineOfSight>& lines) {
  Dops dops;
  if (lines.size() < 4) return dops;
  Matrix4 normal = {};
  for (const LineOfSight& line : lines) {
    double g[4];
    RowOf(line, g);
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) normal[i][j] += g[i] * g[j];
    }
  }
  double variance[4];
  if (!InverseDiagonal(normal, variance)) return dops;
  dops.solvable = true;
  dops.horizontal = std::sqrt(variance[0] + variance[1]);
  dops.vertical = std::sqrt(variance[2]);
  dops.position = std::sqrt(variance[0] + variance[1] + variance[2]);
  return dops;
}

void ChooseForFix(const std::vector<LineOfSight>& candidates, std::size_t most,
                  std::vector<std::size_t>& chosen) {
  chosen.clear();
  const std::size_t count = candidates.size();
  if (count <= most) {
    for (std::size_t i = 0; i < count; ++i) chosen.push_back(i);
    return;
  }
  if (most == 0) return;
  Matrix4 p = {};
  for (int i = 0; i < 4; ++i) p[i][i] = 1.0 / kPriorInformation;
  std::vector<std::array<double, 4>> rows(count);
  std::vector<bool> taken(count, false);
  std::size_t next = 0;
  for (std::size_t i = 0; i < count; ++i) {
    RowOf(candidates[i], rows[i].data());
    if (candidates[i].up > candidates[next].up) next = i;
  }
  for (;;) {
    AddRow(p, rows[next].data());
    taken[next] = true;
    chosen.push_back(next);
    if (chosen.size() == most) break;
    double bestGain = -1.0;
    for (std::size_t i = 0; i < count; ++i) {
      if (taken[i]) continue;
      const double gain = PositionGain(p, rows[i].data());
      if (gain > bestGain) {
        bestGain = gain;
        next = i;
      }
    }
  }
  std::sort(chosen.begin(), chosen.end());
}

}  // namespace wayloom

#include "dialog/coverage_raster.h"

#include <QRectF>
#include <algorithm>
#include <cmath>

namespace {

QRgb Blend(QRgb from, QRgb to, double t) {
  const auto mix = [t](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * t)); };
  // Alpha too, so that a partly covered pixel over a transparent ground (a drawing over map
  // tiles) stays partly transparent: the mix of premultiplied colours is itself premultiplied.
  return qRgba(mix(qRed(from), qRed(to)), mix(qGreen(from), qGreen(to)),
               mix(qBlue(from), qBlue(to)), mix(qAlpha(from), qAlpha(to)));
}

}  // namespace

bool ClipSegment(QPointF& a, QPointF& b, const QRectF& rect) {
  double t0 = 0.0;
  double t1 = 1.0;
  const double dx = b.x() - a.x();
  const double dy = b.y() - a.y();
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a.x() - rect.left(), rect.right() - a.x(), a.y() - rect.top(),
                       rect.bottom() - a.y()};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0.0) {
      t0 = std::max(t0, t);
    } else {
      t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
  }
  const QPointF start = a;
  if (t1 < 1.0) b = QPointF(start.x() + t1 * dx, start.y() + t1 * dy);
  if (t0 > 0.0) a = QPointF(start.x() + t0 * dx, start.y() + t0 * dy);
  return true;
}

CoverageRaster::CoverageRaster(int width, int height)
    : m_width(std::max(2, width)),
      m_height(std::max(2, height)),
      m_tilesAcross((static_cast<std::size_t>(m_width) + 7) / 8),
      m_cover(m_tilesAcross * ((static_cast<std::size_t>(m_height) + 7) / 8) * 64, 0) {}

void CoverageRaster::AddLine(QPointF a, QPointF b, float weight, bool skipFirst) {
  // Pixel centres lie on whole numbers; the line's second pixel row or column must stay inside.
  const QRectF inside(0.0, 0.0, m_width - 1.001, m_height - 1.001);
  const QPointF from = a;
  if (!ClipSegment(a, b, inside)) return;
  skipFirst = skipFirst && a == from;
  const int units = static_cast<int>(std::lround(weight * kUnitsPerPixel));
  if (std::abs(b.x() - a.x()) >= std::abs(b.y() - a.y())) {
    Walk(a, b, units, skipFirst, false);
  } else {
    Walk(QPointF(a.y(), a.x()), QPointF(b.y(), b.x()), units, skipFirst, true);
  }
}

void CoverageRaster::Walk(QPointF a, QPointF b, int units, bool skipFirst, bool transposed) {
  const double dx = b.x() - a.x();
  const double slope = dx == 0.0 ? 0.0 : (b.y() - a.y()) / dx;
  const int first = static_cast<int>(std::lround(a.x()));
  const int last = static_cast<int>(std::lround(b.x()));
  const int step = last >= first ? 1 : -1;
  double y = a.y() + slope * (first - a.x());
  const double dy = slope * step;
  if (skipFirst) {
    if (first == last) return;
    y += dy;
  }
  // Transposed, x walks the rows and y the columns.
  const int along = transposed ? m_height : m_width;
  const int across = transposed ? m_width : m_height;
  for (int x = skipFirst ? first + step : first;; x += step) {
    const double row = std::clamp(y, 0.0, across - 1.001);
    const int low = static_cast<int>(row);
    const int far = static_cast<int>((row - low) * units);
    const int column = std::clamp(x, 0, along - 1);
    std::uint16_t& nearCover = m_cover[transposed ? Index(low, column) : Index(column, low)];
    std::uint16_t& farCover = m_cover[transposed ? Index(low + 1, column) : Index(column, low + 1)];
    nearCover = static_cast<std::uint16_t>(std::min(65535, nearCover + units - far));
    farCover = static_cast<std::uint16_t>(std::min(65535, farCover + far));
    if (x == last) break;
    y += dy;
  }
}

double CoverageRaster::Most() const {
  return double(*std::max_element(m_cover.begin(), m_cover.end())) / kUnitsPerPixel;
}

std::uint16_t CoverageRaster::LowDensity() const {
  std::vector<std::size_t> counts(65536, 0);
  std::size_t covered = 0;
  for (const std::uint16_t units : m_cover) {
    if (units == 0) continue;
    ++counts[units];
    ++covered;
  }
  std::size_t seen = 0;
  for (std::size_t units = 1; units < counts.size(); ++units) {
    seen += counts[units];
    if (seen * kLowShare >= covered) {
      return static_cast<std::uint16_t>(std::max<std::size_t>(units, kUnitsPerPixel));
    }
  }
  return kUnitsPerPixel;
}

void CoverageRaster::Shade(QImage& image, QRgb sparseRgb, QRgb denseRgb) const {
  // The ink of every coverage from 1 up: sparseRgb up to the low density, then darker on a
  // logarithmic scale up to denseRgb at the most.
  const std::uint16_t most = *std::max_element(m_cover.begin(), m_cover.end());
  const std::uint16_t low = LowDensity();
  std::vector<QRgb> ink(std::size_t{most} + 1, sparseRgb);
  const double scale = most > low ? 1.0 / std::log(double(most) / low) : 0.0;
  for (int units = low + 1; units <= most; ++units) {
    ink[static_cast<std::size_t>(units)] =
        Blend(sparseRgb, denseRgb, std::log(double(units) / low) * scale);
  }
  const int width = std::min(m_width, image.width());
  const int height = std::min(m_height, image.height());
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const std::uint16_t units = m_cover[Index(x, y)];
      if (units == 0) continue;
      line[x] = units >= kUnitsPerPixel ? ink[units]
                                        : Blend(line[x], sparseRgb, double(units) / kUnitsPerPixel);
    }
  }
}

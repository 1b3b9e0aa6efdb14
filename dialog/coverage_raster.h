// How much line crosses each pixel of an image: thin antialiased lines added up, then shaded onto
// the image, the line's colour where one line crosses and darker where many do. The track map uses
// it for views whose segments are too many or too long to stroke, so that a dense track is drawn
// in time in proportion to its length in pixels and shows where it is densest.
#pragma once

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QRgb>
#include <cstddef>
#include <cstdint>
#include <vector>

// Cuts the segment a-b to the rectangle; false when none of it lies inside (Liang-Barsky). The
// map's strokes and the coverage raster clip alike.
bool ClipSegment(QPointF& a, QPointF& b, const QRectF& rect);

class CoverageRaster {
 public:
  // Coverage is kept in steps of 1/kUnitsPerPixel, up to 65535 of them (a thousand lines).
  static constexpr int kUnitsPerPixel = 64;

  // A raster of width by height pixels, every one uncovered.
  CoverageRaster(int width, int height);

  // Adds the line from a to b (pixels of the raster, any values) one pixel wide, antialiased
  // across its direction, each pixel step adding weight in all. With skipFirst the step at a is
  // left out: it is where the line before ended and was counted there.
  void AddLine(QPointF a, QPointF b, float weight, bool skipFirst);

  // The coverage of a pixel: 1 for a pixel a line crosses squarely.
  double At(int x, int y) const { return double(m_cover[Index(x, y)]) / kUnitsPerPixel; }
  double Most() const;

  // Paints every covered pixel of image (the raster's size in device pixels): as opaque as its
  // coverage up to 1; in sparseRgb up to the coverage that a tenth of the covered pixels do not
  // exceed, and from there towards denseRgb on a logarithmic scale up to the most of any pixel. So
  // the shades span the densities the image holds, however dense it is overall.
  void Shade(QImage& image, QRgb sparseRgb, QRgb denseRgb) const;

 private:
  // The pixels are kept in tiles of 8 by 8, so that a steep line stays in one stretch of memory
  // for eight of its steps.
  std::size_t Index(int x, int y) const {
    const auto column = static_cast<std::size_t>(x);
    const auto row = static_cast<std::size_t>(y);
    return (((row >> 3) * m_tilesAcross + (column >> 3)) << 6) + ((row & 7) << 3) + (column & 7);
  }
  // The share of covered pixels drawn in the sparse shade: one in kLowShare.
  static constexpr std::size_t kLowShare = 10;
  // The coverage (in units, at least one pixel's worth) a tenth of the covered pixels stay within.
  std::uint16_t LowDensity() const;
  // Steps along x from a to b (|dx| >= |dy|), or along y with transposed set.
  void Walk(QPointF a, QPointF b, int units, bool skipFirst, bool transposed);

  int m_width;
  int m_height;
  std::size_t m_tilesAcross;
  std::vector<std::uint16_t> m_cover;
};

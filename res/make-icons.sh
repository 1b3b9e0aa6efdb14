#!/bin/sh
# Renders the PNG sizes of the window icon from wayloom.svg (ImageMagick). The PNGs are committed, so
# a build needs neither ImageMagick nor an SVG renderer; run this again after changing the drawing.
set -eu
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
  convert -background none -density 384 wayloom.svg -filter Lanczos -resize "${size}x${size}" \
    -depth 8 -strip -define png:exclude-chunk=date,time "PNG32:wayloom-${size}.png"
done

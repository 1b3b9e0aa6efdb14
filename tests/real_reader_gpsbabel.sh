#!/bin/sh
# A real NMEA reader on our track: gpsbabel must read back every point of the sample, in order, at
# the POI file's coordinates (to 0.0001 minute) and one period apart.
# Usage: real_reader_gpsbabel.sh WAYLOOM_CLI EXAMPLES_DIR
set -eu
cli=$1
pois=$2/a9-edinburgh-inverness.csv
if ! command -v gpsbabel >/dev/null 2>&1; then
  echo "gpsbabel is not installed: skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$cli" --quiet "$pois" "$work/track.nmea"
# Our RMC sentences carry no date, so the reader is given one.
gpsbabel -t -i nmea,date=20260101 -f "$work/track.nmea" -o unicsv -F "$work/read.csv"

awk -F, '
  NR == FNR { if (FNR > 1) { n++; lon[n] = $1; lat[n] = $2 } next }
  FNR == 1 { next }
  {
    k++
    tolerance = 0.0001 / 60
    dlat = $2 - lat[k]; if (dlat < 0) dlat = -dlat
    dlon = $3 - lon[k]; if (dlon < 0) dlon = -dlon
    if (dlat > tolerance || dlon > tolerance) {
      printf "point %d read as %s,%s; the POI file has %s,%s\n", k, $2, $3, lat[k], lon[k]; bad = 1
    }
    split($11, hms, ":")
    seconds = hms[1] * 3600 + hms[2] * 60 + hms[3]
    if (seconds != 3600 + (k - 1)) { printf "point %d read at %s\n", k, $11; bad = 1 }
  }
  END {
    if (k != n) { printf "gpsbabel read %d points of %d\n", k, n; bad = 1 }
    if (bad) exit 1
    printf "gpsbabel read all %d points back\n", k
  }' "$pois" "$work/read.csv"

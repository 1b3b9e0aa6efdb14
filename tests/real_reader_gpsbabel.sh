#!/bin/sh
# A real NMEA reader on our tracks of the sample, read back by gpsbabel.
# - File order: every point of the sample, in order, at the POI file's coordinates (to 0.0001
#   minute) and one period apart.
# - Dated (--date), read without gpsbabel's date option: every point with its own date and time,
#   across midnight forwards and, with a negative period, backwards.
# - With extra points: every sentence pair of the track, the sample's points among them in file
#   order, one period from an extra point to the next point and two periods from a point of the
#   sample to the next.
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

# Our RMC sentences carry no date, so the reader is given one.
read_back() {
  gpsbabel -t -i nmea,date=20260101 -f "$1" -o unicsv -F "$2"
}

"$cli" --quiet "$pois" "$work/track.nmea"
read_back "$work/track.nmea" "$work/read.csv"
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

period=2
"$cli" --quiet --extra --step 1000 --period "$period" "$pois" "$work/extra.nmea"
read_back "$work/extra.nmea" "$work/extra.csv"
pairs=$(grep -c '^\$GPGGA,' "$work/extra.nmea")
awk -F, -v pairs="$pairs" -v period="$period" '
  function at_sample(i) {
    dlat = plat - lat[i]; if (dlat < 0) dlat = -dlat
    dlon = plon - lon[i]; if (dlon < 0) dlon = -dlon
    return i <= n && dlat <= 0.0001 / 60 && dlon <= 0.0001 / 60
  }
  NR == FNR { if (FNR > 1) { n++; lon[n] = $1; lat[n] = $2 } next }
  FNR == 1 { next }
  {
    k++
    split($11, hms, ":")
    seconds = hms[1] * 3600 + hms[2] * 60 + hms[3]
    if (k == 1 && seconds != 3600) { printf "the track starts at %s\n", $11; bad = 1 }
    # Two periods mark the point before as one of the sample: it must be the next one.
    if (k > 1 && seconds - last == 2 * period) {
      if (!at_sample(j + 1)) { printf "point %d is not sample point %d\n", k - 1, j + 1; bad = 1 }
      j++
    } else if (k > 1 && seconds - last != period) {
      printf "point %d read at %s, %d s after the one before\n", k, $11, seconds - last; bad = 1
    }
    last = seconds; plat = $2; plon = $3
  }
  END {
    if (at_sample(j + 1)) j++; else { print "the track does not end at the last sample point"; bad = 1 }
    if (k != pairs) { printf "gpsbabel read %d points of the %d of the track\n", k, pairs; bad = 1 }
    if (j != n) { printf "%d of the %d sample points were found in order\n", j, n; bad = 1 }
    if (bad) exit 1
    printf "gpsbabel read all %d points of the extra-point track back, the %d sample points among them\n", k, n
  }' "$pois" "$work/extra.csv"

# Dated tracks, an hour between points: the clock passes midnight one way or the other.
for period in 3600 -3600; do
  "$cli" --quiet --yes --date 2026-03-07 --period "$period" "$pois" "$work/dated.nmea"
  gpsbabel -t -i nmea -f "$work/dated.nmea" -o unicsv -F "$work/dated.csv"
  awk -F, -v period="$period" '
    function days(y, m, d) {  # days since 1970-01-01
      if (m <= 2) { y--; m += 12 }
      return 365 * y + int(y / 4) - int(y / 100) + int(y / 400) + int((153 * (m - 3) + 2) / 5) + d - 719469
    }
    NR == FNR { if (FNR > 1) { n++; lon[n] = $1; lat[n] = $2 } next }
    { sub(/\r$/, "") }
    FNR == 1 { for (i = 1; i <= NF; i++) column[$i] = i; next }
    {
      k++
      dlat = $2 - lat[k]; if (dlat < 0) dlat = -dlat
      dlon = $3 - lon[k]; if (dlon < 0) dlon = -dlon
      if (dlat > 0.0001 / 60 || dlon > 0.0001 / 60) { printf "point %d read as %s,%s\n", k, $2, $3; bad = 1 }
      split($column["Date"], d, "/")
      split($column["Time"], t, ":")
      seconds = (days(d[1], d[2], d[3]) - days(2026, 3, 7)) * 86400 + t[1] * 3600 + t[2] * 60 + t[3]
      if (seconds != 3600 + (k - 1) * period) {
        printf "point %d read at %s %s\n", k, $column["Date"], $column["Time"]; bad = 1
      }
      if (d[3] != 7) other_day = 1
    }
    END {
      if (k != n) { printf "gpsbabel read %d points of %d\n", k, n; bad = 1 }
      if (!other_day) { print "no point read on another day"; bad = 1 }
      if (bad) exit 1
      printf "gpsbabel read all %d points of the dated track (period %d s) with their dates\n", k, period
    }' "$pois" "$work/dated.csv"
done

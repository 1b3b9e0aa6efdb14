#!/bin/sh
# gpsbabel, a real NMEA reader, reads back our tracks of the sample:
# - in file order, undated (gpsbabel is given the date) and dated with an hour between points, so
#   that the clock passes midnight forwards and backwards: every point of the sample in order, at
#   its coordinates (to 0.0001 minute), at its time on its day;
# - with extra points: every pair of the track, the sample's points among them in file order, one
#   period from an extra point to the next and two periods from a point of the sample.
# Usage: real_reader_gpsbabel.sh WAYLOOM_CLI EXAMPLES_DIR
set -eu
cli=$1
pois=$2/a9-edinburgh-inverness.csv
command -v gpsbabel >/dev/null 2>&1 || { echo "gpsbabel is not installed: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# check PERIOD EXTRA READER_OPTIONS WAYLOOM_OPTIONS...
check() {
  period=$1 extra=$2 reader=$3
  shift 3
  "$cli" --quiet --yes --period "$period" "$@" "$pois" "$work/track.nmea"
  gpsbabel -t -i "nmea$reader" -f "$work/track.nmea" -o unicsv -F "$work/read.csv"
  awk -F, -v period="$period" -v extra="$extra" -v pairs="$(grep -c '^\$GPGGA' "$work/track.nmea")" '
    function days(y, m, d) {  # days since 1970-01-01
      if (m <= 2) { y--; m += 12 }
      return 365 * y + int(y / 4) - int(y / 100) + int(y / 400) + int((153 * (m - 3) + 2) / 5) + d - 719469
    }
    function at(i, la, lo) {  # whether la,lo is sample point i
      la -= lat[i]; lo -= lon[i]
      return i <= n && la * la <= 0.0001 * 0.0001 / 3600 && lo * lo <= 0.0001 * 0.0001 / 3600
    }
    NR == FNR { if (FNR > 1) { n++; lon[n] = $1; lat[n] = $2 } next }
    { sub(/\r$/, "") }
    FNR == 1 { for (i = 1; i <= NF; i++) column[$i] = i; next }
    {
      k++
      la = $column["Latitude"]; lo = $column["Longitude"]; when = $column["Date"] " " $column["Time"]
      split($column["Date"], d, "/"); split($column["Time"], t, ":")
      s = (days(d[1], d[2], d[3]) - days(2026, 3, 7)) * 86400 + t[1] * 3600 + t[2] * 60 + t[3]
      if (!extra && !at(k, la, lo)) { printf "point %d read as %s,%s\n", k, la, lo; bad = 1 }
      if (!extra && s != 3600 + (k - 1) * period) { printf "point %d read at %s\n", k, when; bad = 1 }
      if (s < 0 || s >= 86400) other_day = 1
      # In an extra-point track two periods mark the point before as the next of the sample.
      if (extra && k > 1 && s - last == 2 * period) {
        if (!at(j + 1, before_la, before_lo)) { printf "point %d is not sample point %d\n", k - 1, j + 1; bad = 1 }
        j++
      } else if (extra && (k == 1 ? s != 3600 : s - last != period)) {
        printf "point %d read at %s\n", k, when; bad = 1
      }
      last = s; before_la = la; before_lo = lo
    }
    END {
      if (extra && at(j + 1, before_la, before_lo)) j++
      if (extra ? j != n || k != pairs : k != n) { printf "read %d points, %d of the sample\n", k, j; bad = 1 }
      if (period * period == 3600 * 3600 && !other_day) { print "no point read on another day"; bad = 1 }
      if (bad) exit 1
      printf "gpsbabel read all %d points back (period %d s%s)\n", k, period, extra ? ", extra points" : ""
    }' "$pois" "$work/read.csv"
}

check 1 0 ,date=20260307
check 2 1 ,date=20260307 --extra --step 1000
check 3600 0 "" --date 2026-03-07
check -3600 0 "" --date 2026-03-07

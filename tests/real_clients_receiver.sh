#!/bin/sh
# Real clients of receiver mode, each bounded in time and on loopback only; a client that is not
# installed is skipped (exit 77) with a notice. GeographicLib's inverse (the judge) measures them.
# - gpsd: receiver mode at 30 kn along the sample, served over TCP. Every TPV report, the first
#   included, has a time, the set speed within 0.05 m/s, and a track within 0.1 degree of the
#   geodesic azimuth towards the next fix; SKY reports list 10 satellites, 7 of them used.
# - gpsbabel: a track read back has consecutive fixes speed x period apart along the route (within
#   0.1 %), every point of the sample within half a fix spacing of a fix, and a 22 m stretch across
#   the antimeridian gives one or two fixes. gpsbabel pairs GGA with the RMC after it, so its track
#   puts GGA first.
# - qt: QNmeaPositionInfoSource (simulation mode) gives one update per fix with the fix's time,
#   ground speed and direction. It reports a fix when the next one begins, so the last fix of a
#   file has no update.
# Usage: real_clients_receiver.sh CLIENT WAYLOOM_CLI EXAMPLES_DIR JUDGE FREE_PORT [QT_READER]
set -eu
client=$1
cli=$2
pois=$3/a9-edinburgh-inverness.csv
judge=$4
free_port=$5
qt_reader=${6:-}
case $client in
  gpsd) needs="gpsd gpspipe" ;;
  gpsbabel) needs=gpsbabel ;;
  qt) needs=$qt_reader ;;
esac
for program in $needs; do
  if ! command -v "$program" >/dev/null 2>&1; then
    echo "$client: $program is not installed: skipped"
    exit 77
  fi
done
[ -n "$needs" ] || { echo "$client: Qt Positioning was not found at build time: skipped"; exit 77; }
work=$(mktemp -d)
pids=""
cleanup() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
knots_ms=15.433333  # 30 kn in m/s

if [ "$client" = gpsd ]; then
  "$cli" --speed 30 --serve 0 --loop --wait-clients 1 --speedup 10 "$pois" 2>"$work/serve.err" &
  pids="$pids $!"
  tries=0
  until grep -q "serving NMEA on" "$work/serve.err"; do
    tries=$((tries + 1))
    if [ "$tries" -gt 600 ]; then cat "$work/serve.err"; exit 1; fi
    sleep 0.1
  done
  port=$(sed -n 's/.*serving NMEA on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/serve.err")
  # Without -n gpsd connects to the source only when a client watches: it sees the first fix.
  gpsd_port=$("$free_port")
  gpsd -N -b -S "$gpsd_port" "tcp://127.0.0.1:$port" 2>"$work/gpsd.err" &
  pids="$pids $!"
  tries=0
  until timeout 60 gpspipe -w -n 60 "127.0.0.1:$gpsd_port" >"$work/gpsd.json" 2>/dev/null; do
    tries=$((tries + 1))
    if [ "$tries" -gt 20 ]; then echo "gpspipe got no reports"; cat "$work/gpsd.err"; exit 1; fi
    sleep 0.2
  done
  # SKY: every report lists the constellation.
  awk '/"class":"SKY"/ && /"satellites"/ {
         sky++; n = gsub(/"PRN":/, "&"); used = gsub(/"used":true/, "&")
         if (n != 10 || used != 7) { printf "SKY with %d satellites, %d used\n", n, used; bad = 1 }
       }
       END { if (!sky) { print "no SKY report"; bad = 1 } exit bad }' "$work/gpsd.json"
  # TPV: lat lon time speed track, each report once; the judge adds the way to the next.
  grep '"class":"TPV"' "$work/gpsd.json" | awk '{
      t = "-"; lat = "-"; lon = "-"; speed = "-"; track = "-"
      if (match($0, /"time":"[^"]*"/)) t = substr($0, RSTART + 8, RLENGTH - 9)
      if (match($0, /"lat":[-0-9.]*/)) lat = substr($0, RSTART + 6, RLENGTH - 6)
      if (match($0, /"lon":[-0-9.]*/)) lon = substr($0, RSTART + 6, RLENGTH - 6)
      if (match($0, /"speed":[-0-9.]*/)) speed = substr($0, RSTART + 8, RLENGTH - 8)
      if (match($0, /"track":[-0-9.]*/)) track = substr($0, RSTART + 8, RLENGTH - 8)
      if (t != last) print lat, lon, t, speed, track
      last = t
    }' | "$judge" | awk -v v="$knots_ms" '
    {
      n++
      if ($3 == "-") { printf "TPV %d has no time\n", n; bad = 1 }
      d = $4 - v; if ($4 == "-" || d < -0.05 || d > 0.05) { printf "TPV %s: speed %s\n", $3, $4; bad = 1 }
      # Between two fixes of one stretch (a full spacing apart) the azimuth is the course.
      if ($6 != "-" && $6 > v * 0.999 && $6 < v * 1.001) {
        a = $5 - $7; if (a > 180) a -= 360; if (a < -180) a += 360
        if (a < -0.1 || a > 0.1) { printf "TPV %s: track %s, geodesic %s\n", $3, $5, $7; bad = 1 }
        tracks++
      }
    }
    END {
      if (n < 20 || tracks < 15) { printf "only %d reports, %d tracks judged\n", n, tracks; bad = 1 }
      if (!bad) printf "gpsd: %d TPV reports with time, speed and track; SKY 7 used of 10\n", n
      exit bad
    }'
fi

if [ "$client" = gpsbabel ]; then
  # 100 km/h every 2 s: fixes 55.56 m apart.
  spacing=55.555556
  read_back() {
    "$cli" --speed 100km/h --period 2 --date 2026-03-07 --sentences GGA,RMC,GSA,GSV,VTG --quiet --yes \
      "$1" "$work/track.nmea"
    gpsbabel -t -i nmea -f "$work/track.nmea" -o gpx -F "$work/read.gpx"
    sed -n 's/.*<trkpt lat="\([-0-9.]*\)" lon="\([-0-9.]*\)".*/\1 \2/p' "$work/read.gpx" >"$work/read.txt"
  }
  read_back "$pois"
  fixes=$(grep -c . "$work/read.txt" || true)
  [ "$fixes" -eq $(($(grep -c GPRMC "$work/track.nmea"))) ] || { echo "gpsbabel read $fixes fixes"; exit 1; }
  "$judge" "$pois" <"$work/read.txt" | awk -v s="$spacing" '
    $1 == "point" { if ($3 > s / 2 + 0.02) { printf "point %d is %s m from every fix\n", $2, $3; bad = 1 } next }
    $3 != "-" {
      gaps++; lastGap = NR; lastMetres = $3
      if ((($3 - s) / s) ^ 2 > 1e-6 && (($5 - s) / s) ^ 2 > 1e-6) {
        failed[NR] = sprintf("fixes %d and %d: %s m apart, %s m through a point", NR, NR + 1, $3, $5)
      }
    }
    END {
      # The last gap, to the fix on the last point, may be shorter.
      for (k in failed) if (k != lastGap || lastMetres > s) { print failed[k]; bad = 1 }
      if (gaps < 1000) { printf "only %d gaps\n", gaps; bad = 1 }
      if (!bad) printf "gpsbabel: %d gaps of %s m along the route, every point within half of one\n", gaps, s
      exit bad
    }'
  printf 'longitude,latitude,description\n179.9999,0.0001,east of it\n-179.9999,0.0001,west of it\n' >"$work/am.csv"
  read_back "$work/am.csv"
  fixes=$(grep -c . "$work/read.txt" || true)
  [ "$fixes" -ge 1 ] && [ "$fixes" -le 2 ] || { echo "22 m across 180 degrees: $fixes fixes"; exit 1; }
  echo "gpsbabel: 22 m across 180 degrees in $fixes fixes"
fi

if [ "$client" = qt ]; then
  "$cli" --speed 30 --period 0.05 --date 2026-03-07 --sentences RMC,GGA,GSA,GSV,VTG --quiet \
    "$pois" "$work/full.nmea"
  head -n 280 "$work/full.nmea" >"$work/track.nmea"  # 40 fixes of 7 sentences
  timeout 90 "$qt_reader" "$work/track.nmea" 39 >"$work/qt.txt"
  awk -v v="$knots_ms" '
    {
      n++
      # The time of fix n - 1: 01:00:00 plus 50 ms a fix.
      ms = (n - 1) * 50; want = sprintf("2026-03-07T01:00:%02d.%03dZ", int(ms / 1000), ms % 1000)
      if ($1 != want) { printf "update %d at %s, not %s\n", n, $1, want; bad = 1 }
      d = $4 - v; if ($4 == "-" || d < -0.01 || d > 0.01) { printf "update %d: speed %s\n", n, $4; bad = 1 }
      if ($5 == "-") { printf "update %d: no direction\n", n; bad = 1 }
    }
    END {
      if (n != 39) { printf "%d updates for 39 fixes\n", n; bad = 1 }
      if (!bad) print "qt: one update per fix, each with its time, ground speed and direction"
      exit bad
    }' "$work/qt.txt"
fi

#!/bin/sh
# Real clients of receiver mode, bounded in time, on loopback only, skipped (exit 77) when not
# installed. Where the fixes lie is checked in the unit tests; here the clients must read them.
# - gpsd, at 30 kn along the sample over TCP: every TPV report, the first included, has a time, the
#   set speed within 0.05 m/s and a track; SKY reports list 10 satellites, 7 of them used.
# - gpsbabel: every fix at the position of its RMC sentence, along the sample and across 180
#   degrees. gpsbabel pairs a GGA with the RMC after it, so its tracks put GGA first.
# - qt: QNmeaPositionInfoSource in simulation mode gives one update per fix with its time, ground
#   speed and direction (a fix is reported when the next begins: the last one of a file is not).
# Usage: real_clients_receiver.sh gpsd|gpsbabel|qt WAYLOOM_CLI EXAMPLES FREE_PORT [QT_READER]
set -eu
client=$1 cli=$2 pois=$3/a9-edinburgh-inverness.csv free_port=$4 qt_reader=${5:-}
case $client in gpsd) needs="gpsd gpspipe" ;; gpsbabel) needs=gpsbabel ;; *) needs=${qt_reader:-qt-reader} ;; esac
for program in $needs; do
  command -v "$program" >/dev/null 2>&1 || { echo "$client: $program not installed: skipped"; exit 77; }
done
work=$(mktemp -d)
pids=""
trap 'for pid in $pids; do kill "$pid" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM
knots30=15.433333 # m/s

if [ "$client" = gpsd ]; then
  "$cli" --speed 30 --serve 0 --loop --wait-clients 1 --speedup 10 "$pois" 2>"$work/serve.err" &
  pids="$pids $!"
  for _ in $(seq 600); do grep -q "serving NMEA" "$work/serve.err" && break; sleep 0.1; done
  port=$(sed -n 's/.*serving NMEA on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/serve.err")
  # Without -n gpsd connects to its source once a client watches, so it sees the first fix.
  gpsd_port=$("$free_port")
  gpsd -N -b -S "$gpsd_port" "tcp://127.0.0.1:$port" 2>"$work/gpsd.err" &
  pids="$pids $!"
  for try in $(seq 21); do
    timeout 60 gpspipe -w -n 60 "127.0.0.1:$gpsd_port" >"$work/gpsd.json" 2>/dev/null && break
    [ "$try" -lt 21 ] || { echo "gpspipe got no reports"; cat "$work/gpsd.err"; exit 1; }
    sleep 0.2 # gpsd may not be listening yet
  done
  awk '/"class":"SKY"/ && /"satellites"/ {
         sky++; n = gsub(/"PRN":/, "&"); used = gsub(/"used":true/, "&")
         if (n != 10 || used != 7) { printf "SKY with %d satellites, %d used\n", n, used; bad = 1 }
       }
       END { if (!sky) print "no SKY report"; exit bad || !sky }' "$work/gpsd.json"
  # Each TPV once, as "time speed track".
  grep '"class":"TPV"' "$work/gpsd.json" | awk -v v="$knots30" '
    function field(name, v) {
      if (!match($0, "\"" name "\":\"?[-0-9.:TZ]*")) return "-"
      v = substr($0, RSTART + length(name) + 3, RLENGTH - length(name) - 3); gsub(/"/, "", v); return v
    }
    {
      t = field("time"); s = field("speed"); if (t == last) next; last = t; n++
      if (t == "-") { printf "TPV %d has no time\n", n; bad = 1 }
      if (s == "-" || (s - v) ^ 2 > 0.05 ^ 2 || field("track") == "-") { printf "TPV %s: speed %s, track %s\n", t, s, field("track"); bad = 1 }
    }
    END {
      if (n < 20) { printf "%d reports\n", n; bad = 1 }
      if (!bad) printf "gpsd: %d TPV reports with time, speed and track; SKY 7 used of 10\n", n
      exit bad
    }'
fi

if [ "$client" = gpsbabel ]; then
  # read_back POIFILE: gpsbabel reads every fix at the position its RMC sentence gives.
  read_back() {
    "$cli" --speed 100km/h --period 2 --sentences GGA,RMC,GSA,GSV,VTG --quiet --yes "$1" "$work/t.nmea"
    gpsbabel -t -i nmea -f "$work/t.nmea" -o gpx -F - |
      sed -n 's/.*<trkpt lat="\([-0-9.]*\)" lon="\([-0-9.]*\)".*/\1 \2/p' >"$work/read.txt"
    grep '^\$GPRMC' "$work/t.nmea" | awk -F, '
      function deg(v, h, d) { d = int(v / 100); d += (v - 100 * d) / 60; return h == "S" || h == "W" ? -d : d }
      NR == FNR { n++; lat[n] = deg($4, $5); lon[n] = deg($6, $7); next }
      {
        k++; split($0, p, " ")
        if ((p[1] - lat[k]) ^ 2 > 1e-12 || (p[2] - lon[k]) ^ 2 > 1e-12) { printf "fix %d read as %s, not %.7f %.7f\n", k, $0, lat[k], lon[k]; bad = 1 }
      }
      END {
        if (k != n || n == 0) { printf "gpsbabel read %d of %d fixes\n", k, n; bad = 1 }
        if (!bad) printf "gpsbabel: %d fixes read at their positions\n", n
        exit bad
      }' - "$work/read.txt"
  }
  read_back "$pois"
  printf 'longitude,latitude\n179.9999,0.0001\n-179.9999,0.0001\n' >"$work/across.csv"
  read_back "$work/across.csv"
fi

if [ "$client" = qt ]; then
  "$cli" --speed 30 --period 0.05 --date 2026-03-07 --quiet "$pois" - | head -n 280 >"$work/t.nmea" # 40 fixes
  timeout 90 "$qt_reader" "$work/t.nmea" 39 | awk -v v="$knots30" '
    {
      ms = n++ * 50; want = sprintf("2026-03-07T01:00:%02d.%03dZ", int(ms / 1000), ms % 1000)
      if ($1 != want) { printf "update %d at %s, not %s\n", n, $1, want; bad = 1 }
      if ($4 == "-" || ($4 - v) ^ 2 > 0.01 ^ 2 || $5 == "-") { printf "update %d: speed %s, direction %s\n", n, $4, $5; bad = 1 }
    }
    END {
      if (n != 39) { printf "%d updates for 39 fixes\n", n; bad = 1 }
      if (!bad) print "qt: one update per fix, each with its time, ground speed and direction"
      exit bad
    }'
fi

#!/bin/sh
# gpsd on the serial output: a pseudo-terminal pair (socat) stands in for a serial line,
# wayloom-cli --serial sends a receiver track through one end at 4800 and at 115200 baud, and gpsd,
# reading the other end, reports every fix at its time and position. Loopback only, bounded in
# time, skipped (exit 77) when gpsd, gpspipe or socat is not installed.
# Usage: serial_gpsd.sh WAYLOOM_CLI FREE_PORT
set -eu
cli=$1 free_port=$2
for program in gpsd gpspipe socat; do
  command -v "$program" >/dev/null 2>&1 || { echo "$program not installed: skipped"; exit 77; }
done
work=$(mktemp -d)
pids=""
trap 'for pid in $pids; do kill "$pid" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM

printf -- '-3.1883,55.9533,Edinburgh\n-3.1890,55.9540,Calton Hill\n' >"$work/pois.csv"
"$cli" --speed 30 --date 2026-03-07 --yes "$work/pois.csv" "$work/track.nmea" 2>/dev/null
# Each fix as "TIME LAT LON", from its RMC sentence, in gpsd's units.
awk -F, '/^\$GPRMC/ {
  printf "2026-03-07T%s:%s:%sZ %.6f %.6f\n", substr($2, 1, 2), substr($2, 3, 2), substr($2, 5),
    (substr($4, 1, 2) + substr($4, 3) / 60) * ($5 == "S" ? -1 : 1),
    (substr($6, 1, 3) + substr($6, 4) / 60) * ($7 == "W" ? -1 : 1) }' "$work/track.nmea" >"$work/fixes"
last=$(tail -n 1 "$work/fixes" | cut -d' ' -f1)

for baud in 4800 115200; do
  socat "pty,raw,echo=0,link=$work/line" "pty,raw,echo=0,link=$work/gps$baud" 2>/dev/null &
  pids="$pids $!"
  gpsd_port=$("$free_port")
  for _ in $(seq 100); do [ -e "$work/gps$baud" ] && [ -e "$work/line" ] && break; sleep 0.1; done
  gpsd -N -n -b -S "$gpsd_port" "$work/gps$baud" 2>"$work/gpsd$baud.err" &
  pids="$pids $!"
  json=$work/$baud.json
  for _ in $(seq 100); do  # until gpsd listens and has the device open
    timeout 120 gpspipe -w "127.0.0.1:$gpsd_port" >"$json" 2>/dev/null &
    pipe=$!
    for _ in $(seq 20); do grep -q "\"path\":\"$work/gps$baud\"" "$json" && break 2; sleep 0.1; done
    kill "$pipe" 2>/dev/null || true
  done
  pids="$pids $pipe"
  # At 4800 baud a fix of the default sentences takes 0.9 s of the line: every one fits the second.
  "$cli" --speed 30 --date 2026-03-07 --serial "$work/line:$baud" "$work/pois.csv" 2>"$work/cli$baud.err"
  if grep -q skipped "$work/cli$baud.err"; then cat "$work/cli$baud.err"; exit 1; fi
  for _ in $(seq 600); do grep -q "\"time\":\"$last\"" "$json" && break; sleep 0.1; done
  kill "$pipe" 2>/dev/null || true
  sed -n 's/.*"class":"TPV".*"time":"\([^"]*\)".*"lat":\([-0-9.]*\),"lon":\([-0-9.]*\).*/\1 \2 \3/p' "$json" |
    awk -v baud="$baud" '
      NR == FNR { want[$1] = $2 " " $3; n++; next }
      ($1 in want) && !($1 in seen) {
        split(want[$1], p, " ")
        if (($2 - p[1]) ^ 2 > 1e-12 || ($3 - p[2]) ^ 2 > 1e-12) { printf "%s baud: %s at %s %s, not %s\n", baud, $1, $2, $3, want[$1]; bad = 1 }
        seen[$1] = 1; got++
      }
      END {
        if (got != n) { printf "%s baud: gpsd reported %d of %d fixes\n", baud, got, n; bad = 1 }
        if (bad) exit 1
        printf "%s baud: gpsd reported all %d fixes, each at its time and position\n", baud, n
      }' "$work/fixes" -
done

#!/bin/sh
# gpsd, a real GPS daemon, reading Wayloom's live output of the sample in a loop, served over TCP
# and through the pseudo-terminal: its TPV positions are the sample's points one after the other,
# round after round; with --date and an hour between points, every TPV time is its point's time on
# the right day, across midnight. Each part starts its own gpsd on a free loopback port; every wait
# is bounded.
# Usage: real_client_gpsd.sh WAYLOOM_CLI EXAMPLES_DIR FREE_PORT_PROGRAM
set -eu
cli=$1
pois=$2/a9-edinburgh-inverness.csv
free_port=$3
if ! command -v gpsd >/dev/null 2>&1 || ! command -v gpspipe >/dev/null 2>&1; then
  echo "gpsd or gpspipe is not installed: skipped"
  exit 77
fi
work=$(mktemp -d)
pids=""
trap 'for pid in $pids; do kill "$pid" 2>/dev/null || true; done; wait; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM

# wait_for FILE TEXT: until TEXT shows in FILE, for a minute at most.
wait_for() {
  tries=0
  until grep -q "$2" "$1" 2>/dev/null; do
    tries=$((tries + 1))
    [ "$tries" -le 600 ] || { echo "no '$2' in $1:"; cat "$1"; exit 1; }
    sleep 0.1
  done
}

# check NAME DATED SOURCE: gpsd on SOURCE; 80 of its reports against the sample, with DATED 1 also
# their times (the track runs from 01:00 on 2026-03-07, one hour a point).
check() {
  port=$("$free_port")
  gpsd -N -n -b -S "$port" "$3" 2>"$work/$1.gpsd.txt" &
  pids="$pids $!"
  tries=0
  # gpsd may not be listening yet.
  until timeout 60 gpspipe -w -n 80 "127.0.0.1:$port" >"$work/$1.json" 2>/dev/null; do
    tries=$((tries + 1))
    [ "$tries" -le 20 ] || { echo "gpspipe got no reports"; cat "$work/$1.gpsd.txt"; exit 1; }
    sleep 0.2
  done
  grep '"class":"TPV"' "$work/$1.json" | sed -n 's/.*"time":"\([^"]*\)".*"lat":\([-0-9.]*\),"lon":\([-0-9.]*\).*/\1 \2 \3/p; t; s/.*"lat":\([-0-9.]*\),"lon":\([-0-9.]*\).*/- \1 \2/p' >"$work/$1.tpv"
  awk -v dated="$2" -v name="$1" '
    function days(y, m, d) {  # days since 1970-01-01
      if (m <= 2) { y--; m += 12 }
      return 365 * y + int(y / 4) - int(y / 100) + int(y / 400) + int((153 * (m - 3) + 2) / 5) + d - 719469
    }
    NR == FNR { if (FNR > 1) { split($0, f, ","); n++; lon[n - 1] = f[1]; lat[n - 1] = f[2] } next }
    {
      k = -1
      for (i = 0; i < n; i++) {
        dlat = $2 - lat[i]; dlon = $3 - lon[i]
        if (dlat * dlat <= 0.0001 * 0.0001 / 3600 && dlon * dlon <= 0.0001 * 0.0001 / 3600) k = i
      }
      if (k < 0) { printf "%s: %s,%s is no point of the sample\n", name, $2, $3; bad = 1; next }
      if (dated && $1 != "-") {
        # Hours since 2026-03-07T00:00Z: 1 + the point number of the track, counted on over rounds.
        split(substr($1, 1, 19), t, /[-T:]/)
        s = (days(t[1], t[2], t[3]) - days(2026, 3, 7)) * 86400 + t[4] * 3600 + t[5] * 60 + t[6]
        if (s % 3600 != 0 || (s / 3600 - 1) % n != k) { printf "%s: point %d reported at %s\n", name, k, $1; bad = 1 }
        if (s >= 86400) later = 1
        timed++
      }
      if (seen && k == last) next  # the same fix again, from its second sentence
      if (seen && k != (last + 1) % n) { printf "%s: point %d followed point %d\n", name, k, last; bad = 1 }
      seen++; last = k
    }
    END {
      if (seen < 20) { printf "%s: only %d fixes reported\n", name, seen; bad = 1 }
      if (dated && (timed < 20 || !later)) { printf "%s: %d timed fixes, none after midnight\n", name, timed; bad = 1 }
      if (bad) exit 1
      printf "%s: gpsd reported %d fixes in order%s\n", name, seen, dated ? ", each at its time" : ""
    }' "$pois" "$work/$1.tpv"
}

# serve NAME OPTIONS...: wayloom-cli serving the sample in a loop; sets $port.
serve() {
  name=$1
  shift
  "$cli" --serve 0 --loop "$@" "$pois" 2>"$work/$name.err" &
  pids="$pids $!"
  wait_for "$work/$name.err" "serving NMEA on"
  port=$(sed -n 's/.*serving NMEA on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/$name.err")
}

serve tcp --speedup 20
check tcp 0 "tcp://127.0.0.1:$port"
serve dated --date 2026-03-07 --period 3600 --speedup 72000
check dated 1 "tcp://127.0.0.1:$port"
"$cli" --pty "$work/gps0" --loop --date 2026-03-07 --period 3600 --speedup 72000 "$pois" 2>"$work/pty.err" &
pids="$pids $!"
wait_for "$work/pty.err" "linked at"
check pty 1 "$work/gps0"

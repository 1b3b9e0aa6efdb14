#!/bin/sh
# Real clients of live output and receiver mode, bounded in time, on loopback only, skipped (exit
# 77) when not installed. Where the fixes lie is checked in the unit tests; here clients read them.
# - gpsd on the sample served dated in a loop over TCP and through the pseudo-terminal: its TPV
#   positions are the sample's points one after the other, round after round, an hour apart, each
#   at its point's time on the right day, across midnight.
# - gpsd, at 30 kn along the sample over TCP: every TPV report, the first included, has a time, the
#   set speed within 0.05 m/s and a track; every SKY report counts the satellites it lists and uses
#   at least four. Two hours of GPS, GLONASS, Galileo and BeiDou (NMEA 4.1) at --speedup: SKY lists
#   the satellites of each system under its gnssid (gpsd 3.22 takes BeiDou's IDs above 32 for SBAS
#   ones), elevations change, satellites rise and set. An outage: TPV in mode 3, then no fix (mode
#   1) while it lasts, then mode 3 again.
# - gpsbabel: every fix of receiver mode at the position of its RMC sentence, along the sample and
#   across 180 degrees (gpsbabel pairs a GGA with the RMC after it, so its tracks put GGA first).
#   Tracks of the sample in file order, undated (gpsbabel is given the date) and dated with an
#   hour between points, so that the clock passes midnight forwards and backwards: every point in
#   order, at its coordinates (to 0.0001 minute), at its time on its day. With extra points: every
#   pair of the track, the sample's points among them in file order, one period from an extra
#   point to the next and two periods from a point of the sample.
# - qt: QNmeaPositionInfoSource in simulation mode gives one update per fix with its time, ground
#   speed and direction (a fix is reported when the next begins: the last one of a file is not).
#   QNmeaSatelliteInfoSource sees the satellites of all four systems in view and in use, in NMEA
#   2.3 and 4.1, each at the elevation and azimuth of its GSV sentence.
# - pynmea2 (python3-nmea2) parses every sentence of tracks in NMEA 2.3 and 4.1, one and four
#   systems, with an outage, and reads back the positions, the date and the satellites.
# - npm: the parsers gps (GPS.js) and nmea-simple, installed at pinned versions into a build folder
#   (WAYLOOM_NPM_DIR; skipped when they cannot be fetched), accept every sentence of the same tracks.
# Usage: real_clients_receiver.sh gpsd|gpsbabel|qt|pynmea2|npm WAYLOOM_CLI EXAMPLES FREE_PORT
#        [QT_READER]
set -eu
client=$1 cli=$2 pois=$3/a9-edinburgh-inverness.csv free_port=$4 qt_reader=${5:-}
case $client in
  gpsd) needs="gpsd gpspipe" ;;
  gpsbabel) needs=gpsbabel ;;
  pynmea2) needs=python3 ;;
  npm) needs="node npm" ;;
  *) needs=${qt_reader:-qt-reader} ;;
esac
for program in $needs; do
  command -v "$program" >/dev/null 2>&1 || { echo "$client: $program not installed: skipped"; exit 77; }
done
work=$(mktemp -d)
pids=""
trap 'for pid in $pids; do kill "$pid" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM
knots30=15.433333 # m/s

# serve NAME OPTIONS...: wayloom-cli serving the sample in a loop; sets $port.
serve() {
  name=$1
  shift
  "$cli" --serve 0 --loop "$@" "$pois" 2>"$work/$name.err" &
  pids="$pids $!"
  for _ in $(seq 600); do grep -q "serving NMEA on" "$work/$name.err" && break; sleep 0.1; done
  port=$(sed -n 's/.*serving NMEA on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/$name.err")
}

# reports NAME COUNT GPSD_OPTIONS...: COUNT reports of gpsd on the source, in $work/NAME.json.
reports() {
  name=$1 count=$2
  shift 2
  gpsd_port=$("$free_port")
  gpsd -N -b -S "$gpsd_port" "$@" 2>"$work/$name.gpsd" &
  pids="$pids $!"
  for try in $(seq 21); do
    timeout 60 gpspipe -w -n "$count" "127.0.0.1:$gpsd_port" >"$work/$name.json" 2>/dev/null && break
    [ "$try" -lt 21 ] || { echo "gpspipe got no reports"; cat "$work/$name.gpsd"; exit 1; }
    sleep 0.2 # gpsd may not be listening yet
  done
}

# check NAME DATED SOURCE: 80 reports of gpsd on SOURCE against the sample, with DATED 1 also their
# times (the track runs from 01:00 on 2026-03-07, one hour a point).
check() {
  reports "$1" 80 -n "$3"
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


if [ "$client" = gpsd ]; then
  serve dated --date 2026-03-07 --period 3600 --speedup 72000
  check dated 1 "tcp://127.0.0.1:$port"
  "$cli" --pty "$work/gps0" --loop --date 2026-03-07 --period 3600 --speedup 72000 "$pois" 2>"$work/pty.err" &
  pids="$pids $!"
  for _ in $(seq 600); do grep -q "linked at" "$work/pty.err" && break; sleep 0.1; done
  check pty 1 "$work/gps0"
  serve receiver --speed 30 --wait-clients 1 --speedup 10
  # Without -n gpsd connects to its source once a client watches, so it sees the first fix.
  reports receiver 60 "tcp://127.0.0.1:$port"
  awk '/"class":"SKY"/ && /"satellites"/ {
         sky++; n = gsub(/"PRN":/, "&"); used = gsub(/"used":true/, "&")
         if (!match($0, "\"nSat\":" n ",") || used < 4) { printf "SKY with %d satellites, %d used\n", n, used; bad = 1 }
       }
       END { if (!sky) print "no SKY report"; exit bad || !sky }' "$work/receiver.json"
  # Each TPV once, as "time speed track".
  grep '"class":"TPV"' "$work/receiver.json" | awk -v v="$knots30" '
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
      if (!bad) printf "gpsd: %d TPV reports with time, speed and track; SKY with 4 used or more\n", n
      exit bad
    }'
fi

if [ "$client" = gpsd ]; then
  # Two hours of four systems, a fix every 10 s, in 12 s.
  serve sky --speed 30 --period 10 --speedup 600 --wait-clients 1 --date 2026-03-07 \
    --systems gps,glonass,galileo,beidou --nmea 4.1
  reports sky 3700 "tcp://127.0.0.1:$port"
  awk '
    function value(s, key) {
      if (!match(s, "\"" key "\":[-0-9.]+")) return ""
      return substr(s, RSTART + length(key) + 3, RLENGTH - length(key) - 3)
    }
    /"class":"SKY"/ && /"satellites"/ {
      rest = $0; sub(/.*"satellites":\[/, "", rest); n = split(rest, satellite, "},")
      delete current; delete systems
      for (i = 1; i <= n; i++) {
        g = value(satellite[i], "gnssid"); prn = value(satellite[i], "PRN")
        if (g == "") continue
        # BeiDou IDs 33 to 63 are SBAS PRNs to gpsd 3.22 (gnssid 1).
        if (g == 1 && (prn < 33 || prn > 64)) { printf "SBAS satellite %s\n", prn; bad = 1 }
        systems[g] = 1; current[g ":" value(satellite[i], "svid")] = value(satellite[i], "el")
      }
      if (!(0 in systems && 6 in systems && 2 in systems && 3 in systems)) next
      if (!full++) for (key in current) first[key] = current[key]
      delete last
      for (key in current) {
        last[key] = current[key]
        if (!(key in low) || current[key] < low[key]) low[key] = current[key]
        if (!(key in high) || current[key] > high[key]) high[key] = current[key]
      }
    }
    END {
      for (key in last) if (!(key in first)) rose++
      for (key in first) if (!(key in last)) set++
      for (key in high) if (high[key] - low[key] > moved) moved = high[key] - low[key]
      if (full < 300 || rose < 4 || set < 4 || moved < 20) {
        printf "%d SKY reports of four systems, %d satellites rose, %d set, %d degrees at most\n", full, rose, set, moved
        bad = 1
      }
      if (!bad) printf "gpsd: %d SKY reports of four systems over two hours; %d satellites rose, %d set, up to %d degrees\n", full, rose, set, moved
      exit bad
    }' "$work/sky.json"

  # An outage of 10 s from the 5th second, at 4 times the speed: mode 3 (after a 2D report or
  # two), 1 while it lasts, 3 again.
  serve outage --speed 30 --speedup 4 --wait-clients 1 --date 2026-03-07 --outage 5+10
  reports outage 80 "tcp://127.0.0.1:$port"
  grep '"class":"TPV"' "$work/outage.json" | awk '
    {
      mode = $0; sub(/.*"mode":/, "", mode); sub(/[,}].*/, "", mode)
      if (mode == 1 && /"lat"/) { print "a TPV without a fix has a position"; bad = 1 }
      if (mode != last) { modes = modes " " mode; last = mode }
    }
    END {
      if (modes !~ / 3 1 3/) { printf "TPV modes:%s\n", modes; bad = 1 }
      if (!bad) print "gpsd: a 3D fix, no fix during the outage, a 3D fix after it"
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
  # read_sample PERIOD EXTRA READER_OPTIONS WAYLOOM_OPTIONS...
  read_sample() {
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

  read_sample 1 0 ,date=20260307
  read_sample 2 1 ,date=20260307 --extra --step 1000
  read_sample 3600 0 "" --date 2026-03-07
  read_sample -3600 0 "" --date 2026-03-07
fi

if [ "$client" = qt ]; then
  "$cli" --speed 30 --period 0.05 --date 2026-03-07 --quiet --sentences RMC,GGA,GSA,VTG "$pois" - |
    head -n 160 >"$work/t.nmea" # 40 fixes
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
  # The satellite source: every satellite it reports in view is one of a GSV sentence, at its
  # elevation and azimuth, and updates show all four systems in view and in use. It reports a sky
  # when it changes: a fix every 10 s gives a changing sky (paced at a few updates a second).
  for version in 2.3 4.1; do
    "$cli" --speed 30 --period 10 --date 2026-03-07 --quiet --nmea "$version" \
      --systems gps,glonass,galileo,beidou "$pois" - | head -n 600 >"$work/sky.nmea"
    timeout 90 "$qt_reader" "$work/sky.nmea" 20 satellites 2>/dev/null | awk -v version="$version" '
      NR == FNR {
        if ($0 !~ /^\$G[PLAB]GSV,/) next
        split($0, f, /[,*]/); talker = substr(f[1], 3, 1)
        for (i = 5; i + 3 <= length(f); i += 4) if (f[i + 1] != "") seen[talker ":" f[i] + 0 ":" f[i + 1] + 0 ":" f[i + 2] + 0] = 1
        next
      }
      {
        updates++
        if ($2 > 0 && $3 > 0 && $4 > 0 && $5 > 0) all[$1] = 1
        for (i = 7; i <= NF; i++) {
          split($i, s, ":")
          if ($1 == "view" && !((s[1] ":" s[2] ":" s[3] ":" s[4]) in seen)) { printf "%s: %s in no GSV sentence\n", version, $i; bad = 1 }
        }
      }
      END {
        if (updates < 20 || !all["view"] || !all["use"]) { printf "%s: %d updates, four systems in view %d, in use %d\n", version, updates, all["view"], all["use"]; bad = 1 }
        if (!bad) printf "qt: NMEA %s, the satellites of four systems in view and in use, each where GSV puts it\n", version
        exit bad
      }' "$work/sky.nmea" -
  done
fi

# tracks: the tracks pynmea2 and the npm parsers read, in $work: NMEA 2.3 with one system and with
# four, and 4.1 with four, every sentence kind, the last two with noise and an outage of 10 fixes.
tracks() {
  every="--quiet --speed 30 --date 2026-03-07 --sentences RMC,GGA,GSA,GSV,VTG,GLL,ZDA,GNS"
  # shellcheck disable=SC2086
  {
    "$cli" $every "$pois" - | head -n 3000 >"$work/one-2.3.nmea"
    "$cli" $every --systems gps,glonass,galileo,beidou --noise 3 --outage 20+10 "$pois" - |
      head -n 3000 >"$work/four-2.3.nmea"
    "$cli" $every --systems gps,glonass,galileo,beidou --noise 3 --outage 20+10 --nmea 4.1 \
      "$pois" - | head -n 3000 >"$work/four-4.1.nmea"
  }
}

if [ "$client" = pynmea2 ]; then
  python=python3
  [ -x /usr/bin/python3 ] && python=/usr/bin/python3 # Debian's python3-nmea2 is for Debian's python
  "$python" -c 'import pynmea2' 2>/dev/null || { echo "pynmea2: python3-nmea2 not installed: skipped"; exit 77; }
  tracks
  "$python" - "$work"/one-2.3.nmea "$work"/four-2.3.nmea "$work"/four-4.1.nmea <<'PYTHON'
import datetime, sys
import pynmea2

bad = False
for path in sys.argv[1:]:
    lost = fixes = 0
    kinds = set()
    group = []
    for line in open(path, newline="").read().split("\r\n")[:-1]:
        try:
            sentence = pynmea2.parse(line, check=True)
        except pynmea2.ParseError as error:
            print(path, "does not parse:", line, error)
            bad = True
            continue
        kind = sentence.sentence_type
        kinds.add(kind)
        if kind == "RMC":
            fixes += 1
            lost += sentence.status == "V"
            if sentence.datestamp != datetime.date(2026, 3, 7):
                print(path, "RMC dated", sentence.datestamp)
                bad = True
            if sentence.status == "A" and not (55 < sentence.latitude < 58 and -5 < sentence.longitude < -3):
                print(path, "RMC at", sentence.latitude, sentence.longitude)
                bad = True
        if kind == "GSV":
            group.append(sentence)
            if sentence.msg_num == sentence.num_messages:
                # Four fields a satellite after the first three (4.1's signal ID is a field more).
                listed = sum((len(part.data) - 3) // 4 for part in group)
                if listed != int(sentence.num_sv_in_view):
                    print(path, "GSV lists", listed, "of", sentence.num_sv_in_view)
                    bad = True
                group = []
    want_lost = 0 if "one" in path else 10
    if lost != want_lost or fixes < 100 or not {"RMC", "GGA", "GSA", "GSV", "VTG", "GLL", "ZDA", "GNS"} <= kinds:
        print(path, fixes, "fixes,", lost, "lost, kinds", sorted(kinds))
        bad = True
    if not bad:
        print("pynmea2: %s: %d fixes, %d of them lost, every sentence parsed" % (path.split("/")[-1], fixes, lost))
sys.exit(1 if bad else 0)
PYTHON
fi

if [ "$client" = npm ]; then
  dir=${WAYLOOM_NPM_DIR:-$work/npm}
  installed() { node -e "process.exit(require('$dir/node_modules/gps/package.json').version === '0.9.0' && require('$dir/node_modules/nmea-simple/package.json').version === '3.3.0' ? 0 : 1)" 2>/dev/null; }
  if ! installed; then
    mkdir -p "$dir"
    timeout 300 npm install --prefix "$dir" --no-save --no-package-lock --no-audit --no-fund \
      gps@0.9.0 nmea-simple@3.3.0 >"$work/npm.log" 2>&1 || true
    installed || { echo "npm: gps 0.9.0 and nmea-simple 3.3.0 cannot be installed (offline?): skipped"; exit 77; }
  fi
  tracks
  NODE_PATH="$dir/node_modules" node - "$work"/one-2.3.nmea "$work"/four-2.3.nmea "$work"/four-4.1.nmea <<'NODE'
const fs = require('fs');
const GPS = require('gps');
const nmea = require('nmea-simple');
let bad = false;
for (const path of process.argv.slice(2)) {
  const lines = fs.readFileSync(path, 'latin1').split('\r\n').filter((line) => line);
  const gps = new GPS();
  const systems = new Set();
  let lost = 0;
  for (const line of lines) {
    const kind = line.slice(3, 6);
    const record = GPS.Parse(line);
    let packet;
    try {
      packet = nmea.parseNmeaSentence(line);
    } catch (error) {
      packet = { sentenceId: 'error: ' + error.message };
    }
    if (!record || !record.valid || record.type !== kind || packet.sentenceId !== kind || !packet.chxOk) {
      console.log(path, 'not read:', line, record && record.type, packet.sentenceId);
      bad = true;
    }
    gps.update(line);
    if (kind === 'GSV') for (const satellite of record.satellites) systems.add(satellite.system);
    if (kind === 'RMC' && record.status !== 'active') lost++;
  }
  const four = !path.includes('one');
  if (systems.size !== (four ? 4 : 1) || lost !== (four ? 10 : 0) || gps.state.errors) {
    console.log(path, 'systems', [...systems], 'lost', lost, 'errors', gps.state.errors);
    bad = true;
  }
  if (!bad) console.log(`npm: ${path.split('/').pop()}: ${lines.length} sentences read by gps and nmea-simple, systems ${[...systems].join(' ')}`);
}
process.exit(bad ? 1 : 0);
NODE
fi

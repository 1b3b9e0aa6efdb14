#!/bin/sh
# Replays of real recordings nobody here made, by wayloom-cli --replay, judged by gpsd: the logs
# of gpsd's own regression suite (fetched by scripts/gpsd-logs; skipped, exit 77, when they are
# not there or gpsdecode is not installed). For every log, written to a file:
# - With --keep-bad and no re-timing, the replay is the log itself: every line that is not empty,
#   as it stands, ended by CR LF (logs with a line too long to hold aside).
# - Re-timed (--start 23:59:50 --date 2030-12-31, so that every log longer than ten seconds passes
#   midnight and the year's end), every line but the timed standard sentences is the same as in the
#   plain replay, in the same order: other talkers' and proprietary sentences, AIS.
# - gpsdecode -j reports the same from both replays, the proprietary sentences left out of both
#   (some carry a time of their own, which a replay leaves as it is, and gpsd would mix the two
#   clocks): as many TPV reports with a position, each with the same mode, latitude, longitude,
#   speed and course, and the same AIS reports; and every TPV time of the re-timed replay is that
#   of the plain one moved by the replay's offset, to the millisecond, date included. gpsd moves a
#   date it takes for older than itself on by 1024 GPS weeks (its guard against the week number's
#   rollover): a difference of such weeks is allowed. A log whose times step back (two recordings
#   in one file) is checked for modes and positions only: gpsd takes a step back in a sentence
#   without a date for the next day or not, depending on the time of day, and its speeds and
#   courses between fixes follow that guess.
# Then a few logs live, re-timed, to the gpsd daemon over TCP and through the pseudo-terminal: it
# reports the positions gpsdecode reports from the re-timed file, at the same times, in order.
# Usage: replay_gpsd_logs.sh WAYLOOM_CLI LOGS_FOLDER FREE_PORT
set -eu
cli=$1 logs=$2 free_port=$3
if [ ! -f "$logs/.complete" ]; then
  echo "gpsd logs: not fetched (run scripts/gpsd-logs $logs): skipped"
  exit 77
fi
command -v gpsdecode >/dev/null 2>&1 || { echo "gpsdecode not installed: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
timed='^[$][A-Z][A-Z](RMC|GGA|GLL|GNS|ZDA|GBS|GST|GRS),'
stepping="" failures=0 logs_with_fixes=0 fixes=0 timed_fixes=0 ais=0 identical=0

fail() {
  echo "$log: $*"
  failures=$((failures + 1))
}

# reports FILE: gpsdecode's TPV reports as "mode lat lon speed track time", one a line, and its
# AIS reports as they are.
reports() {
  gpsdecode -j <"$1" 2>/dev/null | awk '
    function value(name,   at, rest) {
      at = index($0, "\"" name "\":")
      if (at == 0) return "-"
      rest = substr($0, at + length(name) + 3)
      sub(/[,}].*/, "", rest)
      gsub(/"/, "", rest)
      return rest
    }
    /"class":"TPV"/ && /"lat":/ { print value("mode"), value("lat"), value("lon"), value("speed"), value("track"), value("time") }
    /"class":"AIS"/ { sub(/"device":"[^"]*",/, ""); print }'
}

# The differences between the TPV times of two report files, less the offset, in milliseconds:
# one a line, "-" where either has no time.
time_errors() {
  awk -v offset="$3" '
    function days(y, m, d) {  # since 1970-01-01
      if (m <= 2) { y--; m += 12 }
      return 365 * y + int(y / 4) - int(y / 100) + int(y / 400) + int((153 * (m - 3) + 2) / 5) + d - 719469
    }
    function ms(t,   p) {  # 2030-12-31T23:59:50.123Z
      split(t, p, /[-T:Z]/)
      return ((days(p[1], p[2], p[3]) * 24 + p[4]) * 60 + p[5]) * 60000 + int(p[6] * 1000 + 0.5)
    }
    NR == FNR { if ($1 !~ /^\{/) plain[FNR] = $6; next }
    $1 !~ /^\{/ {
      if (plain[FNR] == "-" || $6 == "-") { print "-"; next }
      error = ms($6) - ms(plain[FNR]) - offset
      weeks = 1024 * 7 * 86400000
      while (error >= weeks / 2) error -= weeks
      while (error < -weeks / 2) error += weeks
      print error
    }' "$1" "$2"
}

# steps_back FILE: how often the time of the timed sentences steps back by less than half a day.
steps_back() {
  grep -aE "$timed" "$1" | awk -F, '
    { t = $1 ~ /GLL$/ ? $6 : $2 }
    t !~ /^[0-9][0-9][0-9][0-9][0-9][0-9]/ { next }
    {
      s = substr(t, 1, 2) * 3600 + substr(t, 3, 2) * 60 + substr(t, 5)
      if (seen && s < last && last - s < 43200) back++
      last = s; seen = 1
    }
    END { print back + 0 }'
}

for log in "$logs"/*.log; do
  name=$(basename "$log")
  "$cli" --yes --keep-bad --replay "$log" "$work/kept.nmea" 2>"$work/kept.err" || { fail "replay failed"; continue; }
  if ! grep -q 'too long' "$work/kept.err"; then
    # The log's lines with their line ends (CRs before a LF, or none at the end) as CR LF.
    perl -ne 's/\r*\n?\z//; s/\A\xEF\xBB\xBF// if $. == 1; print "$_\r\n" if length' "$log" >"$work/lines"
    if cmp -s "$work/lines" "$work/kept.nmea"; then identical=$((identical + 1)); else fail "--keep-bad is not the log itself"; fi
  fi

  "$cli" --yes --replay "$log" "$work/plain.nmea" 2>/dev/null || { fail "replay failed"; continue; }
  "$cli" --yes --replay "$log" --start 23:59:50 --date 2030-12-31 "$work/moved.nmea" 2>"$work/moved.err" || { fail "re-timed replay failed"; continue; }
  offset=$(sed -n 's/.*times moved by \(-\{0,1\}[0-9]*\) ms.*/\1/p' "$work/moved.err")
  offset=${offset:-0}

  grep -avE "$timed" "$work/plain.nmea" >"$work/plain.other" || true
  grep -avE "$timed" "$work/moved.nmea" >"$work/moved.other" || true
  cmp -s "$work/plain.other" "$work/moved.other" || fail "lines other than timed sentences changed"
  [ "$(wc -l <"$work/plain.nmea")" = "$(wc -l <"$work/moved.nmea")" ] || fail "line counts differ"

  grep -av '^[$]P' "$work/plain.nmea" >"$work/plain.standard" || true
  grep -av '^[$]P' "$work/moved.nmea" >"$work/moved.standard" || true
  reports "$work/plain.standard" >"$work/plain.reports"
  reports "$work/moved.standard" >"$work/moved.reports"
  # Everything but the time: mode, position, speed, course, and the AIS reports. Where the times
  # step back, gpsd's own speeds and courses (from one fix to the next) follow its guess of the
  # day: there only mode and position count, and the times are not compared.
  back=$(steps_back "$work/plain.nmea")
  fields=1-5
  [ "$back" = 0 ] || fields=1-3
  cut -d' ' -f"$fields" "$work/plain.reports" >"$work/plain.fixes"
  cut -d' ' -f"$fields" "$work/moved.reports" >"$work/moved.fixes"
  if ! cmp -s "$work/plain.fixes" "$work/moved.fixes"; then
    fail "gpsd reports other fixes: $(diff "$work/plain.fixes" "$work/moved.fixes" | head -3 | tr '\n' ' ')"
  fi
  count=$(grep -c '^[0-9]' "$work/plain.reports" || true)
  ais=$((ais + $(grep -c '^{' "$work/plain.reports" || true)))
  [ "$count" -gt 0 ] || continue
  logs_with_fixes=$((logs_with_fixes + 1))
  fixes=$((fixes + count))
  if [ "$back" != 0 ]; then
    stepping="$stepping $name"
    continue
  fi
  time_errors "$work/plain.reports" "$work/moved.reports" "$offset" >"$work/errors"
  wrong=$(grep -v '^-$' "$work/errors" | grep -cv '^0$' || true)
  [ "$wrong" = 0 ] || fail "$wrong TPV times not moved by $offset ms: $(grep -v '^-$' "$work/errors" | grep -v '^0$' | head -3 | tr '\n' ' ')"
  timed_fixes=$((timed_fixes + $(grep -c '^0$' "$work/errors" || true)))
done

echo "$(ls "$logs"/*.log | wc -l) logs: $identical replayed as they stand with --keep-bad;" \
  "$fixes fixes of $logs_with_fixes logs and $ais AIS reports the same re-timed," \
  "$timed_fixes fix times moved by the offset (times that step back:$stepping); $failures failures"
[ "$failures" = 0 ] && [ "$logs_with_fixes" -ge 50 ] || exit 1

# live NAME tcp|pty: NAME replayed live, re-timed, to the gpsd daemon, against gpsdecode on the
# re-timed file: the same TPV positions at the same times, in the same order (reports in a row
# with the same time and position count once). The daemon also reports the first burst's fix,
# which gpsdecode leaves out: one report more, at the start. The replay waits for a TCP client:
# gpsd itself (which connects to a TCP source once a client watches), or, for the
# pseudo-terminal, a client started once gpsd has the device open.
command -v gpsd >/dev/null 2>&1 && command -v gpspipe >/dev/null 2>&1 || { echo "gpsd not installed: live replays skipped"; exit 0; }
pids=""
trap 'for pid in $pids; do kill "$pid" 2>/dev/null || true; done; rm -rf "$work"' EXIT
# positions JSON: "time lat lon" of each TPV report with a time and a position, once in a row.
positions() {
  awk '/"class":"TPV"/ && /"time":/ && /"lat":/ {
    p = $0; sub(/.*"time":"/, "", p); t = p; sub(/".*/, "", t)
    p = $0; sub(/.*"lat":/, "", p); la = p; sub(/[,}].*/, "", la)
    p = $0; sub(/.*"lon":/, "", p); lo = p; sub(/[,}].*/, "", lo)
    if (t " " la " " lo != last) print t, la, lo
    last = t " " la " " lo
  }' "$@"
}
# wait_for FILE PATTERN: until FILE has a line that matches (two minutes at most: a guard against
# a hung run, never a measure of speed).
wait_for() {
  for _ in $(seq 1200); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
  fail "never saw $2 in $1"
  return 1
}
live() {
  log=$logs/$1 how=$2
  retime="--start 23:59:50 --date 2030-12-31"
  "$cli" --quiet --yes --replay "$log" $retime "$work/live.nmea" 2>/dev/null
  gpsdecode -j <"$work/live.nmea" | positions >"$work/file.tpv"
  last=$(tail -n 1 "$work/file.tpv" | cut -d' ' -f1)
  output="--pty $work/gps0"
  [ "$how" = pty ] || output=""
  said=$work/$1.$how.err # a file of its own: the last one may hold the last port
  "$cli" --replay "$log" $retime --serve 0 --wait-clients 1 --speedup 20 $output 2>"$said" &
  replay=$!
  pids="$pids $replay"
  wait_for "$said" "serving NMEA on 127.0.0.1:[0-9]*\$" || return 0
  port=$(sed -n 's/.*serving NMEA on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$said")
  gpsd_port=$("$free_port")
  if [ "$how" = pty ]; then
    wait_for "$said" "linked at" || return 0
    gpsd -N -b -n -S "$gpsd_port" "$work/gps0" 2>"$work/gpsd.err" &
  else
    gpsd -N -b -S "$gpsd_port" "tcp://127.0.0.1:$port" 2>"$work/gpsd.err" &
  fi
  daemon=$!
  pids="$pids $daemon"
  for _ in $(seq 50); do
    gpspipe -w "127.0.0.1:$gpsd_port" >"$work/$1.json" 2>/dev/null &
    pipe=$!
    sleep 0.1 # gpsd may not be listening yet
    kill -0 "$pipe" 2>/dev/null && break
  done
  pids="$pids $pipe"
  if [ "$how" = pty ]; then
    wait_for "$work/$1.json" '"activated"' || return 0
    socat -u "TCP:127.0.0.1:$port" /dev/null &
  fi
  wait "$replay" || fail "live through $how: exit status $?"
  wait_for "$work/$1.json" "\"class\":\"TPV\".*\"time\":\"$last\""
  kill "$pipe" "$daemon"
  positions "$work/$1.json" >"$work/live.tpv"
  extra=$(($(wc -l <"$work/live.tpv") - $(wc -l <"$work/file.tpv")))
  if [ "$extra" -ge 0 ] && [ "$extra" -le 1 ] &&
    tail -n "$(wc -l <"$work/file.tpv")" "$work/live.tpv" | cmp -s "$work/file.tpv" -; then
    echo "$1 live through $how: gpsd reported the file's $(wc -l <"$work/file.tpv") positions at their times"
  else
    fail "live through $how: $(wc -l <"$work/live.tpv") positions, not the file's $(wc -l <"$work/file.tpv"): $(diff "$work/file.tpv" "$work/live.tpv" | head -3 | tr '\n' ' ')"
  fi
}
for name in haicom-305N.log ublox-neo-m9n-nmea.log mt3339.log; do log=$name; live "$name" tcp; done
log=bu353s4.log
live bu353s4.log pty
[ "$failures" = 0 ]

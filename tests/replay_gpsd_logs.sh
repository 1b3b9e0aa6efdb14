#!/bin/sh
# Replays of real recordings nobody here made, judged by gpsd: the logs of gpsd's own regression
# suite (fetched by scripts/gpsd-logs; skipped, exit 77, when they are not there or gpsdecode is
# not installed). For every log:
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
# Usage: replay_gpsd_logs.sh REPLAY_LOG LOGS_FOLDER
set -eu
replay=$1 logs=$2
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
  "$replay" --keep-bad "$log" "$work/kept.nmea" 2>"$work/kept.err" || { fail "replay failed"; continue; }
  if grep -q ' 0 too long' "$work/kept.err"; then
    # The log's lines with their line ends (CRs before a LF, or none at the end) as CR LF.
    perl -ne 's/\r*\n?\z//; s/\A\xEF\xBB\xBF// if $. == 1; print "$_\r\n" if length' "$log" >"$work/lines"
    if cmp -s "$work/lines" "$work/kept.nmea"; then identical=$((identical + 1)); else fail "--keep-bad is not the log itself"; fi
  fi

  "$replay" "$log" "$work/plain.nmea" 2>/dev/null || { fail "replay failed"; continue; }
  "$replay" --start 23:59:50 --date 2030-12-31 "$log" "$work/moved.nmea" 2>"$work/moved.err" || { fail "re-timed replay failed"; continue; }
  offset=$(sed -n 's/.*offset \(-\{0,1\}[0-9]*\) ms.*/\1/p' "$work/moved.err")

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
[ "$failures" = 0 ] && [ "$logs_with_fixes" -ge 50 ]

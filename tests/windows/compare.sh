#!/bin/sh
# wayloom-cli.exe under Wine writes the same bytes as the Linux build: every POI file of tests/data
# in all four kinds, through a file and through standard output, and once more under a non-ASCII
# source and destination name; the Linux tracks equal the reference tracks where there are some.
# Receiver mode (geodesics, noise, every sentence kind) gives the same bytes too, and so do one
# route file of each kind read and a replayed log (tests/data/recorded.log), re-timed and as it
# stands, to a file and to standard output. An existing file with a non-ASCII name is never
# overwritten without the question. The timed GPX and KML files are the same bytes too.
# --pty is refused, saying why; --serial COM1 opens what Wine maps to it or is refused with its
# message; --serve sends a client on loopback the same track.
# Usage: compare.sh LINUX_WAYLOOM_CLI WINDOWS_WAYLOOM_CLI_EXE TEST_DATA_DIR
set -eu
linux=$(realpath "$1")
data=$(realpath "$3")
wine=$(command -v wine64 || command -v wine) || { echo "Wine is not installed: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$work/wine}"
cp "$2" "$work/wayloom-cli.exe"
cd "$work"
failures=0 compared=0
fail() { echo "FAIL: $*" && failures=$((failures + 1)); }
same() { compared=$((compared + 1)) && cmp -s "$1" "$2" || fail "$1 and $2 differ"; }

# POI file of tests/data, step and period of its reference tracks, source name, further options
for line in "worked 100 1 worked.txt" "mixed 250 2 mixed.txt" "three_points 100 1 three_points.csv" \
  "mixed 250 2 Łódź-東京.txt --date=2026-03-07"; do
  set -- $line
  name=$1 source=$4 settings="--quiet --yes --step $2 --period $3"
  shift 4
  cp "$data/$name.${source##*.}" "$source"
  for kind in plain:"" closest:--reorder extra:--extra closest-extra:"--reorder --extra"; do
    k=${kind%%:*} options="$settings ${kind#*:} $*"
    out="${source%.*}.$k.nmea"
    "$linux" $options "$source" "linux.$out"
    "$wine" ./wayloom-cli.exe $options "$source" "$out" || fail "$out: exit status $?"
    "$wine" ./wayloom-cli.exe $options "$source" - >"stdout.$out" || fail "stdout.$out: exit status $?"
    same "linux.$out" "$out" && same "linux.$out" "stdout.$out"
    reference="$data/$name.$k.nmea"
    [ "$k" != plain ] || [ -f "$reference" ] || reference="$data/$name.nmea"
    if [ $# -eq 0 ] && [ -f "$reference" ]; then same "$reference" "linux.$out"; fi
  done
done
# One route file of each kind read (GPX, KML, GeoJSON, CSV with a header) gives the same bytes as
# on Linux in all four kinds, and the sample's own; a malformed one the same message.
for source in a9-track.gpx11.gpx a9-track.kml a9-track.geojson a9-columns.csv; do
  cp "$data/sources/$source" "$source"
  for kind in plain:"" closest:--reorder extra:--extra closest-extra:"--reorder --extra"; do
    k=${kind%%:*} options="--quiet --yes ${kind#*:}"
    "$linux" $options "$source" "linux.$source.$k.nmea"
    "$linux" $options "$data/../../examples/a9-edinburgh-inverness.csv" "sample.$k.nmea"
    "$wine" ./wayloom-cli.exe $options "$source" "$source.$k.nmea" || fail "$source $k: exit status $?"
    same "linux.$source.$k.nmea" "$source.$k.nmea" && same "sample.$k.nmea" "linux.$source.$k.nmea"
  done
done
printf '<gpx>\n<wpt lat="1" lon="2">' >cut.gpx
"$linux" --yes cut.gpx linux.cut.nmea 2>linux.cut.txt && fail "a malformed GPX file was read on Linux"
"$wine" ./wayloom-cli.exe --yes cut.gpx cut.nmea 2>cut.txt && fail "a malformed GPX file was read"
[ ! -e cut.nmea ] || fail "DEST was made for a malformed GPX file"
tr -d '\r' <cut.txt >cut.lf.txt
same linux.cut.txt cut.lf.txt

receiver="--quiet --speed 55 --reorder --noise 5 --seed 7 --sentences RMC,GGA,GLL,ZDA,VTG,GSV,GSA"
"$linux" $receiver mixed.txt - >linux.receiver.nmea
"$wine" ./wayloom-cli.exe $receiver mixed.txt - >receiver.nmea || fail "receiver mode: exit status $?"
same linux.receiver.nmea receiver.nmea
cp "$data/recorded.log" .
for replay in "--start 23:59:59 --date 2031-06-30" "--keep-bad"; do
  "$linux" --quiet --replay recorded.log $replay - >linux.replay.nmea
  "$wine" ./wayloom-cli.exe --quiet --yes --replay recorded.log $replay replay.nmea || fail "replay $replay: exit status $?"
  "$wine" ./wayloom-cli.exe --quiet --replay recorded.log $replay - >stdout.replay.nmea || fail "replay $replay: exit status $?"
  same linux.replay.nmea replay.nmea && same linux.replay.nmea stdout.replay.nmea
done
for mode in "--date=2026-03-07" "--speed 30"; do
  "$linux" --quiet --yes $mode --gpx linux.gpx --kml linux.kml worked.txt
  "$wine" ./wayloom-cli.exe --quiet --yes $mode --gpx windows.gpx --kml windows.kml worked.txt ||
    fail "$mode --gpx --kml: exit status $?"
  same linux.gpx windows.gpx && same linux.kml windows.kml
done
echo keep >東京.nmea
for mode in "" "--speed 30"; do
  "$wine" ./wayloom-cli.exe $mode worked.txt 東京.nmea </dev/null 2>/dev/null && fail "$mode: status 0"
done
[ "$(cat 東京.nmea)" = keep ] || fail "an existing file with a non-ASCII name was overwritten"
"$wine" ./wayloom-cli.exe --pty link worked.txt 2>pty.txt && fail "--pty was accepted"
grep -q "no pseudo-terminals" pty.txt || fail "--pty refused without saying why: $(cat pty.txt)"
status=0
timeout 120 "$wine" ./wayloom-cli.exe --serial COM1 --speedup 1000 worked.txt 2>serial.txt || status=$?
if [ "$status" -eq 0 ]; then
  grep -q "NMEA on serial port COM1 at 4800 baud" serial.txt || fail "--serial COM1: $(cat serial.txt)"
elif [ "$status" -ne 2 ] || ! grep -q "serial port COM1" serial.txt; then
  fail "--serial COM1: exit status $status, $(cat serial.txt)"
fi

"$wine" ./wayloom-cli.exe --serve 0 --speedup 1000 --wait-clients 1 worked.txt 2>serve.txt &
server=$! port=""
for _ in $(seq 120); do
  port=$(sed -n 's/.*serving NMEA on 127\.0\.0\.1:\([0-9]*\).*/\1/p' serve.txt)
  [ -n "$port" ] && break
  sleep 1
done
if [ -n "$port" ]; then
  if bash -c 'exec 3<>"/dev/tcp/127.0.0.1/$1" && cat <&3' - "$port" >served.nmea; then
    wait $server || fail "--serve: exit status $?"
  else
    fail "no client could connect" && kill $server
  fi
  same linux.worked.plain.nmea served.nmea
else
  fail "--serve printed no port: $(cat serve.txt)" && kill $server
fi

echo "Windows and Linux tracks: $compared compared, $failures differences or failures"
[ "$failures" -eq 0 ]

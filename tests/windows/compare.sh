#!/bin/sh
# wayloom-cli.exe under Wine writes the same bytes as the Linux build: every POI file of tests/data
# in all four kinds, through a file and through standard output, and once more under a non-ASCII
# source and destination name; the Linux tracks equal the reference tracks where there are some.
# Also: standard input from NUL is no console, so an existing file is kept; --help has no CR;
# --pty is refused.
# Usage: compare.sh LINUX_WAYLOOM_CLI WINDOWS_WAYLOOM_CLI_EXE TEST_DATA_DIR
set -eu
linux=$(realpath "$1")
windows=$(realpath "$2")
data=$(realpath "$3")
wine=$(command -v wine64 || command -v wine || true)
if [ -z "$wine" ]; then
  echo "Wine is not installed: skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$work/wine}"
cp "$windows" "$work/wayloom-cli.exe"
cd "$work"
failures=0
compared=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
same() {  # same FILE FILE WHAT
  compared=$((compared + 1))
  cmp -s "$1" "$2" || fail "$3: $1 and $2 differ"
}

# name, step, period (those of the reference tracks), source file name, extra options
set -- "worked 100 1 worked.txt" "mixed 250 2 mixed.txt" "three_points 100 1 three_points.csv" \
  "mixed 250 2 Łódź-東京.txt --date=2026-03-07"
for line in "$@"; do
  set -- $line
  name=$1 step=$2 period=$3 source=$4
  shift 4
  cp "$data/$name.${source##*.}" "$source"
  for kind in plain closest extra closest-extra; do
    case $kind in
      plain) order="" ;;
      closest) order="--reorder" ;;
      extra) order="--extra" ;;
      closest-extra) order="--reorder --extra" ;;
    esac
    out="${source%.*}.$kind.nmea"
    "$linux" --quiet --yes $order --step "$step" --period "$period" "$@" "$source" "linux.$out"
    "$wine" ./wayloom-cli.exe --quiet --yes $order --step "$step" --period "$period" "$@" \
      "$source" "$out" || fail "wayloom-cli.exe failed on $source ($kind)"
    "$wine" ./wayloom-cli.exe --quiet $order --step "$step" --period "$period" "$@" \
      "$source" - >"stdout.$out" || fail "wayloom-cli.exe failed on $source ($kind, to -)"
    same "linux.$out" "$out" "file"
    same "linux.$out" "stdout.$out" "standard output"
    reference="$data/$name.$kind.nmea"
    [ "$kind" = plain ] && [ -f "$data/$name.nmea" ] && reference="$data/$name.nmea"
    if [ $# -eq 0 ] && [ -f "$reference" ]; then same "$reference" "linux.$out" "reference"; fi
  done
done

cp linux.worked.plain.nmea kept.nmea
"$wine" cmd /c "wayloom-cli.exe worked.txt kept.nmea < NUL" >/dev/null 2>&1 &&
  fail "an existing file was not kept with standard input from NUL"
same linux.worked.plain.nmea kept.nmea "kept file"
"$wine" ./wayloom-cli.exe --help | grep -q "$(printf '\r')" && fail "--help writes CR"
"$wine" ./wayloom-cli.exe --pty link worked.txt 2>pty.txt && fail "--pty was accepted"
grep -q "no pseudo-terminals" pty.txt || fail "--pty refused without saying why: $(cat pty.txt)"

echo "Windows and Linux tracks: $compared compared, $failures differences or failures"
[ "$failures" -eq 0 ]

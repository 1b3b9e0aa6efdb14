#!/bin/sh
# What a user gets from the install and the .deb:
# - cmake --install into a staging folder (DESTDIR) gives the files listed below, and the installed
#   wayloom-cli writes the same track of the sample as the one in the build tree;
# - the manual page names every option --help shows;
# - the menu entry passes desktop-file-validate;
# - cpack makes a .deb holding exactly those files, depending on the libraries the programs link,
#   that lintian accepts without errors.
# Usage: check_install.sh BUILD_DIR SOURCE_DIR WITH_WINDOW(ON|OFF)
set -eu
build=$1
source=$2
window=$3
for tool in desktop-file-validate dpkg-deb lintian cpack; do
  command -v "$tool" >/dev/null 2>&1 || { echo "$tool is not installed: skipped" && exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" && exit 1; }

expected="$work/expected"
{
  echo ./usr/bin/wayloom-cli
  echo ./usr/share/doc/wayloom/README.md
  echo ./usr/share/doc/wayloom/changelog.gz
  echo ./usr/share/doc/wayloom/copyright
  echo ./usr/share/man/man1/wayloom-cli.1.gz
  if [ "$window" = ON ]; then
    echo ./usr/bin/wayloom
    echo ./usr/share/applications/wayloom.desktop
    for size in 16 24 32 48 64 128 256; do
      echo "./usr/share/icons/hicolor/${size}x${size}/apps/wayloom.png"
    done
    echo ./usr/share/icons/hicolor/scalable/apps/wayloom.svg
    echo ./usr/share/man/man1/wayloom.1.gz
  fi
} | sort >"$expected"

stage="$work/stage"
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
(cd "$stage" && find . -type f | sort) >"$work/installed"
diff -u "$expected" "$work/installed" || fail "installed files differ from the list"

sample="$source/examples/a9-edinburgh-inverness.csv"
"$stage/usr/bin/wayloom-cli" --quiet --reorder --extra "$sample" - >"$work/installed.nmea" ||
  fail "the installed wayloom-cli failed"
"$build/cli/wayloom-cli" --quiet --reorder --extra "$sample" - >"$work/built.nmea"
cmp "$work/built.nmea" "$work/installed.nmea" || fail "the installed wayloom-cli wrote other bytes"

gzip -dc "$stage/usr/share/man/man1/wayloom-cli.1.gz" | sed 's/\\-/-/g' >"$work/man"
for option in $("$stage/usr/bin/wayloom-cli" --help | grep -o -- '^  --[a-z-]*'); do
  grep -q -- "$option" "$work/man" || fail "the manual page lacks $option"
done

if [ "$window" = ON ]; then
  desktop-file-validate "$stage/usr/share/applications/wayloom.desktop" ||
    fail "the menu entry is not valid"
fi

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/deb/wayloom_*.deb)
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort >"$work/packaged"
diff -u "$expected" "$work/packaged" || fail "the .deb's files differ from the list"
depends=$(dpkg-deb -f "$deb" Depends)
libraries="libc6 libstdc++6"
[ "$window" = OFF ] || libraries="$libraries libqt6widgets6 qt6-qpa-plugins"
for library in $libraries; do
  echo "$depends" | grep -q "$library" || fail "Depends lacks $library: $depends"
done
lintian --fail-on error "$deb" || fail "lintian found errors"
echo "install and .deb: all checks passed"

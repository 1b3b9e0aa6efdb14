#!/bin/sh
# What a user gets from the install and the .deb:
# - cmake --install into a staging folder (DESTDIR) gives the files listed below, and the installed
#   wayloom-cli writes the same track of the sample as the one in the build tree;
# - the manual page names every option --help shows;
# - the menu entry passes desktop-file-validate;
# - cpack makes a .deb holding exactly those files, depending on the libraries the programs link,
#   that lintian accepts without errors or warnings.
# Usage: check_install.sh BUILD_DIR SOURCE_DIR WITH_WINDOW(ON|OFF)
set -eu
build=$1 source=$2 window=$3
for tool in desktop-file-validate dpkg-deb lintian cpack; do
  command -v "$tool" >/dev/null 2>&1 || { echo "$tool is not installed: skipped" && exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" && exit 1; }

expected="$work/expected"
{
  printf './usr/%s\n' bin/wayloom-cli share/doc/wayloom/README.md share/doc/wayloom/changelog.gz \
    share/doc/wayloom/copyright share/man/man1/wayloom-cli.1.gz
  if [ "$window" = ON ]; then
    printf './usr/%s\n' bin/wayloom share/applications/wayloom.desktop share/man/man1/wayloom.1.gz \
      share/icons/hicolor/scalable/apps/wayloom.svg
    printf './usr/share/icons/hicolor/%sx%s/apps/wayloom.png\n' 16 16 24 24 32 32 48 48 64 64 128 128 256 256
  fi
} | sort >"$expected"

stage="$work/stage"
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
(cd "$stage" && find . -type f | sort) >"$work/installed"
diff -u "$expected" "$work/installed" || fail "installed files differ from the list"

sample="$source/examples/a9-edinburgh-inverness.csv"
"$build/cli/wayloom-cli" --quiet --reorder --extra "$sample" - >"$work/built.nmea"
"$stage/usr/bin/wayloom-cli" --quiet --reorder --extra "$sample" - | cmp "$work/built.nmea" - ||
  fail "the installed wayloom-cli failed or wrote other bytes"

gzip -dc "$stage/usr/share/man/man1/wayloom-cli.1.gz" | sed 's/\\-/-/g' >"$work/man"
for option in $("$stage/usr/bin/wayloom-cli" --help | grep -o -- '^  --[a-z-]*'); do
  grep -q -- "$option" "$work/man" || fail "the manual page lacks $option"
done

[ "$window" = OFF ] || desktop-file-validate "$stage/usr/share/applications/wayloom.desktop" ||
  fail "the menu entry is not valid"

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
lintian --fail-on error,warning "$deb" || fail "lintian found errors or warnings"
echo "install and .deb: all checks passed"

#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses the installation as a
# user and another project would: the programs run from a folder outside the
# build tree with no LD_LIBRARY_PATH and take their libraries from the prefix,
# a CMake project and a pkg-config build link the library, the desktop files
# pass their validators, and the Debian package and the archive hold the same
# installation and run where they are unpacked.
#
# Usage: install_test.sh BUILD_DIR SOURCE_DIR LIBDIR WINDOW MANPAGES
#   LIBDIR: the library folder below the prefix (CMAKE_INSTALL_LIBDIR);
#   WINDOW, MANPAGES: 1 when the build has the window, the tools' manual
#   pages; else 0.
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
libdir=$3
window=$4
manpages=$5
unset LD_LIBRARY_PATH
export QT_QPA_PLATFORM=offscreen

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
work=$tmp/work
mkdir -p "$work"
cp "$source/examples/terrain.isovar" "$source/examples/plate.isovar" "$work/"

fail() {
  echo "FAILED: $*" >&2
  exit 1
}
step() { echo "== $* ($SECONDS s)"; }

step "cmake --install into a temporary prefix"
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" || { cat "$tmp/install.log"; fail "install"; }
expected=(
  bin/isovar-plot bin/isovar-convert bin/isovar-read
  "$libdir/libIsovarLib.so" "$libdir/libIsovarLib.so.1" "$libdir/libIsovarPlatform.so.1"
  include/IsovarLib/IsovarLib.h include/IsovarLib/platform.h
  "$libdir/cmake/IsovarLib/IsovarLibConfig.cmake" "$libdir/cmake/IsovarLib/IsovarLibConfigVersion.cmake"
  "$libdir/pkgconfig/isovarlib.pc" share/mime/packages/isovar.xml
)
if [ "$manpages" = 1 ]; then
  expected+=(share/man/man1/isovar-plot.1 share/man/man1/isovar-convert.1 share/man/man1/isovar-read.1)
fi
if [ "$window" = 1 ]; then
  expected+=(bin/Isovar share/applications/Isovar.desktop share/icons/hicolor/scalable/apps/isovar.svg
    share/man/man1/Isovar.1)
fi
for f in "${expected[@]}"; do
  [ -e "$prefix/$f" ] || fail "not installed: $f"
done
# Static helper libraries and test programs stay in the build tree.
if find "$prefix" -name '*.a' -o -name '*_tests' -o -name 'bench_*' | grep -q .; then
  fail "installed more than the programs and libraries: $(find "$prefix" -name '*.a' -o -name '*_tests')"
fi

# Runs the programs under ROOT/bin from the work folder and checks that each
# library of the project comes from ROOT/LIB.
check_programs() {
  local root=$1 lib=$2 what=$3 out
  rm -f "$work"/*.png "$work"/*.geojson "$work"/*.pdf "$work"/*.log "$work"/*.tmp
  (cd "$work" && "$root/bin/isovar-plot" terrain.isovar --png t.png --isolines t.geojson --pdf t.pdf) ||
    fail "$what: isovar-plot"
  [ -s "$work/t.png" ] && [ -s "$work/t.geojson" ] || fail "$what: isovar-plot wrote no picture or isolines"
  head -c 5 "$work/t.pdf" | grep -q '%PDF-' || fail "$what: isovar-plot wrote no PDF (its module not installed?)"
  out=$(cd "$work" && "$root/bin/isovar-read" plate.isovar) || fail "$what: isovar-read"
  grep -q 'finite-element model: 432 nodes' <<<"$out" || fail "$what: isovar-read printed: $out"
  "$root/bin/isovar-convert" --version | grep -q '^isovar-convert ' || fail "$what: isovar-convert --version"
  local real_lib
  real_lib=$(cd "$root/$lib" && pwd -P)
  for program in isovar-plot isovar-convert isovar-read; do
    ldd "$root/bin/$program" >"$tmp/ldd.txt"
    ! grep -q 'not found' "$tmp/ldd.txt" || fail "$what: $program: $(grep 'not found' "$tmp/ldd.txt")"
    if [ "$program" = isovar-plot ]; then
      grep -q libIsovarLib "$tmp/ldd.txt" || fail "$what: isovar-plot needs no libIsovarLib?"
    fi
    while read -r name _ path _; do
      [ "$(cd "$(dirname "$path")" && pwd -P)" = "$real_lib" ] || fail "$what: $program takes $name from $path"
    done < <(grep 'libIsovar' "$tmp/ldd.txt")
  done
  # An empty RUNPATH entry would load libraries from the current folder.
  local file runpath
  for file in "$root"/bin/* "$root/$lib"/libIsovar*.so*; do
    [ -f "$file" ] && [ ! -L "$file" ] || continue
    runpath=$(readelf -d "$file" 2>/dev/null | sed -n 's/.*(RUNPATH).*\[\(.*\)\]$/\1/p')
    case ":$runpath:" in *::*) [ -z "$runpath" ] || fail "$what: $file has an empty RUNPATH entry: [$runpath]" ;; esac
  done
  if [ "$window" = 1 ] && [ -e "$root/bin/Isovar" ]; then
    # The window opens the library itself: the loader's trace says which file.
    local status=0 loaded
    (cd "$work" && LD_DEBUG=files LD_DEBUG_OUTPUT="$tmp/window" timeout 4 "$root/bin/Isovar" plate.isovar 2>/dev/null) ||
      status=$?
    [ "$status" = 124 ] || fail "$what: the window stopped by itself (status $status)"
    loaded=$(sed -n 's/.*calling init: \(.*libIsovarLib\.so[.0-9]*\)$/\1/p' "$tmp"/window.* 2>/dev/null | head -n 1) ||
      true
    rm -f "$tmp"/window.*
    [ -n "$loaded" ] || fail "$what: the window did not load libIsovarLib"
    [ "$(cd "$(dirname "$loaded")" && pwd -P)" = "$real_lib" ] || fail "$what: the window loaded $loaded"
  fi
}

step "the build tree's programs, run from another folder"
check_programs "$build" lib "the build tree"

step "installed programs, run from another folder"
check_programs "$prefix" "$libdir" "installation"

if [ "$manpages" = 1 ]; then
  step "the manual pages"
  for page in "$prefix"/share/man/man1/*.1; do
    grep -q '^\.SH DESCRIPTION' "$page" || fail "$page has no description"
  done
  grep -qF -- '\-\-isolines' "$prefix/share/man/man1/isovar-plot.1" || fail "isovar-plot's page misses its options"
fi

step "the desktop files"
if [ "$window" = 1 ]; then
  desktop-file-validate "$prefix/share/applications/Isovar.desktop" || fail "desktop-file-validate"
  xmllint --noout "$prefix/share/icons/hicolor/scalable/apps/isovar.svg" || fail "the icon is no XML"
fi
XDG_DATA_DIRS="$prefix/share" update-mime-database "$prefix/share/mime" || fail "update-mime-database"
[ -e "$prefix/share/mime/text/x-isovar.xml" ] || fail "no MIME type text/x-isovar"
grep -q '^50:text/x-isovar:\*\.isovar$' "$prefix/share/mime/globs2" || fail "no glob *.isovar"
grep -aq 'x-isovar' "$prefix/share/mime/magic" || fail "no magic for text/x-isovar"

step "a CMake project with find_package(IsovarLib)"
cmake -S "$source/tests/install/consumer" -B "$tmp/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  >"$tmp/consumer.log" 2>&1 || { cat "$tmp/consumer.log"; fail "configuring the consumer"; }
cmake --build "$tmp/consumer" >>"$tmp/consumer.log" 2>&1 || { cat "$tmp/consumer.log"; fail "building the consumer"; }
out=$(cd "$work" && "$tmp/consumer/consumer" terrain.isovar c.bmp) || fail "consumer: $out"
[ "$out" = $'readData 0\nsaveBMP 0' ] || fail "consumer printed: $out"
[ -s "$work/c.bmp" ] || fail "consumer wrote no picture"

step "a C program built with pkg-config"
flags=$(PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig" pkg-config --cflags --libs isovarlib) || fail "pkg-config"
cc -Wall -Wextra -Werror "$source/tests/install/consumer/consumer.c" -o "$tmp/pc_consumer" $flags \
  -Wl,-rpath,"$prefix/$libdir" || fail "building with pkg-config's flags: $flags"
out=$(cd "$work" && "$tmp/pc_consumer" plate.isovar p.bmp) || fail "pkg-config consumer: $out"

step "cpack -G DEB"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/packages" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log"; fail "cpack -G DEB"; }
deb=$(ls "$tmp"/packages/isovar_*.deb)
dpkg-deb --info "$deb" >"$tmp/info.txt"
for field in 'Package: isovar' 'Section: science' 'Recommends: fonts-ipafont-gothic' 'Depends: .*libc6'; do
  grep -q "^ $field" "$tmp/info.txt" || { cat "$tmp/info.txt"; fail "the package's control has no $field"; }
done
# Dependencies computed from the libraries: the drawing surface's own.
grep -q '^ Depends: .*libfreetype6' "$tmp/info.txt" || fail "no dependency found from the shared libraries"
dpkg-deb --info "$deb" shlibs | grep -q '^libIsovarLib 1 isovar' || fail "no shlibs entry for libIsovarLib"
dpkg-deb --info "$deb" postinst | grep -q ldconfig || fail "no ldconfig after installing the libraries"
dpkg-deb --contents "$deb" >"$tmp/contents.txt"
for f in "${expected[@]}"; do
  grep -q " \./usr/$f\( ->.*\)\?$" "$tmp/contents.txt" || fail "the package lacks /usr/$f"
done
dpkg-deb -x "$deb" "$tmp/deb"
check_programs "$tmp/deb/usr" "$libdir" "the package's files"

step "cpack -G TGZ, unpacked elsewhere"
cpack --config "$build/CPackConfig.cmake" -G TGZ -B "$tmp/packages" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log"; fail "cpack -G TGZ"; }
mkdir "$tmp/unpacked"
tar -xzf "$tmp"/packages/isovar-*.tar.gz -C "$tmp/unpacked"
check_programs "$(ls -d "$tmp"/unpacked/isovar-*)" "$libdir" "the archive"

step "done"

#!/usr/bin/env bash
# Builds the Debian packages as README.md tells a packager to: the
# `package` preset (the library, the tool and the driver for /usr, no
# tests) configured and built in BUILD_DIR, then cpack into OUT_DIR, which
# afterwards holds the packages and nothing else. A build left in BUILD_DIR
# by an earlier run is built on, not started afresh.
#   build_packages.sh SOURCE_DIR BUILD_DIR OUT_DIR [CMAKE_ARGUMENT...]
set -euo pipefail
source=$(realpath "$1") build=$2 out=$3
shift 3
fail() { echo "FAILED: $*" >&2; exit 1; }
mkdir -p "$build"
build=$(realpath "$build")
log=$build/build-packages.log
(cd "$source" && cmake --preset package -B "$build" "$@") >"$log" 2>&1 || { cat "$log"; fail "configuring $build"; }
cmake --build "$build" -j2 >>"$log" 2>&1 || { tail -50 "$log"; fail "building $build"; }
rm -rf "$out"
mkdir -p "$out"
out=$(realpath "$out")
# cpack writes the archive members with the umask's modes; dpkg-buildpackage
# packs under 0022 too.
(umask 0022 && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out") >>"$log" 2>&1 || { tail -50 "$log"; fail "cpack"; }
# cpack's staging folder goes; the packages stay.
rm -rf "$out/_CPack_Packages"
ls "$out"/*.deb >/dev/null 2>&1 || fail "cpack made no package"
echo "built $(cd "$out" && echo *.deb)"

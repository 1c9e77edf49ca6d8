#!/usr/bin/env bash
# Builds the Debian package of a build with cpack and checks it without
# installing it: its control fields, its dependencies, and that it holds
# exactly what `cmake --install` installs, with the same links and modes.
# The package stays in BUILD_DIR/package-test for system_install_test.sh.
#   package_test.sh BUILD_DIR PACKAGE_PREFIX LIBDIR VERSION HAS_CUPS_FILTER(0|1)
set -euo pipefail
build=$1 prefix=$2 libdir=$3 version=$4 has_filter=$5
[[ $libdir = /* ]] || libdir=$prefix/$libdir
major=${version%%.*}

work=$(mktemp -d "${TMPDIR:-/tmp}/huecl-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

out=$build/package-test
rm -rf "$out"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$(find "$out" -maxdepth 1 -name 'huecl_*.deb')
[ "$(basename "$deb")" = "huecl_${version}_$(dpkg --print-architecture).deb" ] || fail "package named '$deb'"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = huecl ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
depends=$(field Depends)
# dpkg-shlibdeps found what the library and the tool link, and not the
# package's own library.
for needed in libc6 libpng16-16 liblcms2-2; do
  [[ $depends == *"$needed "* ]] || fail "Depends lacks $needed: $depends"
done
[[ $depends != *huecl* ]] || fail "the package depends on itself: $depends"
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./shlibs | grep -qx "libhuecl32 $major huecl (>= $version)" ||
  fail "shlibs does not name libhuecl32 $major"
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./triggers | grep -qx 'activate-noawait ldconfig' ||
  fail "no ldconfig trigger"

# The same files, links and modes as a staged install at the package's
# prefix.
DESTDIR=$work/stage cmake --install "$build" --prefix "$prefix" >/dev/null
listing() { find . \( -type f -o -type l \) -printf '%p %M %l\n' | sed 's|^\./|/|' | sort; }
(cd "$work/stage" && listing) >"$work/installed"
dpkg-deb -x "$deb" "$work/unpacked"
(cd "$work/unpacked" && listing) >"$work/packed"
diff "$work/installed" "$work/packed" || fail "the package differs from the install"

dpkg-deb -c "$deb" >"$work/contents"
for path in "$libdir/libhuecl32.so.$version" "$libdir/libhuecl32.so.$major -> libhuecl32.so.$version" \
            "$prefix/include/huecl32.h" "$libdir/pkgconfig/huecl32.pc" \
            "$libdir/cmake/huecl32/huecl32Config.cmake" "$prefix/bin/huecl"; do
  grep -qF ".$path" "$work/contents" || fail "not in the package: $path"
done
if [ "$has_filter" = 1 ]; then
  grep -q '/cups/filter/rastertohuecl$' "$work/contents" || fail "no CUPS filter in the package"
  grep -q '/model/.*\.ppd' "$work/contents" || fail "no PPD in the package"
fi
echo "$(basename "$deb"): $(wc -l <"$work/packed") files, depends on $depends"

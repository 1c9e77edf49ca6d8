#!/usr/bin/env bash
# Installs a build into a staging folder with DESTDIR and uses it as a
# library user would: a C program built once with pkg-config and once with
# find_package, the tool run from the staged tree, the SONAME checked, and
# uninstalled again. The printer driver, where built, lands under the
# prefix too, unless its folders were set absolute when configuring; at
# the system's prefix it lands where cups-config says.
#   install_test.sh BUILD_DIR PREFIX LIBDIR BINDIR SOURCE_DIR HAS_TOOL(0|1) [FILTER_DIR MODEL_DIR]
# CC, CFLAGS and LDFLAGS are those of the build (-m32, sanitizers).
set -euo pipefail
build=$1 prefix=$2 libdir=$3 bindir=$4 here=$5 has_tool=$6 filter_dir=${7:-} model_dir=${8:-}
libdir_relative=$libdir bindir_relative=$bindir
[[ $libdir = /* ]] || libdir=$prefix/$libdir
[[ $bindir = /* ]] || bindir=$prefix/$bindir
: "${CC:=cc}" "${CFLAGS:=}" "${LDFLAGS:=}" "${HUECL_VERSION:?}"

work=$(mktemp -d "${TMPDIR:-/tmp}/huecl-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
stage=$work/stage
fail() { echo "FAILED: $*" >&2; exit 1; }

DESTDIR=$stage cmake --install "$build" >"$work/install.log"
# Nothing lands outside the prefix, but the driver's folders where they
# were set absolute.
allowed="^$prefix/"
for folder in "$filter_dir" "$model_dir"; do
  [[ $folder != /* ]] || allowed="$allowed|^$folder/"
done
outside=$(cd "$stage" && find . -type f | sed 's|^\.||' | grep -Ev "$allowed" || true)
[ -z "$outside" ] || fail "installed outside $prefix: $outside"

lib=$stage$libdir
for file in "$stage$prefix/include/huecl32.h" "$lib/pkgconfig/huecl32.pc" \
            "$lib/cmake/huecl32/huecl32Config.cmake" "$lib/cmake/huecl32/huecl32ConfigVersion.cmake"; do
  [ -f "$file" ] || fail "not installed: ${file#"$stage"}"
done

# The real file carries the full version, the SONAME its major version, and
# the two links lead to it.
major=${HUECL_VERSION%%.*}
[ -f "$lib/libhuecl32.so.$HUECL_VERSION" ] && [ ! -L "$lib/libhuecl32.so.$HUECL_VERSION" ] ||
  fail "libhuecl32.so.$HUECL_VERSION is not installed as a file"
for link in libhuecl32.so "libhuecl32.so.$major"; do
  [ "$(readlink -f "$lib/$link")" = "$(readlink -f "$lib/libhuecl32.so.$HUECL_VERSION")" ] ||
    fail "$link does not lead to libhuecl32.so.$HUECL_VERSION"
done
soname=$(readelf -d "$lib/libhuecl32.so.$HUECL_VERSION" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = "libhuecl32.so.$major" ] || fail "SONAME is '$soname', not libhuecl32.so.$major"
# No installed text file and no run path names the build folder (debug
# information may).
if grep -rlI "$build" "$stage" >"$work/leaks"; then
  fail "the build folder is named in: $(cat "$work/leaks")"
fi
for binary in "$lib/libhuecl32.so.$HUECL_VERSION" "$stage$bindir/huecl"; do
  [ -f "$binary" ] || continue
  ! readelf -d "$binary" | grep -E '\((RPATH|RUNPATH)\)' | grep -qF "$build" ||
    fail "the run path of ${binary#"$stage"} names the build folder"
done

# 1. pkg-config, against the staged tree only.
flags=$(PKG_CONFIG_SYSROOT_DIR=$stage PKG_CONFIG_LIBDIR=$lib/pkgconfig PKG_CONFIG_PATH= \
        pkg-config --cflags --libs "huecl32 = $HUECL_VERSION")
case " $flags " in *" -I$stage$prefix/include "*) ;; *) fail "pkg-config gives '$flags'" ;; esac
# shellcheck disable=SC2086
"$CC" $CFLAGS -std=c99 -Wall -Werror -o "$work/with-pkg-config" "$here/consumer.c" $flags $LDFLAGS
LD_LIBRARY_PATH=$lib "$work/with-pkg-config" || fail "the program built with pkg-config"
objdump -p "$work/with-pkg-config" | grep -q "NEEDED *libhuecl32.so.$major\$" ||
  fail "the program built with pkg-config does not need libhuecl32.so.$major"

# 2. find_package, with the staged prefix as CMAKE_PREFIX_PATH.
cmake -S "$here" -B "$work/cmake-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_C_COMPILER="$CC" -DCMAKE_C_FLAGS="$CFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" \
      -DCMAKE_PREFIX_PATH="$stage$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF \
      -DHUECL_VERSION="$HUECL_VERSION" >"$work/cmake.log" 2>&1 || { cat "$work/cmake.log"; fail "find_package"; }
grep -q "$stage" "$work/cmake-build/CMakeCache.txt" || fail "find_package did not use the staged tree"
cmake --build "$work/cmake-build" >"$work/cmake.log" 2>&1 || { cat "$work/cmake.log"; fail "building with find_package"; }
"$work/cmake-build/consumer" || fail "the program built with find_package"
# A version of another major is refused.
if cmake -S "$here" -B "$work/cmake-wrong" -G Ninja -DCMAKE_C_COMPILER="$CC" \
         -DCMAKE_PREFIX_PATH="$stage$prefix" -DHUECL_VERSION=$((major + 1)).0 >/dev/null 2>&1; then
  fail "find_package accepted version $((major + 1)).0"
fi

# 3. The tool runs from the staged tree and reports its version.
if [ "$has_tool" = 1 ]; then
  version=$(LD_LIBRARY_PATH=$lib "$stage$bindir/huecl" --version)
  case "$version" in *"$HUECL_VERSION"*) ;; *) fail "huecl --version says '$version'" ;; esac
  # The manual page has a section for every command --help lists, with that
  # command's own usage line.
  [ -f "$stage$prefix/share/man/man1/huecl.1.gz" ] || fail "no manual page"
  page=$work/huecl.1
  gzip -dc "$stage$prefix/share/man/man1/huecl.1.gz" >"$page"
  commands=$(LD_LIBRARY_PATH=$lib "$stage$bindir/huecl" --help | sed -n 's/^  huecl \([a-z]*\) .*/\1/p' | grep -vx help)
  [ -n "$commands" ] || fail "huecl --help lists no commands"
  for command in $commands; do
    grep -qx ".SS \"huecl $command\"" "$page" || fail "the manual page has no section for $command"
    usage=$(LD_LIBRARY_PATH=$lib "$stage$bindir/huecl" help "$command")
    usage=${usage%%$'\n'*}
    usage=${usage//-/\\-}
    grep -qxF "$usage" "$page" || fail "the manual page lacks '$usage'"
  done
fi
# 4. The driver: the filter where its folder says, under the prefix unless
# set absolute, finding the staged library through its run path.
under() { [[ $1 = /* ]] && echo "$1" || echo "$2/$1"; }
if [ -n "$filter_dir" ]; then
  filter=$stage$(under "$filter_dir" "$prefix")/rastertohuecl
  [ -x "$filter" ] || fail "no filter at ${filter#"$stage"}"
  [ -f "$stage$(under "$model_dir" "$prefix")/huecl.ppd" ] || fail "no PPD in $(under "$model_dir" "$prefix")"
  if [[ $filter_dir != /* ]]; then
    ldd "$filter" >"$work/filter-ldd" || fail "ldd $filter"
    found=$(sed -n "s/^\s*libhuecl32\.so\.$major => \(.*\) (0x.*/\1/p" "$work/filter-ldd")
    [[ -n $found && $(realpath "$found") == $(realpath "$lib")/* ]] ||
      fail "the staged filter does not find the staged library: $(grep huecl "$work/filter-ldd")"
    status=0
    "$filter" >/dev/null 2>"$work/filter.log" || status=$?
    [ $status = 1 ] && grep -q '^Usage: rastertohuecl' "$work/filter.log" || fail "the staged filter: $(cat "$work/filter.log")"
  fi
fi

# 5. Uninstalling removes every file and link the install put.
DESTDIR=$stage cmake -DMANIFEST="$build/install_manifest.txt" -P "$here/../../cmake/install/Uninstall.cmake" >/dev/null
left=$(cd "$stage" && find . -type f -o -type l)
[ -z "$left" ] || fail "left after uninstalling: $left"
[ ! -e "$lib/cmake/huecl32" ] || fail "left after uninstalling: the CMake package's folder"
# 6. A prefix chosen when installing reaches the pkg-config file and the
# driver's folders too.
DESTDIR=$work/elsewhere cmake --install "$build" --prefix /opt/huecl-elsewhere >/dev/null
grep -qx 'prefix=/opt/huecl-elsewhere' "$work"/elsewhere/opt/huecl-elsewhere/lib*/pkgconfig/huecl32.pc ||
  fail "huecl32.pc installed with --prefix: $(head -1 "$work"/elsewhere/opt/huecl-elsewhere/lib*/pkgconfig/huecl32.pc)"
if [ -n "$filter_dir" ]; then
  [ -x "$work/elsewhere$(under "$filter_dir" /opt/huecl-elsewhere)/rastertohuecl" ] ||
    fail "the filter did not follow --prefix: $(cd "$work/elsewhere" && find . -name rastertohuecl)"
  [ -f "$work/elsewhere$(under "$model_dir" /opt/huecl-elsewhere)/huecl.ppd" ] ||
    fail "the PPD did not follow --prefix: $(cd "$work/elsewhere" && find . -name huecl.ppd)"
fi
# At the system's prefix the driver is where CUPS looks, and the programs
# need no run path to find the library in /usr's own folder.
if [[ -n $filter_dir && $filter_dir != /* && $model_dir != /* ]] && command -v cups-config >/dev/null; then
  DESTDIR=$work/system cmake --install "$build" --prefix /usr >/dev/null
  filter=$work/system$(cups-config --serverbin)/filter/rastertohuecl
  [ -x "$filter" ] || fail "at /usr the filter is not in $(cups-config --serverbin)/filter: $(cd "$work/system" && find . -name rastertohuecl)"
  [ -f "$work/system$(cups-config --datadir)/model/huecl.ppd" ] || fail "at /usr the PPD is not in $(cups-config --datadir)/model"
  if [[ $libdir_relative != /* && $bindir_relative != /* ]]; then
    for binary in "$filter" "$work/system/usr/$bindir_relative/huecl"; do
      [ -f "$binary" ] || continue
      ! readelf -d "$binary" | grep -qE '\((RPATH|RUNPATH)\)' || fail "${binary#"$work/system"} keeps a run path at /usr"
    done
  fi
fi
echo "installed tree at $prefix works ($soname)"

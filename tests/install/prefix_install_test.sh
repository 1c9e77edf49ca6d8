#!/usr/bin/env bash
# Installs a build as a user does into a prefix of their own, without
# DESTDIR (`cmake --install BUILD --prefix DIR`), and checks that nothing
# lands outside DIR: every file of the install's manifest lies under it,
# and the system's CUPS folders (filters and PPDs) are as they were. The
# installed tool and filter run from DIR and find DIR's library, and
# cupsfilter prints through the filter and PPD under DIR. Then uninstalls
# again.
#   prefix_install_test.sh BUILD_DIR LIBDIR BINDIR [FILTER_DIR MODEL_DIR]
# Exits 77 (skipped) when the driver's folders were set absolute, since
# such a build installs the driver into the system's folders by design.
set -euo pipefail
build=$1 libdir=$2 bindir=$3 filter_dir=${4:-} model_dir=${5:-}
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAILED: $*" >&2; exit 1; }
if [[ $filter_dir == /* || $model_dir == /* ]]; then
  echo "SKIPPED: the driver installs into $filter_dir and $model_dir whatever the prefix"
  exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/huecl-prefix.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/opt
[[ $libdir = /* ]] || libdir=$prefix/$libdir
[[ $bindir = /* ]] || bindir=$prefix/$bindir

"$here/../support/system_snapshot.sh" "$work/system-before.txt"
# DESTDIR from the caller's environment would hide the very fault sought.
env -u DESTDIR cmake --install "$build" --prefix "$prefix" >"$work/install.log" ||
  { cat "$work/install.log"; fail "cmake --install --prefix $prefix"; }
"$here/../support/system_snapshot.sh" --compare "$work/system-before.txt" >/dev/null 2>&1 ||
  fail "installing into $prefix changed the system's CUPS folders: $(cat "$work/system-before.txt.diff")"

# Every file the install wrote, as the install itself lists them.
[[ -s $build/install_manifest.txt ]] || fail "no install manifest"
outside=$(grep -v "^$prefix/" "$build/install_manifest.txt" || true)
[[ -z $outside ]] || fail "installed outside $prefix: $outside"
while read -r file; do
  [[ -e $file || -L $file ]] || fail "the manifest names $file, which is not there"
done <"$build/install_manifest.txt"

if [[ -n $filter_dir ]]; then
  filter=$prefix/$filter_dir/rastertohuecl
  grep -qx "$filter" "$build/install_manifest.txt" || fail "the filter is not at $filter: $(grep rastertohuecl "$build/install_manifest.txt")"
  grep -qx "$prefix/$model_dir/huecl.ppd" "$build/install_manifest.txt" || fail "the PPD is not in $prefix/$model_dir"
  # Its run path leads to the prefix's library, whatever the system has.
  ldd "$filter" >"$work/filter-ldd"
  found=$(sed -n 's/^\s*libhuecl32\.so\.[0-9]* => \(.*\) (0x.*/\1/p' "$work/filter-ldd")
  [[ -n $found && $(realpath "$found") == $(realpath "$libdir")/* ]] ||
    fail "the filter does not find $libdir's library: $(grep huecl "$work/filter-ldd")"
  status=0
  "$filter" >/dev/null 2>"$work/filter.log" || status=$?
  [[ $status == 1 ]] && grep -q '^Usage: rastertohuecl' "$work/filter.log" || fail "the installed filter: $(cat "$work/filter.log")"
fi
# CUPS reaches the prefix's driver as README.md says: the filter linked
# into a filter folder (here a ServerBin of the test's own, beside links to
# the system's filters) and the PPD named by its path.
if [[ -n $filter_dir ]] && command -v cupsfilter >/dev/null && command -v gs >/dev/null; then
  server_bin=$(cups-config --serverbin 2>/dev/null || echo /usr/lib/cups)
  mkdir -p "$work/server-bin/filter"
  for entry in "$server_bin"/*; do [[ ${entry##*/} == filter ]] || ln -s "$entry" "$work/server-bin/"; done
  for entry in "$server_bin"/filter/*; do [[ ${entry##*/} == rastertohuecl ]] || ln -s "$entry" "$work/server-bin/filter/"; done
  ln -s "$filter" "$work/server-bin/filter/rastertohuecl"
  echo "ServerBin $work/server-bin" >"$work/cups-files.conf"
  gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile="$work/document.pdf" \
     "$here/../../tools/cups/tests/test_page.ps"
  cupsfilter -c "$work/cups-files.conf" -p "$prefix/$model_dir/huecl.ppd" -e -m printer/huecl -o PageSize=A5 \
    -o Resolution=300dpi -o ColorModel=Gray "$work/document.pdf" >"$work/printed.hcr" 2>"$work/cupsfilter.log" ||
    fail "cupsfilter with the prefix's driver: $(grep -v DEBUG "$work/cupsfilter.log")"
  grep -q 'rastertohuecl.*exited with no errors' "$work/cupsfilter.log" || fail "the prefix's filter did not run"
  [[ $(head -c 8 "$work/printed.hcr") == HUECLRS2 ]] || fail "the prefix's filter wrote no raster container with its sheet"
fi
if [[ -x $bindir/huecl ]]; then
  "$bindir/huecl" --version >/dev/null || fail "the installed tool does not run"
fi

cmake -DMANIFEST="$build/install_manifest.txt" -P "$here/../../cmake/install/Uninstall.cmake" >/dev/null
left=$(find "$prefix" ! -type d)
[[ -z $left ]] || fail "left after uninstalling: $left"
echo "installed $(wc -l <"$build/install_manifest.txt") files under $prefix and nothing elsewhere"

#!/usr/bin/env bash
# Builds the Debian packages a second time and compares them byte for byte
# with the first build's: from a fresh copy of the sources (new file
# times), in folders of other names and lengths, minutes later, under
# another umask and time zone. Only the packaged targets are built.
#
# The second build also asks for cups-config's folders by name
# (HUECL_CUPS_SERVERBIN, HUECL_CUPS_DATADIR). At /usr those are the folders
# a build chooses by itself, so its packages must be the same bytes as
# well; and installed under another prefix it puts the driver into the
# folders asked for, not under the prefix.
#   reproducible_test.sh SOURCE_DIR PACKAGE_DIR
set -euo pipefail
source=$(realpath "$1") first=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAILED: $*" >&2; exit 1; }
command -v cups-config >/dev/null || fail "no cups-config"

work=$(mktemp -d "${TMPDIR:-/tmp}/huecl-second-build-elsewhere.XXXXXX")
trap 'rm -rf "$work"' EXIT
copy=$work/sources-copied-again
mkdir "$copy"
# The files git knows of, tracked or new but not ignored; without git, the
# tree but its build folder.
if [[ $(git -C "$source" rev-parse --show-toplevel 2>/dev/null) == "$source" ]]; then
  (cd "$source" && git ls-files -z --cached --others --exclude-standard) |
    while IFS= read -r -d '' file; do
      [[ ! -e $source/$file ]] || (cd "$source" && cp --parents -- "$file" "$copy/")
    done
else
  tar -C "$source" --exclude=./build -cf - . | tar -C "$copy" -xmf -
fi

(
  umask 0002
  export TZ=Pacific/Kiritimati LC_ALL=C.UTF-8
  "$here/build_packages.sh" "$copy" "$work/b" "$work/packages" \
    -DHUECL_CUPS_SERVERBIN="$(cups-config --serverbin)" -DHUECL_CUPS_DATADIR="$(cups-config --datadir)" >/dev/null
) || fail "the second build"

names=$(cd "$first" && ls ./*.deb | sed 's|^\./||')
[[ $(cd "$work/packages" && ls ./*.deb | sed 's|^\./||') == "$names" ]] ||
  fail "the second build made other packages: $(ls "$work/packages")"
different=()
for deb in $names; do
  cmp -s "$first/$deb" "$work/packages/$deb" && continue
  different+=("$deb")
  # What differs, for the failure's message.
  mkdir -p "$work/one" "$work/two"
  dpkg-deb -R "$first/$deb" "$work/one/$deb"
  dpkg-deb -R "$work/packages/$deb" "$work/two/$deb"
  diff -r "$work/one/$deb" "$work/two/$deb" >&2 || true
  diff <(dpkg-deb -c "$first/$deb") <(dpkg-deb -c "$work/packages/$deb") >&2 || true
done
[[ ${#different[@]} -eq 0 ]] || fail "two builds of the same sources differ in ${different[*]}"

# The folders asked for win over any prefix.
DESTDIR=$work/asked cmake --install "$work/b" --component driver --prefix /opt/huecl-asked >/dev/null
[[ -x $work/asked$(cups-config --serverbin)/filter/rastertohuecl ]] ||
  fail "the filter is not in the folder asked for: $(cd "$work/asked" && find . -name rastertohuecl)"
[[ -f $work/asked$(cups-config --datadir)/model/huecl.ppd ]] ||
  fail "the PPD is not in the folder asked for: $(cd "$work/asked" && find . -name huecl.ppd)"
[[ ! -e $work/asked/opt/huecl-asked/lib/cups && ! -e $work/asked/opt/huecl-asked/share/cups ]] ||
  fail "the driver went under the prefix although its folders were asked for"
echo "a second build elsewhere made the same $(wc -w <<<"$names") packages, byte for byte"

#!/usr/bin/env bash
# Checks the Debian packages that build_packages.sh made, without
# installing them: each package's control fields and dependencies, that it
# holds exactly what `cmake --install --component` installs (same files,
# links, modes and bytes), among them Debian's copyright, changelog and
# overrides, which a plain install leaves out; a compressed manual page for
# every program; and that together they hold everything a full install
# puts.
#   package_test.sh PACKAGE_BUILD_DIR PACKAGE_DIR VERSION-REVISION SOURCE_DIR
# PACKAGE_BUILD_DIR/debian/packages.txt lists "component package" pairs.
set -euo pipefail
build=$(realpath "$1") packages=$(realpath "$2") version=$3 source=$(realpath "$4")
upstream=${version%-*}
major=${upstream%%.*}
library=libhuecl32-$major
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
[[ $libdir = /* ]] || libdir=$prefix/$libdir
architecture=$(dpkg --print-architecture)

work=$(mktemp -d "${TMPDIR:-/tmp}/huecl-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
listing() { find . \( -type f -o -type l \) -printf '%p %M %l\n' | sed 's|^\./|/|' | sort; }

mapfile -t pairs <"$build/debian/packages.txt"
[[ ${#pairs[@]} -ge 4 ]] || fail "packages.txt lists ${#pairs[*]}"
declare -A package_of
names=()
for pair in "${pairs[@]}"; do
  package_of[${pair% *}]=${pair#* }
  names+=("${pair#* }")
done
[[ ${package_of[library]} == "$library" && ${package_of[development]} == libhuecl32-dev &&
   ${package_of[tools]} == huecl-tools && ${package_of[driver]} == printer-driver-huecl ]] ||
  fail "the components make other packages: ${pairs[*]}"
# Exactly one file per package, named as Debian names them.
expected=$(for name in "${names[@]}"; do echo "${name}_${version}_$architecture.deb"; done | sort)
found=$(cd "$packages" && ls ./*.deb | sed 's|^\./||' | sort)
[[ $found == "$expected" ]] || fail "the packages are $found, not $expected"

gzip_is_reproducible() { # FILE: gzip with no name and no time in its header
  local header
  header=$(od -An -tx1 -N8 "$1" | tr -d ' ')
  [[ ${header:0:6} == 1f8b08 && ${header:6:2} == 00 && ${header:8:8} == 00000000 ]]
}

for pair in "${pairs[@]}"; do
  component=${pair% *} name=${pair#* }
  deb=$packages/${name}_${version}_$architecture.deb
  field() { dpkg-deb -f "$deb" "$1"; }
  [[ $(field Package) == "$name" ]] || fail "$name: Package: $(field Package)"
  [[ $(field Version) == "$version" ]] || fail "$name: Version: $(field Version)"
  [[ $(field Architecture) == "$architecture" ]] || fail "$name: Architecture: $(field Architecture)"
  [[ $(field Source) == huecl ]] || fail "$name: Source: $(field Source)"
  [[ -n $(field Section) && -n $(field Maintainer) ]] || fail "$name: no Section or Maintainer"
  synopsis=$(field Description | sed -n 1p)
  [[ -n $synopsis && ${#synopsis} -lt 80 ]] || fail "$name: synopsis '$synopsis'"
  [[ $(field Description | sed -n 2p) == ' '?* ]] || fail "$name: no long description"
  depends=$(field Depends)
  [[ $depends != *"$name "* && $depends != *"$name," && $depends != "$name" ]] || fail "$name depends on itself: $depends"
  # A package that held everything before the split gives way to these.
  [[ $(field Breaks) == 'huecl (<< 0.1.0-1)' && $(field Replaces) == 'huecl (<< 0.1.0-1)' ]] ||
    fail "$name: Breaks: $(field Breaks); Replaces: $(field Replaces)"

  # Just what the component installs, stripped as cpack strips.
  DESTDIR=$work/$name cmake --install "$build" --component "$component" --prefix "$prefix" --strip >/dev/null
  (cd "$work/$name" && listing) >"$work/$name.installed"
  dpkg-deb -x "$deb" "$work/$name.unpacked"
  (cd "$work/$name.unpacked" && listing) >"$work/$name.packed"
  diff "$work/$name.installed" "$work/$name.packed" || fail "$name differs from what its component installs"
  # Files compared byte for byte, not only by name.
  while read -r path _; do
    [[ -L $work/$name$path ]] || cmp -s "$work/$name$path" "$work/$name.unpacked$path" || fail "$name: $path differs from the install's"
  done <"$work/$name.installed"
  # Debian's files: the copyright, the changelog, any lintian overrides.
  doc=$work/$name.unpacked$prefix/share/doc/$name
  cmp -s "$doc/copyright" "$source/cmake/install/debian/copyright" || fail "$name: no copyright in ${doc#"$work/$name.unpacked"}"
  gzip_is_reproducible "$doc/changelog.Debian.gz" || fail "$name: the changelog's gzip header has a name or time"
  gzip -dc "$doc/changelog.Debian.gz" | cmp -s - "$source/cmake/install/debian/changelog" || fail "$name: the changelog is not the source's"
  head -1 "$source/cmake/install/debian/changelog" | grep -q "^huecl ($version) " || fail "the changelog's newest entry is not $version"
  overrides=$work/$name.unpacked$prefix/share/lintian/overrides/$name
  if [[ -f $source/cmake/install/debian/$name.lintian-overrides ]]; then
    cmp -s "$overrides" "$source/cmake/install/debian/$name.lintian-overrides" || fail "$name: its lintian overrides are not installed"
  else
    [[ ! -e $overrides ]] || fail "$name: lintian overrides from nowhere"
  fi

  # A manual page, compressed without name or time, for every program.
  dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\.||' >"$work/$name.paths"
  while read -r path; do
    case $path in
    */bin/?* | */sbin/?*) pages=("$prefix/share/man/man1/${path##*/}.1.gz" "$prefix/share/man/man8/${path##*/}.8.gz") ;;
    */cups/filter/?*) pages=("$prefix/share/man/man7/${path##*/}.7.gz") ;;
    *) continue ;;
    esac
    page=
    for candidate in "${pages[@]}"; do grep -qx "$candidate" "$work/$name.paths" && page=$candidate; done
    [[ -n $page ]] || fail "$name: no manual page for $path (${pages[*]})"
    gzip_is_reproducible "$work/$name.unpacked$page" || fail "$name: $page has a name or time in its gzip header"
    title=$(gzip -dc "$work/$name.unpacked$page" | sed -n 's/\\-/-/g; /^\.TH /p')
    grep -qiE "^\.TH \"?${path##*/}\"? " <<<"$title" || fail "$name: $page is not the page of ${path##*/}: $title"
    # Programs in the package need no run path to find the library in
    # the system's own folder, and name no build folder.
    ! readelf -d "$work/$name.unpacked$path" | grep -qE '\((RPATH|RUNPATH)\)' || fail "$name: $path has a run path"
  done <"$work/$name.paths"
  if grep -rlF "$build" "$work/$name.unpacked" >"$work/leaks"; then
    fail "$name names the build folder in $(cat "$work/leaks")"
  fi

  # Only the library runs ldconfig (through its trigger) and says which
  # package provides its SONAME.
  dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | sort >"$work/$name.control"
  if [[ $name == "$library" ]]; then
    dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./shlibs | grep -qx "libhuecl32 $major $library (>= $version)" ||
      fail "$name: shlibs does not name libhuecl32 $major"
    dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./triggers | grep -qx 'activate-noawait ldconfig' ||
      fail "$name: no ldconfig trigger"
  else
    grep -qvxE 'control|md5sums' "$work/$name.control" && fail "$name has control files of its own: $(cat "$work/$name.control")"
  fi
  echo "$name: $(grep -c . "$work/$name.packed") files, depends on ${depends:-nothing}"
done

# What each package is for.
has() { grep -qxF "$2" "$work/$1.paths" || fail "$1 lacks $2"; }
grep -qxF "$libdir/libhuecl32.so.$upstream -rw-r--r-- " "$work/$library.packed" ||
  fail "$library lacks libhuecl32.so.$upstream as a file of mode 644"
grep -q "^$libdir/libhuecl32.so.$major lrwxrwxrwx libhuecl32.so.$upstream$" "$work/$library.packed" ||
  fail "$library lacks the SONAME link"
grep -q "^$libdir/libhuecl32.so " "$work/$library.packed" && fail "$library holds the development link"
grep -q "^$libdir/libhuecl32.so lrwxrwxrwx libhuecl32.so.$major$" "$work/libhuecl32-dev.packed" ||
  fail "libhuecl32-dev lacks the link libhuecl32.so"
for path in "$prefix/include/huecl32.h" "$libdir/pkgconfig/huecl32.pc" "$libdir/cmake/huecl32/huecl32Config.cmake" \
            "$libdir/cmake/huecl32/huecl32ConfigVersion.cmake" "$libdir/cmake/huecl32/huecl32Targets.cmake"; do
  has libhuecl32-dev "$path"
done
has huecl-tools "$prefix/bin/huecl"
has huecl-tools "$prefix/share/man/man1/huecl.1.gz"
if command -v cups-config >/dev/null; then
  has printer-driver-huecl "$(cups-config --serverbin)/filter/rastertohuecl"
  has printer-driver-huecl "$(cups-config --datadir)/model/huecl.ppd"
fi
has printer-driver-huecl "$prefix/share/man/man7/rastertohuecl.7.gz"

# Dependencies: the development files on the library of the very same
# version, the programs on the library by its shlibs and on what
# dpkg-shlibdeps found, the driver on CUPS's filters.
depends() { dpkg-deb -f "$packages/${1}_${version}_$architecture.deb" Depends | sed 's/, /\n/g'; }
depends libhuecl32-dev | grep -qxF "$library (= $version)" || fail "libhuecl32-dev: Depends: $(depends libhuecl32-dev)"
depends "$library" | grep -q '^libc6 ' || fail "$library: Depends: $(depends "$library")"
for name in huecl-tools printer-driver-huecl; do
  depends $name | grep -qxF "$library (>= $version)" || fail "$name: Depends lacks $library (>= $version): $(depends $name)"
  for needed in libc6 libpng16-16 liblcms2-2; do
    depends $name | grep -qE "^$needed \(>= [^)]+\)$" || fail "$name: Depends lacks $needed: $(depends $name)"
  done
done
depends printer-driver-huecl | grep -qx cups-filters || fail "printer-driver-huecl does not depend on cups-filters"
depends printer-driver-huecl | grep -q '^libcups2 ' || fail "printer-driver-huecl does not depend on libcups2"
# The printer application, where it is built: on the library and PAPPL,
# and Ghostscript recommended for the PDF and PostScript jobs it renders.
if [[ -n ${package_of[printer-app]:-} ]]; then
  [[ ${package_of[printer-app]} == huecl-printer-app ]] || fail "the application's package is ${package_of[printer-app]}"
  has huecl-printer-app "$prefix/bin/huecl-printer-app"
  depends huecl-printer-app | grep -qxF "$library (>= $version)" ||
    fail "huecl-printer-app: Depends lacks $library (>= $version): $(depends huecl-printer-app)"
  depends huecl-printer-app | grep -q '^libpappl1 ' || fail "huecl-printer-app does not depend on libpappl1"
  dpkg-deb -f "$packages/huecl-printer-app_${version}_$architecture.deb" Recommends | grep -qw ghostscript ||
    fail "huecl-printer-app does not recommend ghostscript"
fi

# No file in two packages, and together they hold all a full install puts.
cat "$work"/*.packed | awk '{print $1}' | sort | uniq -d >"$work/twice"
[[ ! -s $work/twice ]] || fail "in two packages: $(cat "$work/twice")"
DESTDIR=$work/full cmake --install "$build" --prefix "$prefix" --strip >/dev/null
(cd "$work/full" && listing) >"$work/full.installed"
! grep -E "^$prefix/share/(doc|lintian)/" "$work/full.installed" || fail "a plain install puts Debian's own files"
cat "$work"/*.packed | sort | comm -23 "$work/full.installed" - >"$work/missing"
[[ ! -s $work/missing ]] || fail "installed, yet in no package: $(cat "$work/missing")"
echo "${#names[@]} packages of $version: ${names[*]}"

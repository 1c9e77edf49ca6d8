#!/usr/bin/env bash
# Installs the Debian packages as a user does (dpkg -i, which apt install
# ./*.deb runs once the dependencies are there), builds a program against
# the installed development files, checks that a CUPS scheduler then offers
# the driver's PPD (lpinfo -m) and prints a document through the installed
# driver, and removes the packages again (dpkg --purge), checking that
# nothing they installed is left.
#   system_install_test.sh PACKAGE_FOLDER TEST_PAGE.ps CONSUMER.c
# PACKAGE_FOLDER holds the packages build_packages.sh made, and no others.
#
# The install is real: the system's dpkg, ldconfig and cupsd at the
# system's paths. Yet it happens in a private mount namespace in which
# /usr, /etc and /var are overlays whose changes live in a scratch folder,
# so that nothing else on the machine ever sees the package, not even
# while the test runs, and the machine is as before even when the test is
# killed. Packages of huecl that the machine has installed already are
# purged first, inside the namespace only, so that the install is a fresh
# one. Needs root and mount namespaces; exits 77 (skipped) otherwise.
set -euo pipefail
test_page=$(realpath "$2") consumer=$(realpath "$3")
mapfile -t debs < <(find "$(realpath "$1")" -maxdepth 1 -name '*.deb' 2>/dev/null | sort)

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }
. "$(dirname "$(realpath "$0")")/../support/private_cupsd.sh"

if [[ ${HUECL_IN_NAMESPACE:-} != 1 ]]; then
  [[ $(id -u) == 0 ]] || skip "installing the package needs root"
  [[ ${#debs[@]} -gt 0 ]] || fail "no package in $1"
  scratch=$(mktemp -d /tmp/huecl-system-install.XXXXXX)
  trap 'rm -rf "$scratch"' EXIT
  unshare --mount --propagation private true 2>/dev/null || skip "no private mount namespace (unshare --mount)"
  status=0
  HUECL_IN_NAMESPACE=1 HUECL_SCRATCH=$scratch unshare --mount --propagation private "$BASH" "$0" "$@" || status=$?
  exit $status
fi

# ---- Inside the namespace --------------------------------------------------
scratch=$HUECL_SCRATCH
for tree in usr etc var; do
  mkdir -p "$scratch/upper/$tree" "$scratch/work/$tree"
  mount -t overlay overlay -o "lowerdir=/$tree,upperdir=$scratch/upper/$tree,workdir=$scratch/work/$tree" "/$tree" ||
    skip "cannot lay an overlay over /$tree"
done
cd "$scratch"
names=()
for deb in "${debs[@]}"; do names+=("$(dpkg-deb -f "$deb" Package)"); done
# The packages of this build, and the one package of earlier builds.
ours=("${names[@]}" huecl)
installed() { dpkg-query -W -f '${db:Status-Status}\n' "$1" 2>/dev/null | grep -qx installed; }
cupsd_pid=
finish() {
  [[ -z $cupsd_pid ]] || { kill "$cupsd_pid" 2>/dev/null; wait "$cupsd_pid" 2>/dev/null || true; }
  # Whatever failed, the packages go (the overlays vanish with the
  # namespace in any case).
  dpkg --purge --force-depends "${ours[@]}" >/dev/null 2>&1 || true
}
trap finish EXIT

# What the machine has of huecl already goes first, here only.
for name in "${ours[@]}"; do
  if dpkg-query -W "$name" >/dev/null 2>&1; then
    dpkg --purge --force-depends "$name" >dpkg-purge-first.log 2>&1 || fail "purging the machine's $name: $(cat dpkg-purge-first.log)"
  fi
done

# Every dependency is on the machine already (the build needs them), so
# dpkg installs the packages just as apt would, and refuses them if any
# dependency is missing.
dpkg -i "${debs[@]}" >dpkg-install.log 2>&1 || fail "dpkg -i: $(tail -20 dpkg-install.log)"
files=()
for name in "${names[@]}"; do
  installed "$name" || fail "$name is not installed: $(dpkg-query -s "$name" 2>&1)"
  dpkg -L "$name" >"installed-$name.txt"
  while read -r path; do [[ -d $path ]] || files+=("$path"); done <"installed-$name.txt"
  # Its copyright and changelog where Debian keeps them.
  [[ -f /usr/share/doc/$name/copyright && -f /usr/share/doc/$name/changelog.Debian.gz ]] ||
    fail "$name has no copyright or changelog in /usr/share/doc/$name"
done
cat installed-*.txt >installed.txt
filter=$(grep '/cups/filter/rastertohuecl$' installed-printer-driver-huecl.txt) || fail "no filter installed"
ppd=$(grep '/cups/model/huecl\.ppd$' installed-printer-driver-huecl.txt) || fail "no PPD installed"
tool=$(grep '/bin/huecl$' installed-huecl-tools.txt) || fail "no tool installed"
[[ $filter == $(cups-config --serverbin)/filter/rastertohuecl ]] || fail "the filter is not where CUPS looks: $filter"
[[ $ppd == $(cups-config --datadir)/model/huecl.ppd ]] || fail "the PPD is not where CUPS looks: $ppd"

# The ldconfig trigger ran: the filter and the tool find the library by its
# SONAME without a run path into a build folder.
ldconfig -p >ld-cache.txt
grep -q 'libhuecl32\.so\.0 ' ld-cache.txt || fail "ldconfig does not know libhuecl32.so.0"
ldd "$filter" >filter-ldd.txt && ! grep -q 'not found' filter-ldd.txt || fail "the filter's libraries: $(cat filter-ldd.txt)"
"$tool" --version >/dev/null || fail "the installed tool does not run"

# A user's program, built with pkg-config against the installed
# development files alone, and run.
flags=$(pkg-config --cflags --libs huecl32) || fail "pkg-config does not know huecl32"
# shellcheck disable=SC2086
cc -std=c99 -Wall -Werror -o consumer "$consumer" $flags 2>consumer.log || fail "building against the packages: $(cat consumer.log)"
./consumer >consumer.txt 2>&1 || fail "the program built against the packages: $(cat consumer.txt)"

# A private scheduler over the system's CUPS folders: only its socket,
# configuration, spool and logs are its own.
start_private_cupsd "$scratch"
chmod 755 "$scratch" out

lpinfo -m >models.txt 2>lpinfo.log || fail "lpinfo -m: $(cat lpinfo.log)"
grep -qx 'huecl.ppd huecl colour printer' models.txt || fail "lpinfo -m does not offer the driver: $(grep -i huecl models.txt)"

# A queue made from the offered model, and a document through it.
lpadmin -p huecl -E -v "file://$scratch/out/printed.hcr" -m huecl.ppd -o PageSize-default=A5 2>lpadmin.log ||
  fail "lpadmin: $(cat lpadmin.log)"
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile=document.pdf "$test_page"
job=$(lp -d huecl -o HueclHalftone=earlier-diffusion document.pdf | sed -n 's/^request id is \(huecl-[0-9]*\).*/\1/p')
[[ -n $job ]] || fail "lp gave no job"
for _ in $(seq 600); do
  lpstat -W not-completed -o huecl | grep -q "^$job " || break
  grep -q 'Job stopped' log/error_log && break
  sleep 0.1
done
lpstat -W completed -o huecl | grep -q "^$job " ||
  fail "$job did not complete: $(grep -E 'ERROR|rastertohuecl' log/error_log | tail -20)"
grep -q "\[Job ${job#huecl-}\] Started filter $filter" log/error_log || fail "the installed filter did not run"
"$tool" decode out/printed.hcr -o decoded --quiet >decoded.txt || fail "the printed file does not decode"
[[ $(grep -c '^page .*earlier engine, diffusion' decoded.txt) -eq 3 ]] || fail "not three diffused pages: $(cat decoded.txt)"
kill "$cupsd_pid"
wait "$cupsd_pid" 2>/dev/null || true
cupsd_pid=

# Removing the packages removes everything they installed.
dpkg --purge "${names[@]}" >dpkg-purge.log 2>&1 || fail "dpkg --purge: $(tail -20 dpkg-purge.log)"
for name in "${names[@]}"; do
  dpkg-query -W "$name" >/dev/null 2>&1 && fail "$name is still known to dpkg: $(dpkg-query -W -f '${Status}' "$name")"
done
left=()
for path in "${files[@]}"; do [[ ! -e $path && ! -L $path ]] || left+=("$path"); done
[[ ${#left[@]} -eq 0 ]] || fail "left after removal: ${left[*]}"
ldconfig -p >ld-cache.txt
grep -q 'libhuecl32' ld-cache.txt && fail "ldconfig still knows libhuecl32"
# Nor is anything else left under /usr: its overlay holds at most folders,
# and the marks (character devices) of files removed from the lower layer,
# as a purge leaves where the package had replaced a file that no package
# owned, such as a driver installed by hand.
stray=$(find "$scratch/upper/usr" ! -type d ! -type c)
[[ -z $stray ]] || fail "left under /usr: $stray"
echo "installed ${names[*]} (${#files[@]} files) with dpkg, built a program against them, lpinfo -m offered huecl.ppd, printed $job, purged without a trace"

#!/usr/bin/env bash
# Installs the Debian package as a user does (dpkg -i, which apt install
# ./huecl_*.deb runs once the dependencies are there), checks that a CUPS
# scheduler then offers the driver's PPD (lpinfo -m) and prints a document
# through the installed driver, and removes the package again (dpkg
# --purge), checking that nothing it installed is left.
#   system_install_test.sh PACKAGE_FOLDER TEST_PAGE.ps
# PACKAGE_FOLDER holds the one huecl_*.deb that package_test.sh built.
#
# The install is real: the system's dpkg, ldconfig and cupsd at the
# system's paths. Yet it happens in a private mount namespace in which
# /usr, /etc and /var are overlays whose changes live in a scratch folder,
# so that nothing else on the machine ever sees the package, not even
# while the test runs, and the machine is as before even when the test is
# killed. Needs root and mount namespaces; exits 77 (skipped) otherwise.
set -euo pipefail
test_page=$(realpath "$2")
deb=$(find "$(realpath "$1")" -maxdepth 1 -name 'huecl_*.deb' 2>/dev/null | head -1)

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }
. "$(dirname "$(realpath "$0")")/../support/private_cupsd.sh"

if [[ ${HUECL_IN_NAMESPACE:-} != 1 ]]; then
  [[ $(id -u) == 0 ]] || skip "installing the package needs root"
  [[ -f $deb ]] || fail "no package in $1"
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
cupsd_pid=
finish() {
  [[ -z $cupsd_pid ]] || { kill "$cupsd_pid" 2>/dev/null; wait "$cupsd_pid" 2>/dev/null || true; }
  # Whatever failed, the package goes (the overlays vanish with the
  # namespace in any case).
  if dpkg-query -W huecl >/dev/null 2>&1; then dpkg --purge huecl >/dev/null 2>&1 || true; fi
}
trap finish EXIT

if dpkg-query -W -f '${Status}' huecl 2>/dev/null | grep -q ' installed$'; then
  trap - EXIT # the machine's own install stays
  skip "huecl is installed on this machine already, so a fresh install cannot be seen"
fi
# Every dependency is on the machine already (the build needs them), so
# dpkg installs the package just as apt would, and refuses it if any
# dependency is missing.
dpkg -i "$deb" >dpkg-install.log 2>&1 || fail "dpkg -i: $(tail -20 dpkg-install.log)"
[[ $(dpkg-query -W -f '${Status}' huecl) == "install ok installed" ]] || fail "not installed: $(dpkg-query -s huecl)"
dpkg -L huecl >installed.txt
files=()
while read -r path; do [[ -d $path ]] || files+=("$path"); done <installed.txt
filter=$(grep '/cups/filter/rastertohuecl$' installed.txt) || fail "no filter installed"
ppd=$(grep '/cups/model/huecl\.ppd$' installed.txt) || fail "no PPD installed"
tool=$(grep '/bin/huecl$' installed.txt) || fail "no tool installed"
[[ $filter == $(cups-config --serverbin)/filter/rastertohuecl ]] || fail "the filter is not where CUPS looks: $filter"
[[ $ppd == $(cups-config --datadir)/model/huecl.ppd ]] || fail "the PPD is not where CUPS looks: $ppd"

# The ldconfig trigger ran: the filter and the tool find the library by its
# SONAME without a run path into a build folder.
ldconfig -p >ld-cache.txt
grep -q 'libhuecl32\.so\.0 ' ld-cache.txt || fail "ldconfig does not know libhuecl32.so.0"
ldd "$filter" >filter-ldd.txt && ! grep -q 'not found' filter-ldd.txt || fail "the filter's libraries: $(cat filter-ldd.txt)"
"$tool" --version >/dev/null || fail "the installed tool does not run"

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

# Removing the package removes everything it installed.
dpkg --purge huecl >dpkg-purge.log 2>&1 || fail "dpkg --purge: $(tail -20 dpkg-purge.log)"
dpkg-query -W huecl >/dev/null 2>&1 && fail "huecl is still known to dpkg: $(dpkg-query -W -f '${Status}' huecl)"
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
echo "installed ${#files[@]} files with dpkg, lpinfo -m offered huecl.ppd, printed $job, purged without a trace"

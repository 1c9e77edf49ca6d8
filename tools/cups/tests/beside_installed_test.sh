#!/usr/bin/env bash
# The driver's cases on a machine that has a driver of its own installed:
# a filter named rastertohuecl in CUPS's filter folder and a huecl.ppd in
# its model folder, as a hand install or the package leaves them. The
# cases must print through the build's filter, never the installed one,
# and leave both installed files as they were.
#   beside_installed_test.sh BUILD_FOLDER WORK_FOLDER CASE...
#
# The installed files are stand-ins, put into CUPS's folders inside a
# private mount namespace in which /usr is an overlay whose changes live in
# a scratch folder: nothing else on the machine sees them, and they vanish
# with the namespace. Needs root and mount namespaces; exits 77 (skipped)
# otherwise.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }

if [[ ${HUECL_IN_NAMESPACE:-} != 1 ]]; then
  [[ $(id -u) == 0 ]] || skip "an overlay over /usr needs root"
  command -v cups-config >/dev/null || skip "no cups-config"
  unshare --mount --propagation private true 2>/dev/null || skip "no private mount namespace (unshare --mount)"
  scratch=$(mktemp -d /tmp/huecl-beside-installed.XXXXXX)
  trap 'rm -rf "$scratch"' EXIT
  status=0
  HUECL_IN_NAMESPACE=1 HUECL_SCRATCH=$scratch unshare --mount --propagation private "$BASH" "$0" "$@" || status=$?
  exit $status
fi

# ---- Inside the namespace --------------------------------------------------
build=$1 work=$2
shift 2
mkdir -p "$HUECL_SCRATCH/upper" "$HUECL_SCRATCH/work"
mount -t overlay overlay -o "lowerdir=/usr,upperdir=$HUECL_SCRATCH/upper,workdir=$HUECL_SCRATCH/work" /usr ||
  skip "cannot lay an overlay over /usr"

filter=$(cups-config --serverbin)/filter/rastertohuecl
model=$(cups-config --datadir)/model/huecl.ppd
mkdir -p "$(dirname "$filter")" "$(dirname "$model")"
# A filter that says so when it runs, and a PPD that no printer could use.
printf '#!/bin/sh\necho "ERROR: the installed stand-in filter ran" >&2\nexit 1\n' >"$filter"
chmod 755 "$filter"
echo "*% the installed stand-in of huecl.ppd" >"$model"
before=$(sha256sum "$filter" "$model")

for case_name in "$@"; do
  echo "=== $case_name beside an installed driver"
  bash "$here/driver_test.sh" "$case_name" "$build" "$work" || fail "$case_name failed beside an installed driver"
done

[[ -f $filter && ! -L $filter && -f $model && ! -L $model ]] || fail "the installed driver's files were replaced"
[[ $(sha256sum "$filter" "$model") == "$before" ]] || fail "the installed driver's files were changed"
echo "the cases printed through the build's filter and left the installed driver as it was"

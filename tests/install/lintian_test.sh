#!/usr/bin/env bash
# Runs Debian's package checker over every package build_packages.sh made:
# no error, and no warning that the package does not override with a
# reason. Every override in cmake/install/debian/ has a comment line of its
# own above it, the reason, and matches a tag lintian still finds (lintian
# tells an override that no longer applies as unused-override, or as
# mismatched-override when the tag moved).
#   lintian_test.sh PACKAGE_DIR OVERRIDES_DIR
set -euo pipefail
packages=$(realpath "$1") overrides=$2
fail() { echo "FAILED: $*" >&2; exit 1; }
command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps)"

for file in "$overrides"/*.lintian-overrides; do
  [[ -e $file ]] || continue
  previous=
  while IFS= read -r line; do
    if [[ -n $line && $line != \#* && $previous != \#* && $previous != "$line" && ${previous%% *} != "${line%% *}" ]]; then
      fail "$(basename "$file"): '$line' has no reason on the line above it"
    fi
    [[ -z $line ]] || previous=$line
  done <"$file"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/huecl-lintian.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Info tags too, for the ones about overrides; lintian itself fails on
# errors and warnings.
status=0
lintian --display-info --fail-on error,warning "$packages"/*.deb >"$work/lintian.txt" 2>"$work/lintian.log" || status=$?
grep -E '^[EW]: ' "$work/lintian.txt" >&2 && fail "lintian found errors or warnings (above)"
[[ $status == 0 ]] || fail "lintian exited with $status: $(cat "$work/lintian.log")"
grep -E '^I: [^ ]+ (unused-override|mismatched-override) ' "$work/lintian.txt" >&2 && fail "overrides that no longer apply (above)"
echo "lintian: no error, no warning in $(cd "$packages" && echo *.deb); $(grep -c '^I: ' "$work/lintian.txt" || true) notes"
grep '^I: ' "$work/lintian.txt" || true

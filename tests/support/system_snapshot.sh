#!/usr/bin/env bash
# Lists what lies in the system's CUPS folders, the filters and the PPD
# models (and any further FOLDER named), entry by entry: type, link target,
# mode, size, modification time and, for a file, its SHA-256. A test takes
# one listing before and compares after, and so shows that it changed
# nothing outside its own temporary folders.
#   system_snapshot.sh LISTING [FOLDER...]            writes the listing
#   system_snapshot.sh --compare LISTING [FOLDER...]  fails naming any change
# Only reads: a folder that does not exist is listed as missing.
set -euo pipefail

compare=0
if [[ ${1:-} == --compare ]]; then
  compare=1
  shift
fi
listing=${1:?usage: system_snapshot.sh [--compare] LISTING [FOLDER...]}
shift
server_bin=$(cups-config --serverbin 2>/dev/null || echo /usr/lib/cups)
data_dir=$(cups-config --datadir 2>/dev/null || echo /usr/share/cups)
folders=("$server_bin/filter" "$data_dir/model" "$@")

snapshot() {
  local folder entry
  for folder in "${folders[@]}"; do
    if [[ ! -d $folder ]]; then
      echo "$folder missing"
      continue
    fi
    # The folder's own time changes with any entry made and removed again.
    stat -c '%n %F %a %Y' "$folder"
    find "$folder" -mindepth 1 -maxdepth 1 -printf '%p %y %l %m %s %T@\n' | sort
    find "$folder" -mindepth 1 -maxdepth 1 -type f -print0 | sort -z | xargs -0r sha256sum
  done
}

if [[ $compare == 0 ]]; then
  mkdir -p "$(dirname "$listing")"
  snapshot >"$listing"
  exit 0
fi
[[ -f $listing ]] || { echo "FAILED: no listing $listing to compare with" >&2; exit 1; }
if ! snapshot | diff "$listing" - >"$listing.diff"; then
  echo "FAILED: the system's folders changed:" >&2
  cat "$listing.diff" >&2
  exit 1
fi
echo "unchanged: ${folders[*]}"

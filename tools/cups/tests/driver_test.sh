#!/usr/bin/env bash
# The driver end to end through the real CUPS, one case per CTest:
#   driver_test.sh CASE BUILD_FOLDER WORK_FOLDER
# BUILD_FOLDER holds rastertohuecl, huecl and ppd/huecl.ppd. Every case
# starts what it needs on private files and sockets, and stops it again.
set -euo pipefail

case_name=$1
build=$(cd "$2" && pwd)
work=$3/$case_name
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../../tests/support/private_cupsd.sh"
ppd=$build/ppd/huecl.ppd
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# Built with the sanitizers (the asan preset), the filter and the tool
# write whatever the sanitizers find to sanitizer.* here, however they are
# run: directly, or as children of cupsfilter. A report fails the case even
# where the filter was meant to fail, whose exit status alone (1, as for a
# refused stream) would not tell the two apart.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}log_path=$work/sanitizer"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}log_path=$work/sanitizer"
sanitizer_reports() {
  if compgen -G "$work/sanitizer*" >/dev/null; then
    echo "FAILED: the sanitizers reported:" >&2
    cat "$work"/sanitizer* >&2
    exit 1
  fi
}
trap sanitizer_reports EXIT

# The three-page A5 document: a full page, a blank one, one of black text.
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile=document.pdf "$here/test_page.ps"

# A ServerBin of the test's own: links to the system's filters, backends
# and helpers, and the build's filter beside them. A rastertohuecl or
# libhuecl32 that the system has (installed by hand or from the package) is
# left out, so that the build's own is the one that runs and nothing is
# ever written through a link into the system's folders. A scheduler runs
# filters as its own user, who may not reach the build folder: "copy" puts
# the filter and its library in.
system_server_bin=$(cups-config --serverbin 2>/dev/null || echo /usr/lib/cups)
make_server_bin() {
  local bin=$1 how=${2:-link} entry
  mkdir -p "$bin/filter"
  for entry in "$system_server_bin"/*; do
    [[ $(basename "$entry") == filter ]] || ln -s "$entry" "$bin/"
  done
  for entry in "$system_server_bin"/filter/*; do
    case $(basename "$entry") in
    rastertohuecl | libhuecl32.so*) ;;
    *) ln -s "$entry" "$bin/filter/" ;;
    esac
  done
  if [[ $how == copy ]]; then
    # The library under its SONAME too, where the filter's run path
    # ($ORIGIN) leads.
    cp "$build/rastertohuecl" "$build"/libhuecl32.so.* "$bin/filter/"
  else
    ln -s "$build/rastertohuecl" "$bin/filter/rastertohuecl"
  fi
  # The filter that runs is the build's, whatever the system has.
  [[ $(readlink -f "$bin/filter/rastertohuecl") != "$system_server_bin"/* ]] ||
    fail "the test's ServerBin leads to the system's filter"
}

# The number of dots that carry ink in a decoded plane (PBM, or PGM whose
# largest value is paper).
inked_bytes() {
  local magic dimensions maxval
  {
    read -r magic
    read -r dimensions
    if [[ $magic == P4 ]]; then
      tr -d '\000'
    else
      read -r maxval
      tr -d "\\$(printf '%03o' "$maxval")"
    fi | wc -c
  } <"$1"
}

# Decodes a file of page containers and checks the ink of the document:
# page 1 on every plane, page 2 on none, page 3 (black text) on black.
check_document() {
  local raster=$1 planes=$2 name=$3
  "$build/huecl" decode "$raster" -o "$name" --planes --quiet >"$name.txt"
  [[ $(grep -c '^page ' "$name.txt") -eq 3 ]] || fail "$name: not three pages: $(cat "$name.txt")"
  # Planes of one bit per dot are PBM files, deeper ones PGM.
  local format=pgm
  grep -q ' of 1 bit per dot' "$name.txt" && format=pbm
  for plane in $planes; do
    for page in 1 2 3; do
      [[ -f $name/page-$page-plane-$plane.$format ]] || fail "$name: no page $page plane $plane"
    done
    [[ $(inked_bytes "$name/page-1-plane-$plane.$format") -gt 1000 ]] || fail "$name: page 1 has no $plane ink"
    [[ $(inked_bytes "$name/page-2-plane-$plane.$format") -eq 0 ]] || fail "$name: the blank page has $plane ink"
  done
  [[ $(inked_bytes "$name/page-3-plane-k.$format") -gt 100 ]] || fail "$name: the text page has no black ink"
}

case $case_name in
ppd)
  # Checked as installed: the filter where the PPD expects it.
  mkdir -p root/usr/lib/cups/filter
  ln -s "$build/rastertohuecl" root/usr/lib/cups/filter/rastertohuecl
  # The papers' profiles are Ghostscript's, where it is installed.
  ignore=()
  for profile in $(sed -n 's/^\*cupsICCProfile [^"]*"\(.*\)"$/\1/p' "$ppd"); do
    if [[ -f $profile ]]; then
      mkdir -p "root$(dirname "$profile")"
      ln -sf "$profile" "root$profile"
    else
      ignore=(-I profiles)
    fi
  done
  cupstestppd "${ignore[@]}" -R "$PWD/root" "$ppd" >cupstestppd.txt 2>&1 || fail "cupstestppd: $(cat cupstestppd.txt)"
  ;;
filter_chain)
  make_server_bin server-bin
  echo "ServerBin $PWD/server-bin" >cups-files.conf
  filter() {
    cupsfilter -c cups-files.conf -p "$ppd" -e -m printer/huecl -o PageSize=A5 -o Resolution=300dpi "$@" \
      document.pdf >"$name.hcr" 2>"$name.log" || fail "$name: cupsfilter failed: $(grep -v DEBUG "$name.log")"
    grep -q 'rastertohuecl.*exited with no errors' "$name.log" || fail "$name: the filter did not run"
  }
  name=colour filter -o ColorModel=CMYK
  check_document colour.hcr "c m y k" colour
  if [[ -f /usr/share/color/icc/ghostscript/default_cmyk.icc ]]; then
    grep -q 'colour table: profile default_cmyk.icc' colour.log || fail "the default profile was not used"
    # Each page's container names the profile its colour table came from.
    [[ $(grep -ao /usr/share/color/icc/ghostscript/default_cmyk.icc colour.hcr | wc -l) -eq 3 ]] ||
      fail "the pages do not record the default profile"
  fi
  # Each page records its sheet, A5, and where the imageable area lies on
  # it; the preview shows the whole sheet, the margins as paper.
  grep -q '^page 1: .* 1650 x 2379 dots (sheet 148.2 x 209.9 mm, printed 139.7 x 201.4 mm at 4.2, 4.2 mm)' colour.txt ||
    fail "the sheet is not recorded: $(head -1 colour.txt)"
  # At the box of 3 dots that keeps it within a megapixel: 1750 x 2479 dots.
  [[ $(od --endian=big -An -tu4 -j16 -N8 colour/page-1-preview.png | tr -s ' ') == " 583 826" ]] ||
    fail "the preview is not the sheet: $(od --endian=big -An -tu4 -j16 -N8 colour/page-1-preview.png)"
  name=grey filter -o ColorModel=Gray -o HueclHalftone=4bit
  check_document grey.hcr k grey
  grep -q '1 plane of 4 bits per dot' grey.txt || fail "grey: $(cat grey.txt)"
  name=separated filter -o ColorModel=DeviceCMYK -o HueclColorTable=Model
  check_document separated.hcr "c m y k" separated
  grep -q 'colour table: none (CMYK from the renderer)' separated.log || fail "separated: matched after all"
  # The earlier colour engine: diffused from sRGB, screened from the
  # renderer's CMYK.
  name=earlier filter -o ColorModel=CMYK -o HueclHalftone=earlier-diffusion
  check_document earlier.hcr "c m y k" earlier
  grep -q 'earlier engine' earlier.txt || fail "earlier: $(cat earlier.txt)"
  name=earlier-separated filter -o ColorModel=DeviceCMYK -o HueclHalftone=earlier-1bit
  check_document earlier-separated.hcr "c m y k" earlier-separated
  # Print quality: IPP's print-quality names the preset; Photo's resolution
  # wins over the Resolution option's, and glossy paper brings its profile.
  name=draft filter -o ColorModel=CMYK -o print-quality=3
  check_document draft.hcr "c m y k" draft
  grep -q '1650 x 2379 dots.*4 planes of 1 bit per dot' draft.txt || fail "draft: $(head -1 draft.txt)"
  name=photo filter -o ColorModel=CMYK -o cupsPrintQuality=Photo -o MediaType=Glossy -o HueclColorTable=Model
  check_document photo.hcr "c m y k" photo
  grep -q '3300 x 4758 dots.*4 planes of 4 bits per dot' photo.txt || fail "photo: $(head -1 photo.txt)"
  grep -q 'colour table: built-in model' photo.log || fail "the job's own table choice lost to the paper's"
  name=glossy filter -o ColorModel=CMYK -o MediaType=Glossy
  if [[ -f /usr/share/color/icc/ghostscript/default_cmyk.icc ]]; then
    grep -q 'colour table: profile default_cmyk.icc' glossy.log || fail "glossy paper did not bring its profile"
  else
    grep -q 'WARNING: the colour profile .* is not installed' glossy.log || fail "no warning for a missing profile"
  fi
  # A value the driver does not know is named, with the one used instead.
  name=unknown filter -o ColorModel=Gray -o HueclHalftone=nonsense -o Resolution=7dpi
  grep -q 'WARNING: HueclHalftone=nonsense is not a choice of the driver; printing with Auto' unknown.log ||
    fail "no warning for an unknown halftone: $(grep -v DEBUG unknown.log)"
  ;;
same_as_tool)
  # The driver and `huecl print` are one road: page 1 through CUPS's chain
  # gives the same container as the tool given the renderer's pixels of
  # that page with the same choices. The raster is uncompressed (sync word,
  # 1796-byte header whose width and height sit at 376 and 380 in the file,
  # rows), so its
  # rows are the body of a PPM, or of a PGM for grey.
  make_server_bin server-bin
  echo "ServerBin $PWD/server-bin" >cups-files.conf
  default_profile=/usr/share/color/icc/ghostscript/default_cmyk.icc
  compare() { # NAME COLOUR_MODEL HALFTONE [huecl print options]
    local name=$1 model=$2 halftone=$3 magic=P6 options
    shift 3
    options=(-o PageSize=A5 -o Resolution=300dpi -o page-ranges=1 -o ColorModel=$model -o HueclHalftone=$halftone)
    cupsfilter -c cups-files.conf -p "$ppd" -m application/vnd.cups-raster "${options[@]}" document.pdf \
      >$name.ras 2>$name-raster.log || fail "$name: no raster: $(grep -v DEBUG $name-raster.log)"
    cupsfilter -c cups-files.conf -p "$ppd" -e -m printer/huecl "${options[@]}" document.pdf \
      >$name.hcr 2>$name.log || fail "$name: cupsfilter failed: $(grep -v DEBUG $name.log)"
    [[ $(head -c 4 $name.ras) == 3SaR ]] || fail "$name: not an uncompressed little-endian raster"
    read -r width height < <(od -An -tu4 -j376 -N8 $name.ras)
    [[ $model != Gray ]] || magic=P5
    { printf '%s\n%s %s\n255\n' $magic "$width" "$height"; tail -c +1801 $name.ras; } >$name.pnm
    # The renderer's pixels are the imageable area of CUPS's A5 (420 x 595
    # points) inside the PPD's margins of 12 points: on the same sheet, the
    # tool records the same sheet.
    "$build/huecl" print $name.pnm -o $name-printed --quiet --source-dpi 300 --device-dpi 300 \
      --page 420x595pt --margins 4.233 "$@" >/dev/null || fail "$name: huecl print failed"
    cmp -s $name.hcr $name-printed/page.hcr || fail "$name: the driver and huecl print wrote different pages"
  }
  profile=()
  [[ ! -f $default_profile ]] || profile=(--profile $default_profile)
  compare later CMYK 2bit "${profile[@]}"
  compare earlier-screen CMYK earlier-1bit --engine earlier "${profile[@]}"
  compare earlier-diffusion CMYK earlier-diffusion --engine earlier --diffusion "${profile[@]}"
  compare grey-diffusion Gray earlier-diffusion --engine earlier --diffusion --black-only
  ;;
broken_input)
  # A real raster stream from CUPS's own renderer, then cut and spoilt.
  make_server_bin server-bin
  echo "ServerBin $PWD/server-bin" >cups-files.conf
  cupsfilter -c cups-files.conf -p "$ppd" -m application/vnd.cups-raster -o PageSize=A5 -o ColorModel=Gray \
    document.pdf >document.ras 2>cupsfilter.log || fail "no raster: $(grep -v DEBUG cupsfilter.log)"
  size=$(stat -c %s document.ras)
  "$build/rastertohuecl" 1 user title 1 "" document.ras >whole.hcr 2>whole.log || fail "whole stream: $(cat whole.log)"
  grep -q '^PAGE: 3 1$' whole.log || fail "whole stream: $(cat whole.log)"
  head -c 3 document.ras >sync-only.ras
  head -c 2000 /dev/urandom >noise.ras
  : >empty.ras
  printf 'RaS2' >no-page.ras
  for cut in 100 1900 $((size / 3)) $((size / 2)) $((size - 10)); do
    head -c $cut document.ras >cut-$cut.ras
  done
  # Cut inside the second page's header (an uncompressed stream: the sync
  # word, a 1796-byte header whose height and bytes per line sit at 380 and
  # 396 in the file, then the rows), and exactly after the first page, which is a
  # finished one-page job.
  [[ $(head -c 4 document.ras) == 3SaR ]] || fail "not an uncompressed little-endian raster"
  read -r rows < <(od -An -tu4 -j380 -N4 document.ras)
  read -r line_bytes < <(od -An -tu4 -j396 -N4 document.ras)
  second=$((4 + 1796 + rows * line_bytes))
  for cut in 1 2 900 1795; do
    head -c $((second + cut)) document.ras >header-cut-$cut.ras
  done
  head -c $second document.ras >one-page.ras
  "$build/rastertohuecl" 1 user title 1 "" one-page.ras >one-page.hcr 2>one-page.log ||
    fail "the first page alone: $(cat one-page.log)"
  grep -q '^PAGE: 1 1$' one-page.log && ! grep -q '^PAGE: 2' one-page.log || fail "the first page alone: $(cat one-page.log)"
  for file in sync-only.ras noise.ras empty.ras no-page.ras cut-*.ras header-cut-*.ras; do
    broken=${file%.ras}
    status=0
    "$build/rastertohuecl" 1 user title 1 "" $broken.ras >$broken.hcr 2>$broken.log || status=$?
    [[ $status -eq 1 ]] || fail "$broken: exit status $status"
    grep -q '^ERROR: ' $broken.log || fail "$broken: no ERROR line: $(cat $broken.log)"
  done
  for cut in 1 2 900 1795; do
    broken=header-cut-$cut
    grep -qx 'ERROR: page 2: the raster stream ends inside the page header' $broken.log || fail "$broken: $(cat $broken.log)"
  done
  # A cut stream leaves the device the whole pages before the cut, each as
  # the whole stream wrote it, and nothing of the page it cut: the output
  # ends after a trailer and decodes to exactly those pages.
  page_bytes=$((1796 + rows * line_bytes))
  for file in cut-*.ras header-cut-*.ras; do
    broken=${file%.ras}
    whole_pages=$((($(stat -c %s $file) - 4) / page_bytes))
    written=$(stat -c %s $broken.hcr)
    cmp -s -n "$written" $broken.hcr whole.hcr || fail "$broken: the output is not the whole job's start"
    if [[ $whole_pages -eq 0 ]]; then
      [[ $written -eq 0 ]] || fail "$broken: $written bytes written before the first page was whole"
      continue
    fi
    "$build/huecl" decode $broken.hcr -o $broken-decoded --quiet >$broken-decoded.log 2>&1 ||
      fail "$broken: the pages before the cut do not decode: $(cat $broken-decoded.log)"
    [[ $(grep -c 'bands, ' $broken-decoded.log) -eq $whole_pages ]] ||
      fail "$broken: wanted $whole_pages pages: $(cat $broken-decoded.log)"
  done
  # Standard input cannot be read twice to name the pages, so huecl decode
  # refuses a document there and leaves nothing behind.
  status=0
  "$build/huecl" decode - -o from-stdin --quiet <whole.hcr >/dev/null 2>decode-stdin.log || status=$?
  [[ $status -eq 1 ]] && grep -q 'standard input holds more than one page' decode-stdin.log ||
    fail "decode from standard input: $(cat decode-stdin.log)"
  [[ ! -e from-stdin ]] || fail "decode from standard input left $(ls from-stdin)"
  # The filter through standard input, and called wrongly.
  status=0
  "$build/rastertohuecl" 1 user title 1 "" <cut-$((size / 2)).ras >/dev/null 2>stdin.log || status=$?
  [[ $status -eq 1 ]] && grep -q '^ERROR: page .*: the raster stream ends after' stdin.log || fail "stdin: $(cat stdin.log)"
  status=0
  "$build/rastertohuecl" 1 user title >/dev/null 2>usage.log || status=$?
  [[ $status -eq 1 ]] && grep -q '^Usage: rastertohuecl job user title copies options \[file\]$' usage.log ||
    fail "usage: $(cat usage.log)"
  ;;
cancel)
  # A job cancelled as the scheduler cancels one: SIGTERM while the filter
  # waits inside page 3 for the renderer, which has sent pages 1 and 2 and
  # half of page 3 and then stalls (the pipe stays open). The filter stops
  # there, drops page 3, ends its output after page 2 and exits 0.
  make_server_bin server-bin
  echo "ServerBin $PWD/server-bin" >cups-files.conf
  cupsfilter -c cups-files.conf -p "$ppd" -m application/vnd.cups-raster -o PageSize=A5 -o ColorModel=Gray \
    document.pdf >document.ras 2>cupsfilter.log || fail "no raster: $(grep -v DEBUG cupsfilter.log)"
  [[ $(head -c 4 document.ras) == 3SaR ]] || fail "not an uncompressed little-endian raster"
  read -r rows < <(od -An -tu4 -j380 -N4 document.ras)
  read -r line_bytes < <(od -An -tu4 -j396 -N4 document.ras)
  page_bytes=$((1796 + rows * line_bytes))
  "$build/rastertohuecl" 1 user title 1 "" document.ras >whole.hcr 2>whole.log || fail "whole stream: $(cat whole.log)"
  mkfifo renderer
  "$build/rastertohuecl" 1 user title 1 "" <renderer >cancelled.hcr 2>cancelled.log &
  filter=$!
  exec 3>renderer
  head -c $((4 + 2 * page_bytes + page_bytes / 2)) document.ras >&3
  for _ in $(seq 600); do
    grep -q '^INFO: Printing page 3' cancelled.log && break
    kill -0 $filter 2>/dev/null || break
    sleep 0.1
  done
  grep -q '^INFO: Printing page 3' cancelled.log || fail "the filter never reached page 3: $(cat cancelled.log)"
  kill -TERM $filter
  # It must end by itself, with the renderer's pipe still open.
  for _ in $(seq 300); do
    kill -0 $filter 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 $filter 2>/dev/null; then
    kill -KILL $filter
    fail "the filter did not stop after SIGTERM: $(cat cancelled.log)"
  fi
  status=0
  wait $filter || status=$?
  exec 3>&-
  [[ $status -eq 0 ]] || fail "a cancelled job exited with $status: $(cat cancelled.log)"
  grep -qx 'INFO: Job cancelled after 2 pages' cancelled.log || fail "no cancel line: $(cat cancelled.log)"
  ! grep -q '^ERROR:' cancelled.log || fail "a cancel is no error: $(cat cancelled.log)"
  ! grep -q '^PAGE: 3' cancelled.log || fail "page 3 was counted: $(cat cancelled.log)"
  # Exactly the first two pages of the whole job, and they decode cleanly.
  written=$(stat -c %s cancelled.hcr)
  [[ $written -gt 0 ]] && cmp -s -n "$written" cancelled.hcr whole.hcr || fail "the output is not the job's start"
  "$build/huecl" decode cancelled.hcr -o decoded --quiet >decoded.log 2>&1 || fail "decode: $(cat decoded.log)"
  [[ $(grep -c 'bands, ' decoded.log) -eq 2 ]] || fail "wanted 2 pages: $(cat decoded.log)"
  # Cancelled between pages, before the next header arrives: the pages so
  # far are the job.
  "$build/rastertohuecl" 1 user title 1 "" <renderer >between.hcr 2>between.log &
  filter=$!
  exec 3>renderer
  head -c $((4 + page_bytes)) document.ras >&3
  for _ in $(seq 600); do
    grep -q '^PAGE: 1 1' between.log && break
    kill -0 $filter 2>/dev/null || break
    sleep 0.1
  done
  kill -TERM $filter
  status=0
  wait $filter || status=$?
  exec 3>&-
  [[ $status -eq 0 ]] && grep -qx 'INFO: Job cancelled after 1 page' between.log ||
    fail "cancelled between pages: status $status: $(cat between.log)"
  cmp -s -n "$(stat -c %s between.hcr)" between.hcr whole.hcr || fail "between pages: not the job's start"
  ;;
scheduler)
  # A private scheduler: its own configuration, socket, spool and logs.
  # It runs filters as its default user, so that user must reach the build.
  root=$(mktemp -d /tmp/huecl-cupsd.XXXXXX)
  chmod 755 "$root"
  cupsd_pid=
  stop() {
    [[ -z $cupsd_pid ]] || { kill "$cupsd_pid" 2>/dev/null; wait "$cupsd_pid" 2>/dev/null || true; }
    rm -rf "$root"
  }
  trap stop EXIT
  make_server_bin "$root/bin" copy
  start_private_cupsd "$root" "$root/bin"
  lpadmin -p huecl -E -v "file://$root/out/printed.hcr" -P "$ppd" -o PageSize-default=A5 2>lpadmin.log ||
    fail "lpadmin: $(cat lpadmin.log)"
  job=$(lp -d huecl -o ColorModel=CMYK document.pdf | sed -n 's/^request id is \(huecl-[0-9]*\).*/\1/p')
  [[ -n $job ]] || fail "lp gave no job"
  # Until it completes, or a failed filter stops it.
  for _ in $(seq 600); do
    lpstat -W not-completed -o huecl | grep -q "^$job " || break
    grep -q 'Job stopped' "$root/log/error_log" && break
    sleep 0.1
  done
  lpstat -W completed -o huecl | grep -q "^$job " ||
    fail "$job did not complete: $(lpstat -l -o huecl; lpstat -p huecl; grep -E 'ERROR|rastertohuecl' "$root/log/error_log" | tail -20)"
  grep -q 'PAGE: 3 1' "$root/log/error_log" || fail "the scheduler saw no third page"
  check_document "$root/out/printed.hcr" "c m y k" scheduled
  # A job cancelled as a user cancels one: the scheduler stops the filter
  # once a page has gone out, and the device then holds whole pages that
  # decode cleanly, however far the filter got.
  job=$(lp -d huecl -n 20 -o Resolution=600dpi document.pdf | sed -n 's/^request id is \(huecl-[0-9]*\).*/\1/p')
  [[ -n $job ]] || fail "lp gave no job to cancel"
  id=${job##*-}
  for _ in $(seq 600); do
    grep -q "\[Job $id\] PAGE: 1 1" "$root/log/error_log" && break
    sleep 0.1
  done
  grep -q "\[Job $id\] PAGE: 1 1" "$root/log/error_log" || fail "$job printed no page: $(lpstat -l -o huecl)"
  cancel "$job" || fail "cancel $job failed"
  for _ in $(seq 300); do
    lpstat -W not-completed -o huecl | grep -q "^$job " || break
    sleep 0.1
  done
  ! lpstat -W not-completed -o huecl | grep -q "^$job " || fail "$job did not end after cancel"
  # The filter heard the cancel and ended its output itself.
  grep -q "\[Job $id\].*Job cancelled after" "$root/log/error_log" ||
    fail "the filter did not end the cancelled job: $(grep "\[Job $id\]" "$root/log/error_log" | grep -v 'DEBUG: ' | tail -15)"
  pages=$(grep -c "\[Job $id\] PAGE: " "$root/log/error_log")
  ((pages < 60)) || fail "the cancel came after the whole job"
  "$build/huecl" decode "$root/out/printed.hcr" -o cancelled --quiet >cancelled.log 2>&1 ||
    fail "the cancelled job's output does not decode: $(cat cancelled.log)"
  decoded=$(grep -c 'bands, ' cancelled.log)
  ((decoded >= 1 && decoded <= pages)) || fail "decoded $decoded pages of $pages begun: $(cat cancelled.log)"
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
echo "passed: $case_name"

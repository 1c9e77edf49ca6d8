#!/usr/bin/env bash
# The printer application end to end, one case per CTest:
#   app_test.sh CASE BUILD_FOLDER WORK_FOLDER
# BUILD_FOLDER holds huecl-printer-app, huecl and rastertohuecl. Each case
# starts its own server on 127.0.0.1 and a free port, with its state file,
# spool, socket and temporary files under WORK_FOLDER/CASE, and stops it
# again; nothing else on the machine is touched.
set -euo pipefail

case_name=$1
build=$(cd "$2" && pwd)
work=$3/$case_name
here=$(cd "$(dirname "$0")" && pwd)
app=$build/huecl-printer-app
huecl=$build/huecl
filter=$build/rastertohuecl
test_page_ps=$here/../../tools/cups/tests/test_page.ps

rm -rf "$work"
mkdir -p "$work/tmp" "$work/out"
cd "$work"
export HUECL_PRINTER_APP_STATE_FILE=$work/state
export HUECL_PRINTER_APP_SPOOL_DIRECTORY=$work/spool
export HUECL_PRINTER_APP_SOCKET_DIRECTORY=$work
export TMPDIR=$work/tmp

server_pid=
fail() {
  echo "FAILED: $*" >&2
  [[ ! -f log ]] || { echo "--- server log (errors and job lines):" >&2; grep -E '^[EW] |\[Job' log | grep -v '^D ' | tail -40 >&2; }
  exit 1
}
stop_server() {
  [[ -n $server_pid ]] || return 0
  "$app" shutdown >/dev/null 2>&1 || kill "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
  server_pid=
}
trap stop_server EXIT

# A port nothing on 127.0.0.1 listens on.
free_port() {
  local port
  for _ in $(seq 200); do
    port=$((20000 + RANDOM % 40000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
  done
  fail "no free port"
}

# start_server [SERVER OPTIONS]: on 127.0.0.1 alone, DNS-SD off, logging
# everything to ./log; waits until the server answers on its port.
start_server() {
  port=$(free_port)
  "$app" server -o server-name=127.0.0.1 -o server-port="$port" -o log-file="$work/log" -o log-level=debug \
    -o dnssd=off "$@" >server.out 2>&1 &
  server_pid=$!
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && "$app" status >/dev/null 2>&1 && return 0
    kill -0 "$server_pid" 2>/dev/null || fail "the server did not start: $(cat server.out)"
    sleep 0.1
  done
  fail "the server does not answer on port $port"
}

printer_uri() { echo "ipp://127.0.0.1:$port/ipp/print/$1"; }

# add_printer NAME DRIVER DEVICE-PATH [OPTIONS]
add_printer() {
  local name=$1 driver=$2 path=$3
  shift 3
  "$app" add -d "$name" -m "$driver" -v "file://$path" "$@" >add.out 2>&1 || fail "add $name: $(cat add.out)"
}

# submit PRINTER FILE [OPTIONS]: prints the new job's id.
submit() {
  local printer=$1 file=$2 job
  shift 2
  job=$("$app" submit -d "$printer" "$@" "$file" 2>submit.err) || fail "submit $file: $(cat submit.err)"
  echo "${job##*-}"
}

# job_attribute PRINTER JOB NAME: one attribute of a job, as ipptool shows it.
job_attribute() {
  ipptool -tv -d job_id="$2" "$(printer_uri "$1")" "$here/job_attributes.test" 2>/dev/null |
    sed -n "s/^        $3 ([^)]*) = //p" | head -1
}

# wait_job PRINTER JOB [SECONDS]: until the job has ended; prints its state.
wait_job() {
  local state
  for _ in $(seq $((${3:-120} * 10))); do
    state=$(job_attribute "$1" "$2" job-state)
    case $state in canceled | aborted | completed) echo "$state" && return 0 ;; esac
    sleep 0.1
  done
  fail "job $2 did not end: $(job_attribute "$1" "$2" job-state) $(job_attribute "$1" "$2" job-state-message)"
}

# expect_job PRINTER JOB STATE: waits for the job and checks how it ended.
expect_job() {
  local state
  state=$(wait_job "$1" "$2")
  [[ $state == "$3" ]] ||
    fail "job $2 is $state, not $3: $(job_attribute "$1" "$2" job-state-reasons): $(job_attribute "$1" "$2" job-state-message)"
}

# decode FILE NAME: the page lines of huecl decode, into NAME.txt.
decode() {
  "$huecl" decode "$1" -o "$2" --quiet >"$2.txt" 2>"$2.err" || fail "$1 does not decode: $(cat "$2.err")"
}
pages_in() { grep -c '^page \|^[0-9]* bands' "$1.txt"; }

# The three-page A5 test document as PDF, and its pages as PWG raster in
# each colour space the printer takes (sGray, sRGB, CMYK) at 300 dpi.
make_documents() {
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile=document.pdf "$test_page_ps"
  local space
  for space in srgb:19 sgray:18 cmyk:6; do
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pwgraster -dcupsColorSpace="${space#*:}" -dcupsBitsPerColor=8 -r300 \
      -sOutputFile="document-${space%:*}.pwg" document.pdf 2>/dev/null
  done
}

# The IPP test files and the documents ipp-1.1.test and ipp-2.0.test name:
# Debian ships the tests without their documents, so the A4 and Letter
# documents and the JPEG photos are rendered from the test page here.
make_ipp_test_folder() {
  cp /usr/share/cups/ipptool/ipp-1.1.test /usr/share/cups/ipptool/ipp-2.0.test \
    /usr/share/cups/ipptool/ipp-everywhere.test .
  local size device
  for size in a4 letter; do
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sPAPERSIZE=$size -dFIXEDMEDIA -dPSFitPage \
      -sOutputFile=document-$size.pdf "$test_page_ps"
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=ps2write -sPAPERSIZE=$size -dFIXEDMEDIA -dPSFitPage \
      -sOutputFile=document-$size.ps "$test_page_ps"
  done
  for device in jpeg:color jpeggray:gray; do
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE="${device%:*}" -r100 -dDEVICEWIDTHPOINTS=288 -dDEVICEHEIGHTPOINTS=432 \
      -dFIXEDMEDIA -dPDFFitPage -dFirstPage=1 -dLastPage=1 -sOutputFile="${device#*:}.jpg" document-a4.pdf
  done
}

# The PWG raster samples ipp-everywhere.test prints, each once plain, once
# deflated and once gzipped: photo-like and document-like pages for each
# colour space and resolution the printer advertises, and no others (their
# tests are skipped). Each sample is a Ghostscript run of its own, two at a
# time.
make_pwg_samples() {
  local resolution type name space folder sample pages
  local -a runs=()
  for resolution in 300 600; do
    for type in srgb-8:19 sgray-8:18 cmyk-8:6; do
      name=${type%:*} space=${type#*:} folder=pwg-raster-samples-${resolution}dpi/$name
      mkdir -p "$folder"
      # SAMPLE|PAGES|SOURCE: the photos are 4x6 in, pages 1 and 3 of the
      # test document; the documents are all three pages of it, or the first.
      for sample in "color.jpg-4x6|1 1|a4" "gray.jpg-4x6|3 3|a4" "document-a4|1 3|a4" "document-letter|1 3|letter" \
        "onepage-a4|1 1|a4" "onepage-letter|1 1|letter"; do
        IFS='|' read -r sample pages source <<<"$sample"
        local size=()
        [[ $sample == *4x6 ]] && size=(-dDEVICEWIDTHPOINTS=288 -dDEVICEHEIGHTPOINTS=432 -dFIXEDMEDIA -dPDFFitPage)
        runs+=("-sDEVICE=pwgraster -dcupsColorSpace=$space -dcupsBitsPerColor=8 -r$resolution ${size[*]}
          -dFirstPage=${pages% *} -dLastPage=${pages#* } -sOutputFile=$folder/$sample-$name-${resolution}dpi.pwg
          document-$source.pdf")
      done
    done
  done
  printf '%s\0' "${runs[@]}" |
    xargs -0 -P 2 -I{} sh -c 'gs -q -dSAFER -dBATCH -dNOPAUSE $1 2>/dev/null' sh {} || fail "Ghostscript made no samples"
  # ipptool 2.4 refuses a test file naming a document it cannot read, even
  # in a test it would skip. The printer advertises none of these (other
  # resolutions, black_1, srgb_16), so their tests are skipped and these
  # empty stand-ins are never sent.
  local file
  for file in $(grep -ho 'FILE pwg-raster-samples[^ ]*' ipp-everywhere.test | cut -d' ' -f2 | sort -u); do
    [[ -e $file ]] || { mkdir -p "$(dirname "$file")" && : >"$file"; }
  done
}

# run_ipptool TEST_FILE DOCUMENT [ALLOWED FAILURES...]: runs the whole test
# file against printer "ipp" and fails on any failed expectation that is
# not one of the allowed "TEST NAME|DETAIL" pairs.
run_ipptool() {
  local test_file=$1 document=$2
  shift 2
  ipptool -I -t -f "$document" "$(printer_uri ipp)" "$test_file" >"$test_file.out" 2>&1 || true
  # Ran to the end: the file's last test was reported.
  local last_test
  last_test=$(sed -n 's/^[[:space:]]*NAME "\(.*\)"$/\1/p' "$test_file" | tail -1)
  grep -qF "    $last_test " "$test_file.out" || fail "ipptool did not finish $test_file: $(tail -5 "$test_file.out")"
  local unexpected
  unexpected=$(awk -v allowed="$(printf '%s\n' "$@")" '
    BEGIN { n = split(allowed, pairs, "\n"); for (i = 1; i <= n; i++) if (pairs[i] != "") ok[pairs[i]] = 1 }
    /^    [^ ].*\[(PASS|SKIP|FAIL)\]$/ || /^    [^ ].*\[[0-9]+\]$/ {
      failing = ($0 ~ /\[FAIL\]$/); name = $0; sub(/^    /, "", name); sub(/ +\[FAIL\]$/, "", name); next }
    /^"/ { failing = 0; next }
    failing && /^        / {
      detail = $0; sub(/^ +/, "", detail)
      if (detail ~ /^(RECEIVED|status-code|status-message)/) next
      if (!((name "|" detail) in ok)) print name ": " detail }' "$test_file.out")
  [[ -z $unexpected ]] || fail "$test_file: $unexpected"
  grep -q '\[FAIL\]' "$test_file.out" && [[ $# -eq 0 ]] && fail "$test_file: $(grep '\[FAIL\]' "$test_file.out")"
  echo "$test_file: $(grep -c '\[PASS\]$' "$test_file.out") passed, $(grep -c '\[SKIP\]$' "$test_file.out") skipped"
}

case $case_name in
same_as_filter)
  # For the same pixels and settings, the printer application and the
  # CUPS filter write the same bytes: the test document as PWG raster in
  # each colour space, through several drivers, with vendor attributes set
  # as the printer's defaults and as the job's.
  make_documents
  start_server
  compare() { # NAME DRIVER "JOB OPTIONS" "PRINTER DEFAULTS" "FILTER OPTIONS" RASTER
    local name=$1 driver=$2 job_options=$3 defaults=$4 filter_options=$5 raster=$6 options=() job
    mkdir -p "out/$name"
    add_printer "$name" "$driver" "$work/out/$name"
    [[ -z $defaults ]] || "$app" modify -d "$name" $defaults >modify.out 2>&1 || fail "modify $name: $(cat modify.out)"
    for option in $job_options; do options+=(-o "$option"); done
    job=$(submit "$name" "$raster" "${options[@]}")
    expect_job "$name" "$job" completed
    "$filter" 1 user title 1 "$filter_options" "$raster" >"$name.hcr" 2>"$name.log" || fail "$name: $(cat "$name.log")"
    cmp -s "$name.hcr" "out/$name/$raster.hcr" || fail "$name: the application and the filter wrote different pages"
    decode "$name.hcr" "$name"
    [[ $(pages_in "$name") -eq 3 ]] || fail "$name: $(cat "$name.txt")"
  }
  compare colour huecl-2bit "" "" "HueclHalftone=2bit" document-srgb.pwg
  compare grey huecl-4bit "" "" "HueclHalftone=4bit" document-sgray.pwg
  compare separated huecl-1bit-spread "" "" "HueclHalftone=1bit-spread" document-cmyk.pwg
  compare earlier huecl-earlier-diffusion "" "" "HueclHalftone=earlier-diffusion" document-srgb.pwg
  compare screen huecl-earlier-1bit "huecl-screen=1" "" "HueclHalftone=earlier-1bit HueclScreen=1" document-srgb.pwg
  compare adjusted huecl-4bit "huecl-balance-red=12 huecl-balance-blue=8" \
    "-o huecl-density=-32 -o huecl-color-table=model" \
    "HueclHalftone=4bit HueclDensity=-32 HueclBalanceRed=12 HueclBalanceBlue=8 HueclColorTable=Model" document-srgb.pwg
  # IPP's quality and content choices as the PPD's preset and black.
  compare photo huecl-auto "print-quality=5 print-content-optimize=photo" "" \
    "cupsPrintQuality=High HueclBlack=Composite" document-srgb.pwg
  compare text huecl-auto "print-quality=3 print-content-optimize=text" "" \
    "cupsPrintQuality=Draft HueclBlack=Pure" document-srgb.pwg
  grep -q '4 planes of 4 bits per dot' photo.txt || fail "photo: not the high preset: $(cat photo.txt)"
  grep -q '1 plane of 4 bits per dot' grey.txt || fail "grey: not black ink alone: $(cat grey.txt)"
  ;;
documents)
  # Every document format the printer offers, through PAPPL's raster path
  # (PWG and Apple raster, JPEG, PNG) or Ghostscript (PDF, PostScript),
  # and the IPP choices that change what is printed.
  make_documents
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=appleraster -dcupsColorSpace=19 -dcupsBitsPerColor=8 -r300 \
    -sOutputFile=document.urf document.pdf 2>/dev/null
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=jpeg -r50 -dFirstPage=1 -dLastPage=1 -sOutputFile=photo.jpg document.pdf
  "$huecl" print -o test-page --quiet >/dev/null && cp test-page/preview.png photo.png
  start_server
  # A sub-command beside the running server lists the drivers without
  # taking its port.
  [[ $("$app" drivers -o server-port="$port" | grep -c '^huecl-') -eq 7 ]] || fail "drivers: $("$app" drivers 2>&1)"
  add_printer docs huecl-2bit "$work/out"
  add_printer auto huecl-auto "$work/out"
  printer=docs
  check() { # NAME FILE PAGES "DECODED TEXT" [OPTIONS]
    local name=$1 file=$2 pages=$3 text=$4 job
    shift 4
    cp "$file" "$name.${file##*.}"
    job=$(submit $printer "$name.${file##*.}" "$@")
    expect_job $printer "$job" completed
    decode "out/$name.${file##*.}.hcr" "$name"
    [[ $(pages_in "$name") -eq $pages ]] || fail "$name: not $pages pages: $(cat "$name.txt")"
    grep -q "$text" "$name.txt" || fail "$name: no '$text' in: $(cat "$name.txt")"
    [[ $(job_attribute $printer "$job" job-impressions-completed) -eq $pages ]] ||
      fail "$name: $(job_attribute $printer "$job" job-impressions-completed) impressions"
    [[ $(job_attribute $printer "$job" job-state-message) == "Printed page $pages:"* ]] ||
      fail "$name: $(job_attribute $printer "$job" job-state-message)"
  }
  # A4 at 600 dpi unless asked otherwise: 4960 x 7015 dots for PAPPL's
  # pages, the nearest whole dots for Ghostscript's.
  check pdf document.pdf 3 '4 planes of 2 bits per dot'
  check postscript "$test_page_ps" 3 '4 planes of 2 bits per dot'
  check pwg document-srgb.pwg 3 '1750 x 2479 dots'
  check urf document.urf 3 '4 planes'
  check jpeg photo.jpg 1 '4960 x 7015 dots'
  check png photo.png 1 '4960 x 7015 dots'
  check mono document.pdf 3 '1 plane of 2 bits per dot' -o print-color-mode=monochrome
  # Draft renders at 300 dpi; the driver's own halftoning stays.
  check draft document.pdf 3 '4 planes of 2 bits per dot' -o print-quality=draft
  grep -q '2480 x 350[0-9] dots' draft.txt || fail "draft: not 300 dpi: $(cat draft.txt)"
  check letter photo.png 1 '5100 x 6600 dots' -o media=na_letter_8.5x11in
  check range document.pdf 2 '4 planes' -o page-ranges=2-3
  # The A5 document fills A4 unless print-scaling says none.
  check unscaled document.pdf 3 '4 planes' -o print-scaling=none
  # The quality presets pick the halftoning where the driver leaves it
  # open; high renders at 600 dpi, as the CUPS driver's High does.
  printer=auto
  check auto-draft document.pdf 3 '4 planes of 1 bit per dot' -o print-quality=draft
  grep -q '2480 x 350[0-9] dots' auto-draft.txt || fail "auto-draft: not 300 dpi: $(cat auto-draft.txt)"
  check auto-high photo.png 1 '4 planes of 4 bits per dot' -o print-quality=high
  grep -q '4960 x 7015 dots' auto-high.txt || fail "auto-high: not 600 dpi: $(cat auto-high.txt)"
  check auto-normal document.pdf 3 '4 planes of 2 bits per dot'
  printer=docs
  inked() { job_attribute docs "$1" job-state-message | sed -n 's/.* \([0-9]*\) dots inked.*/\1/p'; }
  fitted_job=$(submit docs document.pdf)
  expect_job docs "$fitted_job" completed
  unscaled_job=$(submit docs document.pdf -o print-scaling=none)
  expect_job docs "$unscaled_job" completed
  (($(inked "$fitted_job") > $(inked "$unscaled_job") * 3 / 2)) ||
    fail "print-scaling: $(inked "$fitted_job") dots inked fitted, $(inked "$unscaled_job") unscaled"
  # Something the printer does not print: refused by PAPPL or aborted
  # with a reason, never sent as it is.
  printf 'plain text\n' >note.txt
  if job=$("$app" submit -d docs note.txt 2>refused.err); then
    expect_job docs "${job##*-}" aborted
  fi
  ;;
job_progress)
  # job-impressions-completed and job-state-message follow the pages of a
  # slow job (three pages at 1200 dpi) as they print.
  make_documents
  start_server
  add_printer slow huecl-4bit "$work/out"
  job=$(submit slow document.pdf -o print-quality=high -o printer-resolution=1200dpi)
  : >progress.txt
  for _ in $(seq 1200); do
    state=$(job_attribute slow "$job" job-state)
    echo "$(job_attribute slow "$job" job-impressions-completed)|$(job_attribute slow "$job" job-state-message)" >>progress.txt
    [[ $state == completed || $state == aborted || $state == canceled ]] && break
    sleep 0.1
  done
  [[ $state == completed ]] || fail "the job is $state"
  uniq progress.txt >seen.txt
  # Impressions never go back, and the messages name the pages in turn.
  sort -t'|' -k1,1n -s seen.txt | cmp -s - seen.txt || fail "impressions went back: $(cat seen.txt)"
  for page in 1 2 3; do
    grep -q "|Printing page $page\.$" seen.txt || fail "page $page was never reported as printing: $(cat seen.txt)"
  done
  grep -q '^1|' seen.txt && grep -q '^2|' seen.txt || fail "impressions did not count the pages: $(cat seen.txt)"
  [[ $(tail -1 seen.txt) == "3|Printed page 3:"* ]] || fail "the job ended as $(tail -1 seen.txt)"
  ;;
cancel)
  # A cancelled job stops within the page it is on, whether Ghostscript
  # renders it or the client streams raster, and leaves whole containers;
  # the printer then takes the next job.
  make_documents
  start_server
  add_printer printer huecl-2bit "$work/out"
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile=long.pdf document.pdf document.pdf document.pdf \
    document.pdf document.pdf
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pwgraster -dcupsColorSpace=19 -dcupsBitsPerColor=8 -r1200 \
    -sOutputFile=long.pwg long.pdf 2>/dev/null
  cancel_during_page_2() { # JOB NAME [CLIENT]
    # Page 2 or a later one: a fast page can pass between two looks.
    local reached= state
    for _ in $(seq 600); do
      state=$(job_attribute printer "$1" job-state-message)
      [[ $state =~ ^Printing\ page\ ([0-9]+)\.$ ]] && ((BASH_REMATCH[1] >= 2)) && reached=1 && break
      sleep 0.1
    done
    [[ -n $reached ]] || fail "$2 never reached page 2: $state"
    local start=$SECONDS
    "$app" cancel -d printer -j "$1" >cancel.out 2>&1 || fail "cancel: $(cat cancel.out)"
    if [[ -n ${3:-} ]]; then
      # PAPPL takes in the rest of a streamed document before it ends the
      # job: the printing stops at once, the job once the client stops
      # sending.
      for _ in $(seq 150); do
        "$huecl" decode "out/$2.hcr" -o "stopped-$2" --quiet >"stopped-$2.txt" 2>/dev/null &&
          [[ $(pages_in "stopped-$2") -ge 2 ]] && break
        sleep 0.1
      done
      ((SECONDS - start <= 15)) || fail "$2 took $((SECONDS - start)) s to stop printing"
      kill "$3" 2>/dev/null || true
    fi
    expect_job printer "$1" canceled
    ((SECONDS - start <= 15)) || fail "$2 took $((SECONDS - start)) s to stop"
    # The page it was on, or the one after it when that page ended before
    # the cancel arrived: the job stops within the page it is on either way.
    local message page
    message=$(job_attribute printer "$1" job-state-message)
    [[ $message =~ ^Cancelled\ during\ page\ ([0-9]+), ]] || fail "$2: $message"
    page=${BASH_REMATCH[1]}
    ((page >= 2)) || fail "$2: $message"
    decode "out/$2.hcr" "decoded-$2"
    [[ $(pages_in "decoded-$2") -eq $page ]] || fail "$2: not the $page pages begun: $(cat "decoded-$2.txt")"
  }
  job=$(submit printer long.pdf -o printer-resolution=1200dpi)
  cancel_during_page_2 "$job" long.pdf
  # A streamed raster job: submit waits for it, so it runs in the
  # background; the job is the next one. Page 1 arrives at once, the rest
  # slowly, as over a slow network (page 2 in about four seconds), so that
  # the job is still on page 2 when the cancel comes.
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pwgraster -dcupsColorSpace=19 -dcupsBitsPerColor=8 -r1200 \
    -dFirstPage=1 -dLastPage=1 -sOutputFile=page-1.pwg long.pdf 2>/dev/null
  mkfifo slow.pwg
  (
    exec 3<long.pwg
    first=$(stat -c %s page-1.pwg)
    dd bs="$first" count=1 status=none <&3
    for ((left = $(stat -c %s long.pwg) - first; left > 0; left -= 256)); do
      dd bs=256 count=1 status=none <&3 || break
      sleep 0.1
    done
  ) >slow.pwg &
  client=$!
  "$app" submit -d printer slow.pwg >streamed.out 2>&1 &
  submitter=$!
  for _ in $(seq 100); do [[ -n $(job_attribute printer $((job + 1)) job-state) ]] && break; sleep 0.1; done
  cancel_during_page_2 $((job + 1)) slow.pwg "$client"
  wait "$submitter" "$client" || true
  next=$(submit printer document.pdf)
  expect_job printer "$next" completed
  ;;
damaged_documents)
  # Each damaged document aborts its own job with a reason the client can
  # read, leaves whole containers on the device, and the next job prints.
  make_documents
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=jpeg -r100 -dFirstPage=1 -dLastPage=1 -sOutputFile=photo.jpg document.pdf
  "$huecl" print -o test-page --quiet >/dev/null && cp test-page/preview.png photo.png
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r300 -dFirstPage=1 -dLastPage=1 -sOutputFile=large.png document.pdf
  # Images wider or taller than 2000 pixels are over this server's limit.
  start_server -o max-image-size=2000x2000
  add_printer printer huecl-2bit "$work/out"
  # Two pages, the text page whole and the photo page cut in its rows.
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -dFirstPage=3 -dLastPage=3 -sOutputFile=text.pdf document.pdf
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -dFirstPage=1 -dLastPage=1 -sOutputFile=full.pdf document.pdf
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile=two-pages.pdf text.pdf full.pdf
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pwgraster -dcupsColorSpace=19 -dcupsBitsPerColor=8 -r300 \
    -sOutputFile=two-pages.pwg two-pages.pdf 2>/dev/null
  head -c $(($(stat -c %s two-pages.pwg) * 2 / 3)) two-pages.pwg >cut-raster.pwg
  head -c $(($(stat -c %s photo.jpg) / 2)) photo.jpg >cut-photo.jpg
  head -c $(($(stat -c %s photo.png) / 2)) photo.png >cut-photo.png
  printf '%%PDF-1.4\nthis is no PDF at all\n' >broken.pdf
  damaged() { # FILE REASON MESSAGE-PATTERN
    local job
    job=$(submit printer "$1")
    expect_job printer "$job" aborted
    local reasons message
    reasons=$(job_attribute printer "$job" job-state-reasons)
    message=$(job_attribute printer "$job" job-state-message)
    [[ $reasons == *"$2"* ]] || fail "$1: reasons $reasons"
    [[ $message =~ $3 ]] || fail "$1: message '$message'"
    if [[ -s out/$1.hcr ]]; then
      "$huecl" decode "out/$1.hcr" -o "decoded-$1" --quiet >/dev/null 2>decode.err ||
        fail "$1 left a damaged container: $(cat decode.err)"
    fi
    job=$(submit printer document-sgray.pwg)
    expect_job printer "$job" completed
  }
  damaged cut-raster.pwg document-format-error '^page 2: the raster ends after [0-9]+ of 2479 rows'
  damaged broken.pdf document-format-error '^Ghostscript (could not render|found no page)'
  damaged cut-photo.jpg document-format-error '^the JPEG document is damaged: '
  damaged cut-photo.png document-format-error '^the PNG document is damaged: '
  damaged large.png document-unprintable-error '^the PNG image of 1750 x 2479 pixels is larger than the printer takes'
  ;;
ten_jobs)
  # Ten jobs submitted at once all print, in the order they came, and none
  # is lost: each leaves its own file in the device folder.
  make_documents
  start_server
  add_printer printer huecl-1bit "$work/out"
  for number in $(seq 10); do cp document.pdf "job-$number.pdf"; done
  submitters=()
  for number in $(seq 10); do
    "$app" submit -d printer "job-$number.pdf" >"submit-$number.out" 2>"submit-$number.err" &
    submitters+=($!)
  done
  wait "${submitters[@]}"
  jobs=$(sed -n 's/^printer-\([0-9]*\)$/\1/p' submit-*.out | sort -n)
  [[ $(echo "$jobs" | wc -l) -eq 10 ]] || fail "not ten jobs: $(cat submit-*.out submit-*.err)"
  last=0
  for job in $jobs; do
    expect_job printer "$job" completed
    completed=$(job_attribute printer "$job" time-at-completed)
    ((completed >= last)) || fail "job $job completed before the job before it"
    last=$completed
  done
  [[ $(ls out | wc -l) -eq 10 ]] || fail "the device folder holds $(ls out)"
  for number in $(seq 10); do
    decode "out/job-$number.pdf.hcr" "job-$number"
    [[ $(pages_in "job-$number") -eq 3 ]] || fail "job-$number: $(cat "job-$number.txt")"
  done
  ;;
late_start)
  # Jobs arrive together at an idle printer and PAPPL starts the first two,
  # but the thread of the first runs a second late: the second, already
  # running, waits for it; the first still prints first, and the rest
  # follow in order.
  make_documents
  [[ -f ${HUECL_LATE_JOB_THREAD:-} ]] || fail "no late-thread library: '${HUECL_LATE_JOB_THREAD:-}'"
  LD_PRELOAD=$HUECL_LATE_JOB_THREAD start_server
  add_printer printer huecl-1bit "$work/out"
  for number in $(seq 5); do
    cp document.pdf "job-$number.pdf"
    job=$(submit printer "job-$number.pdf")
    [[ $job -eq $number ]] || fail "job $number has the id $job"
  done
  for number in $(seq 5); do expect_job printer "$number" completed; done
  started=$(grep -n '\[Job [12]\] Starting print job' log | head -1)
  [[ $started == *"[Job 2]"* ]] || fail "job 1 started first; the case needs job 2 started before it: $started"
  order=$(sed -n 's/.*\[Job \([0-9]*\)\] Completed.*/\1/p' log | tr '\n' ' ')
  [[ $order == "1 2 3 4 5 " ]] || fail "the jobs completed in the order $order"
  [[ $(ls out | wc -l) -eq 5 ]] || fail "the device folder holds $(ls out)"
  ;;
released_together)
  # Held jobs released at once start side by side on PAPPL's threads (PAPPL
  # 1.3 may even start one job twice), yet all of them end, none waiting
  # for ever for another.
  make_documents
  start_server
  add_printer printer huecl-1bit "$work/out"
  held=()
  for number in 1 2 3; do
    cp document.pdf "held-$number.pdf"
    held+=("$(ipptool -c -f "held-$number.pdf" "$(printer_uri printer)" "$here/held_jobs.test" | tail -1)")
  done
  for job in "${held[@]}"; do
    [[ $(job_attribute printer "$job" job-state) == pending-held ]] || fail "job $job is not held"
  done
  releases=()
  for job in "${held[@]}"; do
    ipptool -t -d job_id="$job" -d release=1 "$(printer_uri printer)" "$here/held_jobs.test" >"release-$job.out" 2>&1 &
    releases+=($!)
  done
  wait "${releases[@]}" || fail "Release-Job: $(cat release-*.out)"
  for number in 1 2 3; do
    [[ $(wait_job printer "${held[number - 1]}" 60) == completed ]] ||
      fail "job ${held[number - 1]}: $(job_attribute printer "${held[number - 1]}" job-state-message)"
  done
  # And the printer takes the next job.
  job=$(submit printer document-sgray.pwg)
  expect_job printer "$job" completed
  ;;
settings_persist)
  # The huecl settings are the printer's, kept in the state file across a
  # restart, shown and changed by the web interface, and printed with.
  make_documents
  start_server
  add_printer kept huecl-4bit "$work/out"
  "$app" modify -d kept -o huecl-density=32 -o huecl-balance-green=13 -o huecl-color-table=model >modify.out 2>&1 ||
    fail "modify: $(cat modify.out)"
  stop_server
  grep -q '^huecl-density-default 32$' state || fail "the state file does not keep the density: $(grep huecl state)"
  start_server
  ipptool -tv "$(printer_uri kept)" "$here/printer_attributes.test" >attributes.txt 2>&1
  for expected in 'huecl-density-default (integer) = 32' 'huecl-balance-green-default (integer) = 13' \
    'huecl-color-table-default (keyword) = model' 'huecl-density-supported (rangeOfInteger) = -64-64'; do
    grep -qF "$expected" attributes.txt || fail "after the restart: no '$expected'"
  done
  # The printer's page links its defaults, which show the settings.
  curl -sf "http://127.0.0.1:$port/kept/" >home.html || fail "no printer page"
  grep -q 'href="/kept/printing"' home.html || fail "the printer page does not link its printing defaults"
  curl -sf "http://127.0.0.1:$port/kept/printing" >printing.html || fail "no printing defaults page"
  for field in 'name="huecl-density" min="-64" max="64" value="32"' 'name="huecl-balance-green" min="1" max="30" value="13"' \
    'name="huecl-screen" min="0" max="3" value="3"' '<option value="model" selected>' 'name="huecl-profile" value=""'; do
    grep -qF "$field" printing.html || fail "the printing defaults page lacks $field"
  done
  # Changed through the web form, as a user would.
  session=$(sed -n 's/.*name="session" value="\([^"]*\)".*/\1/p' printing.html | head -1)
  [[ -n $session ]] || fail "the form has no session key"
  curl -sf -o posted.html --data-urlencode "session=$session" --data-urlencode "huecl-density=-16" \
    --data-urlencode "huecl-balance-red=10" --data-urlencode "huecl-balance-green=13" \
    --data-urlencode "huecl-balance-blue=10" --data-urlencode "huecl-screen=2" \
    --data-urlencode "huecl-color-table=model" --data-urlencode "huecl-profile=" \
    "http://127.0.0.1:$port/kept/printing" || fail "the form was not taken"
  curl -sf "http://127.0.0.1:$port/kept/printing" | grep -qF 'name="huecl-density" min="-64" max="64" value="-16"' ||
    fail "the web form did not change the density"
  # And the page prints as the CUPS filter prints it with those choices.
  job=$(submit kept document-srgb.pwg)
  expect_job kept "$job" completed
  "$filter" 1 user title 1 "HueclHalftone=4bit HueclDensity=-16 HueclBalanceGreen=13 HueclScreen=2 HueclColorTable=Model" \
    document-srgb.pwg >filter.hcr 2>filter.log || fail "filter: $(cat filter.log)"
  cmp -s filter.hcr out/document-srgb.pwg.hcr || fail "the printer's settings were not the ones printed with"
  ;;
ipp_1_1 | ipp_2_0 | ipp_everywhere)
  # The IPP test files CUPS ships, whole. Exceptions are PAPPL 1.3's own
  # and listed with their reason:
  # - A Print-Job response for a held job lacks job-state-reasons: PAPPL
  #   1.3 lists only the reasons up to warnings-detected, and a held job's
  #   sole reason, job-hold-until-specified, comes after it.
  # - overrides-supported: PAPPL 1.3 cannot apply attributes to some pages
  #   or documents of a job only, and the printer does not claim it can.
  start_server
  : >out/ipp.hcr
  add_printer ipp huecl-2bit "$work/out/ipp.hcr"
  # After the server starts: printer-up-time counts whole seconds, and a
  # printer up for less than one would report none.
  make_ipp_test_folder
  [[ $case_name != ipp_everywhere ]] || make_pwg_samples
  hold="Print-Job with job-hold-until|EXPECTED: job-state-reasons"
  overrides="PWG 5100.14 section 5.1/5.2 - Required Operations and Attributes|EXPECTED: overrides-supported"
  case $case_name in
  ipp_1_1) run_ipptool ipp-1.1.test document-a4.pdf "$hold" ;;
  ipp_2_0) run_ipptool ipp-2.0.test document-a4.pdf "$hold" ;;
  ipp_everywhere)
    run_ipptool ipp-everywhere.test document-a4.pdf "$hold" "$overrides"
    # Print-Job answers once the document is in, whether it then prints or
    # not: each sample taken must also have printed. (A Print-Job refused
    # as busy, to be sent again, leaves an aborted job of that name.)
    # 6 samples in 3 colour spaces at 2 resolutions, each plain, deflated and
    # gzipped, but for the grey photo, which the file prints in no CMYK: 102.
    sent=$(grep -c '^    Print [^ ]* @ [0-9]*dpi, .*\[PASS\]$' ipp-everywhere.test.out || true)
    for _ in $(seq 600); do
      ipptool -c "$(printer_uri ipp)" "$here/printer_jobs.test" >jobs.csv 2>&1 || fail "Get-Jobs: $(cat jobs.csv)"
      grep -qE ',(pending|pending-held|processing|processing-stopped)$' jobs.csv || break
      sleep 0.1
    done
    printed=$(grep -cE ',(color|gray)\.jpg-4x6,completed$|,(document|onepage)-(a4|letter),completed$' jobs.csv || true)
    ((sent == 102 && printed == sent)) ||
      fail "$sent samples taken (102 expected), $printed printed: $(grep -E 'jpg-4x6|document-|onepage-' jobs.csv | grep -v completed)"
    ;;
  esac
  ;;
cupsd_driverless)
  # CUPS's own client and scheduler print to the application as to any
  # IPP Everywhere printer: a driverless queue on a private cupsd (its own
  # configuration, socket, spool and logs in this case's folder), made
  # from what the printer says of itself, takes a three-page PDF, renders
  # it with the system's filters and sends it over IPP.
  if [[ $(id -u) -ne 0 ]]; then
    echo "skipped: a private cupsd drops to its own user for the filters only when run by root"
    exit 77
  fi
  make_documents
  start_server
  add_printer everywhere huecl-2bit "$work/out"
  . "$here/../../tests/support/private_cupsd.sh"
  cupsd_pid=
  stop_both() {
    [[ -z $cupsd_pid ]] || { kill "$cupsd_pid" 2>/dev/null; wait "$cupsd_pid" 2>/dev/null || true; }
    stop_server
  }
  trap stop_both EXIT
  # The scheduler's filters run as its own user, who must reach the spool.
  chmod 755 "$work"
  start_private_cupsd "$work/cupsd"
  lpadmin -p q -E -v "ipp://127.0.0.1:$port/ipp/print" -m everywhere >lpadmin.log 2>&1 ||
    fail "lpadmin: $(cat lpadmin.log)"
  request=$(lp -d q -o print-color-mode=color document.pdf | sed -n 's/^request id is \(q-[0-9]*\).*/\1/p')
  [[ -n $request ]] || fail "lp gave no job"
  for _ in $(seq 1200); do
    lpstat -W not-completed -o q | grep -q "^$request " || break
    sleep 0.1
  done
  lpstat -W completed -o q | grep -q "^$request " ||
    fail "$request did not complete: $(lpstat -l -o q; grep -E 'E \[' "$work/cupsd/log/error_log" | tail -10)"
  job=$("$app" jobs -d everywhere | awk '{print $1}' | sort -n | tail -1)
  [[ -n $job ]] || fail "the application got no job"
  expect_job everywhere "$job" completed
  [[ $(ls out | wc -l) -eq 1 ]] || fail "the device folder holds $(ls out)"
  decode "out/$(ls out)" printed
  [[ $(pages_in printed) -eq 3 ]] || fail "not three pages: $(cat printed.txt)"
  grep -q '4 planes' printed.txt || fail "not printed in colour: $(cat printed.txt)"
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
echo "passed: $case_name"

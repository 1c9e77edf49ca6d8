#!/usr/bin/env bash
# The printer application against the CUPS filter, side by side in one
# run, and its pages per minute on a PDF.
#   app_benchmark.sh BUILD_FOLDER [RUNS] [PDF_PAGES]
# 1. A4 pages at 600 dpi as PWG raster (page 1 of the driver's test
#    document, sRGB, rendered by Ghostscript), as a job of one page and
#    as a job of five: each printed RUNS times through the application
#    (huecl-2bit, to a file: device) and through rastertohuecl
#    (HueclHalftone=2bit), alternately; the median CPU seconds (user +
#    system) per page of the server process against those of the filter
#    process, and their containers compared. The filter's figure includes
#    starting a process, the server's receiving the document over HTTP.
# 2. A PDF of PDF_PAGES pages (the test document over and over) printed at
#    600 dpi: wall time from submitting to the job's end, as pages per
#    minute, and the CPU seconds of the server itself and of its
#    Ghostscript children (which it waits for, so the kernel counts them).
# Runs on 127.0.0.1 in a temporary folder.
set -euo pipefail

build=$(cd "$1" && pwd)
runs=${2:-7}
pdf_pages=${3:-20}
here=$(cd "$(dirname "$0")" && pwd)
app=$build/huecl-printer-app
work=$(mktemp -d)
cd "$work"
export HUECL_PRINTER_APP_STATE_FILE=$work/state HUECL_PRINTER_APP_SPOOL_DIRECTORY=$work/spool
export HUECL_PRINTER_APP_SOCKET_DIRECTORY=$work TMPDIR=$work
server_pid=
cleanup() {
  [[ -z $server_pid ]] || { "$app" shutdown >/dev/null 2>&1; wait "$server_pid" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ticks=$(getconf CLK_TCK)
# CPU seconds of the server: its own (user + system), and its waited-for
# children's.
own_cpu() { awk -v t="$ticks" '{ printf "%.3f\n", ($14 + $15) / t }' "/proc/$server_pid/stat"; }
children_cpu() { awk -v t="$ticks" '{ printf "%.3f\n", ($16 + $17) / t }' "/proc/$server_pid/stat"; }
job_state() {
  ipptool -tv -d job_id="$1" "ipp://127.0.0.1:$port/ipp/print/bench" "$here/../tests/job_attributes.test" 2>/dev/null |
    sed -n 's/^        job-state ([^)]*) = //p'
}
wait_job() { until [[ $(job_state "$1") =~ ^(completed|aborted|canceled)$ ]]; do sleep 0.05; done; }

gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile=document.pdf "$here/../../tools/cups/tests/test_page.ps"
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pwgraster -dcupsColorSpace=19 -dcupsBitsPerColor=8 -r600 \
  -dDEVICEWIDTHPOINTS=595.28 -dDEVICEHEIGHTPOINTS=841.89 -dFIXEDMEDIA -dPDFFitPage -dFirstPage=1 -dLastPage=1 \
  -sOutputFile=page.pwg document.pdf 2>/dev/null
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -dFirstPage=1 -dLastPage=1 -sOutputFile=first.pdf document.pdf
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile=five.pdf first.pdf first.pdf first.pdf first.pdf \
  first.pdf
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pwgraster -dcupsColorSpace=19 -dcupsBitsPerColor=8 -r600 \
  -dDEVICEWIDTHPOINTS=595.28 -dDEVICEHEIGHTPOINTS=841.89 -dFIXEDMEDIA -dPDFFitPage -sOutputFile=pages.pwg five.pdf \
  2>/dev/null
copies=()
for _ in $(seq $(((pdf_pages + 2) / 3))); do copies+=(document.pdf); done
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile=long.pdf "${copies[@]}"
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -dFirstPage=1 -dLastPage="$pdf_pages" -sOutputFile=pages.pdf long.pdf

port=$((20000 + RANDOM % 40000))
"$app" server -o server-name=127.0.0.1 -o server-port=$port -o log-level=warn -o log-file="$work/log" \
  -o dnssd=off >server.out 2>&1 &
server_pid=$!
until "$app" status >/dev/null 2>&1; do sleep 0.1; done
mkdir out
"$app" add -d bench -m huecl-2bit -v "file://$work/out"

# compare RASTER PAGES: per-page medians of the application and the filter.
compare() {
  local raster=$1 pages=$2
  rm -f app.times filter.times
  for run in $(seq "$runs"); do
    before=$(own_cpu)
    job=$("$app" submit -d bench "$raster")
    wait_job "${job##*-}"
    after=$(own_cpu)
    echo "($after - $before) / $pages" | bc -l >>app.times
    /usr/bin/time -f '%U %S' -a -o filter.times "$build/rastertohuecl" 1 user title 1 HueclHalftone=2bit "$raster" \
      >filter.hcr 2>/dev/null
  done
  cmp -s filter.hcr "out/$(ls -t out | head -1)" ||
    { echo "the application and the filter wrote different containers" >&2; exit 1; }
  application=$(median <app.times)
  filter=$(awk -v pages="$pages" '{ print ($1 + $2) / pages }' filter.times | median)
  printf '  %s-page job: huecl-printer-app %.3f s CPU per page, rastertohuecl %.3f s (%+.1f %%)\n' "$pages" \
    "$application" "$filter" "$(echo "100 * ($application - $filter) / $filter" | bc -l)"
}
read -r width height < <(od -An -tu4 --endian=big -j376 -N8 page.pwg)
echo "A4 pages, $width x $height pixels at 600 dpi, huecl-2bit, medians of $runs runs:"
compare page.pwg 1
compare pages.pwg 5

own_before=$(own_cpu) children_before=$(children_cpu) start=$(date +%s.%N)
job=$("$app" submit -d bench pages.pdf)
wait_job "${job##*-}"
end=$(date +%s.%N)
wall=$(echo "$end - $start" | bc)
own=$(echo "$(own_cpu) - $own_before" | bc)
ghostscript=$(echo "$(children_cpu) - $children_before" | bc)
echo "$pdf_pages-page PDF, A4 at 600 dpi, huecl-2bit: $wall s wall," \
  "$(echo "scale=1; 60 * $pdf_pages / $wall" | bc) pages per minute;" \
  "CPU: application $own s, Ghostscript $ghostscript s"

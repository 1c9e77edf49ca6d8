#!/usr/bin/env bash
# The filter against the tool on the same page: renders page 1 of the
# driver's test document with CUPS's own chain to an uncompressed raster
# page (A4 without margins, sRGB), cuts the same pixels out as a PPM, and
# runs rastertohuecl and `huecl print` (same settings: the default profile,
# source and device at the raster's resolution, 2 threads) on it
# alternately. Prints the median CPU seconds (user + system) of each and
# checks that both wrote the same container. HALFTONE is a HueclHalftone
# choice of the PPD (default 2bit), given to huecl print as its options.
#   filter_benchmark.sh BUILD_FOLDER [RUNS] [RESOLUTION] [HALFTONE]
set -euo pipefail

build=$(cd "$1" && pwd)
runs=${2:-5}
dpi=${3:-600}
halftone=${4:-2bit}
case $halftone in
earlier-1bit) print_options=(--engine earlier) ;;
earlier-diffusion) print_options=(--engine earlier --diffusion) ;;
*) print_options=(--dither "$halftone") ;;
esac
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile=document.pdf "$here/../cups/tests/test_page.ps"
sed -e 's/^\*HWMargins:.*/*HWMargins: 0 0 0 0/' -e 's|^\*ImageableArea A4/A4: .*|*ImageableArea A4/A4: "0 0 595 842"|' \
  "$build/ppd/huecl.ppd" >full-page.ppd
mkdir -p server-bin/filter
ln -s /usr/lib/cups/filter/* server-bin/filter/
echo "ServerBin $PWD/server-bin" >cups-files.conf
cupsfilter -c cups-files.conf -p full-page.ppd -m application/vnd.cups-raster -o PageSize=A4 \
  -o Resolution=${dpi}dpi -o page-ranges=1 document.pdf >page.ras 2>/dev/null

# An uncompressed version-3 stream: a 4-byte sync word, the 1796-byte page
# header (cupsWidth and cupsHeight at bytes 372 and 376 of it), then pixels.
[[ $(head -c 4 page.ras) == 3SaR ]] || { echo "not an uncompressed little-endian raster" >&2; exit 1; }
read -r width height < <(od -An -tu4 -j376 -N8 page.ras)
{ printf 'P6\n%s %s\n255\n' "$width" "$height"; tail -c +1801 page.ras; } >page.ppm

for run in $(seq "$runs"); do
  /usr/bin/time -f '%U %S' -a -o filter.times "$build/rastertohuecl" 1 user title 1 "HueclHalftone=$halftone" page.ras >filter.hcr 2>/dev/null
  rm -rf printed
  /usr/bin/time -f '%U %S' -a -o print.times "$build/huecl" print page.ppm -o printed --quiet --threads 2 \
    --source-dpi "$dpi" --device-dpi "$dpi" --profile /usr/share/color/icc/ghostscript/default_cmyk.icc "${print_options[@]}" >/dev/null
done
cmp -s filter.hcr printed/page.hcr || { echo "the filter and huecl print wrote different containers" >&2; exit 1; }
filter=$(awk '{ print $1 + $2 }' filter.times | median)
print=$(awk '{ print $1 + $2 }' print.times | median)
echo "$width x $height pixels at $dpi dpi, $halftone, medians of $runs runs: rastertohuecl $filter s, huecl print $print s CPU"

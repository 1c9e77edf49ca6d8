#!/usr/bin/env bash
# End-to-end cases of the huecl tool, one per CTest:
#   cli_test.sh CASE HUECL WORK_FOLDER ICC_FOLDER [TEST_IMAGES]
# TEST_IMAGES is huecl_test_images, which writes JPEG and TIFF images.
# Each case works in its own fresh folder and fails on the first broken check.
set -euo pipefail

case_name=$1
huecl=$2
work=$3/$case_name
icc=$4
images=${5:-}
source_root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# A small built-in page: quick, yet every region of the chart is on it.
small=(--size 160x226 --quiet)

# Runs a command that must fail: non-zero exit, exactly one line on standard
# error that matches the pattern, and no trace of it in the output folder.
expect_error() {
  local pattern=$1 out=$2
  shift 2
  local status=0
  "$huecl" "$@" >stdout.txt 2>stderr.txt || status=$?
  [[ $status -ne 0 ]] || fail "'$*' succeeded"
  [[ $(wc -l <stderr.txt) -eq 1 ]] || fail "'$*' wrote $(wc -l <stderr.txt) lines: $(cat stderr.txt)"
  grep -Eq "^huecl: $pattern\$" stderr.txt || fail "'$*' said: $(cat stderr.txt), wanted: $pattern"
  if [[ -e $out ]]; then
    local left
    left=$(find "$out" -mindepth 1 ! -name 'keep.txt' | head -1)
    [[ -z $left ]] || fail "'$*' left $left behind"
  fi
}

print_and_decode_match() {
  local name=$1
  shift
  "$huecl" print "${small[@]}" --planes -o "$name" "$@" >/dev/null
  "$huecl" decode "$name/page.hcr" --planes -o "$name-decoded" >/dev/null
  local planes=0
  for plane in "$name"/plane-*; do
    cmp "$plane" "$name-decoded/$(basename "$plane")" || fail "$name: decoded $(basename "$plane") differs"
    planes=$((planes + 1))
  done
  [[ $planes -gt 0 ]] || fail "$name: no planes written"
  cmp "$name/preview.png" "$name-decoded/preview.png" || fail "$name: decoded preview differs"
  grep -q "pixels" "$name/summary.txt" || fail "$name: no summary"
}

# The dots and inked dots of a print's summary.
dots_of() { grep -o '[0-9]* dots' "$1/summary.txt" | awk '{ print $1 }'; }
inked_of() { grep -o '([0-9]* inked)' "$1/summary.txt" | tr -d '(' | awk '{ print $1 }'; }

# Writes a binary PPM of W x H pixels in a diagonal colour ramp.
make_ppm() {
  local file=$1 width=$2 height=$3
  printf 'P6\n# ramp\n%d %d\n255\n' "$width" "$height" >"$file"
  awk -v w="$width" -v h="$height" 'BEGIN {
    for (y = 0; y < h; y++) for (x = 0; x < w; x++)
      printf "%c%c%c", (x * 7) % 256, (y * 5) % 256, ((x + y) * 3) % 256 }' >>"$file"
}

# The same ramp with 16-bit samples: the 8-bit levels in the high bytes,
# noise in the low ones.
make_ppm16() {
  local file=$1 width=$2 height=$3
  printf 'P6\n%d %d\n65535\n' "$width" "$height" >"$file"
  awk -v w="$width" -v h="$height" 'BEGIN {
    for (y = 0; y < h; y++) for (x = 0; x < w; x++)
      printf "%c%c%c%c%c%c", (x * 7) % 256, (x * 31 + y) % 256, (y * 5) % 256, (x * 17) % 256,
        ((x + y) * 3) % 256, (y * 29) % 256 }' >>"$file"
}

# The box that holds every inked dot of a PGM plane (samples below maxval,
# since ink is dark): "LEFT TOP RIGHT BOTTOM", right and bottom exclusive;
# "none" for a blank plane.
ink_box() {
  local magic width height maxval
  { read -r magic; read -r width height; read -r maxval; } <"$1"
  [[ $magic == P5 ]] || fail "$1 is no PGM"
  tail -c $((width * height)) "$1" | od -An -v -tu1 -w"$width" |
    awk -v max="$maxval" '{ for (x = 1; x <= NF; x++) if ($x != max) {
        if (!found || x < left) left = x; if (!found || x > right) right = x
        if (!found) top = NR; bottom = NR; found = 1 } }
      END { if (found) print left - 1, top - 1, right, bottom; else print "none" }'
}

case $case_name in
modes_decode_exactly)
  # Every dither mode, several screens, four planes and black only.
  print_and_decode_match one-bit --dither 1bit --screen 0
  print_and_decode_match one-bit-tiles --dither 1bit --screen 3
  print_and_decode_match two-bit --dither 2bit --screen 1
  print_and_decode_match two-bit-tiles --dither 2bit --screen 3
  print_and_decode_match four-bit --dither 4bit --screen 2
  print_and_decode_match spread --dither 1bit-spread --screen 1
  print_and_decode_match black-only --dither 2bit --black-only
  [[ -e black-only/plane-k.pgm && ! -e black-only/plane-c.pgm ]] || fail "black only wrote other planes"
  head -c 2 one-bit/plane-c.pbm | grep -q P4 || fail "1-bit planes are not PBM"
  head -c 2 four-bit/plane-y.pgm | grep -q P5 || fail "4-bit planes are not PGM"
  ;;
match_methods_and_adjustments)
  print_and_decode_match direct --match direct --black-mode grey
  print_and_decode_match invert --match invert --black-mode none
  print_and_decode_match eight --match eight
  print_and_decode_match black --match black
  print_and_decode_match adjusted --brightness 30 --saturation -50 --balance 5,12,29 \
    --cmy-saturation 20 --density -20 --grid 9 --lzs-budget 0
  cmp -s direct/page.hcr invert/page.hcr && fail "match methods gave identical rasters"
  ;;
resolutions)
  print_and_decode_match unscaled --source-dpi 300 --device-dpi 300
  print_and_decode_match reduced --source-dpi 600 --device-dpi 300
  print_and_decode_match uneven --source-dpi 300x200 --device-dpi 600x300 --band-height 7
  # Screens are anchored to device rows, so the band height leaves no seam:
  # the planes must not depend on it.
  "$huecl" print "${small[@]}" --planes --source-dpi 300x200 --device-dpi 600x300 --band-height 128 -o one-band >/dev/null
  for plane in uneven/plane-*; do
    cmp "$plane" "one-band/$(basename "$plane")" || fail "band height changed $(basename "$plane")"
  done
  grep -q '^36160 pixels, 144640 dots' unscaled/summary.txt || fail "unexpected pixel count"
  grep -q '36160 dots' reduced/summary.txt || fail "reduced page should be 80x113 dots per plane: $(cat reduced/summary.txt)"
  ;;
threads_give_identical_bytes)
  "$huecl" print "${small[@]}" --band-height 16 --threads 1 -o one >/dev/null
  "$huecl" print "${small[@]}" --band-height 16 --threads 4 -o four >/dev/null
  cmp one/page.hcr four/page.hcr || fail "raster differs between 1 and 4 threads"
  cmp one/preview.png four/preview.png || fail "preview differs between 1 and 4 threads"
  ;;
image_inputs)
  make_ppm ramp.ppm 97 61
  "$huecl" print ramp.ppm --quiet --band-height 8 -o from-ppm >/dev/null
  # Outputs of the tool are PNGs of two colour types: feed them back in.
  "$huecl" print from-ppm/preview.png --quiet -o from-rgb-png >/dev/null
  "$huecl" screens -o screens >/dev/null
  "$huecl" print screens/2bit-screen-3-m.png --quiet -o from-grey-png >/dev/null
  printf 'P5\n4 2\n255\n\000\100\200\377\377\200\100\000' >grey.pgm
  "$huecl" print grey.pgm --quiet --black-only -o from-pgm >/dev/null
  for out in from-ppm from-rgb-png from-grey-png from-pgm; do
    [[ -s $out/page.hcr && -s $out/preview.png ]] || fail "$out: missing output"
  done
  grep -q '^5917 pixels' from-ppm/summary.txt || fail "ppm size: $(cat from-ppm/summary.txt)"
  ;;
page_layout)
  # A black image on a 60 x 40 mm page at 100 dpi (236 x 157 pixels) printed
  # at 200 dpi (472 x 314 dots), margins of 5 mm (20 pixels, 40 dots): the
  # raster is the area inside them (196 x 117 pixels, 392 x 234 dots), and
  # the container records the sheet and where the area lies on it.
  printf 'P6\n50 20\n255\n' >black.ppm
  head -c 3000 /dev/zero >>black.ppm
  make_ppm large.ppm 500 200
  on_page=(--quiet --black-only --planes --source-dpi 100 --device-dpi 200 --page 60x40mm --margins 5)
  while read -r name image left top right bottom options; do
    box="$left $top $right $bottom"
    # shellcheck disable=SC2086
    "$huecl" print "$image" "${on_page[@]}" $options -o "$name" >/dev/null
    [[ $(ink_box "$name/plane-k.pgm") == "$box" ]] || fail "$name: ink in $(ink_box "$name/plane-k.pgm"), wanted $box"
    "$huecl" decode "$name/page.hcr" -o "$name-decoded" >"$name-decoded.txt"
    grep -q ' 392 x 234 dots (sheet 59.9 x 39.9 mm, printed 49.8 x 29.7 mm at 5.1, 5.1 mm)' "$name-decoded.txt" ||
      fail "$name: $(cat "$name-decoded.txt")"
    grep -q '^22932 pixels, 91728 dots .* page 59.9 x 39.9 mm, cpu' "$name/summary.txt" ||
      fail "$name: $(cat "$name/summary.txt")"
    # The preview is the whole sheet (236 x 157 pixels at the source's
    # 100 dpi), print's and decode's alike, with white paper around the area.
    [[ $(od --endian=big -An -tu4 -j16 -N8 "$name/preview.png" | tr -s ' ') == " 236 157" ]] ||
      fail "$name: the preview is not the sheet: $(od --endian=big -An -tu4 -j16 -N8 "$name/preview.png")"
    cmp "$name/preview.png" "$name-decoded/preview.png" || fail "$name: print's and decode's previews differ"
  done <<'PLACEMENTS'
natural black.ppm 0 0 100 40 --margins=5
centred black.ppm 146 96 246 136 --center
fit black.ppm 0 0 392 156 --fit
fit-centred black.ppm 0 38 392 194 --fit --center
fill black.ppm 0 0 392 234 --fill
shrunk large.ppm 0 0 392 156 --fit
PLACEMENTS
  # The margins are paper: the preview's border is white, its inside black.
  if command -v python3 >/dev/null; then
    python3 - fill/preview.png <<'PYTHON' || fail "the preview's margins are not white around the printed area"
import sys, zlib
data = open(sys.argv[1], 'rb').read()
width, height = int.from_bytes(data[16:20], 'big'), int.from_bytes(data[20:24], 'big')
raw, at = b'', 8
while at < len(data):
    length, kind = int.from_bytes(data[at:at + 4], 'big'), data[at + 4:at + 8]
    if kind == b'IDAT':
        raw += data[at + 8:at + 8 + length]
    at += 12 + length
rows = zlib.decompress(raw)
def pixel(x, y):
    start = y * (1 + 3 * width) + 1 + 3 * x
    return tuple(rows[start:start + 3])
assert pixel(5, 5) == (255, 255, 255) and pixel(width - 5, height - 5) == (255, 255, 255), 'margin'
assert max(pixel(width // 2, height // 2)) < 100, 'area'
PYTHON
  fi
  # Points, as CUPS gives sizes: 420 x 595 pt is CUPS's A5.
  "$huecl" print --quiet --page 420x595pt --source-dpi 72 --device-dpi 72 -o points >/dev/null
  grep -q '^249900 pixels, .* page 148.2 x 209.9 mm, cpu' points/summary.txt || fail "points: $(cat points/summary.txt)"
  # The test page takes the paper's size; named sizes keep their names.
  "$huecl" print --quiet --page Letter --source-dpi 100 --device-dpi 100 --band-height 64 -o letter >/dev/null
  grep -q '^935000 pixels, 3740000 dots .* page 215.9 x 279.4 mm (Letter), cpu' letter/summary.txt ||
    fail "letter: $(cat letter/summary.txt)"
  "$huecl" print black.ppm --quiet --page A4 --fit -o a4 >/dev/null
  "$huecl" decode a4/page.hcr -o a4-decoded |
    grep -q ' 4960 x 7016 dots (sheet 210.0 x 297.0 mm, printed 210.0 x 297.0 mm at 0.0, 0.0 mm)' ||
    fail "A4 at 600 dpi"
  # Without --page the page stays the image at --source-dpi.
  "$huecl" print black.ppm --quiet --source-dpi 100 --device-dpi 200 -o plain >/dev/null
  grep -q '^1000 pixels, 16000 dots .* page 12.7 x 5.1 mm, cpu' plain/summary.txt || fail "plain: $(cat plain/summary.txt)"
  expect_error "--fit and --fill contradict each other: --fit shows the whole image, --fill covers the page" refused \
    print black.ppm --page A4 --fit --fill -o refused
  expect_error "--fill needs --page SIZE" refused print black.ppm --fill -o refused
  expect_error "--margins leave nothing to print on the page A5 \(148.0 x 210.0 mm\)" refused \
    print black.ppm --page a5 --margins 74 -o refused
  expect_error "--page allows sides of up to 2000.0 mm, not '2001x1mm'" refused print black.ppm --page 2001x1mm -o refused
  ;;
ppm_memory_stays_bounded)
  # A 36 MB page read from a PPM: memory follows the bands, not the page.
  { printf 'P6\n3000 4000\n255\n'; head -c 36000000 /dev/zero | tr '\0' '\200'; } >big.ppm
  "$huecl" print big.ppm --quiet --threads 2 --device-dpi 300 --dither 1bit -o big >/dev/null
  rm big.ppm
  peak=$(grep -o 'peak memory [0-9]*' big/summary.txt | awk '{ print $3 }')
  [[ $peak -lt 30 ]] || fail "peak memory $peak MiB for a 36 MB image"
  ;;
profile)
  print_and_decode_match profiled --profile "$icc/default_cmyk.icc"
  "$huecl" print "${small[@]}" -o model >/dev/null
  cmp -s profiled/page.hcr model/page.hcr && fail "the profile changed nothing"
  cmp -s profiled/preview.png model/preview.png && fail "the preview does not proof the profile"
  # The raster names its profile; decode finds it moved only when told, and
  # refuses a different profile under the same name.
  cp "$icc/default_cmyk.icc" printer.icc
  "$huecl" print "${small[@]}" --profile printer.icc -o local >/dev/null
  mv printer.icc moved.icc
  expect_error "local/page.hcr: was printed with the profile .*/printer.icc, which is gone; name it with --profile FILE.icc" \
    out decode local/page.hcr -o out
  "$huecl" decode local/page.hcr --profile moved.icc -o local-decoded >/dev/null
  cmp local/preview.png local-decoded/preview.png || fail "decoded proof with the moved profile differs"
  cp "$icc/ps_cmyk.icc" printer.icc
  expect_error ".*/printer.icc: not the profile local/page.hcr was printed with \(its profile ID differs\)" \
    out decode local/page.hcr -o out
  ;;
screens)
  "$huecl" screens -o screens --scale 2 >/dev/null
  # 76 later matrices; earlier: 12 colour and 3 monochrome matrices, and 20
  # sample sheets (4 screen modes x 4 inks, and black in monochrome).
  [[ $(wc -l <screens/index.txt) -eq 111 ]] || fail "expected 111 images, index has $(wc -l <screens/index.txt)"
  [[ $(ls screens/*.png | wc -l) -eq 111 ]] || fail "expected 111 PNGs"
  grep -q '^2bit-screen-3-c.png 34x34 3 thresholds per dot$' screens/index.txt || fail "tile screen missing"
  grep -q '^earlier-screen-2-m.png 17x17 1 threshold per dot$' screens/index.txt || fail "earlier magenta missing"
  grep -q '^earlier-mono-screen-3-k.png 16x16 1 threshold per dot$' screens/index.txt || fail "earlier mono missing"
  [[ $(grep -c 'samples' screens/index.txt) -eq 20 ]] || fail "expected 20 sample sheets"
  # 16 tiles of 32 dots a side with 2-pixel gaps: 542 x 542 in the PNG header.
  [[ $(od -An -tx1 -j16 -N8 screens/earlier-samples-other-y.png | tr -d ' \n') == 0000021e0000021e ]] ||
    fail "sample sheets are not 542 x 542"
  ;;
earlier_engine)
  print_and_decode_match earlier-screens --engine earlier --screen 1
  print_and_decode_match earlier-diffused --engine earlier --diffusion
  print_and_decode_match earlier-mono --engine earlier --diffusion --black-only --screen 3
  print_and_decode_match earlier-direct --engine earlier --match direct --black-mode grey --diffusion
  print_and_decode_match earlier-methods --engine earlier --match eight --brightness 20 --balance 8,10,14 --density 30
  print_and_decode_match earlier-profiled --engine earlier --diffusion --profile "$icc/default_cmyk.icc"
  print_and_decode_match earlier-uneven --engine earlier --diffusion --source-dpi 300x200 --device-dpi 600x300 \
    --band-height 7
  [[ -e earlier-mono/plane-k.pbm && ! -e earlier-mono/plane-c.pbm ]] || fail "black only wrote other planes"
  cmp -s earlier-screens/plane-c.pbm earlier-diffused/plane-c.pbm && fail "diffusion gave the screened planes"
  "$huecl" decode earlier-diffused/page.hcr -o decoded-again | grep -q '(earlier engine, diffusion, screen 3,' ||
    fail "decode does not name the earlier engine and diffusion"
  # Error rows carry from band to band in page order whatever the threads do,
  # so neither the thread count nor the band height changes a byte or a dot.
  for threads in 1 2 5; do
    "$huecl" print "${small[@]}" --engine earlier --diffusion --band-height 16 --threads "$threads" \
      --planes -o "diffused-$threads" >/dev/null
  done
  for threads in 2 5; do
    cmp diffused-1/page.hcr "diffused-$threads/page.hcr" || fail "diffusion differs between 1 and $threads threads"
  done
  for plane in diffused-1/plane-*; do
    cmp "$plane" "earlier-diffused/$(basename "$plane")" || fail "band height changed $(basename "$plane")"
  done
  expect_error "--diffusion needs --engine earlier" out print --diffusion -o out
  expect_error "--engine earlier prints 1 bit per dot: --dither must be 1bit" out \
    print --engine earlier --dither 2bit -o out
  expect_error "--engine earlier matches through 32 grid points per axis: --grid must be 32" out \
    print --engine earlier --grid 17 -o out
  expect_error "--cmy-saturation needs --engine later" out print --engine earlier --cmy-saturation 5 -o out
  expect_error "--engine must be one of later, earlier, not 'old'" out print --engine old -o out
  ;;
lzs_streams)
  "$huecl" print "${small[@]}" -o page >/dev/null
  for buffer in 16 100 4096; do
    "$huecl" lzs compress page/preview.png "packed-$buffer.lzs" --buffer "$buffer" >/dev/null
    "$huecl" lzs decompress "packed-$buffer.lzs" "unpacked-$buffer" --buffer "$buffer" >/dev/null
    cmp page/preview.png "unpacked-$buffer" || fail "round trip with $buffer-byte buffers"
  done
  # A stream written through small buffers reads back through large ones.
  "$huecl" lzs decompress packed-16.lzs crossed --buffer 4096 >/dev/null
  cmp page/preview.png crossed || fail "16-byte stream read with 4096-byte buffers"
  : >empty
  "$huecl" lzs compress --raw empty empty.lzs >/dev/null
  [[ $(od -An -tx1 empty.lzs | tr -d ' ') == c000 ]] || fail "empty raw input is not the end marker alone"
  "$huecl" lzs compress empty framed-empty.lzs >/dev/null
  [[ $(od -An -tx1 framed-empty.lzs | tr -d ' \n') == 894c5a5301c000000000000000000000000000 ]] ||
    fail "empty framed file: $(od -An -tx1 framed-empty.lzs)"
  # Raw streams go both ways; a raw stream is not taken for a framed file.
  "$huecl" lzs compress --raw page/preview.png raw.lzs >/dev/null
  "$huecl" lzs decompress --raw raw.lzs from-raw >/dev/null
  cmp page/preview.png from-raw || fail "raw round trip"
  expect_error "raw.lzs: not an LZS file" none lzs decompress raw.lzs nothing
  head -c 3000 /dev/urandom >noise
  expect_error "noise: not an LZS file" none lzs decompress noise nothing
  # Every flipped bit of a framed text file is refused or harmless.
  for i in 1 2 3 4 5 6 7 8 9 10; do echo "line $i of a small text file"; done >text
  "$huecl" lzs compress text text.lzs >/dev/null
  size=$(stat -c %s text.lzs)
  for ((byte = 0; byte < size; byte += 3)); do
    cp text.lzs flipped.lzs
    original=$(od -An -tu1 -j "$byte" -N1 text.lzs | tr -d ' ')
    printf "\\$(printf %o $(( original ^ 16 )))" | dd of=flipped.lzs bs=1 seek="$byte" conv=notrunc status=none
    if "$huecl" lzs decompress flipped.lzs flipped.txt >/dev/null 2>stderr.txt; then
      cmp -s text flipped.txt || fail "byte $byte flipped decoded to other text"
      rm flipped.txt
    else
      grep -Eq '^huecl: flipped.lzs: (not an|unsupported|corrupt|truncated) LZS' stderr.txt || fail "byte $byte: $(cat stderr.txt)"
      [[ ! -e flipped.txt ]] || fail "a refused file left output"
    fi
  done
  ;;
bad_inputs)
  mkdir -p existing && echo old >existing/keep.txt
  expect_error "cannot open missing.png: No such file or directory" out print missing.png -o out
  mkdir folder.png
  expect_error "folder.png is a folder, not a file" out print folder.png -o out
  echo "plain text" >notes.png
  expect_error "notes.png: not a PNG, JPEG, TIFF, PPM or PGM image" out print notes.png -o out
  "$huecl" print "${small[@]}" -o good >/dev/null
  head -c 400 good/preview.png >truncated.png
  expect_error "truncated.png: corrupt or truncated PNG \(.*\)" out print truncated.png -o out
  # A damaged image found halfway down the page leaves no output either.
  head -c $(( $(stat -c %s good/preview.png) - 30 )) good/preview.png >cut-late.png
  expect_error "cut-late.png: corrupt or truncated PNG \(.*\)" existing print cut-late.png --band-height 4 -o existing
  flip_byte() { printf '\x55' | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
  cp good/preview.png corrupt.png && flip_byte corrupt.png 20
  expect_error "corrupt.png: corrupt or truncated PNG \(.*\)" out print corrupt.png -o out
  make_ppm ramp.ppm 64 64
  head -c 5000 ramp.ppm >short.ppm
  expect_error "short.ppm: truncated PNM file \(pixel data ends early\)" existing print short.ppm --band-height 8 -o existing
  printf 'P6\n64 sixty\n255\n' >header.ppm
  expect_error "header.ppm: corrupt PNM header \(no height\)" out print header.ppm -o out
  expect_error "unknown option '--colour' \(see huecl --help\)" out print --colour -o out
  expect_error "--screen must be 0 to 3, not 7" out print --screen 7 -o out
  expect_error "--lzs-budget must be 0 to 255, not 300" out print --lzs-budget 300 -o out
  expect_error "--balance must be 1 to 30, not 0" out print --balance 0,10,10 -o out
  expect_error "--dither must be one of .*, not 'fine'" out print --dither fine -o out
  expect_error "--band-height 1 holds no whole source row at these resolutions" out \
    print "${small[@]}" --band-height 1 -o out
  expect_error ".*srgb.icc: not a CMYK profile" out print "${small[@]}" --profile "$icc/srgb.icc" -o out
  expect_error "notes.png: not a readable ICC profile.*" out print "${small[@]}" --profile notes.png -o out
  expect_error "--profile needs --match interpolate or direct, which read a colour table" out \
    print "${small[@]}" --match eight --profile "$icc/default_cmyk.icc" -o out
  # Damaged rasters.
  expect_error "notes.png: not a huecl raster file" out decode notes.png -o out
  head -c 300 good/page.hcr >short.hcr
  expect_error "short.hcr: truncated raster file \(in the band .*\)" out decode short.hcr -o out
  cp good/page.hcr flipped.hcr && flip_byte flipped.hcr 200
  expect_error "flipped.hcr: corrupt raster file \(band .* checksum mismatch\)" existing decode flipped.hcr -o existing
  cp good/page.hcr header.hcr && flip_byte header.hcr 12
  expect_error "header.hcr: corrupt raster header \(checksum mismatch\)" out decode header.hcr -o out
  "$huecl" lzs compress good/preview.png packed.lzs >/dev/null
  head -c 100 packed.lzs >cut.lzs
  mkdir -p out
  expect_error "cut.lzs: truncated LZS stream \(no end marker\)" out lzs decompress cut.lzs out/unpacked
  expect_error "cannot create missing/unpacked: No such file or directory" none lzs decompress packed.lzs missing/unpacked
  [[ $(cat existing/keep.txt) == old ]] || fail "an earlier file was touched"
  ;;
outputs_keep_what_they_replace)
  printf 'some text, some text, some text\n' >text
  "$huecl" lzs compress text reference.lzs >/dev/null
  echo old >existing.lzs
  expect_error "existing.lzs already exists \(-f or --force overwrites it\)" none lzs compress text existing.lzs
  [[ $(cat existing.lzs) == old ]] || fail "a refused output was touched"
  "$huecl" lzs compress --force text existing.lzs >/dev/null
  cmp existing.lzs reference.lzs || fail "-f did not replace the file"
  expect_error "text is the input file itself" none lzs compress -f text text
  [[ $(cat text) == "some text, some text, some text" ]] || fail "the input was replaced"
  # A link is written through; a FIFO and a device stay what they are.
  ln -s reference.lzs link.lzs
  "$huecl" lzs decompress -f link.lzs link.lzs 2>/dev/null && fail "a link to the input was accepted"
  echo old >target
  ln -s target link
  "$huecl" lzs compress -f text link >/dev/null
  [[ -L link ]] && cmp target reference.lzs || fail "the link was not written through"
  mkfifo fifo
  cat fifo >from-fifo &
  "$huecl" lzs compress text fifo >/dev/null
  wait $!
  [[ -p fifo ]] && cmp from-fifo reference.lzs || fail "the FIFO was replaced or its reader got other bytes"
  "$huecl" lzs compress text /dev/null >/dev/null
  [[ -c /dev/null ]] || fail "/dev/null is no longer a device"
  # /dev/stdout is whatever standard output is: a pipe or a redirected file.
  [[ $("$huecl" lzs compress text /dev/stdout 2>/dev/null | cmp - reference.lzs && echo same) == same ]] ||
    fail "/dev/stdout into a pipe"
  "$huecl" lzs compress text /dev/stdout >redirected.lzs 2>/dev/null
  cmp redirected.lzs reference.lzs || fail "/dev/stdout redirected to a file"
  # A new run into a folder replaces the earlier run's files and only them.
  "$huecl" print "${small[@]}" --planes -o run >/dev/null
  echo mine >run/keep.txt
  "$huecl" print "${small[@]}" --black-only -o run >/dev/null
  [[ $(ls run | tr '\n' ' ') == "keep.txt page.hcr preview.png summary.txt " ]] || fail "run holds $(ls run)"
  # The input is never replaced or removed as an earlier run's file.
  "$huecl" decode run/page.hcr -o run >/dev/null
  [[ -s run/page.hcr && -s run/preview.png && ! -e run/summary.txt ]] || fail "decode into its input's folder: $(ls run)"
  cp run/preview.png image.png
  cp image.png run/preview.png
  expect_error "run/preview.png is the input file itself" none print run/preview.png -q -o run
  cmp image.png run/preview.png || fail "the input image was replaced"
  # Temporary files of a killed run go; those of a running process stay.
  ended=$(sh -c 'echo $$')
  touch "run/.page.hcr.part-$ended" "run/.preview.png.part-$$"
  "$huecl" print "${small[@]}" -o run >/dev/null
  [[ ! -e run/.page.hcr.part-$ended ]] || fail "a dead run's temporary file stayed"
  [[ -e run/.preview.png.part-$$ ]] || fail "a living process's temporary file was removed"
  # A file of the user's in the way is refused, unless -f: by print,
  # decode and screens alike.
  mkdir mine
  echo "my notes" >mine/summary.txt
  expect_error "mine/summary.txt is not a file huecl wrote there, and would be replaced \(-f or --force replaces it\)" \
    none print "${small[@]}" -o mine
  [[ $(cat mine/summary.txt) == "my notes" && $(ls -A mine) == summary.txt ]] || fail "a refused print touched mine"
  "$huecl" print "${small[@]}" -f -o mine >/dev/null
  grep -q pixels mine/summary.txt || fail "print -f did not replace summary.txt"
  "$huecl" print "${small[@]}" -o mine >/dev/null || fail "what the last run wrote is replaced without -f"
  mkdir decoded
  echo "my picture" >decoded/preview.png
  expect_error "decoded/preview.png is not a file huecl wrote there, and would be replaced \(-f or --force replaces it\)" \
    none decode mine/page.hcr -o decoded
  [[ $(cat decoded/preview.png) == "my picture" ]] || fail "a refused decode touched the picture"
  "$huecl" decode --force mine/page.hcr -o decoded >/dev/null
  cmp decoded/preview.png mine/preview.png || fail "decode --force did not replace preview.png"
  mkdir drawn
  echo "my index" >drawn/index.txt
  expect_error "drawn/index.txt is not a file huecl wrote there, and would be replaced \(-f or --force replaces it\)" \
    none screens -q -o drawn
  "$huecl" screens -q -f -o drawn >/dev/null
  [[ $(cat drawn/index.txt) != "my index" ]] || fail "screens -f did not replace index.txt"
  ;;
decode_documents)
  # A document: pages one after another, as the CUPS filter writes them.
  "$huecl" print "${small[@]}" -o one >/dev/null
  "$huecl" print "${small[@]}" --black-only -o two >/dev/null
  "$huecl" print "${small[@]}" --dither 1bit -o three >/dev/null
  cat one/page.hcr two/page.hcr three/page.hcr >document.hcr
  "$huecl" decode document.hcr -q -o whole >whole.txt
  [[ $(grep -c '^page [123]: ' whole.txt) -eq 3 ]] || fail "not three pages: $(cat whole.txt)"
  # The list of what the run wrote is the folder's hidden .huecl-outputs,
  # whatever page came last, and the next run into the folder replaces it.
  [[ $(ls -A whole | tr '\n' ' ') == ".huecl-outputs page-1-preview.png page-2-preview.png page-3-preview.png " ]] ||
    fail "decode of a document wrote $(ls -A whole)"
  [[ $(cat whole/.huecl-outputs | tr '\n' ' ') == "page-1-preview.png page-2-preview.png page-3-preview.png " ]] ||
    fail "the list holds $(cat whole/.huecl-outputs)"
  cp -r whole again
  "$huecl" decode document.hcr --pages 2 -q -o again >/dev/null
  [[ $(ls -A again | tr '\n' ' ') == ".huecl-outputs page-2-preview.png " ]] || fail "a second decode left $(ls -A again)"
  size1=$(stat -c %s one/page.hcr)
  size2=$(stat -c %s two/page.hcr)
  # Cut inside page 3, as a killed filter leaves a device file: pages 1
  # and 2 are decoded, then the cut is named and the exit status is 1.
  head -c $((size1 + size2 + 1000)) document.hcr >cut.hcr
  status=0
  "$huecl" decode cut.hcr -q -o cut >cut.txt 2>cut.err || status=$?
  [[ $status -eq 1 ]] || fail "a cut document exited with $status"
  [[ $(wc -l <cut.err) -eq 1 ]] &&
    grep -Eqx 'huecl: cut.hcr: page 3 is cut or damaged \(truncated raster file \(in the page 3 band [0-9]+\)\); the 2 whole pages before it are decoded' cut.err ||
    fail "the cut was reported as: $(cat cut.err)"
  [[ $(grep -c '^page [12]: ' cut.txt) -eq 2 ]] || fail "not two pages decoded: $(cat cut.txt)"
  for page in 1 2; do
    cmp cut/page-$page-preview.png whole/page-$page-preview.png || fail "page $page of the cut file differs"
  done
  [[ ! -e cut/page-3-preview.png ]] || fail "the cut page was written"
  # Cut inside page 2's header: page 1 alone.
  head -c $((size1 + 20)) document.hcr >header-cut.hcr
  status=0
  "$huecl" decode header-cut.hcr -q -o header-cut >/dev/null 2>header-cut.err || status=$?
  [[ $status -eq 1 ]] &&
    grep -qx 'huecl: header-cut.hcr: page 2 is cut or damaged (truncated raster file (in the header)); the 1 whole page before it is decoded' header-cut.err ||
    fail "header cut: status $status: $(cat header-cut.err)"
  cmp header-cut/page-1-preview.png whole/page-1-preview.png || fail "page 1 before a header cut differs"
  # A damaged page in the middle: the pages before it.
  flip_byte() { printf '\x55' | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
  cp document.hcr damaged.hcr && flip_byte damaged.hcr $((size1 + 300))
  status=0
  "$huecl" decode damaged.hcr -q -o damaged >/dev/null 2>damaged.err || status=$?
  [[ $status -eq 1 ]] && grep -q '^huecl: damaged.hcr: page 2 is cut or damaged (corrupt raster' damaged.err ||
    fail "damaged: status $status: $(cat damaged.err)"
  [[ -e damaged/page-1-preview.png && ! -e damaged/page-2-preview.png && ! -e damaged/page-3-preview.png ]] ||
    fail "damaged: $(ls damaged)"
  # --pages: a page, a list, a range; the names stay the document's.
  "$huecl" decode document.hcr --pages 2 -q -o second >second.txt
  [[ $(ls second) == page-2-preview.png ]] || fail "--pages 2 wrote $(ls second)"
  cmp second/page-2-preview.png whole/page-2-preview.png || fail "--pages 2 gave another page 2"
  grep -q '^page 2: ' second.txt && [[ $(wc -l <second.txt) -eq 1 ]] || fail "--pages 2 said: $(cat second.txt)"
  "$huecl" decode document.hcr --pages 1,3 -q -o odd >/dev/null
  [[ $(ls odd | tr '\n' ' ') == "page-1-preview.png page-3-preview.png " ]] || fail "--pages 1,3 wrote $(ls odd)"
  "$huecl" decode document.hcr --pages=2-3 --planes -q -o range >/dev/null
  [[ -e range/page-2-plane-k.pgm && -e range/page-3-plane-k.pbm && ! -e range/page-1-preview.png ]] ||
    fail "--pages=2-3 wrote $(ls range)"
  # Pages before a cut decode cleanly; the cut is reported when asked for.
  "$huecl" decode cut.hcr --pages 1-2 -q -o before-cut >/dev/null || fail "the whole pages of a cut file"
  expect_error "cut.hcr: page 3 is cut or damaged \(truncated raster file \(in the page 3 band [0-9]+\)\); --pages asks for no page before it" \
    beyond-cut decode cut.hcr --pages 3-4 -o beyond-cut
  expect_error "document.hcr holds 3 pages; --pages asks for page 4" out decode document.hcr --pages 2-4 -o out
  expect_error "--pages: the range 3-1 ends before it starts" out decode document.hcr --pages 3-1 -o out
  expect_error "--pages needs pages as FIRST-LAST or N, in a list with commas, not '1,,2'" out \
    decode document.hcr --pages 1,,2 -o out
  expect_error "--pages needs the raster file by its name, not standard input" out \
    decode - --pages 1 -o out <document.hcr
  ;;
help_and_options)
  for command in print decode lzs screens; do
    for help in -h --help; do
      "$huecl" "$command" "$help" >help.txt 2>stderr.txt || fail "$command $help failed"
      [[ ! -s stderr.txt ]] || fail "$command $help wrote to standard error"
      head -1 help.txt | grep -q "^usage: huecl $command " || fail "$command $help: $(head -1 help.txt)"
    done
  done
  "$huecl" --help | grep -q -- '--version' || fail "--version is not in the help"
  "$huecl" --version | grep -Eq '^huecl [0-9]+\.[0-9]+\.[0-9]+$' || fail "no version"
  "$huecl" print --size=160x226 --dither=1bit -q --output=joined >/dev/null
  "$huecl" print --size 160x226 --dither 1bit -q --output separate >/dev/null
  cmp joined/page.hcr separate/page.hcr || fail "--option=value differs from --option value"
  grep -Eq ', wall [0-9.]+ seconds on [0-9]+ threads?,' joined/summary.txt || fail "no wall time: $(cat joined/summary.txt)"
  ;;
standard_streams)
  make_ppm ramp.ppm 97 61
  "$huecl" print ramp.ppm -q -o from-file >/dev/null
  cat ramp.ppm | "$huecl" print - -q -o from-pipe >/dev/null
  cmp from-file/page.hcr from-pipe/page.hcr || fail "a PPM through a pipe gave another raster"
  cat from-file/preview.png | "$huecl" print - -q -o png-pipe >/dev/null
  "$huecl" print - -q -o png-redirect <from-file/preview.png >/dev/null
  cmp png-pipe/page.hcr png-redirect/page.hcr || fail "a piped PNG differs from a redirected one"
  cat from-file/page.hcr | "$huecl" decode - -q -o decoded >/dev/null
  cmp from-file/preview.png decoded/preview.png || fail "decoding standard input gave another preview"
  "$huecl" lzs compress - - <ramp.ppm 2>counts.txt | "$huecl" lzs decompress -q - - >round-trip.ppm
  cmp ramp.ppm round-trip.ppm || fail "lzs through standard streams"
  grep -q "^$(stat -c %s ramp.ppm) bytes in, [0-9]* bytes out$" counts.txt || fail "counts: $(cat counts.txt)"
  echo "plain text" | expect_error "standard input: not a PNG, JPEG, TIFF, PPM or PGM image" out print - -o out
  expect_error "an output folder cannot be standard output \(-o -\)" none print ramp.ppm -o -
  ;;
black_only_prints_grey)
  # An orange field: the colour methods give it almost no black.
  { printf 'P6\n40 40\n255\n'; for ((i = 0; i < 1600; i++)); do printf '\377\200\000'; done; } >orange.ppm
  inked() { grep -o '([0-9]* inked)' "$1/summary.txt" | tr -dc 0-9; }
  "$huecl" print orange.ppm -q --black-only -o alone >/dev/null
  "$huecl" print orange.ppm -q --black-only --match black -o grey >/dev/null
  "$huecl" print orange.ppm -q --black-only --match interpolate -o colour >/dev/null
  cmp alone/page.hcr grey/page.hcr || fail "--black-only alone does not match by grey"
  dots=$(( 80 * 80 ))
  [[ $(inked alone) -gt $(( dots / 4 )) ]] || fail "orange printed in black only inks $(inked alone) of $dots dots"
  [[ $(inked colour) -lt $(( dots / 20 )) ]] || fail "the colour method now inks orange in black: $(inked colour)"
  ;;
plane_formats_and_progress)
  # decode writes planes only when asked, in the format asked for, and the
  # same bytes as print.
  "$huecl" print "${small[@]}" -o page >/dev/null
  "$huecl" decode page/page.hcr -o preview-only >/dev/null
  [[ $(ls preview-only) == preview.png ]] || fail "decode without --planes wrote $(ls preview-only)"
  for dither in 1bit 2bit 4bit; do
    for format in png tiff; do
      "$huecl" print "${small[@]}" --dither "$dither" --planes="$format" -o "print-$dither-$format" >/dev/null
      "$huecl" decode "print-$dither-$format/page.hcr" --planes="$format" -o "decode-$dither-$format" >/dev/null
      for file in "print-$dither-$format"/plane*; do
        cmp "$file" "decode-$dither-$format/$(basename "$file")" || fail "$dither $format: $(basename "$file") differs"
      done
    done
    [[ $(ls "print-$dither-png"/plane-*.png | wc -l) -eq 4 ]] || fail "$dither: not four PNG planes"
    [[ -s print-$dither-tiff/planes.tif && ! -e print-$dither-tiff/plane-c.pgm ]] || fail "$dither: no TIFF"
  done
  head -c 4 print-1bit-tiff/planes.tif | od -An -c | grep -q 'I   I   \*  \\0' || fail "planes.tif is no TIFF"
  head -c 8 print-2bit-png/plane-k.png | od -An -tx1 | grep -q '89 50 4e 47' || fail "plane-k.png is no PNG"
  expect_error "--planes must be one of pnm, png, tiff, not 'gif'" none decode page/page.hcr --planes=gif -o out
  # On a terminal decode and lzs show progress; -q and a pipe show none.
  if script -qec true /dev/null >/dev/null 2>&1; then
    script -qec "'$huecl' decode page/page.hcr -o on-terminal" /dev/null >terminal.txt
    grep -q 'huecl decode \[' terminal.txt || fail "no progress bar for decode on a terminal"
    script -qec "'$huecl' decode page/page.hcr -q -o quiet-terminal" /dev/null >quiet.txt
    grep -q '\[#*\.*\]' quiet.txt && fail "decode -q showed progress"
    script -qec "'$huecl' lzs compress page/page.hcr packed.lzs" /dev/null >lzs-terminal.txt
    grep -q 'huecl lzs compress \[' lzs-terminal.txt || fail "no progress bar for lzs on a terminal"
  fi
  "$huecl" decode page/page.hcr -o piped 2>stderr.txt >/dev/null
  [[ ! -s stderr.txt ]] || fail "progress went to a pipe"
  ;;
version)
  # The tool prints the version that the public header carries.
  header=$source_root/include/huecl32.h
  wanted=$(sed -n 's/^#define HUECL_VERSION_STRING "\(.*\)"$/\1/p' "$header")
  [[ -n $wanted ]] || fail "no version string in $header"
  said=$("$huecl" --version)
  [[ $said == "huecl $wanted" ]] || fail "huecl --version said '$said', wanted 'huecl $wanted'"
  ;;
jpeg_tiff_and_16_bit_inputs)
  # TIFF and 16-bit PPM hold the ramp exactly: their pages are the PPM's.
  make_ppm ramp.ppm 97 61
  make_ppm16 ramp16.ppm 97 61
  "$images" tiff-rgb 97 61 ramp.tif
  "$images" tiff-rgb16-tiled 97 61 ramp16.tif
  "$images" jpeg-rgb 97 61 ramp.jpg
  "$images" jpeg-progressive 97 61 progressive.jpg
  for image in ramp.ppm ramp16.ppm ramp.tif ramp16.tif ramp.jpg progressive.jpg; do
    "$huecl" print "$image" -q --band-height 8 -o "from-$image" >/dev/null
    grep -q '^5917 pixels' "from-$image/summary.txt" || fail "$image: $(cat "from-$image/summary.txt")"
  done
  for image in ramp16.ppm ramp.tif ramp16.tif; do
    cmp from-ramp.ppm/page.hcr "from-$image/page.hcr" || fail "$image printed another page than ramp.ppm"
  done
  # Standard input is sniffed for JPEG and TIFF too.
  cat ramp.jpg | "$huecl" print - -q --band-height 8 -o jpeg-pipe >/dev/null
  cmp from-ramp.jpg/page.hcr jpeg-pipe/page.hcr || fail "a piped JPEG gave another raster"
  cat ramp16.tif | "$huecl" print - -q --band-height 8 -o tiff-pipe >/dev/null
  cmp from-ramp.ppm/page.hcr tiff-pipe/page.hcr || fail "a piped TIFF gave another raster"
  # The copy of a piped TIFF is held to --max-memory.
  "$images" tiff-rgb 700 600 wide.tif
  expect_error "standard input: a TIFF on a pipe is copied before it is read, and this one exceeds the limit of 1 MiB \(--max-memory raises it\)" \
    out print - --max-memory 1 -o out < <(cat wide.tif)
  cat wide.tif | "$huecl" print - -q --max-memory 2 -o wide-pipe >/dev/null
  "$images" tiff-pages 97 61 pages.tif
  "$huecl" print pages.tif -q -o pages >/dev/null 2>notice.txt
  "$huecl" decode pages/page.hcr -q -o pages-decoded >decoded.txt
  grep -q ', interpolate matching)$' decoded.txt || fail "an RGB TIFF decoded as: $(cat decoded.txt)"
  grep -q '^huecl: pages.tif holds 3 pages; the first is printed$' notice.txt || fail "pages: $(cat notice.txt)"
  # CMYK goes straight to halftoning: no ink stays no ink (Adobe's inverted
  # file included), full black inks exactly the black plane.
  for format in jpeg tiff; do
    "$images" "$format-cmyk-blank" 40 30 "blank.$format"
    "$images" "$format-cmyk-black" 40 30 "black.$format"
    "$huecl" print "blank.$format" -q -o "blank-$format" >/dev/null
    [[ $(inked_of "blank-$format") -eq 0 ]] || fail "blank $format CMYK inked $(inked_of "blank-$format") dots"
    "$huecl" print "black.$format" -q --planes -o "black-$format" >/dev/null
    [[ $(inked_of "black-$format") -eq $(( $(dots_of "black-$format") / 4 )) ]] ||
      fail "black $format CMYK: $(cat "black-$format/summary.txt")"
    cmp "black-$format/plane-k.pgm" "black-jpeg/plane-k.pgm" || fail "black $format: another black plane"
    # The container records that these colours were never matched.
    "$huecl" decode "black-$format/page.hcr" -q -o "black-$format-decoded" >decoded.txt
    grep -q '(later engine, 2bit, screen 3, CMYK source, no matching)$' decoded.txt ||
      fail "black $format CMYK decoded as: $(cat decoded.txt)"
    "$huecl" print "black.$format" -q --engine earlier --diffusion -o "earlier-$format" >/dev/null
    [[ $(inked_of "earlier-$format") -eq $(( $(dots_of "earlier-$format") / 4 )) ]] ||
      fail "black $format CMYK, earlier engine: $(cat "earlier-$format/summary.txt")"
  done
  # Damaged files and oversized headers: one line, nothing left behind.
  mkdir -p existing && echo old >existing/keep.txt
  head -c $(( $(stat -c %s ramp.jpg) - 200 )) ramp.jpg >cut.jpg
  expect_error "cut.jpg: corrupt or truncated JPEG \(Premature end of JPEG file\)" existing \
    print cut.jpg --band-height 8 -o existing
  head -c 2000 ramp.tif >cut.tif
  expect_error "cut.tif: not a readable TIFF \(.*\)" out print cut.tif -o out
  printf 'P6\n100000 100000\n255\n' >huge.ppm
  expect_error "huge.ppm: image of 100000x100000 \(10000000000 pixels\) exceeds the limit of 268435456 pixels \(--max-pixels raises it\)" \
    out print huge.ppm -o out
  expect_error "ramp.jpg: image of 97x61 \(5917 pixels\) exceeds the limit of 5916 pixels \(--max-pixels raises it\)" \
    out print ramp.jpg --max-pixels 5916 -o out
  "$huecl" print ramp.jpg -q --max-pixels 5917 -o at-limit >/dev/null
  "$images" jpeg-progressive 1500 1500 large.jpg
  expect_error "large.jpg: decoding this progressive or multi-scan JPEG takes more than the limit of 1 MiB \(--max-memory raises it\)" \
    out print large.jpg --max-memory 1 -o out
  [[ $(cat existing/keep.txt) == old ]] || fail "an earlier file was touched"
  ;;
jpeg_and_tiff_memory_stays_bounded)
  # 36 MB pages from a JPEG and a TIFF: memory follows the bands.
  "$images" jpeg-rgb 3000 4000 big.jpg
  "$images" tiff-rgb 3000 4000 big.tif
  for image in big.jpg big.tif; do
    "$huecl" print "$image" --quiet --threads 2 --device-dpi 300 --dither 1bit -o "out-$image" >/dev/null
    peak=$(grep -o 'peak memory [0-9]*' "out-$image/summary.txt" | awk '{ print $3 }')
    [[ $peak -lt 30 ]] || fail "peak memory $peak MiB for $image"
  done
  ;;
best_lzs)
  # A page printed with the best encoder decodes to the very planes of the
  # exact one, in fewer bytes, and says how many it saved.
  for dither in 1bit 2bit 4bit; do
    "$huecl" print "${small[@]}" --dither "$dither" -o "exact-$dither" >/dev/null
    "$huecl" print "${small[@]}" --dither "$dither" --lzs best -o "best-$dither" >/dev/null
    ! grep -q "saved" "exact-$dither/summary.txt" || fail "$dither: the exact encoder reports savings"
    for encoder in exact best; do
      "$huecl" decode "$encoder-$dither/page.hcr" --planes -o "$encoder-$dither-planes" >/dev/null
    done
    for plane in "exact-$dither-planes"/plane-*; do
      cmp "$plane" "best-$dither-planes/$(basename "$plane")" || fail "$dither: $(basename "$plane") differs"
    done
    exact_size=$(stat -c %s "exact-$dither/page.hcr")
    best_size=$(stat -c %s "best-$dither/page.hcr")
    [[ $best_size -lt $exact_size ]] || fail "$dither: best wrote $best_size bytes, exact $exact_size"
    saved=$(grep -o 'best LZS saved [0-9]* bytes' "best-$dither/summary.txt" | awk '{ print $4 }')
    [[ $saved -eq $((exact_size - best_size)) ]] || fail "$dither: saved $saved, files differ by $((exact_size - best_size))"
  done
  expect_error "--lzs must be one of exact, best, not 'small'" out print --lzs small -o out
  # lzs compress --best: a framed file as ever, smaller, read by the same decompress.
  "$huecl" print "${small[@]}" --planes -o page >/dev/null
  for plane in page/plane-c.pgm; do
    "$huecl" lzs compress "$plane" exact.lzs >/dev/null
    "$huecl" lzs compress --best --buffer 16 "$plane" best.lzs >/dev/null
    "$huecl" lzs decompress best.lzs unpacked >/dev/null
    cmp "$plane" unpacked || fail "best round trip"
    [[ $(stat -c %s best.lzs) -lt $(stat -c %s exact.lzs) ]] || fail "lzs --best is not smaller"
    [[ $(head -c 5 best.lzs | od -An -tx1 | tr -d ' \n') == 894c5a5301 ]] || fail "lzs --best is not framed"
  done
  "$huecl" lzs compress --best - - <page/plane-m.pgm 2>/dev/null | "$huecl" lzs decompress -q - - >piped
  cmp page/plane-m.pgm piped || fail "best through pipes"
  expect_error "--best is an option of lzs compress" none lzs decompress --best best.lzs nothing
  ;;
interrupted_run_leaves_nothing)
  # A page far too large to finish before the signal arrives.
  "$huecl" print --quiet --size 8000x12000 -o interrupted &
  sleep 1
  kill -INT $!
  status=0
  wait $! || status=$?
  [[ $status -eq 130 ]] || fail "interrupted print exited with $status"
  [[ ! -e interrupted ]] || fail "interrupted print left $(ls -A interrupted)"
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
echo "passed: $case_name"

#include "colour/later/dither_process.h"

#include <array>

#if defined(__SSE2__)
#  include <emmintrin.h>
#endif

#include "colour/later/dither_process_layout.h"
#include "common/byte_access.h"

namespace huecl::later {

namespace {

// Matrices up to this edge take the fast paths: set-up builds 34 at most.
// The row copies of four planes live on the stack, and a printer driver
// may call from a thread with little of it, so larger caller-made matrices
// take the general procedure rather than a bigger frame.
constexpr std::uint32_t kFastMatrixEdge = 34;

template <DotDepth Depth>
constexpr std::uint32_t dotsPerByte = 8u / static_cast<std::uint32_t>(Depth);

// One plane's screen for the current matrix row, laid out so that a dot
// value costs no division and no data-dependent branch. Columns run on
// past the edge by one output byte, so a byte's dots never wrap inside it.
template <DotDepth Depth>
class RowScreen;

template <>
class RowScreen<DotDepth::one> {
public:
    void load(const std::uint8_t* matrixRow, std::uint32_t size) noexcept {
        for (std::uint32_t c = 0; c < size + 8; ++c) thresholds_[c] = matrixRow[c % size];
#if defined(__SSE2__)
        for (std::uint32_t c = 0; c < size + 16; ++c) flipped_[c] = matrixRow[c % size] ^ 0x80u;
#endif
    }
    std::uint32_t value(std::uint32_t level, std::uint32_t column) const noexcept {
        return level > thresholds_[column] ? 1u : 0u;
    }
#if defined(__SSE2__)
    // Sixteen thresholds from column on, top bits flipped for signed compares.
    __m128i flippedThresholds(std::uint32_t column) const noexcept {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(flipped_.data() + column));
    }
#endif

private:
    std::array<std::uint8_t, kFastMatrixEdge + 8> thresholds_;
#if defined(__SSE2__)
    std::array<std::uint8_t, kFastMatrixEdge + 16> flipped_;
#endif
};

// Two bits: the probe order t0, t2, t1 gives the same value as counting
// the levels above t0, max(t0, min(t1, t2)) and max(t0, t2), which holds
// for cells in any order and needs no branch.
template <>
class RowScreen<DotDepth::two> {
public:
    void load(const std::uint8_t* matrixRow, std::uint32_t size) noexcept {
        for (std::uint32_t c = 0; c < size + kExtension; ++c) {
            const std::uint8_t* const cell = matrixRow + 3 * (c % size);
            const std::uint8_t t0 = cell[0], t1 = cell[1], t2 = cell[2];
            const std::uint8_t lower = t1 < t2 ? t1 : t2;
            first_[c] = t0;
            second_[c] = lower > t0 ? lower : t0;
            third_[c] = t2 > t0 ? t2 : t0;
#if defined(__SSE2__)
            flippedFirst_[c] = first_[c] ^ 0x80u;
            flippedSecond_[c] = second_[c] ^ 0x80u;
            flippedThird_[c] = third_[c] ^ 0x80u;
#endif
        }
    }
    std::uint32_t value(std::uint32_t level, std::uint32_t column) const noexcept {
        return static_cast<std::uint32_t>(level > first_[column]) + (level > second_[column]) +
               (level > third_[column]);
    }
#if defined(__SSE2__)
    // Dot values of sixteen flipped levels from column on, one per byte.
    __m128i values(__m128i flippedLevels, std::uint32_t column) const noexcept {
        const auto at = [column](const std::array<std::uint8_t, kFastMatrixEdge + kExtension>& table) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(table.data() + column));
        };
        const __m128i sum = _mm_add_epi8(_mm_add_epi8(_mm_cmpgt_epi8(flippedLevels, at(flippedFirst_)),
                                                      _mm_cmpgt_epi8(flippedLevels, at(flippedSecond_))),
                                         _mm_cmpgt_epi8(flippedLevels, at(flippedThird_)));
        return _mm_sub_epi8(_mm_setzero_si128(), sum);
    }
#endif

private:
#if defined(__SSE2__)
    static constexpr std::uint32_t kExtension = 16;
    std::array<std::uint8_t, kFastMatrixEdge + kExtension> flippedFirst_, flippedSecond_, flippedThird_;
#else
    static constexpr std::uint32_t kExtension = 4;
#endif
    std::array<std::uint8_t, kFastMatrixEdge + kExtension> first_, second_, third_;
};

// Four bits: the binary search of a cell is monotonic in the level, so it
// equals counting the levels above fifteen ascending breakpoints. For an
// ascending cell those are its thresholds; other cells get the breakpoints
// that reproduce their probe order. The count is then one vector compare
// where SSE2 is there, else a branchless search.
template <>
class RowScreen<DotDepth::four> {
public:
    void load(const std::uint8_t* matrixRow, std::uint32_t size) noexcept {
        for (std::uint32_t c = 0; c < size; ++c) loadCell(matrixRow + 15 * c, breakpoints_[c].bytes);
        for (std::uint32_t c = size; c < size + 2; ++c) breakpoints_[c] = breakpoints_[c % size];
    }
#if defined(__SSE2__)
    std::uint32_t value(std::uint32_t level, std::uint32_t column) const noexcept {
        // Signed byte compares see the breakpoints stored with their top
        // bit flipped; the set lanes form a prefix, so the count is the
        // position of the first clear one.
        const __m128i flippedLevel = _mm_set1_epi8(static_cast<char>(level ^ 0x80u));
        const __m128i above = _mm_cmpgt_epi8(flippedLevel, breakpoints_[column].vector);
        const auto mask = static_cast<std::uint32_t>(_mm_movemask_epi8(above));
        return static_cast<std::uint32_t>(__builtin_ctz(~mask));
    }
#else
    std::uint32_t value(std::uint32_t level, std::uint32_t column) const noexcept {
        const std::uint8_t* const b = breakpoints_[column].bytes;
        std::uint32_t count = level > b[7] ? 8u : 0u;
        count += level > b[count + 3] ? 4u : 0u;
        count += level > b[count + 1] ? 2u : 0u;
        count += level > b[count] ? 1u : 0u;
        return count;
    }
#endif

private:
#if defined(__SSE2__)
    static constexpr std::uint8_t kStoredFlip = 0x80;
#else
    static constexpr std::uint8_t kStoredFlip = 0;
#endif
    static void loadCell(const std::uint8_t* cell, std::uint8_t* breakpoints) noexcept {
        breakpoints[15] = 255 ^ kStoredFlip;  // no level exceeds it
        bool ascending = true;
        for (std::uint32_t k = 1; k < 15; ++k) ascending = ascending && cell[k - 1] <= cell[k];
        if (ascending) {
            for (std::uint32_t k = 0; k < 15; ++k) breakpoints[k] = cell[k] ^ kStoredFlip;
            return;
        }
        // The value only changes where the level passes a threshold, so the
        // values just above each threshold fix the whole step function:
        // breakpoint v is the lowest threshold whose next level reaches v.
        std::uint8_t lowest[15];
        for (std::uint32_t v = 0; v < 15; ++v) lowest[v] = 255;
        for (std::uint32_t k = 0; k < 15; ++k) {
            if (cell[k] == 255) continue;
            const std::uint32_t reached = fourBitDotValue(cell[k] + 1u, cell);
            for (std::uint32_t v = 0; v < reached; ++v) {
                if (cell[k] < lowest[v]) lowest[v] = cell[k];
            }
        }
        for (std::uint32_t v = 0; v < 15; ++v) breakpoints[v] = lowest[v] ^ kStoredFlip;
    }

    union Cell {
        std::uint8_t bytes[16];
#if defined(__SSE2__)
        __m128i vector;
#endif
    };
    std::array<Cell, kFastMatrixEdge + 2> breakpoints_;
};

template <DotDepth Depth>
struct PlaneCursor {
    RowScreen<Depth> screen;
    std::uint8_t* row;
    std::uint32_t size;
    std::uint32_t column;
    std::uint32_t channel;
};

template <DotDepth Depth, std::size_t Planes>
void prepareCursors(const RowLayout& layout, const QvrDrwInf& draw, std::uint32_t j,
                    std::array<PlaneCursor<Depth>, Planes>& cursors) noexcept {
    const std::uint32_t rowOffset = (draw.devRow + j) * draw.lineBytes;
    const std::uint32_t deviceRow = draw.devY + j;
    for (std::size_t p = 0; p < Planes; ++p) {
        const PlaneLayout& plane = layout.planes[p];
        PlaneCursor<Depth>& cursor = cursors[p];
        const std::uint32_t matrixRow = deviceRow % plane.size;
        cursor.screen.load(plane.matrix + matrixRow * plane.size * layout.thresholdsPerCell, plane.size);
        cursor.row = plane.buffer + rowOffset;
        cursor.size = plane.size;
        cursor.column = draw.devX % plane.size;
        cursor.channel = plane.channel;
    }
}

template <DotDepth Depth, std::size_t Planes>
void clearRowTail(std::array<PlaneCursor<Depth>, Planes>& cursors, std::uint32_t firstByte,
                  std::uint32_t lineBytes) noexcept {
    for (PlaneCursor<Depth>& cursor : cursors) {
        for (std::uint32_t b = firstByte; b < lineBytes; ++b) cursor.row[b] = 0;
    }
}

#if defined(__SSE2__)
// Bit order of a movemask (dot 0 in bit 0) turned into the plane's (dot 0
// in bit 7).
constexpr std::array<std::uint8_t, 256> kReversedBits = [] {
    std::array<std::uint8_t, 256> table{};
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        std::uint32_t reversed = 0;
        for (std::uint32_t bit = 0; bit < 8; ++bit) reversed |= ((byte >> bit) & 1u) << (7 - bit);
        table[byte] = static_cast<std::uint8_t>(reversed);
    }
    return table;
}();

// One- and two-bit rows sixteen dots at a time: the levels of each plane
// are gathered from four loads of four pixels and compared with sixteen
// cells at once. Returns the dots done; the byte loop finishes the row.
template <DotDepth Depth, std::size_t Planes>
std::uint32_t ditherBlocks(const std::uint8_t* pixels, std::uint32_t dots, std::uint32_t firstByte,
                           std::array<PlaneCursor<Depth>, Planes>& cursors) noexcept {
    constexpr std::uint32_t bytesPerBlock = 16 / dotsPerByte<Depth>;
    const std::uint32_t blocks = dots / 16;
    __m128i channelMask = _mm_setzero_si128();
    for (const auto& cursor : cursors) {
        channelMask = _mm_or_si128(channelMask, _mm_set1_epi32(static_cast<int>(0xFFu << (8 * cursor.channel))));
    }
    const __m128i lowByte = _mm_set1_epi32(0xFF);
    const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
    for (std::uint32_t block = 0; block < blocks; ++block, pixels += 64) {
        const __m128i* const source = reinterpret_cast<const __m128i*>(pixels);
        const __m128i quad0 = _mm_loadu_si128(source), quad1 = _mm_loadu_si128(source + 1);
        const __m128i quad2 = _mm_loadu_si128(source + 2), quad3 = _mm_loadu_si128(source + 3);
        const __m128i any =
            _mm_and_si128(_mm_or_si128(_mm_or_si128(quad0, quad1), _mm_or_si128(quad2, quad3)), channelMask);
        const bool blank = _mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) == 0xFFFF;
        for (auto& cursor : cursors) {
            std::uint8_t* const row = cursor.row + firstByte + block * bytesPerBlock;
            if (blank) {
                for (std::uint32_t b = 0; b < bytesPerBlock; ++b) row[b] = 0;
            } else {
                const __m128i shift = _mm_cvtsi32_si128(static_cast<int>(8 * cursor.channel));
                const __m128i levels0 = _mm_packs_epi32(_mm_and_si128(_mm_srl_epi32(quad0, shift), lowByte),
                                                        _mm_and_si128(_mm_srl_epi32(quad1, shift), lowByte));
                const __m128i levels1 = _mm_packs_epi32(_mm_and_si128(_mm_srl_epi32(quad2, shift), lowByte),
                                                        _mm_and_si128(_mm_srl_epi32(quad3, shift), lowByte));
                const __m128i levels = _mm_xor_si128(_mm_packus_epi16(levels0, levels1), flip);
                if constexpr (Depth == DotDepth::one) {
                    const __m128i above = _mm_cmpgt_epi8(levels, cursor.screen.flippedThresholds(cursor.column));
                    const auto mask = static_cast<std::uint32_t>(_mm_movemask_epi8(above));
                    row[0] = kReversedBits[mask & 0xFFu];
                    row[1] = kReversedBits[mask >> 8];
                } else {
                    // Two-bit values a b c d of four dots become the byte
                    // abcd: pairs into nibbles in 16-bit lanes, nibbles into
                    // bytes in 32-bit lanes, then the lanes' low bytes.
                    const __m128i values = cursor.screen.values(levels, cursor.column);
                    const __m128i pairs = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(values, _mm_set1_epi16(0xFF)), 2),
                                                       _mm_srli_epi16(values, 8));
                    const __m128i quads = _mm_or_si128(_mm_slli_epi32(_mm_and_si128(pairs, _mm_set1_epi32(0xFFFF)), 4),
                                                       _mm_srli_epi32(pairs, 16));
                    const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(quads, quads), _mm_setzero_si128());
                    bytes::storeLittleEndian32(row, static_cast<std::uint32_t>(_mm_cvtsi128_si32(packed)));
                }
            }
            cursor.column += 16;
            while (cursor.column >= cursor.size) cursor.column -= cursor.size;
        }
    }
    return blocks * 16;
}
#endif

// Dots from consecutive pixels into the row from byte firstByte on; a
// partial last byte is padded with zeros. Each byte takes its dots from
// the extended matrix row without wrapping, the column advances once a
// byte. Runs of pixels with no colorant in the written planes give zero
// bytes without a look-up, as on the white of a page. Returns the bytes
// written.
template <DotDepth Depth, std::size_t Planes>
std::uint32_t ditherDotRun(const std::uint8_t* pixels, std::uint32_t dots, std::uint32_t firstByte,
                           std::array<PlaneCursor<Depth>, Planes>& cursors) noexcept {
    constexpr std::uint32_t perByte = dotsPerByte<Depth>;
    constexpr std::uint32_t bits = static_cast<std::uint32_t>(Depth);
    const std::uint32_t fullBytes = dots / perByte;
    std::uint32_t doneBytes = 0;
#if defined(__SSE2__)
    if constexpr (Depth != DotDepth::four) {
        doneBytes = ditherBlocks(pixels, dots, firstByte, cursors) / perByte;
        pixels += 4 * perByte * doneBytes;
    }
#endif
    std::uint32_t channelMask = 0;
    for (const PlaneCursor<Depth>& cursor : cursors) channelMask |= 0xFFu << (8 * cursor.channel);
    for (std::uint32_t b = doneBytes; b < fullBytes; ++b, pixels += 4 * perByte) {
        std::uint32_t any = 0;
        for (std::uint32_t i = 0; i < perByte; ++i) {
            any |= bytes::loadLittleEndian32(pixels + 4 * i);
        }
        const bool blank = (any & channelMask) == 0;
        for (PlaneCursor<Depth>& cursor : cursors) {
            std::uint32_t byte = 0;
            if (!blank) {
                const std::uint8_t* const levels = pixels + cursor.channel;
                for (std::uint32_t i = 0; i < perByte; ++i) {
                    byte = (byte << bits) | cursor.screen.value(levels[4 * i], cursor.column + i);
                }
            }
            cursor.row[firstByte + b] = static_cast<std::uint8_t>(byte);
            cursor.column += perByte;
            while (cursor.column >= cursor.size) cursor.column -= cursor.size;
        }
    }
    const std::uint32_t rest = dots - fullBytes * perByte;
    if (rest == 0) return fullBytes;
    for (PlaneCursor<Depth>& cursor : cursors) {
        std::uint32_t byte = 0;
        const std::uint8_t* const levels = pixels + cursor.channel;
        for (std::uint32_t i = 0; i < rest; ++i) {
            byte = (byte << bits) | cursor.screen.value(levels[4 * i], cursor.column + i);
        }
        cursor.row[firstByte + fullBytes] = static_cast<std::uint8_t>(byte << (bits * (perByte - rest)));
    }
    return fullBytes + 1;
}

// Unscaled: dot o is pixel o.
template <DotDepth Depth, std::size_t Planes>
void ditherUnscaledRow(const QvrDrwInf& draw, std::uint32_t dots,
                       std::array<PlaneCursor<Depth>, Planes>& cursors) noexcept {
    const std::uint32_t usedBytes = ditherDotRun(draw.srcPixels, dots, 0, cursors);
    clearRowTail(cursors, usedBytes, draw.lineBytes);
}

constexpr std::uint32_t kRunDots = 64;
using DotRun = std::array<std::uint8_t, 4 * kRunDots>;

inline std::uint32_t loadPixel(const std::uint8_t* pixel) noexcept { return bytes::loadLittleEndian32(pixel); }
inline void storePixel(std::uint8_t* entry, std::uint32_t word) noexcept { bytes::storeLittleEndian32(entry, word); }

// Whole-number enlargement: every pixel gives the same number of dots, so
// a run is the pixels repeated; doubling, the 300-to-600 dpi case, copies
// four pixels into eight dots per vector.
void fillRepeatedRun(DotRun& run, const std::uint8_t* pixels, std::uint32_t dots, std::uint32_t repeats) noexcept {
#if defined(__SSE2__)
    if (repeats == 2 && dots == kRunDots) {
        for (std::uint32_t block = 0; block < kRunDots / 8; ++block) {
            const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + 16 * block));
            __m128i* const target = reinterpret_cast<__m128i*>(run.data() + 32 * block);
            _mm_storeu_si128(target, _mm_unpacklo_epi32(four, four));
            _mm_storeu_si128(target + 1, _mm_unpackhi_epi32(four, four));
        }
        return;
    }
#endif
    for (std::uint32_t dot = 0; dot < dots; dot += repeats, pixels += 4) {
        const std::uint32_t word = loadPixel(pixels);
        const std::uint32_t end = dots - dot < repeats ? dots : dot + repeats;
        for (std::uint32_t d = dot; d < end; ++d) storePixel(run.data() + 4 * d, word);
    }
}

// Scaled: the stepping repeats or drops pixels into a short run of one
// pixel per dot, which the unscaled kernels then screen. Runs are a whole
// number of bytes long, so every run but the last ends on a byte edge.
template <DotDepth Depth, std::size_t Planes>
void ditherScaledRow(const QvrDrwInf& draw, std::uint32_t dots,
                     std::array<PlaneCursor<Depth>, Planes>& cursors) noexcept {
    DotRun run;
    std::uint32_t done = 0;
    std::uint32_t usedBytes = 0;
    const std::uint32_t wholeRepeats = draw.devResX / draw.srcResX;
    if (draw.devResX % draw.srcResX == 0 && wholeRepeats != 0 && kRunDots % wholeRepeats == 0) {
        const std::uint8_t* pixels = draw.srcPixels;
        while (done < dots) {
            const std::uint32_t wanted = dots - done < kRunDots ? dots - done : kRunDots;
            fillRepeatedRun(run, pixels, wanted, wholeRepeats);
            pixels += 4 * (kRunDots / wholeRepeats);
            usedBytes += ditherDotRun(run.data(), wanted, usedBytes, cursors);
            done += wanted;
        }
        clearRowTail(cursors, usedBytes, draw.lineBytes);
        return;
    }
    common::PixelStepper stepper(draw.srcX, draw.devResX, draw.srcResX);
    const std::uint8_t* pixel = draw.srcPixels;
    std::uint32_t nextPixel = 0;
    std::uint32_t repeatsLeft = 0;
    while (done < dots) {
        const std::uint32_t wanted = dots - done < kRunDots ? dots - done : kRunDots;
        std::uint32_t filled = 0;
        while (filled < wanted) {
            if (repeatsLeft == 0) {
                if (nextPixel == draw.srcWidth) break;  // cannot happen: dots never exceed the row's
                pixel = draw.srcPixels + 4 * static_cast<std::uintptr_t>(nextPixel++);
                repeatsLeft = stepper.next();
                continue;
            }
            const std::uint32_t count = repeatsLeft < wanted - filled ? repeatsLeft : wanted - filled;
            const std::uint32_t word = loadPixel(pixel);
            for (std::uint32_t k = 0; k < count; ++k, ++filled) storePixel(run.data() + 4 * filled, word);
            repeatsLeft -= count;
        }
        if (filled == 0) break;
        usedBytes += ditherDotRun(run.data(), filled, usedBytes, cursors);
        done += filled;
    }
    clearRowTail(cursors, usedBytes, draw.lineBytes);
}

template <DotDepth Depth, std::size_t Planes>
void ditherFast(const RowLayout& layout, QvrDrwInf& draw, bool unscaled, std::uint32_t rows,
                std::uint32_t dots) noexcept {
    std::array<PlaneCursor<Depth>, Planes> cursors;
    for (std::uint32_t j = 0; j < rows; ++j) {
        prepareCursors(layout, draw, j, cursors);
        if (unscaled) {
            ditherUnscaledRow(draw, dots, cursors);
        } else {
            ditherScaledRow(draw, dots, cursors);
        }
    }
    draw.srcY += 1;
    draw.devY += rows;
    draw.devRow += rows;
}

template <std::size_t Planes>
void ditherFastWithPlanes(const RowLayout& layout, QvrDrwInf& draw, bool unscaled, std::uint32_t rows,
                          std::uint32_t dots) noexcept {
    switch (layout.depth) {
        case DotDepth::one: ditherFast<DotDepth::one, Planes>(layout, draw, unscaled, rows, dots); break;
        case DotDepth::two: ditherFast<DotDepth::two, Planes>(layout, draw, unscaled, rows, dots); break;
        case DotDepth::four: ditherFast<DotDepth::four, Planes>(layout, draw, unscaled, rows, dots); break;
    }
}

}  // namespace

void ditherRow(const QvrDizInf& dither, QvrDrwInf& draw) noexcept {
    const RowLayout layout = rowLayout(dither, draw);
    const bool unscaled = isUnscaled(draw);
    const std::uint32_t rows = outputRows(draw);
    if (rows == 0) {
        draw.srcY += 1;
        return;
    }
    // The fast paths need the horizontal products and the device columns
    // inside 32 bits, and matrices small enough for their row copies; any
    // other row takes the general procedure, which wraps as the 32-bit
    // library does.
    bool fast = true;
    for (std::uint32_t p = 0; p < layout.planeCount; ++p) {
        const std::uint32_t size = layout.planes[p].size;
        fast = fast && size != 0 && size <= kFastMatrixEdge;
    }
    std::uint64_t dots = draw.srcWidth;
    if (fast) {
        const common::RowDots row = common::unwrappedRowDots(draw);
        fast = row.ok;
        dots = row.dots;
    }
    if (dots > layout.dotCapacity) dots = layout.dotCapacity;
    fast = fast && std::uint64_t{draw.devX} + dots <= 0xFFFFFFFFu;
    if (!fast) {
        ditherRowGeneral(dither, draw);
        return;
    }
    const auto dotCount = static_cast<std::uint32_t>(dots);
    if (layout.planeCount == 1) {
        ditherFastWithPlanes<1>(layout, draw, unscaled, rows, dotCount);
    } else {
        ditherFastWithPlanes<4>(layout, draw, unscaled, rows, dotCount);
    }
}

}  // namespace huecl::later

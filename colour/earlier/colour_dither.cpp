#include "colour/earlier/colour_dither.h"

#include <array>
#include <cstddef>

#if defined(__SSE2__)
#  include <emmintrin.h>
#endif

#include "colour/common/row_stepping.h"

namespace huecl::earlier {

using common::PixelStepper;
using common::RowDots;
using common::dotCapacity;
using common::isUnscaled;
using common::outputRowsFromWrappedStart;
using common::unwrappedRowDots;

namespace {

#if defined(__SSE2__)
// Thresholds are compared in blocks of sixteen dots, as signed bytes.
constexpr std::uint32_t kBlockDots = 16;
constexpr std::uint8_t kStoredFlip = 0x80;
#else
constexpr std::uint32_t kBlockDots = 8;
constexpr std::uint8_t kStoredFlip = 0;
#endif

constexpr std::array<std::uint8_t, 256> reversedBits() {
    std::array<std::uint8_t, 256> table{};
    for (std::uint32_t value = 0; value < 256; ++value) {
        std::uint32_t reversed = 0;
        for (std::uint32_t bit = 0; bit < 8; ++bit) reversed |= ((value >> bit) & 1u) << (7 - bit);
        table[value] = static_cast<std::uint8_t>(reversed);
    }
    return table;
}

// A compare mask has dot i in bit i; the plane wants the first dot in bit 7.
constexpr std::array<std::uint8_t, 256> kReversedBits = reversedBits();

// One plane's matrix row for the device row being written, run on past
// its edge by a block, so that a block of dots starting at any phase reads
// its thresholds without wrapping. The phase is the matrix column of the
// next dot and steps by whole blocks, so no dot costs a remainder.
struct PlaneScreen {
    std::array<std::uint8_t, 17 + kBlockDots> thresholds;  // stored ^ kStoredFlip
    std::uint32_t edge;
    std::uint32_t phase;
    std::uint32_t channel;
    std::uint8_t* row;

    void load(const std::uint8_t* matrix, std::uint32_t matrixEdge, std::uint32_t y, std::uint32_t devX,
              std::uint32_t pixelChannel, std::uint8_t* planeRow) noexcept {
        edge = matrixEdge;
        const std::uint8_t* const matrixRow = matrix + edge * (y % edge);
        for (std::uint32_t c = 0; c < edge + kBlockDots; ++c) {
            thresholds[c] = static_cast<std::uint8_t>(matrixRow[c % edge] ^ kStoredFlip);
        }
        phase = devX % edge;
        channel = pixelChannel;
        row = planeRow;
    }
    void advance(std::uint32_t dots) noexcept {
        phase += dots;
        while (phase >= edge) phase -= edge;
    }
    // Up to eight dots from pixels into one byte, first dot in bit 7.
    std::uint8_t byteOf(const std::uint8_t* pixels, std::uint32_t dots) const noexcept {
        std::uint32_t byte = 0;
        for (std::uint32_t i = 0; i < dots; ++i) {
            const std::uint32_t threshold = thresholds[phase + i] ^ kStoredFlip;
            byte |= (pixels[4 * i + channel] > threshold ? 0x80u : 0u) >> i;
        }
        return static_cast<std::uint8_t>(byte);
    }
};

template <std::size_t Planes>
using Screens = std::array<PlaneScreen, Planes>;

#if defined(__SSE2__)
inline void storeMask(std::uint8_t* row, std::uint32_t mask) noexcept {
    row[0] = kReversedBits[mask & 0xFFu];
    row[1] = kReversedBits[mask >> 8];
}

inline std::uint32_t maskAbove(__m128i levels, const PlaneScreen& screen) noexcept {
    const __m128i flipped = _mm_xor_si128(levels, _mm_set1_epi8(static_cast<char>(0x80)));
    const __m128i thresholds =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(screen.thresholds.data() + screen.phase));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpgt_epi8(flipped, thresholds)));
}

// Sixteen pixels: the four colorants side by side, or black alone.
void ditherBlock(const std::uint8_t* pixels, std::uint32_t byteIndex, Screens<4>& screens) noexcept {
    const __m128i* const source = reinterpret_cast<const __m128i*>(pixels);
    const __m128i q0 = _mm_loadu_si128(source), q1 = _mm_loadu_si128(source + 1);
    const __m128i q2 = _mm_loadu_si128(source + 2), q3 = _mm_loadu_si128(source + 3);
    // Three rounds of byte interleaving turn four pixels a vector into
    // eight bytes of one colorant per half vector.
    const __m128i t0 = _mm_unpacklo_epi8(q0, q1), t1 = _mm_unpackhi_epi8(q0, q1);
    const __m128i t2 = _mm_unpacklo_epi8(q2, q3), t3 = _mm_unpackhi_epi8(q2, q3);
    const __m128i u0 = _mm_unpacklo_epi8(t0, t1), u1 = _mm_unpackhi_epi8(t0, t1);
    const __m128i u2 = _mm_unpacklo_epi8(t2, t3), u3 = _mm_unpackhi_epi8(t2, t3);
    const __m128i v0 = _mm_unpacklo_epi8(u0, u1), v1 = _mm_unpackhi_epi8(u0, u1);
    const __m128i v2 = _mm_unpacklo_epi8(u2, u3), v3 = _mm_unpackhi_epi8(u2, u3);
    const __m128i levels[4] = {_mm_unpacklo_epi64(v0, v2), _mm_unpackhi_epi64(v0, v2), _mm_unpacklo_epi64(v1, v3),
                               _mm_unpackhi_epi64(v1, v3)};
    for (PlaneScreen& screen : screens) {
        storeMask(screen.row + byteIndex, maskAbove(levels[screen.channel], screen));
        screen.advance(kBlockDots);
    }
}

void ditherBlock(const std::uint8_t* pixels, std::uint32_t byteIndex, Screens<1>& screens) noexcept {
    const __m128i* const source = reinterpret_cast<const __m128i*>(pixels);
    const __m128i k0 = _mm_srli_epi32(_mm_loadu_si128(source), 24);
    const __m128i k1 = _mm_srli_epi32(_mm_loadu_si128(source + 1), 24);
    const __m128i k2 = _mm_srli_epi32(_mm_loadu_si128(source + 2), 24);
    const __m128i k3 = _mm_srli_epi32(_mm_loadu_si128(source + 3), 24);
    const __m128i black = _mm_packus_epi16(_mm_packs_epi32(k0, k1), _mm_packs_epi32(k2, k3));
    PlaneScreen& screen = screens[0];
    storeMask(screen.row + byteIndex, maskAbove(black, screen));
    screen.advance(kBlockDots);
}
#else
template <std::size_t Planes>
void ditherBlock(const std::uint8_t* pixels, std::uint32_t byteIndex, Screens<Planes>& screens) noexcept {
    for (PlaneScreen& screen : screens) {
        screen.row[byteIndex] = screen.byteOf(pixels, 8);
        screen.advance(8);
    }
}
#endif

// Dots from consecutive pixels (one pixel per dot) into the rows from byte
// firstByte on; firstByte starts a byte and a partial last byte is padded
// with zeros. Returns the bytes written.
template <std::size_t Planes>
std::uint32_t ditherDotRun(const std::uint8_t* pixels, std::uint32_t dots, std::uint32_t firstByte,
                           Screens<Planes>& screens) noexcept {
    const std::uint32_t blocks = dots / kBlockDots;
    std::uint32_t byteIndex = firstByte;
    for (std::uint32_t block = 0; block < blocks; ++block) {
        ditherBlock(pixels, byteIndex, screens);
        pixels += 4 * kBlockDots;
        byteIndex += kBlockDots / 8;
    }
    for (std::uint32_t left = dots - blocks * kBlockDots; left != 0;) {
        const std::uint32_t inByte = left < 8 ? left : 8;
        for (PlaneScreen& screen : screens) {
            screen.row[byteIndex] = screen.byteOf(pixels, inByte);
            screen.advance(inByte);
        }
        pixels += 4 * inByte;
        byteIndex += 1;
        left -= inByte;
    }
    return byteIndex - firstByte;
}

template <std::size_t Planes>
void clearRowTail(Screens<Planes>& screens, std::uint32_t usedBytes, std::uint32_t lineBytes) noexcept {
    for (PlaneScreen& screen : screens) {
        for (std::uint32_t b = usedBytes; b < lineBytes; ++b) screen.row[b] = 0;
    }
}

// Runs of scaled dots are whole bytes, so that every run but the last
// ends on a byte edge and the blocks stay aligned.
constexpr std::uint32_t kRunDots = 64;

template <std::size_t Planes>
void ditherScaledRow(const QvrDrwInf& draw, std::uint32_t dots, Screens<Planes>& screens) noexcept {
    std::array<std::uint8_t, 4 * kRunDots> run;
    PixelStepper stepper(draw.srcX, draw.devResX, draw.srcResX);
    const std::uint8_t* pixel = draw.srcPixels;
    std::uint32_t nextPixel = 0;
    std::uint32_t repeatsLeft = 0;
    std::uint32_t done = 0;
    std::uint32_t usedBytes = 0;
    while (done < dots) {
        const std::uint32_t wanted = dots - done < kRunDots ? dots - done : kRunDots;
        std::uint32_t filled = 0;
        while (filled < wanted) {
            if (repeatsLeft == 0) {
                pixel = draw.srcPixels + 4 * std::uintptr_t{nextPixel++};
                repeatsLeft = stepper.next();
                continue;
            }
            const std::uint32_t count = repeatsLeft < wanted - filled ? repeatsLeft : wanted - filled;
            for (std::uint32_t k = 0; k < count; ++k, ++filled) {
                for (std::uint32_t b = 0; b < 4; ++b) run[4 * filled + b] = pixel[b];
            }
            repeatsLeft -= count;
        }
        usedBytes += ditherDotRun(run.data(), filled, usedBytes, screens);
        done += filled;
    }
    clearRowTail(screens, usedBytes, draw.lineBytes);
}

void loadScreens(const QvDizInf& dither, const QvrDrwInf& draw, std::uint32_t y, std::uintptr_t rowOffset,
                 Screens<4>& screens) noexcept {
    screens[0].load(dither.ptnC, 17, y, draw.devX, 0, draw.planeC + rowOffset);
    screens[1].load(dither.ptnM, 17, y, draw.devX, 1, draw.planeM + rowOffset);
    screens[2].load(dither.ptnY, 16, y, draw.devX, 2, draw.planeY + rowOffset);
    screens[3].load(dither.ptnK, 16, y, draw.devX, 3, draw.planeK + rowOffset);
}

void loadScreens(const QvDizInf& dither, const QvrDrwInf& draw, std::uint32_t y, std::uintptr_t rowOffset,
                 Screens<1>& screens) noexcept {
    screens[0].load(dither.ptnK, 16, y, draw.devX, 3, draw.planeK + rowOffset);
}

template <std::size_t Planes>
void ditherFast(const QvDizInf& dither, QvrDrwInf& draw, std::uint32_t rows, std::uint32_t dots) noexcept {
    const bool unscaled = isUnscaled(draw);
    Screens<Planes> screens;
    for (std::uint32_t r = 0; r < rows; ++r) {
        loadScreens(dither, draw, draw.devY + r, std::uintptr_t{r} * draw.lineBytes, screens);
        if (unscaled) {
            const std::uint32_t usedBytes = ditherDotRun(draw.srcPixels, dots, 0, screens);
            clearRowTail(screens, usedBytes, draw.lineBytes);
        } else {
            ditherScaledRow(draw, dots, screens);
        }
    }
    draw.srcY += 1;
    draw.devY += rows;
    draw.devRow += rows;
}

}  // namespace

void ditherColourRow(const QvDizInf& dither, QvrDrwInf& draw) noexcept {
    const RowDots row = unwrappedRowDots(draw);
    const std::uint32_t capacity = dotCapacity(draw.lineBytes, 8);
    const std::uint32_t dots = row.dots < capacity ? row.dots : capacity;
    // The phases step without wrapping only while device columns stay
    // inside 32 bits (2^32 is no multiple of 17).
    if (!row.ok || std::uint64_t{draw.devX} + dots > 0x100000000u) {
        ditherColourRowGeneral(dither, draw);
        return;
    }
    const std::uint32_t rows = outputRowsFromWrappedStart(draw);
    if (dither.monoFlag != 0) {
        ditherFast<1>(dither, draw, rows, dots);
    } else {
        ditherFast<4>(dither, draw, rows, dots);
    }
}

}  // namespace huecl::earlier

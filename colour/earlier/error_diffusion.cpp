#include "colour/earlier/error_diffusion.h"

#include <array>

#if defined(__SSE2__)
#  include <emmintrin.h>
#endif

#include "colour/common/row_stepping.h"
#include "colour/earlier/error_diffusion_tables.h"
#include "colour/earlier/error_rows.h"
#include "common/byte_access.h"

namespace huecl::earlier {

using common::PixelStepper;
using common::RowDots;
using common::dotCapacity;
using common::isUnscaled;
using common::outputRowsFromWrappedStart;
using common::unwrappedRowDots;

namespace {

// Sum / Total truncating toward zero for every sum of four 16-bit cells
// under the filter's weights (|sum| <= Total * 32768 < 2^20). With
// M = ceil(2^32 / Total) and slack s = M * Total - 2^32 < Total, the high
// half of sum * M is floor(sum / Total - sum * s / (Total * 2^32)); the
// error term stays below 1 / Total because |sum| * s < 2^25, so the floor
// is exact for sums >= 0, and for negative ones it lies one below the
// truncated quotient (s > 0 for totals that are no power of two), which
// the sign bit puts right. Powers of two shift with the usual bias. A test
// checks every sum of every filter.
template <std::int32_t Total>
inline std::int32_t divideTruncating(std::int32_t sum) noexcept {
    static_assert(Total > 1 && Total <= 32);
    if constexpr ((Total & (Total - 1)) == 0) {
        constexpr std::int32_t shift = Total == 2 ? 1 : Total == 4 ? 2 : Total == 8 ? 3 : Total == 16 ? 4 : 5;
        return (sum + ((sum >> 31) & (Total - 1))) >> shift;
    } else {
        constexpr std::int64_t magic = ((std::int64_t{1} << 32) + Total - 1) / Total;
        return static_cast<std::int32_t>((std::int64_t{sum} * magic) >> 32) +
               static_cast<std::int32_t>(static_cast<std::uint32_t>(sum) >> 31);
    }
}

// Per level and modulation cell, the printing threshold minus the diffused
// level: a dot prints when its incoming error exceeds this, so the compare
// needs no addition first. Row `cell` of `modulated` serves cyan, magenta
// and black; `plain` serves yellow.
struct ThresholdMargins {
    std::array<std::int16_t, 64 * 256> modulated;
    std::array<std::int16_t, 256> plain;
    std::array<std::int16_t, 256> level;  // the diffused level of each byte
};

constexpr ThresholdMargins makeThresholdMargins() {
    ThresholdMargins margins{};
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        const std::uint32_t v = diffusedLevel(byte);
        const auto level = static_cast<std::int32_t>(v);
        margins.level[byte] = static_cast<std::int16_t>(level);
        margins.plain[byte] = static_cast<std::int16_t>(diffusionThreshold(v, 0, false) - level);
        for (std::uint32_t cell = 0; cell < 64; ++cell) {
            margins.modulated[cell * 256 + byte] = static_cast<std::int16_t>(diffusionThreshold(v, cell, true) - level);
        }
    }
    return margins;
}

constexpr ThresholdMargins kMargins = makeThresholdMargins();

// One device row of the fast path: cell pointers start at column devX, so
// cell (c, k) of the row is [4 * c + k] and column devX - 1 is [k - 4].
struct FastCmykRow {
    const std::int16_t* margins;  // the 8 modulation cells of this device row, 256 levels each
    std::int16_t* current;
    const std::int16_t* previous;
    std::uint8_t* planes[4];
    std::uint32_t devX;
};

// One colorant's running state along a row: the cell written last (the
// next dot's "before" neighbour) and the plane bits of the current byte.
struct ComponentState {
    std::int32_t before;
    std::uint32_t bits;
};

template <std::uint32_t KernelIndex, std::uint32_t K>
inline void diffuseComponent(const FastCmykRow& row, const std::uint8_t* pixel, std::uint32_t c, std::uint32_t cell,
                             ComponentState& state) noexcept {
    constexpr DiffusionKernel kernel = kDiffusionKernels[KernelIndex];
    const std::uint32_t byte = pixel[K];
    const std::int32_t margin = K == 2 ? kMargins.plain[byte] : row.margins[cell * 256 + byte];
    const std::int16_t* const above = row.previous + 4 * static_cast<std::intptr_t>(c) + K;
    const std::int32_t sum = kernel.before * state.before + kernel.aboveLeft * above[-4] + kernel.above * above[0] +
                             kernel.aboveRight * above[4];
    const std::int32_t e = divideTruncating<kernel.total>(sum);
    const bool prints = e > margin;
    const auto written = static_cast<std::int16_t>(kMargins.level[byte] + e - (prints ? 255 : 0));
    row.current[4 * static_cast<std::intptr_t>(c) + K] = written;
    state.before = written;
    state.bits |= static_cast<std::uint32_t>(prints) << (7 - (c & 7));
}

template <std::uint32_t K>
inline void flushBits(const FastCmykRow& row, std::uint32_t c, ComponentState& state) noexcept {
    row.planes[K][c >> 3] |= static_cast<std::uint8_t>(state.bits);
    state.bits = 0;
}

// Dots first .. first + count - 1 in the filter's direction; the pixel of
// dot first + i is at dotPixels + 4 * i. The four colorants are separate
// chains of dependence, interleaved so that they overlap.
template <std::uint32_t KernelIndex, bool Mono>
void diffuseDotsScalar(const FastCmykRow& row, const std::uint8_t* dotPixels, std::uint32_t first,
                       std::uint32_t count) noexcept {
    if (count == 0) return;
    constexpr bool rightToLeft = kDiffusionKernels[KernelIndex].rightToLeft;
    ComponentState states[4];
    const std::intptr_t start =
        rightToLeft ? static_cast<std::intptr_t>(first + count) : static_cast<std::intptr_t>(first) - 1;
    for (std::intptr_t k = 0; k < 4; ++k) states[k] = {row.current[4 * start + k], 0};
    const auto step = [&](std::uint32_t i) {
        const std::uint32_t c = first + i;
        const std::uint8_t* const pixel = dotPixels + 4 * std::uintptr_t{i};
        const std::uint32_t cell = (row.devX + c) & 7;
        if constexpr (!Mono) {
            diffuseComponent<KernelIndex, 0>(row, pixel, c, cell, states[0]);
            diffuseComponent<KernelIndex, 1>(row, pixel, c, cell, states[1]);
            diffuseComponent<KernelIndex, 2>(row, pixel, c, cell, states[2]);
        }
        diffuseComponent<KernelIndex, 3>(row, pixel, c, cell, states[3]);
        if ((c & 7) == (rightToLeft ? 0u : 7u)) {
            if constexpr (!Mono) {
                flushBits<0>(row, c, states[0]);
                flushBits<1>(row, c, states[1]);
                flushBits<2>(row, c, states[2]);
            }
            flushBits<3>(row, c, states[3]);
        }
    };
    if constexpr (rightToLeft) {
        for (std::uint32_t i = count; i-- > 0;) step(i);
        const std::uint32_t last = first;
        if constexpr (!Mono) {
            flushBits<0>(row, last, states[0]);
            flushBits<1>(row, last, states[1]);
            flushBits<2>(row, last, states[2]);
        }
        flushBits<3>(row, last, states[3]);
    } else {
        for (std::uint32_t i = 0; i < count; ++i) step(i);
        const std::uint32_t last = first + count - 1;
        if constexpr (!Mono) {
            flushBits<0>(row, last, states[0]);
            flushBits<1>(row, last, states[1]);
            flushBits<2>(row, last, states[2]);
        }
        flushBits<3>(row, last, states[3]);
    }
}

#if defined(__SSE2__)
// The four colorants of a dot side by side in 32-bit lanes (cyan, magenta,
// yellow, black): one chain of dependence instead of four, each step the
// same operations as the scalar loop.

// divideTruncating for four sums at once: the quotient of the magnitude by
// the high half of its product with M (exact for the same reason), the
// sign put back afterwards.
template <std::int32_t Total>
inline __m128i divideTruncatingLanes(__m128i sum) noexcept {
    const __m128i sign = _mm_srai_epi32(sum, 31);
    if constexpr ((Total & (Total - 1)) == 0) {
        constexpr int shift = Total == 2 ? 1 : Total == 4 ? 2 : Total == 8 ? 3 : Total == 16 ? 4 : 5;
        return _mm_srai_epi32(_mm_add_epi32(sum, _mm_and_si128(sign, _mm_set1_epi32(Total - 1))), shift);
    } else {
        constexpr std::int64_t magic = ((std::int64_t{1} << 32) + Total - 1) / Total;
        const __m128i magnitude = _mm_sub_epi32(_mm_xor_si128(sum, sign), sign);
        const __m128i magicLanes = _mm_set1_epi32(static_cast<std::int32_t>(magic));
        const __m128i even = _mm_mul_epu32(magnitude, magicLanes);
        const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(magnitude, 32), magicLanes);
        const __m128i quotient =
            _mm_or_si128(_mm_srli_epi64(even, 32), _mm_and_si128(odd, _mm_set_epi32(-1, 0, -1, 0)));
        return _mm_sub_epi32(_mm_xor_si128(quotient, sign), sign);
    }
}

// Four 16-bit cells from memory, sign-extended to 32-bit lanes.
inline __m128i loadCells(const std::int16_t* cells) noexcept {
    const __m128i packed = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cells));
    return _mm_srai_epi32(_mm_unpacklo_epi16(packed, packed), 16);
}

template <std::uint32_t KernelIndex>
void diffuseDotsLanes(const FastCmykRow& row, const std::uint8_t* dotPixels, std::uint32_t first,
                      std::uint32_t count) noexcept {
    if (count == 0) return;
    constexpr DiffusionKernel kernel = kDiffusionKernels[KernelIndex];
    const __m128i zero = _mm_setzero_si128();
    // Pairs (x - 1, x) of the row above against their weights in one
    // multiply-add; x + 1 against its weight paired with zero.
    const __m128i aboveWeights = _mm_set1_epi32((kernel.above << 16) | kernel.aboveLeft);
    const __m128i aboveRightWeight = _mm_set1_epi32(kernel.aboveRight);
    const __m128i lowByte = _mm_set1_epi32(0xFF);
    const __m128i highestFive = _mm_set1_epi32(kLowestDiffusedLevel - 1);
    const std::intptr_t start =
        kernel.rightToLeft ? static_cast<std::intptr_t>(first + count) : static_cast<std::intptr_t>(first) - 1;
    __m128i before = loadCells(row.current + 4 * start);
    __m128i bits = zero;
    const auto step = [&](std::uint32_t i) {
        const std::uint32_t c = first + i;
        const std::uint8_t* const pixel = dotPixels + 4 * std::uintptr_t{i};
        const std::int16_t* const modulated = row.margins + 256 * ((row.devX + c) & 7);
        const __m128i margin =
            _mm_set_epi32(modulated[pixel[3]], kMargins.plain[pixel[2]], modulated[pixel[1]], modulated[pixel[0]]);
        const __m128i bytes = _mm_cvtsi32_si128(static_cast<int>(bytes::loadLittleEndian32(pixel)));
        const __m128i levels = _mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero);
        const __m128i diffused = _mm_and_si128(levels, _mm_cmpgt_epi32(levels, highestFive));
        const std::int16_t* const above = row.previous + 4 * static_cast<std::intptr_t>(c);
        const __m128i aboveLeftAndAbove =
            _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(above - 4)),
                               _mm_loadl_epi64(reinterpret_cast<const __m128i*>(above)));
        const __m128i aboveRight =
            _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(above + 4)), zero);
        const __m128i fromAbove = _mm_add_epi32(_mm_madd_epi16(aboveLeftAndAbove, aboveWeights),
                                                _mm_madd_epi16(aboveRight, aboveRightWeight));
        // The left weight is 7 or 8: a shift, less the cell for 7.
        __m128i fromBefore = _mm_slli_epi32(before, 3);
        if constexpr (kernel.before == 7) fromBefore = _mm_sub_epi32(fromBefore, before);
        static_assert(kernel.before == 7 || kernel.before == 8);
        const __m128i e = divideTruncatingLanes<kernel.total>(_mm_add_epi32(fromBefore, fromAbove));
        const __m128i prints = _mm_cmpgt_epi32(e, margin);
        const __m128i kept = _mm_sub_epi32(_mm_add_epi32(e, diffused), _mm_and_si128(prints, lowByte));
        // Cells hold 16 bits: wrap as the store does, since the next dot
        // reads the cell as stored.
        before = _mm_srai_epi32(_mm_slli_epi32(kept, 16), 16);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(row.current + 4 * static_cast<std::intptr_t>(c)),
                         _mm_packs_epi32(before, before));
        bits = _mm_or_si128(bits, _mm_sll_epi32(_mm_srli_epi32(prints, 31), _mm_cvtsi32_si128(7 - (c & 7))));
        if ((c & 7) == (kernel.rightToLeft ? 0u : 7u)) {
            for (std::uint32_t k = 0; k < 4; ++k) {
                row.planes[k][c >> 3] |= static_cast<std::uint8_t>(_mm_cvtsi128_si32(bits));
                bits = _mm_srli_si128(bits, 4);
            }
        }
    };
    if constexpr (kernel.rightToLeft) {
        for (std::uint32_t i = count; i-- > 0;) step(i);
    } else {
        for (std::uint32_t i = 0; i < count; ++i) step(i);
    }
    const std::uint32_t last = kernel.rightToLeft ? first : first + count - 1;
    for (std::uint32_t k = 0; k < 4; ++k) {
        row.planes[k][last >> 3] |= static_cast<std::uint8_t>(_mm_cvtsi128_si32(bits));
        bits = _mm_srli_si128(bits, 4);
    }
}
#endif

template <std::uint32_t KernelIndex, bool Mono>
void diffuseDots(const FastCmykRow& row, const std::uint8_t* dotPixels, std::uint32_t first,
                 std::uint32_t count) noexcept {
#if defined(__SSE2__)
    if constexpr (!Mono) {
        diffuseDotsLanes<KernelIndex>(row, dotPixels, first, count);
        return;
    }
#endif
    diffuseDotsScalar<KernelIndex, Mono>(row, dotPixels, first, count);
}

// Steps x * devRes / srcRes backwards from the end of a row, for the
// right-to-left rows; only for rows whose products stay inside 32 bits.
class BackwardPixelStepper {
public:
    BackwardPixelStepper(std::uint32_t endColumn, std::uint32_t devRes, std::uint32_t srcRes) noexcept
        : divisor_(srcRes), stepQuotient_(devRes / srcRes), stepRemainder_(devRes % srcRes),
          quotient_((endColumn * devRes) / srcRes), remainder_((endColumn * devRes) % srcRes) {}

    // Dots of the pixel before the last one stepped over.
    std::uint32_t previous() noexcept {
        const std::uint32_t before = quotient_;
        quotient_ -= stepQuotient_;
        if (remainder_ >= stepRemainder_) {
            remainder_ -= stepRemainder_;
        } else {
            remainder_ += divisor_ - stepRemainder_;
            quotient_ -= 1;
        }
        return before - quotient_;
    }

private:
    std::uint32_t divisor_, stepQuotient_, stepRemainder_, quotient_, remainder_;
};

constexpr std::uint32_t kRunDots = 64;
using DotRun = std::array<std::uint8_t, 4 * kRunDots>;

inline void copyPixel(std::uint8_t* to, const std::uint8_t* from) noexcept {
    for (std::uint32_t b = 0; b < 4; ++b) to[b] = from[b];
}

// Scaled rows: the stepping repeats or drops pixels into short runs of one
// pixel per dot, in the filter's direction, which the dot loop then takes.
template <std::uint32_t KernelIndex, bool Mono>
void diffuseScaledRow(const FastCmykRow& row, const QvrDrwInf& draw, std::uint32_t rowDots,
                      std::uint32_t dots) noexcept {
    DotRun run;
    if constexpr (!kDiffusionKernels[KernelIndex].rightToLeft) {
        PixelStepper stepper(draw.srcX, draw.devResX, draw.srcResX);
        const std::uint8_t* pixel = draw.srcPixels;
        std::uint32_t nextPixel = 0, repeatsLeft = 0, done = 0;
        while (done < dots) {
            const std::uint32_t wanted = dots - done < kRunDots ? dots - done : kRunDots;
            std::uint32_t filled = 0;
            while (filled < wanted) {
                if (repeatsLeft == 0) {
                    pixel = draw.srcPixels + 4 * std::uintptr_t{nextPixel++};
                    repeatsLeft = stepper.next();
                    continue;
                }
                for (; repeatsLeft != 0 && filled < wanted; --repeatsLeft, ++filled) copyPixel(&run[4 * filled], pixel);
            }
            diffuseDots<KernelIndex, Mono>(row, run.data(), done, filled);
            done += filled;
        }
    } else {
        BackwardPixelStepper stepper(draw.srcX + draw.srcWidth, draw.devResX, draw.srcResX);
        const std::uint8_t* pixel = draw.srcPixels;
        std::uint32_t nextPixel = draw.srcWidth, repeatsLeft = 0;
        // Dots beyond the capacity come first in this direction.
        for (std::uint32_t skip = rowDots - dots; skip != 0;) {
            if (repeatsLeft == 0) {
                pixel = draw.srcPixels + 4 * std::uintptr_t{--nextPixel};
                repeatsLeft = stepper.previous();
                continue;
            }
            const std::uint32_t passed = repeatsLeft < skip ? repeatsLeft : skip;
            repeatsLeft -= passed;
            skip -= passed;
        }
        for (std::uint32_t end = dots; end != 0;) {
            const std::uint32_t wanted = end < kRunDots ? end : kRunDots;
            std::uint32_t filled = 0;
            while (filled < wanted) {
                if (repeatsLeft == 0) {
                    pixel = draw.srcPixels + 4 * std::uintptr_t{--nextPixel};
                    repeatsLeft = stepper.previous();
                    continue;
                }
                for (; repeatsLeft != 0 && filled < wanted; --repeatsLeft, ++filled) {
                    copyPixel(&run[4 * (wanted - 1 - filled)], pixel);
                }
            }
            diffuseDots<KernelIndex, Mono>(row, run.data(), end - wanted, wanted);
            end -= wanted;
        }
    }
}

template <std::uint32_t KernelIndex, bool Mono>
void diffuseDeviceRow(const FastCmykRow& row, const QvrDrwInf& draw, std::uint32_t rowDots,
                      std::uint32_t dots) noexcept {
    if (isUnscaled(draw)) {
        diffuseDots<KernelIndex, Mono>(row, draw.srcPixels, 0, dots);
    } else {
        diffuseScaledRow<KernelIndex, Mono>(row, draw, rowDots, dots);
    }
}

template <bool Mono>
void diffuseDeviceRowWithKernel(std::uint32_t kernel, const FastCmykRow& row, const QvrDrwInf& draw,
                                std::uint32_t rowDots, std::uint32_t dots) noexcept {
    switch (kernel) {
        case 0: diffuseDeviceRow<0, Mono>(row, draw, rowDots, dots); break;
        case 1: diffuseDeviceRow<1, Mono>(row, draw, rowDots, dots); break;
        case 2: diffuseDeviceRow<2, Mono>(row, draw, rowDots, dots); break;
        case 3: diffuseDeviceRow<3, Mono>(row, draw, rowDots, dots); break;
        case 4: diffuseDeviceRow<4, Mono>(row, draw, rowDots, dots); break;
        default: diffuseDeviceRow<5, Mono>(row, draw, rowDots, dots); break;
    }
}

template <std::uint32_t KernelIndex>
void diffuseRgbPixels(std::int16_t* current, const std::int16_t* previous, std::uint8_t* pixels,
                      std::uint32_t width) noexcept {
    if (width == 0) return;
    constexpr DiffusionKernel kernel = kDiffusionKernels[KernelIndex];
    const std::intptr_t start = kernel.rightToLeft ? static_cast<std::intptr_t>(width) : -1;
    std::int32_t before[3] = {current[3 * start], current[3 * start + 1], current[3 * start + 2]};
    const auto step = [&](std::uint32_t x) {
        std::uint8_t* const pixel = pixels + 3 * std::uintptr_t{x};
        const std::int16_t* const above = previous + 3 * static_cast<std::intptr_t>(x);
        for (std::int32_t b = 0; b < 3; ++b) {
            const std::int32_t sum = kernel.before * before[b] + kernel.aboveLeft * above[b - 3] +
                                     kernel.above * above[b] + kernel.aboveRight * above[b + 3];
            const std::int32_t level = divideTruncating<kernel.total>(sum) + pixel[b];
            const std::int32_t wrapped = static_cast<std::int16_t>(level);
            const std::int32_t quantised = wrapped < 0 ? 0 : wrapped > 255 ? 255 : (wrapped & ~7);
            const auto written = static_cast<std::int16_t>(level - quantised);
            current[3 * static_cast<std::intptr_t>(x) + b] = written;
            before[b] = written;
            pixel[b] = static_cast<std::uint8_t>(quantised);
        }
    };
    if constexpr (kernel.rightToLeft) {
        for (std::uint32_t x = width; x-- > 0;) step(x);
    } else {
        for (std::uint32_t x = 0; x < width; ++x) step(x);
    }
}

}  // namespace

std::int32_t divideByKernelTotal(std::int32_t sum, std::uint32_t kernel) noexcept {
    switch (kernel % 6) {
        case 0: return divideTruncating<kDiffusionKernels[0].total>(sum);
        case 1: return divideTruncating<kDiffusionKernels[1].total>(sum);
        case 2: return divideTruncating<kDiffusionKernels[2].total>(sum);
        case 3: return divideTruncating<kDiffusionKernels[3].total>(sum);
        case 4: return divideTruncating<kDiffusionKernels[4].total>(sum);
        default: return divideTruncating<kDiffusionKernels[5].total>(sum);
    }
}

std::int32_t divideByKernelTotalInLanes(std::int32_t sum, std::uint32_t kernel) noexcept {
#if defined(__SSE2__)
    const __m128i lanes = _mm_set_epi32(-sum, sum, -sum, sum);
    __m128i quotients;
    switch (kernel % 6) {
        case 0: quotients = divideTruncatingLanes<kDiffusionKernels[0].total>(lanes); break;
        case 1: quotients = divideTruncatingLanes<kDiffusionKernels[1].total>(lanes); break;
        case 2: quotients = divideTruncatingLanes<kDiffusionKernels[2].total>(lanes); break;
        case 3: quotients = divideTruncatingLanes<kDiffusionKernels[3].total>(lanes); break;
        case 4: quotients = divideTruncatingLanes<kDiffusionKernels[4].total>(lanes); break;
        default: quotients = divideTruncatingLanes<kDiffusionKernels[5].total>(lanes); break;
    }
    // Every lane must agree (odd lanes hold the negated sum); if they do
    // not, the answer is made wrong on purpose so that a test sees it.
    const std::int32_t even0 = _mm_cvtsi128_si32(quotients);
    const std::int32_t odd1 = _mm_cvtsi128_si32(_mm_srli_si128(quotients, 4));
    const std::int32_t even2 = _mm_cvtsi128_si32(_mm_srli_si128(quotients, 8));
    const std::int32_t odd3 = _mm_cvtsi128_si32(_mm_srli_si128(quotients, 12));
    return even0 == even2 && odd1 == odd3 && odd1 == -even0 ? even0 : even0 ^ 0x40000000;
#else
    return divideByKernelTotal(sum, kernel);
#endif
}

void diffuseCmykRow(const QvDizInf& dither, QvrDrwInf& draw, QvErrInf& errors) noexcept {
    const RowDots row = unwrappedRowDots(draw);
    const std::uint32_t capacity = dotCapacity(draw.lineBytes, 8);
    const std::uint32_t dots = row.dots < capacity ? row.dots : capacity;
    // Cell pointers are formed from devX + column + 1 without wrapping.
    if (!row.ok || std::uint64_t{draw.devX} + dots + 2 > 0x100000000u) {
        diffuseCmykRowGeneral(dither, draw, errors);
        return;
    }
    const std::uint32_t rows = outputRowsFromWrappedStart(draw);
    if (rows != 0) {
        const ErrorSet set = cmykErrorSet(errors);
        startRowSequence(set, draw.devY, kCmykGroupCells);
        const bool mono = dither.monoFlag != 0;
        const std::uintptr_t firstCell = (std::uintptr_t{draw.devX} + 1) * kCmykGroupCells;
        for (std::uint32_t r = 0; r < rows; ++r) {
            const std::uint32_t y = draw.devY + r;
            const std::uintptr_t rowOffset = std::uintptr_t{r} * draw.lineBytes;
            FastCmykRow fast{
                kMargins.modulated.data() + 8 * 256 * (y % 8),
                currentRow(set, y) + firstCell,
                previousRow(set, y) + firstCell,
                {draw.planeC + rowOffset, draw.planeM + rowOffset, draw.planeY + rowOffset, draw.planeK + rowOffset},
                draw.devX};
            for (std::uint8_t* plane : fast.planes) {
                for (std::uint32_t b = 0; b < draw.lineBytes; ++b) plane[b] = 0;
            }
            if (mono) {
                diffuseDeviceRowWithKernel<true>(y % 6, fast, draw, row.dots, dots);
            } else {
                diffuseDeviceRowWithKernel<false>(y % 6, fast, draw, row.dots, dots);
            }
        }
        *set.lastRow = draw.devY + rows - 1;
    }
    draw.srcY += 1;
    draw.devY += rows;
    draw.devRow += rows;
}

void diffuseRgbRow(const QvrDrwInf& draw, QvErrInf& errors, std::uint8_t* pixels) noexcept {
    if (std::uint64_t{draw.devX} + draw.srcWidth + 2 > 0x100000000u) {
        diffuseRgbRowGeneral(draw, errors, pixels);
        return;
    }
    const std::uint32_t n = draw.srcY;
    const ErrorSet set = rgbErrorSet(errors);
    startRowSequence(set, n, kRgbGroupCells);
    *set.lastRow = n;
    const std::uintptr_t firstCell = (std::uintptr_t{draw.devX} + 1) * kRgbGroupCells;
    std::int16_t* const current = currentRow(set, n) + firstCell;
    const std::int16_t* const previous = previousRow(set, n) + firstCell;
    switch (n % 6) {
        case 0: diffuseRgbPixels<0>(current, previous, pixels, draw.srcWidth); break;
        case 1: diffuseRgbPixels<1>(current, previous, pixels, draw.srcWidth); break;
        case 2: diffuseRgbPixels<2>(current, previous, pixels, draw.srcWidth); break;
        case 3: diffuseRgbPixels<3>(current, previous, pixels, draw.srcWidth); break;
        case 4: diffuseRgbPixels<4>(current, previous, pixels, draw.srcWidth); break;
        default: diffuseRgbPixels<5>(current, previous, pixels, draw.srcWidth); break;
    }
}

}  // namespace huecl::earlier

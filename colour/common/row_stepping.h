// How a source row steps onto the device when the resolutions differ, for
// the halftoning of both generations: source row y becomes device rows
// y * devResY / srcResY up to (y + 1) * devResY / srcResY, and pixel x
// likewise device dots along the row. Positions and dots are unsigned
// 32-bit arithmetic on every target, so that huge geometry wraps the same
// everywhere. Row counts are not: a count is a number of rows written into
// the caller's buffer, and a wrapped product makes it 2^32 - 1 (a "negative"
// difference) where a handful fit.
#pragma once

#include <cstdint>

#include "huecl32.h"

namespace huecl::common {

inline bool isUnscaled(const QvrDrwInf& draw) noexcept {
    return draw.devResX == draw.srcResX && draw.devResY == draw.srcResY;
}

// Device rows of this source row in 64-bit products, as the later
// generation's set-up call counts the rows that fit a buffer, so that the
// rows of the source rows it promises add up to no more than the buffer
// holds. Where no product passes 32 bits this is the 32-bit count. A zero
// source resolution, which the caller must not pass to a scaled row, gives
// no rows instead of a fault.
inline std::uint32_t outputRows(const QvrDrwInf& draw) noexcept {
    if (isUnscaled(draw)) return 1;
    if (draw.srcResY == 0) return 0;
    const std::uint64_t next = std::uint64_t{draw.srcY} + 1;
    return static_cast<std::uint32_t>((next * draw.devResY) / draw.srcResY -
                                      (std::uint64_t{draw.srcY} * draw.devResY) / draw.srcResY);
}

// Device rows of this source row as the earlier generation counts them:
// the row's own product srcY * devResY wraps at 32 bits, as on the 32-bit
// library, but the next row's is that plus devResY, carried past 32 bits.
// Where the 32-bit count was a plain difference this is it; where the next
// product wrapped and the difference went "negative", the count is still
// the rows one step of devResY reaches, at most ceil(devResY / srcResY).
inline std::uint32_t outputRowsFromWrappedStart(const QvrDrwInf& draw) noexcept {
    if (isUnscaled(draw)) return 1;
    if (draw.srcResY == 0) return 0;
    const std::uint32_t start = draw.srcY * draw.devResY;
    return static_cast<std::uint32_t>((std::uint64_t{start} + draw.devResY) / draw.srcResY - start / draw.srcResY);
}

// Dots of the source pixel at source column `column` on a scaled row; a
// zero source resolution gives none.
inline std::uint32_t pixelDots(const QvrDrwInf& draw, std::uint32_t column) noexcept {
    if (draw.srcResX == 0) return 0;
    const std::uint32_t next = column + 1;
    return (next * draw.devResX) / draw.srcResX - (column * draw.devResX) / draw.srcResX;
}

// Dots that fit into one plane row of lineBytes bytes. Dots past it would
// land in the next row or past the buffer, so no path writes them.
inline std::uint32_t dotCapacity(std::uint32_t lineBytes, std::uint32_t dotsPerByte) noexcept {
    const std::uint64_t capacity = std::uint64_t{lineBytes} * dotsPerByte;
    return capacity > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(capacity);
}

// Dots of the whole row when no product of the stepping passes 32 bits,
// so that the fast paths may step without wrapping; 0 with ok false when
// the row needs the wrapping arithmetic of the general procedure.
struct RowDots {
    std::uint32_t dots;
    bool ok;
};

inline RowDots unwrappedRowDots(const QvrDrwInf& draw) noexcept {
    if (isUnscaled(draw)) return {draw.srcWidth, true};
    if (draw.srcResX == 0) return {0, false};
    const std::uint64_t endProduct = (std::uint64_t{draw.srcX} + draw.srcWidth) * draw.devResX;
    if (endProduct > 0xFFFFFFFFu) return {0, false};
    const std::uint64_t dots = endProduct / draw.srcResX - (std::uint64_t{draw.srcX} * draw.devResX) / draw.srcResX;
    return {static_cast<std::uint32_t>(dots), true};
}

// Steps x * devRes / srcRes along a row as quotient and remainder by
// srcRes, without a division per pixel. Only for rows whose products stay
// inside 32 bits (unwrappedRowDots says so).
class PixelStepper {
public:
    PixelStepper(std::uint32_t firstColumn, std::uint32_t devRes, std::uint32_t srcRes) noexcept
        : divisor_(srcRes), stepQuotient_(devRes / srcRes), stepRemainder_(devRes % srcRes),
          quotient_((firstColumn * devRes) / srcRes), remainder_((firstColumn * devRes) % srcRes) {}

    // Dots of the next pixel.
    std::uint32_t next() noexcept {
        const std::uint32_t before = quotient_;
        quotient_ += stepQuotient_;
        if (remainder_ >= divisor_ - stepRemainder_) {
            remainder_ -= divisor_ - stepRemainder_;
            quotient_ += 1;
        } else {
            remainder_ += stepRemainder_;
        }
        return quotient_ - before;
    }

private:
    std::uint32_t divisor_, stepQuotient_, stepRemainder_, quotient_, remainder_;
};

}  // namespace huecl::common

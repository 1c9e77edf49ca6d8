#include "colour/later/dither_process.h"

#include <array>

#include "colour/later/dither_process_layout.h"

namespace huecl::later {

namespace {

// Matrices up to this edge take the fast paths; set-up builds 34 at most.
constexpr std::uint32_t kFastMatrixEdge = 64;

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
    }
    std::uint32_t value(std::uint32_t level, std::uint32_t column) const noexcept {
        return level > thresholds_[column] ? 1u : 0u;
    }

private:
    std::array<std::uint8_t, kFastMatrixEdge + 8> thresholds_;
};

// Two bits: the probe order t0, t2, t1 gives the same value as counting
// the levels above t0, max(t0, min(t1, t2)) and max(t0, t2), which holds
// for cells in any order and needs no branch.
template <>
class RowScreen<DotDepth::two> {
public:
    void load(const std::uint8_t* matrixRow, std::uint32_t size) noexcept {
        for (std::uint32_t c = 0; c < size + 4; ++c) {
            const std::uint8_t* const cell = matrixRow + 3 * (c % size);
            const std::uint8_t t0 = cell[0], t1 = cell[1], t2 = cell[2];
            const std::uint8_t lower = t1 < t2 ? t1 : t2;
            first_[c] = t0;
            second_[c] = lower > t0 ? lower : t0;
            third_[c] = t2 > t0 ? t2 : t0;
        }
    }
    std::uint32_t value(std::uint32_t level, std::uint32_t column) const noexcept {
        return static_cast<std::uint32_t>(level > first_[column]) + (level > second_[column]) +
               (level > third_[column]);
    }

private:
    std::array<std::uint8_t, kFastMatrixEdge + 4> first_, second_, third_;
};

// Four bits: the binary search of a cell is monotonic in the level, so it
// equals counting the levels above fifteen ascending breakpoints. For an
// ascending cell those are its thresholds; other cells get the breakpoints
// that reproduce their probe order. The count is then a branchless search.
template <>
class RowScreen<DotDepth::four> {
public:
    void load(const std::uint8_t* matrixRow, std::uint32_t size) noexcept {
        for (std::uint32_t c = 0; c < size; ++c) loadCell(matrixRow + 15 * c, breakpoints_[c]);
        for (std::uint32_t c = size; c < size + 2; ++c) breakpoints_[c] = breakpoints_[c % size];
    }
    std::uint32_t value(std::uint32_t level, std::uint32_t column) const noexcept {
        const std::uint8_t* const b = breakpoints_[column].data();
        std::uint32_t count = level > b[7] ? 8u : 0u;
        count += level > b[count + 3] ? 4u : 0u;
        count += level > b[count + 1] ? 2u : 0u;
        count += level > b[count] ? 1u : 0u;
        return count;
    }

private:
    static void loadCell(const std::uint8_t* cell, std::array<std::uint8_t, 16>& breakpoints) noexcept {
        breakpoints[15] = 255;  // no level exceeds it
        bool ascending = true;
        for (std::uint32_t k = 1; k < 15; ++k) ascending = ascending && cell[k - 1] <= cell[k];
        if (ascending) {
            for (std::uint32_t k = 0; k < 15; ++k) breakpoints[k] = cell[k];
            return;
        }
        // The value only changes where the level passes a threshold, so the
        // values just above each threshold fix the whole step function:
        // breakpoint v is the lowest threshold whose next level reaches v.
        for (std::uint32_t v = 0; v < 15; ++v) breakpoints[v] = 255;
        for (std::uint32_t k = 0; k < 15; ++k) {
            if (cell[k] == 255) continue;
            const std::uint32_t reached = fourBitDotValue(cell[k] + 1u, cell);
            for (std::uint32_t v = 0; v < reached; ++v) {
                if (cell[k] < breakpoints[v]) breakpoints[v] = cell[k];
            }
        }
    }

    std::array<std::array<std::uint8_t, 16>, kFastMatrixEdge + 2> breakpoints_;
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

// Unscaled: dot o is pixel o. Each output byte takes its dots from the
// extended matrix row without wrapping; the column advances once a byte.
// Runs of pixels with no colorant in the written planes write zero bytes
// without a look-up, as on the white of a page.
template <DotDepth Depth, std::size_t Planes>
void ditherUnscaledRow(const QvrDrwInf& draw, std::uint32_t dots,
                       std::array<PlaneCursor<Depth>, Planes>& cursors) noexcept {
    constexpr std::uint32_t perByte = dotsPerByte<Depth>;
    constexpr std::uint32_t bits = static_cast<std::uint32_t>(Depth);
    const std::uint8_t* pixels = draw.srcPixels;
    const std::uint32_t fullBytes = dots / perByte;
    std::uint32_t channelMask = 0;
    for (const PlaneCursor<Depth>& cursor : cursors) channelMask |= 0xFFu << (8 * cursor.channel);
    for (std::uint32_t b = 0; b < fullBytes; ++b, pixels += 4 * perByte) {
        std::uint32_t any = 0;
        for (std::uint32_t i = 0; i < perByte; ++i) {
            any |= static_cast<std::uint32_t>(pixels[4 * i]) | static_cast<std::uint32_t>(pixels[4 * i + 1]) << 8 |
                   static_cast<std::uint32_t>(pixels[4 * i + 2]) << 16 |
                   static_cast<std::uint32_t>(pixels[4 * i + 3]) << 24;
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
            cursor.row[b] = static_cast<std::uint8_t>(byte);
            cursor.column += perByte;
            while (cursor.column >= cursor.size) cursor.column -= cursor.size;
        }
    }
    const std::uint32_t rest = dots - fullBytes * perByte;
    std::uint32_t usedBytes = fullBytes;
    if (rest != 0) {
        for (PlaneCursor<Depth>& cursor : cursors) {
            std::uint32_t byte = 0;
            const std::uint8_t* const levels = pixels + cursor.channel;
            for (std::uint32_t i = 0; i < rest; ++i) {
                byte = (byte << bits) | cursor.screen.value(levels[4 * i], cursor.column + i);
            }
            cursor.row[fullBytes] = static_cast<std::uint8_t>(byte << (bits * (perByte - rest)));
        }
        usedBytes += 1;
    }
    clearRowTail(cursors, usedBytes, draw.lineBytes);
}

// Horizontal stepping without a division per pixel: the product
// x * devResX is carried as quotient and remainder by srcResX and stepped
// by devResX. The caller has checked that no product passes 32 bits.
class PixelStepper {
public:
    PixelStepper(std::uint32_t firstColumn, std::uint32_t devRes, std::uint32_t srcRes) noexcept
        : divisor_(srcRes),
          stepQuotient_(devRes / srcRes),
          stepRemainder_(devRes % srcRes),
          quotient_((firstColumn * devRes) / srcRes),
          remainder_((firstColumn * devRes) % srcRes) {}

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

template <DotDepth Depth, std::size_t Planes>
void ditherScaledRow(const QvrDrwInf& draw, std::uint32_t dots,
                     std::array<PlaneCursor<Depth>, Planes>& cursors) noexcept {
    constexpr std::uint32_t perByte = dotsPerByte<Depth>;
    constexpr std::uint32_t bits = static_cast<std::uint32_t>(Depth);
    PixelStepper stepper(draw.srcX, draw.devResX, draw.srcResX);
    std::array<std::uint32_t, Planes> bytes{};
    std::uint32_t dot = 0;
    std::uint32_t inByte = 0;
    std::uint32_t byteIndex = 0;
    const std::uint8_t* pixel = draw.srcPixels;
    for (std::uint32_t i = 0; i < draw.srcWidth && dot < dots; ++i, pixel += 4) {
        std::uint32_t repeats = stepper.next();
        if (repeats > dots - dot) repeats = dots - dot;
        dot += repeats;
        for (; repeats != 0; --repeats) {
            for (std::size_t p = 0; p < Planes; ++p) {
                PlaneCursor<Depth>& cursor = cursors[p];
                bytes[p] = (bytes[p] << bits) | cursor.screen.value(pixel[cursor.channel], cursor.column);
                cursor.column = cursor.column + 1 == cursor.size ? 0 : cursor.column + 1;
            }
            if (++inByte == perByte) {
                for (std::size_t p = 0; p < Planes; ++p) {
                    cursors[p].row[byteIndex] = static_cast<std::uint8_t>(bytes[p]);
                    bytes[p] = 0;
                }
                inByte = 0;
                ++byteIndex;
            }
        }
    }
    if (inByte != 0) {
        for (std::size_t p = 0; p < Planes; ++p) {
            cursors[p].row[byteIndex] = static_cast<std::uint8_t>(bytes[p] << (bits * (perByte - inByte)));
        }
        ++byteIndex;
    }
    clearRowTail(cursors, byteIndex, draw.lineBytes);
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
    if (fast && !unscaled) {
        const std::uint64_t endProduct = (std::uint64_t{draw.srcX} + draw.srcWidth) * draw.devResX;
        fast = draw.srcResX != 0 && endProduct <= 0xFFFFFFFFu;
        if (fast) {
            dots = endProduct / draw.srcResX - (std::uint64_t{draw.srcX} * draw.devResX) / draw.srcResX;
        }
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

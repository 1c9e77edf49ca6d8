#include "colour/earlier/error_diffusion.h"
#include "colour/common/row_stepping.h"
#include "colour/earlier/error_diffusion_tables.h"
#include "colour/earlier/error_rows.h"

namespace huecl::earlier {

using common::dotCapacity;
using common::isUnscaled;
using common::outputRowsFromWrappedStart;
using common::pixelDots;

namespace {

// Cell `component` of column group `group` (group 0 is the guard, column
// -1), indexed in 32 bits as the 32-bit library does.
inline std::int16_t& cellAt(std::int16_t* row, std::uint32_t group, std::uint32_t groupCells,
                            std::uint32_t component) noexcept {
    return row[std::uintptr_t{group} * groupCells + component];
}

// The filtered error a dot takes in: its weighted neighbours over the
// total, truncating toward zero, as a 16-bit value.
std::int32_t incomingError(const DiffusionKernel& kernel, std::int16_t* current, std::int16_t* previous,
                           std::uint32_t group, std::uint32_t groupCells, std::uint32_t component) noexcept {
    const std::uint32_t beforeGroup = kernel.rightToLeft ? group + 1 : group - 1;
    const std::int32_t sum = kernel.before * cellAt(current, beforeGroup, groupCells, component) +
                             kernel.aboveLeft * cellAt(previous, group - 1, groupCells, component) +
                             kernel.above * cellAt(previous, group, groupCells, component) +
                             kernel.aboveRight * cellAt(previous, group + 1, groupCells, component);
    return static_cast<std::int16_t>(sum / kernel.total);
}

struct CmykRow {
    const DiffusionKernel* kernel;
    std::int16_t* current;
    std::int16_t* previous;
    std::uint8_t* planes[4];
    std::uint32_t y;
    std::uint32_t firstComponent;  // 0, or 3 for black alone
};

void diffuseDot(const QvrDrwInf& draw, const CmykRow& row, const std::uint8_t* pixel, std::uint32_t c) noexcept {
    const std::uint32_t column = draw.devX + c;
    const std::uint32_t group = column + 1;
    const std::uint32_t cell = 8 * (row.y % 8) + column % 8;
    for (std::uint32_t k = row.firstComponent; k < 4; ++k) {
        const std::uint32_t v = diffusedLevel(pixel[k]);
        const std::int32_t threshold = diffusionThreshold(v, cell, k != 2);
        const std::int32_t e = incomingError(*row.kernel, row.current, row.previous, group, kCmykGroupCells, k);
        const std::int32_t level = static_cast<std::int32_t>(v) + e;
        if (level > threshold) {
            row.planes[k][c / 8] |= static_cast<std::uint8_t>(0x80u >> (c % 8));
            cellAt(row.current, group, kCmykGroupCells, k) = static_cast<std::int16_t>(level - 255);
        } else {
            cellAt(row.current, group, kCmykGroupCells, k) = static_cast<std::int16_t>(level);
        }
    }
}

}  // namespace

void diffuseCmykRowGeneral(const QvDizInf& dither, QvrDrwInf& draw, QvErrInf& errors) noexcept {
    const std::uint32_t rows = outputRowsFromWrappedStart(draw);
    if (rows != 0) {
        const ErrorSet set = cmykErrorSet(errors);
        startRowSequence(set, draw.devY, kCmykGroupCells);
        const bool unscaled = isUnscaled(draw);
        const std::uint32_t capacity = dotCapacity(draw.lineBytes, 8);
        // The dots of the row as the 32-bit stepping counts them; a
        // right-to-left row starts from the last of those that fit.
        const std::uint32_t rowDots =
            unscaled ? draw.srcWidth
                     : (draw.srcResX == 0 ? 0
                                          : ((draw.srcX + draw.srcWidth) * draw.devResX) / draw.srcResX -
                                                (draw.srcX * draw.devResX) / draw.srcResX);
        const std::uint32_t dots = rowDots < capacity ? rowDots : capacity;
        for (std::uint32_t r = 0; r < rows; ++r) {
            CmykRow row{};
            row.y = draw.devY + r;
            row.kernel = &kDiffusionKernels[row.y % 6];
            row.current = currentRow(set, row.y);
            row.previous = previousRow(set, row.y);
            const std::uintptr_t rowOffset = std::uintptr_t{r} * draw.lineBytes;
            std::uint8_t* const planes[4] = {draw.planeC, draw.planeM, draw.planeY, draw.planeK};
            for (std::uint32_t k = 0; k < 4; ++k) {
                row.planes[k] = planes[k] + rowOffset;
                for (std::uint32_t b = 0; b < draw.lineBytes; ++b) row.planes[k][b] = 0;
            }
            row.firstComponent = dither.monoFlag != 0 ? 3 : 0;
            if (!row.kernel->rightToLeft) {
                std::uint32_t c = 0;
                for (std::uint32_t j = 0; j < draw.srcWidth && c < capacity; ++j) {
                    const std::uint8_t* const pixel = draw.srcPixels + 4 * std::uintptr_t{j};
                    const std::uint32_t w = unscaled ? 1 : pixelDots(draw, draw.srcX + j);
                    for (std::uint32_t k = 0; k < w && c < capacity; ++k, ++c) diffuseDot(draw, row, pixel, c);
                }
            } else {
                // Dots past the capacity come first in this order and are
                // passed over; the row ends with dot 0.
                std::uint32_t skip = rowDots - dots;
                std::uint32_t left = dots;
                for (std::uint32_t j = draw.srcWidth; j-- > 0 && left != 0;) {
                    const std::uint8_t* const pixel = draw.srcPixels + 4 * std::uintptr_t{j};
                    std::uint32_t w = unscaled ? 1 : pixelDots(draw, draw.srcX + j);
                    if (skip >= w) {
                        skip -= w;
                        continue;
                    }
                    w -= skip;
                    skip = 0;
                    for (; w != 0 && left != 0; --w) diffuseDot(draw, row, pixel, --left);
                }
            }
        }
        *set.lastRow = draw.devY + rows - 1;
    }
    draw.srcY += 1;
    draw.devY += rows;
    draw.devRow += rows;
}

void diffuseRgbRowGeneral(const QvrDrwInf& draw, QvErrInf& errors, std::uint8_t* pixels) noexcept {
    const std::uint32_t n = draw.srcY;
    const ErrorSet set = rgbErrorSet(errors);
    startRowSequence(set, n, kRgbGroupCells);
    *set.lastRow = n;
    const DiffusionKernel& kernel = kDiffusionKernels[n % 6];
    std::int16_t* const current = currentRow(set, n);
    std::int16_t* const previous = previousRow(set, n);
    for (std::uint32_t i = 0; i < draw.srcWidth; ++i) {
        const std::uint32_t x = kernel.rightToLeft ? draw.srcWidth - 1 - i : i;
        const std::uint32_t group = draw.devX + x + 1;
        std::uint8_t* const pixel = pixels + 3 * std::uintptr_t{x};
        for (std::uint32_t b = 0; b < 3; ++b) {
            const std::int32_t e = incomingError(kernel, current, previous, group, kRgbGroupCells, b);
            const std::int32_t level = e + pixel[b];
            const std::int32_t wrapped = static_cast<std::int16_t>(level);
            std::int32_t quantised = (wrapped / 8) * 8;
            if (quantised > 255) quantised = 255;
            if (quantised < 0) quantised = 0;
            cellAt(current, group, kRgbGroupCells, b) = static_cast<std::int16_t>(level - quantised);
            pixel[b] = static_cast<std::uint8_t>(quantised);
        }
    }
}

}  // namespace huecl::earlier

#include "colour/later/dither_process.h"
#include "colour/later/dither_process_layout.h"

namespace huecl::later {

std::uint32_t twoBitDotValue(std::uint32_t level, const std::uint8_t* cell) noexcept {
    if (level <= cell[0]) return 0;
    if (level > cell[2]) return 3;
    if (level > cell[1]) return 2;
    return 1;
}

std::uint32_t fourBitDotValue(std::uint32_t level, const std::uint8_t* cell) noexcept {
    if (level <= cell[0]) return 0;
    std::uint32_t low = 0;
    std::uint32_t high = 14;
    std::uint32_t middle = 7;
    do {
        if (level > cell[middle]) {
            low = middle;
        } else {
            high = middle - 1;
        }
        middle = (low + high + 1) / 2;
    } while (low < high);
    return middle + 1;
}

namespace {

std::uint32_t dotValue(DotDepth depth, std::uint32_t level, const std::uint8_t* cell) noexcept {
    switch (depth) {
        case DotDepth::one: return level > cell[0] ? 1u : 0u;
        case DotDepth::two: return twoBitDotValue(level, cell);
        case DotDepth::four: return fourBitDotValue(level, cell);
    }
    return 0;
}

void orDot(std::uint8_t* row, DotDepth depth, std::uint32_t dot, std::uint32_t value) noexcept {
    switch (depth) {
        case DotDepth::one: row[dot / 8] |= static_cast<std::uint8_t>(value << (7 - dot % 8)); break;
        case DotDepth::two: row[dot / 4] |= static_cast<std::uint8_t>(value << (6 - 2 * (dot % 4))); break;
        case DotDepth::four: row[dot / 2] |= static_cast<std::uint8_t>(dot % 2 == 0 ? value << 4 : value); break;
    }
}

}  // namespace

void ditherRowGeneral(const QvrDizInf& dither, QvrDrwInf& draw) noexcept {
    const RowLayout layout = rowLayout(dither, draw);
    const std::uint32_t rows = outputRows(draw);
    if (rows == 0) {
        draw.srcY += 1;
        return;
    }
    const bool unscaled = isUnscaled(draw);
    for (std::uint32_t j = 0; j < rows; ++j) {
        const std::uint32_t rowOffset = (draw.devRow + j) * draw.lineBytes;
        const std::uint32_t deviceRow = draw.devY + j;
        for (std::uint32_t p = 0; p < layout.planeCount; ++p) {
            std::uint8_t* const row = layout.planes[p].buffer + rowOffset;
            for (std::uint32_t b = 0; b < draw.lineBytes; ++b) row[b] = 0;
        }
        std::uint32_t dot = 0;
        for (std::uint32_t i = 0; i < draw.srcWidth && dot < layout.dotCapacity; ++i) {
            std::uint32_t repeats = 1;
            if (!unscaled) {
                // A zero source resolution maps the row to no dots.
                repeats = common::pixelDots(draw, draw.srcX + i);
            }
            const std::uint8_t* const pixel = draw.srcPixels + 4 * static_cast<std::uintptr_t>(i);
            for (; repeats != 0 && dot < layout.dotCapacity; --repeats, ++dot) {
                for (std::uint32_t p = 0; p < layout.planeCount; ++p) {
                    const PlaneLayout& plane = layout.planes[p];
                    const std::uint32_t level = pixel[plane.channel];
                    // A plane without a matrix gets no dots.
                    if (level == 0 || plane.size == 0) continue;
                    const std::uint32_t matrixRow = deviceRow % plane.size;
                    const std::uint32_t column = (draw.devX + dot) % plane.size;
                    const std::uint8_t* const cell =
                        plane.matrix + (matrixRow * plane.size + column) * layout.thresholdsPerCell;
                    orDot(plane.buffer + rowOffset, layout.depth, dot, dotValue(layout.depth, level, cell));
                }
            }
        }
    }
    draw.srcY += 1;
    draw.devY += rows;
    draw.devRow += rows;
}

}  // namespace huecl::later

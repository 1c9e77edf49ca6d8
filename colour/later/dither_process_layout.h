// What one dithering call works on: the variant, the planes it writes and
// how many dots fit into a plane row. Shared by the general procedure and
// the fast paths so that both read the record identically.
#pragma once

#include <cstdint>

#include "colour/common/row_stepping.h"
#include "huecl32.h"

namespace huecl::later {

using common::isUnscaled;
using common::outputRows;

enum class DotDepth : std::uint8_t { one = 1, two = 2, four = 4 };

struct PlaneLayout {
    std::uint8_t* buffer;        // the plane's band buffer
    const std::uint8_t* matrix;  // its threshold matrix
    std::uint32_t size;          // matrix edge in dots
    std::uint32_t channel;       // byte of the CMYK pixel it reads
};

struct RowLayout {
    DotDepth depth;
    std::uint32_t thresholdsPerCell;  // 1, 3 or 15
    std::uint32_t planeCount;         // 4, or 1 for black only
    PlaneLayout planes[4];
    // Dots that fit into lineBytes; dots beyond it would land in the next
    // row or past the buffer and are not written.
    std::uint32_t dotCapacity;
};

inline RowLayout rowLayout(const QvrDizInf& dither, const QvrDrwInf& draw) noexcept {
    RowLayout layout{};
    switch (dither.dizMode) {
        case 1:
            layout.depth = DotDepth::four;
            layout.thresholdsPerCell = 15;
            break;
        case 3:
            layout.depth = DotDepth::two;
            layout.thresholdsPerCell = 3;
            break;
        default:
            layout.depth = DotDepth::one;
            layout.thresholdsPerCell = 1;
            break;
    }
    if (dither.blackOnly != 0) {
        layout.planeCount = 1;
        layout.planes[0] = PlaneLayout{draw.planeK, dither.matrixK, dither.sizeK, 3};
    } else {
        layout.planeCount = 4;
        layout.planes[0] = PlaneLayout{draw.planeC, dither.matrixC, dither.sizeC, 0};
        layout.planes[1] = PlaneLayout{draw.planeM, dither.matrixM, dither.sizeM, 1};
        layout.planes[2] = PlaneLayout{draw.planeY, dither.matrixY, dither.sizeY, 2};
        layout.planes[3] = PlaneLayout{draw.planeK, dither.matrixK, dither.sizeK, 3};
    }
    layout.dotCapacity = common::dotCapacity(draw.lineBytes, 8u / static_cast<std::uint32_t>(layout.depth));
    return layout;
}

}  // namespace huecl::later

#include "colour/earlier/colour_dither.h"

#include "colour/common/row_stepping.h"

namespace huecl::earlier {

using common::dotCapacity;
using common::isUnscaled;
using common::outputRowsFromWrappedStart;
using common::pixelDots;

namespace {

struct DitherPlane {
    std::uint8_t* plane;
    const std::uint8_t* matrix;
    std::uint32_t edge;     // 17 for cyan and magenta, 16 for yellow and black
    std::uint32_t channel;  // byte of the CMYK pixel
};

}  // namespace

void ditherColourRowGeneral(const QvDizInf& dither, QvrDrwInf& draw) noexcept {
    const bool mono = dither.monoFlag != 0;
    const DitherPlane all[4] = {{draw.planeC, dither.ptnC, 17, 0},
                                {draw.planeM, dither.ptnM, 17, 1},
                                {draw.planeY, dither.ptnY, 16, 2},
                                {draw.planeK, dither.ptnK, 16, 3}};
    const DitherPlane* const planes = mono ? all + 3 : all;
    const std::uint32_t planeCount = mono ? 1 : 4;
    const bool unscaled = isUnscaled(draw);
    const std::uint32_t rows = outputRowsFromWrappedStart(draw);
    const std::uint32_t capacity = dotCapacity(draw.lineBytes, 8);
    for (std::uint32_t r = 0; r < rows; ++r) {
        const std::uint32_t y = draw.devY + r;
        const std::uintptr_t rowOffset = std::uintptr_t{r} * draw.lineBytes;
        for (std::uint32_t p = 0; p < planeCount; ++p) {
            std::uint8_t* const row = planes[p].plane + rowOffset;
            for (std::uint32_t b = 0; b < draw.lineBytes; ++b) row[b] = 0;
        }
        std::uint32_t c = 0;
        for (std::uint32_t j = 0; j < draw.srcWidth && c < capacity; ++j) {
            const std::uint32_t dots = unscaled ? 1 : pixelDots(draw, draw.srcX + j);
            const std::uint8_t* const pixel = draw.srcPixels + 4 * std::uintptr_t{j};
            for (std::uint32_t k = 0; k < dots && c < capacity; ++k, ++c) {
                const std::uint32_t x = draw.devX + c;
                for (std::uint32_t p = 0; p < planeCount; ++p) {
                    const DitherPlane& plane = planes[p];
                    const std::uint8_t threshold = plane.matrix[plane.edge * (y % plane.edge) + x % plane.edge];
                    if (pixel[plane.channel] > threshold) {
                        plane.plane[rowOffset + c / 8] |= static_cast<std::uint8_t>(0x80u >> (c % 8));
                    }
                }
            }
        }
    }
    draw.srcY += 1;
    draw.devY += rows;
    draw.devRow += rows;
}

}  // namespace huecl::earlier

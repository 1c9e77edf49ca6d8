#include "colour/later/colour_match.h"

#include <cstddef>

#include "colour/common/tone_tables.h"
#include "colour/later/grid_interpolation.h"

namespace huecl::later {

namespace {

using common::GrayToneTable;
using common::NeutralRouting;
using common::packCmyk;
using common::PrimaryToneTable;
using common::Rgb;

// Greys print 255 minus their tone value, with black alone.
struct BlackForGrey {
    std::uint32_t operator()(std::uint32_t grey) const noexcept {
        return packCmyk(0, 0, 0, 255u - GrayToneTable[grey]);
    }
};

struct ToneInversion {
    std::uint32_t operator()(const Rgb& pixel) const noexcept {
        return packCmyk(255u - PrimaryToneTable[pixel.red], 255u - PrimaryToneTable[pixel.green],
                        255u - PrimaryToneTable[pixel.blue], 0);
    }
};

struct BlackOnly {
    std::uint32_t operator()(const Rgb& pixel) const noexcept { return BlackForGrey{}(common::weightedGrey(pixel)); }
};

}  // namespace

std::uint32_t interpolateInTable(std::uint32_t blue, std::uint32_t green, std::uint32_t red, std::uint32_t gridSize,
                                 const std::uint8_t* table) noexcept {
    const std::uint32_t gridSteps = gridStepsOf(gridSize);
    const GridCube cube = {locateOnAxis(red, gridSteps), locateOnAxis(green, gridSteps), locateOnAxis(blue, gridSteps),
                           gridSteps + std::size_t{1}};
    // Entry bytes are cyan to black, so the packed result is already a
    // packed CMYK pixel.
    return interpolateCube<4>(table, cube);
}

void matchRow(std::uint32_t count, const std::uint8_t* source, std::uint8_t* destination,
              const MatchSettings& settings) noexcept {
    using common::MatchMethod;
    switch (settings.method) {
        case MatchMethod::kDirectTable:
            common::convertWithRouting(settings.neutral, count, source, destination, BlackForGrey{},
                                       common::DirectTable{settings.table});
            break;
        case MatchMethod::kInterpolatedTable: {
            const auto interpolate = [&settings](const Rgb& pixel) noexcept {
                return interpolateInTable(pixel.blue, pixel.green, pixel.red, settings.gridSize, settings.table);
            };
            common::interpolateWithRouting(settings.neutral, count, source, destination, settings.cache, BlackForGrey{},
                                           interpolate);
            break;
        }
        case MatchMethod::kInversion:
            common::convertWithRouting(settings.neutral, count, source, destination, BlackForGrey{}, ToneInversion{});
            break;
        case MatchMethod::kEightColours:
            common::convertEachPixel(count, source, destination, common::EightColours{});
            break;
        case MatchMethod::kBlackOnly: common::convertEachPixel(count, source, destination, BlackOnly{}); break;
    }
}

}  // namespace huecl::later

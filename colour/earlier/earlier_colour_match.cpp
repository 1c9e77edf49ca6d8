#include "colour/earlier/earlier_colour_match.h"

#include <algorithm>

#include "colour/common/balance_curves.h"
#include "colour/earlier/grey_black.h"

namespace huecl::earlier {

namespace {

using common::packCmyk;
using common::Rgb;

// Greys print with black alone, as the screen mode's curve says.
struct BlackForGrey {
    const GreyBlackCurve* curve;
    std::uint32_t operator()(std::uint32_t grey) const noexcept { return packCmyk(0, 0, 0, (*curve)[grey]); }
};

struct BlackOnly {
    BlackForGrey blackForGrey;
    std::uint32_t operator()(const Rgb& pixel) const noexcept { return blackForGrey(common::weightedGrey(pixel)); }
};

// The complements with a quarter of their common part moved to black, the
// colours darkened through the gamma-1.4 balance curve and black left
// linear.
struct CurvedInversion {
    std::uint32_t operator()(const Rgb& pixel) const noexcept {
        constexpr const common::BalanceCurve& curve = common::BalanceCurves[common::selectEarlierBalanceCurve(14)];
        const std::uint32_t cyan = 255u - pixel.red;
        const std::uint32_t magenta = 255u - pixel.green;
        const std::uint32_t yellow = 255u - pixel.blue;
        const std::uint32_t black = std::min(std::min(cyan, magenta), yellow) >> 2;
        return packCmyk(curve[cyan - black], curve[magenta - black], curve[yellow - black], black);
    }
};

// A CMYK entry as two words of two 32-bit lanes: cyan and yellow, magenta
// and black. Each lane only ever holds a byte times a weight of at most 9,
// and that times a reciprocal below 2^24 stays under 2^32, so one
// multiplication serves both lanes of a word without a carry crossing.
struct Lanes {
    std::uint64_t cyanYellow;
    std::uint64_t magentaBlack;
};

inline Lanes loadLanes(const std::uint8_t* entry) noexcept {
    return {entry[0] | (std::uint64_t{entry[2]} << 32), entry[1] | (std::uint64_t{entry[3]} << 32)};
}

constexpr std::uint64_t kByteOfEachLane = 0x000000FF000000FFull;

// One pass along one axis: (high x weightHigh + low x weightLow) / width,
// truncated, in both lanes.
constexpr std::uint64_t blendWord(std::uint64_t low, std::uint64_t high, const GridStep& step) noexcept {
    const std::uint64_t sum = low * step.weightLow + high * step.weightHigh;
    return ((sum * step.reciprocal) >> kReciprocalShift) & kByteOfEachLane;
}

constexpr Lanes blend(const Lanes& low, const Lanes& high, const GridStep& step) noexcept {
    return {blendWord(low.cyanYellow, high.cyanYellow, step), blendWord(low.magentaBlack, high.magentaBlack, step)};
}

}  // namespace

std::uint32_t interpolateOnGrid(std::uint32_t blue, std::uint32_t green, std::uint32_t red,
                                const std::uint8_t* table) noexcept {
    const GridStep& r = GridSteps[red];
    const GridStep& g = GridSteps[green];
    const GridStep& b = GridSteps[blue];
    // Byte offsets of the nodes along each axis: red strides 32 x 32
    // entries, green 32, blue one, of 4 bytes each.
    const std::uint8_t* const redLow = table + (std::size_t{r.low} << 12);
    const std::uint8_t* const redHigh = table + (std::size_t{r.high} << 12);
    const std::size_t greenLow = std::size_t{g.low} << 7, greenHigh = std::size_t{g.high} << 7;
    const std::size_t blueLow = std::size_t{b.low} << 2, blueHigh = std::size_t{b.high} << 2;

    // Each pass truncates, so the order of the axes is part of the result:
    // red first (eight nodes to four), then green (to two), then blue.
    const auto alongRed = [&](std::size_t greenAndBlue) noexcept {
        return blend(loadLanes(redLow + greenAndBlue), loadLanes(redHigh + greenAndBlue), r);
    };
    const Lanes lowGreenLowBlue = alongRed(greenLow + blueLow);
    const Lanes lowGreenHighBlue = alongRed(greenLow + blueHigh);
    const Lanes highGreenLowBlue = alongRed(greenHigh + blueLow);
    const Lanes highGreenHighBlue = alongRed(greenHigh + blueHigh);
    const Lanes lowBlue = blend(lowGreenLowBlue, highGreenLowBlue, g);
    const Lanes highBlue = blend(lowGreenHighBlue, highGreenHighBlue, g);
    const Lanes result = blend(lowBlue, highBlue, b);

    const std::uint64_t packed = result.cyanYellow | (result.magentaBlack << 8);  // c m . . y k . .
    return static_cast<std::uint32_t>(packed & 0xFFFF) | (static_cast<std::uint32_t>(packed >> 32) << 16);
}

void matchRow(std::uint32_t count, const std::uint8_t* source, std::uint8_t* destination,
              const MatchSettings& settings) noexcept {
    using common::MatchMethod;
    const BlackForGrey blackForGrey{&GreyBlackCurves[greyBlackVariant(settings.screenMode)]};
    switch (settings.method) {
        case MatchMethod::kDirectTable:
            common::convertWithRouting(settings.neutral, count, source, destination, blackForGrey,
                                       common::DirectTable{settings.table});
            break;
        case MatchMethod::kInterpolatedTable: {
            const std::uint8_t* const table = settings.table;
            const auto interpolate = [table](const Rgb& pixel) noexcept {
                return interpolateOnGrid(pixel.blue, pixel.green, pixel.red, table);
            };
            common::interpolateWithRouting(settings.neutral, count, source, destination, settings.cache, blackForGrey,
                                           interpolate);
            break;
        }
        case MatchMethod::kInversion:
            common::convertWithRouting(settings.neutral, count, source, destination, blackForGrey, CurvedInversion{});
            break;
        case MatchMethod::kEightColours:
            common::convertEachPixel(count, source, destination, common::EightColours{});
            break;
        case MatchMethod::kBlackOnly:
            common::convertEachPixel(count, source, destination, BlackOnly{blackForGrey});
            break;
    }
}

}  // namespace huecl::earlier

#include "colour/common/balance_rows.h"

#include <cstddef>

#include "common/byte_access.h"

namespace huecl::common {

namespace {

using LevelMap = std::uint8_t[256];

constexpr std::uint8_t clampToLevel(std::int32_t value) noexcept {
    return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// The steps that act on each component alone (tone table and brightness
// before saturation, the balance curve after it) are folded into 256-entry
// maps once per call, so a pixel costs a look-up per component for them
// whatever is switched on.
void mapToneAndBrightness(const RgbBalance& balance, LevelMap& map) noexcept {
    const std::int32_t shift = balance.brightness / 3;
    for (std::int32_t level = 0; level < 256; ++level) {
        const std::int32_t toned = balance.preTable != nullptr ? balance.preTable[level] : level;
        map[level] = clampToLevel(toned + shift);
    }
}

bool isIdentity(const LevelMap& map) noexcept {
    for (int level = 0; level < 256; ++level)
        if (map[level] != level) return false;
    return true;
}

void mapBalanceCurve(int curve, const LevelMap& before, LevelMap& map) noexcept {
    for (int level = 0; level < 256; ++level) {
        map[level] = curve == kNoBalanceCurve ? before[level] : BalanceCurves[curve][before[level]];
    }
}

constexpr std::int32_t kRgbSaturationDivisor = 200;
constexpr std::int32_t kCmySaturationDivisor = 100;

// Long rows take the saturation step from tables built once per call; short
// rows (a caller may go pixel by pixel) compute each move, which then costs
// less than the tables. Both give the same bytes: the tables hold the same
// quotients and clamps.
constexpr std::uint32_t kRowsWorthSaturationTables = 256;

// Index into a ClampedMap: the component plus its move, offset by 255. The
// move for each distance -255..255 from the mean is cut to -255..255 (a
// component plus a longer move clamps to 0 or 255 all the same), so the
// index stays within 0-765.
template <std::int32_t kDivisor>
class SaturationShifts {
public:
    explicit SaturationShifts(std::int32_t saturation) noexcept {
        for (std::int32_t distance = -255; distance <= 255; ++distance) {
            const std::int32_t move = saturationMove(distance, saturation, kDivisor);
            offsetMoves_[distance + 255] = static_cast<std::uint16_t>((move < -255  ? -255
                                                                       : move > 255 ? 255
                                                                                    : move) +
                                                                      255);
        }
    }

    // The entry for distance 0, to be indexed by a signed distance.
    const std::uint16_t* centre() const noexcept { return offsetMoves_ + 255; }

private:
    std::uint16_t offsetMoves_[511] = {};
};

// A LevelMap behind the clamp to 0-255 of a value offset by 255.
class ClampedMap {
public:
    explicit ClampedMap(const LevelMap& map) noexcept {
        for (int index = 0; index < 766; ++index) levels_[index] = map[clampToLevel(index - 255)];
    }
    const std::uint8_t* levels() const noexcept { return levels_; }

private:
    std::uint8_t levels_[766] = {};
};

// Saturation and the map that follows it, for component k of a pixel whose
// components have the given mean; by tables or by formula.
// Plain pointers and pointer-sized values let each look-up take a single
// addressing mode, without sign extensions. The moves table shifted back by
// the mean (still inside the table, since the mean is 0-255) is indexed by
// the component itself, and is shared by the pixel's three components.
struct TableSaturation {
    const std::uint16_t* offsetMoveAtDistance;
    const std::uint8_t* finish[3];
    std::uint8_t operator()(int k, std::ptrdiff_t value, std::ptrdiff_t mean) const noexcept {
        const std::uint16_t* const offsetMoveOfValue = offsetMoveAtDistance - mean;
        return finish[k][value + offsetMoveOfValue[value]];
    }
};

template <std::int32_t kDivisor>
struct FormulaSaturation {
    std::int32_t saturation;
    const LevelMap* finish[3];
    std::uint8_t operator()(int k, std::ptrdiff_t value, std::ptrdiff_t mean) const noexcept {
        return (*finish[k])[saturateComponent(static_cast<std::int32_t>(value), static_cast<std::int32_t>(mean),
                                              saturation, kDivisor)];
    }
};

// Bytes 0, 1, 2 of an RGB pixel are blue, green, red; finish maps follow
// that order. Kept out of line: with the maps reached through pointers held in
// registers, each look-up is one add and one load, where inlined stack
// addresses cost the compiler extra address arithmetic per component.
template <typename Saturation>
[[gnu::noinline]] void saturateRgbPixels(std::uint32_t count, std::uint8_t* pixels, const std::uint8_t* entry,
                                         const Saturation saturate) noexcept {
    for (std::uint32_t i = 0; i < count; ++i, pixels += 3) {
        const std::ptrdiff_t blue = entry[pixels[0]];
        const std::ptrdiff_t green = entry[pixels[1]];
        const std::ptrdiff_t red = entry[pixels[2]];
        const std::ptrdiff_t mean = static_cast<std::uint32_t>(red + green + blue) / 3u;
        // Blue and green leave as one 16-bit word built with shifts: merged
        // byte stores would go through partial registers, which stall.
        const auto blueAndGreen =
            static_cast<std::uint16_t>(saturate(0, blue, mean) | (std::uint32_t{saturate(1, green, mean)} << 8));
        bytes::storeLittleEndian16(pixels, blueAndGreen);
        pixels[2] = saturate(2, red, mean);
    }
}

// Black skips the saturation step and only takes the closing map.
template <typename Saturation>
[[gnu::noinline]] void saturateCmyPixels(std::uint32_t count, std::uint8_t* pixels, const std::uint8_t* last,
                                         const Saturation saturate) noexcept {
    for (std::uint32_t i = 0; i < count; ++i, pixels += 4) {
        const std::ptrdiff_t cyan = pixels[0];
        const std::ptrdiff_t magenta = pixels[1];
        const std::ptrdiff_t yellow = pixels[2];
        const std::ptrdiff_t mean = static_cast<std::uint32_t>(cyan + magenta + yellow) / 3u;
        pixels[0] = saturate(0, cyan, mean);
        pixels[1] = saturate(1, magenta, mean);
        pixels[2] = saturate(2, yellow, mean);
        pixels[3] = last[pixels[3]];
    }
}

}  // namespace

void balanceRgbRow(std::uint32_t count, std::uint8_t* pixels, const RgbBalance& balance,
                   BalanceCurveSelection selectCurve) noexcept {
    if (count == 0) return;
    LevelMap entry;
    mapToneAndBrightness(balance, entry);
    LevelMap red, green, blue;
    if (balance.saturation == 0) {
        // Nothing couples the components: each one goes through a single
        // map of all its steps.
        mapBalanceCurve(selectCurve(balance.levelRed), entry, red);
        mapBalanceCurve(selectCurve(balance.levelGreen), entry, green);
        mapBalanceCurve(selectCurve(balance.levelBlue), entry, blue);
        // Neutral settings: every pixel would be written back as it is.
        if (isIdentity(red) && isIdentity(green) && isIdentity(blue)) return;
        for (std::uint32_t i = 0; i < count; ++i, pixels += 3) {
            pixels[0] = blue[pixels[0]];
            pixels[1] = green[pixels[1]];
            pixels[2] = red[pixels[2]];
        }
        return;
    }
    LevelMap identity;
    for (int level = 0; level < 256; ++level) identity[level] = static_cast<std::uint8_t>(level);
    mapBalanceCurve(selectCurve(balance.levelRed), identity, red);
    mapBalanceCurve(selectCurve(balance.levelGreen), identity, green);
    mapBalanceCurve(selectCurve(balance.levelBlue), identity, blue);
    if (count >= kRowsWorthSaturationTables) {
        const SaturationShifts<kRgbSaturationDivisor> shifts(balance.saturation);
        const ClampedMap clampedBlue(blue), clampedGreen(green), clampedRed(red);
        saturateRgbPixels(
            count, pixels, entry,
            TableSaturation{shifts.centre(), {clampedBlue.levels(), clampedGreen.levels(), clampedRed.levels()}});
    } else {
        saturateRgbPixels(count, pixels, entry,
                          FormulaSaturation<kRgbSaturationDivisor>{balance.saturation, {&blue, &green, &red}});
    }
}

void balanceCmyRow(std::uint32_t count, std::uint8_t* pixels, const CmyBalance& balance) noexcept {
    const std::uint8_t* const table = balance.cmyTable;
    if (balance.saturation == 0) {
        if (table == nullptr) return;
        for (std::uint32_t i = 0; i < count; ++i, pixels += 4) {
            for (int k = 0; k < 4; ++k) pixels[k] = table[pixels[k]];
        }
        return;
    }
    // Without a tone table the closing map is the identity.
    LevelMap last;
    for (int level = 0; level < 256; ++level) {
        last[level] = table != nullptr ? table[level] : static_cast<std::uint8_t>(level);
    }
    if (count >= kRowsWorthSaturationTables) {
        const SaturationShifts<kCmySaturationDivisor> shifts(balance.saturation);
        const ClampedMap clampedLast(last);
        saturateCmyPixels(
            count, pixels, last,
            TableSaturation{shifts.centre(), {clampedLast.levels(), clampedLast.levels(), clampedLast.levels()}});
    } else {
        saturateCmyPixels(count, pixels, last,
                          FormulaSaturation<kCmySaturationDivisor>{balance.saturation, {&last, &last, &last}});
    }
}

}  // namespace huecl::common

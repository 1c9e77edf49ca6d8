#include "colour/later/density_table.h"

namespace huecl::later {

namespace {

constexpr std::uint8_t clampToLevel(std::int64_t quotient) noexcept {
    if (quotient < 0) return 0;
    if (quotient > 255) return 255;
    return static_cast<std::uint8_t>(quotient);
}

}  // namespace

void buildDensityTable(std::int32_t density, std::uint8_t* table) noexcept {
    // The branch follows the sign of twice the setting taken as a 32-bit
    // value, so settings of 2^30 and beyond wrap into the lowering branch
    // exactly as on the 32-bit library. The line itself is computed in 64
    // bits: the products overflow 32 bits long before the setting stops
    // being meaningful, and quotients outside 0-255 (only for settings below
    // -128 or wrapped ones) are clamped rather than cut to their low byte.
    const auto twice = static_cast<std::int32_t>(static_cast<std::uint32_t>(density) * 2u);
    const std::int64_t t = twice;
    if (t < 0) {
        const std::int64_t slope = t + 255;
        for (std::int64_t level = 0; level < 255; ++level) {
            table[level] = clampToLevel(slope * level / 255);
        }
        table[255] = 255;
    } else {
        const std::int64_t divisor = t + 255;
        table[0] = 0;
        for (std::int64_t level = 1; level < 256; ++level) {
            table[level] = clampToLevel((level + t) * 255 / divisor);
        }
    }
}

}  // namespace huecl::later

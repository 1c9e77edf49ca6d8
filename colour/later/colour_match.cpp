#include "colour/later/colour_match.h"

#include <bit>
#include <cstddef>
#include <cstring>

#include "colour/common/tone_tables.h"
#include "colour/later/grid_interpolation.h"

namespace huecl::later {

namespace {

using common::GrayToneTable;
using common::PrimaryToneTable;

// A CMYK pixel travels as one 32-bit value, cyan in the low byte, so that a
// cache value or a run of equal results moves as a single word.
constexpr std::uint32_t packCmyk(std::uint32_t cyan, std::uint32_t magenta, std::uint32_t yellow,
                                 std::uint32_t black) noexcept {
    return cyan | (magenta << 8) | (yellow << 16) | (black << 24);
}

inline void storeCmyk(std::uint8_t* destination, std::uint32_t cmyk) noexcept {
    destination[0] = static_cast<std::uint8_t>(cmyk);
    destination[1] = static_cast<std::uint8_t>(cmyk >> 8);
    destination[2] = static_cast<std::uint8_t>(cmyk >> 16);
    destination[3] = static_cast<std::uint8_t>(cmyk >> 24);
}

inline std::uint32_t loadCmyk(const std::uint8_t* source) noexcept {
    return packCmyk(source[0], source[1], source[2], source[3]);
}

struct Rgb {
    std::uint32_t blue;
    std::uint32_t green;
    std::uint32_t red;
};

inline Rgb loadRgb(const std::uint8_t* source) noexcept {
    return {source[0], source[1], source[2]};
}

constexpr std::uint32_t kBlackOnlyInk = packCmyk(0, 0, 0, 255);

constexpr std::uint32_t blackForGrey(std::uint32_t grey) noexcept {
    return packCmyk(0, 0, 0, 255u - GrayToneTable[grey]);
}

// Neutral pixels of the table methods and the inversion print with black
// alone when the caller asks for it; such pixels never reach the method and
// so never enter the cache.
template <NeutralRouting kNeutral>
inline bool routeNeutral(const Rgb& pixel, std::uint32_t& cmyk) noexcept {
    if constexpr (kNeutral == NeutralRouting::kEveryGreyToBlack) {
        if (pixel.red == pixel.green && pixel.green == pixel.blue) {
            cmyk = blackForGrey(pixel.red);
            return true;
        }
    } else if constexpr (kNeutral == NeutralRouting::kPureBlackToBlack) {
        if ((pixel.red | pixel.green | pixel.blue) == 0) {
            cmyk = kBlackOnlyInk;
            return true;
        }
    }
    return false;
}

// ---- The five methods, one pixel each -------------------------------------

struct DirectTable {
    const std::uint8_t* table;
    std::uint32_t operator()(const Rgb& pixel) const noexcept {
        const std::size_t index = ((pixel.red >> 3) << 10) | ((pixel.green >> 3) << 5) | (pixel.blue >> 3);
        return loadCmyk(table + 4 * index);
    }
};

struct ToneInversion {
    std::uint32_t operator()(const Rgb& pixel) const noexcept {
        return packCmyk(255u - PrimaryToneTable[pixel.red], 255u - PrimaryToneTable[pixel.green],
                        255u - PrimaryToneTable[pixel.blue], 0);
    }
};

struct EightColours {
    std::uint32_t operator()(const Rgb& pixel) const noexcept {
        const std::uint32_t mean = (pixel.blue + pixel.green + pixel.red) / 3;
        if (mean > 240) return 0;
        const std::uint32_t threshold = mean + ((255u - mean) >> 3);
        // A component at or below the threshold is dark enough to need its
        // complementary colorant in full.
        const std::uint32_t cyan = pixel.red > threshold ? 0u : 255u;
        const std::uint32_t magenta = pixel.green > threshold ? 0u : 255u;
        const std::uint32_t yellow = pixel.blue > threshold ? 0u : 255u;
        if ((cyan & magenta & yellow) != 0) return kBlackOnlyInk;
        return packCmyk(cyan, magenta, yellow, 0);
    }
};

struct BlackOnly {
    std::uint32_t operator()(const Rgb& pixel) const noexcept {
        const std::uint32_t grey = (2u * pixel.blue + 5u * pixel.green + 3u * pixel.red) / 10;
        return blackForGrey(grey);
    }
};

template <NeutralRouting kNeutral, typename Method>
void convertEachPixel(std::uint32_t count, const std::uint8_t* source, std::uint8_t* destination,
                      const Method& method) noexcept {
    for (std::uint32_t i = 0; i < count; ++i, source += 3, destination += 4) {
        const Rgb pixel = loadRgb(source);
        std::uint32_t cmyk;
        if (!routeNeutral<kNeutral>(pixel, cmyk)) cmyk = method(pixel);
        storeCmyk(destination, cmyk);
    }
}

template <typename Method>
void convertWithRouting(NeutralRouting neutral, std::uint32_t count, const std::uint8_t* source,
                        std::uint8_t* destination, const Method& method) noexcept {
    switch (neutral) {
        case NeutralRouting::kEveryGreyToBlack:
            convertEachPixel<NeutralRouting::kEveryGreyToBlack>(count, source, destination, method);
            break;
        case NeutralRouting::kPureBlackToBlack:
            convertEachPixel<NeutralRouting::kPureBlackToBlack>(count, source, destination, method);
            break;
        case NeutralRouting::kNone:
            convertEachPixel<NeutralRouting::kNone>(count, source, destination, method);
            break;
    }
}

// ---- Interpolation and the cache -------------------------------------------

// Four source pixels of one colour, as the 12 bytes they occupy, and the
// 16 bytes of their result; lets a run of one colour move four pixels per
// compare. The words are read and written in the host's little-endian
// order.
struct RunOfFour {
    std::uint64_t sourceHead;  // bytes 0-7: b g r b g r b g
    std::uint32_t sourceTail;  // bytes 8-11: r b g r
    std::uint64_t result;      // one CMYK pixel in each half

    static constexpr RunOfFour of(std::uint32_t key, std::uint32_t cmyk) noexcept {
        const std::uint64_t wideKey = key;
        return {wideKey | (wideKey << 24) | (wideKey << 48), (key >> 16) | (key << 8),
                (std::uint64_t{cmyk} << 32) | cmyk};
    }

    bool matches(const std::uint8_t* source) const noexcept {
        std::uint64_t head;
        std::uint32_t tail;
        std::memcpy(&head, source, sizeof head);
        std::memcpy(&tail, source + 8, sizeof tail);
        return head == sourceHead && tail == sourceTail;
    }

    void store(std::uint8_t* destination) const noexcept {
        std::memcpy(destination, &result, sizeof result);
        std::memcpy(destination + 8, &result, sizeof result);
    }
};
static_assert(std::endian::native == std::endian::little, "RunOfFour reads and writes little-endian words");

template <NeutralRouting kNeutral>
void interpolateRow(std::uint32_t count, const std::uint8_t* source, std::uint8_t* destination,
                    const MatchSettings& settings) noexcept {
    std::uint8_t* const keys = settings.cache.keys;
    std::uint8_t* const values = settings.cache.values;
    // A pixel equal to the one before it has the same result however that
    // result was found: a cache hit changes nothing, and a miss or the
    // neutral shortcut leave the cache answering this pixel with exactly
    // that value. Runs of one colour therefore skip hashing altogether.
    // No 24-bit key equals the initial previousKey.
    std::uint32_t previousKey = 0xFFFFFFFFu;
    std::uint32_t previousCmyk = 0;
    const std::uint8_t* const end = source + 3 * std::size_t{count};
    while (source != end) {
        const Rgb pixel = loadRgb(source);
        const std::uint32_t key = pixel.blue | (pixel.green << 8) | (pixel.red << 16);
        if (key == previousKey) {
            // The second pixel of a run: the rest of it goes four at a time.
            storeCmyk(destination, previousCmyk);
            source += 3;
            destination += 4;
            const RunOfFour run = RunOfFour::of(key, previousCmyk);
            while (end - source >= 12 && run.matches(source)) {
                run.store(destination);
                source += 12;
                destination += 16;
            }
            continue;
        }
        previousKey = key;
        if (!routeNeutral<kNeutral>(pixel, previousCmyk)) {
            const std::uint32_t slot = matchCacheSlot(pixel.blue, pixel.green, pixel.red);
            std::uint8_t* const slotKey = keys + 3 * slot;
            std::uint8_t* const slotValue = values + 4 * slot;
            if (slotKey[0] == pixel.blue && slotKey[1] == pixel.green && slotKey[2] == pixel.red) {
                previousCmyk = loadCmyk(slotValue);
            } else {
                previousCmyk = interpolateInTable(pixel.blue, pixel.green, pixel.red, settings.gridSize, settings.table);
                slotKey[0] = static_cast<std::uint8_t>(pixel.blue);
                slotKey[1] = static_cast<std::uint8_t>(pixel.green);
                slotKey[2] = static_cast<std::uint8_t>(pixel.red);
                storeCmyk(slotValue, previousCmyk);
            }
        }
        storeCmyk(destination, previousCmyk);
        source += 3;
        destination += 4;
    }
}

}  // namespace

std::uint32_t interpolateInTable(std::uint32_t blue, std::uint32_t green, std::uint32_t red,
                                 std::uint32_t gridSize, const std::uint8_t* table) noexcept {
    const std::uint32_t gridSteps = gridStepsOf(gridSize);
    const GridCube cube = {locateOnAxis(red, gridSteps), locateOnAxis(green, gridSteps),
                           locateOnAxis(blue, gridSteps), gridSteps + std::size_t{1}};
    // Entry bytes are cyan to black, so the packed result is already a
    // packed CMYK pixel.
    return interpolateCube<4>(table, cube);
}

void clearMatchCache(const MatchCache& cache) noexcept {
    for (std::uint32_t slot = 0; slot < kMatchCacheSlots; ++slot) {
        std::uint8_t* const key = cache.keys + 3 * slot;
        key[0] = 255;
        key[1] = 255;
        key[2] = 255;
        storeCmyk(cache.values + 4 * slot, 0);
    }
}

void matchRow(std::uint32_t count, const std::uint8_t* source, std::uint8_t* destination,
              const MatchSettings& settings) noexcept {
    switch (settings.method) {
        case MatchMethod::kDirectTable:
            convertWithRouting(settings.neutral, count, source, destination, DirectTable{settings.table});
            break;
        case MatchMethod::kInterpolatedTable:
            switch (settings.neutral) {
                case NeutralRouting::kEveryGreyToBlack:
                    interpolateRow<NeutralRouting::kEveryGreyToBlack>(count, source, destination, settings);
                    break;
                case NeutralRouting::kPureBlackToBlack:
                    interpolateRow<NeutralRouting::kPureBlackToBlack>(count, source, destination, settings);
                    break;
                case NeutralRouting::kNone:
                    interpolateRow<NeutralRouting::kNone>(count, source, destination, settings);
                    break;
            }
            break;
        case MatchMethod::kToneInversion:
            convertWithRouting(settings.neutral, count, source, destination, ToneInversion{});
            break;
        case MatchMethod::kEightColours:
            convertEachPixel<NeutralRouting::kNone>(count, source, destination, EightColours{});
            break;
        case MatchMethod::kBlackOnly:
            convertEachPixel<NeutralRouting::kNone>(count, source, destination, BlackOnly{});
            break;
    }
}

}  // namespace huecl::later

// Colour matching pieces that both generations share: the record's method
// and neutral-routing numbers, the caller's 256-slot match cache, CMYK
// pixels packed in one word, the methods that both compute alike (direct
// table, eight colours) and the row loops, which take each generation's own
// methods, grey-to-black curve and interpolation as parameters.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/byte_access.h"

namespace huecl::common {

// The values are the record's mchMode numbers.
enum class MatchMethod : std::uint32_t {
    kDirectTable = 0,        // 32 x 32 x 32 table, no interpolation
    kInterpolatedTable = 1,  // table with interpolation, through the cache
    kInversion = 2,          // complement through a tone curve
    kEightColours = 3,       // threshold against the pixel's mean
    kBlackOnly = 4,          // weighted grey to the black colorant
};

// Any unknown mode falls back to the inversion, the method that needs no
// table from the caller.
constexpr MatchMethod matchMethodFromMode(std::uint32_t mode) noexcept {
    return mode <= 4 ? static_cast<MatchMethod>(mode) : MatchMethod::kInversion;
}

// How neutral pixels bypass the methods that use a colour table or the
// inversion; the record's blackMode 1 and 2, anything else is kNone.
enum class NeutralRouting {
    kNone,
    kPureBlackToBlack,  // (0, 0, 0) prints with black only
    kEveryGreyToBlack,  // every R = G = B prints with black only
};

constexpr NeutralRouting neutralRoutingFromMode(std::uint32_t mode) noexcept {
    if (mode == 1) return NeutralRouting::kPureBlackToBlack;
    if (mode == 2) return NeutralRouting::kEveryGreyToBlack;
    return NeutralRouting::kNone;
}

inline constexpr std::uint32_t kMatchCacheSlots = 256;

// The caller's cache: 256 keys of 3 bytes (blue, green, red) and 256 CMYK
// values of 4 bytes; slot h holds the last pixel interpolated into it.
struct MatchCache {
    std::uint8_t* keys;
    std::uint8_t* values;
};

// Every key becomes white and every value no colorant; white hashes to a
// slot whose value is then already right, so it needs no clearing flag.
void clearMatchCache(const MatchCache& cache) noexcept;

constexpr std::uint32_t matchCacheSlot(std::uint32_t blue, std::uint32_t green, std::uint32_t red) noexcept {
    return (49u * red + 9u * green + blue) & (kMatchCacheSlots - 1);
}

// ---- Pixels ------------------------------------------------------------------

// A CMYK pixel travels as one 32-bit value, cyan in the low byte, so that a
// cache value or a run of equal results moves as a single word.
constexpr std::uint32_t packCmyk(std::uint32_t cyan, std::uint32_t magenta, std::uint32_t yellow,
                                 std::uint32_t black) noexcept {
    return cyan | (magenta << 8) | (yellow << 16) | (black << 24);
}

inline void storeCmyk(std::uint8_t* destination, std::uint32_t cmyk) noexcept {
    bytes::storeLittleEndian32(destination, cmyk);
}

inline std::uint32_t loadCmyk(const std::uint8_t* source) noexcept { return bytes::loadLittleEndian32(source); }

struct Rgb {
    std::uint32_t blue;
    std::uint32_t green;
    std::uint32_t red;
};

inline Rgb loadRgb(const std::uint8_t* source) noexcept { return {source[0], source[1], source[2]}; }

// The three source bytes as one number, blue lowest, as a cache key holds
// them: comparing keys is a single compare.
constexpr std::uint32_t rgbKey(const Rgb& pixel) noexcept {
    return pixel.blue | (pixel.green << 8) | (pixel.red << 16);
}

inline constexpr std::uint32_t kBlackOnlyInk = packCmyk(0, 0, 0, 255);

// The grey of the black-only method: green weighs most, blue least.
constexpr std::uint32_t weightedGrey(const Rgb& pixel) noexcept {
    return (2u * pixel.blue + 5u * pixel.green + 3u * pixel.red) / 10;
}

// ---- Methods that both generations compute alike -----------------------------

struct DirectTable {
    const std::uint8_t* table;  // 32 x 32 x 32 entries, blue fastest
    std::uint32_t operator()(const Rgb& pixel) const noexcept {
        const std::size_t index = ((pixel.red >> 3) << 10) | ((pixel.green >> 3) << 5) | (pixel.blue >> 3);
        return loadCmyk(table + 4 * index);
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

// ---- Row loops ------------------------------------------------------------------

// Neutral pixels of the table methods and the inversion print with black
// alone when the caller asks for it; such pixels never reach the method and
// so never enter the cache. blackForGrey(level) gives the generation's CMYK
// result for the grey R = G = B = level.
template <NeutralRouting kNeutral, typename BlackForGrey>
inline bool routeNeutral(const Rgb& pixel, const BlackForGrey& blackForGrey, std::uint32_t& cmyk) noexcept {
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

template <NeutralRouting kNeutral, typename BlackForGrey, typename Method>
void convertEachPixel(std::uint32_t count, const std::uint8_t* source, std::uint8_t* destination,
                      const BlackForGrey& blackForGrey, const Method& method) noexcept {
    // Indexed rather than stepped pointers: with stepped pointers and the
    // word store, the direct-table loop measured 15-20% slower.
    for (std::uint32_t i = 0; i < count; ++i) {
        const Rgb pixel = loadRgb(source + 3 * std::size_t{i});
        std::uint32_t cmyk;
        if (!routeNeutral<kNeutral>(pixel, blackForGrey, cmyk)) cmyk = method(pixel);
        storeCmyk(destination + 4 * std::size_t{i}, cmyk);
    }
}

// A method without neutral routing (eight colours, black only).
template <typename Method>
void convertEachPixel(std::uint32_t count, const std::uint8_t* source, std::uint8_t* destination,
                      const Method& method) noexcept {
    const auto unused = [](std::uint32_t) noexcept { return 0u; };
    convertEachPixel<NeutralRouting::kNone>(count, source, destination, unused, method);
}

template <typename BlackForGrey, typename Method>
void convertWithRouting(NeutralRouting neutral, std::uint32_t count, const std::uint8_t* source,
                        std::uint8_t* destination, const BlackForGrey& blackForGrey, const Method& method) noexcept {
    switch (neutral) {
        case NeutralRouting::kEveryGreyToBlack:
            convertEachPixel<NeutralRouting::kEveryGreyToBlack>(count, source, destination, blackForGrey, method);
            break;
        case NeutralRouting::kPureBlackToBlack:
            convertEachPixel<NeutralRouting::kPureBlackToBlack>(count, source, destination, blackForGrey, method);
            break;
        case NeutralRouting::kNone:
            convertEachPixel<NeutralRouting::kNone>(count, source, destination, blackForGrey, method);
            break;
    }
}

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
        return bytes::loadLittleEndian64(source) == sourceHead && bytes::loadLittleEndian32(source + 8) == sourceTail;
    }

    void store(std::uint8_t* destination) const noexcept {
        bytes::storeLittleEndian64(destination, result);
        bytes::storeLittleEndian64(destination + 8, result);
    }
};

// The interpolating method: the cache in front of interpolate(pixel), which
// is only asked about pixels that neither the neutral routing nor the cache
// answers.
template <NeutralRouting kNeutral, typename BlackForGrey, typename Interpolate>
void interpolateRowThroughCache(std::uint32_t count, const std::uint8_t* source, std::uint8_t* destination,
                                const MatchCache& cache, const BlackForGrey& blackForGrey,
                                const Interpolate& interpolate) noexcept {
    std::uint8_t* const keys = cache.keys;
    std::uint8_t* const values = cache.values;
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
        const std::uint32_t key = rgbKey(pixel);
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
        if (!routeNeutral<kNeutral>(pixel, blackForGrey, previousCmyk)) {
            const std::uint32_t slot = matchCacheSlot(pixel.blue, pixel.green, pixel.red);
            std::uint8_t* const slotKey = keys + 3 * slot;
            std::uint8_t* const slotValue = values + 4 * slot;
            const std::uint32_t storedKey =
                slotKey[0] | (std::uint32_t{slotKey[1]} << 8) | (std::uint32_t{slotKey[2]} << 16);
            if (storedKey == key) {
                previousCmyk = loadCmyk(slotValue);
            } else {
                previousCmyk = interpolate(pixel);
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

template <typename BlackForGrey, typename Interpolate>
void interpolateWithRouting(NeutralRouting neutral, std::uint32_t count, const std::uint8_t* source,
                            std::uint8_t* destination, const MatchCache& cache, const BlackForGrey& blackForGrey,
                            const Interpolate& interpolate) noexcept {
    switch (neutral) {
        case NeutralRouting::kEveryGreyToBlack:
            interpolateRowThroughCache<NeutralRouting::kEveryGreyToBlack>(count, source, destination, cache,
                                                                          blackForGrey, interpolate);
            break;
        case NeutralRouting::kPureBlackToBlack:
            interpolateRowThroughCache<NeutralRouting::kPureBlackToBlack>(count, source, destination, cache,
                                                                          blackForGrey, interpolate);
            break;
        case NeutralRouting::kNone:
            interpolateRowThroughCache<NeutralRouting::kNone>(count, source, destination, cache, blackForGrey,
                                                              interpolate);
            break;
    }
}

}  // namespace huecl::common

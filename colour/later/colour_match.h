// Colour matching of the later generation: rows of RGB pixels (blue, green,
// red) become rows of CMYK pixels through one of five methods, with a
// caller-owned direct-mapped cache in front of the interpolating one.
#pragma once

#include <cstdint>

namespace huecl::later {

// The values are the record's mchMode numbers.
enum class MatchMethod : std::uint32_t {
    kDirectTable = 0,        // 32 x 32 x 32 table, no interpolation
    kInterpolatedTable = 1,  // N x N x N table, trilinear, through the cache
    kToneInversion = 2,      // complement of the primary tone curve
    kEightColours = 3,       // threshold against the pixel's mean
    kBlackOnly = 4,          // weighted grey to the black colorant
};

// Any unknown mode falls back to tone inversion, the method that needs no
// table from the caller.
constexpr MatchMethod matchMethodFromMode(std::uint32_t mode) noexcept {
    return mode <= 4 ? static_cast<MatchMethod>(mode) : MatchMethod::kToneInversion;
}

// How neutral pixels bypass the methods that use a colour table or the
// tone inversion; the record's blackMode 1 and 2, anything else is kNone.
enum class NeutralRouting {
    kNone,
    kPureBlackToBlack,   // (0, 0, 0) prints with black only
    kEveryGreyToBlack,   // every R = G = B prints with black only
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

struct MatchSettings {
    MatchMethod method;
    NeutralRouting neutral;
    std::uint32_t gridSize;       // points per axis of an interpolated table
    const std::uint8_t* table;    // CMYK entries, blue fastest, red slowest
    MatchCache cache;
};

// Every key becomes white and every value no colorant; white hashes to a
// slot whose value is then already right, so it needs no clearing flag.
void clearMatchCache(const MatchCache& cache) noexcept;

// Converts count pixels of source (3 bytes each) into destination (4 bytes
// each). Only the interpolating method reads or writes the cache.
void matchRow(std::uint32_t count, const std::uint8_t* source, std::uint8_t* destination,
              const MatchSettings& settings) noexcept;

constexpr std::uint32_t matchCacheSlot(std::uint32_t blue, std::uint32_t green, std::uint32_t red) noexcept {
    return (49u * red + 9u * green + blue) & (kMatchCacheSlots - 1);
}

// Trilinear interpolation of one pixel in an N x N x N table, without the
// cache; the result packs cyan in the low byte up to black in the high one.
std::uint32_t interpolateInTable(std::uint32_t blue, std::uint32_t green, std::uint32_t red,
                                 std::uint32_t gridSize, const std::uint8_t* table) noexcept;

}  // namespace huecl::later

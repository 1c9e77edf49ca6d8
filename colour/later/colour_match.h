// Colour matching of the later generation: rows of RGB pixels (blue, green,
// red) become rows of CMYK pixels through one of five methods, with a
// caller-owned direct-mapped cache in front of the interpolating one. The
// inversion goes through the primary tone curve, neutral greys and the
// black-only method through the grey tone curve, and the interpolation
// weighs all eight corners of an N x N x N table at once.
#pragma once

#include <cstdint>

#include "colour/common/match_rows.h"

namespace huecl::later {

struct MatchSettings {
    common::MatchMethod method;
    common::NeutralRouting neutral;
    std::uint32_t gridSize;     // points per axis of an interpolated table
    const std::uint8_t* table;  // CMYK entries, blue fastest, red slowest
    common::MatchCache cache;
};

// Converts count pixels of source (3 bytes each) into destination (4 bytes
// each). Only the interpolating method reads or writes the cache.
void matchRow(std::uint32_t count, const std::uint8_t* source, std::uint8_t* destination,
              const MatchSettings& settings) noexcept;

// Trilinear interpolation of one pixel in an N x N x N table, without the
// cache; the result packs cyan in the low byte up to black in the high one.
std::uint32_t interpolateInTable(std::uint32_t blue, std::uint32_t green, std::uint32_t red, std::uint32_t gridSize,
                                 const std::uint8_t* table) noexcept;

}  // namespace huecl::later

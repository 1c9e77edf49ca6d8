// The colour table (mchTable) of colour matching: a cube of gridSize^3 CMYK
// entries, red slowest and blue fastest, sampled at the levels an axis of the
// matching method stands for.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace huecl::pages {

// The level each grid index of an axis stands for. Interpolated matching puts
// index i at round(255 * i / (n - 1)); the direct 32-point look-up takes the
// top five bits of a level, so index i covers 8i..8i+7 and is sampled at 8i+4.
std::vector<std::uint8_t> interpolationAxis(std::uint32_t gridSize);
std::vector<std::uint8_t> directLookupAxis();

struct ColourTable {
    std::uint32_t gridSize = 0;
    std::vector<std::uint8_t> entries;  // 4 bytes per grid point: cyan, magenta, yellow, black
    std::string origin;                 // what built it, for the summary
};

// The built-in model, for printing without a profile. With c, m, y the
// complements of red, green and blue (0..1), the grey component
// g = min(c, m, y) generates black k = g^2, so light greys stay in the
// colour inks and shadows go to black; k is removed from each colour ink
// (C = c - k, and so on). Pure black prints as black ink alone.
ColourTable buildModelTable(const std::vector<std::uint8_t>& axis);

// The profile's ID: the MD5 of the profile as Little CMS computes it for
// the ICC header, which tells one profile from another whatever the file is
// called. Throws PageError for an unreadable profile.
std::array<std::uint8_t, 16> profileIdentity(const std::filesystem::path& profile);

// sRGB in, the profile's CMYK out (perceptual intent), sampled at the grid
// points. Throws PageError unless the file is a CMYK output profile.
ColourTable buildProfileTable(const std::filesystem::path& profile, const std::vector<std::uint8_t>& axis);

// The other direction, for proofs: a CmykToRgbTable of gridSize^4 entries
// (red, green, blue; black slowest, then cyan, magenta, yellow fastest) as
// QvrColCnvC2r reads it, sampled at interpolationAxis(gridSize).
struct ProofTable {
    std::uint32_t gridSize = 0;
    std::vector<std::uint8_t> entries;
};

inline constexpr std::uint32_t proofGridSize = 17;

// The built-in model undone: each colour ink plus black, capped at full, is
// the complement of its primary, which gives back the model's RGB for every
// CMYK value the model makes.
ProofTable buildModelProofTable(std::uint32_t gridSize = proofGridSize);

// The profile's CMYK to sRGB, relative colorimetric (paper white shows as
// screen white, everything else as the printer renders it). Throws
// PageError as buildProfileTable does.
ProofTable buildProfileProofTable(const std::filesystem::path& profile, std::uint32_t gridSize = proofGridSize);

}  // namespace huecl::pages

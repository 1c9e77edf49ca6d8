// The error rows of one set of a QvErrInf group, chosen and prepared for a
// row number: shared by both diffusion procedures and their fast paths so
// that all of them read the record identically.
#pragma once

#include <cstdint>

#include "huecl32.h"

namespace huecl::earlier {

// Cells per column group: blue, green, red, or cyan, magenta, yellow, black.
constexpr std::uint32_t kRgbGroupCells = 3;
constexpr std::uint32_t kCmykGroupCells = 4;

struct ErrorSet {
    std::int16_t* rowA;  // current on even row numbers
    std::int16_t* rowB;  // current on odd row numbers
    std::uint32_t columns;
    std::uint32_t* lastRow;
};

// A selector other than 0 takes set 1: only two sets exist, and a larger
// selector must not reach past them into the rest of the record.
inline ErrorSet rgbErrorSet(QvErrInf& errors) noexcept {
    if (errors.rgbSet == 0) return {errors.rgbRowA0, errors.rgbRowB0, errors.rgbCells0, &errors.rgbLastRow0};
    return {errors.rgbRowA1, errors.rgbRowB1, errors.rgbCells1, &errors.rgbLastRow1};
}

inline ErrorSet cmykErrorSet(QvErrInf& errors) noexcept {
    if (errors.cmykSet == 0) return {errors.cmykRowA0, errors.cmykRowB0, errors.cmykCells0, &errors.cmykLastRow0};
    return {errors.cmykRowA1, errors.cmykRowB1, errors.cmykCells1, &errors.cmykLastRow1};
}

inline std::int16_t* currentRow(const ErrorSet& set, std::uint32_t row) noexcept {
    return (row & 1u) == 0 ? set.rowA : set.rowB;
}

inline std::int16_t* previousRow(const ErrorSet& set, std::uint32_t row) noexcept {
    return (row & 1u) == 0 ? set.rowB : set.rowA;
}

// Error is valid only between consecutive rows: any other row number (a
// gap, a restart, a new page) clears the previous row after its guard
// group first. The guard group itself is never written.
inline void startRowSequence(const ErrorSet& set, std::uint32_t row, std::uint32_t groupCells) noexcept {
    if (row == *set.lastRow + 1) return;
    std::int16_t* const previous = previousRow(set, row) + groupCells;
    const std::uintptr_t cells = std::uintptr_t{set.columns} * groupCells;
    for (std::uintptr_t i = 0; i < cells; ++i) previous[i] = 0;
}

}  // namespace huecl::earlier

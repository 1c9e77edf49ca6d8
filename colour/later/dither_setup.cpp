#include "colour/later/dither_setup.h"

#include "colour/later/dither_tables.h"

namespace huecl::later {

namespace {

struct BuildParameters {
    std::uint32_t lowClip;
    std::uint32_t highClip;
    const std::uint8_t* tone;
    std::uint32_t levels;       // thresholds per dot
    std::uint32_t groupFactor;  // multi-level builds only
    std::uint32_t size;
};

BuildParameters buildParameters(const ScreenRow& row, std::uint32_t levels, std::uint32_t groupFactor,
                                std::uint32_t size) noexcept {
    return BuildParameters{row.lowClip, row.highClip, toneCurveTable(row.tone), levels, groupFactor, size};
}

// Rank u of level k of a dot of rank t: ranks are cut into groups of g;
// a group's dots all take level k before any of them takes level k + 1.
constexpr std::uint32_t groupedRank(std::uint32_t level, std::uint32_t levels, std::uint32_t rank,
                                    std::uint32_t group) noexcept {
    return (level + levels * (rank / group)) * group + rank % group;
}

void writeCell(std::uint8_t* cell, std::uint32_t rank, const BuildParameters& build, std::uint32_t group,
               std::uint32_t topRank, const std::array<std::uint8_t, 256>& stretch) noexcept {
    if (build.levels == 1) {
        cell[0] = finishThreshold(rank, topRank, build.tone, stretch);
        return;
    }
    for (std::uint32_t level = 0; level < build.levels; ++level) {
        cell[level] = finishThreshold(groupedRank(level, build.levels, rank, group), topRank, build.tone, stretch);
    }
}

void buildCellMatrix(const BuildParameters& build, const SeedCell& seed, std::uint8_t* destination) noexcept {
    const std::array<std::uint8_t, 256> stretch = buildStretchTable(build.lowClip, build.highClip);
    const std::uint32_t size = build.size;
    const std::uint32_t cell = seed.cell;
    const std::uint32_t cellsPerEdge = size / cell;
    const std::uint32_t topRank = size * size * build.levels - 1;
    const std::uint32_t group = build.groupFactor * cellsPerEdge * cellsPerEdge;
    for (std::uint32_t row = 0; row < size; ++row) {
        for (std::uint32_t column = 0; column < size; ++column) {
            const std::uint32_t seedValue = seed.values[(row % cell) * cell + column % cell];
            // The seed value is the major key, the Bayer position of the cell
            // the minor one: every cell gains its dot of rank s before any
            // cell gains its dot of rank s + 1.
            const std::uint32_t cellRow = row / cell;
            const std::uint32_t cellColumn = column / cell;
            std::uint32_t rank = seedValue;
            if (size == 2 * cell) {
                rank = 4 * seedValue + Bayer2[cellRow * 2 + cellColumn];
            } else if (size == 4 * cell) {
                rank = 16 * seedValue + Bayer4[cellRow * 4 + cellColumn];
            } else if (size == 8 * cell) {
                rank = 64 * seedValue + Bayer8[cellRow * 8 + cellColumn];
            }
            writeCell(destination + (row * size + column) * build.levels, rank, build, group, topRank, stretch);
        }
    }
}

struct TileShape {
    std::uint32_t smallSide;
    const std::uint8_t* smallPattern;
    std::uint32_t largeSide;
    const std::uint8_t* largePattern;
    const std::uint8_t* tileOrder;
};

// Tile screens: each tile is an a x a square on top of the left columns of
// a b x b square, moved a rows down and b columns right from the one
// before, so the tiles cover the a^2 + b^2 square matrix exactly once at
// the angle arctan(a / b). The mirrored copy runs at the opposite angle,
// which keeps the magenta and cyan screens from beating against each other.
void buildTileMatrix(const BuildParameters& build, const TileShape& shape, std::uint8_t* straight,
                     std::uint8_t* mirrored) noexcept {
    const std::array<std::uint8_t, 256> stretch = buildStretchTable(build.lowClip, build.highClip);
    const std::uint32_t size = build.size;
    const std::uint32_t tileCount = size;
    const std::uint32_t topRank = size * size * build.levels - 1;
    const std::uint32_t cellBytes = build.levels;

    const auto placeSquare = [&](std::uint32_t tile, std::uint32_t firstRow, std::uint32_t side,
                                 const std::uint8_t* pattern) noexcept {
        const std::uint32_t firstColumn = (tile + 1) * shape.largeSide;
        for (std::uint32_t y = 0; y < side; ++y) {
            for (std::uint32_t x = 0; x < side; ++x) {
                const std::uint32_t row = (firstRow + y) % size;
                const std::uint32_t column = (firstColumn + x) % size;
                const std::uint32_t rank = pattern[y * side + x] * tileCount + shape.tileOrder[tile];
                std::uint8_t* const cell = straight + (row * size + column) * cellBytes;
                writeCell(cell, rank, build, build.groupFactor, topRank, stretch);
                std::uint8_t* const mirror = mirrored + (row * size + (size - 1 - column)) * cellBytes;
                for (std::uint32_t k = 0; k < cellBytes; ++k) mirror[k] = cell[k];
            }
        }
    };
    for (std::uint32_t tile = 0; tile < tileCount; ++tile) {
        placeSquare(tile, (tile + 1) * shape.smallSide, shape.smallSide, shape.smallPattern);
    }
    for (std::uint32_t tile = 0; tile < tileCount; ++tile) {
        placeSquare(tile, (tile + 2) * shape.smallSide, shape.largeSide, shape.largePattern);
    }
}

TileShape tileShape(const ScreenRow& row) noexcept {
    if (row.lattice == TileLattice::large34) {
        return TileShape{3, TileA3.data(), 5, row.seed.values, TileOrder34.data()};
    }
    return TileShape{1, TileA1.data(), 4, row.seed.values, TileOrder17.data()};
}

enum class ModeTable : std::uint8_t { mode0, mode1, mode2, mode3 };

ModeTable modeTable(std::uint32_t ditherMode) noexcept {
    switch (ditherMode) {
        case 0: return ModeTable::mode0;
        case 1: return ModeTable::mode1;
        case 3: return ModeTable::mode3;
        default: return ModeTable::mode2;
    }
}

ScreenKindSelector screenKindSelector(bool blackOnly, std::uint32_t screenKind) noexcept {
    switch (screenKind) {
        case 0: return blackOnly ? ScreenKindSelector::other : ScreenKindSelector::kind0;
        case 1: return ScreenKindSelector::kind1;
        case 3: return ScreenKindSelector::kind3;
        default: return ScreenKindSelector::other;
    }
}

template <std::size_t N>
void buildConfiguration(const std::array<ScreenRow, N>& rows, ModeTable mode, bool blackOnly, ScreenKindSelector kind,
                        QvrDizInf& info) noexcept {
    const std::uint32_t levels = mode == ModeTable::mode1 ? 15u : mode == ModeTable::mode3 ? 3u : 1u;
    // Rows appear in the order cyan, magenta (or the magenta/cyan pair),
    // yellow, black, which is the order the builds run in.
    for (const ScreenRow& row : rows) {
        if (row.blackOnly != blackOnly || row.kind != kind) continue;
        const bool isMode3 = mode == ModeTable::mode3;
        const std::uint32_t size = isMode3 ? row.sizeMode3 : row.size;
        const std::uint32_t groupFactor = isMode3 ? row.groupFactorMode3 : row.groupFactor;
        const BuildParameters build = buildParameters(row, levels, groupFactor, size);
        switch (row.plane) {
            case ScreenPlane::magentaAndCyan:
                buildTileMatrix(build, tileShape(row), info.matrixM, info.matrixC);
                info.sizeC = size;
                info.sizeM = size;
                break;
            case ScreenPlane::cyan:
                buildCellMatrix(build, row.seed, info.matrixC);
                info.sizeC = size;
                break;
            case ScreenPlane::magenta:
                buildCellMatrix(build, row.seed, info.matrixM);
                info.sizeM = size;
                break;
            case ScreenPlane::yellow:
                buildCellMatrix(build, row.seed, info.matrixY);
                info.sizeY = size;
                break;
            case ScreenPlane::black:
                buildCellMatrix(build, row.seed, info.matrixK);
                info.sizeK = size;
                break;
        }
    }
}

}  // namespace

std::uint32_t thresholdsPerDot(std::uint32_t ditherMode) noexcept {
    switch (modeTable(ditherMode)) {
        case ModeTable::mode1: return 15;
        case ModeTable::mode3: return 3;
        default: return 1;
    }
}

std::array<std::uint8_t, 256> buildStretchTable(std::uint32_t lowClip, std::uint32_t highClip) noexcept {
    std::array<std::uint8_t, 256> stretch{};
    for (std::uint32_t level = 0; level < 256; ++level) {
        std::uint32_t value = 254;
        if (level < lowClip) {
            value = 0;
        } else if (level < 128) {
            value = (128 * level - 128 * lowClip) / (128 - lowClip);
        } else if (level < 255 - highClip) {
            value = (128 * level - 16384) / (128 - highClip) + 128;
        }
        stretch[level] = static_cast<std::uint8_t>(value);
    }
    return stretch;
}

std::uint8_t finishThreshold(std::uint32_t rank, std::uint32_t topRank, const std::uint8_t* tone,
                             const std::array<std::uint8_t, 256>& stretch) noexcept {
    // Each table scales the rank by its gain at the rank's level and the
    // level is recomputed from the scaled rank. With the curves of this
    // library the level never passes 255; the clamp on the index only keeps
    // a look-up inside its table should a curve ever allow it.
    const auto lookUp = [](const std::uint8_t* table, std::uint32_t level) noexcept {
        return static_cast<std::uint32_t>(table[level < 255 ? level : 255]);
    };
    std::uint32_t level = 255 * rank / topRank;
    if (level != 0 && tone != nullptr) {
        rank = lookUp(tone, level) * rank / level;
        level = 255 * rank / topRank;
    }
    if (level != 0) {
        rank = lookUp(stretch.data(), level) * rank / level;
        level = 255 * rank / topRank;
    }
    return static_cast<std::uint8_t>(level > 254 ? 254 : level);
}

void setUpDitherMatrices(QvrDizInf& info) noexcept {
    const ModeTable mode = modeTable(info.dizMode);
    const bool blackOnly = info.blackOnly == 1;
    const ScreenKindSelector kind = screenKindSelector(blackOnly, info.screenKind);
    switch (mode) {
        case ModeTable::mode0: buildConfiguration(ScreenRowsMode0, mode, blackOnly, kind, info); break;
        case ModeTable::mode1: buildConfiguration(ScreenRowsMode1, mode, blackOnly, kind, info); break;
        case ModeTable::mode2:
        case ModeTable::mode3: buildConfiguration(ScreenRowsMode2And3, mode, blackOnly, kind, info); break;
    }
}

}  // namespace huecl::later

#include "colour/earlier/dither_patterns.h"

#include <cstddef>

namespace huecl::earlier {

namespace {

// Levels of the angled screen: 17 blocks of 16 cells (0-271) below the 17
// seed levels (272-288).
constexpr std::uint32_t kAngledBlockLevels = 272;
constexpr std::uint32_t kAngledKnee = 144;
constexpr std::uint32_t kSquareKnee = 128;
// Floors of the tone (angled, before scaling) and of the threshold (square,
// after scaling): the lightest levels print no dot at all.
constexpr std::uint32_t kAngledLowestTone = 4;
constexpr std::uint32_t kSquareLowestThreshold = 4;

// Tone curve of the screens: slope limit / 100 up to the knee, then a
// straight line that reaches 100 - limit / 2 per 50 levels. Each division
// truncates on its own.
constexpr std::uint32_t limitTone(std::uint32_t level, std::uint32_t knee, std::uint32_t toneLimit) {
    if (level < knee) return level * toneLimit / 100;
    return toneLimit * knee / 100 + (100 - toneLimit / 2) * (level - knee) / 50;
}

// Column of the seed of super-cell i; its block starts one row below, at
// the same column.
constexpr std::uint32_t superCellColumn(std::uint32_t i) { return (10 + 4 * i) % kAngledScreenEdge; }

}  // namespace

std::uint8_t angledSeedThreshold(std::uint32_t order) noexcept {
    return static_cast<std::uint8_t>((kAngledBlockLevels + order) * 255 / kAngledScreenBytes);
}

std::uint8_t angledBlockThreshold(std::uint32_t level, std::uint32_t toneLimit) noexcept {
    std::uint32_t tone = limitTone(level, kAngledKnee, toneLimit);
    if (tone < kAngledLowestTone) tone = kAngledLowestTone;
    return static_cast<std::uint8_t>(tone * 255 / kAngledScreenBytes);
}

std::uint8_t squareThreshold(std::uint32_t level, std::uint32_t toneLimit) noexcept {
    std::uint32_t threshold = limitTone(level, kSquareKnee, toneLimit) * 255 / 256;
    if (threshold < kSquareLowestThreshold) threshold = kSquareLowestThreshold;
    return static_cast<std::uint8_t>(threshold);
}

namespace {

void buildAngledPair(std::uint32_t modeIndex, std::uint8_t* cyan, std::uint8_t* magenta) {
    const Matrix4& base = ScreenBaseCM[modeIndex];
    const std::uint32_t toneLimit = ToneLimit[modeIndex].cyanMagenta;
    // Magenta takes each value at (row, column), cyan at (row, 16 - column).
    const auto put = [&](std::uint32_t row, std::uint32_t column, std::uint8_t value) {
        magenta[row * kAngledScreenEdge + column] = value;
        cyan[row * kAngledScreenEdge + (kAngledScreenEdge - 1 - column)] = value;
    };
    for (std::uint32_t i = 0; i < kAngledScreenEdge; ++i) {
        const std::uint32_t order = ScreenOrder17[i];
        const std::uint32_t column = superCellColumn(i);
        put(i, column, angledSeedThreshold(order));
        for (std::uint32_t a = 0; a < 4; ++a) {
            const std::uint32_t row = (i + 1 + a) % kAngledScreenEdge;
            for (std::uint32_t b = 0; b < 4; ++b) {
                const std::uint32_t level = kAngledScreenEdge * base[4 * a + b] + order;
                put(row, (column + b) % kAngledScreenEdge, angledBlockThreshold(level, toneLimit));
            }
        }
    }
}

// Sixteen 4 x 4 blocks in Bayer4 order; inside a block the base matrix
// orders the cells, so that level = 16 x base + Bayer4[block].
void buildSquare(const Matrix4& base, std::uint32_t toneLimit, std::uint8_t* matrix) {
    for (std::uint32_t block = 0; block < 16; ++block) {
        const std::uint32_t top = 4 * (block / 4), left = 4 * (block % 4);
        for (std::uint32_t a = 0; a < 4; ++a) {
            for (std::uint32_t b = 0; b < 4; ++b) {
                const std::uint32_t level = 16u * base[4 * a + b] + Bayer4[block];
                matrix[(top + a) * kSquareScreenEdge + left + b] = squareThreshold(level, toneLimit);
            }
        }
    }
}

}  // namespace

void buildColourScreens(std::uint32_t screenMode, std::uint8_t* cyan, std::uint8_t* magenta, std::uint8_t* yellow,
                        std::uint8_t* black) noexcept {
    const std::uint32_t modeIndex = colourModeIndex(screenMode);
    buildAngledPair(modeIndex, cyan, magenta);
    buildSquare(ScreenBaseY[modeIndex], ToneLimit[modeIndex].yellow, yellow);
    buildSquare(ScreenBaseK[modeIndex], ToneLimit[modeIndex].black, black);
}

void buildMonochromeScreen(std::uint32_t screenMode, std::uint8_t* black) noexcept {
    const PrintMatrixName name = screenMode == 1   ? PrintMatrixName::A
                                 : screenMode == 2 ? PrintMatrixName::B
                                                   : PrintMatrixName::C;
    const Matrix8& matrix = printMatrix(name);
    for (std::uint32_t row = 0; row < kSquareScreenEdge; ++row) {
        for (std::uint32_t column = 0; column < kSquareScreenEdge; ++column) {
            const std::uint32_t quarter = 2 * (row / 8) + column / 8;
            black[row * kSquareScreenEdge + column] =
                static_cast<std::uint8_t>(4 * matrix[(row % 8) * 8 + column % 8] + MonoTileOffsets[quarter]);
        }
    }
}

void buildDitherPatterns(const QvDizInf& info) noexcept {
    if (isMonochromeScreen(info.monoFlag)) {
        buildMonochromeScreen(info.screenMode, info.ptnK);
    } else {
        buildColourScreens(info.screenMode, info.ptnC, info.ptnM, info.ptnY, info.ptnK);
    }
}

SampleScreen chooseSampleScreen(bool monochrome, std::uint32_t screenMode, std::uint32_t colour) noexcept {
    using enum PrintMatrixName;
    if (colour >= 3) {
        if (!monochrome || screenMode == 1) return {A, 100};
        return {screenMode == 3 ? C : B, 100};
    }
    if (colour == 2) return {B, (screenMode >= 1 && screenMode <= 3) ? 132u : 100u};
    const bool isCyan = colour == 0;
    switch (screenMode) {
        case 1: return {isCyan ? D : E, 144};
        case 2: return {isCyan ? F : G, 120};
        case 3: return {isCyan ? H : I, 120};
        default: return {isCyan ? D : E, 100};
    }
}

std::uint32_t sampleTone(std::uint32_t level, std::uint32_t knee) noexcept {
    if (level <= knee * 255 / 200) return (level * 1024 / 255) * 100 / knee;
    // Above the knee the numerator is positive: level > knee x 255 / 200 is
    // level x 20480 > knee x 26112.
    return (level * 20480 - knee * 26112) / (10200 - 51 * knee) + 512;
}

void drawSampleTile(const QvDizInf& info, std::uint32_t colour, std::uint32_t level, std::uint8_t* tile) noexcept {
    const SampleScreen screen = chooseSampleScreen(isMonochromeScreen(info.monoFlag), info.screenMode, colour);
    const Matrix8& matrix = printMatrix(screen.matrix);
    const std::uint32_t tone = sampleTone(level, screen.knee);
    // The tile is 4 x 4 blocks of 8 x 8 dots; each byte covers one row of
    // one block: the print matrix row, raised by the block's Bayer4 entry.
    for (std::uint32_t row = 0; row < kSampleTileEdge; ++row) {
        const std::uint8_t* const matrixRow = matrix.data() + (row % 8) * 8;
        for (std::uint32_t block = 0; block < kSampleTileRowBytes; ++block) {
            const std::uint32_t offset = Bayer4[4 * (row / 8) + block];
            std::uint32_t byte = 0;
            for (std::uint32_t dot = 0; dot < 8; ++dot) {
                if (tone > offset + 16u * matrixRow[dot]) byte |= 0x80u >> dot;
            }
            tile[row * kSampleTileRowBytes + block] = static_cast<std::uint8_t>(byte);
        }
    }
}

}  // namespace huecl::earlier

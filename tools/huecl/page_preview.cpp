#include "page_preview.h"

#include "huecl32.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace huecl::tool {
namespace {

uint32_t dotValue(const uint8_t *row, uint32_t dot, uint32_t bitsPerDot) {
    const uint32_t dotsPerByte = 8 / bitsPerDot;
    const uint32_t shift = 8 - bitsPerDot * (dot % dotsPerByte + 1);
    return (row[dot / dotsPerByte] >> shift) & ((1u << bitsPerDot) - 1);
}

} // namespace

InkResponse inkResponseOf(const std::array<std::span<const uint8_t>, 4> &thresholds) {
    InkResponse response;
    for (size_t colorant = 0; colorant < 4; ++colorant) {
        auto &levels = response.levelOfCoverage[colorant];
        const std::span<const uint8_t> matrix = thresholds[colorant];
        if (matrix.empty()) {
            for (uint32_t step = 0; step <= InkResponse::coverageSteps; ++step)
                levels[step] = static_cast<uint8_t>((step * 255 + InkResponse::coverageSteps / 2) / InkResponse::coverageSteps);
            continue;
        }
        // coverage[v]: the share of thresholds below v, non-decreasing in v.
        std::array<uint32_t, 257> below{};
        for (const uint8_t threshold : matrix)
            ++below[threshold + 1u];
        std::array<double, 256> coverage{};
        uint32_t running = 0;
        for (uint32_t level = 0; level < 256; ++level) {
            running += below[level];
            coverage[level] = static_cast<double>(running) / static_cast<double>(matrix.size());
        }
        // Levels that print alike (no threshold between them) are one
        // level to the eye; the lowest of them stands for all, so that no
        // ink at all reads as level 0, paper. Coverages between two levels'
        // are read in proportion.
        uint32_t level = 0;
        for (uint32_t step = 0; step <= InkResponse::coverageSteps; ++step) {
            const double wanted = static_cast<double>(step) / InkResponse::coverageSteps;
            while (level < 255 && coverage[level] < wanted)
                ++level;
            double exact = level;
            if (level > 0 && coverage[level] > wanted)
                exact = level - 1 + (wanted - coverage[level - 1]) / (coverage[level] - coverage[level - 1]);
            levels[step] = static_cast<uint8_t>(std::lround(exact));
        }
    }
    return response;
}

uint32_t previewBoxSize(uint32_t deviceResolution, uint32_t previewResolution) {
    return std::max(1u, (deviceResolution + previewResolution / 2) / previewResolution);
}

uint32_t automaticPreviewBoxSize(uint32_t deviceResolution, uint32_t sourceResolution, uint32_t deviceWidth,
                                 uint32_t deviceHeight) {
    uint32_t box = previewBoxSize(deviceResolution, std::max(1u, sourceResolution));
    auto pixels = [&](uint32_t size) {
        return uint64_t{(deviceWidth + size - 1) / size} * ((deviceHeight + size - 1) / size);
    };
    while (pixels(box) > previewPixelBudget)
        ++box;
    return box;
}

BandColumnSums reduceBand(const PlaneLayout &layout, uint32_t boxSize, std::span<const uint8_t *const> planes,
                          uint32_t rows) {
    const uint32_t columns = (layout.deviceWidth + boxSize - 1) / boxSize;
    BandColumnSums band{rows, std::vector<uint32_t>(size_t{rows} * columns * 4)};
    // A box's sum is the difference of two running sums along the row, and
    // a running sum at any dot is the sum of the whole bytes before it (one
    // table look-up per byte) plus the dots of its own byte before it (one
    // more look-up). That touches each byte once and each box twice, where
    // unpacking every dot touched each dot.
    const uint32_t dotsPerByte = 8 / layout.bitsPerDot;
    const uint32_t dotShift = static_cast<uint32_t>(std::countr_zero(dotsPerByte));
    struct ByteSums {
        std::array<uint8_t, 8> levelsBefore{}; // levels of the byte's first k dots
        uint8_t levels = 0;                    // of all its dots
        uint8_t inked = 0;                     // dots with a non-zero level
    };
    std::array<ByteSums, 256> byteSums{};
    for (uint32_t byte = 0; byte < 256; ++byte) {
        const auto packed = static_cast<uint8_t>(byte);
        uint32_t sum = 0, inked = 0;
        for (uint32_t dot = 0; dot < dotsPerByte; ++dot) {
            byteSums[byte].levelsBefore[dot] = static_cast<uint8_t>(sum);
            const uint32_t level = dotValue(&packed, dot, layout.bitsPerDot);
            sum += level;
            inked += level != 0;
        }
        byteSums[byte].levels = static_cast<uint8_t>(sum);
        byteSums[byte].inked = static_cast<uint8_t>(inked);
    }
    std::vector<uint32_t> bytesBefore(size_t{layout.lineBytes} + 1);
    // With one plane it is the black one.
    const uint32_t firstColorant = layout.planeCount == 1 ? 3 : 0;
    for (uint32_t plane = 0; plane < layout.planeCount; ++plane) {
        const uint32_t colorant = firstColorant + plane;
        for (uint32_t y = 0; y < rows; ++y) {
            const uint8_t *row = planes[plane] + size_t{y} * layout.lineBytes;
            uint32_t *sums = band.sums.data() + size_t{y} * columns * 4 + colorant;
            // Inked dots count in the same pass: whole bytes here, the
            // padding dots of the last byte, which are zero in a well-formed
            // plane but need not be, are left out below.
            uint32_t running = 0, inked = 0;
            for (uint32_t byte = 0; byte < layout.lineBytes; ++byte) {
                const ByteSums &sumsOfByte = byteSums[row[byte]];
                bytesBefore[byte] = running;
                running += sumsOfByte.levels;
                inked += sumsOfByte.inked;
            }
            bytesBefore[layout.lineBytes] = running;
            if (running == 0)
                continue;
            const uint32_t wholeBytes = layout.deviceWidth / dotsPerByte;
            for (uint32_t byte = wholeBytes; byte < layout.lineBytes; ++byte)
                inked -= byteSums[row[byte]].inked;
            band.inkedDots += inked;
            for (uint32_t dot = wholeBytes * dotsPerByte; dot < layout.deviceWidth; ++dot)
                band.inkedDots += dotValue(row, dot, layout.bitsPerDot) != 0;
            auto levelsBefore = [&](uint32_t dot) {
                const uint32_t byte = dot >> dotShift, inByte = dot & (dotsPerByte - 1);
                return bytesBefore[byte] + (inByte == 0 ? 0u : byteSums[row[byte]].levelsBefore[inByte]);
            };
            uint32_t boxEnd = 0, levelsBeforeBox = 0;
            for (uint32_t column = 0; column < columns; ++column) {
                boxEnd = std::min(boxEnd + boxSize, layout.deviceWidth);
                const uint32_t levelsAfterBox = levelsBefore(boxEnd);
                sums[size_t{column} * 4] = levelsAfterBox - levelsBeforeBox;
                levelsBeforeBox = levelsAfterBox;
            }
        }
    }
    return band;
}

PreviewBuilder::PreviewBuilder(std::FILE *file, std::string name, const PlaneLayout &layout, uint32_t deviceHeight,
                               uint32_t boxSize, const ProofTable &proof, const InkResponse &ink)
    : layout_(layout), boxSize_(boxSize), columns_((layout.deviceWidth + boxSize - 1) / boxSize),
      previewRows_((deviceHeight + boxSize - 1) / boxSize), accumulated_(size_t{columns_} * 4),
      windowRadius_((minimumWindowDots + boxSize - 1) / boxSize / 2), columnSums_((size_t{columns_} + 1) * 5),
      windowSums_(size_t{columns_} * 4),
      proof_(proof), ink_(ink),
      cmykRow_(size_t{columns_} * 4), bgrRow_(size_t{columns_} * 3), rgbRow_(size_t{columns_} * 3),
      png_(file, std::move(name), columns_, previewRows_, PngWriter::Channels::rgb) {
    png_.favourSpeed();
}

void PreviewBuilder::addBand(const BandColumnSums &band) {
    for (uint32_t y = 0; y < band.rows; ++y) {
        const uint32_t *sums = band.sums.data() + size_t{y} * columns_ * 4;
        for (size_t i = 0; i < accumulated_.size(); ++i)
            accumulated_[i] += sums[i];
        ++rowsAccumulated_;
        if (rowsAccumulated_ == boxSize_)
            completeBoxRow();
    }
}

void PreviewBuilder::finish() {
    if (rowsAccumulated_ > 0)
        completeBoxRow();
    while (emittedRows_ < completedRows_)
        emitRow(emittedRows_++);
    png_.finish();
}

void PreviewBuilder::completeBoxRow() {
    windowRows_.push_back(accumulated_);
    windowHeights_.push_back(rowsAccumulated_);
    ++completedRows_;
    std::fill(accumulated_.begin(), accumulated_.end(), 0);
    rowsAccumulated_ = 0;
    // A row goes out once the rows below it that its window reaches are in.
    while (emittedRows_ + windowRadius_ < completedRows_) {
        emitRow(emittedRows_++);
        if (emittedRows_ > firstWindowRow_ + windowRadius_) {
            windowRows_.pop_front();
            windowHeights_.pop_front();
            ++firstWindowRow_;
        }
    }
}

void PreviewBuilder::emitRow(uint32_t row) {
    // Down the window: ink per column and colorant, and device rows.
    const uint32_t top = row > windowRadius_ ? row - windowRadius_ : 0;
    const uint32_t bottom = std::min(row + windowRadius_ + 1, completedRows_);
    uint64_t windowHeight = 0;
    std::vector<uint64_t> &down = windowSums_;
    std::fill(down.begin(), down.end(), 0);
    for (uint32_t boxRow = top; boxRow < bottom; ++boxRow) {
        const std::vector<uint64_t> &sums = windowRows_[boxRow - firstWindowRow_];
        for (size_t i = 0; i < down.size(); ++i)
            down[i] += sums[i];
        windowHeight += windowHeights_[boxRow - firstWindowRow_];
    }
    // Across: running sums over the columns, so each window is a difference.
    for (uint32_t column = 0; column < columns_; ++column) {
        const uint64_t *previous = columnSums_.data() + size_t{column} * 5;
        uint64_t *next = columnSums_.data() + size_t{column + 1} * 5;
        for (size_t ink = 0; ink < 4; ++ink)
            next[ink] = previous[ink] + down[size_t{column} * 4 + ink];
        next[4] = previous[4] + std::min(boxSize_, layout_.deviceWidth - column * boxSize_);
    }
    const uint64_t maxLevel = (1u << layout_.bitsPerDot) - 1;
    for (uint32_t column = 0; column < columns_; ++column) {
        const uint64_t *left = columnSums_.data() + size_t{column > windowRadius_ ? column - windowRadius_ : 0} * 5;
        const uint64_t *right = columnSums_.data() + size_t{std::min(column + windowRadius_ + 1, columns_)} * 5;
        // One division per pixel rather than four.
        const double stepsPerLevel =
            InkResponse::coverageSteps / static_cast<double>((right[4] - left[4]) * windowHeight * maxLevel);
        for (size_t ink = 0; ink < 4; ++ink) {
            const auto step = static_cast<uint32_t>(static_cast<double>(right[ink] - left[ink]) * stepsPerLevel + 0.5);
            cmykRow_[size_t{column} * 4 + ink] = ink_.levelOfCoverage[ink][std::min(step, InkResponse::coverageSteps)];
        }
    }
    QvrColCnvC2r(columns_, cmykRow_.data(), bgrRow_.data(), proof_.gridSize, proof_.entries.data());
    // The conversion writes blue first, except for a box without any ink,
    // which gets entry 0 (paper) in its stored order, red first.
    for (uint32_t column = 0; column < columns_; ++column) {
        const uint8_t *cmyk = cmykRow_.data() + size_t{column} * 4;
        const uint8_t *bgr = bgrRow_.data() + size_t{column} * 3;
        uint8_t *rgb = rgbRow_.data() + size_t{column} * 3;
        const bool paper = (cmyk[0] | cmyk[1] | cmyk[2] | cmyk[3]) == 0;
        rgb[0] = paper ? bgr[0] : bgr[2];
        rgb[1] = bgr[1];
        rgb[2] = paper ? bgr[2] : bgr[0];
    }
    png_.writeRow(rgbRow_);
}

} // namespace huecl::tool

#include "page_preview.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace huecl::tool {
namespace {

struct InkAbsorption {
    double red, green, blue;
};
constexpr std::array<InkAbsorption, 4> inks{{
    {0.97, 0.30, 0.06}, // cyan
    {0.08, 0.93, 0.35}, // magenta
    {0.02, 0.08, 0.92}, // yellow
    {0.96, 0.96, 0.96}, // black
}};

constexpr double gammaSteps = 4095; // entries of the gamma table, less one

uint32_t dotValue(const uint8_t *row, uint32_t dot, uint32_t bitsPerDot) {
    const uint32_t dotsPerByte = 8 / bitsPerDot;
    const uint32_t shift = 8 - bitsPerDot * (dot % dotsPerByte + 1);
    return (row[dot / dotsPerByte] >> shift) & ((1u << bitsPerDot) - 1);
}

} // namespace

uint32_t previewBoxSize(uint32_t deviceResolution, uint32_t previewResolution) {
    return std::max(1u, (deviceResolution + previewResolution / 2) / previewResolution);
}

BandColumnSums reduceBand(const PlaneLayout &layout, uint32_t boxSize, std::span<const uint8_t *const> planes,
                          uint32_t rows) {
    const uint32_t columns = (layout.deviceWidth + boxSize - 1) / boxSize;
    BandColumnSums band{rows, std::vector<uint32_t>(size_t{rows} * columns * 4)};
    // Unpacking a row into one level per dot through a per-byte table, then
    // summing runs of boxSize levels, costs far less than extracting each
    // dot by shifts and divisions.
    const uint32_t dotsPerByte = 8 / layout.bitsPerDot;
    std::array<std::array<uint8_t, 8>, 256> unpack{};
    for (uint32_t byte = 0; byte < 256; ++byte)
        for (uint32_t dot = 0; dot < dotsPerByte; ++dot) {
            const auto packed = static_cast<uint8_t>(byte);
            unpack[byte][dot] = static_cast<uint8_t>(dotValue(&packed, dot, layout.bitsPerDot));
        }
    std::vector<uint8_t> levels(size_t{layout.lineBytes} * dotsPerByte);
    // With one plane it is the black one.
    const uint32_t firstColorant = layout.planeCount == 1 ? 3 : 0;
    for (uint32_t plane = 0; plane < layout.planeCount; ++plane) {
        const uint32_t colorant = firstColorant + plane;
        for (uint32_t y = 0; y < rows; ++y) {
            const uint8_t *row = planes[plane] + size_t{y} * layout.lineBytes;
            uint32_t *sums = band.sums.data() + size_t{y} * columns * 4 + colorant;
            bool blank = true;
            for (uint32_t byte = 0; byte < layout.lineBytes; ++byte) {
                std::memcpy(levels.data() + size_t{byte} * dotsPerByte, unpack[row[byte]].data(), dotsPerByte);
                blank = blank && row[byte] == 0;
            }
            if (blank)
                continue;
            for (uint32_t column = 0; column < columns; ++column) {
                const uint32_t first = column * boxSize;
                const uint32_t last = std::min(first + boxSize, layout.deviceWidth);
                uint32_t sum = 0, inked = 0;
                for (uint32_t dot = first; dot < last; ++dot) {
                    sum += levels[dot];
                    inked += levels[dot] != 0;
                }
                sums[size_t{column} * 4] = sum;
                band.inkedDots += inked;
            }
        }
    }
    return band;
}

PreviewBuilder::PreviewBuilder(std::FILE *file, std::string name, const PlaneLayout &layout, uint32_t deviceHeight,
                               uint32_t boxSize)
    : layout_(layout), boxSize_(boxSize), columns_((layout.deviceWidth + boxSize - 1) / boxSize),
      previewRows_((deviceHeight + boxSize - 1) / boxSize), accumulated_(size_t{columns_} * 4),
      rgbRow_(size_t{columns_} * 3),
      png_(file, std::move(name), columns_, previewRows_, PngWriter::Channels::rgb) {
    for (size_t i = 0; i < gammaTable_.size(); ++i) {
        const double reflectance = static_cast<double>(i) / gammaSteps;
        gammaTable_[i] = static_cast<uint8_t>(std::lround(255 * std::pow(reflectance, 1 / 2.2)));
    }
}

void PreviewBuilder::addBand(const BandColumnSums &band) {
    for (uint32_t y = 0; y < band.rows; ++y) {
        const uint32_t *sums = band.sums.data() + size_t{y} * columns_ * 4;
        for (size_t i = 0; i < accumulated_.size(); ++i)
            accumulated_[i] += sums[i];
        ++rowsAccumulated_;
        if (rowsAccumulated_ == boxSize_)
            emitRow();
    }
}

void PreviewBuilder::finish() {
    if (rowsAccumulated_ > 0)
        emitRow();
    png_.finish();
}

void PreviewBuilder::emitRow() {
    const double maxLevel = static_cast<double>((1u << layout_.bitsPerDot) - 1);
    for (uint32_t column = 0; column < columns_; ++column) {
        const uint32_t boxWidth = std::min(boxSize_, layout_.deviceWidth - column * boxSize_);
        const double dots = static_cast<double>(boxWidth) * rowsAccumulated_ * maxLevel;
        double red = 1, green = 1, blue = 1;
        for (size_t ink = 0; ink < inks.size(); ++ink) {
            const double coverage = static_cast<double>(accumulated_[size_t{column} * 4 + ink]) / dots;
            red *= 1 - coverage * inks[ink].red;
            green *= 1 - coverage * inks[ink].green;
            blue *= 1 - coverage * inks[ink].blue;
        }
        auto encode = [this](double reflectance) {
            return gammaTable_[static_cast<size_t>(std::lround(reflectance * gammaSteps))];
        };
        rgbRow_[3 * column + 0] = encode(red);
        rgbRow_[3 * column + 1] = encode(green);
        rgbRow_[3 * column + 2] = encode(blue);
    }
    png_.writeRow(rgbRow_);
    std::fill(accumulated_.begin(), accumulated_.end(), 0);
    rowsAccumulated_ = 0;
}

} // namespace huecl::tool

// The preview: what the printed page looks like, simulated from the planes.
// Each preview pixel covers a square of boxSize x boxSize device dots; the
// ink coverage of each colorant over that square (dot values over their
// maximum) filters white paper through simple inks:
//
//   reflectance of a channel = product over the inks of (1 - coverage * absorption)
//
// with absorptions (red, green, blue) of cyan 0.97 0.30 0.06, magenta 0.08
// 0.93 0.35, yellow 0.02 0.08 0.92 and black 0.96 0.96 0.96, then encoded
// with gamma 2.2 for the screen.
//
// The work is split so that workers can do most of it in parallel: a band's
// rows are summed across each box in the worker (reduceBand), and the writer,
// which sees bands in page order, sums those down the boxes and writes rows.
#pragma once

#include "png_image.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace huecl::tool {

struct PlaneLayout {
    uint32_t deviceWidth = 0;
    uint32_t lineBytes = 0;
    uint32_t bitsPerDot = 0;
    uint32_t planeCount = 0; // 4 (cyan, magenta, yellow, black) or 1 (black)
};

// Summed dot values per device row, preview column and colorant (always
// four, cyan to black; absent planes stay zero).
struct BandColumnSums {
    uint32_t rows = 0;
    std::vector<uint32_t> sums; // rows x columns x 4
    uint64_t inkedDots = 0;     // dots of any plane with a non-zero value
};

uint32_t previewBoxSize(uint32_t deviceResolution, uint32_t previewResolution);

// planes: planeCount buffers of at least rows * lineBytes bytes.
BandColumnSums reduceBand(const PlaneLayout &layout, uint32_t boxSize,
                          std::span<const uint8_t *const> planes, uint32_t rows);

class PreviewBuilder {
public:
    PreviewBuilder(std::FILE *file, std::string name, const PlaneLayout &layout, uint32_t deviceHeight,
                   uint32_t boxSize);
    void addBand(const BandColumnSums &band);
    // Writes the last, possibly partial, row of boxes and ends the file.
    void finish();
    uint32_t width() const { return columns_; }
    uint32_t height() const { return previewRows_; }

private:
    void emitRow();
    PlaneLayout layout_;
    uint32_t boxSize_, columns_, previewRows_;
    std::vector<uint64_t> accumulated_; // columns x 4
    uint32_t rowsAccumulated_ = 0;
    std::vector<uint8_t> rgbRow_;
    std::array<uint8_t, 4096> gammaTable_{}; // reflectance in 4095ths to screen level
    PngWriter png_;
};

} // namespace huecl::tool

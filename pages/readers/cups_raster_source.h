// One page of a CUPS raster stream as an image source for the band loop.
// 8-bit chunky pixels only: RGB and sRGB become blue-green-red pixels, grey
// (W, SW) becomes neutral blue-green-red pixels, CMYK passes through as
// CMYK pixels and black (K) becomes CMYK pixels with black alone.
#pragma once

#include "pages/colour/colour_engine.h"
#include "pages/readers/image_source.h"

#include <cups/raster.h>

#include <vector>

namespace huecl::pages {

// The colour space and colour order of a page header as the integers the
// stream carried. The header declares them as enumerations, yet a stream
// may hold any 32-bit value there, and loading one outside its enumeration
// is undefined: they are read as integers and compared with the constants.
std::uint32_t colourSpaceOf(const cups_page_header2_t& header);
std::uint32_t colourOrderOf(const cups_page_header2_t& header);

// The raster colours the driver prints.
enum class RasterColours { rgb, grey, cmyk, black };

// How a page's raster pixels reach the pipeline.
struct RasterPixelFormat {
    std::uint32_t channels = 0;  // bytes per raster pixel
    SourcePixels pixels{};       // what the engine receives
    RasterColours colours{};
};

// Checks the page header against what the driver prints (8-bit chunky
// pixels of the colour spaces above, a plausible size and resolution) and
// throws PageError saying what is wrong.
RasterPixelFormat checkPageHeader(const cups_page_header2_t& header, std::uint32_t pageNumber);

class CupsPageSource final : public ImageSource {
public:
    CupsPageSource(cups_raster_t* raster, const cups_page_header2_t& header, std::uint32_t pageNumber);
    std::uint32_t width() const override { return header_.cupsWidth; }
    std::uint32_t height() const override { return header_.cupsHeight; }
    std::string description() const override;
    SourcePixels pixels() const override { return format_.pixels; }
    // Throws PageError when the stream ends before the page does.
    void readRows(std::span<std::uint8_t> rows) override;

private:
    cups_raster_t* raster_;
    cups_page_header2_t header_;
    std::uint32_t pageNumber_;
    RasterPixelFormat format_;
    std::uint32_t rowsRead_ = 0;
    std::vector<std::uint8_t> line_;
};

}  // namespace huecl::pages

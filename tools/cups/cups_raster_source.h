// One page of a CUPS raster stream as an image source for the band loop.
// 8-bit chunky pixels only: RGB and sRGB become blue-green-red pixels, grey
// (W, SW) becomes neutral blue-green-red pixels, CMYK passes through as
// CMYK pixels and black (K) becomes CMYK pixels with black alone.
#pragma once

#include "pages/colour/colour_engine.h"
#include "pages/readers/image_source.h"

#include <cups/raster.h>

#include <vector>

namespace huecl::cups {

// How a page's raster pixels reach the pipeline.
struct RasterPixelFormat {
    std::uint32_t channels = 0;    // bytes per raster pixel
    pages::SourcePixels pixels{};  // what the engine receives
};

// Checks the page header against what the driver prints (8-bit chunky
// pixels of the colour spaces above, a plausible size and resolution) and
// throws PageError saying what is wrong.
RasterPixelFormat checkPageHeader(const cups_page_header2_t& header, std::uint32_t pageNumber);

class CupsPageSource final : public pages::ImageSource {
public:
    CupsPageSource(cups_raster_t* raster, const cups_page_header2_t& header, std::uint32_t pageNumber);
    std::uint32_t width() const override { return header_.cupsWidth; }
    std::uint32_t height() const override { return header_.cupsHeight; }
    std::string description() const override;
    pages::SourcePixels pixels() const override { return format_.pixels; }
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

}  // namespace huecl::cups

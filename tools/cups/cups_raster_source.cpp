#include "cups_raster_source.h"

#include "pages/page_error.h"

namespace huecl::cups {
namespace {

using pages::SourcePixels;
using pages::PageError;

// Wider pages than this (about 40 inches at 4800 dpi) are taken for a
// damaged header rather than allocated band buffers for.
constexpr std::uint32_t largestPageSide = 200000;
constexpr std::uint32_t highestResolution = 4800;

std::string pageName(std::uint32_t pageNumber) { return "page " + std::to_string(pageNumber); }

}  // namespace

RasterPixelFormat checkPageHeader(const cups_page_header2_t& h, std::uint32_t pageNumber) {
    RasterPixelFormat format;
    switch (h.cupsColorSpace) {
        case CUPS_CSPACE_RGB:
        case CUPS_CSPACE_SRGB: format = {3, SourcePixels::bgr}; break;
        case CUPS_CSPACE_W:
        case CUPS_CSPACE_SW: format = {1, SourcePixels::bgr}; break;
        case CUPS_CSPACE_CMYK: format = {4, SourcePixels::cmyk}; break;
        case CUPS_CSPACE_K: format = {1, SourcePixels::cmyk}; break;
        default:
            throw PageError(pageName(pageNumber) + ": colour space " + std::to_string(h.cupsColorSpace) +
                            " is not printed (RGB, sRGB, W, SW, K and CMYK are)");
    }
    if (h.cupsBitsPerColor != 8)
        throw PageError(pageName(pageNumber) + ": " + std::to_string(h.cupsBitsPerColor) +
                        " bits per colour (the driver takes 8)");
    if (format.channels > 1 && h.cupsColorOrder != CUPS_ORDER_CHUNKED)
        throw PageError(pageName(pageNumber) + ": banded or planar colour order (the driver takes chunked pixels)");
    if (h.cupsBitsPerPixel != 8 * format.channels)
        throw PageError(pageName(pageNumber) + ": " + std::to_string(h.cupsBitsPerPixel) + " bits per pixel for " +
                        std::to_string(format.channels) + " colours of 8 bits");
    if (h.cupsWidth == 0 || h.cupsHeight == 0 || h.cupsWidth > largestPageSide || h.cupsHeight > largestPageSide)
        throw PageError(pageName(pageNumber) + ": impossible size " + std::to_string(h.cupsWidth) + " x " +
                        std::to_string(h.cupsHeight) + " pixels");
    if (std::uint64_t{h.cupsWidth} * format.channels != h.cupsBytesPerLine)
        throw PageError(pageName(pageNumber) + ": " + std::to_string(h.cupsBytesPerLine) + " bytes per line for " +
                        std::to_string(h.cupsWidth) + " pixels");
    for (const unsigned resolution : h.HWResolution)
        if (resolution == 0 || resolution > highestResolution)
            throw PageError(pageName(pageNumber) + ": resolution " + std::to_string(h.HWResolution[0]) + "x" +
                            std::to_string(h.HWResolution[1]) + " dpi (1 to 4800 dpi are printed)");
    return format;
}

CupsPageSource::CupsPageSource(cups_raster_t* raster, const cups_page_header2_t& header, std::uint32_t pageNumber)
    : raster_(raster), header_(header), pageNumber_(pageNumber), format_(checkPageHeader(header, pageNumber)),
      line_(header.cupsBytesPerLine) {}

std::string CupsPageSource::description() const {
    return pageName(pageNumber_) + " (" + std::to_string(header_.cupsWidth) + " x " +
           std::to_string(header_.cupsHeight) + " pixels at " + std::to_string(header_.HWResolution[0]) + "x" +
           std::to_string(header_.HWResolution[1]) + " dpi)";
}

void CupsPageSource::readRows(std::span<std::uint8_t> rows) {
    const std::uint32_t width = header_.cupsWidth;
    const size_t rowBytes = size_t{width} * static_cast<std::uint32_t>(format_.pixels);
    for (size_t offset = 0; offset + rowBytes <= rows.size(); offset += rowBytes) {
        if (rowsRead_ == header_.cupsHeight ||
            cupsRasterReadPixels(raster_, line_.data(), header_.cupsBytesPerLine) != header_.cupsBytesPerLine)
            throw PageError(pageName(pageNumber_) + ": the raster stream ends after " + std::to_string(rowsRead_) +
                            " of " + std::to_string(header_.cupsHeight) + " rows");
        ++rowsRead_;
        std::uint8_t* out = rows.data() + offset;
        const std::uint8_t* in = line_.data();
        switch (header_.cupsColorSpace) {
            case CUPS_CSPACE_RGB:
            case CUPS_CSPACE_SRGB:
                for (std::uint32_t x = 0; x < width; ++x, in += 3, out += 3)
                    out[0] = in[2], out[1] = in[1], out[2] = in[0];
                break;
            case CUPS_CSPACE_W:
            case CUPS_CSPACE_SW:
                for (std::uint32_t x = 0; x < width; ++x, out += 3) out[0] = out[1] = out[2] = in[x];
                break;
            case CUPS_CSPACE_K:
                for (std::uint32_t x = 0; x < width; ++x, out += 4) out[0] = out[1] = out[2] = 0, out[3] = in[x];
                break;
            default:  // CMYK, in the library's byte order already
                std::copy(line_.begin(), line_.end(), out);
                break;
        }
    }
}

}  // namespace huecl::cups

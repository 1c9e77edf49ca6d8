// The checks of a CUPS raster page header and the conversion of its rows
// to the pipeline's pixels.
#include "pages/readers/cups_raster_source.h"

#include "pages/page_error.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#  include <immintrin.h>
#endif

namespace huecl::pages {
namespace {

// Wider pages than this (about 40 inches at 4800 dpi) are taken for a
// damaged header rather than allocated band buffers for.
constexpr std::uint32_t largestRasterSide = 200000;
constexpr std::uint32_t highestResolution = 4800;

std::string pageName(std::uint32_t pageNumber) { return "page " + std::to_string(pageNumber); }

// RGB pixels to the pipeline's BGR, a byte at a time for the last pixels.
// Before them, on a little-endian host each pixel is one 4-byte load, a
// byte swap and one 4-byte store, whose fourth byte the next pixel
// overwrites: a third of the stores of a copy byte by byte, which bound
// that copy's speed.
void rgbToBgrFrom(std::uint32_t x, const std::uint8_t* in, std::uint8_t* out, std::uint32_t width) {
    if constexpr (std::endian::native == std::endian::little) {
        for (; x + 1 < width; ++x, in += 3, out += 3) {
            std::uint32_t pixel;
            std::memcpy(&pixel, in, sizeof pixel);
            pixel = __builtin_bswap32(pixel) >> 8;
            std::memcpy(out, &pixel, sizeof pixel);
        }
    }
    for (; x < width; ++x, in += 3, out += 3) out[0] = in[2], out[1] = in[1], out[2] = in[0];
}

#if defined(__x86_64__) || defined(__i386__)
// With SSSE3, five pixels a shuffle: 16 bytes loaded, the first 15 turned
// pixel by pixel and all 16 stored, the last one to be overwritten by the
// next five. Six pixels must be left, so that neither reads nor writes
// beyond the row.
__attribute__((target("ssse3"))) void rgbToBgrByShuffles(const std::uint8_t* in, std::uint8_t* out,
                                                         std::uint32_t width) {
    const __m128i turn = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    std::uint32_t x = 0;
    for (; x + 6 <= width; x += 5, in += 15, out += 15)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), turn));
    rgbToBgrFrom(x, in, out, width);
}

// Asked once, on first use: the processor's features are read at start-up
// by a constructor of the compiler's run time, which a global initializer
// here might run before.
bool shufflesBytes() {
    static const bool ssse3 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return ssse3;
}
#endif

void rgbToBgr(const std::uint8_t* in, std::uint8_t* out, std::uint32_t width) {
#if defined(__x86_64__) || defined(__i386__)
    if (shufflesBytes()) return rgbToBgrByShuffles(in, out, width);
#endif
    rgbToBgrFrom(0, in, out, width);
}

}  // namespace

std::uint32_t colourSpaceOf(const cups_page_header2_t& header) {
    std::uint32_t space = 0;
    static_assert(sizeof header.cupsColorSpace == sizeof space);
    std::memcpy(&space, &header.cupsColorSpace, sizeof space);
    return space;
}

std::uint32_t colourOrderOf(const cups_page_header2_t& header) {
    std::uint32_t order = 0;
    static_assert(sizeof header.cupsColorOrder == sizeof order);
    std::memcpy(&order, &header.cupsColorOrder, sizeof order);
    return order;
}

RasterPixelFormat checkPageHeader(const cups_page_header2_t& h, std::uint32_t pageNumber) {
    RasterPixelFormat format;
    const std::uint32_t space = colourSpaceOf(h);
    if (space == CUPS_CSPACE_RGB || space == CUPS_CSPACE_SRGB)
        format = {3, SourcePixels::bgr, RasterColours::rgb};
    else if (space == CUPS_CSPACE_W || space == CUPS_CSPACE_SW)
        format = {1, SourcePixels::bgr, RasterColours::grey};
    else if (space == CUPS_CSPACE_CMYK)
        format = {4, SourcePixels::cmyk, RasterColours::cmyk};
    else if (space == CUPS_CSPACE_K)
        format = {1, SourcePixels::cmyk, RasterColours::black};
    else
        throw PageError(pageName(pageNumber) + ": colour space " + std::to_string(space) +
                        " is not printed (RGB, sRGB, W, SW, K and CMYK are)");
    if (h.cupsBitsPerColor != 8)
        throw PageError(pageName(pageNumber) + ": " + std::to_string(h.cupsBitsPerColor) +
                        " bits per colour (the driver takes 8)");
    if (format.channels > 1 && colourOrderOf(h) != CUPS_ORDER_CHUNKED)
        throw PageError(pageName(pageNumber) + ": banded or planar colour order (the driver takes chunked pixels)");
    if (h.cupsBitsPerPixel != 8 * format.channels)
        throw PageError(pageName(pageNumber) + ": " + std::to_string(h.cupsBitsPerPixel) + " bits per pixel for " +
                        std::to_string(format.channels) + " colours of 8 bits");
    if (h.cupsWidth == 0 || h.cupsHeight == 0 || h.cupsWidth > largestRasterSide || h.cupsHeight > largestRasterSide)
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
        switch (format_.colours) {
            case RasterColours::rgb: rgbToBgr(in, out, width); break;
            case RasterColours::grey:
                for (std::uint32_t x = 0; x < width; ++x, out += 3) out[0] = out[1] = out[2] = in[x];
                break;
            case RasterColours::black:
                for (std::uint32_t x = 0; x < width; ++x, out += 4) out[0] = out[1] = out[2] = 0, out[3] = in[x];
                break;
            case RasterColours::cmyk:  // in the library's byte order already
                std::copy(line_.begin(), line_.end(), out);
                break;
        }
    }
}

}  // namespace huecl::pages

// Where the page's pixels come from: a file read top to bottom, or the
// built-in test page. Rows arrive in the library's pixel order (blue, green,
// red; or cyan, magenta, yellow, black for a CMYK image), a band at a time,
// so a source never needs to hold the whole page.
#pragma once

#include "pages/colour/colour_engine.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

namespace huecl::pages {

class ImageSource {
public:
    virtual ~ImageSource() = default;
    virtual std::uint32_t width() const = 0;
    virtual std::uint32_t height() const = 0;
    virtual std::string description() const = 0;
    // RGB rows are matched to the inks; CMYK rows (a separated JPEG or
    // TIFF, or a raster image processor's page) go straight to halftoning.
    virtual SourcePixels pixels() const { return SourcePixels::bgr; }
    // Fills whole rows (3 bytes a pixel; a source of CMYK pixels, 4),
    // continuing where the last call stopped. Throws PageError on unreadable or truncated input.
    virtual void readRows(std::span<std::uint8_t> rows) = 0;

    // A source that can make any row on demand (the built-in page) lets the
    // workers render their own bands in parallel; files are read in order.
    virtual bool rendersRowsOnDemand() const { return false; }
    virtual void renderRows(std::uint32_t /*firstRow*/, std::span<std::uint8_t> /*rows*/) const {
        throw std::logic_error("this image source reads rows in order only");
    }
};

// What an image file may ask of the reader, checked from its header before
// anything is allocated: a 100000 x 100000 image is refused at once instead
// of being tried. memoryBytes bounds what one reader holds at a time (a
// whole interlaced PNG, a progressive JPEG's coefficients, a TIFF strip or
// row of tiles, the copy of a TIFF on a pipe); streamed formats hold a band.
struct ImageLimits {
    std::uint64_t pixels = std::uint64_t{1} << 28;
    std::uint64_t memoryBytes = std::uint64_t{1} << 30;
};

// Throws PageError naming the file, its size and the limit when width x
// height exceeds limits.pixels.
void checkImageSize(const std::string& name, std::uint32_t width, std::uint32_t height, const ImageLimits& limits);
// Throws PageError when a reader would hold more than limits.memoryBytes at
// once for what (e.g. "a strip").
void checkReaderMemory(const std::string& name, std::uint64_t bytes, const std::string& what,
                       const ImageLimits& limits);

// Opens a PNG, JPEG, TIFF or binary PPM/PGM, chosen by the file's first
// bytes; "-" is standard input.
std::unique_ptr<ImageSource> openImage(const std::filesystem::path& path, const ImageLimits& limits = {});

// A CMYK source whose cyan, magenta and yellow are folded into black, for a
// page that prints the black plane alone: a colour would otherwise vanish.
std::unique_ptr<ImageSource> foldInksIntoBlack(std::unique_ptr<ImageSource> source);

}  // namespace huecl::pages

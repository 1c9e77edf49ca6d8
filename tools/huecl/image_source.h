// Where the page's RGB pixels come from: a file read top to bottom, or the
// built-in test page. Rows arrive in the library's pixel order (blue, green,
// red), a band at a time, so a source never needs to hold the whole page.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

namespace huecl::tool {

class ImageSource {
public:
    virtual ~ImageSource() = default;
    virtual uint32_t width() const = 0;
    virtual uint32_t height() const = 0;
    virtual std::string description() const = 0;
    // Fills whole rows (3 bytes a pixel; a source of CMYK pixels, 4),
    // continuing where the last call stopped. Throws ToolError on unreadable or truncated input.
    virtual void readRows(std::span<uint8_t> rows) = 0;

    // A source that can make any row on demand (the built-in page) lets the
    // workers render their own bands in parallel; files are read in order.
    virtual bool rendersRowsOnDemand() const { return false; }
    virtual void renderRows(uint32_t /*firstRow*/, std::span<uint8_t> /*rows*/) const {
        throw std::logic_error("this image source reads rows in order only");
    }
};

// Opens a PNG or a binary PPM/PGM, chosen by the file's first bytes; "-" is
// standard input.
std::unique_ptr<ImageSource> openImage(const std::filesystem::path &path);

} // namespace huecl::tool

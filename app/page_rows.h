// A page's raster rows on their way from PAPPL, which pushes them one at a
// time (rwriteline), to the band loop, which pulls a band of them at a
// time from its image source on a thread of its own. The buffer between
// them holds a bounded number of rows, so a page costs memory by the band
// whatever its size, and each side waits for the other when it runs ahead.
#pragma once

#include "pages/readers/image_source.h"

#include <cups/raster.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace huecl::app {

class RowBuffer {
public:
    RowBuffer(size_t rowBytes, size_t capacityRows);

    // Copies one row in, waiting while the buffer is full. Returns false,
    // dropping the row, once the reader has abandoned the page.
    bool put(std::span<const std::uint8_t> row);
    // No more rows will come; a reader waiting for them gets what is left.
    void finish();
    // Copies whole rows out until rows is full, waiting for them to come.
    // Returns the number of rows copied: fewer only after finish().
    size_t take(std::span<std::uint8_t> rows);
    // The reader stops: a writer waiting for room is let go.
    void abandon();

    size_t rowBytes() const { return rowBytes_; }

private:
    const size_t rowBytes_;
    const size_t capacityRows_;
    std::vector<std::uint8_t> ring_;
    size_t firstRow_ = 0;  // of the rows held, in ring order
    size_t heldRows_ = 0;
    bool finished_ = false, abandoned_ = false;
    std::mutex mutex_;
    std::condition_variable rowsChanged_;
};

// The bytes of one row of paper: white for grey and RGB pixels, no ink for
// black and CMYK ones.
std::vector<std::uint8_t> paperRow(const cups_page_header2_t& header);

// A page whose rows come through a RowBuffer, in the header's raster
// format, turned into the library's pixel order as the CUPS filter turns
// the rows it reads.
class BufferedPage final : public pages::ImageSource {
public:
    // Throws PageError for a header the driver does not print.
    BufferedPage(const cups_page_header2_t& header, std::uint32_t pageNumber, std::shared_ptr<RowBuffer> rows);
    std::uint32_t width() const override { return header_.cupsWidth; }
    std::uint32_t height() const override { return header_.cupsHeight; }
    std::string description() const override;
    pages::SourcePixels pixels() const override { return pixels_; }
    // Throws PageError when the rows stop before the page ends.
    void readRows(std::span<std::uint8_t> rows) override;

private:
    cups_page_header2_t header_;
    std::uint32_t pageNumber_;
    pages::SourcePixels pixels_;
    std::shared_ptr<RowBuffer> rows_;
    std::uint32_t rowsRead_ = 0;
    std::vector<std::uint8_t> raster_;
};

// One raster row in the library's pixel order: RGB as blue, green, red;
// grey as neutral blue, green, red; black as CMYK with black alone; CMYK
// as it is. out holds 3 bytes a pixel, or 4 for black and CMYK.
void convertRasterRow(const cups_page_header2_t& header, const std::uint8_t* in, std::uint8_t* out);

}  // namespace huecl::app

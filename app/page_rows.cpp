#include "page_rows.h"

#include "pages/page_error.h"
#include "pages/readers/cups_raster_source.h"

#include <algorithm>
#include <cstring>

namespace huecl::app {

RowBuffer::RowBuffer(size_t rowBytes, size_t capacityRows)
    : rowBytes_(rowBytes), capacityRows_(std::max<size_t>(capacityRows, 1)), ring_(rowBytes * capacityRows_) {}

bool RowBuffer::put(std::span<const std::uint8_t> row) {
    std::unique_lock lock(mutex_);
    rowsChanged_.wait(lock, [&] { return abandoned_ || heldRows_ < capacityRows_; });
    if (abandoned_) return false;
    const size_t slot = (firstRow_ + heldRows_) % capacityRows_;
    std::memcpy(ring_.data() + slot * rowBytes_, row.data(), std::min(row.size(), rowBytes_));
    ++heldRows_;
    rowsChanged_.notify_all();
    return true;
}

void RowBuffer::finish() {
    std::lock_guard lock(mutex_);
    finished_ = true;
    rowsChanged_.notify_all();
}

size_t RowBuffer::take(std::span<std::uint8_t> rows) {
    const size_t wanted = rows.size() / rowBytes_;
    size_t copied = 0;
    std::unique_lock lock(mutex_);
    while (copied < wanted) {
        rowsChanged_.wait(lock, [&] { return heldRows_ > 0 || finished_; });
        if (heldRows_ == 0) break;
        // As many rows as sit in one piece of the ring.
        const size_t count = std::min({wanted - copied, heldRows_, capacityRows_ - firstRow_});
        std::memcpy(rows.data() + copied * rowBytes_, ring_.data() + firstRow_ * rowBytes_, count * rowBytes_);
        firstRow_ = (firstRow_ + count) % capacityRows_;
        heldRows_ -= count;
        copied += count;
        rowsChanged_.notify_all();
    }
    return copied;
}

void RowBuffer::abandon() {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
    heldRows_ = 0;
    rowsChanged_.notify_all();
}

std::vector<std::uint8_t> paperRow(const cups_page_header2_t& header) {
    const bool ink = header.cupsColorSpace == CUPS_CSPACE_K || header.cupsColorSpace == CUPS_CSPACE_CMYK;
    return std::vector<std::uint8_t>(header.cupsBytesPerLine, ink ? 0x00 : 0xFF);
}

BufferedPage::BufferedPage(const cups_page_header2_t& header, std::uint32_t pageNumber, std::shared_ptr<RowBuffer> rows)
    : header_(header), pageNumber_(pageNumber), pixels_(pages::checkPageHeader(header, pageNumber).pixels),
      rows_(std::move(rows)) {}

std::string BufferedPage::description() const {
    return "page " + std::to_string(pageNumber_) + " (" + std::to_string(header_.cupsWidth) + " x " +
           std::to_string(header_.cupsHeight) + " pixels at " + std::to_string(header_.HWResolution[0]) + "x" +
           std::to_string(header_.HWResolution[1]) + " dpi)";
}

void BufferedPage::readRows(std::span<std::uint8_t> rows) {
    const size_t rowBytes = size_t{header_.cupsWidth} * static_cast<std::uint32_t>(pixels_);
    const size_t count = rows.size() / rowBytes;
    raster_.resize(count * header_.cupsBytesPerLine);
    const size_t arrived = rows_->take(raster_);
    if (arrived < count)
        throw pages::PageError("page " + std::to_string(pageNumber_) + ": the raster ends after " +
                               std::to_string(rowsRead_ + arrived) + " of " + std::to_string(header_.cupsHeight) +
                               " rows");
    for (size_t row = 0; row < count; ++row)
        convertRasterRow(header_, raster_.data() + row * header_.cupsBytesPerLine, rows.data() + row * rowBytes);
    rowsRead_ += static_cast<std::uint32_t>(count);
}

void convertRasterRow(const cups_page_header2_t& header, const std::uint8_t* in, std::uint8_t* out) {
    const std::uint32_t width = header.cupsWidth;
    switch (header.cupsColorSpace) {
        case CUPS_CSPACE_RGB:
        case CUPS_CSPACE_SRGB:
            for (std::uint32_t x = 0; x < width; ++x, in += 3, out += 3) out[0] = in[2], out[1] = in[1], out[2] = in[0];
            break;
        case CUPS_CSPACE_W:
        case CUPS_CSPACE_SW:
            for (std::uint32_t x = 0; x < width; ++x, out += 3) out[0] = out[1] = out[2] = in[x];
            break;
        case CUPS_CSPACE_K:
            for (std::uint32_t x = 0; x < width; ++x, out += 4) out[0] = out[1] = out[2] = 0, out[3] = in[x];
            break;
        default:  // CMYK, in the library's byte order already
            std::memcpy(out, in, size_t{width} * 4);
            break;
    }
}

}  // namespace huecl::app

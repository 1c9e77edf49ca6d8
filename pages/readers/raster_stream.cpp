// The CUPS raster stream: libcups reads through our callback, which tries
// again after a signal, polls while a job may be cancelled, and notes what
// libcups asked for, so that a cut header is told from a clean end.
#include "pages/readers/raster_stream.h"

#include "pages/page_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <poll.h>
#include <unistd.h>

namespace huecl::pages {

RasterStream::RasterStream(int fd, std::function<bool()> cancelled) : fd_(fd), cancelled_(std::move(cancelled)) {
    raster_ = cupsRasterOpenIO(readCallback, this, CUPS_RASTER_READ);
    if (!raster_) {
        if (readErrno_ != 0)
            throw PageError(std::string("cannot read the raster stream: ") + std::strerror(readErrno_));
        throw PageError("the input is not a CUPS raster stream");
    }
}

RasterStream::~RasterStream() { cupsRasterClose(raster_); }

ssize_t RasterStream::readCallback(void* context, unsigned char* buffer, size_t length) {
    auto& stream = *static_cast<RasterStream*>(context);
    ssize_t count;
    for (;;) {
        if (stream.cancelled_) {
            // A signal that lands just before read() would not interrupt
            // it: the wait is cut into short polls that look at the flag.
            if (stream.cancelled_()) {
                errno = EINTR;
                count = -1;
                break;
            }
            pollfd ready{stream.fd_, POLLIN, 0};
            const int polled = ::poll(&ready, 1, 200);
            if (polled == 0 || (polled < 0 && errno == EINTR)) continue;
        }
        count = ::read(stream.fd_, buffer, length);
        if (count >= 0 || errno != EINTR) break;
    }
    if (count < 0) stream.readErrno_ = errno;
    if (stream.bytesRead_ < sizeof stream.syncBytes_ && count > 0)
        std::memcpy(stream.syncBytes_ + stream.bytesRead_, buffer,
                    std::min<size_t>(static_cast<size_t>(count), sizeof stream.syncBytes_ - stream.bytesRead_));
    if (count > 0) stream.bytesRead_ += static_cast<std::uint64_t>(count);
    if (stream.readingHeader_) {
        if (stream.headerRequests_++ == 0) stream.firstHeaderRequest_ = length;
        if (count == 0) stream.endInHeader_ = true;
    }
    return count;
}

size_t RasterStream::headerSize() const {
    unsigned sync = 0;  // as libcups reads it: host byte order
    std::memcpy(&sync, syncBytes_, sizeof sync);
    switch (sync) {
        case CUPS_RASTER_SYNCv1:
        case CUPS_RASTER_REVSYNCv1: return sizeof(cups_page_header_t);
        case CUPS_RASTER_SYNCapple:
        case CUPS_RASTER_REVSYNCapple: return 32;
        default: return sizeof(cups_page_header2_t);
    }
}

bool RasterStream::readHeader(cups_page_header2_t& header, std::uint32_t pageNumber) {
    headerRequests_ = 0;
    firstHeaderRequest_ = 0;
    endInHeader_ = false;
    readErrno_ = 0;
    readingHeader_ = true;
    const unsigned read = cupsRasterReadHeader2(raster_, &header);
    readingHeader_ = false;
    if (read) return true;
    // libcups answers 0 both for a stream that has ended and for one cut
    // inside the header, and for a header it refuses. It reads a header
    // through its own buffer: when that holds none of the header, it asks
    // us for the whole header at once. So a stream that ended cleanly is
    // one request for a whole header, answered with end of file. Any other
    // pattern means part of a header was there: more requests after a
    // partial answer, or a first request for less than a header (or for a
    // buffer refill) because the rest already sat in libcups's buffer.
    const std::string page = "page " + std::to_string(pageNumber);
    if (readErrno_ != 0) throw PageError(page + ": cannot read the raster stream: " + std::strerror(readErrno_));
    if (endInHeader_ && headerRequests_ == 1 && firstHeaderRequest_ == headerSize()) return false;
    if (endInHeader_) throw PageError(page + ": the raster stream ends inside the page header");
    throw PageError(page + ": the page header is damaged");
}

}  // namespace huecl::pages

// A CUPS raster stream read from a file descriptor through libcups, with
// the bytes fed to libcups by our own read callback so that the end of the
// stream can be judged: a stream that ends right after a page is finished,
// one that ends inside the next page's header is cut.
#pragma once

#include <cups/raster.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <sys/types.h>

namespace huecl::pages {

class RasterStream {
public:
    // Reads the sync word; throws PageError when the input is not a CUPS
    // raster stream. The descriptor stays the caller's. A read interrupted
    // by a signal is tried again; given cancelled, reads wait in short
    // polls that ask it, and fail with EINTR once it answers true, so that a
    // job cancelled while its filter waits for the renderer stops at once.
    explicit RasterStream(int fd, std::function<bool()> cancelled = {});
    ~RasterStream();
    RasterStream(const RasterStream&) = delete;
    RasterStream& operator=(const RasterStream&) = delete;

    cups_raster_t* raster() const { return raster_; }

    // Reads the header of page pageNumber. Returns false when the stream
    // ends cleanly before it; throws PageError when the stream ends inside
    // the header, when libcups refuses a whole header, and on a read error.
    bool readHeader(cups_page_header2_t& header, std::uint32_t pageNumber);

    // Bytes handed to libcups so far.
    std::uint64_t bytesRead() const { return bytesRead_; }
    // The errno of a read that failed, else 0. libcups reports a failed
    // read of pixels as a short one; this tells the two apart.
    int readError() const { return readErrno_; }

private:
    static ssize_t readCallback(void* context, unsigned char* buffer, size_t length);
    size_t headerSize() const;

    int fd_;
    std::function<bool()> cancelled_;
    cups_raster_t* raster_ = nullptr;
    std::uint64_t bytesRead_ = 0;
    unsigned char syncBytes_[4]{};
    int readErrno_ = 0;  // of the last failed read
    // What libcups asked for while reading the current header.
    std::uint32_t headerRequests_ = 0;
    size_t firstHeaderRequest_ = 0;
    bool endInHeader_ = false;  // a request answered with end of file
    bool readingHeader_ = false;
};

}  // namespace huecl::pages

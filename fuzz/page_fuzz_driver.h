// What the page-library fuzz targets share: the input as a file the page
// library opens by name (an anonymous file in memory, seekable as a file on
// disk, so that every reader takes its usual road), and a bound on what a
// page may claim so that a run stays within the fuzzer's memory and time.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "pages/readers/image_source.h"

namespace page_fuzz {

inline void require(bool condition) {
    if (!condition) std::abort();
}

class MemoryFile {
public:
    MemoryFile(const std::uint8_t* data, std::size_t size) : fd_(memfd_create("fuzz-input", 0)) {
        require(fd_ >= 0);
        for (std::size_t written = 0; written < size;) {
            const ssize_t count = ::write(fd_, data + written, size - written);
            require(count > 0);
            written += static_cast<std::size_t>(count);
        }
        require(::lseek(fd_, 0, SEEK_SET) == 0);
    }
    ~MemoryFile() { ::close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    int fd() const { return fd_; }
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};

// Far below the tool's defaults: the fuzzer looks for faults, not for the
// largest page that fits.
inline huecl::pages::ImageLimits fuzzLimits() { return {std::uint64_t{1} << 20, std::uint64_t{64} << 20}; }

// Reads every row of an opened image, a few rows at a time as the band loop
// does, and checks what the reader said of itself.
inline void readWholeImage(huecl::pages::ImageSource& image) {
    const std::uint64_t pixels = std::uint64_t{image.width()} * image.height();
    require(pixels <= fuzzLimits().pixels);
    const std::size_t pixelBytes = image.pixels() == huecl::pages::SourcePixels::cmyk ? 4 : 3;
    const std::size_t rowBytes = std::size_t{image.width()} * pixelBytes;
    std::vector<std::uint8_t> rows;
    for (std::uint32_t row = 0; row < image.height();) {
        const std::uint32_t band = std::min<std::uint32_t>(7, image.height() - row);
        rows.assign(rowBytes * band, 0);
        image.readRows(rows);
        row += band;
    }
    (void)image.description();
}

}  // namespace page_fuzz

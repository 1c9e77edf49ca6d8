// LZS through the library's resumable calls: whole plane bands for the page
// pipeline, and file-to-file streaming with small buffers for `huecl lzs`.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace huecl::tool {

// A caller-owned compression history, prepared for a new stream.
class CompressionHistory {
public:
    CompressionHistory();
    void reset();
    void *data() { return bytes_.data(); }

private:
    std::vector<uint8_t> bytes_;
};

class DecompressionHistory {
public:
    DecompressionHistory();
    void reset();
    void *data() { return bytes_.data(); }

private:
    std::vector<uint8_t> bytes_;
};

// One closed stream of the whole block, from a fresh history.
void compressBlock(std::span<const uint8_t> block, uint32_t budget, CompressionHistory &history,
                   std::vector<uint8_t> &stream);

// Decodes one closed stream that must yield exactly out.size() bytes.
// Throws ToolError (mentioning what) if it yields more, fewer or no end.
void decompressBlock(std::span<const uint8_t> stream, std::span<uint8_t> out, DecompressionHistory &history,
                     const std::string &what);

struct StreamTotals {
    uint64_t bytesIn = 0;
    uint64_t bytesOut = 0;
};

// Feed files through in pieces of bufferBytes on both sides, as a driver
// with small buffers would. write receives each finished piece of output.
StreamTotals compressFile(std::FILE *in, const std::string &inName, uint32_t bufferBytes, uint32_t budget,
                          const std::function<void(std::span<const uint8_t>)> &write);
StreamTotals decompressFile(std::FILE *in, const std::string &inName, uint32_t bufferBytes,
                            const std::function<void(std::span<const uint8_t>)> &write);

} // namespace huecl::tool

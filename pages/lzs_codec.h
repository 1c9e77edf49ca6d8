// LZS through the library's resumable calls: whole plane bands for the page
// pipeline, and file-to-file streaming with small buffers for `huecl lzs`.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace huecl::pages {

// A caller-owned compression history, prepared for a new stream.
class CompressionHistory {
public:
    CompressionHistory();
    void reset();
    void* data() { return bytes_.data(); }

private:
    std::vector<std::uint8_t> bytes_;
};

class DecompressionHistory {
public:
    DecompressionHistory();
    void reset();
    void* data() { return bytes_.data(); }

private:
    std::vector<std::uint8_t> bytes_;
};

// One closed stream of the whole block, from a fresh history.
void compressBlock(std::span<const std::uint8_t> block, std::uint32_t budget, CompressionHistory& history,
                   std::vector<std::uint8_t>& stream);

// The same stream, written to the front of room, which only ever grows (so
// that a buffer kept from band to band is neither shrunk nor zeroed again);
// returns the stream's length.
size_t compressBlockInto(std::span<const std::uint8_t> block, std::uint32_t budget, CompressionHistory& history,
                         std::vector<std::uint8_t>& room);

// Decodes one closed stream that must yield exactly out.size() bytes.
// Throws PageError (mentioning what) if it yields more, fewer or no end.
void decompressBlock(std::span<const std::uint8_t> stream, std::span<std::uint8_t> out, DecompressionHistory& history,
                     const std::string& what);

struct StreamTotals {
    std::uint64_t bytesIn = 0;
    std::uint64_t bytesOut = 0;
};

// A framed .lzs file wraps one LZS stream so that damage shows:
//
//   magic    0x89 'L' 'Z' 'S'
//   flags    one byte; bit 0: a trailer follows the stream (set by every
//            writer so far). A reader refuses any other bit, so that a
//            later addition is not misread.
//   stream   one closed LZS stream from a fresh history
//   trailer  the CRC-32 of the original content (32 bits) and its length in
//            bytes (64 bits), both little-endian
//
// Length and CRC come last so that a stream of unknown length (a pipe) is
// written in one pass with bounded memory. A raw file is the stream alone.
inline constexpr std::uint8_t lzsFrameMagic[4] = {0x89, 'L', 'Z', 'S'};
inline constexpr std::uint8_t lzsFrameHasTrailer = 1;

struct LzsFileOptions {
    std::uint32_t bufferBytes = 1024;
    std::uint32_t budget = 8;
    bool framed = true;
    // Called after each piece of input with the input bytes read so far.
    std::function<void(std::uint64_t)> onInput;
};

// Feed files through in pieces of bufferBytes on both sides, as a driver
// with small buffers would. write receives each finished piece of output.
StreamTotals compressFile(std::FILE* in, const std::string& inName, const LzsFileOptions& options,
                          const std::function<void(std::span<const std::uint8_t>)>& write);
// Throws PageError naming inName if the file is no LZS file, is truncated,
// or fails the frame's checks. A raw file may hold several streams.
StreamTotals decompressFile(std::FILE* in, const std::string& inName, const LzsFileOptions& options,
                            const std::function<void(std::span<const std::uint8_t>)>& write);

}  // namespace huecl::pages

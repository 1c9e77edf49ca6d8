// LZS through the library's resumable calls: whole plane bands for the page
// pipeline, and file-to-file streaming with small buffers for `huecl lzs`.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace huecl::lzs {
struct OptimalWorkspace;
}

namespace huecl::pages {

// The two LZS encoders. Exact: LZS_Compress, whose streams its match search
// and budget fix byte for byte (the default everywhere). Best: the
// optimal-parse encoder, which chooses every token by its bits and writes
// smaller streams of the same format, read alike by any decoder, at a
// fraction of the exact compressor's speed.
enum class LzsEncoder : std::uint8_t { exact, best };

// The encoder of a name as the front ends spell it ("exact", "best").
std::optional<LzsEncoder> lzsEncoderNamed(std::string_view name);
const char* lzsEncoderName(LzsEncoder encoder);

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

// Working memory of the optimal-parse encoder (about 1 MB), taken on
// first use and kept for the blocks after it.
class OptimalEncoder {
public:
    OptimalEncoder();
    ~OptimalEncoder();
    OptimalEncoder(OptimalEncoder&&) noexcept;
    OptimalEncoder& operator=(OptimalEncoder&&) noexcept;

    // One closed stream of the whole block (at most 2^31 bytes).
    void compress(std::span<const std::uint8_t> block, std::vector<std::uint8_t>& stream);

private:
    std::unique_ptr<lzs::OptimalWorkspace> work_;
};

// Compresses plane bands with one encoder, each band one closed stream from
// a fresh history. Best also runs the exact compressor on the band and
// keeps the smaller stream, so that it never costs bytes and knows what it
// saved.
class BandCompressor {
public:
    explicit BandCompressor(LzsEncoder encoder = LzsEncoder::exact, std::uint32_t budget = 8);

    // Returns the bytes saved against the exact compressor's stream (0 for
    // the exact encoder itself).
    std::uint64_t compress(std::span<const std::uint8_t> block, std::vector<std::uint8_t>& stream);

private:
    LzsEncoder encoder_;
    std::uint32_t budget_;
    CompressionHistory history_;
    OptimalEncoder optimal_;
    std::vector<std::uint8_t> room_;  // the exact stream, in room kept from band to band
};

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
    // The optimal-parse encoder parses the file as one block: it holds the
    // whole input (at most 2^31 bytes) in memory, and writes when it ends.
    LzsEncoder encoder = LzsEncoder::exact;
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

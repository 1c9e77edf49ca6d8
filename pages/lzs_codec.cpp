// Plane bands through LZS_Compress or the optimal-parse encoder, and the
// framed file streams of `huecl lzs`, with their CRCs.
#include "pages/lzs_codec.h"

#include "pages/page_error.h"

#include "lzs/lzs_optimal.h"

#include <huecl32.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace huecl::pages {
namespace {

// The decompressor trusts its input: a bad offset reads up to 2047 bytes
// before the output. Decoding behind this much slack keeps such reads inside
// our own buffer; the container's checksums keep them from happening at all.
constexpr size_t slackBeforeOutput = HUECL_LZS_MAX_OFFSET + 1;
// Room past the expected end, so that an over-long stream shows as too long
// instead of stopping at an exactly full buffer.
constexpr size_t slackAfterOutput = 64;

}  // namespace

CompressionHistory::CompressionHistory() : bytes_(LZS_SizeOfCompressionHistory()) { reset(); }
void CompressionHistory::reset() { LZS_InitCompressionHistory(bytes_.data()); }

DecompressionHistory::DecompressionHistory() : bytes_(LZS_SizeOfDecompressionHistory()) { reset(); }
void DecompressionHistory::reset() { LZS_InitDecompressionHistory(bytes_.data()); }

size_t compressBlockInto(std::span<const std::uint8_t> block, std::uint32_t budget, CompressionHistory& history,
                         std::vector<std::uint8_t>& room) {
    history.reset();
    // Nine bits per literal is the worst case; the end marker adds two bytes.
    const size_t worstCase = block.size() + block.size() / 8 + 16;
    if (room.size() < worstCase) room.resize(worstCase);
    auto* source = const_cast<std::uint8_t*>(block.data());  // the library only reads it
    auto* destination = room.data();
    auto sourceCount = static_cast<std::uint32_t>(block.size());
    auto destinationCount = static_cast<std::uint32_t>(room.size());
    for (;;) {
        const std::uint32_t result = LZS_Compress(&source, &destination, &sourceCount, &destinationCount,
                                                  history.data(), LZS_FLAG_CLOSE_AT_END, budget);
        if (result == 0) throw PageError("LZS compression refused its arguments");
        if (result & LZS_RESULT_STREAM_END) return static_cast<size_t>(destination - room.data());
        // Only a full output ends a call without the end marker; grow and go on.
        const size_t used = room.size();
        room.resize(used * 2);
        destination = room.data() + used;
        destinationCount = static_cast<std::uint32_t>(room.size() - used);
    }
}

void compressBlock(std::span<const std::uint8_t> block, std::uint32_t budget, CompressionHistory& history,
                   std::vector<std::uint8_t>& stream) {
    stream.resize(compressBlockInto(block, budget, history, stream));
}

std::optional<LzsEncoder> lzsEncoderNamed(std::string_view name) {
    if (name == "exact") return LzsEncoder::exact;
    if (name == "best") return LzsEncoder::best;
    return std::nullopt;
}

const char* lzsEncoderName(LzsEncoder encoder) { return encoder == LzsEncoder::best ? "best" : "exact"; }

OptimalEncoder::OptimalEncoder() = default;
OptimalEncoder::~OptimalEncoder() = default;
OptimalEncoder::OptimalEncoder(OptimalEncoder&&) noexcept = default;
OptimalEncoder& OptimalEncoder::operator=(OptimalEncoder&&) noexcept = default;

void OptimalEncoder::compress(std::span<const std::uint8_t> block, std::vector<std::uint8_t>& stream) {
    if (block.size() > (size_t{1} << 31)) throw PageError("the optimal LZS encoder takes at most 2 GiB at once");
    if (!work_) work_ = std::make_unique<lzs::OptimalWorkspace>();
    stream.resize(lzs::optimalBound(block.size()));
    const size_t size = lzs::compressOptimal(block, stream, *work_);
    if (size == 0) throw PageError("LZS compression had no room for its stream");
    stream.resize(size);
}

BandCompressor::BandCompressor(LzsEncoder encoder, std::uint32_t budget) : encoder_(encoder), budget_(budget) {}

std::uint64_t BandCompressor::compress(std::span<const std::uint8_t> block, std::vector<std::uint8_t>& stream) {
    const size_t exactSize = compressBlockInto(block, budget_, history_, room_);
    if (encoder_ == LzsEncoder::best) {
        optimal_.compress(block, stream);
        if (stream.size() <= exactSize) return exactSize - stream.size();
    }
    stream.assign(room_.begin(), room_.begin() + static_cast<std::ptrdiff_t>(exactSize));
    return 0;
}

void decompressBlock(std::span<const std::uint8_t> stream, std::span<std::uint8_t> out, DecompressionHistory& history,
                     const std::string& what) {
    history.reset();
    std::vector<std::uint8_t> buffer(slackBeforeOutput + out.size() + slackAfterOutput);
    std::uint8_t* const start = buffer.data() + slackBeforeOutput;
    auto* source = const_cast<std::uint8_t*>(stream.data());
    auto* destination = start;
    auto sourceCount = static_cast<std::uint32_t>(stream.size());
    auto destinationCount = static_cast<std::uint32_t>(out.size() + slackAfterOutput);
    std::uint32_t result = LZS_Decompress(&source, &destination, &sourceCount, &destinationCount, history.data(), 0);
    // The last bits of a stream can wait in the history's carry; a call with
    // an empty source decodes them.
    for (int extraCall = 0; extraCall < 2 && result == LZS_RESULT_SOURCE_EMPTY; ++extraCall) {
        sourceCount = 0;
        result = LZS_Decompress(&source, &destination, &sourceCount, &destinationCount, history.data(), 0);
    }
    if ((result & LZS_RESULT_STREAM_END) == 0) throw PageError(what + ": LZS stream does not end with its band");
    const auto produced = static_cast<size_t>(destination - start);
    if (produced != out.size())
        throw PageError(what + ": LZS stream decodes to " + std::to_string(produced) + " bytes, not " +
                        std::to_string(out.size()));
    std::copy_n(start, out.size(), out.data());
}

namespace {

std::uint32_t updateCrc(std::uint32_t crc, std::span<const std::uint8_t> bytes) {
    // zlib takes 32-bit lengths; the pieces are at most 16 MiB.
    return static_cast<std::uint32_t>(crc32(crc, bytes.data(), static_cast<uInt>(bytes.size())));
}

std::array<std::uint8_t, 12> frameTrailer(std::uint32_t crc, std::uint64_t length) {
    std::array<std::uint8_t, 12> trailer{};
    for (size_t i = 0; i < 4; ++i) trailer[i] = static_cast<std::uint8_t>(crc >> (8 * i));
    for (size_t i = 0; i < 8; ++i) trailer[4 + i] = static_cast<std::uint8_t>(length >> (8 * i));
    return trailer;
}

size_t readPiece(std::FILE* in, const std::string& inName, std::span<std::uint8_t> piece) {
    const size_t got = std::fread(piece.data(), 1, piece.size(), in);
    if (std::ferror(in)) throw PageError("cannot read " + inName + ": " + std::strerror(errno));
    return got;
}

}  // namespace

namespace {

// The whole input as one block through the optimal-parse encoder, written in
// pieces of bufferBytes.
StreamTotals compressFileBest(std::FILE* in, const std::string& inName, const LzsFileOptions& options,
                              const std::function<void(std::span<const std::uint8_t>)>& write) {
    constexpr size_t largestBlock = size_t{1} << 31;
    std::vector<std::uint8_t> block;
    StreamTotals totals;
    for (;;) {
        const size_t used = block.size();
        const size_t piece = std::max<size_t>(options.bufferBytes, std::min<size_t>(used, size_t{1} << 24));
        block.resize(used + piece);
        const size_t got = readPiece(in, inName, std::span(block).subspan(used));
        block.resize(used + got);
        if (block.size() > largestBlock)
            throw PageError(inName + ": the best LZS encoder takes files of at most 2 GiB");
        totals.bytesIn = block.size();
        if (options.onInput && got != 0) options.onInput(totals.bytesIn);
        if (got == 0) break;
    }
    std::vector<std::uint8_t> stream;
    OptimalEncoder encoder;
    encoder.compress(block, stream);
    auto put = [&](std::span<const std::uint8_t> bytes) {
        for (size_t at = 0; at < bytes.size(); at += options.bufferBytes)
            write(bytes.subspan(at, std::min<size_t>(options.bufferBytes, bytes.size() - at)));
        totals.bytesOut += bytes.size();
    };
    if (options.framed) {
        const std::uint8_t header[5] = {lzsFrameMagic[0], lzsFrameMagic[1], lzsFrameMagic[2], lzsFrameMagic[3],
                                        lzsFrameHasTrailer};
        put(header);
    }
    put(stream);
    if (options.framed) put(frameTrailer(updateCrc(updateCrc(0, {}), block), block.size()));
    return totals;
}

}  // namespace

StreamTotals compressFile(std::FILE* in, const std::string& inName, const LzsFileOptions& options,
                          const std::function<void(std::span<const std::uint8_t>)>& write) {
    if (options.encoder == LzsEncoder::best) return compressFileBest(in, inName, options, write);
    const std::uint32_t bufferBytes = options.bufferBytes;
    CompressionHistory history;
    std::vector<std::uint8_t> input(bufferBytes), lookahead(bufferBytes), output(bufferBytes);
    StreamTotals totals;
    std::uint32_t crc = updateCrc(0, {});
    if (options.framed) {
        const std::uint8_t header[5] = {lzsFrameMagic[0], lzsFrameMagic[1], lzsFrameMagic[2], lzsFrameMagic[3],
                                        lzsFrameHasTrailer};
        write(header);
        totals.bytesOut += sizeof header;
    }
    size_t inputBytes = readPiece(in, inName, input);
    std::uint8_t* destination = output.data();
    std::uint32_t destinationCount = bufferBytes;
    for (;;) {
        // Reading one piece ahead tells us which piece closes the stream.
        const size_t lookaheadBytes = inputBytes == input.size() ? readPiece(in, inName, lookahead) : 0;
        const bool last = lookaheadBytes == 0;
        totals.bytesIn += inputBytes;
        crc = updateCrc(crc, std::span(input).first(inputBytes));
        if (options.onInput) options.onInput(totals.bytesIn);
        std::uint8_t* source = input.data();
        auto sourceCount = static_cast<std::uint32_t>(inputBytes);
        const std::uint32_t flags = last ? LZS_FLAG_CLOSE_AT_END : 0;
        for (;;) {
            const std::uint32_t result = LZS_Compress(&source, &destination, &sourceCount, &destinationCount,
                                                      history.data(), flags, options.budget);
            if (result == 0) throw PageError("LZS compression refused its arguments");
            // The destination pair comes back only with a full buffer or the
            // end; until then the library keeps the true position itself.
            if (result & (LZS_RESULT_DEST_FULL | LZS_RESULT_STREAM_END)) {
                const auto produced = static_cast<size_t>(destination - output.data());
                write(std::span(output.data(), produced));
                totals.bytesOut += produced;
                destination = output.data();
                destinationCount = bufferBytes;
            }
            if (result & LZS_RESULT_STREAM_END) {
                if (options.framed) {
                    const auto trailer = frameTrailer(crc, totals.bytesIn);
                    write(trailer);
                    totals.bytesOut += trailer.size();
                }
                return totals;
            }
            if (result & LZS_RESULT_SOURCE_EMPTY) break;
        }
        std::swap(input, lookahead);
        inputBytes = lookaheadBytes;
    }
}

StreamTotals decompressFile(std::FILE* in, const std::string& inName, const LzsFileOptions& options,
                            const std::function<void(std::span<const std::uint8_t>)>& write) {
    const std::uint32_t bufferBytes = options.bufferBytes;
    DecompressionHistory history;
    // Slack before the output keeps the reads of a damaged stream's bad
    // offsets inside our own memory; the frame's CRC then refuses the result.
    std::vector<std::uint8_t> input(bufferBytes), outputBuffer(slackBeforeOutput + bufferBytes);
    std::uint8_t* const output = outputBuffer.data() + slackBeforeOutput;
    StreamTotals totals;
    std::uint32_t crc = updateCrc(0, {});
    if (options.framed) {
        std::uint8_t header[5] = {};
        const size_t got = readPiece(in, inName, header);
        totals.bytesIn += got;
        if (got < sizeof header || !std::equal(std::begin(lzsFrameMagic), std::end(lzsFrameMagic), header))
            throw PageError(inName + ": not an LZS file");
        if (header[4] != lzsFrameHasTrailer)
            throw PageError(inName + ": unsupported LZS file (flags " + std::to_string(header[4]) + ")");
    }
    std::vector<std::uint8_t> trailer;  // the bytes after a framed stream
    std::uint8_t* destination = output;
    std::uint32_t destinationCount = bufferBytes;
    bool ended = false;
    int emptyCallsLeft = 2;
    for (;;) {
        const size_t got = readPiece(in, inName, input);
        if (options.framed && ended) {
            // Everything after the stream is the trailer; one byte more than
            // it needs is enough to see that something follows it.
            trailer.insert(trailer.end(), input.begin(), input.begin() + static_cast<std::ptrdiff_t>(got));
            totals.bytesIn += got;
            if (got == 0 || trailer.size() > 12) break;
            continue;
        }
        // At the end of the file, the last bits of a stream may still wait in
        // the history's carry; calls with an empty source decode them.
        if (got == 0 && (ended || emptyCallsLeft-- == 0)) break;
        totals.bytesIn += got;
        if (options.onInput) options.onInput(totals.bytesIn);
        std::uint8_t* source = input.data();
        auto sourceCount = static_cast<std::uint32_t>(got);
        for (;;) {
            ended = false;
            const std::uint32_t result =
                LZS_Decompress(&source, &destination, &sourceCount, &destinationCount, history.data(), 0);
            if (result == 0) throw PageError(inName + ": corrupt LZS stream");
            if (result & (LZS_RESULT_DEST_FULL | LZS_RESULT_STREAM_END)) {
                const auto produced = static_cast<size_t>(destination - output);
                write(std::span(output, produced));
                crc = updateCrc(crc, std::span(output, produced));
                totals.bytesOut += produced;
                destination = output;
                destinationCount = bufferBytes;
            }
            ended = (result & LZS_RESULT_STREAM_END) != 0;
            if (ended && options.framed) {
                trailer.assign(source, source + sourceCount);
                break;
            }
            // A raw file may hold another stream; the source count tells.
            // With output full and the source used up, pending bytes wait in
            // the history, so call again.
            const bool moreOutput = (result & LZS_RESULT_DEST_FULL) && !ended;
            if (!moreOutput && ((result & LZS_RESULT_SOURCE_EMPTY) || (ended && sourceCount == 0))) break;
        }
    }
    if (!ended) throw PageError(inName + ": truncated LZS stream (no end marker)");
    if (options.framed) {
        if (trailer.size() < 12) throw PageError(inName + ": truncated LZS file (in the trailer)");
        if (trailer.size() > 12) throw PageError(inName + ": corrupt LZS file (data after the trailer)");
        const auto expected = frameTrailer(crc, totals.bytesOut);
        if (!std::equal(expected.begin() + 4, expected.end(), trailer.begin() + 4))
            throw PageError(inName + ": corrupt LZS file (content length differs from the trailer's)");
        if (!std::equal(expected.begin(), expected.begin() + 4, trailer.begin()))
            throw PageError(inName + ": corrupt LZS file (CRC-32 mismatch)");
    }
    return totals;
}

}  // namespace huecl::pages

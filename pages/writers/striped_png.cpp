// The striped PNG: stripes deflated apart, joined into one zlib stream.
#include "pages/writers/striped_png.h"

#include "pages/page_error.h"

#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace huecl::pages {
namespace {

void putBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

}  // namespace

// Stripes are deflated by ISA-L's igzip at its level 2: about six times as
// fast as zlib's level 1 on a proof, whose files come out within a few
// per cent of the same size. igzip picks its code by the processor, so two
// machines may deflate the same pixels into different bytes; the file does
// not depend on the threads. zlib combines the stripes' Adler-32s.
struct StripeDeflater::Stream {
    static constexpr std::uint32_t level = 2;
    isal_zstream z{};
    std::vector<std::uint8_t> levelBuffer = std::vector<std::uint8_t>(ISAL_DEF_LVL2_DEFAULT);
};

StripeDeflater::StripeDeflater() : stream_(std::make_unique<Stream>()) {}

StripeDeflater::~StripeDeflater() = default;

DeflatedStripe StripeDeflater::deflate(std::span<const std::uint8_t> rows, bool last) {
    DeflatedStripe stripe;
    stripe.rawBytes = rows.size();
    stripe.last = last;
    stripe.adler = isal_adler32(1, rows.data(), rows.size());
    isal_zstream& stream = stream_->z;
    // Each stripe starts afresh: nothing in it refers back into the last.
    // Raw deflate: the zlib header and trailer belong to the whole file.
    isal_deflate_init(&stream);
    stream.level = Stream::level;
    stream.level_buf = stream_->levelBuffer.data();
    stream.level_buf_size = static_cast<std::uint32_t>(stream_->levelBuffer.size());
    stream.gzip_flag = IGZIP_DEFLATE;
    stream.flush = SYNC_FLUSH;
    stream.end_of_stream = last ? 1 : 0;
    stream.next_in = const_cast<std::uint8_t*>(rows.data());  // igzip does not write through it
    stream.avail_in = static_cast<std::uint32_t>(rows.size());
    // Room for rows that do not shrink, kept as stored blocks; grown should
    // the stream need more.
    stripe.bytes.resize(rows.size() + rows.size() / 16 + 1024);
    for (;;) {
        stream.next_out = stripe.bytes.data() + stream.total_out;
        stream.avail_out = static_cast<std::uint32_t>(stripe.bytes.size() - stream.total_out);
        if (isal_deflate(&stream) != COMP_OK) throw std::logic_error("igzip refused a stripe of the preview");
        const bool done =
            stream.avail_in == 0 && stream.avail_out != 0 && (!last || stream.internal_state.state == ZSTATE_END);
        if (done) break;
        stripe.bytes.resize(stripe.bytes.size() * 2);
    }
    stripe.bytes.resize(stream.total_out);
    return stripe;
}

DeflatedStripe deflateStripe(std::span<const std::uint8_t> rows, bool last) {
    StripeDeflater deflater;
    return deflater.deflate(rows, last);
}

StripedPngWriter::StripedPngWriter(std::FILE* file, std::string name, std::uint32_t width, std::uint32_t height)
    : file_(file), name_(std::move(name)) {
    static constexpr std::array<std::uint8_t, 8> signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (std::fwrite(signature.data(), 1, signature.size(), file_) != signature.size())
        throw PageError("cannot write PNG " + name_ + ": " + std::strerror(errno));
    std::vector<std::uint8_t> header;
    putBigEndian(header, width);
    putBigEndian(header, height);
    // 8 bits per sample, RGB, deflate, adaptive filtering (each row's own
    // filter byte; ours are all 0), not interlaced.
    header.insert(header.end(), {8, 2, 0, 0, 0});
    writeChunk("IHDR", header);
}

void StripedPngWriter::writeStripe(const DeflatedStripe& stripe) {
    const bool last = stripe.last;
    if (finished_) throw std::logic_error("PNG stripe after the last one");
    std::vector<std::uint8_t> data;
    data.reserve(stripe.bytes.size() + 6);
    if (first_) data.insert(data.end(), {0x78, 0x01});  // deflate, 32 KiB window, fastest
    data.insert(data.end(), stripe.bytes.begin(), stripe.bytes.end());
    adler_ =
        first_
            ? stripe.adler
            : static_cast<std::uint32_t>(adler32_combine(adler_, stripe.adler, static_cast<z_off_t>(stripe.rawBytes)));
    first_ = false;
    if (last) putBigEndian(data, adler_);
    writeChunk("IDAT", data);
    if (last) {
        writeChunk("IEND", {});
        finished_ = true;
    }
}

void StripedPngWriter::writeChunk(const char* type, std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> chunk;
    chunk.reserve(data.size() + 12);
    putBigEndian(chunk, static_cast<std::uint32_t>(data.size()));
    chunk.insert(chunk.end(), type, type + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    putBigEndian(chunk, static_cast<std::uint32_t>(crc32_z(crc32(0, nullptr, 0), chunk.data() + 4, chunk.size() - 4)));
    if (std::fwrite(chunk.data(), 1, chunk.size(), file_) != chunk.size())
        throw PageError("cannot write PNG " + name_ + ": " + std::strerror(errno));
}

}  // namespace huecl::pages

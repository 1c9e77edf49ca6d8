// The striped PNG: stripes deflated apart, joined into one zlib stream.
#include "pages/writers/striped_png.h"

#include "pages/page_error.h"

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

struct StripeDeflater::Stream {
    z_stream z{};
};

StripeDeflater::StripeDeflater() : stream_(std::make_unique<Stream>()) {
    // Raw deflate: the zlib header and trailer belong to the whole file.
    if (deflateInit2(&stream_->z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw PageError("out of memory for the preview's compressor");
}

StripeDeflater::~StripeDeflater() { deflateEnd(&stream_->z); }

DeflatedStripe StripeDeflater::deflate(std::span<const std::uint8_t> rows, bool last) {
    DeflatedStripe stripe;
    stripe.rawBytes = rows.size();
    stripe.last = last;
    stripe.adler = static_cast<std::uint32_t>(adler32_z(adler32(0, nullptr, 0), rows.data(), rows.size()));
    z_stream& stream = stream_->z;
    // Each stripe starts afresh: nothing in it refers back into the last.
    if (deflateReset(&stream) != Z_OK) throw std::logic_error("the preview's compressor cannot be reset");
    stripe.bytes.resize(deflateBound(&stream, rows.size()) + 16);
    stream.next_in = const_cast<Bytef*>(rows.data());  // zlib does not write through it
    stream.avail_in = static_cast<uInt>(rows.size());
    int status = Z_OK;
    do {
        if (stream.total_out == stripe.bytes.size()) stripe.bytes.resize(stripe.bytes.size() * 2);
        stream.next_out = stripe.bytes.data() + stream.total_out;
        stream.avail_out = static_cast<uInt>(stripe.bytes.size() - stream.total_out);
        status = ::deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
    } while ((status == Z_OK || status == Z_BUF_ERROR) && (last || stream.avail_out == 0));
    stripe.bytes.resize(stream.total_out);
    if (status != (last ? Z_STREAM_END : Z_OK)) throw std::logic_error("deflate did not take a whole stripe");
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

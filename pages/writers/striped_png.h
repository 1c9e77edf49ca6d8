// An 8-bit RGB PNG whose rows are deflated a stripe at a time, each stripe
// on its own (nothing in it refers back into the stripe before), so that
// stripes can be deflated on several threads and still be written in order
// as one zlib stream: every stripe but the last ends on a byte boundary (a
// sync flush), the last one ends the stream, and the Adler-32 of the whole
// is combined from the stripes'. Each stripe goes out as one IDAT chunk. The
// file does not depend on how many threads deflated it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace huecl::pages {

struct DeflatedStripe {
    std::vector<std::uint8_t> bytes;
    std::uint32_t adler = 1;  // of the raw rows
    std::uint64_t rawBytes = 0;
    bool last = false;  // ends the stream
};

// Deflates stripes one after another with one compressor, reset between
// them: its window and tables, a few hundred kilobytes, are set up once
// rather than freshly allocated, and faulted in, for every stripe.
class StripeDeflater {
public:
    StripeDeflater();
    ~StripeDeflater();
    StripeDeflater(const StripeDeflater&) = delete;
    StripeDeflater& operator=(const StripeDeflater&) = delete;

    // rows: each row as PNG stores it, its filter byte and its samples.
    // A fast level: a proof of a screened page is noise that slower levels
    // barely shrink.
    DeflatedStripe deflate(std::span<const std::uint8_t> rows, bool last);

private:
    struct Stream;
    std::unique_ptr<Stream> stream_;
};

// One stripe through a deflater of its own.
DeflatedStripe deflateStripe(std::span<const std::uint8_t> rows, bool last);

class StripedPngWriter {
public:
    // Writes the signature and the image header.
    StripedPngWriter(std::FILE* file, std::string name, std::uint32_t width, std::uint32_t height);
    // Stripes in row order; the last one completes the file.
    void writeStripe(const DeflatedStripe& stripe);

private:
    void writeChunk(const char* type, std::span<const std::uint8_t> data);
    std::FILE* file_;
    std::string name_;
    bool first_ = true, finished_ = false;
    std::uint32_t adler_ = 1;
};

}  // namespace huecl::pages

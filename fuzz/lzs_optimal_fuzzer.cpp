// Compresses fuzzer-chosen bytes with the optimal-parse encoder, then
// decodes the stream through LZS_Decompress in fuzzer-chosen pieces of
// source and room and through the tests' plain reader: the bytes must come
// back exactly, the stream must end with its last byte and stay within the
// bound.
//
// Input: bytes 0-3 seed the splits, byte 4 how many times the payload is
// repeated (1-4, so that long and far matches come up often), the rest is
// the payload.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "lzs/lzs_optimal.h"
#include "lzs_fuzz_driver.h"
#include "tests/support/lzs_compress_test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lzs_fuzz;
    if (size < 5) return 0;
    const std::uint32_t seed = static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
                               static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
    const std::size_t copies = 1 + data[4] % 4;
    Bytes block;
    for (std::size_t copy = 0; copy < copies; ++copy) block.insert(block.end(), data + 5, data + size);

    static const std::unique_ptr<huecl::lzs::OptimalWorkspace> work = std::make_unique<huecl::lzs::OptimalWorkspace>();
    // The output in a heap block of exactly the bound, so that the address
    // sanitizer sees any write past it.
    const std::size_t bound = huecl::lzs::optimalBound(block.size());
    std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[bound]);
    const std::size_t written = huecl::lzs::compressOptimal(block, {out.get(), bound}, *work);
    require(written != 0 && written <= bound);
    // One byte short of the bound is refused, whatever the block.
    require(huecl::lzs::compressOptimal(block, {out.get(), bound - 1}, *work) == 0);
    const Bytes stream(out.get(), out.get() + written);

    Splitter splitter(seed);
    const Decoded decoded = decodeAll(stream, &splitter, 0, block.size() + 1);
    require(!decoded.refused);
    require(decoded.output == block);
    // The test side's own reader: one well-formed stream, its end marker in
    // the last byte, zero padding.
    const lzs_test::Decoded read = lzs_test::decodeStream(stream);
    require(read.ok && read.streamBytes == stream.size() && read.paddingIsZero && read.output == block);
    return 0;
}

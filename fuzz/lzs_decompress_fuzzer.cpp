// Decompresses arbitrary bytes at fuzzer-chosen split points. Whatever the
// bytes, nothing outside the caller's buffers may be touched, and decoding
// in pieces must give what one call gives.
//
// Input: byte 0 picks the flags (bit 0: keep history across end markers),
// bytes 1-4 seed the split points, the rest is the stream.
#include <cstddef>
#include <cstdint>

#include "lzs_fuzz_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lzs_fuzz;
    if (size < 5) return 0;
    const std::uint32_t flags = (data[0] & 1) ? LZS_FLAG_KEEP_HISTORY_ACROSS_END : 0;
    const std::uint32_t seed = data[1] | data[2] << 8 | data[3] << 16 | static_cast<std::uint32_t>(data[4]) << 24;
    const Bytes stream(data + 5, data + size);
    constexpr std::size_t kMaxOutput = 1 << 18;

    const Decoded whole = decodeAll(stream, nullptr, flags, kMaxOutput);
    Splitter splitter(seed);
    const Decoded pieces = decodeAll(stream, &splitter, flags, kMaxOutput);
    if (!whole.refused && !pieces.refused) {
        // Output is only seen where it is handed back, so a stream cut short
        // may show more in pieces than whole; the common part must agree.
        const std::size_t common =
            whole.output.size() < pieces.output.size() ? whole.output.size() : pieces.output.size();
        for (std::size_t index = 0; index < common; ++index) require(whole.output[index] == pieces.output[index]);
        if (whole.endedCleanly && pieces.endedCleanly) {
            require(whole.output.size() == pieces.output.size());
        }
    }
    return 0;
}

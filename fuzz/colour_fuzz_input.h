// What the colour fuzz targets share: the input read as the fields of
// records, and caller buffers of exactly the size the header asks for, each
// its own heap block, so that the address sanitizer sees a byte read or
// written past any of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "huecl32.h"

namespace colour_fuzz {

using Bytes = std::vector<std::uint8_t>;

inline void require(bool condition) {
    if (!condition) std::abort();
}

// Fields from the front of the input; past its end every field is 0, so a
// short input still makes a whole record.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint32_t word() {
        std::uint32_t value = 0;
        for (int shift = 0; shift < 32; shift += 8) value |= std::uint32_t{byte()} << shift;
        return value;
    }
    std::int32_t signedWord() { return static_cast<std::int32_t>(word()); }
    // A value in [0, count); 0 for a count of 0.
    std::uint32_t below(std::uint32_t count) { return count == 0 ? 0 : word() % count; }
    bool chance(std::uint32_t inEvery) { return below(inEvery) == 0; }
    std::uint8_t byte() { return next_ < size_ ? data_[next_++] : 0; }

    // count bytes of the input (repeated when it runs short), in a block of
    // exactly that size.
    Bytes bytes(std::size_t count) {
        Bytes block(count);
        const std::size_t left = size_ - next_;
        for (std::size_t index = 0; index < count; ++index)
            block[index] = left == 0 ? static_cast<std::uint8_t>(index * 37) : data_[next_ + index % left];
        return block;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t next_ = 0;
};

// A 256-byte tone table, or none.
inline Bytes optionalTable(FuzzInput& input) { return input.chance(2) ? input.bytes(256) : Bytes(); }

inline std::uint8_t* pointerOrNull(Bytes& bytes) { return bytes.empty() ? nullptr : bytes.data(); }

}  // namespace colour_fuzz

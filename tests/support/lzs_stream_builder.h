// Builds LZS streams token by token, most significant bit first, and keeps
// the bytes they stand for, so decoder tests know every expected byte
// without the compressor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testsupport {

class LzsStreamBuilder {
public:
    using Bytes = std::vector<std::uint8_t>;

    LzsStreamBuilder& literal(std::uint8_t byte) {
        put(0, 1);
        put(byte, 8);
        plain_.push_back(byte);
        return *this;
    }
    // Short form for offsets below 128 unless forceLong. An offset reaching
    // before the known bytes stands for zeros in plain().
    LzsStreamBuilder& match(std::uint32_t offset, std::uint32_t length, bool forceLong = false) {
        if (offset < 128 && !forceLong) {
            put(0b11, 2);
            put(offset, 7);
        } else {
            put(0b10, 2);
            put(offset, 11);
        }
        if (length <= 4) {
            put(length - 2, 2);
        } else if (length <= 7) {
            put(0b1100 + length - 5, 4);
        } else {
            put(0b1111, 4);
            std::uint32_t rest = length - 8;
            for (; rest >= 15; rest -= 15) put(0b1111, 4);
            put(rest, 4);
        }
        for (std::uint32_t index = 0; index < length; ++index) {
            plain_.push_back(offset <= plain_.size() ? plain_[plain_.size() - offset] : 0);
        }
        return *this;
    }
    LzsStreamBuilder& end() {
        put(0b110000000, 9);
        while (bitCount_ % 8 != 0) put(0, 1);
        return *this;
    }
    // Raw bits, for streams no encoder would write.
    LzsStreamBuilder& bits(std::uint32_t value, std::uint32_t count) {
        put(value, count);
        return *this;
    }
    // The stream bytes (mutable, as the decoder takes a non-const source),
    // and what they decode to (after assumeHistory: output()).
    Bytes& stream() { return bytes_; }
    const Bytes& stream() const { return bytes_; }
    const Bytes& plain() const { return plain_; }
    LzsStreamBuilder& assumeHistory(const Bytes& before) {
        plain_ = before;
        prefix_ = before.size();
        return *this;
    }
    Bytes output() const { return Bytes(plain_.begin() + static_cast<std::ptrdiff_t>(prefix_), plain_.end()); }
    std::size_t plainSize() const { return plain_.size(); }

private:
    void put(std::uint32_t value, std::uint32_t count) {
        for (std::uint32_t bit = count; bit-- > 0;) {
            if (bitCount_ % 8 == 0) bytes_.push_back(0);
            if ((value >> bit) & 1) bytes_.back() |= static_cast<std::uint8_t>(0x80 >> (bitCount_ % 8));
            ++bitCount_;
        }
    }
    Bytes bytes_;
    Bytes plain_;
    std::size_t prefix_ = 0;
    std::size_t bitCount_ = 0;
};

}  // namespace testsupport

// Test-side helpers for the compressor: a plain bit reader that decodes
// LZS streams token by token (independent of the library's decoder) and
// call loops over LZS_Compress. The inputs come from support/lzs_inputs.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "huecl32.h"
#include "support/lzs_inputs.h"

namespace lzs_test {

using Bytes = std::vector<std::uint8_t>;
using testsupport::ditheredPlanes;
using testsupport::randomBytes;
using testsupport::textBytes;

inline Bytes repeated(std::uint8_t byte, std::size_t count) { return Bytes(count, byte); }

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct Token {
    bool literal;
    std::uint8_t byte;     // literal
    std::uint32_t offset;  // match
    std::uint32_t length;  // match
    bool shortForm;        // match coded with the 7-bit offset
    bool operator==(const Token&) const = default;
};

inline Token literal(std::uint8_t byte) { return Token{true, byte, 0, 0, false}; }
inline Token match(std::uint32_t offset, std::uint32_t length) { return Token{false, 0, offset, length, offset < 128}; }

struct Decoded {
    bool ok = false;  // a well-formed stream with its end marker
    std::string error;
    Bytes output;  // this stream's bytes only
    std::vector<Token> tokens;
    std::size_t streamBytes = 0;  // bytes up to and including the padding
    bool paddingIsZero = true;
};

class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool read(unsigned count, std::uint32_t& value) {
        value = 0;
        for (unsigned k = 0; k < count; ++k) {
            if (bit_ >= size_ * 8) return false;
            value = (value << 1) | ((data_[bit_ / 8] >> (7 - bit_ % 8)) & 1u);
            ++bit_;
        }
        return true;
    }
    std::size_t bitPosition() const { return bit_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t bit_ = 0;
};

// Decodes one stream from the start of data. history holds earlier output
// that matches may reach (kept history across a close).
inline Decoded decodeStream(const std::uint8_t* data, std::size_t size, const Bytes& history = {}) {
    Decoded result;
    BitReader reader(data, size);
    Bytes window = history;
    const std::size_t start = window.size();
    auto fail = [&](const char* why) {
        result.error = why;
        result.output.assign(window.begin() + static_cast<std::ptrdiff_t>(start), window.end());
        return result;
    };
    for (;;) {
        std::uint32_t flag, value;
        if (!reader.read(1, flag)) return fail("stream ends without end marker");
        if (flag == 0) {
            if (!reader.read(8, value)) return fail("truncated literal");
            window.push_back(static_cast<std::uint8_t>(value));
            result.tokens.push_back(literal(static_cast<std::uint8_t>(value)));
            continue;
        }
        std::uint32_t form;
        if (!reader.read(1, form)) return fail("truncated match");
        std::uint32_t offset;
        if (!reader.read(form ? 7 : 11, offset)) return fail("truncated offset");
        if (form && offset == 0) break;  // end marker
        std::uint32_t code, length;
        if (!reader.read(2, code)) return fail("truncated length");
        if (code < 3) {
            length = code + 2;
        } else {
            if (!reader.read(2, code)) return fail("truncated length");
            if (code < 3) {
                length = 5 + code;
            } else {
                length = 8;
                for (;;) {
                    if (!reader.read(4, code)) return fail("truncated length nibble");
                    length += code;
                    if (code != 15) break;
                }
            }
        }
        if (offset == 0 || offset > window.size()) return fail("offset before the start of the output");
        result.tokens.push_back(Token{false, 0, offset, length, form == 1});
        for (std::uint32_t k = 0; k < length; ++k) window.push_back(window[window.size() - offset]);
    }
    std::uint32_t pad;
    while (reader.bitPosition() % 8 != 0) {
        reader.read(1, pad);
        if (pad != 0) result.paddingIsZero = false;
    }
    result.streamBytes = reader.bitPosition() / 8;
    result.ok = true;
    result.output.assign(window.begin() + static_cast<std::ptrdiff_t>(start), window.end());
    return result;
}

inline Decoded decodeStream(const Bytes& data, const Bytes& history = {}) {
    return decodeStream(data.data(), data.size(), history);
}

// ---- Calling LZS_Compress --------------------------------------------------

struct History {
    History() : bytes(LZS_SizeOfCompressionHistory()) { LZS_InitCompressionHistory(bytes.data()); }
    void* get() { return bytes.data(); }
    std::vector<std::uint8_t> bytes;
};

struct CallOutcome {
    std::uint32_t result;
    Bytes output;
};

// Compresses the whole source in one call into a generous output buffer.
inline CallOutcome compressOnce(const Bytes& source, std::uint32_t flags, std::uint32_t performance,
                                History* history = nullptr) {
    History local;
    History& h = history ? *history : local;
    Bytes input = source;
    Bytes output(source.size() * 9 / 8 + 64);
    std::uint8_t* src = input.data();
    std::uint8_t* dst = output.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(input.size());
    std::uint32_t dstCount = static_cast<std::uint32_t>(output.size());
    const std::uint32_t result = LZS_Compress(&src, &dst, &srcCount, &dstCount, h.get(), flags, performance);
    output.resize(output.size() - dstCount);
    if ((result & LZS_RESULT_DEST_FULL) == 0 && (result & LZS_RESULT_STREAM_END) == 0) {
        // The destination pair is saved, not handed back, without bit 2/4.
        output.resize(0);
    }
    return {result, output};
}

// Compresses source with flag 1 into output buffers of roomPerCall bytes,
// calling again with the same variables until the stream ends; returns the
// concatenated output.
inline Bytes compressInPieces(const Bytes& source, std::uint32_t flags, std::uint32_t performance,
                              std::uint32_t roomPerCall, std::vector<std::uint32_t>* results = nullptr) {
    History history;
    Bytes input = source;
    Bytes joined;
    Bytes piece(roomPerCall);
    std::uint8_t* src = input.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(input.size());
    for (int guard = 0; guard < 1000000; ++guard) {
        std::uint8_t* dst = piece.data();
        std::uint32_t dstCount = roomPerCall;
        const std::uint32_t result = LZS_Compress(&src, &dst, &srcCount, &dstCount, history.get(), flags, performance);
        if (results) results->push_back(result);
        if (result == 0) break;
        joined.insert(joined.end(), piece.begin(), piece.begin() + (roomPerCall - dstCount));
        if (result & LZS_RESULT_STREAM_END) break;
    }
    return joined;
}

}  // namespace lzs_test

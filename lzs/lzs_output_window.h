// The decompressor's output side: copies with the effect of a byte-by-byte
// forward copy, and the decoder's own window, into which it decodes when
// the caller's room is too small and from which it keeps history.
#pragma once

#include <cstdint>

#include "common/byte_access.h"
#include "lzs/lzs_format.h"

namespace huecl::lzs {

// The window holds up to 2047 bytes of history, then one pass of decoding
// that runs up to the fast margin before its end: a pass decodes at least
// 2050 bytes, enough to leave window mode with a full history behind it.
inline constexpr std::uint32_t kWindowSize = 4112;

// The token loop decodes all the tokens of one 32-bit read without looking
// at the room; together they write at most nine bytes, and the loop writes
// up to 15 bytes ahead of the output position. Reads therefore start only
// while 16 bytes of room are left (kFastRoom): with less, only an end
// marker may be read.
inline constexpr std::uint32_t kFastMargin = 15;
inline constexpr std::uint32_t kFastRoom = kFastMargin + 1;

inline std::uint32_t smaller(std::uint32_t first, std::uint32_t second) noexcept {
    return first < second ? first : second;
}

// A forward copy, four bytes at a time; returns the destination end. The
// buffers may overlap where `to` lies below `from` (`window` compacted) or
// at least four bytes above it (a match, which then repeats its period as
// a byte-by-byte copy would).
inline std::uint8_t* copyBytes(std::uint8_t* to, const std::uint8_t* from, std::uint32_t count) noexcept {
    while (count >= 4) {
        bytes::store32(to, bytes::load32(from));
        to += 4;
        from += 4;
        count -= 4;
    }
    while (count-- != 0) *to++ = *from++;
    return to;
}

// Copies count bytes from offset bytes back with the effect of a byte by
// byte forward copy; returns the new output position.
inline std::uint8_t* copyMatch(std::uint8_t* out, std::uint32_t offset, std::uint32_t count) noexcept {
    if (offset == 1) {
        const std::uint32_t run = out[-1] * 0x01010101u;
        while (count >= 4) {
            bytes::store32(out, run);
            out += 4;
            count -= 4;
        }
        while (count-- != 0) *out++ = static_cast<std::uint8_t>(run);
        return out;
    }
    std::uint32_t stride = offset;
    if (offset < 4) {
        // One period byte by byte; from then on every byte equals the one
        // twice the offset back, four or six bytes: wide enough for 4-byte moves.
        const std::uint32_t head = smaller(count, offset);
        const std::uint8_t* const period = out - offset;
        for (std::uint32_t index = 0; index < head; ++index) out[index] = period[index];
        out += head;
        count -= head;
        stride = 2 * offset;
    }
    return copyBytes(out, out - stride, count);
}

// Keeps the last `keep` of the `held` bytes at the start of `window`.
void keepWindowTail(std::uint8_t* window, std::uint32_t held, std::uint32_t keep) noexcept;

// Makes the last 2047 bytes of the window's `held` bytes followed by the
// `count` bytes before `end` the window's history; returns the bytes it
// holds then.
std::uint32_t appendHistory(std::uint8_t* window, std::uint32_t held, const std::uint8_t* end,
                            std::uint32_t count) noexcept;

}  // namespace huecl::lzs

// The LZS decompressor.
//
// The decoder writes straight into the caller's output and keeps, in the
// history, a ring of the last 2048 bytes it produced. A match that reaches
// back before the first byte of the current call's output is served from
// that ring, so consecutive output buffers need not be neighbours in memory
// and a call never has to decode ahead into a private window: it stops at
// the exact byte where the caller's room ends and keeps the rest of the
// match (its offset and remaining length) for the next call.
//
// Between calls the source is taken up to the last token that could be
// decoded; the at most three bytes of a token whose bits have not all
// arrived yet move into `carry`. Every offset is checked against the bytes
// held since the history was initialised, so that no input, however made,
// can make the decoder read outside the caller's buffers and its history.
#include "lzs/lzs_decompress.h"

#include <array>
#include <cstddef>

#include "lzs/lzs_format.h"

namespace huecl::lzs {
namespace {

enum class Phase : std::uint8_t {
    token,         // at a token boundary
    lengthField,   // `11` of a length code read; the two bits that finish the field are due
    lengthNibble,  // length 8 or more; a further nibble is due
    copy,          // a match is partly copied; matchLength bytes remain
    corrupt,       // a match reached before the history; refuse until Init
};

inline constexpr std::uint32_t kRingSize = 2048;  // a power of two above kMaxOffset
inline constexpr std::uint32_t kRingMask = kRingSize - 1;
inline constexpr std::uint32_t kMaxCarry = 3;
// A length that keeps adding 15 would wrap 32 bits after some 280 MB of
// nibbles; no encoder makes such a match, so the stream is corrupt.
inline constexpr std::uint32_t kLargestMatchLength = 0xFFFF0000u;

// Everything but the ring; copied in and out of the caller's area, which
// may sit at any alignment.
struct DecoderState {
    std::uint16_t magic;
    Phase phase;
    std::uint8_t carryCount;
    std::uint8_t bitPos;  // bit of carry[0] where the next item starts
    std::uint8_t carry[kMaxCarry];
    std::uint32_t matchLength;  // bytes still to copy, or the length assembled so far
    std::uint16_t matchOffset;
    std::uint16_t historyHeld;  // valid bytes in the ring, at most kMaxOffset
    std::uint16_t ringEnd;      // where the next produced byte goes in the ring
    std::uint16_t reserved;
    SavedPairs saved;
};

inline constexpr std::size_t kRingOffset = 64;
static_assert(sizeof(DecoderState) <= kRingOffset);
static_assert(kRingOffset + kRingSize <= kDecompressionHistorySize);

DecoderState loadState(const void* history) noexcept {
    DecoderState state;
    __builtin_memcpy(&state, history, sizeof state);
    return state;
}

void storeState(void* history, const DecoderState& state) noexcept {
    __builtin_memcpy(history, &state, sizeof state);
}

std::uint8_t* ringOf(void* history) noexcept { return static_cast<std::uint8_t*>(history) + kRingOffset; }

// ---- Reading bits ----------------------------------------------------------

struct BitCursor {
    const std::uint8_t* byte;
    const std::uint8_t* end;
    std::uint32_t bitPos;  // 0..7
};

inline std::uint64_t loadBigEndian64(const std::uint8_t* bytes) noexcept {
    std::uint64_t word;
    __builtin_memcpy(&word, bytes, sizeof word);
    if constexpr (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) word = __builtin_bswap64(word);
    return word;
}

// The next bits, left-aligned; bits past the end of the source read as 0.
// With eight bytes or more left at least 57 bits are valid.
inline std::uint64_t peekBits(const BitCursor& in) noexcept {
    const std::size_t bytesLeft = static_cast<std::size_t>(in.end - in.byte);
    std::uint64_t word = 0;
    if (bytesLeft >= 8) {
        word = loadBigEndian64(in.byte);
    } else {
        for (std::size_t index = 0; index < bytesLeft; ++index) {
            word |= std::uint64_t{in.byte[index]} << (56 - 8 * index);
        }
    }
    return word << in.bitPos;
}

inline bool hasBits(const BitCursor& in, std::uint32_t bits) noexcept {
    const std::size_t bytesLeft = static_cast<std::size_t>(in.end - in.byte);
    return bytesLeft >= 8 || bytesLeft * 8 - in.bitPos >= bits;
}

inline void consumeBits(BitCursor& in, std::uint32_t bits) noexcept {
    in.bitPos += bits;
    in.byte += in.bitPos >> 3;
    in.bitPos &= 7;
}

// ---- Writing bytes ---------------------------------------------------------

struct Output {
    std::uint8_t* start;     // the first byte of this call's output
    std::uint8_t* position;
    std::uint8_t* end;
    const std::uint8_t* ring;
    std::uint32_t ringEnd;
    std::uint32_t historyHeld;  // bytes in the ring before start
};

inline void copy8(std::uint8_t* to, const std::uint8_t* from) noexcept { __builtin_memcpy(to, from, 8); }

// Forward copy of count bytes from offset back, inside the output (offset
// at most the bytes already written there). Overlap repeats the period.
inline void copyWithinOutput(std::uint8_t* out, std::uint32_t offset, std::uint32_t count) noexcept {
    std::uint32_t stride = offset;
    if (offset < 8) {
        // Lay down one multiple of the period of at least 8 bytes byte by
        // byte; from then on every byte equals the one stride back, and
        // stride is wide enough for whole 8-byte moves.
        while (stride < 8) stride += offset;
        const std::uint32_t head = count < stride ? count : stride;
        const std::uint8_t* const period = out - offset;
        for (std::uint32_t index = 0; index < head; ++index) out[index] = period[index];
        out += head;
        count -= head;
    }
    const std::uint8_t* from = out - stride;
    while (count >= 8) {
        copy8(out, from);
        out += 8;
        from += 8;
        count -= 8;
    }
    while (count-- != 0) *out++ = *from++;
}

inline void copy16(std::uint8_t* to, const std::uint8_t* from) noexcept { __builtin_memcpy(to, from, 16); }

// Bytes a copy with slack may write beyond the match, inside the room.
inline constexpr std::uint32_t kCopySlack = 16;

// The same copy for a match with at least kCopySlack bytes of room behind
// it: whole 8- or 16-byte moves that may run past the match into room the
// decoder fills next anyway, so that short matches take no loop at all.
inline void copyWithSlack(std::uint8_t* out, std::uint32_t offset, std::uint32_t count) noexcept {
    const std::uint8_t* from = out - offset;
    if (offset >= 16) {
        copy16(out, from);
        for (std::uint32_t done = 16; done < count; done += 16) copy16(out + done, from + done);
        return;
    }
    if (offset >= 8) {
        copy8(out, from);
        for (std::uint32_t done = 8; done < count; done += 8) copy8(out + done, from + done);
        return;
    }
    if (offset == 1) {
        std::uint64_t run = from[0] * std::uint64_t{0x0101010101010101};
        for (std::uint32_t done = 0; done < count; done += 8) __builtin_memcpy(out + done, &run, 8);
        return;
    }
    // Periods of 2 to 7 bytes: lay down one multiple of the period of 8 to
    // 14 bytes one by one; every later byte equals the one stride back.
    std::uint32_t stride = offset;
    while (stride < 8) stride += offset;
    for (std::uint32_t index = 0; index < stride; ++index) out[index] = from[index];
    for (std::uint32_t done = stride; done < count; done += 8) copy8(out + done, out + done - stride);
}

// Copies count bytes (at most the room) of a match whose offset may reach
// into the ring.
inline void copyMatch(Output& out, std::uint32_t offset, std::uint32_t count) noexcept {
    std::uint32_t produced = static_cast<std::uint32_t>(out.position - out.start);
    while (count != 0 && offset > produced) {
        *out.position++ = out.ring[(out.ringEnd - (offset - produced)) & kRingMask];
        ++produced;
        --count;
    }
    copyWithinOutput(out.position, offset, count);
    out.position += count;
}

void copyBytes(std::uint8_t* to, const std::uint8_t* from, std::uint32_t count) noexcept {
    while (count >= 8) {
        copy8(to, from);
        to += 8;
        from += 8;
        count -= 8;
    }
    while (count-- != 0) *to++ = *from++;
}

// Enters bytes the caller now holds into the ring behind the older ones.
void appendToHistory(std::uint8_t* ring, DecoderState& state, const std::uint8_t* bytes, std::uint32_t count) noexcept {
    const std::uint32_t total = count;
    if (count > kRingSize) {
        bytes += count - kRingSize;
        count = kRingSize;
    }
    std::uint32_t ringEnd = state.ringEnd;
    while (count != 0) {
        const std::uint32_t chunk = count < kRingSize - ringEnd ? count : kRingSize - ringEnd;
        copyBytes(ring + ringEnd, bytes, chunk);
        ringEnd = (ringEnd + chunk) & kRingMask;
        bytes += chunk;
        count -= chunk;
    }
    state.ringEnd = static_cast<std::uint16_t>(ringEnd);
    const std::uint32_t held = state.historyHeld + (total < kMaxOffset ? total : kMaxOffset);
    state.historyHeld = static_cast<std::uint16_t>(held < kMaxOffset ? held : kMaxOffset);
}

// ---- Decoding --------------------------------------------------------------

enum class Stop {
    none,          // (fast loop) the general loop takes over
    sourceShort,   // the next item's bits have not all arrived
    outputFull,    // a byte is due and there is no room
    endMarker,     // read; the cursor stands after its padding
    corrupt,       // a match reaches before the history
    carryUsed,     // (decoding from carry) the old carried bytes are used up
};

// The decoder's registers while it runs: copies of the caller's cursors
// and of the token state, so that byte stores into the output cannot force
// them back to memory.
struct Registers {
    BitCursor in;
    Output out;
    Phase phase;
    std::uint32_t matchLength;
    std::uint32_t matchOffset;
};

// The inner loop for the bulk of a stream: whole tokens from a 64-bit bit
// buffer topped up to 56 bits or more before every token, as long as eight
// source bytes lie ahead of the refill point. Every token needs at most 17
// bits before its length nibbles (three literals 27), so one refill serves
// any head. It returns Stop::none when the general loop must take over:
// near the source end, or for a match that reaches into the ring or past
// the room.
inline Stop decodeFast(Registers& r) noexcept {
    if (r.in.end - r.in.byte < 16) return Stop::none;
    // The buffer's top `count` bits are the stream from bit ptr * 8 - count
    // on; the bits below them are the stream too, so a refill may OR the
    // same bits in again and claims only whole bytes: no branch per token.
    const std::uint8_t* const refillLimit = r.in.end - 8;
    std::uint8_t* op = r.out.position;
    std::uint8_t* const outEnd = r.out.end;
    std::uint8_t* const outStart = r.out.start;
    const std::uint32_t historyHeld = r.out.historyHeld;
    std::uint64_t buffer = loadBigEndian64(r.in.byte) << r.in.bitPos;
    std::uint32_t count = 56 - r.in.bitPos;
    const std::uint8_t* ptr = r.in.byte + 7;
    Stop stop = Stop::none;
    for (;;) {
        if (ptr > refillLimit) break;
        buffer |= loadBigEndian64(ptr) >> count;
        ptr += (63 - count) >> 3;
        count |= 56;
        if ((buffer >> 63) == 0) {
            if (outEnd - op >= 3) {
                // Literals come in runs: store the three that 27 of the 56
                // bits could hold and keep as many as really are literals,
                // which spares a branch per literal.
                op[0] = static_cast<std::uint8_t>(buffer >> 55);
                op[1] = static_cast<std::uint8_t>(buffer >> 46);
                op[2] = static_cast<std::uint8_t>(buffer >> 37);
                const std::uint32_t second = static_cast<std::uint32_t>(~buffer >> 54) & 1;
                const std::uint32_t third = second & static_cast<std::uint32_t>(~buffer >> 45) & 1;
                const std::uint32_t literals = 1 + second + third;
                op += literals;
                buffer <<= kLiteralBits * literals;
                count -= kLiteralBits * literals;
                continue;
            }
            if (op == outEnd) {
                stop = Stop::outputFull;
                break;
            }
            *op++ = static_cast<std::uint8_t>(buffer >> 55);
            buffer <<= kLiteralBits;
            count -= kLiteralBits;
            continue;
        }
        // Both offset forms are read without a branch: which one applies is
        // as hard to predict as the token type.
        const bool shortForm = ((buffer >> 62) & 1) != 0;
        const std::uint32_t offset = shortForm ? static_cast<std::uint32_t>(buffer >> 55) & 0x7F
                                               : static_cast<std::uint32_t>(buffer >> 51) & 0x7FF;
        const std::uint32_t headBits = shortForm ? kShortOffsetCodeBits : kLongOffsetCodeBits;
        if (offset == 0) {
            if (shortForm) {
                buffer <<= kEndMarkerBits;
                count -= kEndMarkerBits;
                stop = Stop::endMarker;
            } else {
                stop = Stop::corrupt;
            }
            break;
        }
        if (op == outEnd) {
            stop = Stop::outputFull;
            break;
        }
        const std::uint32_t produced = static_cast<std::uint32_t>(op - outStart);
        if (offset > produced + historyHeld) {
            stop = Stop::corrupt;
            break;
        }
        const std::uint64_t lengthCode = buffer << headBits;
        // The first four bits of a length code: its length (8 for the
        // escape, which more nibbles follow) and how many of the bits it uses.
        struct LengthPrefix {
            std::uint8_t length;
            std::uint8_t bits;
        };
        static constexpr std::array<LengthPrefix, 16> kLengthPrefixes = {{
            {2, 2}, {2, 2}, {2, 2}, {2, 2}, {3, 2}, {3, 2}, {3, 2}, {3, 2},
            {4, 2}, {4, 2}, {4, 2}, {4, 2}, {5, 4}, {6, 4}, {7, 4}, {8, 4},
        }};
        const LengthPrefix prefix = kLengthPrefixes[static_cast<std::size_t>(lengthCode >> 60)];
        std::uint32_t length = prefix.length;
        buffer = lengthCode << prefix.bits;
        count -= headBits + prefix.bits;
        if (length == kFirstEscapedLength) {
            std::uint32_t nibble;
            do {
                if (count < kLengthNibbleBits) {
                    if (ptr > refillLimit) {
                        // Finish the length in the general loop.
                        r.phase = Phase::lengthNibble;
                        r.matchLength = length;
                        r.matchOffset = offset;
                        break;
                    }
                    buffer |= loadBigEndian64(ptr) >> count;
                    ptr += (63 - count) >> 3;
                    count |= 56;
                }
                nibble = static_cast<std::uint32_t>(buffer >> 60);
                buffer <<= kLengthNibbleBits;
                count -= kLengthNibbleBits;
                length += nibble;
            } while (nibble == kLengthEscape && length <= kLargestMatchLength);
            if (r.phase == Phase::lengthNibble) break;
            if (length > kLargestMatchLength) {
                stop = Stop::corrupt;
                break;
            }
        }
        const std::uint32_t room = static_cast<std::uint32_t>(outEnd - op);
        if (offset <= produced && length + kCopySlack <= room) {
            copyWithSlack(op, offset, length);
            op += length;
            continue;
        }
        if (offset <= produced && length <= room) {
            copyWithinOutput(op, offset, length);
            op += length;
            continue;
        }
        r.phase = Phase::copy;
        r.matchLength = length;
        r.matchOffset = offset;
        break;
    }
    const std::uint32_t bytesBack = (count + 7) >> 3;
    r.in.byte = ptr - bytesBack;
    r.in.bitPos = bytesBack * 8 - count;
    if (stop == Stop::endMarker && r.in.bitPos != 0) {
        ++r.in.byte;
        r.in.bitPos = 0;
    }
    r.out.position = op;
    return stop;
}

// Decodes items until one of the Stops. From carry, the decoder hands over
// to the caller's source at the first item boundary past oldCarryEnd.
template <bool kFromCarry>
Stop decodeItemsIn(Registers& io, const std::uint8_t* oldCarryEnd) noexcept {
    // A private copy that never escapes, so that it lives in registers.
    Registers r = io;
    const auto stopWith = [&](Stop stop) {
        io = r;
        return stop;
    };
    for (;;) {
        if constexpr (kFromCarry) {
            if (r.in.byte >= oldCarryEnd && r.phase != Phase::copy) return stopWith(Stop::carryUsed);
        }
        switch (r.phase) {
        case Phase::token: {
            if constexpr (!kFromCarry) {
                const Stop stop = decodeFast(r);
                if (stop != Stop::none) return stopWith(stop);
                if (r.phase != Phase::token) continue;
            }
            const std::uint64_t bits = peekBits(r.in);
            if ((bits >> 63) == 0) {
                if (!hasBits(r.in, kLiteralBits)) return stopWith(Stop::sourceShort);
                if (r.out.position == r.out.end) return stopWith(Stop::outputFull);
                *r.out.position++ = static_cast<std::uint8_t>(bits >> 55);
                consumeBits(r.in, kLiteralBits);
                continue;
            }
            std::uint32_t offset;
            std::uint32_t headBits;
            if (((bits >> 62) & 1) != 0) {
                if (!hasBits(r.in, kEndMarkerBits)) return stopWith(Stop::sourceShort);
                offset = static_cast<std::uint32_t>(bits >> 55) & 0x7F;
                if (offset == 0) {
                    consumeBits(r.in, kEndMarkerBits);
                    if (r.in.bitPos != 0) {
                        ++r.in.byte;
                        r.in.bitPos = 0;
                    }
                    return stopWith(Stop::endMarker);
                }
                headBits = kShortOffsetCodeBits;
            } else {
                if (!hasBits(r.in, kLongOffsetCodeBits)) return stopWith(Stop::sourceShort);
                offset = static_cast<std::uint32_t>(bits >> 51) & 0x7FF;
                // Offset 0 has no meaning in the long form: it would copy
                // the byte being written.
                if (offset == 0) return stopWith(Stop::corrupt);
                headBits = kLongOffsetCodeBits;
            }
            if (!hasBits(r.in, headBits + 2)) return stopWith(Stop::sourceShort);
            if (r.out.position == r.out.end) return stopWith(Stop::outputFull);
            const std::uint32_t produced = static_cast<std::uint32_t>(r.out.position - r.out.start);
            if (offset > produced + r.out.historyHeld) return stopWith(Stop::corrupt);
            const std::uint32_t lengthBits = static_cast<std::uint32_t>(bits >> (62 - headBits)) & 3;
            consumeBits(r.in, headBits + 2);
            r.matchOffset = offset;
            if (lengthBits == 3) {
                r.phase = Phase::lengthField;
                continue;
            }
            const std::uint32_t length = lengthBits + kMinMatchLength;
            const std::uint32_t room = static_cast<std::uint32_t>(r.out.end - r.out.position);
            if (length <= room && offset <= produced) {
                // The common short match: a few bytes, already in this output.
                std::uint8_t* const to = r.out.position;
                const std::uint8_t* const from = to - offset;
                for (std::uint32_t index = 0; index < length; ++index) to[index] = from[index];
                r.out.position += length;
                continue;
            }
            r.matchLength = length;
            r.phase = Phase::copy;
            continue;
        }
        case Phase::lengthField: {
            if (!hasBits(r.in, 2)) return stopWith(Stop::sourceShort);
            const std::uint32_t field = static_cast<std::uint32_t>(peekBits(r.in) >> 62);
            consumeBits(r.in, 2);
            if (field == 3) {
                r.matchLength = kFirstEscapedLength;
                r.phase = Phase::lengthNibble;
            } else {
                r.matchLength = 5 + field;
                r.phase = Phase::copy;
            }
            continue;
        }
        case Phase::lengthNibble: {
            for (;;) {
                if constexpr (kFromCarry) {
                    if (r.in.byte >= oldCarryEnd) return stopWith(Stop::carryUsed);
                }
                if (!hasBits(r.in, kLengthNibbleBits)) return stopWith(Stop::sourceShort);
                const std::uint32_t nibble = static_cast<std::uint32_t>(peekBits(r.in) >> 60);
                consumeBits(r.in, kLengthNibbleBits);
                r.matchLength += nibble;
                if (r.matchLength > kLargestMatchLength) return stopWith(Stop::corrupt);
                if (nibble != kLengthEscape) break;
            }
            r.phase = Phase::copy;
            continue;
        }
        case Phase::copy: {
            const std::uint32_t room = static_cast<std::uint32_t>(r.out.end - r.out.position);
            const std::uint32_t count = r.matchLength < room ? r.matchLength : room;
            copyMatch(r.out, r.matchOffset, count);
            r.matchLength -= count;
            if (r.matchLength != 0) return stopWith(Stop::outputFull);
            r.phase = Phase::token;
            continue;
        }
        case Phase::corrupt:
            return stopWith(Stop::corrupt);
        }
    }
}

template <bool kFromCarry>
Stop decodeItems(BitCursor& in, Output& out, DecoderState& state, const std::uint8_t* oldCarryEnd) noexcept {
    Registers registers{in, out, state.phase, state.matchLength, state.matchOffset};
    const Stop stop = decodeItemsIn<kFromCarry>(registers, oldCarryEnd);
    in = registers.in;
    out = registers.out;
    state.phase = registers.phase;
    state.matchLength = registers.matchLength;
    state.matchOffset = static_cast<std::uint16_t>(registers.matchOffset);
    return stop;
}

std::uint32_t decodeStream(Pairs& pairs, DecoderState& state, std::uint8_t* ring, std::uint32_t flags) noexcept {
    Output out{pairs.destination, pairs.destination, pairs.destination + pairs.destinationCount,
               ring,              state.ringEnd,     state.historyHeld};
    const std::uint8_t* const source = pairs.source;
    const std::uint8_t* const sourceEnd = source + pairs.sourceCount;
    const std::uint8_t* sourcePosition = source;
    std::uint32_t result = 0;
    Stop stop;
    BitCursor in{source, sourceEnd, 0};

    if (state.carryCount != 0) {
        // The carried bytes and the first new ones side by side, so that a
        // token that began in an earlier call decodes like any other. Four
        // new bytes complete every item that starts in the carry.
        std::uint8_t joined[kMaxCarry + 4];
        const std::uint32_t oldCount = state.carryCount;
        const std::uint32_t newCount = pairs.sourceCount < 4 ? pairs.sourceCount : 4;
        for (std::uint32_t index = 0; index < oldCount; ++index) joined[index] = state.carry[index];
        for (std::uint32_t index = 0; index < newCount; ++index) joined[oldCount + index] = source[index];
        BitCursor fromCarry{joined, joined + oldCount + newCount, state.bitPos};
        const std::uint8_t* const oldEnd = joined + oldCount;
        stop = decodeItems<true>(fromCarry, out, state, oldEnd);
        state.carryCount = 0;
        state.bitPos = 0;
        if (stop == Stop::corrupt) return result::kRefused;
        if (fromCarry.byte >= oldEnd) {
            // Past the old bytes: go on in the caller's own source.
            in.byte = source + (fromCarry.byte - oldEnd);
            in.bitPos = fromCarry.bitPos;
            if (stop == Stop::carryUsed) stop = decodeItems<false>(in, out, state, nullptr);
        } else if (stop == Stop::outputFull) {
            // Stopped inside the old carried bytes: keep what is left of
            // them and take none of the caller's.
            const std::uint32_t used = static_cast<std::uint32_t>(fromCarry.byte - joined);
            for (std::uint32_t index = used; index < oldCount; ++index) state.carry[index - used] = joined[index];
            state.carryCount = static_cast<std::uint8_t>(oldCount - used);
            state.bitPos = static_cast<std::uint8_t>(fromCarry.bitPos);
            result = result::kDestinationFull | (pairs.sourceCount == 0 ? result::kSourceEmpty : 0);
            sourcePosition = source;
            stop = Stop::carryUsed;  // settled here
        } else {
            // Short of bits inside the old bytes: then all of the caller's
            // few bytes were joined, and all of them become carry.
            const std::uint32_t used = static_cast<std::uint32_t>(fromCarry.byte - joined);
            const std::uint32_t left = oldCount + newCount - used;
            for (std::uint32_t index = 0; index < left; ++index) state.carry[index] = joined[used + index];
            state.carryCount = static_cast<std::uint8_t>(left);
            state.bitPos = static_cast<std::uint8_t>(fromCarry.bitPos);
            result = result::kSourceEmpty;
            sourcePosition = sourceEnd;
            stop = Stop::carryUsed;  // settled here
        }
    } else {
        stop = decodeItems<false>(in, out, state, nullptr);
    }

    switch (stop) {
    case Stop::corrupt:
        return result::kRefused;
    case Stop::endMarker:
        sourcePosition = in.byte;
        result = result::kStreamEnd;
        break;
    case Stop::outputFull: {
        const std::size_t bytesLeft = static_cast<std::size_t>(sourceEnd - in.byte);
        result = result::kDestinationFull;
        if (bytesLeft <= 1) {
            // The last byte, if any, waits in carry: the source is used up.
            if (bytesLeft == 1) {
                state.carry[0] = *in.byte;
                state.carryCount = 1;
                state.bitPos = static_cast<std::uint8_t>(in.bitPos);
            }
            sourcePosition = sourceEnd;
            result |= result::kSourceEmpty;
        } else if (in.bitPos != 0) {
            state.carry[0] = *in.byte;
            state.carryCount = 1;
            state.bitPos = static_cast<std::uint8_t>(in.bitPos);
            sourcePosition = in.byte + 1;
        } else {
            sourcePosition = in.byte;
        }
        break;
    }
    case Stop::sourceShort: {
        const std::uint32_t left = static_cast<std::uint32_t>(sourceEnd - in.byte);
        for (std::uint32_t index = 0; index < left; ++index) state.carry[index] = in.byte[index];
        state.carryCount = static_cast<std::uint8_t>(left);
        state.bitPos = static_cast<std::uint8_t>(in.bitPos);
        sourcePosition = sourceEnd;
        result = result::kSourceEmpty;
        break;
    }
    case Stop::carryUsed:
    case Stop::none:
        break;  // settled while decoding from carry
    }

    if (out.position == out.end) result |= result::kDestinationFull;
    if (stop == Stop::endMarker && sourcePosition == sourceEnd) result |= result::kSourceEmpty;

    const std::uint32_t produced = static_cast<std::uint32_t>(out.position - out.start);
    appendToHistory(ring, state, out.start, produced);
    if (stop == Stop::endMarker) {
        state.phase = Phase::token;
        state.carryCount = 0;
        state.bitPos = 0;
        // Without flag 4 the next stream refers to nothing before it.
        if ((flags & decompress_flag::kKeepHistoryAcrossEnd) == 0) state.historyHeld = 0;
    }

    pairs.source = const_cast<std::uint8_t*>(sourcePosition);
    pairs.sourceCount = static_cast<std::uint32_t>(sourceEnd - sourcePosition);
    pairs.destination = out.position;
    pairs.destinationCount = static_cast<std::uint32_t>(out.end - out.position);
    return result;
}

}  // namespace

std::uint32_t decompressionHistorySize() noexcept { return kDecompressionHistorySize; }

void initDecompressionHistory(void* history) noexcept {
    DecoderState state{};
    state.magic = kDecompressionMagic;
    state.phase = Phase::token;
    storeState(history, state);
}

std::uint32_t decompress(std::uint8_t** source, std::uint8_t** destination, std::uint32_t* sourceCount,
                         std::uint32_t* destinationCount, void* history, std::uint32_t flags) noexcept {
    DecoderState state = loadState(history);
    // An uninitialised or poisoned history holds no positions worth
    // restoring: refuse before touching the caller's variables.
    if (state.magic != kDecompressionMagic || state.phase == Phase::corrupt) return result::kRefused;
    const CallerVariables caller{source, destination, sourceCount, destinationCount};
    restoreSavedPairs(caller, state.saved);
    if ((flags & ~decompress_flag::kAllowed) != 0) return result::kRefused;
    Pairs pairs = caller.load();

    if ((flags & decompress_flag::kStoredBlock) != 0) {
        // Stored bytes may only come between whole tokens.
        if (pairs.sourceCount != pairs.destinationCount || state.phase != Phase::token) return result::kRefused;
        copyBytes(pairs.destination, pairs.source, pairs.sourceCount);
        appendToHistory(ringOf(history), state, pairs.destination, pairs.sourceCount);
        pairs.source += pairs.sourceCount;
        pairs.destination += pairs.destinationCount;
        pairs.sourceCount = 0;
        pairs.destinationCount = 0;
        handBackPairs(caller, state.saved, pairs, true, true);
        storeState(history, state);
        return result::kSourceEmpty | result::kDestinationFull;
    }

    if (pairs.sourceCount == 0 && state.carryCount == 0 && state.phase != Phase::copy) {
        return result::kSourceEmpty;  // nothing to decode, nothing changes
    }

    const std::uint32_t result = decodeStream(pairs, state, ringOf(history), flags);
    if (result == result::kRefused) {
        state.phase = Phase::corrupt;
        storeState(history, state);
        return result::kRefused;
    }
    handBackPairs(caller, state.saved, pairs, result);
    storeState(history, state);
    return result;
}

DecompressionProbe probeDecompressionHistory(const void* history) noexcept {
    const DecoderState state = loadState(history);
    const bool initialised = state.magic == kDecompressionMagic;
    return DecompressionProbe{initialised, initialised && state.phase == Phase::corrupt,
                              state.phase == Phase::token, state.carryCount, state.historyHeld};
}

}  // namespace huecl::lzs

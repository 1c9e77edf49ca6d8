// The LZS decompressor.
//
// While the caller's output has room for whole tokens the decoder writes
// straight into it, and matches read back into that output (up to 2047
// bytes, also into earlier calls' output of the same stream: the caller's
// destination stays with the decoder until the output is full or the stream
// ends). Where the room is too small for the next token, or ends inside a
// match, the decoder switches to window mode: it copies the recent output
// into its own `window`, decodes ahead into it and hands the bytes over as
// room arrives. It leaves window mode again once one pass into `window` has
// been handed over whole, because the caller's output then holds a full
// 2047 bytes of history.
//
// The decoder reads the source four bytes at a time. Bytes of a token whose
// bits have not all arrived stay in `carry` (at most three) and are decoded
// in the next call together with up to four new bytes.
//
// Every offset is checked against the bytes the decoder holds since the
// history was initialised, so that no input, however made, can make it read
// outside the caller's buffers and its history.
#include "lzs/lzs_decompress.h"

#include <cstddef>

#include "lzs/lzs_format.h"

namespace huecl::lzs {
namespace {

// Decoder `status` values; kBitsShort is added to any of the others.
namespace status {
inline constexpr std::uint8_t kCorrupt = 0;  // never stored: a corrupt stream stops the call
inline constexpr std::uint8_t kSourceShort = 1;
inline constexpr std::uint8_t kInLength = 2;
inline constexpr std::uint8_t kBitsShort = 4;
inline constexpr std::uint8_t kFastLimit = 8;
inline constexpr std::uint8_t kInCopy = 0x20;
inline constexpr std::uint8_t kInitial = 0x40;
inline constexpr std::uint8_t kEndMarker = 0x80;
}  // namespace status

// `control` bits of the history.
namespace control {
inline constexpr std::uint8_t kFromCarry = 4;
inline constexpr std::uint8_t kTailMode = 8;
inline constexpr std::uint8_t kWindowMode = 16;
inline constexpr std::uint8_t kCopyPending = 32;
inline constexpr std::uint8_t kCarryHeld = 64;
inline constexpr std::uint8_t kEndPending = 128;
}  // namespace control

inline constexpr std::uint32_t kWindowSize = 4112;
// Decoding into `window` stops 15 bytes before its end, like decoding into
// the caller's output: one 32-bit read never writes more than nine bytes.
inline constexpr std::uint32_t kFastMargin = 15;
inline constexpr std::uint32_t kCarrySize = 7;  // three old bytes and four new ones
inline constexpr std::uint32_t kNewCarryBytes = 4;
inline constexpr std::uint32_t kLargestMatchLength = 0xFFFF0000u;

// The history: this header, then `window`. `windowPos` is an offset into
// `window` and `outputMark` the number of output bytes written since the
// mark: while the destination is not handed back, the saved pair brings the
// true destination back at the next call, so the mark is that destination
// minus the count.
struct Header {
    std::uint32_t windowPos;
    std::uint32_t outputMark;
    std::uint16_t carryCount;
    std::uint16_t pendingCount;
    std::uint32_t matchCount;
    std::uint16_t bitPos;
    std::uint16_t matchOffset;
    std::uint16_t magic;
    std::uint8_t status;
    std::uint8_t control;
    SavedPairs saved;
    std::uint8_t carry[kCarrySize];
    std::uint8_t corrupt;  // 1 after a corrupt stream: refuse until Init
};
inline constexpr std::size_t kWindowOffset = sizeof(Header);
static_assert(sizeof(Header) == 52 + kSavedAddressGrowth, "52 bytes on 32-bit targets, whole addresses beyond");
static_assert(kWindowOffset + kWindowSize == kDecompressionHistorySize);

Header loadHeader(const void* history) noexcept {
    Header header;
    __builtin_memcpy(&header, history, sizeof header);
    return header;
}

void storeHeader(void* history, const Header& header) noexcept { __builtin_memcpy(history, &header, sizeof header); }

// ---- Copies -------------------------------------------------------------------

inline std::uint32_t load32(const std::uint8_t* bytes) noexcept {
    std::uint32_t word;
    __builtin_memcpy(&word, bytes, sizeof word);
    return word;
}
inline void store32(std::uint8_t* bytes, std::uint32_t word) noexcept { __builtin_memcpy(bytes, &word, sizeof word); }

inline std::uint64_t loadBigEndian64(const std::uint8_t* bytes) noexcept {
    std::uint64_t word;
    __builtin_memcpy(&word, bytes, sizeof word);
    if constexpr (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) word = __builtin_bswap64(word);
    return word;
}

inline std::uint32_t loadBigEndian32(const std::uint8_t* bytes) noexcept {
    std::uint32_t word = load32(bytes);
    if constexpr (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) word = __builtin_bswap32(word);
    return word;
}

// A forward copy, four bytes at a time; returns the destination end. The
// buffers may overlap where `to` lies below `from` (`window` compacted) or
// at least four bytes above it (a match, which then repeats its period as
// a byte-by-byte copy would).
std::uint8_t* copyBytes(std::uint8_t* to, const std::uint8_t* from, std::uint32_t count) noexcept {
    while (count >= 4) {
        store32(to, load32(from));
        to += 4;
        from += 4;
        count -= 4;
    }
    while (count-- != 0) *to++ = *from++;
    return to;
}

// Puts count bytes at `carry` + at; from may lie inside `carry` behind them.
void putIntoCarry(std::uint8_t* carry, std::uint32_t at, const std::uint8_t* from, std::uint32_t count) noexcept {
    for (std::uint32_t index = 0; index < count && at + index < kCarrySize; ++index) carry[at + index] = from[index];
}

// Copies count bytes from offset bytes back with the effect of a byte by
// byte forward copy; returns the new output position.
std::uint8_t* copyMatch(std::uint8_t* out, std::uint32_t offset, std::uint32_t count) noexcept {
    if (offset == 1) {
        const std::uint32_t run = out[-1] * 0x01010101u;
        while (count >= 4) {
            store32(out, run);
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
        const std::uint32_t head = count < offset ? count : offset;
        const std::uint8_t* const period = out - offset;
        for (std::uint32_t index = 0; index < head; ++index) out[index] = period[index];
        out += head;
        count -= head;
        stride = 2 * offset;
    }
    return copyBytes(out, out - stride, count);
}

// ---- Token decoding -------------------------------------------------------------

// The decoder state while it runs.
struct DecoderState {
    std::uint32_t matchCount;
    std::uint32_t bitPos;
    std::uint32_t matchOffset;
    std::uint8_t status;
};

inline bool isEndMarker(std::uint32_t leftAlignedBits) noexcept { return (leftAlignedBits >> 23) == kEndMarker; }

// The decoder's cursor: a byte and a bit in it (0..7).
struct Cursor {
    const std::uint8_t* byte;
    std::uint32_t bit;
    void skip(std::uint32_t bits) noexcept {
        bit += bits;
        byte += bit >> 3;
        bit &= 7;
    }
    void alignToByte() noexcept {
        if (bit != 0) {
            ++byte;
            bit = 0;
        }
    }
};

// Four bits at the cursor, if the bytes that hold them are there.
inline bool readNibble(const Cursor& at, const std::uint8_t* end, std::uint32_t& nibble) noexcept {
    const std::ptrdiff_t needed = at.bit <= 4 ? 1 : 2;
    if (end - at.byte < needed) return false;
    std::uint32_t bits = std::uint32_t{at.byte[0]} << 8;
    if (needed == 2) bits |= at.byte[1];
    nibble = (bits >> (12 - at.bit)) & 0xF;
    return true;
}

// Decodes tokens from *source (with state.bitPos) towards sourceEnd into
// *output, never past outputEnd; a match may reach back to reachStart.
// Returns the new status (kCorrupt for a corrupt stream).
std::uint8_t decodeTokens(const std::uint8_t** source, const std::uint8_t* const sourceEnd, std::uint8_t** output,
                          std::uint8_t* const outputEnd, const std::uint8_t* const reachStart,
                          DecoderState& state) noexcept {
    std::uint8_t* out = *output;
    // Only an end marker may be read once the output reaches the fast limit:
    // no 32-bit read writes more than nine bytes, so 15 bytes of margin keep
    // every token decoded before the limit inside the output.
    std::uint8_t* const fastLimit = outputEnd - out >= 16 ? outputEnd - kFastMargin : out;
    Cursor at{*source + (state.bitPos >> 3), state.bitPos & 7};
    std::uint32_t matchCount = state.matchCount;
    std::uint32_t matchOffset = state.matchOffset;
    const std::uint8_t entryStatus = state.status;
    // What the status says at a token boundary: as on entry, or (after a
    // match finished here) that the decoder stopped between tokens.
    std::uint8_t tokenStatus = entryStatus;
    std::uint8_t result;

    const auto bytesLeft = [&]() noexcept { return sourceEnd - at.byte; };

    if ((entryStatus & (status::kInitial | status::kFastLimit | status::kSourceShort)) != 0) goto tokens;
    if ((entryStatus & status::kInCopy) != 0) goto copy;
    if (matchCount < kFirstEscapedLength) goto lengthField;
    goto lengthNibbles;

tokens:
    if (bytesLeft() < 4) {
        // The last bytes: read right-aligned and decode only the tokens
        // that lie wholly inside them.
        const std::uint32_t count = static_cast<std::uint32_t>(bytesLeft());
        std::uint32_t word = 0;
        for (std::uint32_t index = 0; index < count; ++index) word |= std::uint32_t{at.byte[index]} << (24 - 8 * index);
        word <<= at.bit;
        std::uint32_t available = count * 8 - at.bit;
        if (count == 0 || available < kLiteralBits) {
            result = tokenStatus | status::kBitsShort;
            goto stop;
        }
        if (out >= fastLimit) {
            if (isEndMarker(word)) goto endMarker;
            result = status::kFastLimit;
            goto stop;
        }
        bool decoded = false;
        for (;;) {
            if (available < kLiteralBits) {
                result = (decoded ? status::kSourceShort : tokenStatus) | status::kBitsShort;
                goto stop;
            }
            if ((word >> 31) == 0) {
                *out++ = static_cast<std::uint8_t>(word >> 23);
                word <<= kLiteralBits;
                available -= kLiteralBits;
                at.skip(kLiteralBits);
                decoded = true;
                continue;
            }
            if (isEndMarker(word)) goto endMarker;
            const bool shortForm = ((word >> 30) & 1) != 0;
            const std::uint32_t headBits = shortForm ? kShortOffsetCodeBits : kLongOffsetCodeBits;
            if (available < headBits + 2) {
                result = (decoded ? status::kSourceShort : tokenStatus) | status::kBitsShort;
                goto stop;
            }
            const std::uint32_t offset = shortForm ? (word >> 23) & 0x7F : (word >> 19) & 0x7FF;
            if (offset == 0 || offset > static_cast<std::uint32_t>(out - reachStart)) goto corrupt;
            const std::uint32_t lengthBits = (word << headBits) >> 30;
            if (lengthBits == 3) {
                at.skip(headBits);
                matchOffset = offset;
                matchCount = 0;
                goto lengthField;
            }
            const std::uint32_t length = lengthBits + kMinMatchLength;
            const std::uint8_t* const from = out - offset;
            for (std::uint32_t index = 0; index < length; ++index) out[index] = from[index];
            out += length;
            word <<= headBits + 2;
            available -= headBits + 2;
            at.skip(headBits + 2);
            decoded = true;
        }
    }
    for (;;) {
        if (bytesLeft() < 4) {
            result = status::kSourceShort;
            goto stop;
        }
        std::uint32_t word = loadBigEndian32(at.byte) << at.bit;
        if (out >= fastLimit) {
            if (isEndMarker(word)) goto endMarker;
            result = status::kFastLimit;
            goto stop;
        }
        // As many tokens as the bits of this read hold; `used` counts the
        // bits of the read behind the cursor's byte.
        std::uint32_t used = at.bit;
        const auto settle = [&](std::uint32_t bits) noexcept {
            at.byte += bits >> 3;
            at.bit = bits & 7;
        };
        for (;;) {
            if ((word >> 31) == 0) {
                if (used > 32 - kLiteralBits) break;
                if (used <= 32 - 3 * kLiteralBits) {
                    // Literals come in runs: store the three that the bits
                    // could hold and keep as many as really are literals,
                    // which spares a branch per literal. The extra bytes stay
                    // inside the fast margin.
                    out[0] = static_cast<std::uint8_t>(word >> 23);
                    out[1] = static_cast<std::uint8_t>(word >> 14);
                    out[2] = static_cast<std::uint8_t>(word >> 5);
                    const std::uint32_t second = (~word >> 22) & 1;
                    const std::uint32_t third = second & (~word >> 13) & 1;
                    const std::uint32_t literals = 1 + second + third;
                    out += literals;
                    word <<= kLiteralBits * literals;
                    used += kLiteralBits * literals;
                    continue;
                }
                *out++ = static_cast<std::uint8_t>(word >> 23);
                word <<= kLiteralBits;
                used += kLiteralBits;
                continue;
            }
            const bool shortForm = ((word >> 30) & 1) != 0;
            const std::uint32_t headBits = shortForm ? kShortOffsetCodeBits : kLongOffsetCodeBits;
            if (used + headBits + 2 > 32) {
                // Too few bits for a match here; the end marker needs fewer.
                if (used <= 32 - kEndMarkerBits && isEndMarker(word)) {
                    settle(used);
                    goto endMarker;
                }
                break;
            }
            const std::uint32_t offset = shortForm ? (word >> 23) & 0x7F : (word >> 19) & 0x7FF;
            if (offset == 0) {
                if (!shortForm) goto corrupt;  // a long-form offset 0 would copy the byte being written
                settle(used);
                goto endMarker;
            }
            if (offset > static_cast<std::uint32_t>(out - reachStart)) goto corrupt;
            const std::uint32_t lengthBits = (word << headBits) >> 30;
            if (lengthBits == 3) {
                // Lengths 5 to 7 whose field lies in this read and whose
                // bytes fit the room are copied here; the read ends with
                // them as it would after the general copy.
                const std::uint32_t field = (word << headBits) >> 28;
                const std::uint32_t length = 5 + (field & 3);
                if (field != kLengthEscape && used + headBits + kLengthNibbleBits <= 32 &&
                    outputEnd - out >= 8) {
                    const std::uint8_t* const from = out - offset;
                    if (offset >= 8) {
                        // One 8-byte move, its tail inside the room.
                        __builtin_memcpy(out, from, 8);
                        out += length;
                    } else {
                        out = copyMatch(out, offset, length);
                    }
                    used += headBits + kLengthNibbleBits;
                    break;
                }
                settle(used + headBits);
                matchOffset = offset;
                matchCount = 0;
                goto lengthField;
            }
            // Four bytes one by one, whatever the length and offset: a
            // period of 1 to 3 repeats as it should, and the bytes beyond the
            // match lie inside the fast margin, written again by the next tokens.
            const std::uint8_t* const from = out - offset;
            out[0] = from[0];
            out[1] = from[1];
            out[2] = from[2];
            out[3] = from[3];
            out += lengthBits + kMinMatchLength;
            word <<= headBits + 2;
            used += headBits + 2;
        }
        settle(used);
    }

lengthField:
    if (sourceEnd - at.byte >= 8) {
        // The whole length code is usually within the next 64 bits: the
        // field, then (for 8 and more) nibbles up to the first that is not 1111.
        std::uint64_t bits = loadBigEndian64(at.byte) << at.bit;
        const std::uint32_t field = static_cast<std::uint32_t>(bits >> 60);
        if (field != kLengthEscape) {
            at.skip(kLengthNibbleBits);
            matchCount = 5 + (field & 3);
            goto copy;
        }
        std::uint32_t length = kFirstEscapedLength;
        std::uint32_t taken = kLengthNibbleBits;
        bits <<= kLengthNibbleBits;
        // 56 bits are valid after the bit offset; each nibble must lie inside them.
        while (taken + kLengthNibbleBits <= 56) {
            const std::uint32_t nibble = static_cast<std::uint32_t>(bits >> 60);
            bits <<= kLengthNibbleBits;
            taken += kLengthNibbleBits;
            length += nibble;
            if (nibble != kLengthEscape) {
                at.skip(taken);
                matchCount = length;
                goto copy;
            }
        }
    }
    {
    // The 4-bit field that starts with `11`: 5, 6, 7 or the escape to nibbles.
    std::uint32_t field;
    if (!readNibble(at, sourceEnd, field)) {
        matchCount = 0;
        result = status::kInLength | status::kBitsShort;
        goto stop;
    }
    at.skip(kLengthNibbleBits);
    if (field != kLengthEscape) {
        matchCount = 5 + (field & 3);
        goto copy;
    }
    matchCount = kFirstEscapedLength;
}
lengthNibbles:
    for (;;) {
        std::uint32_t nibble;
        if (!readNibble(at, sourceEnd, nibble)) {
            result = status::kInLength | status::kBitsShort;
            goto stop;
        }
        at.skip(kLengthNibbleBits);
        matchCount += nibble;
        if (matchCount > kLargestMatchLength) goto corrupt;
        if (nibble != kLengthEscape) break;
    }

copy: {
    const std::uint32_t room = static_cast<std::uint32_t>(outputEnd - out);
    if (matchCount > room) {
        out = copyMatch(out, matchOffset, room);
        matchCount -= room;
        result = status::kInCopy;
        goto stop;
    }
    if (matchOffset >= 8 && room - matchCount >= 8) {
        // 8-byte moves that may run up to 7 bytes past the match, inside
        // the room, where the next tokens write anyway.
        const std::uint8_t* from = out - matchOffset;
        for (std::uint32_t done = 0; done < matchCount; done += 8) __builtin_memcpy(out + done, from + done, 8);
        out += matchCount;
    } else {
        out = copyMatch(out, matchOffset, matchCount);
    }
    matchCount = 0;
    tokenStatus = status::kSourceShort;
    goto tokens;
}

endMarker:
    at.skip(kEndMarkerBits);
    at.alignToByte();
    result = status::kEndMarker;
    goto stop;

corrupt:
    return status::kCorrupt;

stop:
    *source = at.byte;
    *output = out;
    state.bitPos = at.bit;
    state.matchCount = matchCount;
    state.matchOffset = matchOffset;
    state.status = result;
    return result;
}

// kBitsShort if fewer than two bytes lie ahead, kEndMarker (and the source
// moved past the marker's padding) if the nine bits at bitPos are the end
// marker, else 0. Only a token boundary can hold a marker.
std::uint8_t peekEndMarker(const std::uint8_t** source, const std::uint8_t* const sourceEnd,
                           const DecoderState& state) noexcept {
    if (sourceEnd - *source < 2) return status::kBitsShort;
    if ((state.status & (status::kInitial | status::kFastLimit | status::kSourceShort)) == 0) return 0;
    const std::uint32_t bits = ((std::uint32_t{(*source)[0]} << 24) | (std::uint32_t{(*source)[1]} << 16))
                               << state.bitPos;
    if (!isEndMarker(bits)) return 0;
    Cursor at{*source, state.bitPos};
    at.skip(kEndMarkerBits);
    at.alignToByte();
    *source = at.byte;
    return status::kEndMarker;
}

// ---- One call -------------------------------------------------------------------

void initHeader(Header& header) noexcept {
    header.windowPos = 0;
    header.outputMark = 0;
    header.carryCount = 0;
    header.pendingCount = 0;
    header.bitPos = 0;
    header.magic = kDecompressionMagic;
    header.status = status::kInitial;
    header.control = 0;
    header.saved.valid = 0;
    header.corrupt = 0;
}

inline std::uint32_t smaller(std::uint32_t first, std::uint32_t second) noexcept {
    return first < second ? first : second;
}

// Keeps the last `keep` of the `held` bytes at the start of `window`.
void keepWindowTail(std::uint8_t* window, std::uint32_t held, std::uint32_t keep) noexcept {
    if (held > keep) copyBytes(window, window + (held - keep), keep);
}

// A stored block: copied through, its tail becomes history.
std::uint32_t copyStoredBlock(Header& header, std::uint8_t* window, Pairs& pairs) noexcept {
    if ((header.control & ~(control::kWindowMode | control::kCarryHeld)) != 0 ||
        pairs.sourceCount != pairs.destinationCount || header.pendingCount != 0) {
        return result::kRefused;
    }
    const std::uint32_t length = pairs.sourceCount;
    const std::uint8_t* from = pairs.source;
    std::uint8_t* to = pairs.destination;
    for (std::uint32_t left = length; left != 0;) {
        const std::uint32_t piece = smaller(left, 0xFFFF);
        to = copyBytes(to, from, piece);
        from += piece;
        left -= piece;
    }
    std::uint32_t held = header.windowPos;
    if (held + length > kMaxOffset) {
        const std::uint32_t keep = length > kMaxOffset ? 0 : kMaxOffset - length;
        keepWindowTail(window, held, keep);
        held = keep;
    }
    const std::uint32_t tail = smaller(length, kMaxOffset);
    copyBytes(window + held, pairs.destination + (length - tail), tail);
    header.windowPos = held + tail;
    header.control = control::kWindowMode;
    pairs.source += length;
    pairs.destination += length;
    pairs.sourceCount = 0;
    pairs.destinationCount = 0;
    return result::kSourceEmpty | result::kDestinationFull;
}

std::uint32_t decodeCall(Header& header, std::uint8_t* const window, Pairs& pairs, const std::uint32_t flags,
                         bool& corrupt) noexcept {
    const std::uint8_t* sourcePos = pairs.source;
    const std::uint8_t* const sourceEnd = pairs.source + pairs.sourceCount;
    std::uint8_t* out = pairs.destination;
    std::uint8_t* const outEnd = pairs.destination + pairs.destinationCount;
    std::uint8_t* const windowEnd = window + kWindowSize;
    std::uint32_t result = 0;
    std::uint8_t control = header.control;
    DecoderState state{header.matchCount, header.bitPos, header.matchOffset, header.status};
    // Only between calls of direct decoding does the mark lie before the
    // caller's destination; otherwise each call sets it anew.
    std::uint8_t* outputMark = out;
    if (control != 0 && (control & control::kWindowMode) == 0) outputMark = out - header.outputMark;
    std::uint32_t windowPos = header.windowPos;
    std::uint32_t pendingCount = header.pendingCount;
    std::uint8_t* carry = header.carry;
    std::uint32_t carryCount = header.carryCount;
    std::uint32_t oldCarry = 0;  // carried bytes from earlier calls while decoding from carry

    // Where the decoder reads and writes now.
    const std::uint8_t* decodePos = sourcePos;
    const std::uint8_t* decodeEnd = sourceEnd;
    std::uint8_t* target = out;
    std::uint8_t* targetEnd = outEnd;
    const std::uint8_t* reachStart = outputMark;
    std::uint32_t passStart = 0;  // where this pass into `window` began
    std::uint8_t decoded;

    const auto passBytes = [&]() noexcept { return static_cast<std::uint32_t>(target - (window + passStart)); };
    const auto decodeIntoWindow = [&](std::uint32_t from) noexcept {
        passStart = from;
        target = window + from;
        targetEnd = windowEnd;
        reachStart = window;
    };
    // Recent output of the caller, before `position`, as the start of `window`.
    const auto takeOutputIntoWindow = [&](const std::uint8_t* position) noexcept {
        const std::uint32_t held = smaller(static_cast<std::uint32_t>(position - outputMark), kMaxOffset);
        copyBytes(window, position - held, held);
        return held;
    };
    // Back from `carry` to the caller's source, at the byte that follows
    // the bytes decoded from it.
    const auto leaveCarry = [&]() noexcept {
        control &= static_cast<std::uint8_t>(~(control::kFromCarry | control::kCarryHeld));
        sourcePos += (decodePos - carry) - oldCarry;
        decodePos = sourcePos;
        decodeEnd = sourceEnd;
    };
    const auto oldCarryUsed = [&]() noexcept { return decodePos >= carry + oldCarry; };

    if ((control & control::kWindowMode) == 0) {
        if (control == 0) {
            outputMark = out;
            reachStart = out;
            goto decode;
        }
        goto takeCarry;
    }

    // Window mode: finish a copy into `window` and deliver what waits there.
    outputMark = out;
    for (;;) {
        if ((control & control::kCopyPending) != 0) {
            std::uint8_t* const copyAt = window + windowPos + pendingCount;
            const std::uint32_t count = smaller(state.matchCount, static_cast<std::uint32_t>(windowEnd - copyAt));
            copyMatch(copyAt, state.matchOffset, count);
            pendingCount += count;
            state.matchCount -= count;
            if (state.matchCount == 0) {
                control &= static_cast<std::uint8_t>(~control::kCopyPending);
                state.status |= status::kSourceShort;
            }
        }
        const std::uint32_t room = static_cast<std::uint32_t>(outEnd - out);
        if (room <= pendingCount) {
            out = copyBytes(out, window + windowPos, room);
            // Delivered bytes are history in `window` already.
            outputMark += room;
            result |= result::kDestinationFull;
            control &= static_cast<std::uint8_t>(~control::kTailMode);
            windowPos += room;
            pendingCount -= room;
            if (pendingCount == 0 && (control & control::kCopyPending) == 0) {
                const std::uint8_t* carryPos = carry;
                if ((control & control::kEndPending) != 0 ||
                    peekEndMarker(&carryPos, carry + carryCount, state) == status::kEndMarker) {
                    goto endStream;
                }
            }
            goto finish;
        }
        out = copyBytes(out, window + windowPos, pendingCount);
        outputMark += pendingCount;
        windowPos += pendingCount;
        pendingCount = 0;
        if ((control & control::kEndPending) != 0 && (control & control::kCopyPending) == 0) goto endStream;
        if (windowPos > kMaxOffset) {
            keepWindowTail(window, windowPos, kMaxOffset);
            windowPos = kMaxOffset;
        }
        if ((control & control::kCopyPending) == 0) break;
    }
    decodeIntoWindow(windowPos);

takeCarry:
    control &= static_cast<std::uint8_t>(~control::kCarryHeld);
    if (carryCount != 0) {
        const std::uint32_t added = smaller(pairs.sourceCount, kNewCarryBytes);
        putIntoCarry(carry, carryCount, sourcePos, added);
        oldCarry = carryCount;
        decodePos = carry;
        decodeEnd = carry + carryCount + added;
        control |= control::kFromCarry;
    }

decode:
    for (;;) {
        decoded = decodeTokens(&decodePos, decodeEnd, &target, targetEnd, reachStart, state);
        if (decoded == status::kCorrupt) {
            corrupt = true;
            return result::kRefused;
        }
        if (decoded == status::kEndMarker) goto endMarkerRead;
        if (decoded == status::kInCopy) {
            control |= control::kCopyPending;
            if ((control & control::kWindowMode) == 0) {
                control |= control::kWindowMode;
                windowPos = takeOutputIntoWindow(target);
                pendingCount = 0;
                out = target;
                passStart = windowPos;
                target = window + windowPos;
                goto outputFull;
            }
            if (static_cast<std::uint32_t>(outEnd - out) <= passBytes()) goto outputFull;
            out = copyBytes(out, window + passStart, passBytes());
            keepWindowTail(window, static_cast<std::uint32_t>(target - window), kMaxOffset);
            control &= static_cast<std::uint8_t>(~control::kCopyPending);
            decodeIntoWindow(kMaxOffset);
            continue;
        }
        if (decoded == status::kFastLimit) {
            if ((control & control::kTailMode) != 0) goto outputFull;
            if ((control & control::kWindowMode) != 0) {
                if (passBytes() > static_cast<std::uint32_t>(outEnd - out)) goto outputFull;
                out = copyBytes(out, window + passStart, passBytes());
                control &= static_cast<std::uint8_t>(~control::kWindowMode);
                target = out;
                targetEnd = outEnd;
                reachStart = outputMark;
                continue;
            }
            // Fewer than 16 bytes of room: decode into `window` behind the
            // recent output and fill the room from there.
            control |= control::kTailMode | control::kWindowMode;
            out = target;
            windowPos = takeOutputIntoWindow(target);
            pendingCount = 0;
            decodeIntoWindow(windowPos);
            if (out == outEnd) goto outputFull;
            continue;
        }
        // The source ran short.
        if ((control & control::kFromCarry) != 0) {
            if (oldCarryUsed()) {
                leaveCarry();
                if (pairs.sourceCount >= kNewCarryBytes) continue;
            } else {
                control |= control::kCarryHeld;
            }
        }
        if ((decoded & status::kBitsShort) != 0 || decodePos >= decodeEnd) goto sourceUsedUp;
    }

sourceUsedUp:
    if ((control & control::kWindowMode) != 0) {
        windowPos = passStart;
        pendingCount = passBytes();
    } else {
        out = target;
    }
    result |= result::kSourceEmpty;
    if ((control & control::kCarryHeld) != 0) {
        // Decoding from `carry` stopped inside its old bytes: keep all that is
        // left of it, old and new; the caller's bytes all went into it.
        const std::uint32_t left = static_cast<std::uint32_t>(decodeEnd - decodePos);
        putIntoCarry(carry, 0, decodePos, left);
        carryCount = left;
        control &= static_cast<std::uint8_t>(~control::kFromCarry);
        sourcePos = sourceEnd;
        goto finish;
    }
    goto lookForEnd;

outputFull: {
    // Hand over what the room takes, keep the rest pending.
    const std::uint32_t handed = smaller(static_cast<std::uint32_t>(outEnd - out), passBytes());
    out = copyBytes(out, window + passStart, handed);
    windowPos = passStart + handed;
    pendingCount = passBytes() - handed;
    control &= static_cast<std::uint8_t>(~control::kTailMode);
    result |= result::kDestinationFull;
    if ((control & control::kFromCarry) != 0) {
        control &= static_cast<std::uint8_t>(~control::kFromCarry);
        if (oldCarryUsed()) {
            leaveCarry();
        } else {
            // Still inside the old carried bytes: keep them, take none of
            // the caller's.
            control |= control::kCarryHeld;
            const std::uint32_t left = static_cast<std::uint32_t>(carry + oldCarry - decodePos);
            putIntoCarry(carry, 0, decodePos, left);
            carryCount = left;
            goto finish;
        }
    }
    if (sourceEnd - decodePos <= 1) {
        result |= result::kSourceEmpty;
        decodeEnd = sourceEnd;
    } else {
        // A byte position is all the caller can be handed: the byte that
        // holds the next bit goes into `carry`.
        decodeEnd = decodePos + 1;
    }
}

lookForEnd: {
    const std::uint8_t* markerEnd = decodePos;
    const std::uint8_t found = peekEndMarker(&markerEnd, decodeEnd, state);
    if (found == status::kEndMarker) {
        // The source is used up only if nothing follows the marker.
        result &= ~result::kSourceEmpty;
        sourcePos = markerEnd;
        if (pendingCount == 0) goto endStream;
        control |= control::kEndPending;
        state.bitPos = 0;
        carryCount = 0;
        if (sourcePos == sourceEnd) result |= result::kSourceEmpty;
        goto finish;
    }
    control |= control::kCarryHeld;
    const std::uint32_t left = static_cast<std::uint32_t>(decodeEnd - decodePos);
    putIntoCarry(carry, 0, decodePos, left);
    carryCount = left;
    sourcePos = decodeEnd;
    goto finish;
}

endMarkerRead:
    if ((control & control::kFromCarry) != 0) {
        control &= static_cast<std::uint8_t>(~control::kFromCarry);
        // A marker that ends inside the old carried bytes leaves the
        // caller's source where it was.
        if (oldCarryUsed()) {
            leaveCarry();
        } else {
            decodePos = sourcePos;
            decodeEnd = sourceEnd;
        }
    }
    sourcePos = decodePos;
    if ((control & control::kWindowMode) != 0) {
        control |= control::kEndPending;
        if (passBytes() > static_cast<std::uint32_t>(outEnd - out)) {
            const std::uint32_t handed = static_cast<std::uint32_t>(outEnd - out);
            out = copyBytes(out, window + passStart, handed);
            windowPos = passStart + handed;
            pendingCount = passBytes() - handed;
            control &= static_cast<std::uint8_t>(~control::kTailMode);
            result |= result::kDestinationFull;
            if (sourcePos == sourceEnd) result |= result::kSourceEmpty;
            carryCount = 0;
            state.bitPos = 0;
            goto finish;
        }
        out = copyBytes(out, window + passStart, passBytes());
        windowPos = passStart;
    } else {
        out = target;
    }
    if (out == outEnd) result |= result::kDestinationFull;

endStream: {
    if (sourcePos == sourceEnd) result |= result::kSourceEmpty;
    const std::uint32_t held = windowPos;
    const std::uint32_t produced = static_cast<std::uint32_t>(out - outputMark);
    initHeader(header);
    if ((flags & decompress_flag::kKeepHistoryAcrossEnd) != 0) {
        std::uint32_t kept = held;
        if (held + produced > kMaxOffset) {
            kept = produced > kMaxOffset ? 0 : kMaxOffset - produced;
            keepWindowTail(window, held, kept);
        }
        const std::uint32_t tail = smaller(produced, kMaxOffset);
        copyBytes(window + kept, out - tail, tail);
        header.windowPos = kept + tail;
        header.control = control::kWindowMode;
    }
    pairs.source = const_cast<std::uint8_t*>(sourcePos);
    pairs.sourceCount = static_cast<std::uint32_t>(sourceEnd - sourcePos);
    pairs.destination = out;
    pairs.destinationCount = static_cast<std::uint32_t>(outEnd - out);
    return result | result::kStreamEnd;
}

finish:
    if ((control & control::kWindowMode) == 0) out = target;
    header.control = control;
    header.matchCount = state.matchCount;
    header.bitPos = static_cast<std::uint16_t>(state.bitPos);
    header.matchOffset = static_cast<std::uint16_t>(state.matchOffset);
    header.status = state.status;
    header.windowPos = windowPos;
    header.pendingCount = static_cast<std::uint16_t>(pendingCount);
    header.carryCount = static_cast<std::uint16_t>(carryCount);
    header.outputMark = static_cast<std::uint32_t>(out - outputMark);
    pairs.source = const_cast<std::uint8_t*>(sourcePos);
    pairs.sourceCount = static_cast<std::uint32_t>(sourceEnd - sourcePos);
    pairs.destination = out;
    pairs.destinationCount = static_cast<std::uint32_t>(outEnd - out);
    return result;
}

}  // namespace

std::uint32_t decompressionHistorySize() noexcept { return kDecompressionHistorySize; }

void initDecompressionHistory(void* history) noexcept {
    Header header = loadHeader(history);
    initHeader(header);
    storeHeader(history, header);
}

std::uint32_t decompress(std::uint8_t** source, std::uint8_t** destination, std::uint32_t* sourceCount,
                         std::uint32_t* destinationCount, void* history, std::uint32_t flags) noexcept {
    Header header = loadHeader(history);
    // An uninitialised or poisoned history holds no positions worth
    // restoring: refuse before touching the caller's variables.
    if (header.magic != kDecompressionMagic || header.corrupt != 0) return result::kRefused;
    const CallerVariables caller{source, destination, sourceCount, destinationCount};
    restoreSavedPairs(caller, header.saved);
    if ((flags & ~decompress_flag::kAllowed) != 0) return result::kRefused;
    Pairs pairs = caller.load();
    std::uint8_t* const window = static_cast<std::uint8_t*>(history) + kWindowOffset;

    if ((flags & decompress_flag::kStoredBlock) != 0) {
        const std::uint32_t stored = copyStoredBlock(header, window, pairs);
        if (stored == result::kRefused) return result::kRefused;
        handBackPairs(caller, header.saved, pairs, true, true);
        storeHeader(history, header);
        return stored;
    }

    // Between streams, with nothing to decode: nothing changes.
    if (header.control == 0 && pairs.sourceCount == 0) return result::kSourceEmpty;

    bool corrupt = false;
    const std::uint32_t result = decodeCall(header, window, pairs, flags, corrupt);
    if (corrupt) {
        header.corrupt = 1;
        storeHeader(history, header);
        return result::kRefused;
    }
    handBackPairs(caller, header.saved, pairs, result);
    storeHeader(history, header);
    return result;
}

DecompressionProbe probeDecompressionHistory(const void* history) noexcept {
    const Header header = loadHeader(history);
    const bool initialised = header.magic == kDecompressionMagic;
    const bool windowMode = (header.control & control::kWindowMode) != 0;
    return DecompressionProbe{initialised,
                              initialised && header.corrupt != 0,
                              (header.status & (status::kInitial | status::kFastLimit | status::kSourceShort)) != 0 &&
                                  (header.control & control::kCopyPending) == 0,
                              header.carryCount,
                              windowMode ? smaller(header.windowPos, kMaxOffset) : smaller(header.outputMark, kMaxOffset),
                              header.control,
                              header.status,
                              header.pendingCount};
}

}  // namespace huecl::lzs

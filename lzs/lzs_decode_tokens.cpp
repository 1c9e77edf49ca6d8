// Token decoding.
//
// The exact procedure reads the source four bytes at a time (a "read") and
// decodes every token that lies wholly inside those 32 bits; a match with a
// length of 5 or more ends its read. Before each read it checks both ends:
// fewer than four source bytes left, or the output at its fast limit, stop
// the decoder. Where a call stops therefore depends on how the tokens group
// into reads, and so does what it hands back.
//
// Far from both ends those checks cannot fire, and runs of literals are
// decoded six at a time from a 64-bit look instead (decodeLiteralRuns),
// following the grouping into reads on the side, so that the exact loop
// goes on in the very read it would have reached itself.
#include "lzs/lzs_decode_tokens.h"

#include <cstddef>

#include "common/byte_access.h"
#include "lzs/lzs_format.h"
#include "lzs/lzs_output_window.h"

namespace huecl::lzs {
namespace {

inline constexpr std::uint32_t kReadBytes = 4;
inline constexpr std::uint32_t kReadBits = 8 * kReadBytes;
inline constexpr std::uint32_t kShortOffsetMask = (1u << kShortOffsetBits) - 1;
inline constexpr std::uint32_t kLongOffsetMask = (1u << kLongOffsetBits) - 1;
// Length codes 00, 01, 10 are lengths 2..4; 11 opens the 4-bit field of
// lengths 5..7 (1100..1110) and of the nibbles that follow 1111.
inline constexpr std::uint32_t kLongLengthBits = 0b11;
inline constexpr std::uint32_t kFirstFieldLength = 5;
inline constexpr std::uint32_t kFieldLengthMask = 0b11;
// Matches of up to 7 bytes at an offset of 8 or more are one 8-byte move.
inline constexpr std::uint32_t kWideMove = 8;

// Where the decoder goes next.
enum class TokenStage : std::uint8_t {
    Tokens,         // at a token: reads of four bytes, or the last bytes of the source
    LengthField,    // after a match head with length bits 11: the 4-bit field
    LengthNibbles,  // after the field 1111: nibbles that add to the length
    Copy,           // a match of matchCount bytes at matchOffset
    EndMarker,      // at the end marker: consume it and the padding
    Stop,           // stop with `result` as status
    Corrupt,        // an offset outside the bytes held, or a long-form offset 0
};

// The stage a stored status resumes at.
TokenStage resumeStage(const DecoderState& state) noexcept {
    if ((state.status & status::kAtToken) != 0) return TokenStage::Tokens;
    if ((state.status & status::kInCopy) != 0) return TokenStage::Copy;
    return state.matchCount < kFirstEscapedLength ? TokenStage::LengthField : TokenStage::LengthNibbles;
}

inline bool isEndMarker(std::uint32_t leftAlignedBits) noexcept {
    return (leftAlignedBits >> (32 - kEndMarkerBits)) == kEndMarker;
}

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

// ---- Runs of literals ----------------------------------------------------------------

// Far from both ends a read cannot stop the decoder, and runs of literals
// (most of what incompressible input becomes) are decoded six at a time
// from a 64-bit look at the source, without a check per read. The grouping
// into reads is followed on the side, so the exact loop goes on in the read
// it would have reached itself.
inline constexpr std::uint32_t kLiteralRun = 6;
// The flag bits of six literals in a left-aligned 64-bit look.
inline constexpr std::uint64_t kLiteralRunFlags = 0x8040201008040000ull;
// Reads of literals only in a row before runs are tried.
inline constexpr std::uint32_t kRunStreak = 2;
static_assert(kLiteralRun * kLiteralBits <= 57, "a 64-bit look holds at least 57 bits");
// Source bytes a run needs beyond the read it starts in: its 64-bit looks.
inline constexpr std::ptrdiff_t kRunSourceSlack = 16;
// Output room a run needs beyond its position: its six bytes, then room
// for the exact loop to finish the read it ends in, short of the fast margin.
inline constexpr std::ptrdiff_t kRunOutputSlack = 32;

struct ReadInProgress {
    const std::uint8_t* byte;  // where the read starts
    std::uint32_t used;        // its bits taken so far
};

// Decodes runs of six literals from the read at `readByte` (with `bit`
// bits of it used) while the look starts with six literals and a run
// starts before both limits.
ReadInProgress decodeLiteralRuns(const std::uint8_t* const readByte, std::uint32_t bit, std::uint8_t*& out,
                                 const std::uint8_t* const sourceLimit, const std::uint8_t* const outputLimit) noexcept {
    std::size_t position = bit;  // in bits from readByte
    std::size_t readEnd = kReadBits;
    std::uint64_t look = bytes::loadBigEndian64(readByte) << bit;
    std::uint8_t* o = out;
    do {
        for (std::uint32_t index = 0; index < kLiteralRun; ++index) {
            o[index] = static_cast<std::uint8_t>(look >> (64 - kLiteralBits - kLiteralBits * index));
            // A literal that does not fit the read starts the next one.
            const std::size_t start = position + kLiteralBits * index;
            if (start + kLiteralBits > readEnd) readEnd = (start & ~std::size_t{7}) + kReadBits;
        }
        o += kLiteralRun;
        position += kLiteralRun * kLiteralBits;
        look = bytes::loadBigEndian64(readByte + (position >> 3)) << (position & 7);
    } while ((look & kLiteralRunFlags) == 0 && readByte + (position >> 3) < sourceLimit && o <= outputLimit);
    out = o;
    const std::size_t readStart = readEnd - kReadBits;
    return {readByte + (readStart >> 3), static_cast<std::uint32_t>(position - readStart)};
}

// At `bit` bits behind readByte, the length code of a match with
// `offset`: when a 64-bit look holds all of it and the match fits the room
// with 8 bytes to spare, copies the match as the copy stage would and
// returns the length code's bits; else returns 0 and changes nothing.
std::uint32_t readWholeLength(const std::uint8_t* readByte, std::uint32_t bit, std::uint32_t offset,
                              std::uint8_t*& out, const std::uint8_t* outputEnd) noexcept {
    const std::uint8_t* const fieldByte = readByte + (bit >> 3);
    std::uint64_t look = bytes::loadBigEndian64(fieldByte) << (bit & 7);
    const std::uint32_t field = static_cast<std::uint32_t>(look >> 60);
    std::uint32_t length = kFirstFieldLength + (field & kFieldLengthMask);
    std::uint32_t taken = kLengthNibbleBits;
    if (field == kLengthEscape) {
        length = kFirstEscapedLength;
        for (;;) {
            // 56 bits are valid after the bit offset.
            if (taken + kLengthNibbleBits > 56) return 0;
            look <<= kLengthNibbleBits;
            const std::uint32_t nibble = static_cast<std::uint32_t>(look >> 60);
            taken += kLengthNibbleBits;
            length += nibble;
            if (nibble != kLengthEscape) break;
        }
    }
    if (static_cast<std::ptrdiff_t>(length) + std::ptrdiff_t{kWideMove} > outputEnd - out) return 0;
    if (offset >= kWideMove) {
        const std::uint8_t* const from = out - offset;
        for (std::uint32_t done = 0; done < length; done += kWideMove) {
            bytes::store64(out + done, bytes::load64(from + done));
        }
        out += length;
    } else {
        out = copyMatch(out, offset, length);
    }
    return taken;
}

}  // namespace

namespace {

template <bool kShortcuts>
std::uint8_t decodeTokensWith(const std::uint8_t** source, const std::uint8_t* const sourceEnd, std::uint8_t** output,
                              std::uint8_t* const outputEnd, const std::uint8_t* const reachStart,
                              DecoderState& state) noexcept {
    std::uint8_t* out = *output;
    // Only an end marker may be read once the output reaches the fast limit.
    std::uint8_t* const fastLimit = outputEnd - out >= std::ptrdiff_t{kFastRoom} ? outputEnd - kFastMargin : out;
    Cursor at{*source + (state.bitPos >> 3), state.bitPos & 7};
    std::uint32_t matchCount = state.matchCount;
    std::uint32_t matchOffset = state.matchOffset;
    // What the status says at a token boundary: as on entry, or (after a
    // match went through the copy stage) that the decoder stopped between tokens.
    std::uint8_t tokenStatus = state.status;
    std::uint8_t result = 0;
    // Runs of literals start only while both ends are far.
    const bool runsPossible =
        kShortcuts && sourceEnd - at.byte > kRunSourceSlack && outputEnd - out > kRunOutputSlack;
    const std::uint8_t* const runSourceLimit = runsPossible ? sourceEnd - kRunSourceSlack : at.byte;
    const std::uint8_t* const runOutputLimit = runsPossible ? outputEnd - kRunOutputSlack : out;

    const auto bytesLeft = [&]() noexcept { return sourceEnd - at.byte; };

    // The last bytes of the source: read right-aligned, and only the tokens
    // that lie wholly inside them decoded.
    const auto decodeLastBytes = [&]() noexcept {
        const std::uint32_t count = static_cast<std::uint32_t>(bytesLeft());
        std::uint32_t word = 0;
        for (std::uint32_t index = 0; index < count; ++index) word |= std::uint32_t{at.byte[index]} << (24 - 8 * index);
        word <<= at.bit;
        std::uint32_t available = count * 8 - at.bit;
        if (count == 0 || available < kLiteralBits) {
            result = tokenStatus | status::kBitsShort;
            return TokenStage::Stop;
        }
        if (out >= fastLimit) {
            if (isEndMarker(word)) return TokenStage::EndMarker;
            result = status::kFastLimit;
            return TokenStage::Stop;
        }
        bool decoded = false;
        for (;;) {
            if (available < kLiteralBits) {
                result = (decoded ? status::kSourceShort : tokenStatus) | status::kBitsShort;
                return TokenStage::Stop;
            }
            if ((word >> 31) == 0) {
                *out++ = static_cast<std::uint8_t>(word >> 23);
                word <<= kLiteralBits;
                available -= kLiteralBits;
                at.skip(kLiteralBits);
                decoded = true;
                continue;
            }
            if (isEndMarker(word)) return TokenStage::EndMarker;
            const bool shortForm = ((word >> 30) & 1) != 0;
            const std::uint32_t headBits = shortForm ? kShortOffsetCodeBits : kLongOffsetCodeBits;
            if (available < headBits + 2) {
                result = (decoded ? status::kSourceShort : tokenStatus) | status::kBitsShort;
                return TokenStage::Stop;
            }
            const std::uint32_t offset = shortForm ? (word >> 23) & kShortOffsetMask : (word >> 19) & kLongOffsetMask;
            if (offset == 0 || offset > static_cast<std::uint32_t>(out - reachStart)) return TokenStage::Corrupt;
            const std::uint32_t lengthBits = (word << headBits) >> 30;
            if (lengthBits == kLongLengthBits) {
                at.skip(headBits);
                matchOffset = offset;
                matchCount = 0;
                return TokenStage::LengthField;
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
    };

    // Reads of four bytes, each checked against both ends before it is decoded.
    const auto decodeReads = [&]() noexcept {
        // Reads in a row that held literals only: runs are tried only after
        // a few, so that mixed input does not pay for looking.
        std::uint32_t literalReads = 0;
        for (;;) {
            if (bytesLeft() < std::ptrdiff_t{kReadBytes}) {
                result = status::kSourceShort;
                return TokenStage::Stop;
            }
            std::uint32_t word = bytes::loadBigEndian32(at.byte) << at.bit;
            std::uint32_t used = at.bit;
            if (literalReads >= kRunStreak && at.byte < runSourceLimit && out <= runOutputLimit &&
                ((bytes::loadBigEndian64(at.byte) << at.bit) & kLiteralRunFlags) == 0) {
                // Six literals ahead, far from both ends: runs, then on in the read they end in.
                const ReadInProgress read = decodeLiteralRuns(at.byte, at.bit, out, runSourceLimit, runOutputLimit);
                at.byte = read.byte;
                at.bit = 0;
                used = read.used;
                if (used > kReadBits - kLiteralBits) {
                    // No token fits the rest of this read.
                    at.byte += used >> 3;
                    at.bit = used & 7;
                    continue;
                }
                word = bytes::loadBigEndian32(at.byte) << used;
            } else if (out >= fastLimit) {
                if (isEndMarker(word)) return TokenStage::EndMarker;
                result = status::kFastLimit;
                return TokenStage::Stop;
            }
            // As many tokens as the bits of this read hold; `used` counts the
            // bits of the read behind the cursor's byte.
            const auto settle = [&](std::uint32_t bits) noexcept {
                at.byte += bits >> 3;
                at.bit = bits & 7;
            };
            bool matched = false;
            for (;;) {
                if ((word >> 31) == 0) {
                    if (used > kReadBits - kLiteralBits) break;
                    if (used <= kReadBits - 3 * kLiteralBits) {
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
                matched = true;
                const bool shortForm = ((word >> 30) & 1) != 0;
                const std::uint32_t headBits = shortForm ? kShortOffsetCodeBits : kLongOffsetCodeBits;
                if (used + headBits + 2 > kReadBits) {
                    // Too few bits for a match here; the end marker needs fewer.
                    if (used <= kReadBits - kEndMarkerBits && isEndMarker(word)) {
                        settle(used);
                        return TokenStage::EndMarker;
                    }
                    break;
                }
                const std::uint32_t offset =
                    shortForm ? (word >> 23) & kShortOffsetMask : (word >> 19) & kLongOffsetMask;
                if (offset == 0) {
                    if (!shortForm) return TokenStage::Corrupt;  // a long-form offset 0 would copy the byte being written
                    settle(used);
                    return TokenStage::EndMarker;
                }
                if (offset > static_cast<std::uint32_t>(out - reachStart)) return TokenStage::Corrupt;
                const std::uint32_t lengthBits = (word << headBits) >> 30;
                if (lengthBits == kLongLengthBits) {
                    // Lengths 5 to 7 whose field lies in this read and whose
                    // bytes fit the room are copied here; the read ends with
                    // them as it would after the copy stage.
                    const std::uint32_t field = (word << headBits) >> 28;
                    const std::uint32_t length = kFirstFieldLength + (field & kFieldLengthMask);
                    if (field != kLengthEscape && used + headBits + kLengthNibbleBits <= kReadBits &&
                        outputEnd - out >= std::ptrdiff_t{kWideMove}) {
                        const std::uint8_t* const from = out - offset;
                        if (offset >= kWideMove) {
                            // One 8-byte move, its tail inside the room.
                            bytes::store64(out, bytes::load64(from));
                            out += length;
                        } else {
                            out = copyMatch(out, offset, length);
                        }
                        used += headBits + kLengthNibbleBits;
                        break;
                    }
                    if (kShortcuts && at.byte < runSourceLimit) {
                        // Far from the source end, a length code that a 64-bit
                        // look holds whole and a match that fits the room are
                        // done here, as the length and copy stages would, and
                        // the next read starts behind them.
                        const std::uint32_t codeBits =
                            readWholeLength(at.byte, used + headBits, offset, out, outputEnd);
                        if (codeBits != 0) {
                            used += headBits + codeBits;
                            matchOffset = offset;
                            matchCount = 0;
                            tokenStatus = status::kSourceShort;
                            break;
                        }
                    }
                    settle(used + headBits);
                    matchOffset = offset;
                    matchCount = 0;
                    return TokenStage::LengthField;
                }
                // Four bytes whatever the length: one by one for a period of 1
                // to 3, which then repeats as it should; the bytes beyond the
                // match lie inside the fast margin, written again by the next tokens.
                const std::uint8_t* const from = out - offset;
                if (offset >= kReadBytes) {
                    bytes::store32(out, bytes::load32(from));
                } else {
                    out[0] = from[0];
                    out[1] = from[1];
                    out[2] = from[2];
                    out[3] = from[3];
                }
                out += lengthBits + kMinMatchLength;
                word <<= headBits + 2;
                used += headBits + 2;
            }
            settle(used);
            literalReads = kShortcuts && !matched ? literalReads + 1 : 0;
        }
    };

    // The 4-bit field after length bits 11: 5, 6, 7 or the escape to nibbles.
    const auto decodeLengthField = [&]() noexcept {
        if (sourceEnd - at.byte >= 8) {
            // The whole length code is usually within the next 64 bits: the
            // field, then (for 8 and more) nibbles up to the first that is not 1111.
            std::uint64_t bits = bytes::loadBigEndian64(at.byte) << at.bit;
            const std::uint32_t field = static_cast<std::uint32_t>(bits >> 60);
            if (field != kLengthEscape) {
                at.skip(kLengthNibbleBits);
                matchCount = kFirstFieldLength + (field & kFieldLengthMask);
                return TokenStage::Copy;
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
                    return TokenStage::Copy;
                }
            }
        }
        std::uint32_t field;
        if (!readNibble(at, sourceEnd, field)) {
            matchCount = 0;
            result = status::kInLength | status::kBitsShort;
            return TokenStage::Stop;
        }
        at.skip(kLengthNibbleBits);
        if (field != kLengthEscape) {
            matchCount = kFirstFieldLength + (field & kFieldLengthMask);
            return TokenStage::Copy;
        }
        matchCount = kFirstEscapedLength;
        return TokenStage::LengthNibbles;
    };

    const auto decodeLengthNibbles = [&]() noexcept {
        for (;;) {
            std::uint32_t nibble;
            if (!readNibble(at, sourceEnd, nibble)) {
                result = status::kInLength | status::kBitsShort;
                return TokenStage::Stop;
            }
            at.skip(kLengthNibbleBits);
            matchCount += nibble;
            if (matchCount > kLargestMatchLength) return TokenStage::Corrupt;
            if (nibble != kLengthEscape) return TokenStage::Copy;
        }
    };

    const auto copy = [&]() noexcept {
        const std::uint32_t room = static_cast<std::uint32_t>(outputEnd - out);
        if (matchCount > room) {
            out = copyMatch(out, matchOffset, room);
            matchCount -= room;
            result = status::kInCopy;
            return TokenStage::Stop;
        }
        if (matchOffset >= kWideMove && room - matchCount >= kWideMove) {
            // 8-byte moves that may run up to 7 bytes past the match, inside
            // the room, where the next tokens write anyway.
            const std::uint8_t* from = out - matchOffset;
            for (std::uint32_t done = 0; done < matchCount; done += kWideMove) {
                bytes::store64(out + done, bytes::load64(from + done));
            }
            out += matchCount;
        } else {
            out = copyMatch(out, matchOffset, matchCount);
        }
        matchCount = 0;
        tokenStatus = status::kSourceShort;
        return TokenStage::Tokens;
    };

    TokenStage stage = resumeStage(state);
    for (;;) {
        switch (stage) {
            case TokenStage::Tokens:
                stage = bytesLeft() < std::ptrdiff_t{kReadBytes} ? decodeLastBytes() : decodeReads();
                break;
            case TokenStage::LengthField: stage = decodeLengthField(); break;
            case TokenStage::LengthNibbles: stage = decodeLengthNibbles(); break;
            case TokenStage::Copy: stage = copy(); break;
            case TokenStage::EndMarker:
                at.skip(kEndMarkerBits);
                at.alignToByte();
                result = status::kEndMarker;
                stage = TokenStage::Stop;
                break;
            case TokenStage::Corrupt: return status::kCorrupt;
            case TokenStage::Stop:
                *source = at.byte;
                *output = out;
                state.bitPos = at.bit;
                state.matchCount = matchCount;
                state.matchOffset = matchOffset;
                state.status = result;
                return result;
        }
    }
}

}  // namespace

std::uint8_t decodeTokens(const std::uint8_t** source, const std::uint8_t* sourceEnd, std::uint8_t** output,
                          std::uint8_t* outputEnd, const std::uint8_t* reachStart, DecoderState& state) noexcept {
    return decodeTokensWith<true>(source, sourceEnd, output, outputEnd, reachStart, state);
}

std::uint8_t decodeTokensOneReadAtATime(const std::uint8_t** source, const std::uint8_t* sourceEnd,
                                        std::uint8_t** output, std::uint8_t* outputEnd,
                                        const std::uint8_t* reachStart, DecoderState& state) noexcept {
    return decodeTokensWith<false>(source, sourceEnd, output, outputEnd, reachStart, state);
}

std::uint8_t peekEndMarker(const std::uint8_t** source, const std::uint8_t* const sourceEnd,
                           const DecoderState& state) noexcept {
    if (sourceEnd - *source < 2) return status::kBitsShort;
    if ((state.status & status::kAtToken) == 0) return 0;
    const std::uint32_t bits = ((std::uint32_t{(*source)[0]} << 24) | (std::uint32_t{(*source)[1]} << 16))
                               << state.bitPos;
    if (!isEndMarker(bits)) return 0;
    Cursor at{*source, state.bitPos};
    at.skip(kEndMarkerBits);
    at.alignToByte();
    *source = at.byte;
    return status::kEndMarker;
}

}  // namespace huecl::lzs

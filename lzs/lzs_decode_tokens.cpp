// Token decoding.
//
// The exact procedure reads the source four bytes at a time (a "read") and
// decodes every token that lies wholly inside those 32 bits; a match with a
// length of 5 or more ends its read. Before each read it checks both ends:
// fewer than four source bytes left, or the output at its fast limit, stop
// the decoder. Where a call stops therefore depends on how the tokens group
// into reads, and so does what it hands back.
//
// Far from both ends those checks cannot fire, and tokens are decoded from
// a 64-bit look at the source instead (decodeFar), following the grouping
// into reads on the side, so that the exact loop goes on in the very read
// it would have reached itself, in the state it would have had.
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

// ---- Far from both ends ---------------------------------------------------------------

// Far from both ends no read can stop the decoder, so tokens are decoded
// from a 64-bit look at the source without a check per read: runs of six
// literals at once, literals in groups of up to three whose count comes
// from their flag bits rather than a branch per literal, matches of 2 to 7
// bytes as one 8-byte move, long matches in 8- or 16-byte moves. The
// grouping into reads is followed on the side, and so is what the length
// and copy stages would have left behind (the offset of the last match
// that went through them), so that the exact loop goes on in the very read
// it would have reached itself, in the state it would have had.
//
// Each round of the loop looks at the source once and decodes two items
// from it, each a match of at most 17 bits (a long offset and a 4-bit
// length field) or up to three literals: 57 bits hold them. Branches that
// the mix of literals and matches makes unpredictable cost less here than
// the dependency chain a branch-free decode of each token builds from one
// look to the next (measured: a branch-free literal-or-match decode ran at
// half the speed).
inline constexpr std::uint32_t kLookBits = 57;
inline constexpr std::uint32_t kTokensPerLook = 2;
inline constexpr std::uint32_t kLongestPlainMatch = kLongOffsetCodeBits + kLengthNibbleBits;  // 17
// A round starts only while the source holds its 64-bit look and the first
// four bytes of any read its tokens start, and while the output holds the
// 8-byte stores of its items with the fast margin to spare, so that every
// read that starts inside the loop passes the checks at its start.
inline constexpr std::ptrdiff_t kFarSource = 16;
inline constexpr std::ptrdiff_t kFarOutput = 64;
static_assert(kFarOutput >= kTokensPerLook * 8 + 8 + kFastRoom);
// Long matches are moved in 16-byte pieces that may run up to 15 bytes past
// their end.
inline constexpr std::uint32_t kWidePiece = 16;

// Runs of six literals: the flag bits of six literals in a left-aligned look.
inline constexpr std::uint32_t kLiteralRun = 6;
inline constexpr std::uint64_t kLiteralRunFlags = 0x8040201008040000ull;
static_assert(kLiteralRun * kLiteralBits <= kLookBits);

// Literals decoded together between matches: their count is worked out
// from their flag bits, not branched on.
inline constexpr std::uint32_t kLiteralGroup = 3;
static_assert(kTokensPerLook * kLiteralGroup * kLiteralBits <= kLookBits);
static_assert(kTokensPerLook * kLongestPlainMatch <= kLookBits);

// The bits that a run of 1 to 6 literals leaves in the read it ends in,
// from the bits left in the read it starts in (0..32) and the bit at which
// it starts in its byte: a literal that does not fit the read starts the
// next one.
struct LiteralReadRoom {
    std::uint8_t left[kLiteralRun][kReadBits + 1][8];
};
constexpr LiteralReadRoom makeLiteralReadRoom() noexcept {
    LiteralReadRoom table{};
    for (std::uint32_t count = 1; count <= kLiteralRun; ++count) {
        for (std::uint32_t room = 0; room <= kReadBits; ++room) {
            for (std::uint32_t bit = 0; bit < 8; ++bit) {
                std::uint32_t left = room;
                std::uint32_t at = bit;
                for (std::uint32_t index = 0; index < count; ++index) {
                    if (left < kLiteralBits) left = kReadBits - at;
                    left -= kLiteralBits;
                    at = (at + kLiteralBits) & 7;
                }
                table.left[count - 1][room][bit] = static_cast<std::uint8_t>(left);
            }
        }
    }
    return table;
}
inline constexpr LiteralReadRoom kLiteralReadRoom = makeLiteralReadRoom();

// Length codes by their first four bits (two length bits, then the field
// for 11): 2..4 in two bits, 5..7 in four, 1111 the escape to nibbles.
inline constexpr bool isField(std::uint32_t code) noexcept { return code >= 0b1100; }
inline constexpr std::uint32_t plainLength(std::uint32_t code) noexcept {
    return isField(code) ? kFirstFieldLength + (code & kFieldLengthMask) : kMinMatchLength + (code >> 2);
}

struct ReadInProgress {
    const std::uint8_t* byte;  // where the read starts
    std::uint32_t used;        // its bits taken so far (below 8: none of its tokens yet)
};

// A match's head in a left-aligned look: its offset, the bits of its offset
// form, and the first four bits of its length code.
struct MatchHead {
    std::uint32_t offset;
    std::uint32_t headBits;
    std::uint32_t code;
};
inline MatchHead readMatchHead(const std::uint64_t look) noexcept {
    const bool shortForm = ((look >> 62) & 1) != 0;
    const std::uint32_t offset = shortForm ? static_cast<std::uint32_t>(look >> 55) & kShortOffsetMask
                                           : static_cast<std::uint32_t>(look >> 51) & kLongOffsetMask;
    const std::uint32_t headBits = shortForm ? kShortOffsetCodeBits : kLongOffsetCodeBits;
    return {offset, headBits, static_cast<std::uint32_t>((look << headBits) >> 60)};
}

// Adds the nibbles that follow a length field 1111 at bit `at` from
// `readByte` (each 1111 adds 15, the first below 1111 ends them) to
// `length`, and moves `at` past them. False, with the sum so far, where they
// come within 8 bytes of the source end or the length grows past
// kLargestMatchLength before the last of them.
inline bool readEscapedLength(const std::uint8_t* const readByte, const std::uint8_t* const sourceEnd, std::size_t& at,
                              std::uint32_t& length) noexcept {
    while (readByte + (at >> 3) <= sourceEnd - 8 && length <= kLargestMatchLength) {
        std::uint64_t nibbles = bytes::loadBigEndian64(readByte + (at >> 3)) << (at & 7);
        for (std::uint32_t index = 0; index < kLookBits / kLengthNibbleBits; ++index) {
            const std::uint32_t nibble = static_cast<std::uint32_t>(nibbles >> 60);
            nibbles <<= kLengthNibbleBits;
            at += kLengthNibbleBits;
            length += nibble;
            if (nibble != kLengthEscape) return true;
        }
    }
    return false;
}

// Moves `length` bytes from `offset` back in pieces of 16 bytes, each two
// 8-byte moves one after the other, so that at an offset of 8 or more every
// move reads only bytes already written; for offsets below 8 by copyMatch.
// The pieces may write up to 15 bytes beyond the match.
inline std::uint8_t* moveLongMatch(std::uint8_t* out, std::uint32_t offset, std::uint32_t length) noexcept {
    if (offset < kWideMove) return copyMatch(out, offset, length);
    const std::uint8_t* from = out - offset;
    for (std::uint32_t done = 0; done < length; done += kWidePiece) {
        bytes::store64(out + done, bytes::load64(from + done));
        bytes::store64(out + done + 8, bytes::load64(from + done + 8));
    }
    return out + length;
}

// ---- The decoder ----------------------------------------------------------------------

// One call of the decoder: a stage per member function, each returning the
// stage that follows, and the state they share as members, handed back to
// the caller only where the call stops. With kFarLoop, reads far from both
// ends go through decodeFar first.
template <bool kFarLoop>
class TokenDecoder {
public:
    // decodeTokens with or without the loop far from both ends.
    static std::uint8_t decode(const std::uint8_t** source, const std::uint8_t* sourceEnd, std::uint8_t** output,
                               std::uint8_t* outputEnd, const std::uint8_t* reachStart, DecoderState& state) noexcept;

private:
    TokenDecoder(const std::uint8_t* const source, const std::uint8_t* const sourceEnd, std::uint8_t* const output,
                 std::uint8_t* const outputEnd, const std::uint8_t* const reachStart,
                 const DecoderState& state) noexcept
        : sourceEnd_(sourceEnd), outputEnd_(outputEnd), reachStart_(reachStart),
          fastLimit_(outputEnd - output >= std::ptrdiff_t{kFastRoom} ? outputEnd - kFastMargin : output),
          at_{source + (state.bitPos >> 3), state.bitPos & 7}, out_(output), matchCount_(state.matchCount),
          matchOffset_(state.matchOffset), tokenStatus_(state.status) {}

    // Stage Tokens: reads of four bytes, or the last bytes of the source.
    TokenStage decodeTokens() noexcept {
        return sourceEnd_ - at_.byte < std::ptrdiff_t{kReadBytes} ? decodeLastBytes() : decodeReads();
    }
    TokenStage decodeLastBytes() noexcept;
    TokenStage decodeReads() noexcept;
    TokenStage decodeRead(std::uint32_t word, std::uint32_t used) noexcept;
    ReadInProgress decodeFar(const std::uint8_t* readByte, std::uint32_t used) noexcept;
    TokenStage decodeLengthField() noexcept;
    TokenStage decodeLengthNibbles() noexcept;
    TokenStage copy() noexcept;
    TokenStage consumeEndMarker() noexcept {
        at_.skip(kEndMarkerBits);
        at_.alignToByte();
        return stop(status::kEndMarker);
    }

    TokenStage stop(const std::uint8_t result) noexcept {
        result_ = result;
        return TokenStage::Stop;
    }
    // The cursor `bits` past the start of the read at its byte.
    void settle(const std::uint32_t bits) noexcept {
        at_.byte += bits >> 3;
        at_.bit = bits & 7;
    }

    const std::uint8_t* const sourceEnd_;
    std::uint8_t* const outputEnd_;
    const std::uint8_t* const reachStart_;
    // Only an end marker may be read once the output reaches the fast limit.
    std::uint8_t* const fastLimit_;
    Cursor at_;
    std::uint8_t* out_;
    std::uint32_t matchCount_;
    std::uint32_t matchOffset_;
    // What the status says at a token boundary: as on entry, or (after a
    // match went through the copy stage) that the decoder stopped between tokens.
    std::uint8_t tokenStatus_;
    std::uint8_t result_ = 0;
};

// The decoder lives here, beside the loop over its stages, and is seen
// from nowhere else, so that the compiler keeps its members in registers as
// it would keep locals: a decoder handed by address to a loop that is not
// inlined would go through memory for its cursor and output at every token.
template <bool kFarLoop>
std::uint8_t TokenDecoder<kFarLoop>::decode(const std::uint8_t** const source, const std::uint8_t* const sourceEnd,
                                            std::uint8_t** const output, std::uint8_t* const outputEnd,
                                            const std::uint8_t* const reachStart, DecoderState& state) noexcept {
    TokenDecoder decoder(*source, sourceEnd, *output, outputEnd, reachStart, state);
    TokenStage stage = resumeStage(state);
    for (;;) {
        switch (stage) {
            case TokenStage::Tokens: stage = decoder.decodeTokens(); break;
            case TokenStage::LengthField: stage = decoder.decodeLengthField(); break;
            case TokenStage::LengthNibbles: stage = decoder.decodeLengthNibbles(); break;
            case TokenStage::Copy: stage = decoder.copy(); break;
            case TokenStage::EndMarker: stage = decoder.consumeEndMarker(); break;
            // A corrupt stream leaves the caller's cursor, output and state as they were.
            case TokenStage::Corrupt: return status::kCorrupt;
            case TokenStage::Stop:
                *source = decoder.at_.byte;
                *output = decoder.out_;
                state.bitPos = decoder.at_.bit;
                state.matchCount = decoder.matchCount_;
                state.matchOffset = decoder.matchOffset_;
                state.status = decoder.result_;
                return decoder.result_;
        }
    }
}

// The last bytes of the source: read right-aligned, and only the tokens
// that lie wholly inside them decoded.
template <bool kFarLoop>
TokenStage TokenDecoder<kFarLoop>::decodeLastBytes() noexcept {
    const std::uint32_t count = static_cast<std::uint32_t>(sourceEnd_ - at_.byte);
    std::uint32_t word = 0;
    for (std::uint32_t index = 0; index < count; ++index) word |= std::uint32_t{at_.byte[index]} << (24 - 8 * index);
    word <<= at_.bit;
    std::uint32_t available = count * 8 - at_.bit;
    if (count == 0 || available < kLiteralBits) return stop(tokenStatus_ | status::kBitsShort);
    if (out_ >= fastLimit_) {
        if (isEndMarker(word)) return TokenStage::EndMarker;
        return stop(status::kFastLimit);
    }
    bool decoded = false;
    for (;;) {
        if (available < kLiteralBits) return stop((decoded ? status::kSourceShort : tokenStatus_) | status::kBitsShort);
        if ((word >> 31) == 0) {
            *out_++ = static_cast<std::uint8_t>(word >> 23);
            word <<= kLiteralBits;
            available -= kLiteralBits;
            at_.skip(kLiteralBits);
            decoded = true;
            continue;
        }
        if (isEndMarker(word)) return TokenStage::EndMarker;
        const bool shortForm = ((word >> 30) & 1) != 0;
        const std::uint32_t headBits = shortForm ? kShortOffsetCodeBits : kLongOffsetCodeBits;
        if (available < headBits + 2) {
            return stop((decoded ? status::kSourceShort : tokenStatus_) | status::kBitsShort);
        }
        const std::uint32_t offset = shortForm ? (word >> 23) & kShortOffsetMask : (word >> 19) & kLongOffsetMask;
        if (offset == 0 || offset > static_cast<std::uint32_t>(out_ - reachStart_)) return TokenStage::Corrupt;
        const std::uint32_t lengthBits = (word << headBits) >> 30;
        if (lengthBits == kLongLengthBits) {
            at_.skip(headBits);
            matchOffset_ = offset;
            matchCount_ = 0;
            return TokenStage::LengthField;
        }
        const std::uint32_t length = lengthBits + kMinMatchLength;
        const std::uint8_t* const from = out_ - offset;
        for (std::uint32_t index = 0; index < length; ++index) out_[index] = from[index];
        out_ += length;
        word <<= headBits + 2;
        available -= headBits + 2;
        at_.skip(headBits + 2);
        decoded = true;
    }
}

// Reads of four bytes, each checked against both ends before it is decoded.
// Far from both ends decodeFar goes first, and the read it stops in goes on
// here.
template <bool kFarLoop>
TokenStage TokenDecoder<kFarLoop>::decodeReads() noexcept {
    for (;;) {
        if (sourceEnd_ - at_.byte < std::ptrdiff_t{kReadBytes}) return stop(status::kSourceShort);
        std::uint32_t used = at_.bit;
        bool started = false;  // the read's tokens were begun far from both ends
        if (kFarLoop && sourceEnd_ - at_.byte > kFarSource && outputEnd_ - out_ > kFarOutput) {
            const ReadInProgress read = decodeFar(at_.byte, at_.bit);
            if (read.used < 8) {
                // At the start of a read: a new one is checked against both
                // ends first; the one it began with goes on below.
                const bool moved = read.byte != at_.byte || read.used != at_.bit;
                at_.byte = read.byte;
                at_.bit = read.used;
                if (moved) continue;
                used = at_.bit;
            } else if (read.used > kReadBits - kLiteralBits) {
                // No token fits the rest of this read.
                at_.byte = read.byte + (read.used >> 3);
                at_.bit = read.used & 7;
                continue;
            } else {
                at_.byte = read.byte;
                at_.bit = 0;
                used = read.used;
                started = true;
            }
        }
        const std::uint32_t word = bytes::loadBigEndian32(at_.byte) << used;
        if (!started && out_ >= fastLimit_) {
            if (isEndMarker(word)) return TokenStage::EndMarker;
            return stop(status::kFastLimit);
        }
        const TokenStage next = decodeRead(word, used);
        if (next != TokenStage::Tokens) return next;
    }
}

// As many tokens as the bits of the read at the cursor's byte hold, from
// `word`, its bits after the first `used`. Returns Tokens with the cursor at
// the next read once no further token fits this one.
template <bool kFarLoop>
TokenStage TokenDecoder<kFarLoop>::decodeRead(std::uint32_t word, std::uint32_t used) noexcept {
    for (;;) {
        if ((word >> 31) == 0) {
            if (used > kReadBits - kLiteralBits) break;
            if (used <= kReadBits - 3 * kLiteralBits) {
                // Literals come in runs: store the three that the bits
                // could hold and keep as many as really are literals,
                // which spares a branch per literal. The extra bytes stay
                // inside the fast margin.
                out_[0] = static_cast<std::uint8_t>(word >> 23);
                out_[1] = static_cast<std::uint8_t>(word >> 14);
                out_[2] = static_cast<std::uint8_t>(word >> 5);
                const std::uint32_t second = (~word >> 22) & 1;
                const std::uint32_t third = second & (~word >> 13) & 1;
                const std::uint32_t literals = 1 + second + third;
                out_ += literals;
                word <<= kLiteralBits * literals;
                used += kLiteralBits * literals;
                continue;
            }
            *out_++ = static_cast<std::uint8_t>(word >> 23);
            word <<= kLiteralBits;
            used += kLiteralBits;
            continue;
        }
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
        const std::uint32_t offset = shortForm ? (word >> 23) & kShortOffsetMask : (word >> 19) & kLongOffsetMask;
        if (offset == 0) {
            if (!shortForm) return TokenStage::Corrupt;  // a long-form offset 0 would copy the byte being written
            settle(used);
            return TokenStage::EndMarker;
        }
        if (offset > static_cast<std::uint32_t>(out_ - reachStart_)) return TokenStage::Corrupt;
        const std::uint32_t lengthBits = (word << headBits) >> 30;
        if (lengthBits == kLongLengthBits) {
            // Lengths 5 to 7 whose field lies in this read and whose
            // bytes fit the room are copied here; the read ends with
            // them as it would after the copy stage.
            const std::uint32_t field = (word << headBits) >> 28;
            const std::uint32_t length = kFirstFieldLength + (field & kFieldLengthMask);
            if (field != kLengthEscape && used + headBits + kLengthNibbleBits <= kReadBits &&
                outputEnd_ - out_ >= std::ptrdiff_t{kWideMove}) {
                const std::uint8_t* const from = out_ - offset;
                if (offset >= kWideMove) {
                    // One 8-byte move, its tail inside the room.
                    bytes::store64(out_, bytes::load64(from));
                    out_ += length;
                } else {
                    out_ = copyMatch(out_, offset, length);
                }
                used += headBits + kLengthNibbleBits;
                break;
            }
            settle(used + headBits);
            matchOffset_ = offset;
            matchCount_ = 0;
            return TokenStage::LengthField;
        }
        // Four bytes whatever the length: one by one for a period of 1
        // to 3, which then repeats as it should; the bytes beyond the
        // match lie inside the fast margin, written again by the next tokens.
        const std::uint8_t* const from = out_ - offset;
        if (offset >= kReadBytes) {
            bytes::store32(out_, bytes::load32(from));
        } else {
            out_[0] = from[0];
            out_[1] = from[1];
            out_[2] = from[2];
            out_[3] = from[3];
        }
        out_ += lengthBits + kMinMatchLength;
        word <<= headBits + 2;
        used += headBits + 2;
    }
    settle(used);
    return TokenStage::Tokens;
}

// Decodes from the read at `readByte` (with `used` bits of it taken) while
// both ends are far; stops at a token boundary when a round would come too
// near either end, or before a token it leaves to the exact loop (an end
// marker, a corrupt offset, a long match too near either end). Returns the
// read in progress there, and leaves matchOffset_ (with matchCount_ and
// tokenStatus_) as the length and copy stages of the exact loop would have
// left them. The loop's state stays in locals, stored once at the end.
template <bool kFarLoop>
ReadInProgress TokenDecoder<kFarLoop>::decodeFar(const std::uint8_t* const readByte,
                                                 const std::uint32_t used) noexcept {
    const std::uint8_t* const sourceLimit = sourceEnd_ - kFarSource;
    const std::uint8_t* const outputLimit = outputEnd_ - kFarOutput;
    std::size_t pos = used;           // in bits from readByte
    std::size_t readEnd = kReadBits;  // where the current read ends, in bits from readByte
    std::uint8_t* out = out_;
    std::uint32_t stagedOffset = matchOffset_;  // the offset of the last match through the length and copy stages
    std::uint32_t anyStaged = 0;                // whether any match went through them
    const auto startRead = [](std::size_t at) noexcept { return (at & ~std::size_t{7}) + kReadBits; };

    for (;;) {
        const std::uint8_t* const lookByte = readByte + (pos >> 3);
        if (lookByte >= sourceLimit || out >= outputLimit) break;
        std::uint64_t look = bytes::loadBigEndian64(lookByte) << (pos & 7);
        if ((look & kLiteralRunFlags) == 0) {
            for (std::uint32_t index = 0; index < kLiteralRun; ++index) {
                out[index] = static_cast<std::uint8_t>(look >> (64 - kLiteralBits - kLiteralBits * index));
            }
            out += kLiteralRun;
            readEnd = pos + kLiteralRun * kLiteralBits + kLiteralReadRoom.left[kLiteralRun - 1][readEnd - pos][pos & 7];
            pos += kLiteralRun * kLiteralBits;
            continue;
        }
        bool plain = true;
        for (std::uint32_t token = 0; token < kTokensPerLook; ++token) {
            if ((look >> 63) == 0) {
                // Literals: the bytes of up to kLiteralGroup stored whether
                // or not they are literals, kept as far as they are.
                std::uint32_t count = 1;
                std::uint32_t still = 1;
                for (std::uint32_t index = 0; index < kLiteralGroup; ++index) {
                    out[index] = static_cast<std::uint8_t>(look >> (64 - kLiteralBits - kLiteralBits * index));
                    if (index != 0) {
                        still &= static_cast<std::uint32_t>(~look >> (63 - kLiteralBits * index)) & 1;
                        count += still;
                    }
                }
                out += count;
                readEnd = pos + kLiteralBits * count + kLiteralReadRoom.left[count - 1][readEnd - pos][pos & 7];
                pos += kLiteralBits * count;
                look <<= kLiteralBits * count;
                continue;
            }
            const MatchHead head = readMatchHead(look);
            if (head.code == kLengthEscape || head.offset < kWideMove ||
                head.offset > static_cast<std::uint32_t>(out - reachStart_)) {
                plain = false;
                break;
            }
            // A match of up to 7 bytes at an offset of 8 or more is one 8-byte move.
            bytes::store64(out, bytes::load64(out - head.offset));
            out += plainLength(head.code);
            const bool field = isField(head.code);
            // A match whose head and two length bits do not fit the read
            // starts the next one; a length field that does not fit goes
            // through the length and copy stages; a match with a field ends
            // its read.
            readEnd = pos + head.headBits + 2 > readEnd ? startRead(pos) : readEnd;
            const bool crosses = field && pos + head.headBits + kLengthNibbleBits > readEnd;
            stagedOffset = crosses ? head.offset : stagedOffset;
            anyStaged |= crosses ? 1 : 0;
            const std::uint32_t size = head.headBits + (field ? kLengthNibbleBits : 2);
            pos += size;
            readEnd = field ? startRead(pos) : readEnd;
            look <<= size;
        }
        if (plain) continue;

        // The match at `pos`: an escaped length, a short offset, or one the
        // exact loop decides about.
        const MatchHead head = readMatchHead(look);
        if (head.offset == 0 || head.offset > static_cast<std::uint32_t>(out - reachStart_)) break;
        const std::size_t fitted = head.headBits + 2;
        const std::size_t tokenReadEnd = pos + fitted > readEnd ? startRead(pos) : readEnd;
        if (head.code != kLengthEscape) {
            // 2 to 7 bytes at an offset below 8, byte by byte as the period repeats.
            const std::uint32_t length = plainLength(head.code);
            const std::uint8_t* const from = out - head.offset;
            for (std::uint32_t index = 0; index < length; ++index) out[index] = from[index];
            out += length;
            readEnd = tokenReadEnd;
            const bool field = isField(head.code);
            const bool crosses = field && pos + head.headBits + kLengthNibbleBits > readEnd;
            stagedOffset = crosses ? head.offset : stagedOffset;
            anyStaged |= crosses ? 1 : 0;
            pos += head.headBits + (field ? kLengthNibbleBits : 2);
            readEnd = field ? startRead(pos) : readEnd;
            continue;
        }
        std::size_t at = pos + head.headBits + kLengthNibbleBits;
        std::uint32_t length = kFirstEscapedLength;
        // Too near either end, or a length only a corrupt stream has: the exact loop decides.
        if (!readEscapedLength(readByte, sourceEnd_, at, length) || length > kLargestMatchLength ||
            length > static_cast<std::size_t>(outputEnd_ - out) - kWidePiece) {
            break;
        }
        out = moveLongMatch(out, head.offset, length);
        stagedOffset = head.offset;
        anyStaged = 1;
        pos = at;
        readEnd = startRead(pos);
    }
    out_ = out;
    matchOffset_ = stagedOffset;
    if (anyStaged != 0) {
        matchCount_ = 0;
        tokenStatus_ = status::kSourceShort;
    }
    const std::size_t readStart = readEnd - kReadBits;
    return {readByte + (readStart >> 3), static_cast<std::uint32_t>(pos - readStart)};
}

// The 4-bit field after length bits 11: 5, 6, 7 or the escape to nibbles.
template <bool kFarLoop>
TokenStage TokenDecoder<kFarLoop>::decodeLengthField() noexcept {
    if (sourceEnd_ - at_.byte >= 8) {
        // The whole length code is usually within the next 64 bits: the
        // field, then (for 8 and more) nibbles up to the first that is not 1111.
        std::uint64_t bits = bytes::loadBigEndian64(at_.byte) << at_.bit;
        const std::uint32_t field = static_cast<std::uint32_t>(bits >> 60);
        if (field != kLengthEscape) {
            at_.skip(kLengthNibbleBits);
            matchCount_ = kFirstFieldLength + (field & kFieldLengthMask);
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
                at_.skip(taken);
                matchCount_ = length;
                return TokenStage::Copy;
            }
        }
    }
    std::uint32_t field;
    if (!readNibble(at_, sourceEnd_, field)) {
        matchCount_ = 0;
        return stop(status::kInLength | status::kBitsShort);
    }
    at_.skip(kLengthNibbleBits);
    if (field != kLengthEscape) {
        matchCount_ = kFirstFieldLength + (field & kFieldLengthMask);
        return TokenStage::Copy;
    }
    matchCount_ = kFirstEscapedLength;
    return TokenStage::LengthNibbles;
}

// Nibbles after the field 1111, each adding to the length, up to the first
// that is not 1111.
template <bool kFarLoop>
TokenStage TokenDecoder<kFarLoop>::decodeLengthNibbles() noexcept {
    for (;;) {
        std::uint32_t nibble;
        if (!readNibble(at_, sourceEnd_, nibble)) return stop(status::kInLength | status::kBitsShort);
        at_.skip(kLengthNibbleBits);
        matchCount_ += nibble;
        if (matchCount_ > kLargestMatchLength) return TokenStage::Corrupt;
        if (nibble != kLengthEscape) return TokenStage::Copy;
    }
}

// A match of matchCount_ bytes at matchOffset_, as far as the room goes.
template <bool kFarLoop>
TokenStage TokenDecoder<kFarLoop>::copy() noexcept {
    const std::uint32_t room = static_cast<std::uint32_t>(outputEnd_ - out_);
    if (matchCount_ > room) {
        out_ = copyMatch(out_, matchOffset_, room);
        matchCount_ -= room;
        return stop(status::kInCopy);
    }
    if (matchOffset_ >= kWideMove && room - matchCount_ >= kWideMove) {
        // 8-byte moves that may run up to 7 bytes past the match, inside
        // the room, where the next tokens write anyway.
        const std::uint8_t* from = out_ - matchOffset_;
        for (std::uint32_t done = 0; done < matchCount_; done += kWideMove) {
            bytes::store64(out_ + done, bytes::load64(from + done));
        }
        out_ += matchCount_;
    } else {
        out_ = copyMatch(out_, matchOffset_, matchCount_);
    }
    matchCount_ = 0;
    tokenStatus_ = status::kSourceShort;
    return TokenStage::Tokens;
}

}  // namespace

std::uint8_t decodeTokens(const std::uint8_t** source, const std::uint8_t* sourceEnd, std::uint8_t** output,
                          std::uint8_t* outputEnd, const std::uint8_t* reachStart, DecoderState& state) noexcept {
    return TokenDecoder<kFarLoopPays>::decode(source, sourceEnd, output, outputEnd, reachStart, state);
}

std::uint8_t decodeTokensWithFarLoop(const std::uint8_t** source, const std::uint8_t* sourceEnd, std::uint8_t** output,
                                     std::uint8_t* outputEnd, const std::uint8_t* reachStart,
                                     DecoderState& state) noexcept {
    return TokenDecoder<true>::decode(source, sourceEnd, output, outputEnd, reachStart, state);
}

std::uint8_t decodeTokensOneReadAtATime(const std::uint8_t** source, const std::uint8_t* sourceEnd,
                                        std::uint8_t** output, std::uint8_t* outputEnd, const std::uint8_t* reachStart,
                                        DecoderState& state) noexcept {
    return TokenDecoder<false>::decode(source, sourceEnd, output, outputEnd, reachStart, state);
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

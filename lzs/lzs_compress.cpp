// LZS compressor: match finder, token writer and the call protocol that
// lets a stream run over any number of calls and any output split.
#include "lzs/lzs_compress.h"

#include "common/byte_access.h"

#include <bit>
#include <cstddef>
#include <cstdint>

namespace huecl::lzs {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the match comparison finds the first differing byte from the low end of a word");

// A match code grows in chunks of at most this many bits, so that a chunk
// and the bits still free in the buffer never need more than 32 bits.
constexpr std::uint32_t kMaxCodeChunkBits = 28;
// The closing code: the end marker followed by the length code 00. Only
// the bytes up to the marker's last bit are ever stored.
constexpr std::uint32_t kEndCode = kEndMarker << 2;
constexpr std::uint32_t kEndCodeBits = kEndMarkerBits + 2;
// Once a candidate matches this many byte pairs beyond its first five
// bytes (57 bytes in all), no further candidate is examined.
constexpr std::uint32_t kLongMatchPairs = 25;
// Bytes kept back with flag 2 so that a stream can always be closed.
constexpr std::uint32_t kCloseReserve = 12;
constexpr std::uint32_t kWordBytes = 4;
constexpr std::uint32_t kBitBufferBits = 8 * kWordBytes;
// Stand-in match that makes a paused stream stop right after its literals.
constexpr std::uint16_t kPauseMatchOffset = 2047;
constexpr std::uint32_t kPauseMatchLength = 200;
// Lower bound of the destination count, except while a stream is paused.
constexpr std::uint32_t kMinDestinationCount = 16;
// matchLength values from here on mean "length nibbles pending".
constexpr std::uint32_t kNibblePhase = kLengthNibbleStep;
// Only the low byte of the performance argument is the search budget.
constexpr std::uint32_t kBudgetMask = 0xFF;
// Positions count up as unsigned 32-bit numbers. A new stream empties the
// hash heads and starts again from position 0 once the position has
// reached the wrap guard: for a stream that this call closes, the guard
// leaves room below 2^32 for the gap and the whole of this call's source;
// for a stream that may run on into later calls it is one above the gap.
constexpr std::uint32_t kClosingWrapGuard = 0u - kNewStreamGap;  // 0xFFFFF800, less this call's source
constexpr std::uint32_t kOpenWrapGuard = kClosingWrapGuard + 1;  // 0xFFFFF801
// A fresh history's position: at or past every wrap guard, so that the
// first stream starts from position 0 with empty heads.
constexpr std::uint32_t kFreshPosition = 0xFFFFFFFFu;

// Bytes equal from the start of a and b, counting at most limit.
inline std::uint32_t commonPrefix(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t limit) noexcept {
    std::uint32_t length = 0;
    while (limit - length >= sizeof(std::size_t)) {
        const std::size_t difference =
            bytes::loadNative<std::size_t>(a + length) ^ bytes::loadNative<std::size_t>(b + length);
        if (difference != 0) return length + static_cast<std::uint32_t>(std::countr_zero(difference)) / 8;
        length += sizeof(std::size_t);
    }
    while (length < limit && a[length] == b[length]) ++length;
    return length;
}

struct FoundMatch {
    std::uint32_t length;
    std::uint32_t distance;
};

// Longest-match stage of the scan at src (whose running position is
// `position`), from `candidate`, whose first three bytes match: every
// candidate along the chain, the first included, is examined and then
// charged (two of the budget for four matching bytes or more, one for
// fewer); the nearest of equals wins.
inline FoundMatch findLongestMatch(const std::uint8_t* const src, const std::uint8_t* const srcEnd,
                                   const std::uint32_t* const chain, const std::uint32_t position,
                                   std::uint32_t candidate, const std::uint32_t budget) noexcept {
    std::uint32_t distance = position - candidate;
    FoundMatch best{3, distance};
    const std::uint32_t currentWord = bytes::load32(src);
    const std::uint32_t pairLimit = static_cast<std::uint32_t>(srcEnd - src - 5) & ~1u;
    std::int32_t left = static_cast<std::int32_t>(budget);
    for (;;) {
        const std::uint8_t* const earlier = src - distance;
        std::uint32_t length = 0;
        if (bytes::load32(earlier) == currentWord) {
            length = 4;
            if (earlier[4] == src[4]) {
                const std::uint32_t more = commonPrefix(src + 5, earlier + 5, pairLimit);
                length = 5 + more;
                if (more / 2 > kLongMatchPairs) left = 0;
            }
        }
        if (length > best.length) best = {length, distance};
        left -= length >= 4 ? 2 : 1;
        if (left <= 0) break;
        candidate = chain[candidate % kChainSlots];
        distance = position - candidate;
        if (distance > kMaxOffset) break;
    }
    return best;
}

// Output side of the token writer: a 32-bit buffer filled from its top
// bit down and stored a word at a time, most significant byte first.
struct BitSink {
    std::uint8_t* out;
    std::uint8_t* outEnd;
    std::uint32_t storeReserve;  // a word is stored only while this much room is left
    std::uint32_t bitBuffer;
    std::uint32_t freeBits;
    std::uint32_t pendingCode;

    std::uint32_t room() const noexcept { return static_cast<std::uint32_t>(outEnd - out); }

    // Adds a token. A token that fills the buffer stores it, unless the
    // output is at its limit: then the full buffer stays, the token is
    // kept whole and freeBits becomes the number of its bits that did not
    // fit, and false is returned.
    bool put(std::uint32_t code, std::uint32_t bits) noexcept {
        if (bits < freeBits) {
            freeBits -= bits;
            bitBuffer |= code << freeBits;
            return true;
        }
        const std::uint32_t overflow = bits - freeBits;
        bitBuffer |= code >> overflow;
        if (room() < storeReserve) {
            pendingCode = code;
            freeBits = overflow;
            return false;
        }
        bytes::storeBigEndian32(out, bitBuffer);
        out += kWordBytes;
        freeBits = kBitBufferBits - overflow;
        bitBuffer = overflow == 0 ? 0 : code << freeBits;
        return true;
    }

    // After an interruption the full word has gone out; the buffer starts
    // again with the bits of the interrupted token that did not fit.
    void rebuild() noexcept {
        const std::uint32_t overflow = freeBits;
        freeBits = kBitBufferBits - overflow;
        bitBuffer = overflow == 0 ? 0 : pendingCode << freeBits;
    }
};

// Literals from literalStart up to end: an odd one alone, then pairs.
// literalStart moves past each token before it is written, so that after
// an interruption it marks the first literal not yet in the stream.
inline CoreState writeLiteralRun(BitSink& sink, std::uint8_t*& literalStart, const std::uint8_t* end) noexcept {
    if (((end - literalStart) & 1) != 0) {
        const std::uint32_t literal = *literalStart++;
        if (!sink.put(literal, kLiteralBits)) return CoreState::OutputFullLiteral;
    }
    while (literalStart != end) {
        const std::uint32_t pair = (static_cast<std::uint32_t>(literalStart[0]) << kLiteralBits) | literalStart[1];
        literalStart += 2;
        if (!sink.put(pair, kLiteralPairBits)) return CoreState::OutputFullLiteralPair;
    }
    return CoreState::Scanning;
}

// Appends nibbles for rest more bytes of length. A chunk that cannot take
// another nibble goes into the buffer first; while it is in flight,
// matchLength holds 15 plus the length still to code, so that a close can
// end the length early and give the uncoded bytes back.
inline bool writeLengthNibbles(BitSink& sink, std::uint32_t& matchLength, std::uint32_t code, std::uint32_t bits,
                               std::uint32_t rest) noexcept {
    for (;;) {
        if (bits + kLengthNibbleBits > kMaxCodeChunkBits) {
            matchLength = kNibblePhase + rest;
            if (!sink.put(code, bits)) return false;
            code = 0;
            bits = 0;
        }
        const std::uint32_t nibble = rest >= kLengthNibbleStep ? kLengthEscape : rest;
        code = (code << kLengthNibbleBits) | nibble;
        bits += kLengthNibbleBits;
        if (nibble != kLengthEscape) break;
        rest -= kLengthNibbleStep;
    }
    matchLength = 0;
    return sink.put(code, bits);
}

// The whole code of a match: offset form, then the length code.
inline bool writeMatchCode(BitSink& sink, std::uint32_t& matchLength, std::uint32_t distance,
                           std::uint32_t length) noexcept {
    std::uint32_t code;
    std::uint32_t bits;
    if (distance < kShortOffsetLimit) {
        code = (kShortOffsetPrefix << kShortOffsetBits) | distance;
        bits = kShortOffsetCodeBits;
    } else {
        code = (kLongOffsetPrefix << kLongOffsetBits) | distance;
        bits = kLongOffsetCodeBits;
    }
    if (length < kFirstEscapedLength) {
        const LengthCode lengthCode = shortLengthCode(length);
        matchLength = length;
        return sink.put((code << lengthCode.bits) | lengthCode.value, bits + lengthCode.bits);
    }
    return writeLengthNibbles(sink, matchLength, (code << kLengthNibbleBits) | kLengthEscape, bits + kLengthNibbleBits,
                              length - kFirstEscapedLength);
}

// Room a word store must leave: with flag 2, the reserve that a close
// needs. A paused stream may go on in less room than the reserve; such a
// call stores words up to the end of its output like one without flag 2,
// and the stream spills into the next call, since no close would fit.
constexpr std::uint32_t storeReserveFor(std::uint32_t flags, const Pairs& pairs) noexcept {
    const bool reserveFits = pairs.destinationCount >= kCloseReserve;
    return (flags & compress_flag::kCloseWhenFull) != 0 && reserveFits ? kWordBytes + kCloseReserve : kWordBytes;
}

class Compressor {
public:
    Compressor(CompressionHistory& history, const Pairs& pairs, std::uint32_t flags, std::uint32_t budget) noexcept
        : h_(history), flags_(flags), budget_(budget), callerSource_(pairs.source), callerCount_(pairs.sourceCount),
          handedBack_(pairs), sink_{pairs.destination,
                                    pairs.destination + pairs.destinationCount,
                                    storeReserveFor(flags, pairs),
                                    history.bitBuffer,
                                    history.freeBits,
                                    0},
          position_(history.position) {}

    std::uint32_t run() noexcept;
    const Pairs& handedBack() noexcept {
        handedBack_.destination = sink_.out;
        handedBack_.destinationCount = static_cast<std::uint32_t>(sink_.outEnd - sink_.out);
        return handedBack_;
    }

private:
    // Stores the top bytes of the 64-bit value (bitBuffer, pendingCode)
    // while room lasts; the rest stays at the top for a later call.
    bool flushPendingBytes() noexcept {
        std::uint64_t bytes = (static_cast<std::uint64_t>(sink_.bitBuffer) << kBitBufferBits) | sink_.pendingCode;
        while (h_.pendingBytes != 0 && sink_.out < sink_.outEnd) {
            *sink_.out++ = static_cast<std::uint8_t>(bytes >> 56);
            bytes <<= 8;
            --h_.pendingBytes;
        }
        sink_.bitBuffer = static_cast<std::uint32_t>(bytes >> kBitBufferBits);
        if ((h_.control & control_bit::kClosing) != 0) sink_.pendingCode = static_cast<std::uint32_t>(bytes);
        return h_.pendingBytes == 0;
    }

    // ---- match finder and token writer ----
    CoreState findAndEmit() noexcept;
    CoreState scan() noexcept;
    CoreState writeMatchAndScan() noexcept;
    void enterPosition(const std::uint8_t* at, std::uint32_t position) noexcept {
        const std::uint32_t hash = hashOfPair(at[0], at[1]);
        h_.chain[position % kChainSlots] = h_.head[hash];
        h_.head[hash] = position;
    }
    bool pendingMatchIsPauseStandIn() const noexcept { return (h_.control & control_bit::kPaused) != 0; }

    // ---- call protocol ----
    void startNewStream() noexcept;
    void continueThroughHistoryArea() noexcept;
    void scanCallerSource(std::uint8_t* from) noexcept {
        scanBase_ = callerSource_;
        src_ = from;
        srcEnd_ = callerSource_ + callerCount_;
    }
    void scanHistoryArea(std::uint32_t fromOffset) noexcept {
        scanBase_ = h_.historyArea;
        src_ = h_.historyArea + fromOffset;
        srcEnd_ = h_.historyArea + h_.historyFill;
    }
    std::uint8_t* callerPointerOf(const std::uint8_t* scanPointer) const noexcept;
    std::uint32_t actOnStates() noexcept;
    std::uint32_t close(bool afterOverflow) noexcept;
    std::uint32_t afterClose() noexcept;
    std::uint32_t outputFull(CoreState state) noexcept;
    std::uint32_t closeInReserve(CoreState state) noexcept;
    std::uint32_t pause() noexcept;
    void keepSourceAsHistory() noexcept;
    void useWholeSource() noexcept {
        handedBack_.source = callerSource_ + callerCount_;
        handedBack_.sourceCount = 0;
    }
    void saveState() noexcept;

    CompressionHistory& h_;
    const std::uint32_t flags_;
    const std::uint32_t budget_;
    std::uint8_t* const callerSource_;
    const std::uint32_t callerCount_;
    Pairs handedBack_;
    BitSink sink_;
    std::uint32_t position_;  // always the position of src_
    std::uint32_t result_ = 0;
    CoreState coreState_ = CoreState::Scanning;
    bool historyKept_ = false;  // this stream's bytes are in historyArea and position_ is final

    std::uint8_t* scanBase_ = nullptr;
    std::uint8_t* src_ = nullptr;
    const std::uint8_t* srcEnd_ = nullptr;
    std::uint8_t* literalStart_ = nullptr;
};

// ---------------------------------------------------------------------------
// Match finder and token writer

CoreState Compressor::findAndEmit() noexcept {
    switch (coreState_) {
        case CoreState::Scanning: return scan();
        case CoreState::ScanLimit:
            // The source has ended (src_ is at its end): every byte left is
            // a literal, then the closing code or the paused stream's
            // stand-in follows.
            [[fallthrough]];
        case CoreState::OutputFullLiteral:
        case CoreState::OutputFullLiteralPair: {
            if (coreState_ != CoreState::ScanLimit) sink_.rebuild();
            const CoreState state = writeLiteralRun(sink_, literalStart_, src_);
            if (state != CoreState::Scanning) return state;
            return writeMatchAndScan();
        }
        case CoreState::OutputFullMatchCode:
            sink_.rebuild();
            if (h_.matchLength >= kNibblePhase &&
                !writeLengthNibbles(sink_, h_.matchLength, 0, 0, h_.matchLength - kNibblePhase)) {
                return CoreState::OutputFullMatchCode;
            }
            return scan();
        case CoreState::PausedOnMatch: break;
    }
    return CoreState::PausedOnMatch;
}

// The code of the match (or closing code) that follows a literal run.
CoreState Compressor::writeMatchAndScan() noexcept {
    if (pendingMatchIsPauseStandIn()) return CoreState::PausedOnMatch;
    if (h_.matchOffset == 0) {
        h_.matchLength = kMinMatchLength;
        if (!sink_.put(kEndCode, kEndCodeBits)) return CoreState::OutputFullMatchCode;
        return CoreState::ScanLimit;
    }
    const std::uint32_t length = h_.matchLength;
    src_ += length;
    position_ += length;
    literalStart_ = src_;
    if (!writeMatchCode(sink_, h_.matchLength, h_.matchOffset, length)) return CoreState::OutputFullMatchCode;
    return scan();
}

CoreState Compressor::scan() noexcept {
    std::uint32_t* const chain = h_.chain;
    std::uint32_t* const head = h_.head;
    const std::uint32_t budget = budget_;
    const std::uint32_t enterFlags = flags_ & (compress_flag::kEnterMatchLast | compress_flag::kEnterMatchAll);
    const std::uint8_t* const srcEnd = srcEnd_;
    std::uint8_t* src = src_;
    std::uint32_t position = position_;
    // A local copy that no table store can alias, kept in registers.
    BitSink sink = sink_;
    std::uint8_t* literalStart = literalStart_;
    // Every way out of the loop stores the locals back below; the scan
    // limit, unless the output fills first.
    CoreState stopState = CoreState::ScanLimit;

    // No match starts in the last four bytes: they are left to the end.
    while (srcEnd - src > 4) {
        const std::uint32_t hash = hashOfPair(src[0], src[1]);
        std::uint32_t candidate = head[hash];
        head[hash] = position;
        chain[position % kChainSlots] = candidate;

        // Two-byte stage. A head beyond reach ends the search at once:
        // the chain behind it is older still (or was never written).
        std::uint32_t distance = position - candidate;
        if (distance > kMaxOffset) {
            ++src;
            ++position;
            continue;
        }
        const std::uint16_t currentPair = bytes::load16(src);
        auto pairMatches = [&](std::uint32_t back) { return bytes::load16(src - back) == currentPair; };
        bool found = pairMatches(distance);
        for (std::uint32_t left = budget; !found && left != 0; --left) {
            candidate = chain[candidate % kChainSlots];
            distance = position - candidate;
            if (distance > kMaxOffset) break;
            found = pairMatches(distance);
        }
        if (!found) {
            ++src;
            ++position;
            continue;
        }

        // Three-byte stage, with a fresh budget.
        std::uint32_t matchLength = kMinMatchLength;
        std::uint32_t matchDistance = distance;
        bool three = src[2] == src[2 - static_cast<std::ptrdiff_t>(distance)];
        for (std::uint32_t left = budget; !three && left != 0; --left) {
            candidate = chain[candidate % kChainSlots];
            distance = position - candidate;
            if (distance > kMaxOffset) break;
            three = pairMatches(distance) && src[2] == src[2 - static_cast<std::ptrdiff_t>(distance)];
        }

        if (three) {
            const FoundMatch longest = findLongestMatch(src, srcEnd, chain, position, candidate, budget);
            matchLength = longest.length;
            matchDistance = longest.distance;
        }

        // Positions inside the match enter the chains only on request. The
        // last position of a match that reaches the source end is never
        // entered: its key would need the byte after the source.
        if (enterFlags != 0) {
            const bool reachesEnd = src + matchLength == srcEnd;
            if (matchLength == kMinMatchLength) {
                enterPosition(src + 1, position + 1);
            } else if ((enterFlags & compress_flag::kEnterMatchAll) != 0 && matchDistance > 1) {
                const std::uint32_t last = reachesEnd ? matchLength - 1 : matchLength;
                for (std::uint32_t k = 1; k < last; ++k) enterPosition(src + k, position + k);
            } else if (!reachesEnd) {
                enterPosition(src + matchLength - 1, position + matchLength - 1);
            }
        }

        const CoreState runState = writeLiteralRun(sink, literalStart, src);
        if (runState != CoreState::Scanning) {
            h_.matchOffset = static_cast<std::uint16_t>(matchDistance);
            h_.matchLength = matchLength;
            stopState = runState;
            break;
        }
        src += matchLength;
        position += matchLength;
        literalStart = src;
        if (!writeMatchCode(sink, h_.matchLength, matchDistance, matchLength)) {
            stopState = CoreState::OutputFullMatchCode;
            break;
        }
    }
    src_ = src;
    position_ = position;
    sink_ = sink;
    literalStart_ = literalStart;
    return stopState;
}

// ---------------------------------------------------------------------------
// Call protocol

void Compressor::startNewStream() noexcept {
    const std::uint32_t wrapGuard =
        (flags_ & compress_flag::kCloseAtEnd) != 0 ? kClosingWrapGuard - callerCount_ : kOpenWrapGuard;
    if (position_ >= wrapGuard) {
        for (std::uint32_t& entry : h_.head) entry = 0;
        position_ = 0;
    }
    position_ += kNewStreamGap;
    h_.callStartPos = position_;
    h_.historyFill = 0;
    h_.control = 0;
    sink_.bitBuffer = 0;
    sink_.freeBits = kBitBufferBits;
    scanCallerSource(callerSource_);
}

// A paused stream refers back into earlier calls' bytes, so this call's
// bytes are appended behind the kept ones and scanned there.
void Compressor::continueThroughHistoryArea() noexcept {
    h_.control = static_cast<std::uint8_t>((h_.control & ~control_bit::kPaused) | control_bit::kThroughHistoryArea);
    std::uint32_t fill = h_.historyFill;
    if (fill > kMaxOffset && callerCount_ > kHistoryAreaBytes - fill) {
        for (std::uint32_t k = 0; k < kMaxOffset; ++k) h_.historyArea[k] = h_.historyArea[fill - kMaxOffset + k];
        fill = kMaxOffset;
    }
    const std::uint32_t room = kHistoryAreaBytes - fill;
    const std::uint32_t appended = callerCount_ < room ? callerCount_ : room;
    // An empty source may come as a null pointer, which no copy may see.
    if (appended != 0) __builtin_memcpy(h_.historyArea + fill, callerSource_, appended);
    h_.historyFill = static_cast<std::uint16_t>(fill + appended);
    scanHistoryArea(fill);
}

std::uint8_t* Compressor::callerPointerOf(const std::uint8_t* scanPointer) const noexcept {
    if ((h_.control & control_bit::kThroughHistoryArea) == 0) return const_cast<std::uint8_t*>(scanPointer);
    const std::uint32_t scanned = position_ - h_.callStartPos - static_cast<std::uint32_t>(src_ - scanPointer);
    return callerSource_ + scanned;
}

std::uint32_t Compressor::run() noexcept {
    const std::uint8_t interruptedBits = h_.control & (control_bit::kClosing | control_bit::kOutputFullStates);
    if (interruptedBits != 0) {
        // The last call filled the output: first the bytes it could not
        // store, then carry on exactly where it stopped.
        sink_.pendingCode = h_.pendingCode;
        if (!flushPendingBytes()) {
            saveState();
            return result::kDestinationFull;
        }
        h_.control = static_cast<std::uint8_t>(h_.control & ~interruptedBits);
        result_ = h_.savedResult;
        if ((interruptedBits & control_bit::kClosing) != 0) {
            useWholeSource();
            historyKept_ = true;
            return afterClose();
        }
        if ((h_.control & control_bit::kThroughHistoryArea) != 0) {
            scanHistoryArea(h_.resumeOffset);
        } else {
            scanCallerSource(callerSource_ + h_.resumeOffset);
        }
        literalStart_ = scanBase_ + h_.literalStartOffset;
        coreState_ = static_cast<CoreState>(h_.coreState);
        sink_.freeBits = h_.freeBits;
        return actOnStates();
    }

    h_.callStartPos = position_;
    if ((h_.control & control_bit::kPaused) != 0 && (h_.control & control_bit::kClosed) == 0) {
        continueThroughHistoryArea();
    } else {
        startNewStream();
    }
    literalStart_ = src_;
    coreState_ = CoreState::Scanning;
    return actOnStates();
}

std::uint32_t Compressor::actOnStates() noexcept {
    for (;;) {
        const CoreState state = findAndEmit();
        const bool sourceEnded = (result_ & result::kSourceEmpty) != 0;
        if (state == CoreState::OutputFullMatchCode && sourceEnded && (flags_ & compress_flag::kCloseAtEnd) != 0) {
            return close(true);
        }
        if (state == CoreState::OutputFullLiteral || state == CoreState::OutputFullMatchCode ||
            state == CoreState::OutputFullLiteralPair) {
            return outputFull(state);
        }
        if (state == CoreState::PausedOnMatch) return pause();
        if (sourceEnded) return close(false);

        // The scan reached its limit.
        if ((h_.control & control_bit::kThroughHistoryArea) != 0) {
            const std::uint32_t scanned = position_ - h_.callStartPos;
            std::uint8_t* const literalStart = callerPointerOf(literalStart_);
            std::uint8_t* const scanPoint = callerSource_ + scanned;
            h_.control = static_cast<std::uint8_t>(h_.control & ~control_bit::kThroughHistoryArea);
            scanCallerSource(scanPoint);
            literalStart_ = literalStart;
            if (scanned >= kMaxOffset) {
                // The last 2047 bytes now lie in the caller's own source.
                h_.historyFill = 0;
                coreState_ = CoreState::Scanning;
                continue;
            }
        }
        position_ = h_.callStartPos + callerCount_;
        src_ = const_cast<std::uint8_t*>(srcEnd_);
        result_ |= result::kSourceEmpty;
        useWholeSource();
        h_.matchOffset = 0;
        h_.matchLength = kMinMatchLength;
        if ((flags_ & compress_flag::kCloseAtEnd) == 0) {
            h_.matchOffset = kPauseMatchOffset;
            h_.matchLength = kPauseMatchLength;
            h_.control |= control_bit::kPaused;
        }
        coreState_ = CoreState::ScanLimit;
    }
}

// Stores the bytes up to the one that holds the end marker's last bit.
std::uint32_t Compressor::close(bool afterOverflow) noexcept {
    useWholeSource();
    std::uint32_t closeBytes;
    if (afterOverflow) {
        // The closing code filled the buffer: the full word, then the
        // code's remaining bits less its two padding bits.
        const std::uint32_t overflow = sink_.freeBits;
        sink_.pendingCode = overflow == 0 ? 0 : sink_.pendingCode << (kBitBufferBits - overflow);
        closeBytes = kWordBytes + (overflow + 5) / 8;
    } else {
        sink_.pendingCode = 0;
        closeBytes = kWordBytes - (sink_.freeBits + 2) / 8;
    }
    h_.pendingBytes = static_cast<std::uint8_t>(closeBytes);
    h_.control |= control_bit::kClosing;
    // The history is kept now, while this call's source is at hand, when
    // this call keeps it or the close spills: a close finished in a later
    // call sees only the source it handed back as used, and that call's
    // flag 4 decides whether the next stream refers to this one.
    const bool stored = flushPendingBytes();
    if (!stored || (flags_ & compress_flag::kKeepHistory) != 0) keepSourceAsHistory();
    if (!stored) {
        h_.savedResult = static_cast<std::uint8_t>(result_);
        saveState();
        return result::kDestinationFull;
    }
    h_.control = static_cast<std::uint8_t>(h_.control & ~control_bit::kClosing);
    return afterClose();
}

std::uint32_t Compressor::afterClose() noexcept {
    result_ |= result::kStreamEnd;
    if ((flags_ & compress_flag::kKeepHistory) != 0) {
        sink_.bitBuffer = 0;
        sink_.freeBits = kBitBufferBits;
        return pause();
    }
    if ((flags_ & compress_flag::kCloseAtEnd) != 0) h_.control |= control_bit::kClosed;
    saveState();
    return result_;
}

std::uint32_t Compressor::outputFull(CoreState state) noexcept {
    h_.control |= static_cast<std::uint8_t>(state);
    h_.savedResult = static_cast<std::uint8_t>(result_);
    // The reserve holds any close (at most 9 bytes) unless the call began
    // with less room than that, which only a paused stream may do; then the
    // output simply fills and the stream goes on in the next one.
    if ((flags_ & compress_flag::kCloseWhenFull) != 0 && sink_.room() >= kCloseReserve) return closeInReserve(state);

    // Fill the output to its last byte; the rest of the word waits.
    const std::uint32_t room = sink_.room();
    h_.pendingBytes = static_cast<std::uint8_t>(kWordBytes - room);
    for (std::uint32_t k = 0; k < room; ++k) {
        *sink_.out++ = static_cast<std::uint8_t>(sink_.bitBuffer >> 24);
        sink_.bitBuffer <<= 8;
    }
    h_.coreState = static_cast<std::uint8_t>(state);
    h_.resumeOffset = static_cast<std::uint32_t>(src_ - scanBase_);
    h_.literalStartOffset = static_cast<std::uint32_t>(literalStart_ - scanBase_);
    handedBack_.source = callerSource_;
    handedBack_.sourceCount = callerCount_;
    saveState();
    return result::kDestinationFull;
}

// Flag 2: end the stream in the reserved bytes and hand back what it does
// not hold, so that this output buffer decodes on its own.
std::uint32_t Compressor::closeInReserve(CoreState state) noexcept {
    bytes::storeBigEndian32(sink_.out, sink_.bitBuffer);
    sink_.out += kWordBytes;
    const std::uint32_t overflow = sink_.freeBits;
    std::uint64_t tail = overflow == 0 ? 0 : sink_.pendingCode & ((std::uint64_t{1} << overflow) - 1);
    std::uint32_t tailBits = overflow;
    const std::uint8_t* givenBackFrom = src_;
    if (state == CoreState::OutputFullMatchCode) {
        if (h_.matchLength >= kNibblePhase) {
            const std::uint32_t rest = h_.matchLength - kNibblePhase;
            const std::uint32_t finalNibble = rest < kLargestFinalNibble ? rest : kLargestFinalNibble;
            tail = (tail << kLengthNibbleBits) | finalNibble;
            tailBits += kLengthNibbleBits;
            givenBackFrom = src_ - (rest - finalNibble);
        }
    } else {
        givenBackFrom = literalStart_;
    }
    tail = (tail << kEndMarkerBits) | kEndMarker;
    tailBits += kEndMarkerBits;
    const std::uint32_t tailBytes = (tailBits + 7) / 8;
    tail <<= tailBytes * 8 - tailBits;
    for (std::uint32_t k = tailBytes; k-- > 0;) *sink_.out++ = static_cast<std::uint8_t>(tail >> (8 * k));

    std::uint8_t* const resumeAt = callerPointerOf(givenBackFrom);
    // A match whose literal run was cut off may already have entered its
    // inner positions (flags 8 and 16); the next stream must start a full
    // window beyond them, so the match counts as scanned.
    const bool matchPending =
        state != CoreState::OutputFullMatchCode && h_.matchOffset != 0 && !pendingMatchIsPauseStandIn();
    if (matchPending) position_ += h_.matchLength;
    handedBack_.source = resumeAt;
    handedBack_.sourceCount = static_cast<std::uint32_t>(callerSource_ + callerCount_ - resumeAt);
    h_.control = static_cast<std::uint8_t>((h_.control & control_bit::kThroughHistoryArea) | control_bit::kClosed);
    result_ = result::kDestinationFull | result::kStreamEnd;
    return afterClose();
}

std::uint32_t Compressor::pause() noexcept {
    h_.control |= control_bit::kPaused;
    if (!historyKept_) keepSourceAsHistory();
    saveState();
    return result_;
}

// The last 2047 bytes of this call's source go to historyArea unless the
// stream already scans there; an ended source counts as used.
void Compressor::keepSourceAsHistory() noexcept {
    historyKept_ = true;
    if (h_.historyFill == 0) {
        const std::uint32_t kept = callerCount_ < kMaxOffset ? callerCount_ : kMaxOffset;
        if (kept != 0) __builtin_memcpy(h_.historyArea, callerSource_ + (callerCount_ - kept), kept);
        h_.historyFill = static_cast<std::uint16_t>(kept);
    }
    if ((result_ & result::kSourceEmpty) != 0) {
        position_ = h_.callStartPos + callerCount_;
        useWholeSource();
    }
}

void Compressor::saveState() noexcept {
    h_.bitBuffer = sink_.bitBuffer;
    h_.freeBits = static_cast<std::uint8_t>(sink_.freeBits);
    h_.pendingCode = sink_.pendingCode;
    h_.position = position_;
}

}  // namespace

std::uint32_t initCompressionHistory(void* history) noexcept {
    auto& state = *static_cast<CompressionHistory*>(history);
    state.historyFill = 0;
    state.magic = kCompressionMagic;
    state.control = control_bit::kClosed;
    state.position = kFreshPosition;
    state.saved.valid = 0;
    return 1;
}

std::uint32_t compress(const CallerVariables& caller, void* history, std::uint32_t flags,
                       std::uint32_t performance) noexcept {
    auto& state = *static_cast<CompressionHistory*>(history);
    if (flags >= compress_flag::kLimit || state.magic != kCompressionMagic) return result::kRefused;
    const std::uint8_t saved = restoreSavedPairs(caller, state.saved);
    const std::uint32_t changedFlags = flags ^ state.saved.flags;
    if ((saved & saved_pair::kSource) != 0 && (changedFlags & compress_flag::kCloseAtEnd) != 0) return result::kRefused;
    if ((saved & saved_pair::kDestination) != 0 && (changedFlags & compress_flag::kCloseWhenFull) != 0) {
        return result::kRefused;
    }
    const Pairs pairs = caller.load();
    // Only a paused stream may go on in less than 16 bytes of output.
    if (pairs.destinationCount < kMinDestinationCount && (state.control & control_bit::kPaused) == 0) {
        return result::kRefused;
    }
    Compressor compressor(state, pairs, flags, performance & kBudgetMask);
    const std::uint32_t resultBits = compressor.run();
    handBackPairs(caller, state.saved, compressor.handedBack(), resultBits);
    state.saved.flags = static_cast<std::uint8_t>(flags & (compress_flag::kCloseAtEnd | compress_flag::kCloseWhenFull));
    return resultBits;
}

}  // namespace huecl::lzs

// The LZS decompressor: one call.
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
// Token decoding lives in lzs_decode_tokens, the carried input bytes in
// lzs_input_carry and the window in lzs_output_window; this file runs a
// call through its stages.
//
// Every offset is checked against the bytes the decoder holds since the
// history was initialised, so that no input, however made, can make it read
// outside the caller's buffers and its history.
#include "lzs/lzs_decompress.h"

#include <cstddef>

#include "lzs/lzs_decode_tokens.h"
#include "lzs/lzs_format.h"
#include "lzs/lzs_input_carry.h"
#include "lzs/lzs_output_window.h"

namespace huecl::lzs {
namespace {

// `control` bits of the history, as they are kept between calls.
namespace control {
inline constexpr std::uint8_t kFromCarry = 4;     // the current source is `carry`
inline constexpr std::uint8_t kTailMode = 8;      // less than kFastRoom of room: filled from `window`
inline constexpr std::uint8_t kWindowMode = 16;   // decoding into `window`, delivered from there
inline constexpr std::uint8_t kCopyPending = 32;  // a match copy into `window` is unfinished
inline constexpr std::uint8_t kCarryHeld = 64;    // `carry` holds bytes for the next call
inline constexpr std::uint8_t kEndPending = 128;  // the end marker is read, decoded bytes still wait
}  // namespace control

// A stored block is copied in pieces of at most this many bytes.
inline constexpr std::uint32_t kStoredPiece = 0xFFFF;

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
        const std::uint32_t piece = smaller(left, kStoredPiece);
        to = copyBytes(to, from, piece);
        from += piece;
        left -= piece;
    }
    header.windowPos = appendHistory(window, header.windowPos, pairs.destination + length, length);
    header.control = control::kWindowMode;
    pairs.source += length;
    pairs.destination += length;
    pairs.sourceCount = 0;
    pairs.destinationCount = 0;
    return result::kSourceEmpty | result::kDestinationFull;
}

// The stages of one call. A call starts at the stage its stored control
// bits say and ends at EndStream or Finish.
enum class Stage : std::uint8_t {
    DeliverPending,  // window mode: finish a copy into `window`, hand over what waits there
    TakeCarry,       // put new source bytes behind the carried ones
    Decode,          // decode tokens and act on how the decoder stopped
    SourceUsedUp,
    OutputFull,  // hand over what fits, keep the rest pending
    LookForEnd,  // at the end of the source: an end marker, or bytes to carry
    EndMarkerRead,
    EndStream,  // reset the history, keeping the last 2047 bytes with flag 4
    Finish,     // store the state for the next call
    Corrupt,
};

class DecodeCall {
public:
    DecodeCall(Header& header, std::uint8_t* window, Pairs& pairs, std::uint32_t flags) noexcept
        : header_(header), pairs_(pairs), flags_(flags), window_(window), windowEnd_(window + kWindowSize),
          out_(pairs.destination), outEnd_(pairs.destination + pairs.destinationCount),
          control_(header.control), state_{header.matchCount, header.bitPos, header.matchOffset, header.status},
          input_(pairs.source, pairs.sourceCount, header.carry, header.carryCount), windowPos_(header.windowPos),
          pendingCount_(header.pendingCount) {
        // Only between calls of direct decoding does the mark lie before the
        // caller's destination; otherwise each call sets it anew.
        outputMark_ = out_;
        if (control_ != 0 && (control_ & control::kWindowMode) == 0) outputMark_ = out_ - header.outputMark;
        target_ = out_;
        targetEnd_ = outEnd_;
        reachStart_ = outputMark_;
    }

    // Result bits, or kRefused with `corrupt` set for a corrupt stream.
    std::uint32_t run(bool& corrupt) noexcept {
        Stage stage = entryStage();
        for (;;) {
            switch (stage) {
                case Stage::DeliverPending: stage = deliverPending(); break;
                case Stage::TakeCarry: stage = takeCarry(); break;
                case Stage::Decode: stage = decode(); break;
                case Stage::SourceUsedUp: stage = sourceUsedUp(); break;
                case Stage::OutputFull: stage = outputFull(); break;
                case Stage::LookForEnd: stage = lookForEnd(); break;
                case Stage::EndMarkerRead: stage = endMarkerRead(); break;
                case Stage::EndStream: return endStream();
                case Stage::Finish: return finish();
                case Stage::Corrupt: corrupt = true; return result::kRefused;
            }
        }
    }

private:
    bool has(std::uint8_t bits) const noexcept { return (control_ & bits) != 0; }
    void set(std::uint8_t bits) noexcept { control_ |= bits; }
    void clear(std::uint8_t bits) noexcept { control_ &= static_cast<std::uint8_t>(~bits); }
    std::uint32_t room() const noexcept { return static_cast<std::uint32_t>(outEnd_ - out_); }
    std::uint32_t passBytes() const noexcept { return static_cast<std::uint32_t>(target_ - (window_ + passStart_)); }

    Stage entryStage() noexcept {
        if (has(control::kWindowMode)) return Stage::DeliverPending;
        if (control_ != 0) return Stage::TakeCarry;
        // A new stream straight into the caller's output.
        outputMark_ = out_;
        reachStart_ = out_;
        return Stage::Decode;
    }

    void decodeIntoWindow(std::uint32_t from) noexcept {
        passStart_ = from;
        target_ = window_ + from;
        targetEnd_ = windowEnd_;
        reachStart_ = window_;
    }

    // Recent output of the caller, before `position`, as the start of `window`.
    std::uint32_t takeOutputIntoWindow(const std::uint8_t* position) noexcept {
        const std::uint32_t held = smaller(static_cast<std::uint32_t>(position - outputMark_), kMaxOffset);
        copyBytes(window_, position - held, held);
        return held;
    }

    // Back from `carry` to the caller's source.
    void leaveCarry() noexcept {
        clear(control::kFromCarry | control::kCarryHeld);
        input_.returnToSource();
    }

    // Hands over what the room takes of this pass, keeps the rest pending.
    void handOverPass(std::uint32_t count) noexcept {
        out_ = copyBytes(out_, window_ + passStart_, count);
        windowPos_ = passStart_ + count;
        pendingCount_ = passBytes() - count;
        clear(control::kTailMode);
        result_ |= result::kDestinationFull;
    }

    Stage deliverPending() noexcept {
        outputMark_ = out_;
        for (;;) {
            if (has(control::kCopyPending)) {
                std::uint8_t* const copyAt = window_ + windowPos_ + pendingCount_;
                const std::uint32_t count = smaller(state_.matchCount, static_cast<std::uint32_t>(windowEnd_ - copyAt));
                copyMatch(copyAt, state_.matchOffset, count);
                pendingCount_ += count;
                state_.matchCount -= count;
                if (state_.matchCount == 0) {
                    clear(control::kCopyPending);
                    state_.status |= status::kSourceShort;
                }
            }
            const std::uint32_t space = room();
            if (space <= pendingCount_) {
                out_ = copyBytes(out_, window_ + windowPos_, space);
                // Delivered bytes are history in `window` already.
                outputMark_ += space;
                result_ |= result::kDestinationFull;
                clear(control::kTailMode);
                windowPos_ += space;
                pendingCount_ -= space;
                if (pendingCount_ == 0 && !has(control::kCopyPending)) {
                    const std::uint8_t* carryPos = input_.carry();
                    if (has(control::kEndPending) ||
                        peekEndMarker(&carryPos, input_.carry() + input_.carryCount, state_) == status::kEndMarker) {
                        return Stage::EndStream;
                    }
                }
                return Stage::Finish;
            }
            out_ = copyBytes(out_, window_ + windowPos_, pendingCount_);
            outputMark_ += pendingCount_;
            windowPos_ += pendingCount_;
            pendingCount_ = 0;
            if (has(control::kEndPending) && !has(control::kCopyPending)) return Stage::EndStream;
            if (windowPos_ > kMaxOffset) {
                keepWindowTail(window_, windowPos_, kMaxOffset);
                windowPos_ = kMaxOffset;
            }
            if (!has(control::kCopyPending)) break;
        }
        decodeIntoWindow(windowPos_);
        return Stage::TakeCarry;
    }

    Stage takeCarry() noexcept {
        clear(control::kCarryHeld);
        if (input_.startFromCarry()) set(control::kFromCarry);
        return Stage::Decode;
    }

    Stage decode() noexcept {
        for (;;) {
            const std::uint8_t stop =
                decodeTokens(&input_.decodePos, input_.decodeEnd, &target_, targetEnd_, reachStart_, state_);
            if (stop == status::kCorrupt) return Stage::Corrupt;
            if (stop == status::kEndMarker) return Stage::EndMarkerRead;
            if (stop == status::kInCopy) {
                set(control::kCopyPending);
                if (!has(control::kWindowMode)) {
                    set(control::kWindowMode);
                    windowPos_ = takeOutputIntoWindow(target_);
                    pendingCount_ = 0;
                    out_ = target_;
                    passStart_ = windowPos_;
                    target_ = window_ + windowPos_;
                    return Stage::OutputFull;
                }
                // `window` is full: hand the pass over if it fits and go on behind its last 2047 bytes.
                if (room() <= passBytes()) return Stage::OutputFull;
                out_ = copyBytes(out_, window_ + passStart_, passBytes());
                keepWindowTail(window_, static_cast<std::uint32_t>(target_ - window_), kMaxOffset);
                clear(control::kCopyPending);
                decodeIntoWindow(kMaxOffset);
                continue;
            }
            if (stop == status::kFastLimit) {
                if (has(control::kTailMode)) return Stage::OutputFull;
                if (has(control::kWindowMode)) {
                    if (passBytes() > room()) return Stage::OutputFull;
                    // The pass fits: the caller's output holds the history from now on.
                    out_ = copyBytes(out_, window_ + passStart_, passBytes());
                    clear(control::kWindowMode);
                    target_ = out_;
                    targetEnd_ = outEnd_;
                    reachStart_ = outputMark_;
                    continue;
                }
                // Less than kFastRoom of room: decode into `window` behind the
                // recent output and fill the room from there.
                set(control::kTailMode | control::kWindowMode);
                out_ = target_;
                windowPos_ = takeOutputIntoWindow(target_);
                pendingCount_ = 0;
                decodeIntoWindow(windowPos_);
                if (out_ == outEnd_) return Stage::OutputFull;
                continue;
            }
            // The source ran short.
            if (has(control::kFromCarry)) {
                if (input_.oldCarryUsed()) {
                    leaveCarry();
                    if (input_.sourceHoldsARead()) continue;
                } else {
                    set(control::kCarryHeld);
                }
            }
            if ((stop & status::kBitsShort) != 0 || input_.decodePos >= input_.decodeEnd) return Stage::SourceUsedUp;
        }
    }

    Stage sourceUsedUp() noexcept {
        if (has(control::kWindowMode)) {
            windowPos_ = passStart_;
            pendingCount_ = passBytes();
        } else {
            out_ = target_;
        }
        result_ |= result::kSourceEmpty;
        if (has(control::kCarryHeld)) {
            // Decoding from `carry` stopped inside its old bytes: keep all that is
            // left of it, old and new; the caller's bytes all went into it.
            input_.keep(input_.decodeEnd);
            clear(control::kFromCarry);
            input_.sourcePos = input_.sourceEnd;
            return Stage::Finish;
        }
        return Stage::LookForEnd;
    }

    Stage outputFull() noexcept {
        handOverPass(smaller(room(), passBytes()));
        if (has(control::kFromCarry)) {
            clear(control::kFromCarry);
            if (input_.oldCarryUsed()) {
                leaveCarry();
            } else {
                // Still inside the old carried bytes: keep them, take none of
                // the caller's.
                set(control::kCarryHeld);
                input_.keep(input_.oldCarryEnd());
                return Stage::Finish;
            }
        }
        if (input_.sourceEnd - input_.decodePos <= 1) {
            result_ |= result::kSourceEmpty;
            input_.decodeEnd = input_.sourceEnd;
        } else {
            // A byte position is all the caller can be handed: the byte that
            // holds the next bit goes into `carry`.
            input_.decodeEnd = input_.decodePos + 1;
        }
        return Stage::LookForEnd;
    }

    Stage lookForEnd() noexcept {
        const std::uint8_t* markerEnd = input_.decodePos;
        if (peekEndMarker(&markerEnd, input_.decodeEnd, state_) == status::kEndMarker) {
            // The source is used up only if nothing follows the marker.
            result_ &= ~result::kSourceEmpty;
            input_.sourcePos = markerEnd;
            if (pendingCount_ == 0) return Stage::EndStream;
            set(control::kEndPending);
            state_.bitPos = 0;
            input_.carryCount = 0;
            if (input_.sourcePos == input_.sourceEnd) result_ |= result::kSourceEmpty;
            return Stage::Finish;
        }
        set(control::kCarryHeld);
        input_.keep(input_.decodeEnd);
        input_.sourcePos = input_.decodeEnd;
        return Stage::Finish;
    }

    Stage endMarkerRead() noexcept {
        if (has(control::kFromCarry)) {
            clear(control::kFromCarry);
            // A marker that ends inside the old carried bytes leaves the
            // caller's source where it was.
            if (input_.oldCarryUsed()) {
                leaveCarry();
            } else {
                input_.restartSource();
            }
        }
        input_.sourcePos = input_.decodePos;
        if (has(control::kWindowMode)) {
            set(control::kEndPending);
            if (passBytes() > room()) {
                // The end follows the delivery of the last pending byte.
                handOverPass(room());
                if (input_.sourcePos == input_.sourceEnd) result_ |= result::kSourceEmpty;
                input_.carryCount = 0;
                state_.bitPos = 0;
                return Stage::Finish;
            }
            out_ = copyBytes(out_, window_ + passStart_, passBytes());
            windowPos_ = passStart_;
        } else {
            out_ = target_;
        }
        if (out_ == outEnd_) result_ |= result::kDestinationFull;
        return Stage::EndStream;
    }

    std::uint32_t endStream() noexcept {
        if (input_.sourcePos == input_.sourceEnd) result_ |= result::kSourceEmpty;
        const std::uint32_t held = windowPos_;
        const std::uint32_t produced = static_cast<std::uint32_t>(out_ - outputMark_);
        initHeader(header_);
        if ((flags_ & decompress_flag::kKeepHistoryAcrossEnd) != 0) {
            header_.windowPos = appendHistory(window_, held, out_, produced);
            header_.control = control::kWindowMode;
        }
        handBackPositions();
        return result_ | result::kStreamEnd;
    }

    std::uint32_t finish() noexcept {
        if (!has(control::kWindowMode)) out_ = target_;
        header_.control = control_;
        header_.matchCount = state_.matchCount;
        header_.bitPos = static_cast<std::uint16_t>(state_.bitPos);
        header_.matchOffset = static_cast<std::uint16_t>(state_.matchOffset);
        header_.status = state_.status;
        header_.windowPos = windowPos_;
        header_.pendingCount = static_cast<std::uint16_t>(pendingCount_);
        header_.carryCount = static_cast<std::uint16_t>(input_.carryCount);
        header_.outputMark = static_cast<std::uint32_t>(out_ - outputMark_);
        handBackPositions();
        return result_;
    }

    void handBackPositions() noexcept {
        pairs_.source = const_cast<std::uint8_t*>(input_.sourcePos);
        pairs_.sourceCount = static_cast<std::uint32_t>(input_.sourceEnd - input_.sourcePos);
        pairs_.destination = out_;
        pairs_.destinationCount = static_cast<std::uint32_t>(outEnd_ - out_);
    }

    Header& header_;
    Pairs& pairs_;
    const std::uint32_t flags_;
    std::uint8_t* const window_;
    std::uint8_t* const windowEnd_;
    std::uint8_t* out_;  // the caller's output position
    std::uint8_t* const outEnd_;
    std::uint8_t* outputMark_;  // recent output from here on is history
    std::uint32_t result_ = 0;
    std::uint8_t control_;
    DecoderState state_;
    DecoderInput input_;
    std::uint32_t windowPos_;
    std::uint32_t pendingCount_;
    // Where the decoder writes now: the caller's output or `window`.
    std::uint8_t* target_;
    std::uint8_t* targetEnd_;
    const std::uint8_t* reachStart_;
    std::uint32_t passStart_ = 0;  // where this pass into `window` began
};

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
    const std::uint32_t result = DecodeCall(header, window, pairs, flags).run(corrupt);
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
    return DecompressionProbe{
        initialised,
        initialised && header.corrupt != 0,
        (header.status & status::kAtToken) != 0 && (header.control & control::kCopyPending) == 0,
        header.carryCount,
        windowMode ? smaller(header.windowPos, kMaxOffset) : smaller(header.outputMark, kMaxOffset),
        header.control,
        header.status,
        header.pendingCount};
}

}  // namespace huecl::lzs

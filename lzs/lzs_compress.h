// LZS compressor: a hash-chain match finder over the last 2047 bytes and a
// token writer that can stop at any output byte and resume in the next
// call. Everything that lasts between calls lives in the caller's
// compression history, laid out below.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lzs/lzs_format.h"

namespace huecl::lzs {

inline constexpr std::uint32_t kChainSlots = 2048;        // positions modulo 2048
inline constexpr std::uint32_t kHashBuckets = 2003;       // key modulo 2003
inline constexpr std::uint32_t kHistoryAreaBytes = 4098;  // 2047 kept + up to 2051 appended
inline constexpr std::uint32_t kNewStreamGap = 2048;      // positions skipped at a new stream

// Where the match finder resumes (and why it stopped).
enum class CoreState : std::uint8_t {
    ScanLimit = 1,  // scan reached its limit; literals from literalStart unwritten
    Scanning = 4,
    PausedOnMatch = 8,  // the stand-in match of a paused stream was reached
    OutputFullLiteral = 32,
    OutputFullMatchCode = 64,
    OutputFullLiteralPair = 128,
};

// Bits of CompressionHistory::control.
namespace control_bit {
inline constexpr std::uint8_t kClosed = 2;              // next call starts a new stream
inline constexpr std::uint8_t kThroughHistoryArea = 4;  // scanning a copy in historyArea
inline constexpr std::uint8_t kPaused = 8;              // stream continues in the next call
inline constexpr std::uint8_t kClosing = 16;            // close bytes still to be stored
inline constexpr std::uint8_t kOutputFullStates = static_cast<std::uint8_t>(CoreState::OutputFullLiteral) |
                                                  static_cast<std::uint8_t>(CoreState::OutputFullMatchCode) |
                                                  static_cast<std::uint8_t>(CoreState::OutputFullLiteralPair);
}  // namespace control_bit

// The caller's 20380 bytes. Scan positions are kept as 32-bit offsets (from
// the start of historyArea, or from the caller's source of the call that
// stored them); only the saved pairs hold whole addresses, which on a
// 64-bit host take 8 of the bytes that are spare on 32-bit targets.
struct CompressionHistory {
    SavedPairs saved;
    std::uint32_t pendingCode;   // interrupted token (or, while closing, the second word of close bytes)
    std::uint32_t bitBuffer;     // filled from the most significant bit down
    std::uint32_t resumeOffset;  // scan point where the output ran out
    std::uint32_t literalStartOffset;
    std::uint32_t position;  // running position of the byte at the scan point
    std::uint32_t callStartPos;
    std::uint32_t matchLength;  // >= 15 while length nibbles are pending: 15 + length still to code
    std::uint16_t historyFill;
    std::uint16_t matchOffset;
    std::uint16_t magic;
    std::uint8_t savedResult;
    std::uint8_t pendingBytes;  // bytes of a full word (or of the close) still to store
    std::uint8_t codeBits;      // width of pendingCode
    std::uint8_t freeBits;      // free bits in bitBuffer; while interrupted, bits of the token that did not fit
    std::uint8_t control;
    std::uint8_t coreState;
    std::uint32_t chain[kChainSlots];
    std::uint32_t head[kHashBuckets];
    std::uint8_t historyArea[kHistoryAreaBytes];
};

static_assert(sizeof(CompressionHistory) <= kCompressionHistorySize,
              "the compression state must fit the caller's history area on every target");
static_assert(alignof(CompressionHistory) == 4);

// Hash of the two bytes at a position (first byte high).
constexpr std::uint32_t hashOfPair(std::uint8_t first, std::uint8_t second) noexcept {
    return ((static_cast<std::uint32_t>(first) << 8) | second) % kHashBuckets;
}

std::uint32_t initCompressionHistory(void* history) noexcept;

std::uint32_t compress(const CallerVariables& caller, void* history, std::uint32_t flags,
                       std::uint32_t performance) noexcept;

}  // namespace huecl::lzs

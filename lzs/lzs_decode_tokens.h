// Token decoding: turns the bits of an LZS stream into bytes between two
// limits on each side, stops exactly where either limit or the stream's end
// says, and reports where it stopped in a status that the next call
// resumes from.
#pragma once

#include <cstdint>

namespace huecl::lzs {

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
// Any of these means the decoder stopped between two tokens.
inline constexpr std::uint8_t kAtToken = kInitial | kFastLimit | kSourceShort;
}  // namespace status

// The decoder state between stops.
struct DecoderState {
    std::uint32_t matchCount;   // bytes of a match still to copy, or the length read so far
    std::uint32_t bitPos;       // bit offset of the next item from the source position
    std::uint32_t matchOffset;  // offset of the match being read or copied
    std::uint8_t status;
};

// Largest match length the decoder accepts: a longer length code can only
// come from a corrupt stream, and keeping lengths below this bound keeps
// every sum of a length and a room inside unsigned 32-bit wrap.
inline constexpr std::uint32_t kLargestMatchLength = 0xFFFF0000u;

// The loop that decodes far from both ends works on 64-bit words. On 32-bit
// targets they cost more than they save where long matches make up the
// stream (a dithered plane decoded a third slower, measured), so there the
// read-by-read loop decodes everything.
inline constexpr bool kFarLoopPays = sizeof(void*) >= 8;

// Decodes tokens from *source (with state.bitPos) towards sourceEnd into
// *output, never past outputEnd; a match may reach back to reachStart.
// Returns the new status (kCorrupt for a corrupt stream) and leaves the
// source as a byte position with bitPos 0..7.
std::uint8_t decodeTokens(const std::uint8_t** source, const std::uint8_t* sourceEnd, std::uint8_t** output,
                          std::uint8_t* outputEnd, const std::uint8_t* reachStart, DecoderState& state) noexcept;

// decodeTokens with its loop far from both ends on every target, so that
// tests check that loop on 32-bit targets too.
std::uint8_t decodeTokensWithFarLoop(const std::uint8_t** source, const std::uint8_t* sourceEnd, std::uint8_t** output,
                                     std::uint8_t* outputEnd, const std::uint8_t* reachStart,
                                     DecoderState& state) noexcept;

// The same decoder without its loop far from both ends: every read checked
// against both ends, every length code that its read does not hold through
// the length and copy stages. For tests, which hold decodeTokens to it call
// by call.
std::uint8_t decodeTokensOneReadAtATime(const std::uint8_t** source, const std::uint8_t* sourceEnd,
                                        std::uint8_t** output, std::uint8_t* outputEnd, const std::uint8_t* reachStart,
                                        DecoderState& state) noexcept;

// kBitsShort if fewer than two bytes lie ahead, kEndMarker (and the source
// moved past the marker's padding) if the nine bits at bitPos are the end
// marker, else 0. Only a token boundary can hold a marker.
std::uint8_t peekEndMarker(const std::uint8_t** source, const std::uint8_t* sourceEnd,
                           const DecoderState& state) noexcept;

}  // namespace huecl::lzs

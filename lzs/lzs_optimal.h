// LZS optimal-parse encoder: one whole block in, one closed stream out (the
// tokens of lzs_format.h, the same 2047-byte window, the end marker), with
// literals and matches chosen for the fewest bits rather than greedily.
//
// It is an internal API for the tool and the page library, not an export:
// the streams differ from LZS_Compress's, which stay as they are. It needs
// about 1 MB of working memory, which the caller provides (the library
// itself never allocates); one workspace serves any number of blocks, one
// block at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "lzs/lzs_format.h"

namespace huecl::lzs {

// Positions parsed as one shortest path; a block is parsed in pieces of at
// most this many bytes (a piece also ends at a match of kOptimalNiceLength
// bytes or more, which is taken whole).
inline constexpr std::uint32_t kOptimalPieceBytes = 1u << 16;
// A match at least this long is taken at once, without weighing the
// positions inside it.
inline constexpr std::uint32_t kOptimalNiceLength = 64;
// The match finder keeps a binary tree of the last kOptimalTreeSlots
// positions (of at least three bytes each).
inline constexpr std::uint32_t kOptimalTreeSlots = 2048;
inline constexpr std::uint32_t kPairKeys = 1u << 16;
inline constexpr std::uint32_t kTripleKeys = 1u << 16;
// Nodes past a piece's end that the parse may set but never reads.
inline constexpr std::uint32_t kOptimalNodeSlack = 16;

struct OptimalWorkspace {
    std::uint16_t pairHead[kPairKeys];          // newest position of each byte pair, low 16 bits
    std::uint32_t head[kTripleKeys];            // tree root of each hash of three bytes
    std::uint32_t tree[2 * kOptimalTreeSlots];  // smaller / larger child of each position
    // Per position of a piece: bits to reach it (high word) and the token
    // that does (low word: offset << 16 | length, length 1 for a literal).
    // Once the path is known, the high word links it forward.
    std::uint64_t node[kOptimalPieceBytes + 1 + kOptimalNodeSlack];
};

// Room that always holds the stream of a block of blockSize bytes: every
// byte a literal, then the end marker, rounded up to a byte.
constexpr std::size_t optimalBound(std::size_t blockSize) noexcept {
    return (blockSize * kLiteralBits + kEndMarkerBits + 7) / 8;
}

// Writes block as one closed stream to out and returns its size in bytes,
// or 0 (writing nothing useful) when out is smaller than
// optimalBound(block.size()). Blocks up to 2^31 bytes.
std::size_t compressOptimal(std::span<const std::uint8_t> block, std::span<std::uint8_t> out,
                            OptimalWorkspace& work) noexcept;

}  // namespace huecl::lzs

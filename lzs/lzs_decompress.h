// The LZS decompressor: turns streams of lzs_format.h back into bytes,
// resumably in both directions. Everything that survives between calls
// lives in the caller's decompression history.
#pragma once

#include <cstdint>

namespace huecl::lzs {

std::uint32_t decompressionHistorySize() noexcept;

// Prepares a history for its first stream; leaves its byte window as it is.
void initDecompressionHistory(void* history) noexcept;

// One call of LZS_Decompress: the four in/out arguments are the caller's
// variables, handed back as lzs_format.h describes. Returns result bits, or
// 0 for a refused call.
std::uint32_t decompress(std::uint8_t** source, std::uint8_t** destination, std::uint32_t* sourceCount,
                         std::uint32_t* destinationCount, void* history, std::uint32_t flags) noexcept;

// What tests may look at between calls.
struct DecompressionProbe {
    bool initialised;            // the history carries its magic
    bool corrupt;                // a corrupt stream was met; every call is refused until Init
    bool atTokenBoundary;        // no match or length is half done
    std::uint32_t carryCount;    // source bytes kept for the next call (at most 3)
    std::uint32_t historyHeld;   // bytes a match may reach back into (at most 2047)
    std::uint32_t control;       // the history's control bits
    std::uint32_t status;        // the decoder's status
    std::uint32_t pendingCount;  // decoded bytes waiting in the window
};
DecompressionProbe probeDecompressionHistory(const void* history) noexcept;

}  // namespace huecl::lzs

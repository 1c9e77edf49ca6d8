// What the LZS compressor and decompressor share: the token codes of the
// stream, the flag and result bits of the two work functions, and the way
// both hand their four in/out arguments back to the caller.
//
// The stream is one sequence of bits, most significant bit first. Tokens:
//   literal             0  b7..b0                          9 bits
//   short-offset match  1 1  offset(7)   length code       offsets 1..127
//   long-offset match   1 0  offset(11)  length code       offsets 128..2047
//   end marker          1 1  0000000                        then zero bits to the byte end
// Length code: 00=2, 01=3, 10=4, 1100=5, 1101=6, 1110=7, then 1111 followed by
// nibbles: every further 1111 adds 15, a final nibble 0..14 adds its value
// (8 = 1111 0000, 22 = 1111 1110, 23 = 1111 1111 0000).
#pragma once

#include <cstddef>
#include <cstdint>

namespace huecl::lzs {

// ---- Window -------------------------------------------------------------

// Largest offset a match may have; both sides keep this many bytes of
// history. (2047, not 2048: offset 0 is the end marker.)
inline constexpr std::uint32_t kMaxOffset = 2047;
// Offsets below this use the short form.
inline constexpr std::uint32_t kShortOffsetLimit = 128;
inline constexpr std::uint32_t kMinMatchLength = 2;

// ---- Token codes (value and width in bits, stream order) ----------------

inline constexpr std::uint32_t kLiteralFlagBits = 1;  // a single 0 bit
inline constexpr std::uint32_t kLiteralBits = 9;      // flag + byte
inline constexpr std::uint32_t kLiteralPairBits = 18;

inline constexpr std::uint32_t kShortOffsetPrefix = 0b11;  // then 7 offset bits
inline constexpr std::uint32_t kLongOffsetPrefix = 0b10;   // then 11 offset bits
inline constexpr std::uint32_t kShortOffsetBits = 7;
inline constexpr std::uint32_t kLongOffsetBits = 11;
inline constexpr std::uint32_t kShortOffsetCodeBits = 2 + kShortOffsetBits;  // 9
inline constexpr std::uint32_t kLongOffsetCodeBits = 2 + kLongOffsetBits;    // 13

// The end marker is the short-offset form with offset 0.
inline constexpr std::uint32_t kEndMarker = 0b110000000;
inline constexpr std::uint32_t kEndMarkerBits = 9;

// Length codes 2..7 as (value, bits); lengths of 8 and more start with
// kLengthEscape and continue in nibbles.
struct LengthCode {
    std::uint32_t value;
    std::uint32_t bits;
};
constexpr LengthCode shortLengthCode(std::uint32_t matchLength) noexcept {
    return matchLength <= 4 ? LengthCode{matchLength - 2, 2} : LengthCode{0b1100 + (matchLength - 5), 4};
}
inline constexpr std::uint32_t kLengthEscape = 0b1111;  // length 8 and up
inline constexpr std::uint32_t kLengthNibbleBits = 4;
inline constexpr std::uint32_t kFirstEscapedLength = 8;
inline constexpr std::uint32_t kLengthNibbleStep = 15;  // a further 1111 nibble
inline constexpr std::uint32_t kLargestFinalNibble = 14;

// Bits in the whole length code of a match of matchLength bytes.
constexpr std::uint32_t lengthCodeBits(std::uint32_t matchLength) noexcept {
    if (matchLength < kFirstEscapedLength) return shortLengthCode(matchLength).bits;
    return kLengthNibbleBits * (2 + (matchLength - kFirstEscapedLength) / kLengthNibbleStep);
}

// ---- Flags and results ----------------------------------------------------

// LZS_Compress flags; every value from 0 to 31 is accepted.
namespace compress_flag {
inline constexpr std::uint32_t kCloseAtEnd = 1;
inline constexpr std::uint32_t kCloseWhenFull = 2;
inline constexpr std::uint32_t kKeepHistory = 4;
inline constexpr std::uint32_t kEnterMatchLast = 8;
inline constexpr std::uint32_t kEnterMatchAll = 16;
inline constexpr std::uint32_t kLimit = 32;  // flags at or above are refused
}  // namespace compress_flag

// LZS_Decompress flags; only these two bits are accepted.
namespace decompress_flag {
inline constexpr std::uint32_t kStoredBlock = 2;
inline constexpr std::uint32_t kKeepHistoryAcrossEnd = 4;
inline constexpr std::uint32_t kAllowed = kStoredBlock | kKeepHistoryAcrossEnd;
}  // namespace decompress_flag

// Result bits of both work functions; 0 alone means the call was refused.
namespace result {
inline constexpr std::uint32_t kRefused = 0;
inline constexpr std::uint32_t kSourceEmpty = 1;
inline constexpr std::uint32_t kDestinationFull = 2;
inline constexpr std::uint32_t kStreamEnd = 4;
}  // namespace result

inline constexpr std::uint16_t kCompressionMagic = 0x4321;
inline constexpr std::uint16_t kDecompressionMagic = 0x1234;

// ---- Hand-back of the four in/out arguments -------------------------------
//
// The caller passes the addresses of its source and destination variables.
// A pair is written back only when the result says the caller may act on it
// (source: used up or stream end; destination: full or stream end);
// otherwise it is kept in the history and put back into the caller's
// variables at the start of the next call. That way a caller may loop with
// the same variables and never sees a half-consumed position.

// The pairs a call works on.
struct Pairs {
    std::uint8_t* source;
    std::uint8_t* destination;
    std::uint32_t sourceCount;
    std::uint32_t destinationCount;
};

// The caller's variables.
struct CallerVariables {
    std::uint8_t** source;
    std::uint8_t** destination;
    std::uint32_t* sourceCount;
    std::uint32_t* destinationCount;

    Pairs load() const noexcept { return Pairs{*source, *destination, *sourceCount, *destinationCount}; }
};

namespace saved_pair {
inline constexpr std::uint8_t kSource = 1;
inline constexpr std::uint8_t kDestination = 2;
}  // namespace saved_pair

// A whole address in 32-bit words, so that a history needs no alignment
// beyond 4: one word on 32-bit targets, two on 64-bit hosts.
inline constexpr std::size_t kAddressWords = sizeof(std::uintptr_t) / sizeof(std::uint32_t);
struct SavedAddress {
    std::uint32_t words[kAddressWords];
};

inline SavedAddress saveAddress(const std::uint8_t* position) noexcept {
    SavedAddress saved;
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(position);
    static_assert(sizeof saved == sizeof address);
    __builtin_memcpy(&saved, &address, sizeof saved);
    return saved;
}

inline std::uint8_t* loadAddress(const SavedAddress& saved) noexcept {
    std::uintptr_t address;
    __builtin_memcpy(&address, &saved, sizeof address);
    return reinterpret_cast<std::uint8_t*>(address);
}

// The pairs kept in a history between calls. Addresses are kept whole, so
// a pair comes back exactly whatever the caller's variables hold meanwhile
// (another buffer, or the pair an earlier refusal put back). 18 bytes on
// 32-bit targets; each address adds a word on 64-bit hosts.
struct SavedPairs {
    SavedAddress source;
    SavedAddress destination;
    std::uint32_t sourceCount;
    std::uint32_t destinationCount;
    std::uint8_t valid;  // saved_pair bits
    std::uint8_t flags;  // free for the owner (the compressor keeps flag bits 1 and 2)
};
// What the saved pairs add to a history on this target beyond their 32-bit size.
inline constexpr std::uint32_t kSavedAddressGrowth = 2 * sizeof(std::uint32_t) * (kAddressWords - 1);

// History sizes: 20380 and 4164 bytes on 32-bit targets. The compression
// state has room to spare for the wider addresses of a 64-bit host; the
// decompression history grows by them there (4172 bytes).
inline constexpr std::uint32_t kCompressionHistorySize = 20380;
inline constexpr std::uint32_t kDecompressionHistorySize = 4164 + kSavedAddressGrowth;

constexpr bool handsBackSource(std::uint32_t resultBits) noexcept {
    return (resultBits & (result::kSourceEmpty | result::kStreamEnd)) != 0;
}
constexpr bool handsBackDestination(std::uint32_t resultBits) noexcept {
    return (resultBits & (result::kDestinationFull | result::kStreamEnd)) != 0;
}

// Step one of every call: the caller's variables take the saved positions.
// Returns the valid bits that were used, so that a caller can check flags
// kept beside them.
inline std::uint8_t restoreSavedPairs(const CallerVariables& caller, const SavedPairs& saved) noexcept {
    if ((saved.valid & saved_pair::kSource) != 0) {
        *caller.source = loadAddress(saved.source);
        *caller.sourceCount = saved.sourceCount;
    }
    if ((saved.valid & saved_pair::kDestination) != 0) {
        *caller.destination = loadAddress(saved.destination);
        *caller.destinationCount = saved.destinationCount;
    }
    return saved.valid;
}

// Last step of every call: each pair goes to the caller or into the
// history. giveSource / giveDestination let a caller hand
// a pair back for reasons beyond the result bits (a stored block).
inline void handBackPairs(const CallerVariables& caller, SavedPairs& saved, const Pairs& now, bool giveSource,
                          bool giveDestination) noexcept {
    saved.valid = 0;
    if (giveSource) {
        *caller.source = now.source;
        *caller.sourceCount = now.sourceCount;
    } else {
        saved.source = saveAddress(now.source);
        saved.sourceCount = now.sourceCount;
        saved.valid |= saved_pair::kSource;
    }
    if (giveDestination) {
        *caller.destination = now.destination;
        *caller.destinationCount = now.destinationCount;
    } else {
        saved.destination = saveAddress(now.destination);
        saved.destinationCount = now.destinationCount;
        saved.valid |= saved_pair::kDestination;
    }
}

inline void handBackPairs(const CallerVariables& caller, SavedPairs& saved, const Pairs& now,
                          std::uint32_t resultBits) noexcept {
    handBackPairs(caller, saved, now, handsBackSource(resultBits), handsBackDestination(resultBits));
}

}  // namespace huecl::lzs

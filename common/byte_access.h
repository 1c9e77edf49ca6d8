// Byte loads and stores of the whole library: unaligned access to caller
// buffers, and the two byte orders it meets. Records and pixel words are
// little-endian; the LZS bit stream is read and written most significant
// byte first. Every access goes through memcpy, which the compiler turns
// into one move on targets that allow unaligned access, and which keeps
// the library free of aliasing and alignment faults on the others.
#pragma once

#include <cstdint>

namespace huecl::bytes {

inline constexpr bool kLittleEndianHost = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// ---- Host byte order ---------------------------------------------------------

template <typename Word>
inline Word loadNative(const std::uint8_t* bytes) noexcept {
    Word word;
    __builtin_memcpy(&word, bytes, sizeof word);
    return word;
}

template <typename Word>
inline void storeNative(std::uint8_t* bytes, Word word) noexcept {
    __builtin_memcpy(bytes, &word, sizeof word);
}

inline std::uint16_t load16(const std::uint8_t* bytes) noexcept { return loadNative<std::uint16_t>(bytes); }
inline std::uint32_t load32(const std::uint8_t* bytes) noexcept { return loadNative<std::uint32_t>(bytes); }
inline std::uint64_t load64(const std::uint8_t* bytes) noexcept { return loadNative<std::uint64_t>(bytes); }
inline void store16(std::uint8_t* bytes, std::uint16_t word) noexcept { storeNative(bytes, word); }
inline void store32(std::uint8_t* bytes, std::uint32_t word) noexcept { storeNative(bytes, word); }
inline void store64(std::uint8_t* bytes, std::uint64_t word) noexcept { storeNative(bytes, word); }

// ---- Fixed byte orders -------------------------------------------------------

inline void storeLittleEndian16(std::uint8_t* bytes, std::uint16_t word) noexcept {
    store16(bytes, kLittleEndianHost ? word : __builtin_bswap16(word));
}

inline std::uint32_t loadLittleEndian32(const std::uint8_t* bytes) noexcept {
    const std::uint32_t word = load32(bytes);
    return kLittleEndianHost ? word : __builtin_bswap32(word);
}

inline void storeLittleEndian32(std::uint8_t* bytes, std::uint32_t word) noexcept {
    store32(bytes, kLittleEndianHost ? word : __builtin_bswap32(word));
}

inline std::uint64_t loadLittleEndian64(const std::uint8_t* bytes) noexcept {
    const std::uint64_t word = load64(bytes);
    return kLittleEndianHost ? word : __builtin_bswap64(word);
}

inline void storeLittleEndian64(std::uint8_t* bytes, std::uint64_t word) noexcept {
    store64(bytes, kLittleEndianHost ? word : __builtin_bswap64(word));
}

inline std::uint32_t loadBigEndian32(const std::uint8_t* bytes) noexcept {
    const std::uint32_t word = load32(bytes);
    return kLittleEndianHost ? __builtin_bswap32(word) : word;
}

inline std::uint64_t loadBigEndian64(const std::uint8_t* bytes) noexcept {
    const std::uint64_t word = load64(bytes);
    return kLittleEndianHost ? __builtin_bswap64(word) : word;
}

inline void storeBigEndian32(std::uint8_t* bytes, std::uint32_t word) noexcept {
    store32(bytes, kLittleEndianHost ? __builtin_bswap32(word) : word);
}

}  // namespace huecl::bytes

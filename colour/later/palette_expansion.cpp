#include "colour/later/palette_expansion.h"

#include <cstddef>

#include "common/byte_access.h"

namespace huecl::later {

namespace {

// Entries are copied as they are, four bytes in host order; the caller's
// rows carry no alignment promise.
inline std::uint32_t loadEntry(const std::uint8_t* palette, std::uint32_t code) noexcept {
    return bytes::load32(palette + 4 * std::size_t{code});
}

inline void storeEntry(std::uint8_t* destination, std::uint32_t entry) noexcept { bytes::store32(destination, entry); }

void expandBytes(std::uint32_t count, const std::uint8_t* source, std::uint8_t* destination,
                 const std::uint8_t* palette) noexcept {
    for (std::uint32_t i = 0; i < count; ++i)
        storeEntry(destination + 4 * std::size_t{i}, loadEntry(palette, source[i]));
}

void expandNibbles(std::uint32_t count, std::uint8_t* source, std::uint8_t* destination,
                   const std::uint8_t* palette) noexcept {
    const std::uint32_t pairs = count / 2;
    for (std::uint32_t i = 0; i < pairs; ++i, destination += 8) {
        const std::uint8_t byte = source[i];
        storeEntry(destination, loadEntry(palette, byte >> 4));
        storeEntry(destination + 4, loadEntry(palette, byte & 0x0Fu));
        source[i] = static_cast<std::uint8_t>(byte << 4);
    }
    // The odd last code is read without the shift that a pair would make.
    if (count % 2 != 0) storeEntry(destination, loadEntry(palette, source[pairs] >> 4));
}

// Widths 1 and 2: every code of a byte is taken from its top bits, and the
// byte shifts one code along after each, so a whole byte ends up shifted by
// all but its last code and a partial last byte by every code taken.
template <unsigned kBits>
void expandSmallCodes(std::uint32_t count, std::uint8_t* source, std::uint8_t* destination,
                      const std::uint8_t* palette) noexcept {
    constexpr unsigned kCodesPerByte = 8 / kBits;
    constexpr unsigned kTopShift = 8 - kBits;
    std::uint32_t entries[1u << kBits];
    for (std::uint32_t code = 0; code < (1u << kBits); ++code) entries[code] = loadEntry(palette, code);

    const std::uint32_t wholeBytes = count / kCodesPerByte;
    for (std::uint32_t i = 0; i < wholeBytes; ++i, destination += 4 * kCodesPerByte) {
        const std::uint32_t byte = source[i];
        for (unsigned j = 0; j < kCodesPerByte; ++j) {
            storeEntry(destination + 4 * j, entries[(byte >> (kTopShift - kBits * j)) & ((1u << kBits) - 1)]);
        }
        source[i] = static_cast<std::uint8_t>(byte << (kTopShift));
    }
    const std::uint32_t rest = count % kCodesPerByte;
    if (rest == 0) return;
    std::uint32_t byte = source[wholeBytes];
    for (std::uint32_t j = 0; j < rest; ++j, destination += 4) {
        storeEntry(destination, entries[(byte >> kTopShift) & ((1u << kBits) - 1)]);
        byte = (byte << kBits) & 0xFFu;
    }
    source[wholeBytes] = static_cast<std::uint8_t>(byte);
}

// Any other width: codes run across byte boundaries and only the last 8
// bits of a code index the palette. The source is only read.
void expandAnyWidth(std::uint32_t bitsPerPixel, std::uint32_t count, const std::uint8_t* source,
                    std::uint8_t* destination, const std::uint8_t* palette) noexcept {
    const std::uint32_t usedBits = bitsPerPixel < 8 ? bitsPerPixel : 8;
    const std::uint32_t mask = (1u << usedBits) - 1;
    // Bit positions can pass 2^32 for a wide code and a long row.
    std::uint64_t usedStart = std::uint64_t{bitsPerPixel} - usedBits;
    for (std::uint32_t i = 0; i < count; ++i, destination += 4, usedStart += bitsPerPixel) {
        std::uint32_t code = 0;
        if (usedBits != 0) {
            const std::size_t byteIndex = static_cast<std::size_t>(usedStart / 8);
            const std::uint32_t bitInByte = static_cast<std::uint32_t>(usedStart % 8);
            // Read the second byte only when the code reaches into it: the
            // last code of a row may end exactly at the row's last byte.
            std::uint32_t window = std::uint32_t{source[byteIndex]} << 8;
            if (bitInByte + usedBits > 8) window |= source[byteIndex + 1];
            code = (window >> (16 - bitInByte - usedBits)) & mask;
        }
        storeEntry(destination, loadEntry(palette, code));
    }
}

}  // namespace

void expandPaletteRow(std::uint32_t bitsPerPixel, std::uint32_t count, std::uint8_t* source, std::uint8_t* destination,
                      const std::uint8_t* palette) noexcept {
    switch (bitsPerPixel) {
        case 8: expandBytes(count, source, destination, palette); break;
        case 4: expandNibbles(count, source, destination, palette); break;
        case 2: expandSmallCodes<2>(count, source, destination, palette); break;
        case 1: expandSmallCodes<1>(count, source, destination, palette); break;
        default: expandAnyWidth(bitsPerPixel, count, source, destination, palette); break;
    }
}

}  // namespace huecl::later

// Palette expansion through the export: every width from 0 to 16 and every
// count that ends inside a byte, against a bit-by-bit model of the codes and
// of what the source row holds afterwards.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "huecl32.h"

namespace {

std::vector<std::uint32_t> distinctPalette() {
    std::vector<std::uint32_t> palette(256);
    for (std::uint32_t i = 0; i < 256; ++i) palette[i] = 0x9E3779B9u * (i + 1);
    return palette;
}

// Code i: bitsPerPixel bits from bit i * width on, most significant first;
// only the last 8 of them count.
std::uint32_t referenceCode(const std::vector<std::uint8_t>& row, std::uint32_t width, std::uint32_t index) {
    std::uint32_t code = 0;
    for (std::uint32_t j = 0; j < width; ++j) {
        const std::uint64_t bit = std::uint64_t{index} * width + j;
        code = (code << 1) | ((row[bit / 8] >> (7 - bit % 8)) & 1u);
    }
    return code & 0xFFu;
}

// The row as widths 1, 2 and 4 leave it: whole bytes shifted by all their
// codes but the last, a 1- or 2-bit partial byte by every code taken, a
// 4-bit odd last byte untouched, everything after the codes untouched.
std::vector<std::uint8_t> rowAfterCall(std::vector<std::uint8_t> row, std::uint32_t width, std::uint32_t count) {
    if (width != 1 && width != 2 && width != 4) return row;
    const std::uint32_t perByte = 8 / width;
    for (std::uint32_t i = 0; i < count / perByte; ++i) row[i] = static_cast<std::uint8_t>(row[i] << (8 - width));
    const std::uint32_t rest = count % perByte;
    if (width != 4 && rest != 0)
        row[count / perByte] = static_cast<std::uint8_t>(row[count / perByte] << (width * rest));
    return row;
}

TEST(PaletteExpansion, EveryWidthAndCountAgreesWithTheBitModel) {
    const std::vector<std::uint32_t> palette = distinctPalette();
    std::mt19937 random(1);
    for (std::uint32_t width = 0; width <= 16; ++width) {
        for (std::uint32_t count = 0; count <= 40; ++count) {
            std::vector<std::uint8_t> row((count * width + 7) / 8 + 3);
            for (std::uint8_t& byte : row) byte = static_cast<std::uint8_t>(random());
            const std::vector<std::uint8_t> before = row;
            std::vector<std::uint32_t> destination(count + 1, 0xEEEEEEEEu);
            QvrColPtcPrc(width, count, row.data(), destination.data(), palette.data());
            for (std::uint32_t i = 0; i < count; ++i) {
                ASSERT_EQ(destination[i], palette[referenceCode(before, width, i)])
                    << "width " << width << " count " << count << " pixel " << i;
            }
            ASSERT_EQ(destination[count], 0xEEEEEEEEu) << "wrote past the row, width " << width << " count " << count;
            ASSERT_EQ(row, rowAfterCall(before, width, count)) << "source after width " << width << " count " << count;
        }
    }
}

struct Example {
    std::uint32_t width, count;
    std::vector<std::uint8_t> source;
    std::vector<std::uint32_t> codes;
    std::vector<std::uint8_t> sourceAfter;
};

TEST(PaletteExpansion, WorkedExamples) {
    const std::vector<Example> examples = {
        {8, 2, {0, 255}, {0, 255}, {0, 255}},
        {4, 3, {0xAB, 0xC0}, {0xA, 0xB, 0xC}, {0xB0, 0xC0}},
        {1, 10, {0xB1, 0x80}, {1, 0, 1, 1, 0, 0, 0, 1, 1, 0}, {0x80, 0x00}},
        {2, 6, {0xE4, 0x9F}, {3, 2, 1, 0, 2, 1}, {0x00, 0xF0}},
        {3, 3, {0xAC, 0x40}, {5, 3, 0}, {0xAC, 0x40}},
        {16, 2, {0x12, 0x34, 0x56, 0x78}, {0x34, 0x78}, {0x12, 0x34, 0x56, 0x78}},
        {0, 3, {0xFF}, {0, 0, 0}, {0xFF}},
    };
    const std::vector<std::uint32_t> palette = distinctPalette();
    for (const Example& example : examples) {
        std::vector<std::uint8_t> source = example.source;
        std::vector<std::uint32_t> destination(example.count);
        QvrColPtcPrc(example.width, example.count, source.data(), destination.data(), palette.data());
        for (std::uint32_t i = 0; i < example.count; ++i) {
            EXPECT_EQ(destination[i], palette[example.codes[i]]) << "width " << example.width << " pixel " << i;
        }
        EXPECT_EQ(source, example.sourceAfter) << "width " << example.width;
    }
}

TEST(PaletteExpansion, EntriesAreCopiedUnchangedWithoutAlignment) {
    // A host may hand rows and palettes at any byte address.
    std::vector<std::uint32_t> entries = distinctPalette();
    std::vector<std::uint8_t> paletteBytes(4 * 256 + 1), destinationBytes(4 * 8 + 1);
    std::memcpy(paletteBytes.data() + 1, entries.data(), 4 * 256);
    for (std::uint32_t width : {1u, 2u, 4u, 8u, 5u}) {
        std::uint8_t source[8] = {0x5A, 0xC3, 0x0F, 0xF0, 0x96, 0x69, 0x81, 0x7E};
        std::vector<std::uint8_t> copy(source, source + 8);
        QvrColPtcPrc(width, 8, source, reinterpret_cast<std::uint32_t*>(destinationBytes.data() + 1),
                     reinterpret_cast<const std::uint32_t*>(paletteBytes.data() + 1));
        for (std::uint32_t i = 0; i < 8; ++i) {
            std::uint32_t entry;
            std::memcpy(&entry, destinationBytes.data() + 1 + 4 * i, 4);
            EXPECT_EQ(entry, entries[referenceCode(copy, width, i)]) << "width " << width << " pixel " << i;
        }
    }
}

TEST(PaletteExpansion, WideCodesReadOnlyTheirLastEightBits) {
    const std::vector<std::uint32_t> palette = distinctPalette();
    std::mt19937 random(2);
    for (std::uint32_t width : {17u, 31u, 32u, 1000u, 4099u}) {
        const std::uint32_t count = 19;
        std::vector<std::uint8_t> row((std::uint64_t{width} * count + 7) / 8);
        for (std::uint8_t& byte : row) byte = static_cast<std::uint8_t>(random());
        const std::vector<std::uint8_t> before = row;
        std::vector<std::uint32_t> destination(count);
        QvrColPtcPrc(width, count, row.data(), destination.data(), palette.data());
        for (std::uint32_t i = 0; i < count; ++i) {
            ASSERT_EQ(destination[i], palette[referenceCode(before, width, i)]) << "width " << width << " pixel " << i;
        }
        EXPECT_EQ(row, before) << "width " << width;
    }
}

}  // namespace

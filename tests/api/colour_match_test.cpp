// Colour matching and the match cache through the exports: the five
// methods, the neutral shortcut, and a cache whose answers are always those
// of a fresh interpolation.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "huecl32.h"

namespace {

using Cmyk = std::array<std::uint8_t, 4>;

struct Bgr {
    std::uint8_t blue, green, red;
};

// Grey level to tone value; the neutral shortcut and black-only method
// print 255 minus it.
constexpr std::array<std::uint8_t, 256> kGrayTone = {
    0,   1,   2,   4,   5,   6,   7,   9,   10,  11,  12,  13,  15,  16,  17,  18,  19,  21,  22,  23,  24,  26,
    27,  28,  29,  30,  32,  33,  34,  35,  36,  38,  39,  40,  41,  43,  44,  45,  46,  47,  49,  50,  51,  52,
    53,  55,  56,  57,  58,  59,  61,  62,  63,  64,  65,  67,  68,  69,  70,  71,  72,  74,  75,  76,  77,  78,
    80,  81,  82,  83,  84,  85,  87,  88,  89,  90,  91,  92,  94,  95,  96,  97,  98,  99,  101, 102, 103, 104,
    105, 106, 107, 109, 110, 111, 112, 113, 114, 115, 116, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127, 129,
    130, 131, 132, 133, 134, 135, 136, 137, 138, 139, 140, 141, 142, 143, 144, 145, 146, 147, 148, 149, 150, 151,
    152, 153, 154, 155, 155, 156, 157, 158, 159, 160, 161, 162, 163, 164, 165, 165, 166, 167, 168, 169, 170, 171,
    172, 172, 173, 174, 175, 176, 177, 178, 179, 179, 180, 181, 182, 183, 184, 185, 185, 186, 187, 188, 189, 190,
    190, 191, 192, 193, 194, 195, 196, 196, 197, 198, 199, 200, 201, 201, 202, 203, 204, 205, 205, 206, 207, 208,
    209, 210, 210, 211, 212, 213, 214, 215, 215, 216, 217, 218, 219, 219, 220, 221, 222, 223, 223, 224, 225, 226,
    227, 228, 228, 229, 230, 231, 232, 232, 233, 234, 235, 236, 236, 237, 238, 239, 240, 240, 241, 242, 243, 244,
    245, 245, 246, 247, 248, 249, 249, 250, 251, 252, 253, 253, 254, 255,
};

// The caller's side of a match: record, cache and colour table.
class Matcher {
public:
    Matcher(std::uint32_t mode, std::uint32_t blackMode, std::uint32_t gridSize, std::vector<std::uint8_t> table)
        : table_(std::move(table)), keys_(HUECL_MATCH_CACHE_KEY_BYTES), values_(HUECL_MATCH_CACHE_VALUE_BYTES) {
        info_.mchMode = mode;
        info_.blackMode = blackMode;
        info_.gridSize = gridSize;
        info_.mchTable = table_.empty() ? nullptr : table_.data();
        info_.cacheKeys = keys_.data();
        info_.cacheValues = values_.data();
        QvrColCchIni(&info_);
    }

    std::vector<Cmyk> match(const std::vector<Bgr>& pixels) {
        std::vector<std::uint8_t> source;
        for (const Bgr& p : pixels) source.insert(source.end(), {p.blue, p.green, p.red});
        std::vector<std::uint8_t> destination(4 * pixels.size() + 4, 0xEE);
        QvrColMchPrc(static_cast<std::uint32_t>(pixels.size()), source.data(), destination.data(), &info_);
        EXPECT_EQ(destination.back(), 0xEE) << "wrote past the row";
        std::vector<Cmyk> result(pixels.size());
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            for (int k = 0; k < 4; ++k) result[i][k] = destination[4 * i + k];
        }
        return result;
    }
    Cmyk match(Bgr pixel) { return match(std::vector<Bgr>{pixel})[0]; }

    QvrMchInf& info() { return info_; }
    std::vector<std::uint8_t>& table() { return table_; }
    std::vector<std::uint8_t>& keys() { return keys_; }
    std::vector<std::uint8_t>& values() { return values_; }

private:
    std::vector<std::uint8_t> table_, keys_, values_;
    QvrMchInf info_{};
};

std::vector<std::uint8_t> randomTable(std::size_t entries, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> table(4 * entries);
    for (std::uint8_t& byte : table) byte = static_cast<std::uint8_t>(random());
    return table;
}

std::vector<Bgr> randomPixels(std::size_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<Bgr> pixels(count);
    for (Bgr& p : pixels) {
        const std::uint32_t bits = random();
        p = {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
             static_cast<std::uint8_t>(bits >> 16)};
    }
    return pixels;
}

// Trilinear interpolation written corner by corner in 64 bits, as the
// reference for the library's 32-bit sums.
Cmyk referenceInterpolation(Bgr pixel, std::uint32_t n, const std::vector<std::uint8_t>& table) {
    const std::uint32_t components[3] = {pixel.red, pixel.green, pixel.blue};
    std::uint64_t low[3], high[3], fraction[3];
    for (int axis = 0; axis < 3; ++axis) {
        const std::uint64_t p = std::uint64_t{components[axis]} * (n - 1);
        low[axis] = p / 255;
        high[axis] = (p + 254) / 255;
        fraction[axis] = p % 255;
    }
    Cmyk out{};
    for (int k = 0; k < 4; ++k) {
        std::uint64_t sum = 0;
        for (int corner = 0; corner < 8; ++corner) {
            std::uint64_t weight = 1, index = 0;
            for (int axis = 0; axis < 3; ++axis) {
                const bool takesHigh = (corner >> (2 - axis)) & 1;
                weight *= takesHigh ? fraction[axis] : 255 - fraction[axis];
                index = index * n + (takesHigh ? high[axis] : low[axis]);
            }
            sum += weight * table[4 * index + k];
        }
        out[k] = static_cast<std::uint8_t>((sum + 8290687) / 16581375);
    }
    return out;
}

Cmyk tableEntry(const std::vector<std::uint8_t>& table, std::size_t index) {
    return {table[4 * index], table[4 * index + 1], table[4 * index + 2], table[4 * index + 3]};
}

constexpr Cmyk kBlackInk = {0, 0, 0, 255};

// ---- Cache initialisation ---------------------------------------------------

TEST(MatchCacheInit, EveryKeyWhiteEveryValueNoColorant) {
    std::vector<std::uint8_t> keys(HUECL_MATCH_CACHE_KEY_BYTES, 0x12), values(HUECL_MATCH_CACHE_VALUE_BYTES, 0x34);
    // Only the two cache pointers are read.
    QvrMchInf info{0xDEADu, 0xBEEFu, 0, nullptr, keys.data(), values.data()};
    QvrColCchIni(&info);
    for (std::uint8_t key : keys) ASSERT_EQ(key, 255);
    for (std::uint8_t value : values) ASSERT_EQ(value, 0);
}

// ---- Neutral shortcut ---------------------------------------------------------

TEST(MatchNeutralShortcut, EveryGreyPrintsBlackOnlyInTheFirstThreeMethods) {
    for (std::uint32_t mode : {0u, 1u, 2u, 9u}) {
        Matcher matcher(mode, 2, 2, randomTable(32768, 1));
        EXPECT_EQ(matcher.match(Bgr{128, 128, 128}), (Cmyk{0, 0, 0, 107})) << "method " << mode;
        for (int level = 0; level < 256; ++level) {
            const auto v = static_cast<std::uint8_t>(level);
            ASSERT_EQ(matcher.match(Bgr{v, v, v}), (Cmyk{0, 0, 0, static_cast<std::uint8_t>(255 - kGrayTone[level])}))
                << "method " << mode << " level " << level;
        }
    }
}

TEST(MatchNeutralShortcut, PureBlackOnlyLeavesOtherGreysToTheMethod) {
    for (std::uint32_t mode : {0u, 1u, 2u}) {
        Matcher matcher(mode, 1, 2, randomTable(32768, 2));
        EXPECT_EQ(matcher.match(Bgr{0, 0, 0}), kBlackInk) << "method " << mode;
        Matcher plain(mode, 0, 2, matcher.table());
        EXPECT_EQ(matcher.match(Bgr{1, 1, 1}), plain.match(Bgr{1, 1, 1})) << "method " << mode;
        EXPECT_NE(matcher.match(Bgr{1, 1, 1}), kBlackInk) << "method " << mode;
    }
}

TEST(MatchNeutralShortcut, ShortcutPixelsNeverEnterTheCache) {
    Matcher matcher(1, 2, 2, randomTable(8, 3));
    const std::vector<std::uint8_t> keysBefore = matcher.keys(), valuesBefore = matcher.values();
    matcher.match(std::vector<Bgr>{{0, 0, 0}, {7, 7, 7}, {128, 128, 128}, {0, 0, 0}});
    EXPECT_EQ(matcher.keys(), keysBefore);
    EXPECT_EQ(matcher.values(), valuesBefore);
}

TEST(MatchNeutralShortcut, OtherBlackModesAndLaterMethodsIgnoreIt) {
    const std::vector<std::uint8_t> table = randomTable(32768, 4);
    for (std::uint32_t blackMode : {0u, 3u, 0xFFFFFFFFu}) {
        Matcher direct(0, blackMode, 32, table);
        EXPECT_EQ(direct.match(Bgr{0, 0, 0}), tableEntry(table, 0)) << blackMode;
        EXPECT_EQ(direct.match(Bgr{128, 128, 128}), tableEntry(table, 16 * 1024 + 16 * 32 + 16)) << blackMode;
    }
    for (std::uint32_t blackMode : {1u, 2u}) {
        // Eight colours: a light grey is white by its own rule, where the
        // shortcut would print black 4.
        EXPECT_EQ(Matcher(3, blackMode, 1, {}).match(Bgr{250, 250, 250}), (Cmyk{0, 0, 0, 0}));
        EXPECT_EQ(Matcher(4, blackMode, 1, {}).match(Bgr{0, 0, 0}), kBlackInk);
        EXPECT_EQ(Matcher(4, blackMode, 1, {}).match(Bgr{0, 255, 0}), (Cmyk{0, 0, 0, 108}));
    }
}

// ---- Method 0: direct table ------------------------------------------------------

TEST(MatchDirectTable, EveryCellIsReachedByItsTopFiveBits) {
    std::vector<std::uint8_t> table(4 * 32768);
    for (std::uint32_t index = 0; index < 32768; ++index) {
        table[4 * index] = static_cast<std::uint8_t>(index);
        table[4 * index + 1] = static_cast<std::uint8_t>(index >> 8);
        table[4 * index + 2] = static_cast<std::uint8_t>(index * 7);
        table[4 * index + 3] = static_cast<std::uint8_t>(index >> 3);
    }
    Matcher matcher(0, 0, 0, table);
    std::vector<Bgr> pixels;
    std::vector<std::uint32_t> expectedIndex;
    std::mt19937 random(5);
    for (std::uint32_t index = 0; index < 32768; ++index) {
        const std::uint32_t low = random();  // the low three bits of each component do not matter
        pixels.push_back({static_cast<std::uint8_t>((index & 31) << 3 | (low & 7)),
                          static_cast<std::uint8_t>(((index >> 5) & 31) << 3 | ((low >> 3) & 7)),
                          static_cast<std::uint8_t>((index >> 10) << 3 | ((low >> 6) & 7))});
        expectedIndex.push_back(index);
    }
    const std::vector<Cmyk> result = matcher.match(pixels);
    for (std::size_t i = 0; i < pixels.size(); ++i) ASSERT_EQ(result[i], tableEntry(table, expectedIndex[i])) << i;
}

// ---- Method 1: interpolation ------------------------------------------------------

TEST(MatchInterpolated, FreshCacheTurnsWhiteIntoNoColorantWithoutATable) {
    Matcher matcher(1, 0, 16, {});  // no table at all: a read would fault
    EXPECT_EQ(matcher.match(Bgr{255, 255, 255}), (Cmyk{0, 0, 0, 0}));
}

TEST(MatchInterpolated, GridPointsReproduceTheirEntries) {
    const std::vector<std::uint8_t> table = randomTable(16 * 16 * 16, 6);
    Matcher matcher(1, 0, 16, table);
    for (int r = 0; r < 16; ++r) {
        for (int g = 0; g < 16; ++g) {
            for (int b = 0; b < 16; ++b) {
                const Bgr pixel{static_cast<std::uint8_t>(17 * b), static_cast<std::uint8_t>(17 * g),
                                static_cast<std::uint8_t>(17 * r)};
                if (pixel.blue == 255 && pixel.green == 255 && pixel.red == 255) continue;  // served by the fresh cache
                ASSERT_EQ(matcher.match(pixel), tableEntry(table, (r * 16 + g) * 16 + b)) << r << " " << g << " " << b;
            }
        }
    }
}

TEST(MatchInterpolated, FullComponentLandsOnTheLastPointOfAnyGrid) {
    for (std::uint32_t n : {1u, 2u, 3u, 16u, 33u}) {
        const std::vector<std::uint8_t> table = randomTable(std::size_t{n} * n * n, 7 + n);
        Matcher matcher(1, 0, n, table);
        const std::size_t last = n - 1;
        EXPECT_EQ(matcher.match(Bgr{0, 0, 255}), tableEntry(table, last * n * n)) << n;
        EXPECT_EQ(matcher.match(Bgr{255, 0, 0}), tableEntry(table, last)) << n;
        EXPECT_EQ(matcher.match(Bgr{255, 255, 0}), tableEntry(table, last * n + last)) << n;
        EXPECT_EQ(matcher.match(Bgr{0, 255, 255}), tableEntry(table, (last * n + last) * n)) << n;
    }
}

TEST(MatchInterpolated, OnePointGridMapsEveryColourToEntryZero) {
    const std::vector<std::uint8_t> table = {11, 22, 33, 44};
    Matcher matcher(1, 0, 1, table);
    for (const Cmyk& out : matcher.match(randomPixels(300, 8))) ASSERT_EQ(out, (Cmyk{11, 22, 33, 44}));
}

TEST(MatchInterpolated, AgreesWithTheReferenceOnEveryGridSize) {
    for (std::uint32_t n : {2u, 5u, 16u, 33u}) {
        const std::vector<std::uint8_t> table = randomTable(std::size_t{n} * n * n, 9 + n);
        Matcher matcher(1, 0, n, table);
        const std::vector<Bgr> pixels = randomPixels(4000, 10 + n);
        const std::vector<Cmyk> result = matcher.match(pixels);
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            const Bgr p = pixels[i];
            if (p.blue == 255 && p.green == 255 && p.red == 255) continue;
            ASSERT_EQ(result[i], referenceInterpolation(p, n, table)) << "grid " << n << " pixel " << i;
        }
    }
}

// A table of all 255 drives every sum to its largest value, past 2^31;
// a signed or narrower sum would wrap there.
TEST(MatchInterpolated, LargestSumsDoNotOverflow) {
    Matcher full(1, 0, 33, std::vector<std::uint8_t>(4 * 33 * 33 * 33, 255));
    for (const Cmyk& out : full.match(randomPixels(2000, 11))) ASSERT_EQ(out, (Cmyk{255, 255, 255, 255}));
}

// Between entries 0 and 255 the result is the position rounded to nearest.
TEST(MatchInterpolated, RoundsToNearest) {
    std::vector<std::uint8_t> table(4 * 8, 0);
    for (int g = 0; g < 2; ++g) {
        for (int b = 0; b < 2; ++b) table[4 * ((1 * 2 + g) * 2 + b)] = 255;  // cyan 255 where red is high
    }
    Matcher matcher(1, 0, 2, table);
    for (int red = 0; red < 255; ++red) {
        const Cmyk out = matcher.match(Bgr{10, 20, static_cast<std::uint8_t>(red)});
        ASSERT_EQ(out[0], red) << red;
        ASSERT_EQ(out[1], 0);
    }
    // A quarter of the way to 255 on all three axes: exact weights of
    // 63.75^3 / 255^3 of the corner (255, 255, 255) alone.
    std::vector<std::uint8_t> corner(4 * 8, 0);
    corner[4 * 7 + 3] = 200;
    Matcher single(1, 0, 2, corner);
    const std::uint64_t f = 64, sum = 200 * f * f * f;
    EXPECT_EQ(single.match(Bgr{64, 64, 64})[3], (sum + 8290687) / 16581375);
}

// ---- Method 1: the cache ---------------------------------------------------------

TEST(MatchCache, MissStoresTheKeyAndValueInItsSlot) {
    const std::vector<std::uint8_t> table = randomTable(16 * 16 * 16, 12);
    Matcher matcher(1, 0, 16, table);
    const Bgr pixel{30, 60, 90};
    const std::uint32_t slot = (49 * 90 + 9 * 60 + 30) % 256;
    const Cmyk out = matcher.match(pixel);
    EXPECT_EQ(matcher.keys()[3 * slot], 30);
    EXPECT_EQ(matcher.keys()[3 * slot + 1], 60);
    EXPECT_EQ(matcher.keys()[3 * slot + 2], 90);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(matcher.values()[4 * slot + k], out[k]);
    // No other slot changed.
    for (std::uint32_t other = 0; other < 256; ++other) {
        if (other == slot) continue;
        for (int k = 0; k < 3; ++k) ASSERT_EQ(matcher.keys()[3 * other + k], 255);
        for (int k = 0; k < 4; ++k) ASSERT_EQ(matcher.values()[4 * other + k], 0);
    }
}

TEST(MatchCache, HitAnswersFromTheCacheNotTheTable) {
    Matcher matcher(1, 0, 2, randomTable(8, 13));
    const Bgr pixel{1, 2, 3};
    const Cmyk first = matcher.match(pixel);
    // The cache belongs to one table: once the table changes behind its
    // back, a hit still returns the stored value.
    for (std::uint8_t& byte : matcher.table()) byte = static_cast<std::uint8_t>(~byte);
    EXPECT_EQ(matcher.match(pixel), first);
    QvrColCchIni(&matcher.info());
    EXPECT_NE(matcher.match(pixel), first);
}

TEST(MatchCache, CollidingColoursReplaceEachOther) {
    const std::vector<std::uint8_t> table = randomTable(16 * 16 * 16, 14);
    Matcher matcher(1, 0, 16, table);
    // 49 x R + 9 x G + B equal modulo 256: one more red, 49 less blue.
    const Bgr first{100, 20, 10}, second{51, 20, 11};
    const std::uint32_t slot = (49 * 10 + 9 * 20 + 100) % 256;
    ASSERT_EQ(slot, (49 * 11 + 9 * 20 + 51) % 256);
    const Cmyk a = matcher.match(first);
    const Cmyk b = matcher.match(second);
    EXPECT_EQ(matcher.keys()[3 * slot], 51);
    EXPECT_EQ(matcher.keys()[3 * slot + 2], 11);
    // Changing the table now shows which pixel is interpolated afresh.
    const std::vector<std::uint8_t> original = matcher.table();
    for (std::uint8_t& byte : matcher.table()) byte = static_cast<std::uint8_t>(byte ^ 0x5A);
    EXPECT_EQ(matcher.match(second), b);                                                  // still cached
    EXPECT_EQ(matcher.match(first), referenceInterpolation(first, 16, matcher.table()));  // evicted
    EXPECT_NE(matcher.match(first), a);
    EXPECT_EQ(matcher.keys()[3 * slot], 100);
}

TEST(MatchCache, CachedAndInterpolatedResultsAreIdentical) {
    const std::vector<std::uint8_t> table = randomTable(17 * 17 * 17, 15);
    // A row with heavy repetition: few colours, runs and revisits.
    std::mt19937 random(16);
    const std::vector<Bgr> palette = randomPixels(300, 17);
    std::vector<Bgr> row;
    while (row.size() < 20000) {
        const Bgr colour = palette[random() % palette.size()];
        row.insert(row.end(), 1 + random() % 5, colour);
    }
    Matcher cached(1, 0, 17, table);
    const std::vector<Cmyk> warm = cached.match(row);
    const std::vector<Cmyk> again = cached.match(row);
    for (std::size_t i = 0; i < row.size(); ++i) {
        const Bgr p = row[i];
        // Each pixel alone through a fresh cache is a pure interpolation
        // (white excepted, which the fresh cache answers).
        if (!(p.blue == 255 && p.green == 255 && p.red == 255)) {
            ASSERT_EQ(warm[i], referenceInterpolation(p, 17, table)) << i;
        }
        ASSERT_EQ(again[i], warm[i]) << i;
    }
    // Splitting the row into calls of any length gives the same output.
    Matcher split(1, 0, 17, table);
    std::vector<Cmyk> pieces;
    for (std::size_t start = 0; start < row.size();) {
        const std::size_t length = std::min<std::size_t>(1 + random() % 37, row.size() - start);
        const std::vector<Cmyk> part = split.match(std::vector<Bgr>(row.begin() + start, row.begin() + start + length));
        pieces.insert(pieces.end(), part.begin(), part.end());
        start += length;
    }
    EXPECT_EQ(pieces, warm);
    EXPECT_EQ(split.keys(), cached.keys());
}

// Runs of one colour of every length, each ended by a colour that differs
// in a single component, so that any byte of a group of four pixels can be
// the one that breaks the run; the source buffer ends exactly at the row.
TEST(MatchCache, RunsOfEveryLengthMatchPixelByPixel) {
    const std::vector<std::uint8_t> table = randomTable(9 * 9 * 9, 30);
    std::vector<Bgr> row;
    const Bgr base{40, 80, 120};
    for (int length = 1; length <= 14; ++length) {
        for (int component = 0; component < 3; ++component) {
            row.insert(row.end(), length, base);
            Bgr breaker = base;
            (component == 0 ? breaker.blue : component == 1 ? breaker.green : breaker.red) += 1;
            row.push_back(breaker);
        }
    }
    for (int tail = 1; tail <= 9; ++tail) {
        std::vector<Bgr> withTail = row;
        withTail.insert(withTail.end(), tail, Bgr{7, 7, 7});
        for (std::uint32_t blackMode : {0u, 2u}) {
            Matcher whole(1, blackMode, 9, table), single(1, blackMode, 9, table);
            const std::vector<Cmyk> result = whole.match(withTail);
            for (std::size_t i = 0; i < withTail.size(); ++i) {
                ASSERT_EQ(result[i], single.match(withTail[i])) << "tail " << tail << " pixel " << i;
            }
            EXPECT_EQ(whole.keys(), single.keys());
        }
    }
}

// ---- Methods 2, 3, 4 ----------------------------------------------------------------

TEST(MatchToneInversion, WhiteAndBlackAndUnknownModes) {
    for (std::uint32_t mode : {2u, 5u, 100u, 0xFFFFFFFFu}) {
        Matcher matcher(mode, 0, 0, {});
        EXPECT_EQ(matcher.match(Bgr{255, 255, 255}), (Cmyk{0, 0, 0, 0})) << mode;
        EXPECT_EQ(matcher.match(Bgr{0, 0, 0}), (Cmyk{255, 255, 255, 0})) << mode;
        // Primary tone of 128 is 158; cyan answers red, yellow blue.
        EXPECT_EQ(matcher.match(Bgr{0, 128, 255}), (Cmyk{0, 97, 255, 0})) << mode;
    }
}

TEST(MatchEightColours, ThresholdsAgainstTheMean) {
    Matcher matcher(3, 0, 0, {});
    EXPECT_EQ(matcher.match(Bgr{200, 100, 50}), (Cmyk{255, 255, 0, 0}));
    EXPECT_EQ(matcher.match(Bgr{128, 128, 128}), kBlackInk);
    EXPECT_EQ(matcher.match(Bgr{235, 240, 250}), (Cmyk{0, 0, 0, 0}));
    // Mean exactly 240 is not yet white: threshold 241, all at or below it.
    EXPECT_EQ(matcher.match(Bgr{240, 240, 240}), kBlackInk);
    EXPECT_EQ(matcher.match(Bgr{0, 0, 255}), (Cmyk{0, 255, 255, 0}));
    for (const Bgr& p : randomPixels(5000, 18)) {
        const int mean = (p.blue + p.green + p.red) / 3;
        const int t = mean + ((255 - mean) >> 3);
        const Cmyk out = matcher.match(p);
        if (mean > 240) {
            ASSERT_EQ(out, (Cmyk{0, 0, 0, 0}));
            continue;
        }
        const Cmyk colours{static_cast<std::uint8_t>(p.red > t ? 0 : 255),
                           static_cast<std::uint8_t>(p.green > t ? 0 : 255),
                           static_cast<std::uint8_t>(p.blue > t ? 0 : 255), 0};
        ASSERT_EQ(out, colours == (Cmyk{255, 255, 255, 0}) ? kBlackInk : colours);
    }
}

TEST(MatchBlackOnly, WeightedGreyThroughTheGreyTone) {
    Matcher matcher(4, 0, 0, {});
    EXPECT_EQ(matcher.match(Bgr{0, 255, 0}), (Cmyk{0, 0, 0, 108}));
    EXPECT_EQ(matcher.match(Bgr{255, 255, 255}), (Cmyk{0, 0, 0, 0}));
    // (2 x 9 + 0 + 0) / 10 = 1: truncation, not rounding.
    EXPECT_EQ(matcher.match(Bgr{9, 0, 0}), (Cmyk{0, 0, 0, 254}));
    for (const Bgr& p : randomPixels(3000, 19)) {
        const int grey = (2 * p.blue + 5 * p.green + 3 * p.red) / 10;
        ASSERT_EQ(matcher.match(p), (Cmyk{0, 0, 0, static_cast<std::uint8_t>(255 - kGrayTone[grey])}));
    }
}

// ---- Every method with every blackMode -----------------------------------------------

TEST(MatchEveryMethod, CountZeroWritesNothing) {
    for (std::uint32_t mode = 0; mode <= 5; ++mode) {
        Matcher matcher(mode, 2, 2, randomTable(32768, 20));
        const std::vector<std::uint8_t> keysBefore = matcher.keys();
        std::uint8_t source[3] = {1, 2, 3}, destination[4] = {9, 9, 9, 9};
        QvrColMchPrc(0, source, destination, &matcher.info());
        EXPECT_EQ(destination[0] | destination[1] << 8 | destination[2] << 16 | destination[3] << 24, 0x09090909)
            << mode;
        EXPECT_EQ(matcher.keys(), keysBefore);
    }
}

// Each method, under each blackMode, converts a whole row exactly as it
// converts each pixel alone: neutral pixels among coloured ones, runs of one
// colour and a new call per pixel all agree.
TEST(MatchEveryMethod, RowEqualsPixelByPixelUnderEveryBlackMode) {
    std::vector<Bgr> row = randomPixels(600, 21);
    for (int level : {0, 1, 2, 128, 254, 255}) {
        const auto v = static_cast<std::uint8_t>(level);
        row.insert(row.begin() + level, 3, Bgr{v, v, v});
    }
    for (std::uint32_t mode = 0; mode <= 4; ++mode) {
        for (std::uint32_t blackMode = 0; blackMode <= 3; ++blackMode) {
            const std::uint32_t n = mode == 0 ? 32 : 9;
            const std::vector<std::uint8_t> table = randomTable(mode == 0 ? 32768 : 9 * 9 * 9, 22 + mode);
            Matcher whole(mode, blackMode, n, table), single(mode, blackMode, n, table);
            const std::vector<Cmyk> result = whole.match(row);
            for (std::size_t i = 0; i < row.size(); ++i) {
                const Bgr p = row[i];
                const Cmyk alone = single.match(p);
                ASSERT_EQ(result[i], alone) << "method " << mode << " blackMode " << blackMode << " pixel " << i;
                const bool grey = p.red == p.green && p.green == p.blue;
                const bool routed = mode <= 2 && ((blackMode == 2 && grey) || (blackMode == 1 && grey && p.red == 0));
                if (routed) {
                    ASSERT_EQ(alone, (Cmyk{0, 0, 0, static_cast<std::uint8_t>(255 - kGrayTone[p.red])}));
                } else if (mode == 1 && !(p.blue == 255 && p.green == 255 && p.red == 255)) {
                    ASSERT_EQ(alone, referenceInterpolation(p, n, table));
                }
            }
        }
    }
}

}  // namespace

// The earlier generation's colour matching through its export: the five
// methods, the neutral routing with the screen mode's grey-to-black curve,
// and the cache, against references written from the formulas.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "huecl32.h"
#include "support/earlier_colour_reference.h"

namespace {

using Cmyk = testsupport::CmykPixel;

struct Bgr {
    std::uint8_t blue, green, red;
};

constexpr Cmyk kBlackInk = {0, 0, 0, 255};
constexpr Cmyk kNoInk = {0, 0, 0, 0};

std::vector<std::uint8_t> randomTable(std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> table(4 * 32768);
    for (std::uint8_t& byte : table) byte = static_cast<std::uint8_t>(random());
    return table;
}

Cmyk entryAt(const std::vector<std::uint8_t>& table, int red, int green, int blue) {
    const std::size_t index = 4 * ((std::size_t(red) * 32 + green) * 32 + blue);
    return {table[index], table[index + 1], table[index + 2], table[index + 3]};
}

std::uint8_t greyBlack(int grey, std::uint32_t screenMode) {
    return static_cast<std::uint8_t>(testsupport::greyBlackReference(grey, screenMode));
}

// The caller's side: dither record (for the screen mode), match record,
// cache and table.
class EarlierMatcher {
public:
    EarlierMatcher(std::uint32_t mode, std::uint32_t blackMode, std::vector<std::uint8_t> table = randomTable(1),
                   std::uint32_t screenMode = 1)
        : table_(std::move(table)), keys_(HUECL_MATCH_CACHE_KEY_BYTES), values_(HUECL_MATCH_CACHE_VALUE_BYTES) {
        dither_.screenMode = screenMode;
        // gridSize is never read by this generation.
        info_ = QvrMchInf{mode, blackMode, 0xBAD, table_.data(), keys_.data(), values_.data()};
        QvrColCchIni(&info_);
    }

    std::vector<Cmyk> match(const std::vector<Bgr>& pixels) {
        std::vector<std::uint8_t> source;
        for (const Bgr& p : pixels) source.insert(source.end(), {p.blue, p.green, p.red});
        std::vector<std::uint8_t> destination(4 * pixels.size() + 4, 0xEE);
        QvColMchPrc(&dither_, static_cast<std::uint32_t>(pixels.size()), source.data(), destination.data(), &info_);
        EXPECT_EQ(destination.back(), 0xEE) << "wrote past the row";
        std::vector<Cmyk> result(pixels.size());
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            for (int k = 0; k < 4; ++k) result[i][k] = destination[4 * i + k];
        }
        return result;
    }
    Cmyk match(Bgr pixel) { return match(std::vector<Bgr>{pixel})[0]; }

    std::vector<std::uint8_t>& table() { return table_; }
    std::vector<std::uint8_t>& keys() { return keys_; }
    std::vector<std::uint8_t>& values() { return values_; }
    QvDizInf& dither() { return dither_; }

private:
    std::vector<std::uint8_t> table_, keys_, values_;
    QvDizInf dither_{};
    QvrMchInf info_{};
};

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

// ---- Every method ----------------------------------------------------------------

TEST(EarlierMatch, CountZeroWritesNothing) {
    for (std::uint32_t mode : {0u, 1u, 2u, 3u, 4u, 7u}) {
        EarlierMatcher matcher(mode, 2);
        std::vector<std::uint8_t> destination(8, 0xEE);
        const std::uint8_t source[3] = {1, 2, 3};
        QvrMchInf info{mode, 2, 32, matcher.table().data(), matcher.keys().data(), matcher.values().data()};
        QvColMchPrc(&matcher.dither(), 0, source, destination.data(), &info);
        EXPECT_EQ(destination, std::vector<std::uint8_t>(8, 0xEE)) << mode;
    }
}

TEST(EarlierMatch, UnknownModesWorkAsTheInversion) {
    const std::vector<Bgr> pixels = randomPixels(2000, 2);
    for (std::uint32_t blackMode : {0u, 1u, 2u}) {
        const std::vector<Cmyk> expected = EarlierMatcher(2, blackMode).match(pixels);
        for (std::uint32_t mode : {5u, 7u, 0x80000000u, 0xFFFFFFFFu}) {
            EXPECT_EQ(EarlierMatcher(mode, blackMode).match(pixels), expected) << mode;
        }
    }
}

// ---- Neutral routing --------------------------------------------------------------

TEST(EarlierMatchNeutral, EveryGreyPrintsTheModesBlackInTheFirstThreeMethods) {
    for (std::uint32_t mode : {0u, 1u, 2u}) {
        for (std::uint32_t screenMode : {1u, 2u, 3u, 0u, 9u}) {
            EarlierMatcher matcher(mode, 2, randomTable(3), screenMode);
            const std::vector<std::uint8_t> keysBefore = matcher.keys();
            for (int level = 0; level < 256; ++level) {
                const auto v = static_cast<std::uint8_t>(level);
                ASSERT_EQ(matcher.match(Bgr{v, v, v}), (Cmyk{0, 0, 0, greyBlack(level, screenMode)}))
                    << "method " << mode << " screen mode " << screenMode << " level " << level;
            }
            // Routed greys bypass the cache.
            EXPECT_EQ(matcher.keys(), keysBefore);
        }
    }
    EarlierMatcher matcher(1, 2);
    EXPECT_EQ(matcher.match(Bgr{0, 0, 0}), kBlackInk);
    EXPECT_EQ(matcher.match(Bgr{255, 255, 255}), kNoInk);
}

TEST(EarlierMatchNeutral, ScreenModeSetsTheCurveWorkedValues) {
    // The grey 32 in screen modes 1, 2, 3 and another.
    const std::pair<std::uint32_t, std::uint8_t> expected[] = {{1, 179}, {2, 194}, {3, 205}, {4, 189}};
    for (const auto& [screenMode, black] : expected) {
        EXPECT_EQ(EarlierMatcher(0, 2, randomTable(4), screenMode).match(Bgr{32, 32, 32}), (Cmyk{0, 0, 0, black}))
            << screenMode;
    }
}

TEST(EarlierMatchNeutral, PureBlackOnlyLeavesOtherGreysToTheMethod) {
    for (std::uint32_t mode : {0u, 1u, 2u}) {
        EarlierMatcher routed(mode, 1, randomTable(5));
        EarlierMatcher plain(mode, 0, routed.table());
        EXPECT_EQ(routed.match(Bgr{0, 0, 0}), kBlackInk) << mode;
        EXPECT_NE(plain.match(Bgr{0, 0, 0}), kBlackInk) << mode;
        for (Bgr grey : {Bgr{1, 1, 1}, Bgr{128, 128, 128}, Bgr{255, 255, 255}, Bgr{0, 0, 1}}) {
            EXPECT_EQ(routed.match(grey), plain.match(grey)) << mode;
        }
    }
}

TEST(EarlierMatchNeutral, OtherBlackModesRouteNothing) {
    const std::vector<std::uint8_t> table = randomTable(6);
    for (std::uint32_t blackMode : {0u, 3u, 0xFFFFFFFFu}) {
        EarlierMatcher direct(0, blackMode, table);
        EXPECT_EQ(direct.match(Bgr{0, 0, 0}), entryAt(table, 0, 0, 0)) << blackMode;
        EXPECT_EQ(direct.match(Bgr{128, 128, 128}), entryAt(table, 16, 16, 16)) << blackMode;
    }
}

// ---- Method 0 ---------------------------------------------------------------------

TEST(EarlierMatchNearest, TopFiveBitsAddressTheTable) {
    const std::vector<std::uint8_t> table = randomTable(7);
    EarlierMatcher matcher(0, 0, table);
    const std::vector<Bgr> pixels = randomPixels(5000, 8);
    const std::vector<Cmyk> results = matcher.match(pixels);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        ASSERT_EQ(results[i], entryAt(table, pixels[i].red >> 3, pixels[i].green >> 3, pixels[i].blue >> 3)) << i;
    }
    // Levels 8 i to 8 i + 7 read node i; red is the slowest axis.
    EXPECT_EQ(matcher.match(Bgr{7, 8, 255}), entryAt(table, 31, 1, 0));
}

// ---- Method 1 ---------------------------------------------------------------------

TEST(EarlierMatchInterpolated, GridLevelsReturnTheirNodeExactly) {
    const std::vector<std::uint8_t> table = randomTable(9);
    EarlierMatcher matcher(1, 0, table);
    // Level 8 is node 1 (upper node, no distance to it), 255 node 31.
    EXPECT_EQ(matcher.match(Bgr{0, 8, 255}), entryAt(table, 31, 1, 0));
    for (int node = 0; node < 32; ++node) {
        const auto level = static_cast<std::uint8_t>(testsupport::gridNode(node));
        EXPECT_EQ(matcher.match(Bgr{level, 41, 16}), entryAt(table, 2, 5, node)) << node;
    }
}

TEST(EarlierMatchInterpolated, RowsAgreeWithTheReferenceWhateverTheCacheHolds) {
    const std::vector<std::uint8_t> table = randomTable(10);
    EarlierMatcher matcher(1, 0, table);
    // Random colours, runs of one colour of every length up to 13, and a
    // few colours repeated far apart, which the cache answers.
    std::vector<Bgr> pixels = randomPixels(3000, 11);
    std::mt19937 random(12);
    for (int run = 1; run <= 13; ++run) pixels.insert(pixels.end(), run, pixels[random() % 3000]);
    for (int i = 0; i < 500; ++i) pixels.push_back(pixels[random() % 20]);
    for (int pass = 0; pass < 2; ++pass) {
        const std::vector<Cmyk> results = matcher.match(pixels);
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            ASSERT_EQ(results[i],
                      testsupport::interpolationReference(pixels[i].blue, pixels[i].green, pixels[i].red, table))
                << "pass " << pass << " pixel " << i;
        }
    }
}

TEST(EarlierMatchInterpolated, CacheServesRepeatsAndCollisionsReplaceTheSlot) {
    EarlierMatcher matcher(1, 0, randomTable(13));
    const Bgr pixel{10, 20, 30};
    const Cmyk first = matcher.match(pixel);
    const std::size_t slot = (49 * 30 + 9 * 20 + 10) % 256;
    EXPECT_EQ(matcher.keys()[3 * slot], 10);
    EXPECT_EQ(matcher.keys()[3 * slot + 1], 20);
    EXPECT_EQ(matcher.keys()[3 * slot + 2], 30);
    EXPECT_EQ((Cmyk{matcher.values()[4 * slot], matcher.values()[4 * slot + 1], matcher.values()[4 * slot + 2],
                    matcher.values()[4 * slot + 3]}),
              first);
    // The second call is served from the cache: a changed table does not show.
    for (std::uint8_t& byte : matcher.table()) byte = static_cast<std::uint8_t>(byte ^ 0x5A);
    EXPECT_EQ(matcher.match(pixel), first);
    // Same slot (49 * 30 + 9 * 20 + 10 = 49 * 30 + 9 * 19 + 19), other pixel:
    // it is interpolated from the changed table and takes the slot over.
    const Bgr rival{19, 19, 30};
    EXPECT_EQ(matcher.match(rival), testsupport::interpolationReference(19, 19, 30, matcher.table()));
    EXPECT_EQ(matcher.keys()[3 * slot], 19);
    EXPECT_EQ(matcher.match(pixel), testsupport::interpolationReference(10, 20, 30, matcher.table()));
}

TEST(EarlierMatchInterpolated, FreshCacheAnswersWhiteWithoutTheTable) {
    std::vector<std::uint8_t> table(4 * 32768, 0x77);
    EarlierMatcher matcher(1, 0, table);
    EXPECT_EQ(matcher.match(Bgr{255, 255, 255}), kNoInk);
    EXPECT_EQ(matcher.match(Bgr{254, 255, 255}), (Cmyk{0x77, 0x77, 0x77, 0x77}));
}

// ---- Method 2 ---------------------------------------------------------------------

TEST(EarlierMatchInversion, AgreesWithTheReferenceForEveryGreyAndRandomColours) {
    EarlierMatcher matcher(2, 0);
    EXPECT_EQ(matcher.match(Bgr{255, 255, 255}), kNoInk);
    EXPECT_EQ(matcher.match(Bgr{0, 0, 0}), (Cmyk{171, 171, 171, 63}));
    std::vector<Bgr> pixels = randomPixels(5000, 14);
    for (int level = 0; level < 256; ++level) {
        const auto v = static_cast<std::uint8_t>(level);
        pixels.push_back({v, v, v});
        pixels.push_back({v, 0, 255});
    }
    const std::vector<Cmyk> results = matcher.match(pixels);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        ASSERT_EQ(results[i], testsupport::curvedInversionReference(pixels[i].blue, pixels[i].green, pixels[i].red))
            << i;
    }
}

// ---- Method 3 ---------------------------------------------------------------------

TEST(EarlierMatchEightColours, ThresholdCases) {
    struct Case {
        Bgr pixel;
        Cmyk expected;
    };
    const Case cases[] = {
        {{200, 100, 50}, {255, 255, 0, 0}},  // mean 116, threshold 133
        {{235, 240, 250}, kNoInk},           // mean 241: white
        {{255, 255, 215}, kNoInk},           // mean 241 with red low: still white
        {{128, 128, 128}, kBlackInk},        // every component at the threshold
        {{0, 0, 0}, kBlackInk},              // black, whatever the black mode
        {{20, 20, 200}, {0, 255, 255, 0}},   // red only: mean 80, threshold 102
        {{120, 110, 100}, kBlackInk},        // mean 110, threshold 128: every component below
    };
    for (std::uint32_t blackMode : {0u, 1u, 2u}) {
        EarlierMatcher matcher(3, blackMode);
        for (const Case& c : cases) {
            EXPECT_EQ(matcher.match(c.pixel), c.expected) << int{c.pixel.blue} << " " << int{c.pixel.green} << " "
                                                          << int{c.pixel.red} << " blackMode " << blackMode;
        }
    }
}

// ---- Method 4 ---------------------------------------------------------------------

TEST(EarlierMatchGrey, BlackOnlyThroughTheModesCurveWhateverTheBlackMode) {
    const std::vector<Bgr> pixels = randomPixels(3000, 15);
    for (std::uint32_t screenMode : {1u, 2u, 3u, 5u}) {
        for (std::uint32_t blackMode : {0u, 1u, 2u}) {
            EarlierMatcher matcher(4, blackMode, randomTable(16), screenMode);
            const std::vector<Cmyk> results = matcher.match(pixels);
            for (std::size_t i = 0; i < pixels.size(); ++i) {
                const int grey = (2 * pixels[i].blue + 5 * pixels[i].green + 3 * pixels[i].red) / 10;
                ASSERT_EQ(results[i], (Cmyk{0, 0, 0, greyBlack(grey, screenMode)})) << i;
            }
        }
    }
}

}  // namespace

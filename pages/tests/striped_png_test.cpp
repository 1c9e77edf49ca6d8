#include "pages/readers/image_source.h"
#include "pages/writers/striped_png.h"
#include "pages/tests/temporary_folder.h"
#include "pages/page_error.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace huecl::pages {
namespace {

using testing::TemporaryFolder;

// Writes rows (red, green, blue) as stripes of the given heights, the last
// one possibly empty, and reads the file back through libpng.
std::vector<std::uint8_t> roundTrip(const std::vector<std::uint8_t>& rgb, std::uint32_t width, std::uint32_t height,
                                    const std::vector<std::uint32_t>& stripeHeights) {
    TemporaryFolder folder;
    const auto path = folder / "striped.png";
    {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        StripedPngWriter png(file, path.string(), width, height);
        std::uint32_t row = 0;
        for (size_t stripe = 0; stripe < stripeHeights.size(); ++stripe) {
            std::vector<std::uint8_t> raw;
            for (std::uint32_t y = row; y < row + stripeHeights[stripe]; ++y) {
                raw.push_back(0);
                raw.insert(raw.end(), rgb.begin() + y * width * 3, rgb.begin() + (y + 1) * width * 3);
            }
            row += stripeHeights[stripe];
            png.writeStripe(deflateStripe(raw, stripe + 1 == stripeHeights.size()));
        }
        std::fclose(file);
    }
    auto image = openImage(path);
    EXPECT_EQ(image->width(), width);
    EXPECT_EQ(image->height(), height);
    std::vector<std::uint8_t> bgr(size_t{width} * height * 3);
    image->readRows(bgr);
    for (size_t pixel = 0; pixel < bgr.size(); pixel += 3) std::swap(bgr[pixel], bgr[pixel + 2]);
    return bgr;
}

TEST(StripedPng, StripesReadBackAsOneImage) {
    std::mt19937 random(16);
    const std::uint32_t width = 37, height = 45;
    std::vector<std::uint8_t> rgb(width * height * 3);
    // Noise in the top half, flat runs below, so that stripes both store
    // and match.
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = i < rgb.size() / 2 ? static_cast<std::uint8_t>(random()) : static_cast<std::uint8_t>(i / 300);
    const std::vector<std::vector<std::uint32_t>> splits = {
        {45}, {1, 44}, {44, 1}, {45, 0}, {7, 7, 7, 7, 7, 7, 3}, {20, 0, 25, 0}, {1, 1, 1, 1, 41},
    };
    for (const auto& split : splits) {
        SCOPED_TRACE(::testing::PrintToString(split));
        EXPECT_EQ(roundTrip(rgb, width, height, split), rgb);
    }
}

// One deflater reset between stripes writes each stripe as a fresh one
// would: nothing of a stripe leaks into the next.
TEST(StripedPng, ADeflaterUsedAgainWritesWhatAFreshOneWrites) {
    std::mt19937 random(5);
    StripeDeflater deflater;
    for (const size_t size : {0u, 1u, 4000u, 70000u, 300u}) {
        std::vector<std::uint8_t> rows(size);
        for (auto& byte : rows) byte = static_cast<std::uint8_t>(random() % 7);  // matches and literals
        for (const bool last : {false, true}) {
            const DeflatedStripe reused = deflater.deflate(rows, last);
            const DeflatedStripe fresh = deflateStripe(rows, last);
            EXPECT_EQ(reused.bytes, fresh.bytes) << size << " bytes, last " << last;
            EXPECT_EQ(reused.adler, fresh.adler);
        }
    }
}

TEST(StripedPng, LargeStripesAndIncompressibleRows) {
    std::mt19937 random(7);
    const std::uint32_t width = 3000, height = 40;
    std::vector<std::uint8_t> rgb(width * height * 3);
    for (auto& sample : rgb) sample = static_cast<std::uint8_t>(random());
    EXPECT_EQ(roundTrip(rgb, width, height, {13, 27}), rgb);
}

}  // namespace
}  // namespace huecl::pages

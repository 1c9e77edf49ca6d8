#include "output_files.h"
#include "page_preview.h"
#include "png_image.h"
#include "temporary_folder.h"

#include <gtest/gtest.h>

namespace huecl::tool {
namespace {

using testing::TemporaryFolder;

std::vector<uint8_t> readPreview(const std::filesystem::path &path, uint32_t &width, uint32_t &height) {
    auto source = openImage(path);
    width = source->width();
    height = source->height();
    std::vector<uint8_t> bgr(size_t{width} * height * 3);
    source->readRows(bgr);
    return bgr;
}

TEST(PreviewReduction, SumsDotValuesPerBoxAndColorant) {
    const PlaneLayout layout{6, 2, 2, 4}; // 6 two-bit dots per row
    // Cyan row: levels 3 3 0 1 2 0; other planes blank.
    const std::vector<uint8_t> cyan{0xF1, 0x80}, blank(2, 0);
    const uint8_t *planes[] = {cyan.data(), blank.data(), blank.data(), blank.data()};
    const BandColumnSums band = reduceBand(layout, 4, planes, 1);
    ASSERT_EQ(band.sums.size(), 2u * 4);
    EXPECT_EQ(band.sums[0], 7u); // box 0, cyan: 3 + 3 + 0 + 1
    EXPECT_EQ(band.sums[4], 2u); // box 1, cyan: 2 + 0
    EXPECT_EQ(band.sums[3], 0u);
    EXPECT_EQ(band.inkedDots, 4u);
}

TEST(PreviewReduction, OneBitRowsIgnoreThePaddingBits) {
    const PlaneLayout layout{10, 2, 1, 1}; // black only
    const std::vector<uint8_t> black{0xFF, 0xFF};
    const uint8_t *planes[] = {black.data()};
    const BandColumnSums band = reduceBand(layout, 3, planes, 1);
    ASSERT_EQ(band.sums.size(), 4u * 4);
    EXPECT_EQ(band.sums[3], 3u);
    EXPECT_EQ(band.sums[3 * 4 + 3], 1u); // the tenth dot alone; bits 10-15 are padding
    EXPECT_EQ(band.sums[0], 0u);
    EXPECT_EQ(band.inkedDots, 10u);
}

TEST(Preview, PaperIsWhiteAndFullInksAreDark) {
    TemporaryFolder folder;
    const PlaneLayout layout{4, 1, 1, 4};
    {
        OutputFolder output(folder.path());
        auto &file = output.create("preview.png");
        PreviewBuilder preview(file.stream(), "preview.png", layout, 3, 2);
        EXPECT_EQ(preview.width(), 2u);
        EXPECT_EQ(preview.height(), 2u);
        // Rows 0-1: cyan on the left box only; row 2 (a partial box): all black.
        const std::vector<uint8_t> leftHalf{0xC0}, none{0x00}, all{0xF0};
        const uint8_t *cyanRow[] = {leftHalf.data(), none.data(), none.data(), none.data()};
        const uint8_t *blackRow[] = {none.data(), none.data(), none.data(), all.data()};
        preview.addBand(reduceBand(layout, 2, cyanRow, 1));
        preview.addBand(reduceBand(layout, 2, cyanRow, 1));
        preview.addBand(reduceBand(layout, 2, blackRow, 1));
        preview.finish();
        output.commit();
    }
    uint32_t width = 0, height = 0;
    const auto bgr = readPreview(folder / "preview.png", width, height);
    ASSERT_EQ(bgr.size(), 2u * 2 * 3);
    EXPECT_LT(bgr[2], 60);            // cyan box: little red
    EXPECT_GT(bgr[0], 240);           // but nearly all blue
    EXPECT_EQ(bgr[3], 255);           // paper box: white
    EXPECT_EQ(bgr[5], 255);
    EXPECT_LT(bgr[6 + 0], 100);       // black row: dark in every channel
    EXPECT_EQ(bgr[6 + 0], bgr[6 + 2]);
}

TEST(Preview, BoxSizeFollowsTheResolutions) {
    EXPECT_EQ(previewBoxSize(600, 100), 6u);
    EXPECT_EQ(previewBoxSize(300, 100), 3u);
    EXPECT_EQ(previewBoxSize(100, 300), 1u);
}

} // namespace
} // namespace huecl::tool

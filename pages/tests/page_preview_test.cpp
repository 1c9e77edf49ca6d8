#include "pages/colour/colour_table.h"
#include "pages/writers/output_files.h"
#include "pages/writers/page_preview.h"
#include "pages/readers/png_image.h"
#include "pages/tests/temporary_folder.h"

#include <gtest/gtest.h>

#include <random>

namespace huecl::pages {
namespace {

using testing::readFile;
using testing::TemporaryFolder;

std::vector<std::uint8_t> readPreview(const std::filesystem::path& path, std::uint32_t& width, std::uint32_t& height) {
    auto source = openImage(path);
    width = source->width();
    height = source->height();
    std::vector<std::uint8_t> bgr(size_t{width} * height * 3);
    source->readRows(bgr);
    return bgr;
}

// A screen whose thresholds are 0 to 254 once each prints level v with
// coverage v / 255.
const InkResponse& linearInk() {
    static const InkResponse ink = [] {
        static std::vector<std::uint8_t> thresholds;
        for (int t = 0; t < 255; ++t) thresholds.push_back(static_cast<std::uint8_t>(t));
        return inkResponseOf({thresholds, thresholds, thresholds, thresholds});
    }();
    return ink;
}

TEST(PreviewReduction, SumsDotValuesPerBoxAndColorant) {
    const PlaneLayout layout{6, 2, 2, 4};  // 6 two-bit dots per row
    // Cyan row: levels 3 3 0 1 2 0; other planes blank.
    const std::vector<std::uint8_t> cyan{0xF1, 0x80}, blank(2, 0);
    const std::uint8_t* planes[] = {cyan.data(), blank.data(), blank.data(), blank.data()};
    const BandColumnSums band = reduceBand(layout, 4, planes, 1, 0);
    ASSERT_EQ(band.sums.size(), 2u * 4);
    EXPECT_EQ(band.sums[0], 7u);  // box 0, cyan: 3 + 3 + 0 + 1
    EXPECT_EQ(band.sums[4], 2u);  // box 1, cyan: 2 + 0
    EXPECT_EQ(band.sums[3], 0u);
    EXPECT_EQ(band.inkedDots, 4u);
}

TEST(PreviewReduction, OneBitRowsIgnoreThePaddingBits) {
    const PlaneLayout layout{10, 2, 1, 1};  // black only
    const std::vector<std::uint8_t> black{0xFF, 0xFF};
    const std::uint8_t* planes[] = {black.data()};
    const BandColumnSums band = reduceBand(layout, 3, planes, 1, 0);
    ASSERT_EQ(band.sums.size(), 4u * 4);
    EXPECT_EQ(band.sums[3], 3u);
    EXPECT_EQ(band.sums[3 * 4 + 3], 1u);  // the tenth dot alone; bits 10-15 are padding
    EXPECT_EQ(band.sums[0], 0u);
    EXPECT_EQ(band.inkedDots, 10u);
}

TEST(PreviewReduction, MatchesDotByDotSumsForEveryBoxAndDepth) {
    // Random planes, padding bits included, against sums taken dot by dot:
    // boxes that tile bytes in groups and boxes that do not, rows of boxes
    // cut by the band's start and end.
    std::mt19937 random(6);
    for (const std::uint32_t bits : {1u, 2u, 4u})
        for (const std::uint32_t box : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 12u, 13u, 16u, 17u})
            for (const std::uint32_t width : {1u, 5u, 24u, 61u, 200u}) {
                SCOPED_TRACE(std::to_string(bits) + " bits, box " + std::to_string(box) + ", width " +
                             std::to_string(width));
                const std::uint32_t lineBytes = (width * bits + 7) / 8, rows = 11, firstRow = 5, planeCount = 2;
                const PlaneLayout layout{width, lineBytes, bits, planeCount};
                std::array<std::vector<std::uint8_t>, 2> planes;
                for (auto& plane : planes) {
                    plane.resize(size_t{rows} * lineBytes);
                    for (auto& byte : plane) byte = random() % 3 == 0 ? 0 : static_cast<std::uint8_t>(random());
                }
                std::fill_n(planes[1].begin(), lineBytes, 0);  // a blank row
                const std::uint8_t* pointers[] = {planes[0].data(), planes[1].data()};
                const BandColumnSums band = reduceBand(layout, box, pointers, rows, firstRow);
                const std::uint32_t columns = (width + box - 1) / box;
                std::vector<std::uint32_t> expected(size_t{((firstRow + rows - 1) / box - firstRow / box + 1)} *
                                                    columns * 4);
                std::uint64_t inked = 0;
                for (std::uint32_t plane = 0; plane < planeCount; ++plane)
                    for (std::uint32_t y = 0; y < rows; ++y)
                        for (std::uint32_t dot = 0; dot < width; ++dot) {
                            const std::uint8_t* row = planes[plane].data() + size_t{y} * lineBytes;
                            const std::uint32_t perByte = 8 / bits;
                            const std::uint32_t level =
                                (row[dot / perByte] >> (8 - bits * (dot % perByte + 1))) & ((1u << bits) - 1);
                            const size_t boxRow = (firstRow + y) / box - firstRow / box;
                            expected[(boxRow * columns + dot / box) * 4 + plane] += level;
                            inked += level != 0;
                        }
                ASSERT_EQ(band.sums, expected);
                ASSERT_EQ(band.inkedDots, inked);
                ASSERT_EQ(BandReducer(layout, box).inkedDots(pointers, rows), inked);  // the count alone
            }
}

// A page builds one reducer and hands it every band, in any order and from
// any thread: the sums must not depend on which bands it saw before.
TEST(PreviewReduction, OneReducerServesEveryBandOfAPage) {
    std::mt19937 random(11);
    for (const std::uint32_t bits : {1u, 2u, 4u})
        for (const std::uint32_t box : {1u, 3u, 6u, 13u}) {
            const std::uint32_t width = 101, lineBytes = (width * bits + 7) / 8, bandRows = 7;
            const PlaneLayout layout{width, lineBytes, bits, 4};
            const BandReducer reducer(layout, box);
            std::vector<std::uint32_t> used;             // the band before's sums, handed back in as the band loop does
            for (std::uint32_t band = 5; band-- > 0;) {  // last band first
                std::array<std::vector<std::uint8_t>, 4> planes;
                std::array<const std::uint8_t*, 4> pointers{};
                for (size_t plane = 0; plane < 4; ++plane) {
                    planes[plane].resize(size_t{bandRows} * lineBytes);
                    for (auto& byte : planes[plane]) byte = static_cast<std::uint8_t>(random());
                    pointers[plane] = planes[plane].data();
                }
                const BandColumnSums shared = reducer.reduce(pointers, bandRows, band * bandRows);
                const BandColumnSums own = reduceBand(layout, box, pointers, bandRows, band * bandRows);
                ASSERT_EQ(shared.sums, own.sums) << bits << " bits, box " << box << ", band " << band;
                ASSERT_EQ(shared.inkedDots, own.inkedDots);
                ASSERT_EQ(shared.firstRow, band * bandRows);
                const BandColumnSums reused = reducer.reduce(pointers, bandRows, band * bandRows, std::move(used));
                ASSERT_EQ(reused.sums, own.sums) << "in the sums of the band before: " << bits << " bits, box " << box;
                used = shared.sums;
            }
        }
}

// Runs rows of 1-bit planes (cyan, magenta, yellow, black; each row given
// once per device row) through a preview and returns it red first.
std::vector<std::uint8_t> previewOf(const PlaneLayout& layout, std::uint32_t deviceHeight, std::uint32_t boxSize,
                                    const std::array<std::vector<std::uint8_t>, 4>& row, std::uint32_t& width) {
    TemporaryFolder folder;
    const ProofTable proof = buildModelProofTable();
    {
        OutputFolder output(folder.path());
        auto& file = output.create("preview.png");
        PreviewBuilder preview(file.stream(), "preview.png", layout, deviceHeight, boxSize, proof, linearInk());
        const std::uint8_t* planes[] = {row[0].data(), row[1].data(), row[2].data(), row[3].data()};
        for (std::uint32_t y = 0; y < deviceHeight; ++y)
            preview.addBand(reduceBand(layout, boxSize, std::span(planes).first(layout.planeCount), 1, y));
        preview.finish();
        output.commit();
    }
    std::uint32_t height = 0;
    auto bgr = readPreview(folder / "preview.png", width, height);
    for (size_t pixel = 0; pixel < bgr.size(); pixel += 3) std::swap(bgr[pixel], bgr[pixel + 2]);
    return bgr;
}

struct PreviewCase {
    const char* what;
    std::array<std::vector<std::uint8_t>, 4> row;  // 12 one-bit dots per plane: two boxes of 6
    std::array<std::uint8_t, 6> rgb;               // the two boxes, red first
};

// Through the built-in model's proof and a linear screen, coverage c of an
// ink takes c off its primary (black off all three), so every box has an
// exact expected colour. Boxes of 6 dots need no wider window.
TEST(Preview, ProofsCoverageThroughTheModelsInverse) {
    const std::vector<std::uint8_t> none{0x00, 0x00}, all{0xFF, 0xF0}, left{0xFC, 0x00}, right{0x03, 0xF0},
        halfLeft{0xE0, 0x00};
    const std::vector<PreviewCase> cases = {
        {"paper", {none, none, none, none}, {255, 255, 255, 255, 255, 255}},
        {"full cyan, then paper", {left, none, none, none}, {0, 255, 255, 255, 255, 255}},
        {"magenta and yellow make red", {right, all, all, none}, {255, 0, 0, 0, 0, 0}},
        {"black covers everything", {none, none, left, all}, {0, 0, 0, 0, 0, 0}},
        {"half a box of cyan", {halfLeft, none, none, none}, {127, 255, 255, 255, 255, 255}},
    };
    for (const PreviewCase& c : cases) {
        std::uint32_t width = 0;
        const auto rgb = previewOf({12, 2, 1, 4}, 6, 6, c.row, width);
        ASSERT_EQ(rgb.size(), 6u);
        for (size_t i = 0; i < 6; ++i) EXPECT_NEAR(rgb[i], c.rgb[i], 1) << c.what << ", byte " << i;
    }
}

TEST(Preview, PartialBoxesCountOnlyTheirDots) {
    // Seven dots across and down in boxes of six: the last box holds one
    // dot, inked, and shows full black, not a 36th of it.
    TemporaryFolder folder;
    const ProofTable proof = buildModelProofTable();
    const PlaneLayout layout{7, 1, 1, 1};
    {
        OutputFolder output(folder.path());
        auto& file = output.create("preview.png");
        PreviewBuilder preview(file.stream(), "preview.png", layout, 7, 6, proof, linearInk());
        const std::vector<std::uint8_t> none{0x00}, last{0x02};
        const std::uint8_t* blankRow[] = {none.data()};
        const std::uint8_t* lastDot[] = {last.data()};
        for (std::uint32_t y = 0; y < 6; ++y) preview.addBand(reduceBand(layout, 6, blankRow, 1, y));
        preview.addBand(reduceBand(layout, 6, lastDot, 1, 6));
        preview.finish();
        output.commit();
    }
    std::uint32_t width = 0, height = 0;
    const auto bgr = readPreview(folder / "preview.png", width, height);
    ASSERT_EQ(bgr.size(), 2u * 2 * 3);
    EXPECT_EQ(bgr[0], 255);
    EXPECT_EQ(bgr[6], 255);  // bottom-left box: its one row holds no ink
    EXPECT_EQ(bgr[9], 0);    // bottom-right box: one dot, all of it black
}

TEST(Preview, SmallBoxesReadCoverageOverAWindowOfNeighbours) {
    // Boxes of 2 dots take one box on each side into their window: a
    // black first box reads as half black in itself, a third in its
    // neighbour, and not at all two boxes away, in either direction.
    const std::vector<std::uint8_t> firstBox{0xC0, 0x00}, none{0x00, 0x00};
    std::uint32_t width = 0;
    const auto rgb = previewOf({12, 2, 1, 1}, 2, 2, {firstBox, none, none, none}, width);
    ASSERT_EQ(width, 6u);
    EXPECT_NEAR(rgb[0], 128, 1);
    EXPECT_NEAR(rgb[3], 170, 1);
    EXPECT_EQ(rgb[6], 255);
    EXPECT_EQ(rgb[15], 255);
}

// A preview of many stripes keeps no sums from one box row in another,
// whatever rows and buffers the builder uses again, however the bands
// arrive and however many threads proof it: a page black above and paper
// below is black and white away from the edge, and every way of building
// it writes the same file.
TEST(Preview, StripesAndBandsCarryNothingOver) {
    const PlaneLayout layout{48, 6, 1, 1};
    const std::uint32_t height = 700, box = 2, inkedRows = 300;  // 350 box rows: 11 stripes
    const std::vector<std::uint8_t> black(6, 0xFF), paper(6, 0x00);
    std::vector<std::uint8_t> plane;
    for (std::uint32_t y = 0; y < height; ++y) {
        const auto& row = y < inkedRows ? black : paper;
        plane.insert(plane.end(), row.begin(), row.end());
    }
    const ProofTable proof = buildModelProofTable();
    std::vector<std::string> files;
    for (const unsigned threads : {1u, 3u})
        for (const std::uint32_t bandRows : {1u, 37u, height}) {
            TemporaryFolder folder;
            {
                OutputFolder output(folder.path());
                auto& file = output.create("preview.png");
                PreviewBuilder preview(file.stream(), "preview.png", layout, height, box, proof, linearInk(), threads);
                const BandReducer reducer(layout, box);
                std::vector<std::uint32_t> kept;  // handed back in, as the page pipeline does
                for (std::uint32_t y = 0; y < height; y += bandRows) {
                    const std::uint8_t* planes[] = {plane.data() + size_t{y} * layout.lineBytes};
                    BandColumnSums band = reducer.reduce(planes, std::min(bandRows, height - y), y, std::move(kept));
                    preview.addBand(band);
                    kept = std::move(band.sums);
                }
                preview.finish();
                output.commit();
            }
            files.push_back(readFile(folder / "preview.png"));
            std::uint32_t width = 0, rows = 0;
            const auto bgr = readPreview(folder / "preview.png", width, rows);
            ASSERT_EQ(rows, height / box);
            for (std::uint32_t row = 0; row < rows; ++row) {
                // The window reaches one box row across the edge.
                const std::uint32_t edge = inkedRows / box;
                if (row + 1 >= edge && row <= edge) continue;
                const std::uint8_t expected = row < edge ? 0 : 255;
                for (std::uint32_t x = 0; x < width * 3; ++x)
                    ASSERT_EQ(bgr[size_t{row} * width * 3 + x], expected)
                        << "row " << row << ", threads " << threads << ", bands of " << bandRows;
            }
        }
    for (const std::string& file : files) EXPECT_EQ(file, files.front());
}

TEST(InkResponse, UndoesTheScreensToneCurve) {
    // Thresholds 100 (twice) and 200 (twice): levels 1-100 print nothing,
    // 101-200 half the dots, 201-255 all of them. A coverage is read as the
    // lowest level that prints it, between two levels in proportion.
    const std::vector<std::uint8_t> steep{100, 200, 100, 200};
    const InkResponse ink = inkResponseOf({steep, steep, {}, steep});
    const auto& levels = ink.levelOfCoverage[0];
    EXPECT_EQ(levels[0], 0);       // paper stays paper
    EXPECT_EQ(levels[1], 100);     // the least ink lies just past 100
    EXPECT_EQ(levels[2047], 101);  // just under half
    EXPECT_EQ(levels[2048], 200);  // just over half
    EXPECT_EQ(levels[InkResponse::coverageSteps], 201);
    for (std::uint32_t step = 1; step <= InkResponse::coverageSteps; ++step)
        ASSERT_GE(levels[step], levels[step - 1]) << step;
    // An empty matrix (a black-only screen's colours) maps straight.
    EXPECT_EQ(ink.levelOfCoverage[2][InkResponse::coverageSteps], 255);
    EXPECT_EQ(ink.levelOfCoverage[2][0], 0);
    // The linear screen gives back the level itself.
    for (std::uint32_t level = 0; level < 256; ++level)
        ASSERT_EQ(linearInk().levelOfCoverage[3][(level * InkResponse::coverageSteps + 127) / 255], level) << level;
}

TEST(Preview, BoxSizeFollowsTheResolutions) {
    EXPECT_EQ(previewBoxSize(600, 100), 6u);
    EXPECT_EQ(previewBoxSize(300, 100), 3u);
    EXPECT_EQ(previewBoxSize(100, 300), 1u);
}

TEST(Preview, DefaultsToTheSourceResolutionWithinAMegapixel) {
    // A 600 x 400 photo at 300 dpi on a 600 dpi device previews pixel for
    // pixel; the A4 test page stays near a megapixel (827 x 1170).
    EXPECT_EQ(automaticPreviewBoxSize(600, 300, 1200, 800), 2u);
    EXPECT_EQ(automaticPreviewBoxSize(600, 300, 4960, 7016), 6u);
    EXPECT_EQ(automaticPreviewBoxSize(600, 600, 600, 400), 1u);
    EXPECT_EQ(automaticPreviewBoxSize(300, 600, 300, 200), 1u);
    for (std::uint32_t side : {1000u, 3000u, 9000u}) {
        const std::uint32_t box = automaticPreviewBoxSize(600, 600, side, side);
        const std::uint64_t columns = (side + box - 1) / box;
        EXPECT_LE(columns * columns, previewPixelBudget) << side;
        if (box > 1) {
            const std::uint64_t finerColumns = (side + box - 2) / (box - 1);
            EXPECT_GT(finerColumns * finerColumns, previewPixelBudget) << side;
        }
    }
}

// Widths, heights and boxes come from a container's header, which may
// claim anything up to 2^32 - 1: rounding a count of boxes up must not wrap
// to a handful of boxes, or the sums land outside their buffers.
TEST(PreviewGeometry, BoxCountsNearTheTopOf32BitsDoNotWrap) {
    EXPECT_EQ(boxesAcross(0xFFFFFFFFu, 2), 0x80000000u);
    EXPECT_EQ(boxesAcross(0xFFFFFFFFu, 0xFFFFFFFFu), 1u);
    EXPECT_EQ(previewBoxSize(0xFFFFFFFFu, 2), 0x80000000u);
    // 2^20 boxes of 4096 dots cover the widest row; 4095 would need more.
    EXPECT_EQ(automaticPreviewBoxSize(600, 300, 0xFFFFFFFFu, 1), 4096u);
    EXPECT_EQ(automaticPreviewBoxSize(600, 300, 0xFFFFFFF0u, 2), 4096u);
}

TEST(PreviewGeometry, ABoxWiderThanThePageHoldsAllOfIt) {
    const PlaneLayout layout{20, 3, 1, 1};
    const std::vector<std::uint8_t> row{0xFF, 0x0F, 0xA0};  // 14 dots of 20, and padding
    const std::uint8_t* planes[] = {row.data()};
    const BandColumnSums band = reduceBand(layout, 0xFFFFFFF0u, planes, 1, 0);
    EXPECT_EQ(band.sums, (std::vector<std::uint32_t>{0, 0, 0, 14}));
    EXPECT_EQ(band.inkedDots, 14u);

    // The whole page is one preview pixel: half of its dots inked.
    std::array<std::vector<std::uint8_t>, 4> rows{std::vector<std::uint8_t>(3), std::vector<std::uint8_t>(3),
                                                  std::vector<std::uint8_t>(3),
                                                  std::vector<std::uint8_t>{0xFF, 0x00, 0xF0}};
    std::uint32_t width = 0;
    const auto rgb = previewOf(PlaneLayout{24, 3, 1, 4}, 7, 0xFFFFFFF0u, rows, width);
    ASSERT_EQ(width, 1u);
    ASSERT_EQ(rgb.size(), 3u);
    for (const std::uint8_t channel : rgb) EXPECT_NEAR(channel, 128, 2);
}

}  // namespace
}  // namespace huecl::pages

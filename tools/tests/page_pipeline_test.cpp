#include "later_engine.h"
#include "lzs_codec.h"
#include "page_pipeline.h"
#include "test_page.h"

#include <gtest/gtest.h>

namespace huecl::tool {
namespace {

struct PrintedPage {
    PageGeometry geometry;
    std::array<std::vector<uint8_t>, 4> planes; // whole page, decoded again
    std::vector<std::vector<std::vector<uint8_t>>> streams;
};

PrintedPage printTestPage(PageSettings settings, PageSize size, unsigned threads) {
    auto source = makeTestPage(size);
    const LaterEngine engine(settings, buildModelTable(interpolationAxis(settings.gridSize)), size.width, size.height);
    PrintedPage page{engine.geometry(), {}, {}};
    DecompressionHistory history;
    uint32_t expectedIndex = 0;
    runPipeline(*source, engine, {threads, settings.lzsBudget, 3, false, nullptr}, [&](const FinishedBand &band) {
        EXPECT_EQ(band.index, expectedIndex++) << "bands arrive in page order";
        page.streams.push_back(band.streams);
        for (uint32_t plane = 0; plane < page.geometry.planeCount; ++plane) {
            std::vector<uint8_t> rows(size_t{band.deviceRows} * page.geometry.lineBytes);
            decompressBlock(band.streams[plane], rows, history, "band");
            page.planes[plane].insert(page.planes[plane].end(), rows.begin(), rows.end());
        }
    });
    return page;
}

TEST(PageGeometry, FollowsTheDrawInformationOfTheLibrary) {
    PageSettings settings; // 300 to 600 dpi, 2 bits per dot, 128-row bands
    const LaterEngine engine(settings, buildModelTable(interpolationAxis(17)), 101, 200);
    const PageGeometry &g = engine.geometry();
    EXPECT_EQ(g.deviceWidth, 202u);
    EXPECT_EQ(g.deviceHeight, 400u);
    EXPECT_EQ(g.lineBytes, 51u); // 202 dots of 2 bits
    EXPECT_EQ(g.sourceRowsPerBand, 64u);
    EXPECT_EQ(g.bandCount, 4u);
    EXPECT_EQ(g.sourceRowsIn(3), 8u);
}

TEST(PagePipeline, BandsCoverThePageWithoutSeams) {
    PageSettings settings;
    settings.source = {300, 200};
    settings.device = {600, 300};
    settings.bandHeight = 128;
    const PrintedPage tall = printTestPage(settings, {120, 170}, 1);
    settings.bandHeight = 5;
    const PrintedPage thin = printTestPage(settings, {120, 170}, 1);
    EXPECT_EQ(tall.planes[0].size(), size_t{tall.geometry.deviceHeight} * tall.geometry.lineBytes);
    EXPECT_GT(thin.geometry.bandCount, 20u);
    for (size_t plane = 0; plane < 4; ++plane)
        EXPECT_EQ(tall.planes[plane], thin.planes[plane]) << "plane " << plane;
}

TEST(PagePipeline, ThreadsChangeNothing) {
    PageSettings settings;
    settings.ditherMode = 1;
    settings.bandHeight = 16;
    const PrintedPage one = printTestPage(settings, {90, 128}, 1);
    const PrintedPage three = printTestPage(settings, {90, 128}, 3);
    EXPECT_EQ(one.streams, three.streams);
}

TEST(PagePipeline, BlackOnlyWritesOnePlane) {
    PageSettings settings;
    settings.blackOnly = true;
    settings.ditherMode = 0;
    const PrintedPage page = printTestPage(settings, {64, 90}, 2);
    EXPECT_EQ(page.geometry.planeCount, 1u);
    EXPECT_FALSE(page.planes[0].empty());
    EXPECT_TRUE(page.planes[1].empty());
    // The page has black on it, and white margins.
    EXPECT_NE(std::count(page.planes[0].begin(), page.planes[0].end(), 0), 0);
    EXPECT_NE(std::count_if(page.planes[0].begin(), page.planes[0].end(), [](uint8_t b) { return b != 0; }), 0);
}

// Wraps the later engine as one whose bands depend on each other (as error
// diffusion's do) and records which renderer saw which band.
class DependentBandsEngine final : public ColourEngine {
public:
    DependentBandsEngine(const PageSettings &settings, PageSize size)
        : inner_(settings, buildModelTable(interpolationAxis(settings.gridSize)), size.width, size.height) {}
    const PageGeometry &geometry() const override { return inner_.geometry(); }
    bool bandsAreIndependent() const override { return false; }
    std::unique_ptr<BandRenderer> makeRenderer() const override {
        ++renderersMade;
        return std::make_unique<Recorder>(inner_.makeRenderer(), firstRows);
    }

    mutable int renderersMade = 0;
    mutable std::vector<uint32_t> firstRows;

private:
    struct Recorder final : BandRenderer {
        Recorder(std::unique_ptr<BandRenderer> wrapped, std::vector<uint32_t> &seen) : inner(std::move(wrapped)), rows(seen) {}
        void renderBand(uint32_t firstSourceRow, uint32_t count, std::span<uint8_t> bgrRows, BandPlanes &out,
                        StageTimes &times) override {
            rows.push_back(firstSourceRow);
            inner->renderBand(firstSourceRow, count, bgrRows, out, times);
        }
        std::unique_ptr<BandRenderer> inner;
        std::vector<uint32_t> &rows;
    };
    LaterEngine inner_;
};

TEST(PagePipeline, DependentBandsGoThroughOneRendererInPageOrder) {
    PageSettings settings;
    settings.bandHeight = 8;
    const PageSize size{40, 100};
    const DependentBandsEngine engine(settings, size);
    auto source = makeTestPage(size);
    runPipeline(*source, engine, {4, 8, 3, false, nullptr}, [](const FinishedBand &) {});
    EXPECT_EQ(engine.renderersMade, 1);
    ASSERT_EQ(engine.firstRows.size(), engine.geometry().bandCount);
    for (size_t band = 0; band < engine.firstRows.size(); ++band)
        EXPECT_EQ(engine.firstRows[band], engine.geometry().firstSourceRow(static_cast<uint32_t>(band)));
}

} // namespace
} // namespace huecl::tool

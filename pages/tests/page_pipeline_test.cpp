#include "pages/colour/earlier_engine.h"
#include "pages/colour/later_engine.h"
#include "pages/lzs_codec.h"
#include "pages/page_pipeline.h"
#include "pages/readers/test_page.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace huecl::pages {
namespace {

struct PrintedPage {
    PageGeometry geometry;
    std::array<std::vector<std::uint8_t>, 4> planes;  // whole page, decoded again
    std::vector<std::vector<std::vector<std::uint8_t>>> streams;
};

// The test page through an engine in bands of three rows, each band's
// streams kept and decoded again into whole planes.
PrintedPage printThrough(const ColourEngine& engine, const PageSettings& settings, PageSize size, unsigned threads) {
    auto source = makeTestPage(size);
    PrintedPage page{engine.geometry(), {}, {}};
    DecompressionHistory history;
    std::uint32_t expectedIndex = 0;
    runPipeline(*source, engine, {threads, settings.lzsBudget, 3, false, nullptr, nullptr},
                [&](const FinishedBand& band) {
                    EXPECT_EQ(band.index, expectedIndex++) << "bands arrive in page order";
                    page.streams.push_back(band.streams);
                    for (std::uint32_t plane = 0; plane < page.geometry.planeCount; ++plane) {
                        std::vector<std::uint8_t> rows(size_t{band.deviceRows} * page.geometry.lineBytes);
                        decompressBlock(band.streams[plane], rows, history, "band");
                        page.planes[plane].insert(page.planes[plane].end(), rows.begin(), rows.end());
                    }
                });
    return page;
}

PrintedPage printTestPage(PageSettings settings, PageSize size, unsigned threads) {
    const LaterEngine engine(settings, buildModelTable(interpolationAxis(settings.gridSize)), size.width, size.height);
    return printThrough(engine, settings, size, threads);
}

TEST(PageGeometry, FollowsTheDrawInformationOfTheLibrary) {
    PageSettings settings;  // 300 to 600 dpi, 2 bits per dot, 128-row bands
    const LaterEngine engine(settings, buildModelTable(interpolationAxis(17)), 101, 200);
    const PageGeometry& g = engine.geometry();
    EXPECT_EQ(g.deviceWidth, 202u);
    EXPECT_EQ(g.deviceHeight, 400u);
    EXPECT_EQ(g.lineBytes, 51u);  // 202 dots of 2 bits
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
    for (size_t plane = 0; plane < 4; ++plane) EXPECT_EQ(tall.planes[plane], thin.planes[plane]) << "plane " << plane;
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
    EXPECT_NE(std::count_if(page.planes[0].begin(), page.planes[0].end(), [](std::uint8_t b) { return b != 0; }), 0);
}

// A front end without a preview asks for the inked dots alone: the same
// count and the same streams, and no sums to carry.
TEST(PagePipeline, WithoutAPreviewBandsCountTheSameInk) {
    PageSettings settings;
    settings.bandHeight = 40;
    const LaterEngine engine(settings, buildModelTable(interpolationAxis(settings.gridSize)), 150, 160);
    std::vector<std::vector<std::vector<std::uint8_t>>> streams[2];
    std::uint64_t inked[2] = {0, 0};
    for (const std::uint32_t box : {0u, 3u}) {
        auto source = makeTestPage({150, 160});
        const PipelineTotals totals = runPipeline(
            *source, engine, {2, settings.lzsBudget, box, false, nullptr, nullptr}, [&](const FinishedBand& band) {
                EXPECT_EQ(band.previewSums.sums.empty(), box == 0);
                streams[box != 0].push_back(band.streams);
            });
        inked[box != 0] = totals.inkedDots;
    }
    EXPECT_GT(inked[0], 0u);
    EXPECT_EQ(inked[0], inked[1]);
    EXPECT_EQ(streams[0], streams[1]);
}

// The test page read in order, as a file is: the loop reads each band's
// rows into buffers the workers hand back, so every band must see its own
// rows and none of a band read before it.
class InOrderTestPage final : public ImageSource {
public:
    explicit InOrderTestPage(PageSize size) : page_(makeTestPage(size)) {}
    std::uint32_t width() const override { return page_->width(); }
    std::uint32_t height() const override { return page_->height(); }
    std::string description() const override { return "the test page, in order"; }
    void readRows(std::span<std::uint8_t> rows) override {
        const std::uint32_t count = static_cast<std::uint32_t>(rows.size() / (size_t{width()} * 3));
        page_->renderRows(next_, rows);
        next_ += count;
    }

private:
    std::unique_ptr<ImageSource> page_;
    std::uint32_t next_ = 0;
};

TEST(PagePipeline, ReadBandsMatchRenderedBands) {
    PageSettings settings;
    settings.bandHeight = 12;  // the last band shorter than the others
    const PageSize size{97, 131};
    const LaterEngine engine(settings, buildModelTable(interpolationAxis(settings.gridSize)), size.width, size.height);
    const auto streamsOf = [&](ImageSource& source, unsigned threads) {
        std::vector<std::vector<std::vector<std::uint8_t>>> streams;
        runPipeline(source, engine, {threads, settings.lzsBudget, 3, false, nullptr, nullptr},
                    [&](const FinishedBand& band) { streams.push_back(band.streams); });
        return streams;
    };
    auto rendered = makeTestPage(size);
    const auto expected = streamsOf(*rendered, 1);
    ASSERT_GT(expected.size(), 8u);
    for (const unsigned threads : {1u, 3u}) {
        InOrderTestPage read(size);
        EXPECT_EQ(streamsOf(read, threads), expected) << threads << " threads";
    }
}

// ---- The earlier engine --------------------------------------------------

PrintedPage printEarlierPage(PageSettings settings, PageSize size, unsigned threads) {
    settings.engine = EngineKind::earlier;
    settings.gridSize = earlierGridSize;
    const EarlierEngine engine(settings, buildModelTable(earlierInterpolationAxis()), size.width, size.height);
    return printThrough(engine, settings, size, threads);
}

struct EarlierCase {
    const char* name;
    std::uint32_t ditherMode;
    bool blackOnly;
    Resolution source, device;
};

// Error diffusion carries its error from band to band in page order, while
// the bands' other stages run on any thread: neither the thread count nor
// where the bands split the page may change a dot. Ordered screens depend on
// device positions only, so the same holds for them.
TEST(EarlierEnginePages, ThreadsAndBandHeightsChangeNothing) {
    const EarlierCase cases[] = {
        {"diffusion", errorDiffusionMode, false, {300, 300}, {600, 600}},
        {"diffusion, black only", errorDiffusionMode, true, {300, 300}, {600, 600}},
        {"diffusion, uneven", errorDiffusionMode, false, {300, 200}, {600, 300}},
        {"diffusion, unscaled", errorDiffusionMode, false, {300, 300}, {300, 300}},
        {"screens", 0, false, {300, 200}, {600, 300}},
        {"screens, black only", 0, true, {300, 300}, {600, 600}},
    };
    for (const EarlierCase& test : cases) {
        PageSettings settings;
        settings.ditherMode = test.ditherMode;
        settings.blackOnly = test.blackOnly;
        settings.source = test.source;
        settings.device = test.device;
        settings.screenKind = 2;
        settings.bandHeight = 128;
        const PrintedPage reference = printEarlierPage(settings, {70, 96}, 1);
        const PrintedPage threaded = printEarlierPage(settings, {70, 96}, 3);
        EXPECT_EQ(reference.streams, threaded.streams) << test.name;
        settings.bandHeight = 7;
        const PrintedPage thin = printEarlierPage(settings, {70, 96}, 3);
        EXPECT_GT(thin.geometry.bandCount, 8u) << test.name;
        EXPECT_EQ(reference.planes, thin.planes) << test.name;
        ASSERT_EQ(reference.planes[0].size(), size_t{reference.geometry.deviceHeight} * reference.geometry.lineBytes)
            << test.name;
        EXPECT_EQ(reference.geometry.bitsPerDot, 1u) << test.name;
        EXPECT_EQ(reference.geometry.planeCount, test.blackOnly ? 1u : 4u) << test.name;
    }
}

TEST(EarlierEnginePages, DiffusionAndScreensBothInkThePage) {
    PageSettings settings;
    settings.ditherMode = errorDiffusionMode;
    const PrintedPage diffused = printEarlierPage(settings, {64, 80}, 2);
    settings.ditherMode = 0;
    const PrintedPage screened = printEarlierPage(settings, {64, 80}, 2);
    for (size_t plane = 0; plane < 4; ++plane) {
        const auto inked = [&](const PrintedPage& page) {
            return std::count_if(page.planes[plane].begin(), page.planes[plane].end(),
                                 [](std::uint8_t b) { return b != 0; });
        };
        EXPECT_GT(inked(diffused), 0) << plane;
        EXPECT_GT(inked(screened), 0) << plane;
        EXPECT_NE(diffused.planes[plane], screened.planes[plane]) << plane;
    }
}

// An image that fails partway down: bands after it wait for its turn at the
// error rows, and must give up rather than hang the page.
class FailingSource final : public ImageSource {
public:
    FailingSource(PageSize size, std::uint32_t failingRow) : inner_(makeTestPage(size)), failingRow_(failingRow) {}
    std::uint32_t width() const override { return inner_->width(); }
    std::uint32_t height() const override { return inner_->height(); }
    std::string description() const override { return "failing"; }
    void readRows(std::span<std::uint8_t> rows) override { inner_->readRows(rows); }
    bool rendersRowsOnDemand() const override { return true; }
    void renderRows(std::uint32_t firstRow, std::span<std::uint8_t> rows) const override {
        if (firstRow <= failingRow_ && failingRow_ < firstRow + rows.size() / (3 * width()))
            throw std::runtime_error("unreadable row");
        inner_->renderRows(firstRow, rows);
    }

private:
    std::unique_ptr<ImageSource> inner_;
    std::uint32_t failingRow_;
};

TEST(EarlierEnginePages, AFailedBandStopsTheBandsWaitingForIt) {
    PageSettings settings;
    settings.engine = EngineKind::earlier;
    settings.ditherMode = errorDiffusionMode;
    settings.bandHeight = 8;
    const PageSize size{40, 120};
    const EarlierEngine engine(settings, buildModelTable(earlierInterpolationAxis()), size.width, size.height);
    FailingSource source(size, 30);
    EXPECT_THROW(runPipeline(source, engine, {4, 8, 3, false, nullptr, nullptr}, [](const FinishedBand&) {}),
                 std::runtime_error);
}

}  // namespace
}  // namespace huecl::pages

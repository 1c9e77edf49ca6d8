#include "pages/colour/earlier_engine.h"
#include "pages/colour/later_engine.h"
#include "pages/lzs_codec.h"
#include "pages/page_assembly.h"
#include "pages/page_error.h"
#include "pages/readers/test_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace huecl::pages {
namespace {

const std::filesystem::path installedProfile = std::filesystem::path(HUECL_ICC_FOLDER) / "default_cmyk.icc";

// A flat page of one CMYK colour, as a renderer that separates hands it over.
class FlatCmykPage final : public ImageSource {
public:
    FlatCmykPage(std::uint32_t width, std::uint32_t height, std::array<std::uint8_t, 4> ink)
        : width_(width), height_(height), ink_(ink) {}
    std::uint32_t width() const override { return width_; }
    std::uint32_t height() const override { return height_; }
    std::string description() const override { return "flat CMYK page"; }
    SourcePixels pixels() const override { return SourcePixels::cmyk; }
    void readRows(std::span<std::uint8_t> rows) override {
        for (size_t at = 0; at + 4 <= rows.size(); at += 4) std::memcpy(&rows[at], ink_.data(), 4);
    }

private:
    std::uint32_t width_, height_;
    std::array<std::uint8_t, 4> ink_;
};

// Every band's streams of a page, in page order.
std::vector<std::vector<std::uint8_t>> streamsOf(AssembledPage& page) {
    std::vector<std::vector<std::uint8_t>> streams;
    page.run({2, 8, 4, false, {}, {}}, [&](const FinishedBand& band) {
        for (const auto& stream : band.streams) streams.push_back(stream);
    });
    return streams;
}

TEST(PageAssembly, OnlyTheTableMethodsMatchRgbPages) {
    PageSettings settings;
    for (const std::uint32_t method : {HUECL_MATCH_DIRECT, HUECL_MATCH_INTERPOLATED}) {
        settings.matchMethod = method;
        EXPECT_TRUE(readsColourTable(settings)) << matchMethodName(method);
        EXPECT_TRUE(isMatched(SourcePixels::bgr, settings));
        EXPECT_FALSE(isMatched(SourcePixels::cmyk, settings)) << "separated pages are never matched";
    }
    for (const std::uint32_t method : {HUECL_MATCH_INVERT, HUECL_MATCH_EIGHT_COLOURS, HUECL_MATCH_BLACK}) {
        settings.matchMethod = method;
        EXPECT_FALSE(readsColourTable(settings)) << matchMethodName(method);
        EXPECT_FALSE(isMatched(SourcePixels::bgr, settings));
    }
}

TEST(PageAssembly, TablesAreSampledWhereTheirMethodReads) {
    PageSettings settings;
    settings.gridSize = 9;
    EXPECT_EQ(colourTableAxis(settings), interpolationAxis(9));
    settings.engine = EngineKind::earlier;
    EXPECT_EQ(colourTableAxis(settings), earlierInterpolationAxis());
    settings.matchMethod = HUECL_MATCH_DIRECT;
    EXPECT_EQ(colourTableAxis(settings), directLookupAxis()) << "the direct look-up wins for either generation";
}

TEST(PageAssembly, AJobBuildsEachTableOnce) {
    ColourTableSource tables;
    PageSettings settings;
    const ColourTable& first = tables.tableFor(settings);
    EXPECT_EQ(&tables.tableFor(settings), &first) << "a later page of the job reuses the table";
    EXPECT_EQ(first.origin, "built-in model");
    EXPECT_EQ(first.gridSize, 17u);
    settings.gridSize = 9;
    const ColourTable& coarser = tables.tableFor(settings);
    EXPECT_NE(&coarser, &first);
    EXPECT_EQ(coarser.gridSize, 9u);
    settings.gridSize = 17;
    EXPECT_EQ(&tables.tableFor(settings), &first) << "building another table keeps the first in place";
}

TEST(PageAssembly, TheHeaderNamesTheTableOfAMatchedPage) {
    PageSettings settings;
    ColourTableSource model;
    AssembledPage page = assemblePage(settings, makeTestPage({40, 30}), model);
    ASSERT_NE(page.table(), nullptr);
    EXPECT_EQ(page.header().gridSize, 17u);
    EXPECT_EQ(page.header().fromProfile, 0u);
    EXPECT_EQ(page.header().cmykSource, 0u);
    EXPECT_EQ(page.header().deviceWidth, 80u);

    ColourTableSource profiled(installedProfile);
    AssembledPage matched = assemblePage(settings, makeTestPage({40, 30}), profiled);
    EXPECT_EQ(matched.header().fromProfile, 1u);
    EXPECT_EQ(matched.header().profilePath, installedProfile.string());
    EXPECT_EQ(matched.table()->origin, "profile default_cmyk.icc");

    // A method without a table names none, whatever the job's source.
    settings.matchMethod = HUECL_MATCH_BLACK;
    AssembledPage unmatched = assemblePage(settings, makeTestPage({40, 30}), profiled);
    EXPECT_EQ(unmatched.table(), nullptr);
    EXPECT_EQ(unmatched.header().gridSize, 0u);
    EXPECT_EQ(unmatched.header().fromProfile, 0u);
}

TEST(PageAssembly, ASeparatedPageNamesTheProfileOfItsInks) {
    const PageSettings settings;
    ColourTableSource profiled(installedProfile);
    AssembledPage page =
        assemblePage(settings, std::make_unique<FlatCmykPage>(16, 8, std::array<std::uint8_t, 4>{}), profiled);
    EXPECT_EQ(page.table(), nullptr);
    EXPECT_EQ(page.header().cmykSource, 1u);
    EXPECT_EQ(page.header().gridSize, 0u);
    EXPECT_EQ(page.header().fromProfile, 1u) << "its proof shows the inks through the printer's profile";
}

TEST(PageAssembly, SeparatedColoursFoldIntoBlackOnABlackOnlyPage) {
    PageSettings settings;
    settings.blackOnly = true;
    settings.ditherMode = HUECL_DITHER_1BIT;
    ColourTableSource model;
    // Full cyan alone: without folding, a black-only page would stay blank.
    AssembledPage page =
        assemblePage(settings, std::make_unique<FlatCmykPage>(64, 16, std::array<std::uint8_t, 4>{255}), model);
    ASSERT_EQ(page.geometry().planeCount, 1u);
    std::uint64_t inked = 0;
    page.run({1, 8, 4, false, {}, {}}, [&](const FinishedBand& band) { inked += band.inkedDots; });
    EXPECT_GT(inked, 0u);
}

// The assembled page writes what the engine, table and band loop write when
// put together by hand: the front ends' output did not change with it.
TEST(PageAssembly, RunsTheSameBandsAsTheEngineByHand) {
    for (const EngineKind kind : {EngineKind::later, EngineKind::earlier}) {
        PageSettings settings;
        settings.engine = kind;
        if (kind == EngineKind::earlier) settings.ditherMode = HUECL_DITHER_1BIT;
        ColourTableSource model;
        AssembledPage page = assemblePage(settings, makeTestPage({120, 90}), model);
        const std::vector<std::vector<std::uint8_t>> assembled = streamsOf(page);

        const ColourTable table = buildModelTable(colourTableAxis(settings));
        std::unique_ptr<ColourEngine> engine;
        if (kind == EngineKind::later)
            engine = std::make_unique<LaterEngine>(settings, table, 120, 90);
        else
            engine = std::make_unique<EarlierEngine>(settings, table, 120, 90, SourcePixels::bgr);
        auto source = makeTestPage({120, 90});
        std::vector<std::vector<std::uint8_t>> byHand;
        runPipeline(*source, *engine, {2, 8, 4, false, {}, {}}, [&](const FinishedBand& band) {
            for (const auto& stream : band.streams) byHand.push_back(stream);
        });
        EXPECT_EQ(assembled, byHand) << (kind == EngineKind::later ? "later" : "earlier");
        EXPECT_EQ(page.header().engine, static_cast<std::uint32_t>(kind));
    }
}

// The library counts positions times resolutions and band bytes in 32 bits:
// a page whose sizes would wrap there is refused before it reaches it, by
// both engines, with a message that names the cause.
TEST(PageAssembly, RefusesPagesWhoseSizesWrapIn32Bits) {
    const auto refusal = [](const PageSettings& settings, std::uint32_t width, std::uint32_t height) -> std::string {
        ColourTableSource model;
        try {
            assemblePage(settings, std::make_unique<FlatCmykPage>(width, height, std::array<std::uint8_t, 4>{}), model);
        } catch (const PageError& error) {
            return error.what();
        }
        return "accepted";
    };
    for (const EngineKind kind : {EngineKind::later, EngineKind::earlier}) {
        PageSettings settings;
        settings.engine = kind;
        if (kind == EngineKind::earlier) settings.ditherMode = HUECL_DITHER_1BIT;
        const char* engine = kind == EngineKind::later ? "later" : "earlier";
        // 2^31 pixels across at 600 dpi.
        EXPECT_NE(refusal(settings, 0x80000000u, 4).find("is too large for these resolutions"), std::string::npos)
            << engine;
        // The tallest page at 1 dpi both ways: its last row number plus one
        // is 2^32.
        PageSettings oneDpi = settings;
        oneDpi.source = {1, 1};
        oneDpi.device = {1, 1};
        EXPECT_NE(refusal(oneDpi, 8, 0xFFFFFFFFu).find("is too large for these resolutions"), std::string::npos)
            << engine;
        // Rows of 2,500,000 bytes (1,250,000 at 1 bit) in bands of 4096 rows.
        PageSettings tallBands = settings;
        tallBands.bandHeight = 4096;
        EXPECT_NE(refusal(tallBands, 5'000'000, 4).find("more than 4 GiB"), std::string::npos) << engine;
    }
}

TEST(PageAssembly, AnUnreadableProfileIsAPageError) {
    ColourTableSource missing(std::filesystem::path("/nonexistent/huecl-test.icc"));
    EXPECT_THROW(assemblePage(PageSettings{}, makeTestPage({8, 8}), missing), PageError);
}

}  // namespace
}  // namespace huecl::pages

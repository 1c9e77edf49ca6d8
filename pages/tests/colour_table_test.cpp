#include "pages/colour/colour_table.h"
#include "pages/tests/temporary_folder.h"
#include "pages/page_error.h"

#include <gtest/gtest.h>

namespace huecl::pages {
namespace {

using testing::TemporaryFolder;

struct Cmyk {
    int cyan, magenta, yellow, black;
    bool operator==(const Cmyk&) const = default;
};

Cmyk entryAt(const ColourTable& table, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    const size_t index = 4 * ((size_t{r} * table.gridSize + g) * table.gridSize + b);
    const auto& e = table.entries;
    return {e[index], e[index + 1], e[index + 2], e[index + 3]};
}

std::string errorBuilding(const std::filesystem::path& profile) {
    try {
        buildProfileTable(profile, interpolationAxis(5));
    } catch (const PageError& error) {
        return error.what();
    }
    return "no error";
}

const std::filesystem::path iccFolder = HUECL_ICC_FOLDER;

TEST(ColourTableAxes, CoverTheLevelsTheMatchingMethodsReadThemAt) {
    EXPECT_EQ(interpolationAxis(5), (std::vector<std::uint8_t>{0, 64, 128, 191, 255}));
    const auto direct = directLookupAxis();
    ASSERT_EQ(direct.size(), 32u);
    EXPECT_EQ(direct.front(), 4);
    EXPECT_EQ(direct.back(), 252);
}

TEST(ModelTable, PaperPrimariesAndGreysFollowTheDocumentedModel) {
    const ColourTable table = buildModelTable(interpolationAxis(17));
    ASSERT_EQ(table.entries.size(), 17u * 17 * 17 * 4);
    EXPECT_EQ(entryAt(table, 16, 16, 16), (Cmyk{0, 0, 0, 0}));    // white: paper
    EXPECT_EQ(entryAt(table, 0, 0, 0), (Cmyk{0, 0, 0, 255}));     // black: black ink alone
    EXPECT_EQ(entryAt(table, 0, 16, 16), (Cmyk{255, 0, 0, 0}));   // cyan
    EXPECT_EQ(entryAt(table, 16, 16, 0), (Cmyk{0, 0, 255, 0}));   // yellow
    EXPECT_EQ(entryAt(table, 16, 0, 0), (Cmyk{0, 255, 255, 0}));  // red
    // Mid grey (level 128, c = 0.498): k = c^2 = 0.248, colour inks c - k.
    EXPECT_EQ(entryAt(table, 8, 8, 8), (Cmyk{64, 64, 64, 63}));
}

TEST(ModelTable, BlackGrowsSteadilyAlongTheGreyAxis) {
    const ColourTable table = buildModelTable(interpolationAxis(9));
    for (std::uint32_t i = 1; i < 9; ++i)
        EXPECT_LT(entryAt(table, i, i, i).black, entryAt(table, i - 1, i - 1, i - 1).black);
}

TEST(ProfileTable, BuildsFromAPrinterProfile) {
    const ColourTable table = buildProfileTable(iccFolder / "default_cmyk.icc", interpolationAxis(9));
    EXPECT_EQ(table.gridSize, 9u);
    EXPECT_EQ(table.origin, "profile default_cmyk.icc");
    const Cmyk white = entryAt(table, 8, 8, 8), black = entryAt(table, 0, 0, 0), cyan = entryAt(table, 0, 8, 8);
    EXPECT_LE(white.cyan + white.magenta + white.yellow + white.black, 8);
    // Black is a rich black of all four inks; sRGB cyan lies outside the
    // printer's gamut and maps to mostly cyan ink.
    EXPECT_GT(black.black, 200);
    EXPECT_GT(black.cyan + black.magenta + black.yellow + black.black, 600);
    EXPECT_GT(cyan.cyan, 100);
    EXPECT_LT(cyan.magenta + cyan.yellow + cyan.black, cyan.cyan / 2);
}

TEST(ProfileTable, RefusesWhatIsNotACmykOutputProfile) {
    TemporaryFolder folder;
    EXPECT_EQ(errorBuilding(iccFolder / "srgb.icc"), (iccFolder / "srgb.icc").string() + ": not a CMYK profile");
    const auto text = folder.writeFile("fake.icc", "this is not a profile");
    EXPECT_EQ(errorBuilding(text).rfind(text.string() + ": not a readable ICC profile", 0), 0u);
    EXPECT_EQ(errorBuilding(folder / "missing.icc").rfind((folder / "missing.icc").string() + ": not a readable", 0),
              0u);
}

}  // namespace
}  // namespace huecl::pages

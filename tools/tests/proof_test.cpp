// The preview as a proof: flat patches printed through a profile or the
// built-in model preview as Little CMS, or the model itself, predicts.
#include "pages/colour/colour_table.h"
#include "commands.h"
#include "pages/readers/png_image.h"
#include "pages/tests/temporary_folder.h"

#include "huecl32.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cstdlib>

namespace huecl::tool {
namespace {

using namespace huecl::pages;

using pages::testing::TemporaryFolder;
using Rgb = std::array<int, 3>;

const std::filesystem::path iccFolder = HUECL_ICC_FOLDER;

// Little CMS's own round trip of one sRGB colour through the printer
// profile, with the intents the tool uses each way.
Rgb lcmsRoundTrip(const std::filesystem::path& profile, Rgb colour) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE printer = cmsOpenProfileFromFile(profile.c_str(), "r");
    cmsHTRANSFORM out = cmsCreateTransform(srgb, TYPE_RGB_8, printer, TYPE_CMYK_8, INTENT_PERCEPTUAL, 0);
    cmsHTRANSFORM back = cmsCreateTransform(printer, TYPE_CMYK_8, srgb, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC, 0);
    const std::uint8_t rgb[3] = {static_cast<std::uint8_t>(colour[0]), static_cast<std::uint8_t>(colour[1]),
                                 static_cast<std::uint8_t>(colour[2])};
    std::uint8_t cmyk[4], result[3];
    cmsDoTransform(out, rgb, cmyk, 1);
    cmsDoTransform(back, cmyk, result, 1);
    cmsDeleteTransform(out);
    cmsDeleteTransform(back);
    cmsCloseProfile(printer);
    cmsCloseProfile(srgb);
    return {result[0], result[1], result[2]};
}

// Prints a flat patch of one colour and returns the mean of the preview's
// inner half, where every box lies wholly inside the patch.
Rgb previewOfFlatPatch(Rgb colour, const std::optional<std::filesystem::path>& profile) {
    TemporaryFolder folder;
    constexpr std::uint32_t side = 120;
    std::string ppm = "P6\n" + std::to_string(side) + " " + std::to_string(side) + "\n255\n";
    for (std::uint32_t i = 0; i < side * side; ++i)
        for (int channel = 0; channel < 3; ++channel) ppm.push_back(static_cast<char>(colour[channel]));
    PrintCommand command;
    command.image = folder.writeFile("patch.ppm", ppm);
    command.outputFolder = folder / "out";
    command.profile = profile;
    command.threads = 1;
    command.quiet = true;
    // The default preview: 300 dpi, boxes of 2 x 2 dots.
    runPrint(command);

    auto preview = openImage(folder / "out" / "preview.png");
    const std::uint32_t width = preview->width(), height = preview->height();
    std::vector<std::uint8_t> bgr(size_t{width} * height * 3);
    preview->readRows(bgr);
    std::array<double, 3> sum{};
    std::uint32_t count = 0;
    for (std::uint32_t y = height / 4; y < height * 3 / 4; ++y)
        for (std::uint32_t x = width / 4; x < width * 3 / 4; ++x, ++count)
            for (int channel = 0; channel < 3; ++channel)
                sum[channel] += bgr[(size_t{y} * width + x) * 3 + 2 - channel];
    return {static_cast<int>(sum[0] / count + 0.5), static_cast<int>(sum[1] / count + 0.5),
            static_cast<int>(sum[2] / count + 0.5)};
}

const std::vector<Rgb> patches = {{20, 13, 9}, {200, 60, 40}, {90, 160, 220}, {128, 128, 128}, {240, 230, 200}};

TEST(ProofPreview, FlatPatchesPreviewAsTheProfilePredicts) {
    const auto profile = iccFolder / "default_cmyk.icc";
    for (const Rgb& colour : patches) {
        const Rgb expected = lcmsRoundTrip(profile, colour);
        const Rgb preview = previewOfFlatPatch(colour, profile);
        for (int channel = 0; channel < 3; ++channel)
            EXPECT_NEAR(preview[channel], expected[channel], 4)
                << "sRGB " << colour[0] << "," << colour[1] << "," << colour[2] << " channel " << channel
                << ": preview " << preview[0] << "," << preview[1] << "," << preview[2] << ", Little CMS "
                << expected[0] << "," << expected[1] << "," << expected[2];
    }
}

TEST(ProofPreview, TheBuiltInModelPreviewsItsOwnColoursBack) {
    for (const Rgb& colour : patches) {
        const Rgb preview = previewOfFlatPatch(colour, std::nullopt);
        for (int channel = 0; channel < 3; ++channel)
            EXPECT_NEAR(preview[channel], colour[channel], 4)
                << "sRGB " << colour[0] << "," << colour[1] << "," << colour[2] << " channel " << channel
                << ": preview " << preview[0] << "," << preview[1] << "," << preview[2];
    }
}

TEST(ProofTables, EntriesRunYellowFastestAndBlackSlowest) {
    // One step along each axis from paper must darken the primary that ink
    // absorbs most; a table laid out in the wrong order darkens another.
    for (const ProofTable& table : {buildModelProofTable(), buildProfileProofTable(iccFolder / "default_cmyk.icc")}) {
        const std::uint32_t n = table.gridSize;
        ASSERT_EQ(table.entries.size(), size_t{n} * n * n * n * 3);
        auto entry = [&](size_t k, size_t c, size_t m, size_t y) {
            const std::uint8_t* e = table.entries.data() + 3 * (((k * n + c) * n + m) * n + y);
            return Rgb{e[0], e[1], e[2]};
        };
        const Rgb paper = entry(0, 0, 0, 0), cyan = entry(0, n - 1, 0, 0), magenta = entry(0, 0, n - 1, 0),
                  yellow = entry(0, 0, 0, n - 1), black = entry(n - 1, 0, 0, 0);
        EXPECT_GT(paper[0] - cyan[0], paper[2] - cyan[2]);
        EXPECT_GT(paper[1] - magenta[1], paper[0] - magenta[0]);
        EXPECT_GT(paper[2] - yellow[2], paper[1] - yellow[1]);
        for (int channel = 0; channel < 3; ++channel) EXPECT_LT(black[channel], 80) << channel;
    }
}

TEST(ProofTables, TheModelsInverseUndoesTheModelOnEveryGridPoint) {
    // Exact on the grid of the proof table; between its points the cap at
    // full ink bends the inverse, which interpolation follows only to within
    // a few levels.
    const ProofTable proof = buildModelProofTable();
    const std::vector<std::uint8_t> axis = interpolationAxis(17);
    const ColourTable forward = buildModelTable(axis);
    std::vector<std::uint8_t> bgr(forward.entries.size() / 4 * 3);
    QvrColCnvC2r(static_cast<std::uint32_t>(forward.entries.size() / 4), forward.entries.data(), bgr.data(),
                 proof.gridSize, proof.entries.data());
    size_t entry = 0;
    int worst = 0;
    for (std::uint32_t r = 0; r < 17; ++r)
        for (std::uint32_t g = 0; g < 17; ++g)
            for (std::uint32_t b = 0; b < 17; ++b, ++entry) {
                const std::uint8_t* out = bgr.data() + 3 * entry;
                // Paper comes back in stored order, everything else blue first.
                const bool paper = r == 16 && g == 16 && b == 16;
                const int red = out[paper ? 0 : 2], green = out[1], blue = out[paper ? 2 : 0];
                worst = std::max({worst, std::abs(red - axis[r]), std::abs(green - axis[g]), std::abs(blue - axis[b])});
                if (r == g && g == b) {  // greys: black and the colour inks meet on grid points
                    ASSERT_NEAR(red, axis[r], 1) << r;
                }
            }
    EXPECT_LE(worst, 4);
}

}  // namespace
}  // namespace huecl::tool

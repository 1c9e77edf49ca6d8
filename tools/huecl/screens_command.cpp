#include "commands.h"

#include "pages/colour/earlier_engine.h"
#include "pages/colour/later_engine.h"
#include "pages/writers/output_files.h"
#include "pages/readers/png_image.h"

#include <cstdio>

namespace huecl::tool {

using namespace huecl::pages;
namespace {

struct ScreenChoice {
    std::uint32_t screenKind;
    const char* name;
};

// The selectors that give distinct screens: with black only, 0 counts as
// "other" and is the same screen as 2.
constexpr ScreenChoice fourPlaneScreens[] = {{HUECL_SCREEN_KIND_0, "0"},
                                             {HUECL_SCREEN_KIND_1, "1"},
                                             {HUECL_SCREEN_KIND_3, "3"},
                                             {HUECL_SCREEN_KIND_OTHER, "other"}};
constexpr ScreenChoice blackOnlyScreens[] = {
    {HUECL_SCREEN_KIND_1, "1"}, {HUECL_SCREEN_KIND_3, "3"}, {HUECL_SCREEN_KIND_OTHER, "other"}};

// One matrix as a grey image: each threshold level side by side, every
// threshold drawn as a scale x scale square (dark = prints early).
void drawMatrix(OutputFolder& output, const std::string& fileName, std::span<const std::uint8_t> matrix,
                std::uint32_t size, std::uint32_t levels, std::uint32_t scale) {
    const std::uint32_t gap = scale;
    const std::uint32_t width = levels * size * scale + (levels - 1) * gap;
    PendingFile& file = output.create(fileName);
    PngWriter png(file.stream(), file.finalPath().string(), width, size * scale, PngWriter::Channels::grey);
    std::vector<std::uint8_t> row(width, 255);
    for (std::uint32_t y = 0; y < size * scale; ++y) {
        for (std::uint32_t level = 0; level < levels; ++level)
            for (std::uint32_t x = 0; x < size * scale; ++x) {
                const size_t dot = size_t{y / scale} * size + x / scale;
                row[level * (size * scale + gap) + x] = matrix[dot * levels + level];
            }
        png.writeRow(row);
    }
    png.finish();
}

// The earlier generation's matrices: colour screens for screen modes 1-3
// (0 builds the same as 1) and the monochrome black screen of each of its
// three 8 x 8 bases.
std::uint32_t drawEarlierMatrices(OutputFolder& output, std::uint32_t scale, std::string& index) {
    const char* const planeNames[] = {"c", "m", "y", "k"};
    std::uint32_t drawn = 0;
    for (const bool monochrome : {false, true})
        for (std::uint32_t screenMode = 1; screenMode <= 3; ++screenMode) {
            const EarlierScreens screens(screenMode, monochrome);
            for (size_t plane = monochrome ? 3 : 0; plane < 4; ++plane) {
                const std::uint32_t edge = EarlierScreens::edge(plane);
                const std::string fileName = std::string("earlier") + (monochrome ? "-mono" : "") + "-screen-" +
                                             std::to_string(screenMode) + "-" + planeNames[plane] + ".png";
                drawMatrix(output, fileName, screens.matrix(plane), edge, 1, scale);
                index += fileName + " " + std::to_string(edge) + "x" + std::to_string(edge) + " 1 threshold per dot\n";
                ++drawn;
            }
        }
    return drawn;
}

// Every sample tile QvDizPtnPrn draws: per screen mode (1, 2, 3 and any
// other, here 0) and ink, one sheet of the 256 levels as 16 x 16 tiles of
// 32 x 32 dots (level 16 * row + column), ink black on white; black again
// in monochrome, where modes other than 1 pick other matrices.
std::uint32_t drawSampleSheets(OutputFolder& output, std::string& index) {
    constexpr std::uint32_t tileDots = 32, gap = 2, tilesPerSide = 16;
    constexpr std::uint32_t side = tilesPerSide * (tileDots + gap) - gap;
    const char* const inkNames[] = {"c", "m", "y", "k"};
    std::uint32_t drawn = 0;
    for (const bool monochrome : {false, true})
        for (const std::uint32_t screenMode : {1u, 2u, 3u, 0u})
            for (std::uint32_t ink = monochrome ? 3 : 0; ink < 4; ++ink) {
                QvDizInf record{};
                record.monoFlag = monochrome ? 1 : 0;
                record.screenMode = screenMode;
                std::vector<std::uint8_t> sheet(size_t{side} * side, 160);  // grey between the tiles
                std::array<std::uint8_t, 128> tile{};
                for (std::uint32_t level = 0; level < 256; ++level) {
                    QvDizPtnPrn(&record, ink, level, tile.data());
                    const std::uint32_t left = (level % tilesPerSide) * (tileDots + gap);
                    const std::uint32_t top = (level / tilesPerSide) * (tileDots + gap);
                    for (std::uint32_t y = 0; y < tileDots; ++y)
                        for (std::uint32_t x = 0; x < tileDots; ++x) {
                            const bool inked = (tile[4 * y + x / 8] & (0x80u >> (x % 8))) != 0;
                            sheet[size_t{top + y} * side + left + x] = inked ? 0 : 255;
                        }
                }
                const std::string fileName = std::string("earlier") + (monochrome ? "-mono" : "") + "-samples-" +
                                             (screenMode == 0 ? std::string("other") : std::to_string(screenMode)) +
                                             "-" + inkNames[ink] + ".png";
                PendingFile& file = output.create(fileName);
                PngWriter png(file.stream(), file.finalPath().string(), side, side, PngWriter::Channels::grey);
                for (std::uint32_t y = 0; y < side; ++y) png.writeRow(std::span(sheet).subspan(size_t{y} * side, side));
                png.finish();
                index += fileName + " 256 sample tiles of 32x32 dots, level 16 * row + column\n";
                ++drawn;
            }
    return drawn;
}

}  // namespace

void runScreens(const ScreensCommand& command) {
    OutputFolder output(command.outputFolder, command.force);
    const char* const planeNames[] = {"c", "m", "y", "k"};
    std::string index;
    std::uint32_t drawn = 0;
    for (std::uint32_t mode = 0; mode < 4; ++mode)
        for (const bool blackOnly : {false, true}) {
            const std::span<const ScreenChoice> choices = blackOnly ? std::span<const ScreenChoice>(blackOnlyScreens)
                                                                    : std::span<const ScreenChoice>(fourPlaneScreens);
            for (const ScreenChoice& choice : choices) {
                const Screens screens(mode, choice.screenKind, blackOnly);
                const std::uint32_t sizes[] = {screens.record().sizeC, screens.record().sizeM, screens.record().sizeY,
                                               screens.record().sizeK};
                for (size_t plane = blackOnly ? 3 : 0; plane < 4; ++plane) {
                    const std::string fileName = ditherModeName(mode) + (blackOnly ? "-black-only" : "") + "-screen-" +
                                                 choice.name + "-" + planeNames[plane] + ".png";
                    drawMatrix(output, fileName, screens.matrix(plane), sizes[plane], screens.levels(), command.scale);
                    index += fileName + " " + std::to_string(sizes[plane]) + "x" + std::to_string(sizes[plane]) + " " +
                             std::to_string(screens.levels()) + " threshold" + (screens.levels() == 1 ? "" : "s") +
                             " per dot\n";
                    ++drawn;
                }
            }
        }
    drawn += drawEarlierMatrices(output, command.scale, index);
    const std::uint32_t sheets = drawSampleSheets(output, index);
    output.create("index.txt").write(index);
    output.commit();
    std::printf("%u threshold matrices and %u sample sheets drawn\n", drawn, sheets);
}

}  // namespace huecl::tool

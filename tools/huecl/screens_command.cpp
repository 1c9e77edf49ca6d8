#include "commands.h"

#include "later_engine.h"
#include "output_files.h"
#include "png_image.h"

#include <cstdio>

namespace huecl::tool {
namespace {

struct ScreenChoice {
    uint32_t screenKind;
    const char *name;
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
void drawMatrix(OutputFolder &output, const std::string &fileName, std::span<const uint8_t> matrix, uint32_t size,
                uint32_t levels, uint32_t scale) {
    const uint32_t gap = scale;
    const uint32_t width = levels * size * scale + (levels - 1) * gap;
    PendingFile &file = output.create(fileName);
    PngWriter png(file.stream(), file.finalPath().string(), width, size * scale, PngWriter::Channels::grey);
    std::vector<uint8_t> row(width, 255);
    for (uint32_t y = 0; y < size * scale; ++y) {
        for (uint32_t level = 0; level < levels; ++level)
            for (uint32_t x = 0; x < size * scale; ++x) {
                const size_t dot = size_t{y / scale} * size + x / scale;
                row[level * (size * scale + gap) + x] = matrix[dot * levels + level];
            }
        png.writeRow(row);
    }
    png.finish();
}

} // namespace

void runScreens(const ScreensCommand &command) {
    OutputFolder output(command.outputFolder);
    const char *const planeNames[] = {"c", "m", "y", "k"};
    std::string index;
    uint32_t drawn = 0;
    for (uint32_t mode = 0; mode < 4; ++mode)
        for (const bool blackOnly : {false, true}) {
            const std::span<const ScreenChoice> choices = blackOnly ? std::span<const ScreenChoice>(blackOnlyScreens)
                                                                    : std::span<const ScreenChoice>(fourPlaneScreens);
            for (const ScreenChoice &choice : choices) {
                const Screens screens(mode, choice.screenKind, blackOnly);
                const uint32_t sizes[] = {screens.record().sizeC, screens.record().sizeM, screens.record().sizeY,
                                          screens.record().sizeK};
                for (size_t plane = blackOnly ? 3 : 0; plane < 4; ++plane) {
                    const std::string fileName = ditherModeName(mode) + (blackOnly ? "-black-only" : "") +
                                                 "-screen-" + choice.name + "-" + planeNames[plane] + ".png";
                    drawMatrix(output, fileName, screens.matrix(plane), sizes[plane], screens.levels(), command.scale);
                    index += fileName + " " + std::to_string(sizes[plane]) + "x" + std::to_string(sizes[plane]) + " " +
                             std::to_string(screens.levels()) + " threshold" + (screens.levels() == 1 ? "" : "s") +
                             " per dot\n";
                    ++drawn;
                }
            }
        }
    output.create("index.txt").write(index);
    output.commit();
    std::printf("%u threshold matrices drawn\n", drawn);
}

} // namespace huecl::tool

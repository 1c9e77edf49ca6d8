#include "commands.h"

#include "colour_table.h"
#include "earlier_engine.h"
#include "later_engine.h"
#include "output_files.h"
#include "page_header.h"
#include "page_layout.h"
#include "page_pipeline.h"
#include "page_preview.h"
#include "plane_files.h"
#include "progress_bar.h"
#include "raster_container.h"
#include "test_page.h"
#include "tool_error.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <optional>
#include <sys/resource.h>

namespace huecl::tool {
namespace {

ColourTable colourTableFor(const PrintCommand& command) {
    const PageSettings& s = command.settings;
    // Only the direct and interpolated methods read a table.
    if (s.matchMethod != HUECL_MATCH_DIRECT && s.matchMethod != HUECL_MATCH_INTERPOLATED) {
        if (command.profile)
            throw ToolError("--profile needs --match interpolate or direct, which read a colour table");
        return {};
    }
    const auto axis = s.matchMethod == HUECL_MATCH_DIRECT ? directLookupAxis()
                      : s.engine == EngineKind::earlier   ? earlierInterpolationAxis()
                                                          : interpolationAxis(s.gridSize);
    return command.profile ? buildProfileTable(*command.profile, axis) : buildModelTable(axis);
}

// The one place that knows the colour generations by name.
std::unique_ptr<ColourEngine> makeEngine(const PageSettings& settings, ColourTable table, const ImageSource& source) {
    switch (settings.engine) {
        case EngineKind::later:
            return std::make_unique<LaterEngine>(settings, std::move(table), source.width(), source.height(),
                                                 source.pixels());
        case EngineKind::earlier:
            return std::make_unique<EarlierEngine>(settings, std::move(table), source.width(), source.height(),
                                                   source.pixels());
    }
    throw std::logic_error("unknown colour engine");
}

// The image, or the test page, on its page: as given without --page. The
// page is held to the image size limit as an image would be.
std::unique_ptr<ImageSource> openPage(const PrintCommand& command) {
    const Resolution& source = command.settings.source;
    if (!command.image) {
        if (!command.layout) return makeTestPage(command.pageSize);
        const PageLayout page = layOutPage(*command.layout, source, 1, 1);
        checkImageSize("--page", page.pageWidth, page.pageHeight, command.imageLimits);
        return makeTestPage({page.pageWidth, page.pageHeight});
    }
    auto image = openImage(*command.image, command.imageLimits);
    if (!command.layout) return image;
    const PageLayout page = layOutPage(*command.layout, source, image->width(), image->height());
    checkImageSize("--page", page.pageWidth, page.pageHeight, command.imageLimits);
    return placeOnPage(std::move(image), page);
}

// "210.0 x 297.0 mm (A4)": the page as printed, from its device size.
std::string pageText(const PageGeometry& g, const PageSettings& s, const std::optional<LayoutRequest>& layout) {
    char text[128];
    std::snprintf(text, sizeof text, "page %.1f x %.1f mm", g.deviceWidth * 25.4 / s.device.x,
                  g.deviceHeight * 25.4 / s.device.y);
    return layout && !layout->paper.name.empty() ? std::string(text) + " (" + layout->paper.name + ")" : text;
}

double peakMemoryMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // Linux reports KiB
}

std::string summaryLine(const PageGeometry& g, const std::string& page, const PipelineTotals& totals,
                        double wallSeconds, unsigned threads) {
    const uint64_t pixels = uint64_t{g.sourceWidth} * g.sourceHeight;
    const uint64_t dots = uint64_t{g.deviceWidth} * g.deviceHeight * g.planeCount;
    const uint64_t rawBytes = uint64_t{g.lineBytes} * g.deviceHeight * g.planeCount;
    char text[640];
    int length = std::snprintf(
        text, sizeof text,
        "%" PRIu64 " pixels, %" PRIu64 " dots (%" PRIu64 " inked), %" PRIu64
        " compressed bytes, ratio %.2f:1, %s, cpu seconds:",
        pixels, dots, totals.inkedDots, totals.compressedBytes,
        totals.compressedBytes ? static_cast<double>(rawBytes) / static_cast<double>(totals.compressedBytes) : 0.0,
        page.c_str());
    for (size_t stage = 0; stage < stageNames.size(); ++stage)
        length += std::snprintf(text + length, sizeof text - static_cast<size_t>(length), " %s %.3f",
                                std::string(stageNames[stage]).c_str(), totals.times.seconds[stage]);
    std::snprintf(text + length, sizeof text - static_cast<size_t>(length),
                  ", wall %.3f seconds on %u thread%s, peak memory %.0f MiB", wallSeconds, threads,
                  threads == 1 ? "" : "s", peakMemoryMiB());
    return text;
}

}  // namespace

void runPrint(const PrintCommand& command) {
    const auto start = std::chrono::steady_clock::now();
    auto source = openPage(command);
    // CMYK images go straight to halftoning: no table is read. Printed in
    // black alone, their colours fold into black rather than vanish.
    const bool matched = source->pixels() == SourcePixels::bgr;
    if (!matched && command.settings.blackOnly) source = foldInksIntoBlack(std::move(source));
    ColourTable table = matched ? colourTableFor(command) : ColourTable{};
    const uint32_t gridSize = table.gridSize;
    const auto engine = makeEngine(command.settings, std::move(table), *source);
    const PageGeometry& g = engine->geometry();

    OutputFolder output(command.outputFolder);
    if (command.image) output.keepInput(*command.image);
    RasterWriter raster(output.create("page.hcr"), rasterHeaderFor(command.settings, g, gridSize, command.profile));
    const uint32_t boxSize = command.previewDpi != 0
                                 ? previewBoxSize(command.settings.device.y, command.previewDpi)
                                 : automaticPreviewBoxSize(command.settings.device.y, command.settings.source.y,
                                                           g.deviceWidth, g.deviceHeight);
    const ProofTable proof = command.profile ? buildProfileProofTable(*command.profile) : buildModelProofTable();
    const InkResponse ink =
        inkResponseOf(command.settings.ditherMode, command.settings.screenKind, command.settings.blackOnly);
    auto& previewFile = output.create("preview.png");
    PreviewBuilder preview(previewFile.stream(), previewFile.finalPath().string(),
                           {g.deviceWidth, g.lineBytes, g.bitsPerDot, g.planeCount}, g.deviceHeight, boxSize, proof,
                           ink, command.threads);
    std::optional<PlaneFiles> planeFiles;
    if (command.writePlanes)
        planeFiles.emplace(output, command.planeFormat,
                           PlaneLayout{g.deviceWidth, g.lineBytes, g.bitsPerDot, g.planeCount}, g.deviceHeight,
                           command.settings.device);

    ProgressBar progress("huecl print", g.bandCount, !command.quiet);
    const PipelineOptions options{command.threads, command.settings.lzsBudget, boxSize, command.writePlanes, &progress};
    const PipelineTotals totals = runPipeline(*source, *engine, options, [&](const FinishedBand& band) {
        raster.writeBand(band.deviceRows, band.streams);
        preview.addBand(band.previewSums);
        if (planeFiles) {
            std::array<const uint8_t*, 4> planes{};
            for (uint32_t plane = 0; plane < g.planeCount; ++plane) planes[plane] = band.planes[plane].data();
            planeFiles->addBand(std::span(planes).first(g.planeCount), band.deviceRows);
        }
    });
    raster.finish();
    if (planeFiles) planeFiles->finish();
    preview.finish();
    // The preview's own threads proof and deflate what the workers summed.
    PipelineTotals shown = totals;
    shown.times[Stage::preview] += preview.cpuSeconds();
    const double wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string summary =
        summaryLine(g, pageText(g, command.settings, command.layout), shown, wallSeconds, command.threads);
    output.create("summary.txt").write(summary + "\n");
    output.commit();
    progress.finish();
    std::printf("%s\n", summary.c_str());
}

}  // namespace huecl::tool

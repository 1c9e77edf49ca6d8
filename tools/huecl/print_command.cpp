#include "commands.h"

#include "pages/colour/colour_table.h"
#include "pages/colour/later_engine.h"
#include "pages/page_assembly.h"
#include "pages/writers/output_files.h"
#include "pages/page_layout.h"
#include "pages/page_pipeline.h"
#include "pages/writers/page_header.h"
#include "pages/writers/page_preview.h"
#include "pages/writers/plane_files.h"
#include "progress_bar.h"
#include "pages/writers/raster_container.h"
#include "pages/readers/test_page.h"
#include "pages/page_error.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <optional>
#include <sys/resource.h>

namespace huecl::tool {

using namespace huecl::pages;
namespace {

// The image, or the test page, on its page: as given without --page. The
// page is held to the image size limit as an image would be. With --page
// the source is the printable area inside the margins, and settings.sheet
// says where it lies on the paper.
std::unique_ptr<ImageSource> openPage(const PrintCommand& command, PageSettings& settings) {
    const Resolution& source = settings.source;
    // The sheet and the area's corner on the device grid, scaled as the
    // raster itself is.
    const auto placeOnSheet = [&settings](const PageLayout& page) {
        const auto dots = [](std::uint32_t pixels, std::uint32_t device, std::uint32_t from) {
            return static_cast<std::uint32_t>(std::uint64_t{pixels} * device / from);
        };
        settings.sheet = {dots(page.pageWidth, settings.device.x, settings.source.x),
                          dots(page.pageHeight, settings.device.y, settings.source.y),
                          dots(page.areaX, settings.device.x, settings.source.x),
                          dots(page.areaY, settings.device.y, settings.source.y)};
    };
    if (!command.image) {
        if (!command.layout) return makeTestPage(command.pageSize);
        const PageLayout page = layOutPage(*command.layout, source, 1, 1);
        checkImageSize("--page", page.pageWidth, page.pageHeight, command.imageLimits);
        placeOnSheet(page);
        return makeTestPage({page.areaWidth, page.areaHeight});
    }
    auto image = openImage(*command.image, command.imageLimits);
    if (!command.layout) return image;
    const PageLayout page = layOutPage(*command.layout, source, image->width(), image->height());
    checkImageSize("--page", page.pageWidth, page.pageHeight, command.imageLimits);
    placeOnSheet(page);
    return placeOnPage(std::move(image), printableArea(page));
}

// "page 210.0 x 297.0 mm (A4)": the sheet, or without one the page as
// printed, from its device size.
std::string pageText(const RasterHeader& h, const std::optional<LayoutRequest>& layout) {
    char text[128];
    const std::uint32_t width = h.hasSheet() ? h.sheetWidth : h.deviceWidth;
    const std::uint32_t height = h.hasSheet() ? h.sheetHeight : h.deviceHeight;
    std::snprintf(text, sizeof text, "page %.1f x %.1f mm", width * 25.4 / h.deviceResX, height * 25.4 / h.deviceResY);
    return layout && !layout->paper.name.empty() ? std::string(text) + " (" + layout->paper.name + ")" : text;
}

double peakMemoryMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // Linux reports KiB
}

std::string summaryLine(const PageGeometry& g, const std::string& page, const PipelineTotals& totals,
                        double wallSeconds, unsigned threads, LzsEncoder encoder) {
    const std::uint64_t pixels = std::uint64_t{g.sourceWidth} * g.sourceHeight;
    const std::uint64_t dots = std::uint64_t{g.deviceWidth} * g.deviceHeight * g.planeCount;
    const std::uint64_t rawBytes = std::uint64_t{g.lineBytes} * g.deviceHeight * g.planeCount;
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
    length += std::snprintf(text + length, sizeof text - static_cast<size_t>(length),
                            ", wall %.3f seconds on %u thread%s, peak memory %.0f MiB", wallSeconds, threads,
                            threads == 1 ? "" : "s", peakMemoryMiB());
    if (encoder == LzsEncoder::best)
        std::snprintf(text + length, sizeof text - static_cast<size_t>(length),
                      ", best LZS saved %" PRIu64 " bytes against exact", totals.lzsBytesSaved);
    return text;
}

}  // namespace

void runPrint(const PrintCommand& command) {
    const auto start = std::chrono::steady_clock::now();
    PageSettings settings = command.settings;
    auto source = openPage(command, settings);
    if (command.profile && source->pixels() == SourcePixels::bgr && !readsColourTable(settings))
        throw PageError("--profile needs --match interpolate or direct, which read a colour table");
    ColourTableSource tables(command.profile);
    AssembledPage page = assemblePage(settings, std::move(source), tables);
    const PageGeometry& g = page.geometry();

    OutputFolder output(command.outputFolder, command.force);
    if (command.image) output.keepInput(*command.image);
    RasterWriter raster(output.create("page.hcr"), page.header());
    const std::uint32_t boxSize = previewBoxFor(page.header(), command.previewDpi);
    const ProofTable proof = command.profile ? buildProfileProofTable(*command.profile) : buildModelProofTable();
    const InkResponse ink =
        inkResponseOf(command.settings.ditherMode, command.settings.screenKind, command.settings.blackOnly);
    auto& previewFile = output.create("preview.png");
    // Created before the page runs, so that a refused name costs no work.
    auto& summaryFile = output.create("summary.txt");
    PreviewBuilder preview(previewFile.stream(), previewFile.finalPath().string(),
                           {g.deviceWidth, g.lineBytes, g.bitsPerDot, g.planeCount}, g.deviceHeight, boxSize, proof,
                           ink, command.threads, previewMarginsFor(page.header(), boxSize));
    std::optional<PlaneFiles> planeFiles;
    if (command.writePlanes)
        planeFiles.emplace(output, command.planeFormat,
                           PlaneLayout{g.deviceWidth, g.lineBytes, g.bitsPerDot, g.planeCount}, g.deviceHeight,
                           command.settings.device);

    ProgressBar progress("huecl print", g.bandCount, !command.quiet);
    const PipelineOptions options{command.threads,     command.settings.lzsBudget,          boxSize,
                                  command.writePlanes, [&progress] { progress.advance(); }, {},
                                  command.lzsEncoder};
    const PipelineTotals totals = page.run(options, [&](const FinishedBand& band) {
        raster.writeBand(band.deviceRows, band.streams);
        preview.addBand(band.previewSums);
        if (planeFiles) {
            std::array<const std::uint8_t*, 4> planes{};
            for (std::uint32_t plane = 0; plane < g.planeCount; ++plane) planes[plane] = band.planes[plane].data();
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
    const std::string summary = summaryLine(g, pageText(page.header(), command.layout), shown, wallSeconds,
                                            command.threads, command.lzsEncoder);
    summaryFile.write(summary + "\n");
    output.commit();
    progress.finish();
    std::printf("%s\n", summary.c_str());
}

}  // namespace huecl::tool

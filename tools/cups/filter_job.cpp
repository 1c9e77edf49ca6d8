#include "filter_job.h"

#include "cups_raster_source.h"
#include "earlier_engine.h"
#include "later_engine.h"
#include "page_header.h"
#include "page_pipeline.h"
#include "tool_error.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

namespace huecl::cups {
namespace {

// The colour generation the job chose, on the page's pixels.
std::unique_ptr<tool::ColourEngine> makeEngine(const tool::PageSettings& settings, tool::ColourTable table,
                                               const CupsPageSource& source) {
    if (settings.engine == tool::EngineKind::earlier)
        return std::make_unique<tool::EarlierEngine>(settings, std::move(table), source.width(), source.height(),
                                                     source.pixels());
    return std::make_unique<tool::LaterEngine>(settings, std::move(table), source.width(), source.height(),
                                               source.pixels());
}

}  // namespace

uint32_t printRasterJob(RasterStream& stream, const DriverSettings& driver, unsigned threads,
                        const tool::RasterWriter::ByteSink& output, std::FILE* log) {
    std::optional<JobColourTable> table;  // built for the first page that needs one
    cups_page_header2_t pageHeader{};
    uint32_t page = 0;
    while (stream.readHeader(pageHeader, page + 1)) {
        ++page;
        std::fprintf(log, "INFO: Printing page %u\n", page);
        CupsPageSource source(stream.raster(), pageHeader, page);
        const tool::PageSettings settings = pageSettingsFor(driver, pageHeader);
        // Only RGB pixels are matched, and only the table methods read it.
        const bool matched = source.pixels() == tool::SourcePixels::bgr && settings.matchMethod <= 1;
        if (matched && !table) table = colourTableFor(driver, ghostscriptCmykProfile);
        const auto engine = makeEngine(settings, matched ? table->table : tool::ColourTable{}, source);
        const tool::PageGeometry& g = engine->geometry();
        tool::RasterWriter writer(output, tool::rasterHeaderFor(settings, g, matched ? table->table.gridSize : 0,
                                                                matched ? table->profile : std::nullopt));
        // The preview sums give the inked dots; the box matches huecl print's.
        const tool::PipelineOptions pipeline{threads, settings.lzsBudget, tool::previewBoxSize(settings.device.y, 100),
                                             false, nullptr};
        const tool::PipelineTotals totals = [&] {
            try {
                return tool::runPipeline(source, *engine, pipeline, [&](const tool::FinishedBand& band) {
                    writer.writeBand(band.deviceRows, band.streams);
                });
            } catch (const tool::ToolError&) {
                if (stream.readError() != 0)
                    throw tool::ToolError("page " + std::to_string(page) +
                                          ": cannot read the raster stream: " + std::strerror(stream.readError()));
                throw;
            }
        }();
        writer.finish();
        std::fprintf(log, "PAGE: %u %u\n", page, std::max(1u, pageHeader.NumCopies));
        const char* tableName = matched                                       ? table->table.origin.c_str()
                                : source.pixels() == tool::SourcePixels::cmyk ? "none (CMYK from the renderer)"
                                                                              : "none (grey to black)";
        std::fprintf(log,
                     "INFO: Page %u: %u x %u dots, %u plane%s, %" PRIu64 " dots inked, %" PRIu64
                     " compressed bytes, colour table: %s\n",
                     page, g.deviceWidth, g.deviceHeight, g.planeCount, g.planeCount == 1 ? "" : "s", totals.inkedDots,
                     totals.compressedBytes, tableName);
        std::fflush(log);
    }
    if (page == 0) throw tool::ToolError("the raster stream holds no page");
    return page;
}

}  // namespace huecl::cups

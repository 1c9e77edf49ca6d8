#include "filter_job.h"

#include "cups_raster_source.h"
#include "pages/page_error.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <vector>

namespace huecl::cups {

std::uint32_t printRasterJob(RasterStream& stream, const DriverSettings& driver, unsigned threads,
                             const pages::RasterWriter::ByteSink& output, std::FILE* log) {
    pages::ColourTableSource tables = colourTablesFor(driver, ghostscriptCmykProfile);
    cups_page_header2_t pageHeader{};
    std::uint32_t page = 0;
    while (stream.readHeader(pageHeader, page + 1)) {
        ++page;
        std::fprintf(log, "INFO: Printing page %u\n", page);
        auto pageSource = std::make_unique<CupsPageSource>(stream.raster(), pageHeader, page);
        const pages::SourcePixels pixels = pageSource->pixels();
        pages::AssembledPage assembled =
            pages::assemblePage(pageSettingsFor(driver, pageHeader), std::move(pageSource), tables);
        const pages::PageGeometry& g = assembled.geometry();
        // The page's container is held until its last band is in, so that a
        // stream cut inside a page leaves the device the whole pages before
        // it and nothing of the cut one: half a container would stall or
        // confuse whatever reads the output. Held compressed, a page is small.
        // It is held in the pieces the writer gives, so that it is neither
        // copied as it grows nor laid out anew in fresh memory.
        std::vector<std::vector<std::uint8_t>> container;
        pages::RasterWriter writer(
            [&container](std::span<const std::uint8_t> bytes) { container.emplace_back(bytes.begin(), bytes.end()); },
            assembled.header());
        // No preview: the bands only count their inked dots.
        const pages::PipelineOptions pipeline{threads, assembled.header().lzsBudget, 0, false, {}, driver.lzsEncoder};
        const pages::PipelineTotals totals = [&] {
            try {
                return assembled.run(pipeline, [&](const pages::FinishedBand& band) {
                    writer.writeBand(band.deviceRows, band.streams);
                });
            } catch (const pages::PageError&) {
                if (stream.readError() != 0)
                    throw pages::PageError("page " + std::to_string(page) +
                                           ": cannot read the raster stream: " + std::strerror(stream.readError()));
                throw;
            }
        }();
        writer.finish();
        for (const auto& piece : container) output(piece);
        std::fprintf(log, "PAGE: %u %u\n", page, std::max(1u, pageHeader.NumCopies));
        const char* tableName = assembled.table()                     ? assembled.table()->origin.c_str()
                                : pixels == pages::SourcePixels::cmyk ? "none (CMYK from the renderer)"
                                                                      : "none (grey to black)";
        std::fprintf(log,
                     "INFO: Page %u: %u x %u dots, %u plane%s, %" PRIu64 " dots inked, %" PRIu64
                     " compressed bytes, colour table: %s\n",
                     page, g.deviceWidth, g.deviceHeight, g.planeCount, g.planeCount == 1 ? "" : "s", totals.inkedDots,
                     totals.compressedBytes, tableName);
        if (driver.lzsEncoder == pages::LzsEncoder::best)
            std::fprintf(log, "DEBUG: Page %u: the best LZS encoder saved %" PRIu64 " bytes against the exact one\n",
                         page, totals.lzsBytesSaved);
        std::fflush(log);
    }
    if (page == 0) throw pages::PageError("the raster stream holds no page");
    return page;
}

}  // namespace huecl::cups

#include "filter_job.h"

#include "pages/page_error.h"
#include "pages/readers/cups_raster_source.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <vector>

namespace huecl::cups {
namespace {

std::string pagesText(std::uint32_t pages) { return std::to_string(pages) + (pages == 1 ? " page" : " pages"); }

// How far the page has come, for the people waiting for it: "INFO: Printing
// page 3 of 12, 40 %" (the total only when the raster says it) and the
// job's media progress, as the page starts and at every tenth of its bands.
class PageProgress {
public:
    PageProgress(std::FILE* log, std::uint32_t page, std::uint32_t totalPages, std::uint32_t bands)
        : log_(log), bands_(std::max(1u, bands)) {
        name_ = "page " + std::to_string(page);
        if (totalPages >= page) name_ += " of " + std::to_string(totalPages);
        report(0);
    }
    void bandDone() {
        ++done_;
        const std::uint32_t percent = static_cast<std::uint32_t>(std::uint64_t{done_} * 100 / bands_);
        if (percent / 10 > reported_ / 10) report(percent / 10 * 10);
    }

private:
    void report(std::uint32_t percent) {
        reported_ = percent;
        std::fprintf(log_, "INFO: Printing %s, %u %%\nATTR: job-media-progress=%u\n", name_.c_str(), percent, percent);
        std::fflush(log_);
    }
    std::FILE* log_;
    std::string name_;
    std::uint32_t bands_, done_ = 0, reported_ = 0;
};

}  // namespace

JobOutcome printRasterJob(pages::RasterStream& stream, const pages::DriverSettings& driver, unsigned threads,
                          const pages::RasterWriter::ByteSink& output, std::FILE* log,
                          const std::function<bool()>& cancelled) {
    const auto isCancelled = [&cancelled] { return cancelled && cancelled(); };
    const auto endCancelled = [log](std::uint32_t pages) {
        std::fprintf(log, "INFO: Job cancelled after %s\n", pagesText(pages).c_str());
        std::fflush(log);
        return JobOutcome{pages, true};
    };
    pages::ColourTableSource tables = pages::colourTablesFor(driver, pages::ghostscriptCmykProfile);
    cups_page_header2_t pageHeader{};
    std::uint32_t page = 0;
    for (;;) {
        if (isCancelled()) return endCancelled(page);
        try {
            if (!stream.readHeader(pageHeader, page + 1)) break;
        } catch (const pages::PageError&) {
            if (isCancelled()) return endCancelled(page);
            throw;
        }
        ++page;
        auto pageSource = std::make_unique<pages::CupsPageSource>(stream.raster(), pageHeader, page);
        const pages::SourcePixels pixels = pageSource->pixels();
        pages::AssembledPage assembled =
            pages::assemblePage(pages::pageSettingsFor(driver, pageHeader), std::move(pageSource), tables);
        const pages::PageGeometry& g = assembled.geometry();
        PageProgress progress(log, page, pageHeader.cupsInteger[CUPS_RASTER_PWG_TotalPageCount], g.bandCount);
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
        const pages::PipelineOptions pipeline{
            threads,          assembled.header().lzsBudget, 0, false, [&progress] { progress.bandDone(); }, isCancelled,
            driver.lzsEncoder};
        pages::PipelineTotals totals;
        try {
            totals = assembled.run(
                pipeline, [&](const pages::FinishedBand& band) { writer.writeBand(band.deviceRows, band.streams); });
        } catch (const pages::PageCancelled&) {
            return endCancelled(page - 1);
        } catch (const pages::PageError&) {
            if (isCancelled()) return endCancelled(page - 1);
            if (stream.readError() != 0)
                throw pages::PageError("page " + std::to_string(page) +
                                       ": cannot read the raster stream: " + std::strerror(stream.readError()));
            throw;
        }
        writer.finish();
        for (const auto& piece : container) output(piece);
        std::fprintf(log, "PAGE: %u %u\n", page, std::max(1u, pageHeader.NumCopies));
        const char* tableName = assembled.table()                     ? assembled.table()->origin.c_str()
                                : pixels == pages::SourcePixels::cmyk ? "none (CMYK from the renderer)"
                                                                      : "none (grey to black)";
        std::fprintf(log,
                     "DEBUG: Page %u: %u x %u dots, %u plane%s, %" PRIu64 " dots inked, %" PRIu64
                     " compressed bytes, colour table: %s\n",
                     page, g.deviceWidth, g.deviceHeight, g.planeCount, g.planeCount == 1 ? "" : "s", totals.inkedDots,
                     totals.compressedBytes, tableName);
        if (driver.lzsEncoder == pages::LzsEncoder::best)
            std::fprintf(log, "DEBUG: Page %u: the best LZS encoder saved %" PRIu64 " bytes against the exact one\n",
                         page, totals.lzsBytesSaved);
        std::fflush(log);
    }
    if (page == 0) throw pages::PageError("the raster stream holds no page");
    return {page, false};
}

}  // namespace huecl::cups

// rastertohuecl: the CUPS filter of the huecl driver. Reads a CUPS raster
// stream, prints every page through the same band loop as `huecl print`
// and writes one raster container per page to standard output.
//
//   rastertohuecl job user title copies options [file]
//
// Progress and errors go to standard error as INFO:, PAGE: and ERROR:
// lines for the scheduler.
#include "cups_raster_source.h"
#include "driver_options.h"
#include "later_engine.h"
#include "page_header.h"
#include "page_pipeline.h"
#include "raster_container.h"
#include "tool_error.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace huecl::cups {
namespace {

using tool::ToolError;

// Owns the file descriptor and the raster stream read from it.
class RasterInput {
public:
    explicit RasterInput(const char *fileName) {
        if (fileName) {
            fd_ = ::open(fileName, O_RDONLY);
            if (fd_ < 0)
                throw ToolError(std::string("cannot open ") + fileName + ": " + std::strerror(errno));
        }
        raster_ = cupsRasterOpen(fd_, CUPS_RASTER_READ);
        if (!raster_) {
            closeFile();
            throw ToolError("the input is not a CUPS raster stream");
        }
    }
    ~RasterInput() {
        cupsRasterClose(raster_);
        closeFile();
    }
    RasterInput(const RasterInput &) = delete;
    RasterInput &operator=(const RasterInput &) = delete;
    cups_raster_t *raster() const { return raster_; }

private:
    void closeFile() {
        if (fd_ > 0)
            ::close(fd_);
    }
    int fd_ = 0; // standard input unless a file is named
    cups_raster_t *raster_ = nullptr;
};

void writeToStandardOutput(std::span<const uint8_t> bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
        throw ToolError(std::string("cannot write to standard output: ") + std::strerror(errno));
}

int runFilter(int argc, char **argv) {
    if (argc < 6 || argc > 7) {
        std::fputs("Usage: rastertohuecl job user title copies options [file]\n", stderr);
        return 1;
    }
    JobOptions options(argv[5], std::getenv("PPD"));
    DriverSettings driver = driverSettingsFrom([&](const std::string &keyword) { return options.choice(keyword); });
    if (driver.table == TableSource::automatic)
        if (auto profile = options.ppdProfile()) {
            driver.table = TableSource::profile;
            driver.profile = std::move(profile);
        }
    RasterInput input(argc == 7 ? argv[6] : nullptr);

    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    std::optional<tool::ColourTable> table; // built for the first page that needs one
    cups_page_header2_t pageHeader{};
    uint32_t page = 0;
    while (cupsRasterReadHeader2(input.raster(), &pageHeader)) {
        ++page;
        std::fprintf(stderr, "INFO: Printing page %u\n", page);
        CupsPageSource source(input.raster(), pageHeader, page);
        const tool::PageSettings settings = pageSettingsFor(driver, pageHeader);
        // Only RGB pixels are matched, and only the table methods read it.
        const bool matched = source.pixels() == tool::SourcePixels::bgr && settings.matchMethod <= 1;
        if (matched && !table)
            table = colourTableFor(driver, ghostscriptCmykProfile);
        const tool::LaterEngine engine(settings, matched ? *table : tool::ColourTable{}, source.width(),
                                       source.height(), source.pixels());
        const tool::PageGeometry &g = engine.geometry();
        const bool fromProfile = matched && table->origin.starts_with("profile");
        tool::RasterWriter writer(writeToStandardOutput,
                                  tool::rasterHeaderFor(settings, g, matched ? table->gridSize : 0, fromProfile));
        const tool::PipelineOptions pipeline{threads, settings.lzsBudget,
                                             tool::previewBoxSize(settings.device.y, 100), false, nullptr};
        const tool::PipelineTotals totals = tool::runPipeline(
            source, engine, pipeline, [&](const tool::FinishedBand &band) { writer.writeBand(band.deviceRows, band.streams); });
        writer.finish();
        if (std::fflush(stdout) != 0)
            throw ToolError(std::string("cannot write to standard output: ") + std::strerror(errno));
        std::fprintf(stderr, "PAGE: %u %u\n", page, std::max(1u, pageHeader.NumCopies));
        std::fprintf(stderr,
                     "INFO: Page %u: %u x %u dots, %u plane%s, %" PRIu64 " dots inked, %" PRIu64
                     " compressed bytes, colour table: %s\n",
                     page, g.deviceWidth, g.deviceHeight, g.planeCount, g.planeCount == 1 ? "" : "s", totals.inkedDots,
                     totals.compressedBytes,
                     matched ? table->origin.c_str()
                             : source.pixels() == tool::SourcePixels::cmyk ? "none (CMYK from the renderer)"
                                                                           : "none (grey to black)");
    }
    if (page == 0)
        throw ToolError("the raster stream holds no page");
    std::fprintf(stderr, "INFO: Printed %u page%s\n", page, page == 1 ? "" : "s");
    return 0;
}

} // namespace
} // namespace huecl::cups

int main(int argc, char **argv) {
    try {
        return huecl::cups::runFilter(argc, argv);
    } catch (const huecl::tool::ToolError &error) {
        std::fprintf(stderr, "ERROR: %s\n", error.what());
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "ERROR: out of memory\n");
    } catch (const std::exception &error) {
        std::fprintf(stderr, "ERROR: internal error: %s\n", error.what());
    }
    return 1;
}

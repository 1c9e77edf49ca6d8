#include "job_printer.h"

#include "printer_driver.h"

#include "pages/page_error.h"
#include "pages/writers/page_preview.h"

#include <algorithm>
#include <cinttypes>
#include <thread>

namespace huecl::app {

JobPrinter::JobPrinter(pappl_device_t* device, JobChoices choices)
    : device_(device), choices_(std::move(choices)), driver_(driverSettingsFor(choices_)),
      tables_(pages::colourTablesFor(driver_, pages::ghostscriptCmykProfile)),
      threads_(std::max(1u, std::thread::hardware_concurrency())) {}

PageSummary JobPrinter::printPage(const cups_page_header2_t& header, std::unique_ptr<pages::ImageSource> source,
                                  std::uint32_t pageNumber) {
    const pages::SourcePixels pixels = source->pixels();
    pages::AssembledPage page =
        pages::assemblePage(pageSettingsFor(driver_, choices_, header), std::move(source), tables_);
    const auto toDevice = [this, pageNumber](std::span<const std::uint8_t> bytes) {
        if (papplDeviceWrite(device_, bytes.data(), bytes.size()) < 0)
            throw pages::PageError("page " + std::to_string(pageNumber) + ": the printer's device refused the page");
    };
    pages::RasterWriter writer(toDevice, page.header());
    // The same options as the CUPS filter's. No preview: the bands only
    // count their inked dots.
    const pages::PipelineOptions pipeline{threads_, page.header().lzsBudget, 0, false, {}, {}, driver_.lzsEncoder};
    const pages::PipelineTotals totals =
        page.run(pipeline, [&](const pages::FinishedBand& band) { writer.writeBand(band.deviceRows, band.streams); });
    writer.finish();
    papplDeviceFlush(device_);

    const pages::PageGeometry& g = page.geometry();
    PageSummary summary{g.deviceWidth, g.deviceHeight, g.planeCount, totals.inkedDots, totals.compressedBytes, {},
                        std::nullopt};
    summary.table = page.table()                          ? page.table()->origin
                    : pixels == pages::SourcePixels::cmyk ? "none (CMYK from the renderer)"
                                                          : "none (grey to black)";
    if (driver_.lzsEncoder == pages::LzsEncoder::best) summary.lzsBytesSaved = totals.lzsBytesSaved;
    return summary;
}

PrintOptions renderOptionsOf(pappl_job_t* job, unsigned pageCount, bool colour) {
    PrintOptions options(papplJobCreatePrintOptions(job, pageCount, colour));
    if (!options || papplJobGetAttribute(job, "printer-resolution")) return options;
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(papplJobGetPrinter(job), &data);
    const pages::Resolution printerDefault{static_cast<std::uint32_t>(data.x_default),
                                           static_cast<std::uint32_t>(data.y_default)};
    const pages::Resolution chosen = renderResolution(options->print_quality, printerDefault);
    if (static_cast<int>(chosen.x) == options->printer_resolution[0] &&
        static_cast<int>(chosen.y) == options->printer_resolution[1])
        return options;
    options->printer_resolution[0] = static_cast<int>(chosen.x);
    options->printer_resolution[1] = static_cast<int>(chosen.y);
    // The header as PAPPL makes it, at the new resolution.
    cups_page_header2_t& header = options->header;
    const unsigned totalPages = header.cupsInteger[CUPS_RASTER_PWG_TotalPageCount];
    const char* type = header.cupsColorSpace == CUPS_CSPACE_SRGB   ? "srgb_8"
                       : header.cupsColorSpace == CUPS_CSPACE_SW   ? "sgray_8"
                       : header.cupsColorSpace == CUPS_CSPACE_CMYK ? "cmyk_8"
                                                                   : "black_8";
    if (cupsRasterInitPWGHeader(&header, pwgMediaForPWG(options->media.size_name), type, options->printer_resolution[0],
                                options->printer_resolution[1], "one-sided", "normal"))
        header.cupsInteger[CUPS_RASTER_PWG_TotalPageCount] = totalPages;
    return options;
}

JobChoices jobChoicesOf(pappl_job_t* job, const pappl_pr_options_t& options) {
    pappl_printer_t* printer = papplJobGetPrinter(job);
    const char* name = papplPrinterGetDriverName(printer);
    const DriverChoice* driver = findDriver(name ? name : "");
    const std::string halftone = driver ? driver->halftone : driverChoices.front().halftone;
    ipp_t* attributes = papplPrinterGetDriverAttributes(printer);
    try {
        JobChoices choices = jobChoicesFrom(options, halftone, attributes);
        ippDelete(attributes);
        return choices;
    } catch (...) {
        ippDelete(attributes);
        throw;
    }
}

std::string pageMessage(std::uint32_t pageNumber, const PageSummary& summary) {
    char text[640];
    const int length = std::snprintf(text, sizeof text,
                                     "Printed page %u: %u x %u dots, %u plane%s, %" PRIu64 " dots inked, %" PRIu64
                                     " compressed bytes, colour table: %s.",
                                     pageNumber, summary.deviceWidth, summary.deviceHeight, summary.planeCount,
                                     summary.planeCount == 1 ? "" : "s", summary.inkedDots, summary.compressedBytes,
                                     summary.table.c_str());
    if (summary.lzsBytesSaved && length > 0 && static_cast<size_t>(length) < sizeof text)
        std::snprintf(text + length, sizeof text - static_cast<size_t>(length),
                      " The best LZS encoder saved %" PRIu64 " bytes.", *summary.lzsBytesSaved);
    return text;
}

void reportJobFailure(pappl_job_t* job, const std::string& message, pappl_jreason_t reason) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message.c_str());
    papplJobSetMessage(job, "%s", message.c_str());
    papplJobSetReasons(job, reason, PAPPL_JREASON_NONE);
}

}  // namespace huecl::app

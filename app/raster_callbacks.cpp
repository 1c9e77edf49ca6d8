#include "raster_callbacks.h"

#include "job_order.h"
#include "job_printer.h"
#include "page_rows.h"
#include "printer_turn.h"

#include "pages/page_error.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

namespace huecl::app {
namespace {

using pages::PageError;

// Two bands of the band loop's 128 rows: the reader takes a band while the
// next one arrives.
constexpr size_t bufferedRows = 256;

struct PageInProgress {
    cups_page_header2_t header{};
    std::uint32_t number = 0;
    std::shared_ptr<RowBuffer> rows;
    std::uint32_t rowsWritten = 0;
    std::thread thread;
    std::string error;  // why the band loop stopped, if it did
    PageSummary summary;
};

struct RasterJob {
    std::unique_ptr<PrinterTurn> turn;
    std::unique_ptr<JobPrinter> printer;
    std::unique_ptr<PageInProgress> page;
    std::uint32_t pagesStarted = 0;
    bool failed = false;
};

RasterJob* rasterJobOf(pappl_job_t* job) { return static_cast<RasterJob*>(papplJobGetData(job)); }

// Fills the rest of the page with paper, lets the band loop finish and
// takes its result.
void finishPage(PageInProgress& page) {
    const std::vector<std::uint8_t> paper = paperRow(page.header);
    while (page.rowsWritten < page.header.cupsHeight && page.rows->put(paper)) ++page.rowsWritten;
    page.rows->finish();
    if (page.thread.joinable()) page.thread.join();
}

}  // namespace

bool startRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
    if (rasterJobOf(job)) return true;
    auto state = std::make_unique<RasterJob>();
    state->turn = std::make_unique<PrinterTurn>(job, device);
    if (state->turn->cancelled()) return false;
    releaseHeldJobs(papplJobGetPrinter(job));
    try {
        if (!state->turn->device()) throw PageError("the printer's device cannot be opened");
        state->printer = std::make_unique<JobPrinter>(state->turn->device(), jobChoicesOf(job, *options));
        papplJobSetData(job, state.release());
        return true;
    } catch (const std::exception& error) {
        // PAPPL ends the job without the end callback.
        holdYoungerJobs(job);
        reportJobFailure(job, error.what(), PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR);
        return false;
    }
}

bool startRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device, unsigned /*page*/) {
    if (!rasterJobOf(job) && !startRasterJob(job, options, device)) return false;
    RasterJob& state = *rasterJobOf(job);
    if (state.page) {
        finishPage(*state.page);
        state.page.reset();
    }
    auto page = std::make_unique<PageInProgress>();
    page->header = options->header;
    page->number = ++state.pagesStarted;
    page->rows = std::make_shared<RowBuffer>(page->header.cupsBytesPerLine, bufferedRows);
    std::unique_ptr<pages::ImageSource> source;
    try {
        source = std::make_unique<BufferedPage>(page->header, page->number, page->rows);
    } catch (const PageError& error) {
        state.failed = true;
        reportJobFailure(job, error.what(), PAPPL_JREASON_DOCUMENT_FORMAT_ERROR);
        return false;
    }
    PageInProgress* running = page.get();
    JobPrinter* printer = state.printer.get();
    running->thread = std::thread([running, printer, source = std::move(source)]() mutable {
        try {
            running->summary = printer->printPage(running->header, std::move(source), running->number);
        } catch (const std::bad_alloc&) {
            running->error = "page " + std::to_string(running->number) + ": out of memory";
        } catch (const std::exception& error) {
            running->error = error.what();
        }
        if (!running->error.empty()) running->rows->abandon();
    });
    state.page = std::move(page);
    papplJobSetMessage(job, "Printing page %u.", running->number);
    return true;
}

bool writeRasterLine(pappl_job_t* job, pappl_pr_options_t* /*options*/, pappl_device_t* /*device*/, unsigned /*y*/,
                     const unsigned char* line) {
    RasterJob* state = rasterJobOf(job);
    if (!state || !state->page) return false;
    PageInProgress& page = *state->page;
    if (page.rowsWritten >= page.header.cupsHeight) return true;
    if (!page.rows->put(std::span(line, page.header.cupsBytesPerLine))) return false;
    ++page.rowsWritten;
    return true;
}

bool endRasterPage(pappl_job_t* job, pappl_pr_options_t* /*options*/, pappl_device_t* /*device*/, unsigned /*page*/) {
    RasterJob* state = rasterJobOf(job);
    if (!state || !state->page) return false;
    const std::unique_ptr<PageInProgress> page = std::move(state->page);
    const std::uint32_t rowsGiven = page->rowsWritten;
    finishPage(*page);
    if (!page->error.empty()) {
        state->failed = true;
        reportJobFailure(job, page->error, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR);
        return false;
    }
    // PAPPL fills a cancelled page with white rows itself, or stops short:
    // either way the page ends in blank paper.
    if (papplJobIsCanceled(job)) {
        papplJobSetMessage(job, "Cancelled during page %u, which was ended with blank paper.", page->number);
        return true;
    }
    if (rowsGiven < page->header.cupsHeight) {
        state->failed = true;
        reportJobFailure(job,
                         "page " + std::to_string(page->number) + ": the raster ends after " +
                             std::to_string(rowsGiven) + " of " + std::to_string(page->header.cupsHeight) +
                             " rows; the page was ended with blank paper",
                         PAPPL_JREASON_DOCUMENT_FORMAT_ERROR);
        return false;
    }
    papplJobSetMessage(job, "%s", pageMessage(page->number, page->summary).c_str());
    return true;
}

bool endRasterJob(pappl_job_t* job, pappl_pr_options_t* /*options*/, pappl_device_t* /*device*/) {
    // Declared first, so that the younger jobs are held before the turn
    // passes on.
    const std::unique_ptr<RasterJob> state(rasterJobOf(job));
    const JobEnd end(job);
    if (!state) return false;
    papplJobSetData(job, nullptr);
    // A job that stops between the start and the end of a page still
    // leaves the device a whole container.
    if (state->page) {
        finishPage(*state->page);
        if (!state->page->error.empty() && !state->failed) {
            state->failed = true;
            reportJobFailure(job, state->page->error, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR);
        }
    }
    return !state->failed;
}

bool refuseRawDocument(pappl_job_t* job, pappl_pr_options_t* /*options*/, pappl_device_t* /*device*/) {
    const char* format = papplJobGetFormat(job);
    reportJobFailure(job,
                     std::string("documents of type ") + (format ? format : "unknown") +
                         " are not printed: send PDF, PostScript, PWG or Apple raster, JPEG or PNG",
                     PAPPL_JREASON_DOCUMENT_FORMAT_ERROR);
    return false;
}

}  // namespace huecl::app

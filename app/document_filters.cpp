#include "document_filters.h"

#include "job_order.h"
#include "job_printer.h"
#include "printer_turn.h"
#include "render_process.h"

#include "pages/page_error.h"
#include "pages/readers/cups_raster_source.h"
#include "pages/readers/raster_stream.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <unistd.h>

namespace huecl::app {
namespace {

using pages::PageError;

// A page of the renderer's raster that a cancelled job ends with paper:
// once the job is cancelled no more rows are read from the renderer. The
// flag outlives the page, which the band loop consumes.
class CancellablePage final : public pages::ImageSource {
public:
    CancellablePage(std::unique_ptr<pages::ImageSource> page, pappl_job_t* job, bool& cancelled)
        : page_(std::move(page)), job_(job), cancelled_(cancelled) {}
    std::uint32_t width() const override { return page_->width(); }
    std::uint32_t height() const override { return page_->height(); }
    std::string description() const override { return page_->description(); }
    pages::SourcePixels pixels() const override { return page_->pixels(); }
    void readRows(std::span<std::uint8_t> rows) override {
        if (!cancelled_ && papplJobIsCanceled(job_)) cancelled_ = true;
        if (!cancelled_) return page_->readRows(rows);
        std::fill(rows.begin(), rows.end(), page_->pixels() == pages::SourcePixels::cmyk ? 0x00 : 0xFF);
    }

private:
    std::unique_ptr<pages::ImageSource> page_;
    pappl_job_t* job_;
    bool& cancelled_;
};

std::string points(int hundredthsMm) {
    // 72 points to the inch of 2540 hundredths of a millimetre, to a
    // hundredth of a point so that Ghostscript's page comes within a dot of
    // the size PAPPL gives raster pages.
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", hundredthsMm * 72.0 / 2540.0);
    return text;
}

// Prints every page of a raster stream, numbering them on from
// pagesBefore; returns the number printed. A cancelled job stops after the
// page it was on. Throws PageError for a stream the driver cannot print.
unsigned printRasterPages(pappl_job_t* job, JobPrinter& printer, int fd, unsigned pagesBefore, bool& cancelled) {
    pages::RasterStream stream(fd);
    cups_page_header2_t header{};
    unsigned printed = 0;
    while (!cancelled && stream.readHeader(header, printed + 1)) {
        const unsigned number = pagesBefore + printed + 1;
        papplJobSetMessage(job, "Printing page %u.", number);
        auto page = std::make_unique<CancellablePage>(
            std::make_unique<pages::CupsPageSource>(stream.raster(), header, printed + 1), job, cancelled);
        const PageSummary summary = printer.printPage(header, std::move(page), number);
        cancelled = cancelled || papplJobIsCanceled(job);
        ++printed;
        papplJobSetImpressionsCompleted(job, 1);
        if (cancelled)
            papplJobSetMessage(job, "Cancelled during page %u, which was ended with blank paper.", number);
        else
            papplJobSetMessage(job, "%s", pageMessage(number, summary).c_str());
    }
    return printed;
}

// Renders the document once and prints its pages; returns the number of
// pages printed. Throws PageError.
unsigned printOneCopy(pappl_job_t* job, JobPrinter& printer, const RenderRequest& request, unsigned pagesBefore,
                      bool& cancelled) {
    RenderProcess renderer(ghostscriptArguments(request));
    unsigned printed = 0;
    std::optional<PageError> failure;
    try {
        printed = printRasterPages(job, printer, renderer.output(), pagesBefore, cancelled);
    } catch (const PageError& error) {
        failure = error;
    }
    if (cancelled) {
        renderer.stop();
        renderer.wait();
        return printed;
    }
    const int status = renderer.wait();
    // The renderer's own words say more than a stream that stopped short.
    if (status != 0)
        throw PageError("Ghostscript could not render the document (exit status " + std::to_string(status) +
                        "): " + failureLine(renderer.messages()));
    // Ghostscript may give up on a document it cannot make sense of, yet
    // exit as if it had printed it, having written no raster at all.
    if (printed == 0) {
        const std::string why = failureLine(renderer.messages());
        throw PageError("Ghostscript found no page to print in the document" + (why.empty() ? "" : ": " + why));
    }
    if (failure) throw *failure;
    return printed;
}

// Runs print for the job, turning what it throws into the job's reason;
// false when the job failed.
template <typename Print>
bool reportingFailures(pappl_job_t* job, Print print) {
    try {
        print();
        return true;
    } catch (const PageError& error) {
        reportJobFailure(job, error.what(), PAPPL_JREASON_DOCUMENT_FORMAT_ERROR);
    } catch (const std::bad_alloc&) {
        reportJobFailure(job, "out of memory", PAPPL_JREASON_ABORTED_BY_SYSTEM);
    } catch (const std::exception& error) {
        reportJobFailure(job, std::string("internal error: ") + error.what(), PAPPL_JREASON_ABORTED_BY_SYSTEM);
    }
    return false;
}

}  // namespace

std::vector<std::string> ghostscriptArguments(const RenderRequest& request) {
    std::vector<std::string> arguments{
        "gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-dNOINTERPOLATE", "-sDEVICE=pwgraster",
        // sGray and sRGB, as PWG raster knows them.
        std::string("-dcupsColorSpace=") + (request.grey ? "18" : "19"), "-dcupsBitsPerColor=8",
        "-r" + std::to_string(request.resolutionX) + "x" + std::to_string(request.resolutionY),
        "-dDEVICEWIDTHPOINTS=" + points(request.widthHundredthsMm),
        "-dDEVICEHEIGHTPOINTS=" + points(request.lengthHundredthsMm), "-dFIXEDMEDIA",
        // What the document prints goes to the log, not into the raster.
        "-sstdout=%stderr", "-sOutputFile=%stdout"};
    if (request.fitToPage) arguments.insert(arguments.end(), {"-dPDFFitPage", "-dPSFitPage"});
    if (request.firstPage > 1) arguments.push_back("-dFirstPage=" + std::to_string(request.firstPage));
    if (request.lastPage > 0) arguments.push_back("-dLastPage=" + std::to_string(request.lastPage));
    arguments.push_back("-f");
    arguments.push_back(request.document);
    return arguments;
}

bool printWithGhostscript(pappl_job_t* job, pappl_device_t* given, void* /*data*/) {
    const FilterTurn turn(job, given);
    if (turn.cancelled()) return true;
    pappl_device_t* device = turn.device();
    if (!device) return false;
    const char* file = papplJobGetFilename(job);
    PrintOptions options = renderOptionsOf(job, 0, true);
    if (!file || !options) {
        reportJobFailure(job, "the job has no document to print", PAPPL_JREASON_ABORTED_BY_SYSTEM);
        return false;
    }
    RenderRequest request;
    request.document = file;
    request.resolutionX = options->printer_resolution[0];
    request.resolutionY = options->printer_resolution[1];
    request.widthHundredthsMm = options->media.size_width;
    request.lengthHundredthsMm = options->media.size_length;
    request.grey = options->print_color_mode != PAPPL_COLOR_MODE_COLOR;
    request.fitToPage = options->print_scaling != PAPPL_SCALING_NONE;
    request.firstPage = std::max(1u, options->first_page);
    if (options->last_page > 0 && options->last_page < static_cast<unsigned>(INT_MAX))
        request.lastPage = options->last_page;

    unsigned printed = 0;
    const bool printedAll = reportingFailures(job, [&] {
        JobPrinter printer(device, jobChoicesOf(job, *options));
        bool cancelled = false;
        // Collated copies: the whole document, once per copy.
        for (int copy = 0; copy < std::max(1, options->copies) && !cancelled; ++copy)
            printed += printOneCopy(job, printer, request, printed, cancelled);
    });
    if (printedAll) papplJobSetImpressions(job, static_cast<int>(printed));
    return printedAll;
}

bool printSpooledRaster(pappl_job_t* job, pappl_device_t* given, void* /*data*/) {
    const FilterTurn turn(job, given);
    if (turn.cancelled()) return true;
    pappl_device_t* device = turn.device();
    if (!device) return false;
    const char* file = papplJobGetFilename(job);
    PrintOptions options(papplJobCreatePrintOptions(job, 0, true));
    const int fd = file ? ::open(file, O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0 || !options) {
        if (fd >= 0) ::close(fd);
        reportJobFailure(job, "the job's document cannot be read", PAPPL_JREASON_ABORTED_BY_SYSTEM);
        return false;
    }
    unsigned printed = 0;
    const bool printedAll = reportingFailures(job, [&] {
        JobPrinter printer(device, jobChoicesOf(job, *options));
        bool cancelled = false;
        for (int copy = 0; copy < std::max(1, options->copies) && !cancelled; ++copy) {
            if (::lseek(fd, 0, SEEK_SET) != 0) throw PageError("the job's document cannot be read again");
            printed += printRasterPages(job, printer, fd, printed, cancelled);
        }
    });
    ::close(fd);
    if (printedAll) papplJobSetImpressions(job, static_cast<int>(printed));
    return printedAll;
}

}  // namespace huecl::app

// One job's pages through the page library to the printer's device: the
// same entry, band loop and container writer as the CUPS filter, with the
// job's colour tables built once and kept for all its pages.
#pragma once

#include "job_settings.h"

#include "pages/page_assembly.h"

#include <pappl/pappl.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace huecl::app {

struct PageSummary {
    std::uint32_t deviceWidth = 0, deviceHeight = 0, planeCount = 0;
    std::uint64_t inkedDots = 0, compressedBytes = 0;
    std::string table;  // where the colour table came from
    // What the best LZS encoder saved against the exact one, when chosen.
    std::optional<std::uint64_t> lzsBytesSaved;
};

class JobPrinter {
public:
    // Throws PageError for choices the driver cannot print.
    JobPrinter(pappl_device_t* device, JobChoices choices);

    // Prints one page as one raster container on the device. Throws
    // PageError for a page that cannot be printed and when the device
    // refuses the bytes.
    PageSummary printPage(const cups_page_header2_t& header, std::unique_ptr<pages::ImageSource> source,
                          std::uint32_t pageNumber);

    const JobChoices& choices() const { return choices_; }

private:
    pappl_device_t* device_;
    JobChoices choices_;
    pages::DriverSettings driver_;
    pages::ColourTableSource tables_;
    unsigned threads_;
};

// PAPPL's print options of a job, freed with the job's.
struct PrintOptionsDeleter {
    void operator()(pappl_pr_options_t* options) const { papplJobDeletePrintOptions(options); }
};
using PrintOptions = std::unique_ptr<pappl_pr_options_t, PrintOptionsDeleter>;

// PAPPL's print options of a job whose pages this application renders
// (PDF, PostScript, images): a job that names no printer-resolution
// renders at its print quality's resolution (see renderResolution), and
// the page header follows it. Null when PAPPL has none.
PrintOptions renderOptionsOf(pappl_job_t* job, unsigned pageCount, bool colour);

// A job's choices: the halftoning of its printer's driver, its print
// options, and its printer's huecl settings for those it leaves out.
// Throws PageError as jobChoicesFrom does.
JobChoices jobChoicesOf(pappl_job_t* job, const pappl_pr_options_t& options);

// "Printed page N: W x H dots, ..." for the job's state message.
std::string pageMessage(std::uint32_t pageNumber, const PageSummary& summary);

// Reports a failed job to its client: the message as job-state-message,
// the reason among job-state-reasons, the message also in the log.
void reportJobFailure(pappl_job_t* job, const std::string& message, pappl_jreason_t reason);

}  // namespace huecl::app

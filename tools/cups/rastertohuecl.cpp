// rastertohuecl: the CUPS filter of the huecl driver. Reads a CUPS raster
// stream, prints every page through the same band loop as `huecl print`
// and writes one raster container per page to standard output.
//
//   rastertohuecl job user title copies options [file]
//
// Progress and errors go to standard error as INFO:, PAGE: and ERROR:
// lines for the scheduler. A cancelled job (SIGTERM, as the scheduler
// sends it) stops at the next band: the page under way is dropped, the
// output ends after the last whole page, and the filter exits 0.
#include "driver_options.h"
#include "filter_job.h"
#include "pages/driver_choices.h"
#include "pages/page_error.h"
#include "pages/readers/raster_stream.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <span>
#include <thread>
#include <unistd.h>

namespace huecl::cups {
namespace {

using pages::PageError;

// Set by SIGTERM, as CUPS filters do: the job is cancelled.
volatile std::sig_atomic_t cancelRequested = 0;

extern "C" void requestCancel(int) { cancelRequested = 1; }

// Without SA_RESTART, so that a read waiting for the renderer returns at
// once and the stream's reader sees the cancel.
void catchCancel() {
    struct sigaction action {};
    action.sa_handler = requestCancel;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGTERM, &action, nullptr);
}

// Writes all of bytes to standard output, on through interruptions: a page
// that has begun to reach the device reaches it whole, cancel or not.
void writeOutput(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) throw PageError(std::string("cannot write to standard output: ") + std::strerror(errno));
        bytes = bytes.subspan(static_cast<size_t>(written));
    }
}

// The file named on the command line, else standard input.
class InputFile {
public:
    explicit InputFile(const char* fileName) {
        if (fileName) {
            fd_ = ::open(fileName, O_RDONLY);
            if (fd_ < 0) throw PageError(std::string("cannot open ") + fileName + ": " + std::strerror(errno));
        }
    }
    ~InputFile() {
        if (fd_ > 0) ::close(fd_);
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    int fd() const { return fd_; }

private:
    int fd_ = 0;
};

int runFilter(int argc, char** argv) {
    if (argc < 6 || argc > 7) {
        std::fputs("Usage: rastertohuecl job user title copies options [file]\n", stderr);
        return 1;
    }
    JobOptions options(argv[5], std::getenv("PPD"));
    for (const std::string& ignored : options.ignoredChoices()) std::fprintf(stderr, "WARNING: %s\n", ignored.c_str());
    pages::DriverSettings driver =
        pages::driverSettingsFrom([&](const std::string& keyword) { return options.choice(keyword); });
    if (driver.table == pages::TableSource::automatic)
        if (auto profile = options.ppdProfile()) {
            // A paper's profile that is not installed leaves the job to the
            // printer's own table rather than failing it.
            std::error_code ignored;
            if (std::filesystem::is_regular_file(*profile, ignored)) {
                driver.table = pages::TableSource::profile;
                driver.profile = std::move(profile);
            } else {
                std::fprintf(stderr, "WARNING: the colour profile %s is not installed; printing with the default\n",
                             profile->c_str());
            }
        }
    const InputFile input(argc == 7 ? argv[6] : nullptr);
    const auto cancelled = [] { return cancelRequested != 0; };
    pages::RasterStream stream(input.fd(), cancelled);

    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    const JobOutcome outcome = printRasterJob(stream, driver, threads, writeOutput, stderr, cancelled);
    if (!outcome.cancelled)
        std::fprintf(stderr, "INFO: Printed %u page%s\n", outcome.pages, outcome.pages == 1 ? "" : "s");
    return 0;
}

}  // namespace
}  // namespace huecl::cups

int main(int argc, char** argv) {
    huecl::cups::catchCancel();
    try {
        return huecl::cups::runFilter(argc, argv);
    } catch (const huecl::pages::PageError& error) {
        std::fprintf(stderr, "ERROR: %s\n", error.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "ERROR: out of memory\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ERROR: internal error: %s\n", error.what());
    }
    return 1;
}

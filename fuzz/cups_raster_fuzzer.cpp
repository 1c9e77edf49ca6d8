// The CUPS filter's raster reader on arbitrary bytes: the stream through
// libcups and the filter's own read callback, every page header through
// the driver's checks (its enum fields hold whatever the bytes say) and
// every row of a page the driver prints converted to the pipeline's
// pixels, as the filter reads them. A stream the driver cannot print ends
// in a PageError; nothing else may go wrong.
#include "page_fuzz_driver.h"
#include "pages/driver_choices.h"
#include "pages/page_error.h"
#include "pages/readers/cups_raster_source.h"
#include "pages/readers/raster_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace huecl;
    const page_fuzz::MemoryFile file(data, size);
    try {
        pages::RasterStream stream(file.fd());
        cups_page_header2_t header{};
        for (std::uint32_t page = 1; stream.readHeader(header, page); ++page) {
            pages::CupsPageSource source(stream.raster(), header, page);
            // A compressed stream repeats rows cheaply: pages the fuzzer
            // would spend its time on are left at their header.
            if (std::uint64_t{source.width()} * source.height() > page_fuzz::fuzzLimits().pixels) break;
            (void)pages::pageSettingsFor(pages::DriverSettings{}, header);
            page_fuzz::readWholeImage(source);
        }
    } catch (const pages::PageError&) {
        // A stream the driver does not print.
    }
    return 0;
}

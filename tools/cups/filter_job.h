// One print job of the filter: every page of a CUPS raster stream through
// the band loop, one raster container per page to the output, with the
// scheduler's INFO: and PAGE: lines on the log.
#pragma once

#include "pages/driver_choices.h"
#include "pages/readers/raster_stream.h"
#include "pages/writers/raster_container.h"

#include <cstdio>
#include <functional>

namespace huecl::cups {

struct JobOutcome {
    std::uint32_t pages = 0;  // printed whole
    bool cancelled = false;
};

// Prints every page of the stream. Each page reaches output whole, in one
// call, once its last band is compressed; a page that fails writes
// nothing, so the output always ends after a whole page. Throws PageError on
// a page the driver cannot print, on a stream that ends inside a page or a
// page header, and on a stream without any page.
//
// cancelled is asked between bands (and answers for the stream's reads,
// which the caller's RasterStream asks it too): once it says true, the page
// under way is dropped, "INFO: Job cancelled after N pages" is logged and
// the job ends there without an error, its output ending after the last
// whole page; whatever went wrong with the stream after the cancel (the
// renderer is stopped with the filter) is put down to it.
JobOutcome printRasterJob(pages::RasterStream& stream, const pages::DriverSettings& driver, unsigned threads,
                          const pages::RasterWriter::ByteSink& output, std::FILE* log,
                          const std::function<bool()>& cancelled = {});

}  // namespace huecl::cups

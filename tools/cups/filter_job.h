// One print job of the filter: every page of a CUPS raster stream through
// the band loop, one raster container per page to the output, with the
// scheduler's INFO: and PAGE: lines on the log.
#pragma once

#include "driver_options.h"
#include "raster_stream.h"
#include "pages/writers/raster_container.h"

#include <cstdio>

namespace huecl::cups {

// Returns the number of pages printed. Each page reaches output whole, in
// one call, once its last band is compressed; a page that fails writes
// nothing, so the output always ends after a whole page. Throws PageError on
// a page the driver cannot print, on a stream that ends inside a page or a
// page header, and on a stream without any page.
std::uint32_t printRasterJob(RasterStream& stream, const DriverSettings& driver, unsigned threads,
                             const pages::RasterWriter::ByteSink& output, std::FILE* log);

}  // namespace huecl::cups

// TIFF through libtiff, the first page (image file directory) only: grey
// (min-is-black or min-is-white, 1 to 16 bits), palette, RGB and
// JPEG-compressed YCbCr as blue-green-red rows; CMYK (8 or 16 bits) as
// CMYK rows for halftoning as they are. Strips or tiles, chunky or separate
// planes; an alpha channel blends towards paper as PNG's does. Rows are
// decoded a strip or a row of tiles at a time. A pipe is first copied into
// an unnamed temporary file, since libtiff seeks; a copy larger than the
// reader's memory limit is refused.
#pragma once

#include "pages/readers/image_source.h"
#include "pages/readers/input_stream.h"

#include <memory>

namespace huecl::pages {

std::unique_ptr<ImageSource> openTiff(InputStream input, const ImageLimits& limits = {});

}  // namespace huecl::pages

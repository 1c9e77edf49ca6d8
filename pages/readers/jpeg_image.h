// JPEG through libjpeg-turbo, decoded a band of rows at a time: grey,
// YCbCr and RGB files become blue-green-red rows, CMYK and YCCK files CMYK
// rows for halftoning as they are (Adobe's inverted CMYK turned the right
// way up). Damaged or truncated data is an error naming the file, never a
// grey tail.
#pragma once

#include "pages/readers/image_source.h"
#include "pages/readers/input_stream.h"

#include <memory>

namespace huecl::pages {

std::unique_ptr<ImageSource> openJpeg(InputStream input, const ImageLimits& limits = {});

}  // namespace huecl::pages

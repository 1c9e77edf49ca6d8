// Images stored sideways or mirrored, as cameras and phones write them: the
// EXIF orientation of a JPEG and the Orientation tag of a TIFF say how the
// stored rows are to be turned so that the picture shows upright. Values
// 1 to 8 as both define them (1: as stored); any other value is taken as 1.
#pragma once

#include "pages/readers/image_source.h"

#include <cstdint>
#include <memory>

namespace huecl::pages {

// The stored image as it is meant to be seen. A mirror across the rows
// (2) streams row by row; the others need the whole image at once, which
// must fit limits.memoryBytes (PageError otherwise, from the header, before
// anything is read). A turn by a quarter (5 to 8) swaps width and height.
std::unique_ptr<ImageSource> orientImage(std::unique_ptr<ImageSource> stored, std::uint16_t orientation,
                                         const ImageLimits& limits);

}  // namespace huecl::pages

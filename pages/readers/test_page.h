// The built-in test page: colour ramps, a smooth photo-like scene, fine lines
// and small text-like detail, rendered row by row at any size so that even
// a large page never sits in memory whole.
#pragma once

#include "pages/readers/image_source.h"

namespace huecl::pages {

struct PageSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// A4 at 300 dpi, the default page.
inline constexpr PageSize a4At300Dpi{2480, 3508};

std::unique_ptr<ImageSource> makeTestPage(PageSize size);

}  // namespace huecl::pages

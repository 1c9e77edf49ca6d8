// Page layout: an image placed on a sheet of paper of a given size.
//
// The page is laid out on the source grid (--source-dpi): the paper becomes
// a whole number of source pixels, the image is resampled onto that grid
// where it has to change size, and the library's own scaling then takes
// every source pixel to device dots exactly as it does for an image printed
// without a page. An image that keeps its size (no --fit or --fill, or one
// that fits already) is copied pixel for pixel and never resampled.
//
// Lengths are whole numbers of 1/254000 inch (a tenth of a micrometre), so
// that millimetres and inches given with up to three decimals are exact and
// every rounding happens once, in pixelsOf.
#pragma once

#include "pages/readers/image_source.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace huecl::pages {

struct Resolution;

inline constexpr std::uint64_t lengthUnitsPerInch = 254000;
inline constexpr std::uint64_t lengthUnitsPerMillimetre = 10000;
// Neither side of a page may exceed two metres: a larger sheet is a
// mistyped size rather than paper.
inline constexpr std::uint64_t largestPageSide = 2000 * lengthUnitsPerMillimetre;

struct PaperSize {
    std::uint64_t width = 0, height = 0;  // length units
    std::string name;                     // "A4"; empty for a size given in numbers
};

struct Margins {
    std::uint64_t top = 0, right = 0, bottom = 0, left = 0;  // length units
};

// "A4", "A3", "A5", "Letter", "Legal" (any case), "WxHmm", "WxHin" or
// "WxHpt" (points, 1/72 inch, as CUPS gives sizes), the numbers with up to
// three decimals. Throws PageError naming --page.
PaperSize parsePaperSize(const std::string& text);
// "MM" for all four sides, or "TOP,RIGHT,BOTTOM,LEFT", in millimetres.
Margins parseMargins(const std::string& text);

// A length on a grid of dpi pixels per inch, rounded to the nearest pixel
// (halves up).
std::uint64_t pixelsOf(std::uint64_t length, std::uint32_t dpi);

enum class ImageScaling : std::uint32_t {
    natural,  // one image pixel per source pixel, cut off at the margins
    fit,      // as large as fits inside the margins, proportions kept
    fill,     // as small as covers the area inside the margins, proportions kept, cut centred
};

struct LayoutRequest {
    PaperSize paper;
    Margins margins;
    ImageScaling scaling = ImageScaling::natural;
    bool centred = false;  // else the image starts at the top-left margin
};

// Everything in source pixels. The placed image is the image at its
// printed size; it may reach beyond the printable area (fill, or a large
// image at its natural size) and even off the page, so its corner is
// signed. The visible part is the placed image cut to the printable area.
struct PageLayout {
    std::uint32_t pageWidth = 0, pageHeight = 0;
    std::uint32_t areaX = 0, areaY = 0, areaWidth = 0, areaHeight = 0;  // inside the margins
    std::int64_t placedX = 0, placedY = 0;
    std::uint32_t placedWidth = 0, placedHeight = 0;
    std::uint32_t visibleX = 0, visibleY = 0, visibleWidth = 0, visibleHeight = 0;
};

// Throws PageError for an empty page, margins that leave nothing to print,
// or an image of no pixels.
PageLayout layOutPage(const LayoutRequest& request, const Resolution& source, std::uint32_t imageWidth,
                      std::uint32_t imageHeight);

// The same layout with the printable area for its page: what a printer
// with these margins prints, the margins themselves staying paper that
// is never sent. Positions move by the area's corner.
PageLayout printableArea(const PageLayout& layout);

// The page as an image source: white paper with the image resampled into
// its visible rectangle, in the image's pixels (white paper is 255 in
// blue, green and red, 0 in all four inks). Rows of the image are read
// once, in order, and only the few that the current page row needs are kept.
std::unique_ptr<ImageSource> placeOnPage(std::unique_ptr<ImageSource> image, const PageLayout& layout);

// How one axis of the image is resampled: for each placed pixel, the image
// pixels it takes and their integer weights, which add up to total for
// every placed pixel. Shrinking averages the image pixels each placed pixel
// covers, weighted by the covered length; enlarging interpolates linearly
// between the two image pixels nearest to its centre; the same size copies.
struct AxisTaps {
    std::uint64_t total = 1;
    std::vector<std::uint32_t> first;  // per placed pixel in [begin, end)
    std::vector<std::uint32_t> count;
    std::vector<size_t> offset;  // into weights
    std::vector<std::uint64_t> weights;
};
AxisTaps axisTaps(std::uint32_t imageSize, std::uint32_t placedSize, std::uint32_t begin, std::uint32_t end);

}  // namespace huecl::pages

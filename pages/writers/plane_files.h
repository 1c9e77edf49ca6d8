// The uncompressed planes of a page, written band by band as files that a
// viewer or a print shop takes. Ink is dark in every format:
//
//   pnm   plane-c.pbm (1 bit per dot) or plane-c.pgm, one file per plane
//   png   plane-c.png, grey of the plane's own depth (1, 2 or 4 bits)
//   tiff  planes.tif, one page per plane (cyan, magenta, yellow, black;
//         black alone for a black-only page), white-is-zero, CCITT Group 4
//         for 1-bit planes and LZW otherwise, with the device resolution
//
// Memory follows the band, not the page: a TIFF's pages are gathered in
// unnamed temporary files and copied into place strip by strip, without
// coding them again.
#pragma once

#include "pages/page_settings.h"
#include "pages/writers/page_preview.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace huecl::pages {

class OutputFolder;

class PlaneFiles {
public:
    PlaneFiles(OutputFolder& output, PlaneFormat format, const PlaneLayout& layout, std::uint32_t deviceHeight,
               Resolution deviceResolution);
    ~PlaneFiles();
    PlaneFiles(const PlaneFiles&) = delete;
    PlaneFiles& operator=(const PlaneFiles&) = delete;

    // planes: planeCount pointers to rows rows of lineBytes bytes each, in
    // the library's packing.
    void addBand(std::span<const std::uint8_t* const> planes, std::uint32_t rows);
    // Completes the files once every row is written.
    void finish();

    class Writer;  // one format's writer

private:
    std::unique_ptr<Writer> writer_;
};

}  // namespace huecl::pages

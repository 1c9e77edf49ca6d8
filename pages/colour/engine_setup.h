// The set-up both colour generations share: the draw record of a page, the
// band geometry the shared draw-information call yields, the RGB adjustment
// record and a worker's match record with its cache.
#pragma once

#include "pages/page_settings.h"
#include "pages/colour/colour_engine.h"
#include "pages/colour/colour_table.h"

#include <huecl32.h>

#include <span>
#include <vector>

namespace huecl::pages {

// The draw record of a page before any band: widths and resolutions.
QvrDrwInf drawRecordFor(const PageSettings& settings, std::uint32_t sourceWidth);

// The draw record of the band whose first source row is firstSourceRow,
// placed at the device row that source row lands on.
QvrDrwInf drawRecordAt(const PageSettings& settings, const PageGeometry& geometry, std::uint32_t firstSourceRow);

// Sizes a worker's band buffer for one band of the page.
void sizeBandPlanes(const PageGeometry& geometry, BandPlanes& out);

// Where a band's CMYK rows are: CMYK source rows are adjusted and halftoned
// where they are; RGB rows are matched into a worker's scratch rows.
struct BandCmykRows {
    std::uint8_t* base;
    size_t stride;
    std::uint8_t* row(std::uint32_t index) const { return base + index * stride; }
};
BandCmykRows bandCmykRowsOf(const PageGeometry& geometry, std::span<std::uint8_t> sourceRows, std::uint32_t rows,
                            std::vector<std::uint8_t>& scratch);

// The geometry of a page banded by QvrColDrwInfSet with these screens:
// one call with no buffer yields the row size, the second how many source
// rows a band buffer of bandHeight device rows takes. Throws where the
// page is too large for the library's 32-bit arithmetic, too narrow for a
// device dot, or a band holds no whole source row.
PageGeometry bandGeometryOf(const QvrDizInf& screens, const PageSettings& settings, std::uint32_t sourceWidth,
                            std::uint32_t sourceHeight, SourcePixels pixels, std::uint32_t bitsPerDot);

// The two generations' RGB adjustment records have the same fields.
template <typename RgbControl>
RgbControl rgbControlOf(const PageSettings& settings) {
    RgbControl control{};
    control.brightness = settings.brightness;
    control.saturation = settings.saturation;
    control.gammaR = settings.balance[0];
    control.gammaG = settings.balance[1];
    control.gammaB = settings.balance[2];
    return control;
}

// One worker's match record and its cache. The cache belongs to that
// worker's stream of rows and to the one table of the page, so it is
// cleared once and kept across bands.
class WorkerMatch {
public:
    WorkerMatch(const PageSettings& settings, const ColourTable& table, std::uint32_t gridSize);
    WorkerMatch(const WorkerMatch&) = delete;
    WorkerMatch& operator=(const WorkerMatch&) = delete;
    QvrMchInf* record() { return &match_; }

private:
    std::vector<std::uint8_t> cacheKeys_, cacheValues_;
    QvrMchInf match_{};
};

}  // namespace huecl::pages

// The later colour generation driven as a host driver drives it: screens
// built once by QvrColDizInfSet, band geometry from QvrColDrwInfSet, and per
// source row QvrColCtrRgb, QvrColMchPrc, QvrColCtrCmy and QvrColDizPrc.
#pragma once

#include "pages/page_settings.h"
#include "pages/colour/colour_engine.h"
#include "pages/colour/colour_table.h"
#include "pages/writers/page_preview.h"

#include <huecl32.h>

#include <array>
#include <vector>

namespace huecl::pages {

// Threshold matrices and the record that points at them. QvrColDizInfSet
// calls must not overlap (the library rebuilds one scratch table in each),
// so every set-up in the page library goes through here.
class Screens {
public:
    Screens(std::uint32_t ditherMode, std::uint32_t screenKind, bool blackOnly);
    Screens(const Screens&) = delete;
    Screens& operator=(const Screens&) = delete;
    const QvrDizInf& record() const { return record_; }
    // Thresholds per dot: 1, 3 or 15.
    std::uint32_t levels() const;
    std::span<const std::uint8_t> matrix(size_t plane) const;  // cyan, magenta, yellow, black

private:
    std::array<std::vector<std::uint8_t>, 4> matrices_;
    QvrDizInf record_{};
};

std::uint32_t bitsPerDotOf(std::uint32_t ditherMode);

// How the screens of these settings print each level, for the preview.
InkResponse inkResponseOf(std::uint32_t ditherMode, std::uint32_t screenKind, bool blackOnly);

class LaterEngine final : public ColourEngine {
public:
    // CMYK source pixels skip the RGB adjustment and matching; the table is
    // then not read.
    LaterEngine(const PageSettings& settings, ColourTable table, std::uint32_t sourceWidth, std::uint32_t sourceHeight,
                SourcePixels pixels = SourcePixels::bgr);
    const PageGeometry& geometry() const override { return geometry_; }
    std::unique_ptr<BandRenderer> makeRenderer() const override;

private:
    friend class LaterBandRenderer;
    PageSettings settings_;
    ColourTable table_;
    Screens screens_;
    std::vector<std::uint8_t> densityCurve_;  // empty: no tone table after matching
    QvrCtrRgbInf rgbControl_{};
    QvrCtrCmyInf cmyControl_{};
    PageGeometry geometry_;
};

}  // namespace huecl::pages

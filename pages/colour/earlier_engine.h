// The earlier colour generation driven as a host driver drives it: screens
// built once by QvDizPtnMak, the band geometry of QvrColDrwInfSet at one bit
// per dot, and per source row QvColCtrRgb, QvColMchPrc (a 32-point table),
// QvColCtrCmy, then QvColDizPrc or, with error diffusion, QvColGosPrc.
#pragma once

#include "pages/page_settings.h"
#include "pages/colour/colour_engine.h"
#include "pages/colour/colour_table.h"

#include <huecl32.h>

#include <array>
#include <vector>

namespace huecl::pages {

// The earlier generation's table always has 32 points per axis; its
// interpolation places point i at floor(255 * i / 31).
inline constexpr std::uint32_t earlierGridSize = 32;
std::vector<std::uint8_t> earlierInterpolationAxis();

// The earlier generation's four matrices and the record that points at
// them: 17 x 17 cyan and magenta, 16 x 16 yellow and black (black alone in
// monochrome).
class EarlierScreens {
public:
    EarlierScreens(std::uint32_t screenMode, bool monochrome);
    EarlierScreens(const EarlierScreens&) = delete;
    EarlierScreens& operator=(const EarlierScreens&) = delete;
    const QvDizInf& record() const { return record_; }
    static std::uint32_t edge(size_t plane) { return plane < 2 ? 17 : 16; }
    std::span<const std::uint8_t> matrix(size_t plane) const {
        return matrices_[plane];
    }  // cyan, magenta, yellow, black

private:
    std::array<std::vector<std::uint8_t>, 4> matrices_;
    QvDizInf record_{};
};

class EarlierEngine final : public ColourEngine {
public:
    // CMYK source pixels skip the RGB adjustment and matching; the table is
    // then not read.
    EarlierEngine(const PageSettings& settings, ColourTable table, std::uint32_t sourceWidth,
                  std::uint32_t sourceHeight, SourcePixels pixels = SourcePixels::bgr);
    const PageGeometry& geometry() const override { return geometry_; }
    std::unique_ptr<BandRenderer> makeRenderer() const override;
    std::vector<std::unique_ptr<BandRenderer>> makeRenderers(unsigned count) const override;

private:
    friend class EarlierBandRenderer;
    PageSettings settings_;
    ColourTable table_;
    EarlierScreens screens_;
    std::vector<std::uint8_t> densityCurve_;  // empty: no tone table after matching
    QvCtrRgbInf rgbControl_{};
    QvCtrCmyInf cmyControl_{};
    PageGeometry geometry_;
};

}  // namespace huecl::pages

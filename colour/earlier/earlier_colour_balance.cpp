#include "colour/earlier/earlier_colour_balance.h"

#include "colour/common/balance_curves.h"

namespace huecl::earlier {

void balanceRgbRow(std::uint32_t count, std::uint8_t* pixels, const RgbBalance& balance) noexcept {
    common::balanceRgbRow(count, pixels, balance, common::selectEarlierBalanceCurve);
}

void toneCmykRow(std::uint32_t count, std::uint8_t* pixels, const std::uint8_t* cmyTable) noexcept {
    // This generation has no CMYK saturation: the shared row with it off.
    common::balanceCmyRow(count, pixels, common::CmyBalance{0, cmyTable});
}

}  // namespace huecl::earlier

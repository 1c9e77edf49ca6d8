#include "colour/later/colour_balance.h"

#include "colour/common/balance_curves.h"

namespace huecl::later {

void balanceRgbRow(std::uint32_t count, std::uint8_t* pixels, const RgbBalance& balance) noexcept {
    common::balanceRgbRow(count, pixels, balance, common::selectLaterBalanceCurve);
}

}  // namespace huecl::later

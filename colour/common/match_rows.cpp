#include "colour/common/match_rows.h"

namespace huecl::common {

void clearMatchCache(const MatchCache& cache) noexcept {
    for (std::uint32_t slot = 0; slot < kMatchCacheSlots; ++slot) {
        std::uint8_t* const key = cache.keys + 3 * slot;
        key[0] = 255;
        key[1] = 255;
        key[2] = 255;
        storeCmyk(cache.values + 4 * slot, 0);
    }
}

}  // namespace huecl::common

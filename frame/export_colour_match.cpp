// Colour-match exports: the record becomes typed settings for the matcher.
#include "colour/common/match_rows.h"
#include "colour/later/colour_match.h"
#include "huecl32.h"

namespace {

huecl::common::MatchCache cacheOf(const QvrMchInf& matchInfo) noexcept {
    return {matchInfo.cacheKeys, matchInfo.cacheValues};
}

}  // namespace

extern "C" HUECL_API void HUECL_STDCALL QvrColCchIni(QvrMchInf* matchInfo) {
    huecl::common::clearMatchCache(cacheOf(*matchInfo));
}

extern "C" HUECL_API void HUECL_STDCALL QvrColMchPrc(uint32_t count, const uint8_t* source, uint8_t* destination,
                                                     const QvrMchInf* matchInfo) {
    const huecl::later::MatchSettings settings = {
        huecl::common::matchMethodFromMode(matchInfo->mchMode),
        huecl::common::neutralRoutingFromMode(matchInfo->blackMode),
        matchInfo->gridSize,
        matchInfo->mchTable,
        cacheOf(*matchInfo),
    };
    huecl::later::matchRow(count, source, destination, settings);
}

// Earlier-generation colour-match export: the colour-match record and the
// screen mode of the dither record become typed settings for the matcher.
#include "colour/common/match_rows.h"
#include "colour/earlier/earlier_colour_match.h"
#include "huecl32.h"

extern "C" HUECL_API void HUECL_STDCALL QvColMchPrc(const QvDizInf* ditherInfo, uint32_t count, const uint8_t* source,
                                                    uint8_t* destination, const QvrMchInf* matchInfo) {
    const huecl::earlier::MatchSettings settings = {
        huecl::common::matchMethodFromMode(matchInfo->mchMode),
        huecl::common::neutralRoutingFromMode(matchInfo->blackMode),
        ditherInfo->screenMode,
        matchInfo->mchTable,
        {matchInfo->cacheKeys, matchInfo->cacheValues},
    };
    huecl::earlier::matchRow(count, source, destination, settings);
}

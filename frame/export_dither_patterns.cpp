// Screens and sample tiles of the earlier generation.
#include "colour/earlier/dither_patterns.h"
#include "huecl32.h"

extern "C" HUECL_API void HUECL_STDCALL QvDizPtnMak(QvDizInf* ditherInfo) {
    huecl::earlier::buildDitherPatterns(*ditherInfo);
}

extern "C" HUECL_API void HUECL_STDCALL QvDizPtnPrn(const QvDizInf* ditherInfo, uint32_t colour, uint32_t level,
                                                    uint8_t* tile) {
    huecl::earlier::drawSampleTile(*ditherInfo, colour, level, tile);
}

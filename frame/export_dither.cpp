// Halftoning exports of the later generation: screen set-up, band geometry
// and row dithering.
#include "colour/later/dither_process.h"
#include "colour/later/dither_setup.h"
#include "colour/later/draw_info.h"
#include "huecl32.h"

extern "C" HUECL_API void HUECL_STDCALL QvrColDizInfSet(QvrDizInf* ditherInfo) {
    huecl::later::setUpDitherMatrices(*ditherInfo);
}

extern "C" HUECL_API uint32_t HUECL_STDCALL QvrColDrwInfSet(const QvrDizInf* ditherInfo, QvrDrwInf* drawInfo,
                                                            uint32_t bufferSize) {
    return huecl::later::setUpDrawInformation(ditherInfo->dizMode, *drawInfo, bufferSize);
}

extern "C" HUECL_API void HUECL_STDCALL QvrColDizPrc(const QvrDizInf* ditherInfo, QvrDrwInf* drawInfo) {
    huecl::later::ditherRow(*ditherInfo, *drawInfo);
}

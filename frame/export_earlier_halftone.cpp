// Halftoning exports of the earlier generation: ordered dithering and
// error diffusion of CMYK rows, and error diffusion of RGB rows.
#include "colour/earlier/colour_dither.h"
#include "colour/earlier/error_diffusion.h"
#include "huecl32.h"

extern "C" HUECL_API void HUECL_STDCALL QvColDizPrc(const QvDizInf* ditherInfo, QvrDrwInf* drawInfo) {
    huecl::earlier::ditherColourRow(*ditherInfo, *drawInfo);
}

extern "C" HUECL_API void HUECL_STDCALL QvColGosPrc(const QvDizInf* ditherInfo, QvrDrwInf* drawInfo,
                                                    QvErrInf* errorInfo) {
    huecl::earlier::diffuseCmykRow(*ditherInfo, *drawInfo, *errorInfo);
}

extern "C" HUECL_API void HUECL_STDCALL QvRgbGos(QvrDrwInf* drawInfo, QvErrInf* errorInfo, uint8_t* pixels) {
    huecl::earlier::diffuseRgbRow(*drawInfo, *errorInfo, pixels);
}

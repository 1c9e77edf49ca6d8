// Palette expansion export: the 32-bit rows are handled as bytes inside,
// since a host's rows need not be aligned.
#include "colour/later/palette_expansion.h"
#include "huecl32.h"

extern "C" HUECL_API void HUECL_STDCALL QvrColPtcPrc(uint32_t bitsPerPixel, uint32_t count, uint8_t* source,
                                                     uint32_t* destination, const uint32_t* palette) {
    huecl::later::expandPaletteRow(bitsPerPixel, count, source, reinterpret_cast<uint8_t*>(destination),
                                   reinterpret_cast<const uint8_t*>(palette));
}

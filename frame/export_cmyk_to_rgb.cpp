// CMYK-to-RGB export: the arguments pass straight to the converter.
#include "colour/later/cmyk_to_rgb.h"
#include "huecl32.h"

extern "C" HUECL_API void HUECL_STDCALL QvrColCnvC2r(uint32_t count, const uint8_t* source, uint8_t* destination,
                                                     uint32_t gridSize, const uint8_t* table) {
    huecl::later::convertCmykRowToRgb(count, source, destination, gridSize, table);
}

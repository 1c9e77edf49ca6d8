// Earlier-generation colour-balance exports: the control records become
// typed settings.
#include "colour/earlier/earlier_colour_balance.h"
#include "huecl32.h"

extern "C" HUECL_API void HUECL_STDCALL QvColCtrCmy(uint32_t count, uint8_t* pixels, const QvCtrCmyInf* control) {
    huecl::earlier::toneCmykRow(count, pixels, control->cmyTable);
}

extern "C" HUECL_API void HUECL_STDCALL QvColCtrRgb(uint32_t count, uint8_t* pixels, const QvCtrRgbInf* control) {
    const huecl::earlier::RgbBalance balance = {
        control->brightness, control->saturation, control->gammaR, control->gammaG, control->gammaB, control->preTable,
    };
    huecl::earlier::balanceRgbRow(count, pixels, balance);
}

// Colour-balance exports: the control records become typed settings.
#include "colour/later/colour_balance.h"
#include "huecl32.h"

extern "C" HUECL_API void HUECL_STDCALL QvrColCtrRgb(uint32_t count, uint8_t* pixels, const QvrCtrRgbInf* control) {
    const huecl::later::RgbBalance balance = {
        control->brightness, control->saturation, control->gammaR, control->gammaG, control->gammaB, control->preTable,
    };
    huecl::later::balanceRgbRow(count, pixels, balance);
}

extern "C" HUECL_API void HUECL_STDCALL QvrColCtrCmy(uint32_t count, uint8_t* pixels, const QvrCtrCmyInf* control) {
    const huecl::common::CmyBalance balance = {control->saturation, control->cmyTable};
    huecl::common::balanceCmyRow(count, pixels, balance);
}

// Density curve exports: one entry behind two names.
#include "colour/later/density_table.h"
#include "huecl32.h"

extern "C" HUECL_API void HUECL_STDCALL QvrColDnsMak(int32_t density, uint8_t* table) {
    huecl::later::buildDensityTable(density, table);
}

#if !defined(_WIN32)
// On Windows the .def file gives the entry its second name; ELF needs an
// alias so that both names resolve to the same address.
extern "C" HUECL_API void HUECL_STDCALL QvTnrTblMak(int32_t density, uint8_t* table)
    __attribute__((alias("QvrColDnsMak")));
#endif

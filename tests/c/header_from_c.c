/* Compiled as C: the public header must serve C callers as it stands, with
 * its records, constants and calling conventions. */
#include <stddef.h>

#include "huecl32.h"

/* Builds a density curve through a function pointer of the declared type
 * and returns the sum of its entries. */
unsigned long huecl_c_density_sum(int density) {
    void(HUECL_STDCALL * build)(int32_t, uint8_t*) = QvrColDnsMak;
    uint8_t table[256];
    unsigned long sum = 0;
    size_t level;
    build(density, table);
    for (level = 0; level < 256; ++level) sum += table[level];
    return sum;
}

/* Records are plain structs with their fields in order. */
size_t huecl_c_draw_info_line_bytes_offset(void) { return offsetof(QvrDrwInf, lineBytes); }
size_t huecl_c_match_info_size(void) { return sizeof(QvrMchInf); }

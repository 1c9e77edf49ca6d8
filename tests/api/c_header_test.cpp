// The C translation unit in tests/c uses the header as a C caller would.
#include <gtest/gtest.h>

#include <cstddef>

#include "huecl32.h"

extern "C" unsigned long huecl_c_density_sum(int density);
extern "C" std::size_t huecl_c_draw_info_line_bytes_offset(void);
extern "C" std::size_t huecl_c_match_info_size(void);

TEST(PublicHeader, ServesCCallers) {
    EXPECT_EQ(huecl_c_density_sum(0), 255ul * 256ul / 2ul);
    EXPECT_EQ(huecl_c_draw_info_line_bytes_offset(), offsetof(QvrDrwInf, lineBytes));
    EXPECT_EQ(huecl_c_match_info_size(), sizeof(QvrMchInf));
}

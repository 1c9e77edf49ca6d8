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

#define HUECL_TEST_STRINGIZE(x) #x
#define HUECL_TEST_TEXT(x) HUECL_TEST_STRINGIZE(x)

TEST(PublicHeader, VersionStringSpellsTheVersionNumbers) {
    EXPECT_STREQ(HUECL_VERSION_STRING, HUECL_TEST_TEXT(HUECL_VERSION_MAJOR) "." HUECL_TEST_TEXT(
                                           HUECL_VERSION_MINOR) "." HUECL_TEST_TEXT(HUECL_VERSION_PATCH));
}

#include "pages/row_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>

namespace huecl::pages {
namespace {

// Buffers of a megabyte and more sit on whole aligned huge pages; every
// byte asked for is there, and resizing keeps what the buffer held.
TEST(RowBuffer, LargeBuffersSitOnWholeAlignedHugePages) {
    for (const std::size_t size : {huge_pages::smallestBuffer, std::size_t{1903871}, huge_pages::pageBytes,
                                   huge_pages::pageBytes + 1, 3 * huge_pages::pageBytes - 5}) {
        RowBuffer rows(size);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(rows.data()) % huge_pages::pageBytes, 0u) << size;
        std::iota(rows.begin(), rows.end(), std::uint8_t{7});
        EXPECT_EQ(rows.back(), static_cast<std::uint8_t>(7 + size - 1));
        rows.resize(size + huge_pages::pageBytes);
        for (std::size_t i = 0; i < size; i += 4099) ASSERT_EQ(rows[i], static_cast<std::uint8_t>(7 + i)) << size;
        EXPECT_TRUE(std::all_of(rows.begin() + static_cast<std::ptrdiff_t>(size), rows.end(),
                                [](std::uint8_t byte) { return byte == 0; }));
    }
}

TEST(RowBuffer, SmallBuffersAndEmptyOnesWork) {
    RowBuffer none;
    EXPECT_TRUE(none.empty());
    RowBuffer small(1000, 3);
    RowBuffer moved = std::move(small);
    EXPECT_EQ(moved.size(), 1000u);
    EXPECT_EQ(moved[999], 3);
    moved.resize(huge_pages::smallestBuffer);  // grows from the heap onto huge pages
    EXPECT_EQ(moved[999], 3);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(moved.data()) % huge_pages::pageBytes, 0u);
}

}  // namespace
}  // namespace huecl::pages

// Checks on constant tables that the tests of both colour generations share.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace testsupport {

// Whether a table of N bytes holds each of 0..N-1 exactly once.
template <std::size_t N>
bool isPermutation(const std::array<std::uint8_t, N>& table) {
    std::array<std::uint8_t, N> sorted = table;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 0; i < N; ++i)
        if (sorted[i] != i) return false;
    return true;
}

}  // namespace testsupport

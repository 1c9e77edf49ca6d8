// Rows of pixels that tests and benchmarks share, made without a random
// library so that every target sees the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testsupport {

// A photographic row: a smooth ramp in every component (each at its own
// slope and phase) with a little noise, and no blank stretches.
inline std::vector<std::uint8_t> photoRow(std::uint32_t pixels, std::uint32_t components) {
    std::vector<std::uint8_t> row(std::size_t{pixels} * components);
    std::uint32_t noise = 12345;
    for (std::uint32_t i = 0; i < pixels; ++i) {
        for (std::uint32_t ch = 0; ch < components; ++ch) {
            noise = noise * 1103515245u + 12345u;
            const std::uint32_t ramp = (i * (ch + 1) * 255 / pixels + 60 * ch) % 256;
            row[std::size_t{i} * components + ch] = static_cast<std::uint8_t>((ramp + ((noise >> 16) % 24)) % 256);
        }
    }
    return row;
}

}  // namespace testsupport

// CRC-32 (the zlib polynomial) for pinning constant tables and built
// matrices by checksum in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testsupport {

inline std::uint32_t crc32(const std::uint8_t* bytes, std::size_t count) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline std::uint32_t crc32(const std::vector<std::uint8_t>& bytes) { return crc32(bytes.data(), bytes.size()); }

}  // namespace testsupport

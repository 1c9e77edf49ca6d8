// Binary PPM (P6) and PGM (P5) with 8- or 16-bit samples (maxval up to
// 65535, big-endian): streamed row by row, and the PBM/PGM writers for
// decoded planes.
#pragma once

#include "pages/readers/image_source.h"
#include "pages/readers/input_stream.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

namespace huecl::pages {

class PendingFile;

std::unique_ptr<ImageSource> openPnm(InputStream input, const ImageLimits& limits = {});

// The header of a plane file: PBM (P4) for one bit per dot, otherwise PGM
// (P5) whose maxval is the largest dot value.
std::string planeFileHeader(std::uint32_t width, std::uint32_t height, std::uint32_t bitsPerDot);
// One packed plane row (the library's layout) as the bytes of a PBM or PGM
// row. PBM rows are the packed row itself; PGM samples are inverted so that
// ink looks dark, as it does in a PBM.
void appendPlaneFileRow(std::span<const std::uint8_t> packedRow, std::uint32_t width, std::uint32_t bitsPerDot,
                        std::vector<std::uint8_t>& out);

}  // namespace huecl::pages

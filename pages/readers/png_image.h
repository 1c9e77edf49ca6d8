// PNG through libpng: a row-streaming reader for every colour type (palette,
// grey, with or without alpha, 16-bit reduced to 8) and a row-streaming RGB
// writer for previews and screens.
#pragma once

#include "pages/readers/image_source.h"
#include "pages/readers/input_stream.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

namespace huecl::pages {

std::unique_ptr<ImageSource> openPng(InputStream input, const ImageLimits& limits = {});

// Writes an 8-bit RGB or grey PNG row by row into an open file.
class PngWriter {
public:
    enum class Channels { grey = 1, rgb = 3 };
    // bitDepth below 8 (grey only) takes rows packed first pixel in the
    // most significant bits; dotsPerInch, if not 0, is recorded for viewers.
    PngWriter(std::FILE* file, std::string name, std::uint32_t width, std::uint32_t height, Channels channels,
              std::uint32_t bitDepth = 8, std::uint32_t dotsPerInch = 0);
    ~PngWriter();
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    // Before the first row: deflate at level 1 and send rows unfiltered,
    // three times faster than the default for noisy images such as the
    // proof of a screened page, which the row filters do not shrink.
    void favourSpeed();
    // One row of width samples (grey) or width red, green, blue triples.
    void writeRow(std::span<const std::uint8_t> row);
    // Completes the file once every row is written.
    void finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace huecl::pages

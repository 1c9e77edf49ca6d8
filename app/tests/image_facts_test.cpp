// What the image filter reads from a JPEG's or PNG's header before
// decoding it: grey or colour (for print-color-mode=auto) and the
// resolution that print-scaling sizes the image by.
#include "image_filter.h"

#include "pages/tests/temporary_folder.h"

#include <gtest/gtest.h>

#include <jpeglib.h>
#include <png.h>

#include <cstdio>
#include <vector>

namespace huecl::app {
namespace {

using pages::testing::TemporaryFolder;

// A 4 x 3 JPEG with JFIF density in the units libjpeg takes (1 inch, 2 cm).
std::filesystem::path writeJpeg(const TemporaryFolder& folder, const char* name, bool grey, int units, int density) {
    const auto path = folder / name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = 4, info.image_height = 3;
    info.input_components = grey ? 1 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    info.density_unit = static_cast<UINT8>(units);
    info.X_density = info.Y_density = static_cast<UINT16>(density);
    jpeg_start_compress(&info, TRUE);
    std::vector<std::uint8_t> row(12, 128);
    for (JSAMPROW pointer = row.data(); info.next_scanline < 3;) jpeg_write_scanlines(&info, &pointer, 1);
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
    return path;
}

std::filesystem::path writePng(const TemporaryFolder& folder, const char* name, int colourType,
                               std::uint32_t pixelsPerMetre) {
    const auto path = folder / name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, 2, 2, 8, colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (pixelsPerMetre) png_set_pHYs(png, info, pixelsPerMetre, pixelsPerMetre, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    std::vector<std::uint8_t> row(16, 200);
    for (int y = 0; y < 2; ++y) png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return path;
}

TEST(ImageFacts, JpegSaysGreyOrColourAndItsDensity) {
    const TemporaryFolder folder;
    EXPECT_TRUE(imageFacts(writeJpeg(folder, "grey.jpg", true, 1, 300)).grey);
    EXPECT_EQ(imageFacts(writeJpeg(folder, "grey.jpg", true, 1, 300)).pixelsPerInch, 300);
    EXPECT_FALSE(imageFacts(writeJpeg(folder, "colour.jpg", false, 1, 72)).grey);
    // 118 dots per centimetre are 300 per inch (299.7, rounded).
    EXPECT_EQ(imageFacts(writeJpeg(folder, "metric.jpg", false, 2, 118)).pixelsPerInch, 300);
    // Density 0 means an aspect ratio only: no resolution.
    EXPECT_EQ(imageFacts(writeJpeg(folder, "aspect.jpg", false, 0, 1)).pixelsPerInch, 0);
}

TEST(ImageFacts, PngSaysGreyOrColourAndItsPhysicalSize) {
    const TemporaryFolder folder;
    EXPECT_TRUE(imageFacts(writePng(folder, "grey.png", PNG_COLOR_TYPE_GRAY, 0)).grey);
    EXPECT_TRUE(imageFacts(writePng(folder, "grey-alpha.png", PNG_COLOR_TYPE_GRAY_ALPHA, 0)).grey);
    EXPECT_FALSE(imageFacts(writePng(folder, "rgb.png", PNG_COLOR_TYPE_RGB_ALPHA, 0)).grey);
    // 11811 pixels per metre: 300 per inch, as libpng rounds them.
    EXPECT_EQ(imageFacts(writePng(folder, "300dpi.png", PNG_COLOR_TYPE_RGB, 11811)).pixelsPerInch, 300);
    EXPECT_EQ(imageFacts(writePng(folder, "unknown.png", PNG_COLOR_TYPE_RGB, 0)).pixelsPerInch, 0);
}

TEST(ImageFacts, OtherFilesSayNothing) {
    const TemporaryFolder folder;
    EXPECT_EQ(imageFacts(folder.writeFile("note.txt", "%PDF-1.4")).pixelsPerInch, 0);
    EXPECT_FALSE(imageFacts(folder.writeFile("empty.jpg", "")).grey);
    // A header cut short is read as far as it goes.
    EXPECT_EQ(imageFacts(folder.writeFile("cut.jpg", std::string("\xFF\xD8\xFF\xE0\x00\x10JF", 9))).pixelsPerInch, 0);
}

}  // namespace
}  // namespace huecl::app

#include "pages/writers/output_files.h"
#include "pages/writers/plane_files.h"
#include "pages/tests/temporary_folder.h"

#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>

#include <random>

namespace huecl::pages {
namespace {

using testing::TemporaryFolder;

// A page of random dots, 13 wide so that rows end inside a byte, written
// in two bands of uneven height.
struct SyntheticPage {
    PlaneLayout layout;
    std::uint32_t height = 8;
    std::vector<std::vector<std::uint8_t>> planes;  // height * lineBytes each

    SyntheticPage(std::uint32_t bitsPerDot, std::uint32_t planeCount) {
        layout = {13, (13 * bitsPerDot + 7) / 8, bitsPerDot, planeCount};
        std::mt19937 random(bitsPerDot * 10 + planeCount);
        for (std::uint32_t plane = 0; plane < planeCount; ++plane) {
            planes.emplace_back(size_t{height} * layout.lineBytes);
            for (auto& byte : planes.back()) byte = static_cast<std::uint8_t>(random());
        }
    }

    std::uint32_t dot(std::uint32_t plane, std::uint32_t row, std::uint32_t x) const {
        return dotOf(planes[plane].data() + size_t{row} * layout.lineBytes, x);
    }
    std::uint32_t dotOf(const std::uint8_t* packedRow, std::uint32_t x) const {
        const std::uint32_t bits = layout.bitsPerDot, perByte = 8 / bits;
        return (packedRow[x / perByte] >> (8 - bits * (x % perByte + 1))) & ((1u << bits) - 1);
    }

    void write(const std::filesystem::path& folder, PlaneFormat format) const {
        OutputFolder output(folder);
        PlaneFiles files(output, format, layout, height, {600, 300});
        std::uint32_t row = 0;
        for (const std::uint32_t rows : {5u, 3u}) {
            std::vector<const std::uint8_t*> pointers;
            for (const auto& plane : planes) pointers.push_back(plane.data() + size_t{row} * layout.lineBytes);
            files.addBand(pointers, rows);
            row += rows;
        }
        files.finish();
        output.commit();
    }
};

const char* const planeLetters[] = {"c", "m", "y", "k"};

TEST(PlaneFilesAsPng, GreyOfThePlaneDepthWithInkDark) {
    for (const std::uint32_t bits : {1u, 2u, 4u})
        for (const std::uint32_t planeCount : {1u, 4u}) {
            const SyntheticPage page(bits, planeCount);
            TemporaryFolder folder;
            page.write(folder.path(), PlaneFormat::png);
            for (std::uint32_t plane = 0; plane < planeCount; ++plane) {
                const auto path = folder / (std::string("plane-") + planeLetters[planeCount == 1 ? 3 : plane] + ".png");
                png_image image{};
                image.version = PNG_IMAGE_VERSION;
                ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << path;
                EXPECT_EQ(image.width, page.layout.deviceWidth);
                EXPECT_EQ(image.height, page.height);
                image.format = PNG_FORMAT_GRAY;
                std::vector<std::uint8_t> grey(PNG_IMAGE_SIZE(image));
                // Linear grey: no gamma step between the stored level and this.
                ASSERT_TRUE(png_image_finish_read(&image, nullptr, grey.data(), 0, nullptr));
                const std::uint32_t maxLevel = (1u << bits) - 1;
                for (std::uint32_t row = 0; row < page.height; ++row)
                    for (std::uint32_t x = 0; x < page.layout.deviceWidth; ++x)
                        ASSERT_EQ(grey[row * image.width + x], (maxLevel - page.dot(plane, row, x)) * 255 / maxLevel)
                            << bits << " bits, plane " << plane << ", row " << row << ", dot " << x;
            }
        }
}

TEST(PlaneFilesAsTiff, OnePagePerPlaneWithDotValuesAsTheyAre) {
    for (const std::uint32_t bits : {1u, 2u, 4u})
        for (const std::uint32_t planeCount : {1u, 4u}) {
            const SyntheticPage page(bits, planeCount);
            TemporaryFolder folder;
            page.write(folder.path(), PlaneFormat::tiff);
            std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(TIFFOpen((folder / "planes.tif").c_str(), "r"), TIFFClose);
            ASSERT_TRUE(tiff);
            EXPECT_EQ(TIFFNumberOfDirectories(tiff.get()), planeCount);
            for (std::uint32_t plane = 0; plane < planeCount; ++plane) {
                ASSERT_TRUE(TIFFSetDirectory(tiff.get(), static_cast<std::uint16_t>(plane)));
                std::uint32_t width = 0, height = 0;
                std::uint16_t bitsPerSample = 0, compression = 0, photometric = 0;
                float resolutionX = 0, resolutionY = 0;
                char* pageName = nullptr;
                TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
                TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
                TIFFGetField(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
                TIFFGetField(tiff.get(), TIFFTAG_COMPRESSION, &compression);
                TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &photometric);
                TIFFGetField(tiff.get(), TIFFTAG_XRESOLUTION, &resolutionX);
                TIFFGetField(tiff.get(), TIFFTAG_YRESOLUTION, &resolutionY);
                TIFFGetField(tiff.get(), TIFFTAG_PAGENAME, &pageName);
                EXPECT_EQ(width, page.layout.deviceWidth);
                EXPECT_EQ(height, page.height);
                EXPECT_EQ(bitsPerSample, bits);
                EXPECT_EQ(compression, bits == 1 ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW);
                EXPECT_EQ(photometric, PHOTOMETRIC_MINISWHITE);
                EXPECT_EQ(resolutionX, 600.0f);
                EXPECT_EQ(resolutionY, 300.0f);
                const char* const names[] = {"cyan", "magenta", "yellow", "black"};
                ASSERT_NE(pageName, nullptr);
                EXPECT_STREQ(pageName, names[planeCount == 1 ? 3 : plane]);
                std::vector<std::uint8_t> row(static_cast<size_t>(TIFFScanlineSize(tiff.get())));
                for (std::uint32_t y = 0; y < page.height; ++y) {
                    ASSERT_EQ(TIFFReadScanline(tiff.get(), row.data(), y, 0), 1);
                    for (std::uint32_t x = 0; x < width; ++x)
                        ASSERT_EQ(page.dotOf(row.data(), x), page.dot(plane, y, x))
                            << bits << " bits, plane " << plane << ", row " << y << ", dot " << x;
                }
            }
        }
}

}  // namespace
}  // namespace huecl::pages

// huecl_test_images KIND WIDTH HEIGHT OUT: writes one JPEG or TIFF test image
// with libjpeg or libtiff for the end-to-end cases. The RGB kinds hold the
// diagonal ramp of the cases' PPMs (red x * 7, green y * 5, blue (x + y) * 3,
// each modulo 256), so that a JPEG, TIFF and PPM of it can be compared.
//   jpeg-rgb, jpeg-progressive    the ramp (lossy)
//   tiff-rgb, tiff-rgb16-tiled    the ramp, exactly (16 bits: the ramp in the high bytes)
//   tiff-pages                    the ramp on three pages
//   jpeg-cmyk-blank, -black       Adobe CMYK without ink, or full black
//   tiff-cmyk-blank, -black       the same as a CMYK TIFF
#include "pages/tests/test_images.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace huecl::pages::testing;

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: huecl_test_images KIND WIDTH HEIGHT OUT\n");
        return 2;
    }
    const std::string kind = argv[1];
    const auto width = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
    const auto height = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
    const std::filesystem::path out = argv[4];

    std::vector<std::uint8_t> ramp;
    std::vector<std::uint16_t> ramp16, ramp8;
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            for (const std::uint32_t level : {x * 7 % 256, y * 5 % 256, (x + y) * 3 % 256}) {
                ramp.push_back(static_cast<std::uint8_t>(level));
                ramp8.push_back(static_cast<std::uint16_t>(level));
                ramp16.push_back(static_cast<std::uint16_t>(level << 8 | ((x * 31 + y) & 0xFF)));
            }
    const bool black = kind.ends_with("-black");
    std::vector<std::uint8_t> adobeCmyk;  // inverted in the file
    std::vector<std::uint16_t> cmyk;
    for (size_t i = 0; i < size_t{width} * height * 4; ++i) {
        const bool inked = black && i % 4 == 3;
        cmyk.push_back(inked ? 255 : 0);
        adobeCmyk.push_back(inked ? 0 : 255);
    }
    TiffOptions tiff;
    bool written = false;
    if (kind == "jpeg-rgb") {
        written = writeJpeg(out, width, height, ramp, {JCS_RGB, JCS_UNKNOWN, 90});
    } else if (kind == "jpeg-progressive") {
        written = writeJpeg(out, width, height, ramp, {JCS_RGB, JCS_UNKNOWN, 90, true});
    } else if (kind == "jpeg-cmyk-blank" || kind == "jpeg-cmyk-black") {
        written = writeJpeg(out, width, height, adobeCmyk, {JCS_CMYK});
    } else if (kind == "tiff-rgb") {
        written = writeTiff(out, width, height, ramp8, tiff);
    } else if (kind == "tiff-rgb16-tiled") {
        tiff.bits = 16;
        tiff.tileSize = 32;
        written = writeTiff(out, width, height, ramp16, tiff);
    } else if (kind == "tiff-pages") {
        tiff.pages = 3;
        written = writeTiff(out, width, height, ramp8, tiff);
    } else if (kind == "tiff-cmyk-blank" || kind == "tiff-cmyk-black") {
        tiff.photometric = PHOTOMETRIC_SEPARATED;
        tiff.samples = 4;
        written = writeTiff(out, width, height, cmyk, tiff);
    } else {
        std::fprintf(stderr, "huecl_test_images: unknown kind %s\n", kind.c_str());
        return 2;
    }
    if (!written) {
        std::fprintf(stderr, "huecl_test_images: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}

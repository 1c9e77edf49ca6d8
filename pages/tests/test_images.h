// Writers of JPEG and TIFF test images through libjpeg and libtiff
// themselves, so that the page library's readers are checked against files
// they did not write. Used by the unit tests and by huecl_test_images, which makes
// the files of the end-to-end cases.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include <jpeglib.h>
#include <tiffio.h>

namespace huecl::pages::testing {

struct JpegOptions {
    J_COLOR_SPACE input = JCS_RGB;       // JCS_GRAYSCALE, JCS_RGB or JCS_CMYK
    J_COLOR_SPACE stored = JCS_UNKNOWN;  // the file's colour space; JCS_UNKNOWN: libjpeg's default
    int quality = 100;
    bool progressive = false;
    bool adobeMarker = true;  // CMYK only: libjpeg writes it unless told not to
};

// samples: width x height pixels of 1, 3 or 4 components as options.input says.
inline bool writeJpeg(const std::filesystem::path& path, std::uint32_t width, std::uint32_t height,
                      const std::vector<std::uint8_t>& samples, const JpegOptions& options = {},
                      const std::vector<std::uint8_t>& app1 = {}) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);  // test images are well formed; libjpeg exits otherwise
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = width;
    info.image_height = height;
    info.input_components = options.input == JCS_GRAYSCALE ? 1 : options.input == JCS_CMYK ? 4 : 3;
    info.in_color_space = options.input;
    jpeg_set_defaults(&info);
    if (options.stored != JCS_UNKNOWN) jpeg_set_colorspace(&info, options.stored);
    if (options.input == JCS_CMYK) info.write_Adobe_marker = options.adobeMarker ? TRUE : FALSE;
    jpeg_set_quality(&info, options.quality, TRUE);
    if (options.progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    // An APP1 marker's bytes (an EXIF block), if any.
    if (!app1.empty()) jpeg_write_marker(&info, JPEG_APP0 + 1, app1.data(), static_cast<unsigned>(app1.size()));
    const size_t rowBytes = size_t{width} * static_cast<size_t>(info.input_components);
    while (info.next_scanline < height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() + info.next_scanline * rowBytes);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0;
}

struct TiffOptions {
    std::uint16_t photometric = PHOTOMETRIC_RGB;
    std::uint16_t bits = 8;
    std::uint16_t samples = 3;                      // extra samples included
    std::uint16_t extra = EXTRASAMPLE_UNSPECIFIED;  // the kind of sample colour samples + 1, if any
    bool separate = false;                          // one plane per sample
    std::uint32_t tileSize = 0;                     // tiles of tileSize x tileSize; 0: strips
    std::uint32_t rowsPerStrip = 3;
    std::uint16_t compression = COMPRESSION_LZW;
    std::vector<std::uint16_t> colourMap;  // palette: red, green, blue levels, 2^bits each
    std::uint32_t pages = 1;               // further pages repeat the first
    std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
    std::uint16_t inkSet = INKSET_CMYK;
    std::uint16_t orientation = 0;  // the Orientation tag, if not 0
};

// samples: chunky, width x height x options.samples, each value in bits
// bits (16-bit values native, as libtiff takes them; 1, 2 and 4 bits one
// value per entry, packed here).
inline bool writeTiff(const std::filesystem::path& path, std::uint32_t width, std::uint32_t height,
                      const std::vector<std::uint16_t>& samples, const TiffOptions& options) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (!tiff) return false;
    bool good = true;
    for (std::uint32_t page = 0; page < options.pages && good; ++page) {
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, options.bits);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, options.samples);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, options.photometric);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, options.compression);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, options.separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
        TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, options.sampleFormat);
        if (options.photometric == PHOTOMETRIC_SEPARATED) TIFFSetField(tiff, TIFFTAG_INKSET, options.inkSet);
        if (options.orientation != 0) TIFFSetField(tiff, TIFFTAG_ORIENTATION, options.orientation);
        if (options.photometric == PHOTOMETRIC_YCBCR && options.compression == COMPRESSION_JPEG)
            TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        else if (options.photometric == PHOTOMETRIC_YCBCR)
            TIFFSetField(tiff, TIFFTAG_YCBCRSUBSAMPLING, std::uint16_t{1}, std::uint16_t{1});
        const bool threeColours = options.photometric == PHOTOMETRIC_RGB || options.photometric == PHOTOMETRIC_YCBCR;
        const std::uint16_t colourSamples = options.photometric == PHOTOMETRIC_SEPARATED ? 4 : threeColours ? 3 : 1;
        if (options.samples > colourSamples) {
            std::vector<std::uint16_t> kinds(options.samples - colourSamples, EXTRASAMPLE_UNSPECIFIED);
            kinds[0] = options.extra;
            TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, static_cast<std::uint16_t>(kinds.size()), kinds.data());
        }
        if (!options.colourMap.empty()) {
            const size_t entries = options.colourMap.size() / 3;
            TIFFSetField(tiff, TIFFTAG_COLORMAP, options.colourMap.data(), options.colourMap.data() + entries,
                         options.colourMap.data() + 2 * entries);
        }
        if (options.pages > 1) {
            TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
            TIFFSetField(tiff, TIFFTAG_PAGENUMBER, static_cast<std::uint16_t>(page),
                         static_cast<std::uint16_t>(options.pages));
        }
        const std::uint16_t planes = options.separate ? options.samples : 1;
        const std::uint16_t perPixel = options.separate ? 1 : options.samples;
        // One plane's row in the file's packing.
        const auto packRow = [&](std::uint32_t y, std::uint16_t plane, std::uint32_t x0, std::uint32_t columns) {
            std::vector<std::uint8_t> row((size_t{columns} * perPixel * options.bits + 7) / 8);
            for (std::uint32_t x = 0; x < columns; ++x)
                for (std::uint16_t s = 0; s < perPixel; ++s) {
                    const std::uint32_t sample = options.separate ? plane : s;
                    const std::uint16_t value =
                        x0 + x < width ? samples[(size_t{y} * width + x0 + x) * options.samples + sample] : 0;
                    const size_t index = size_t{x} * perPixel + s;
                    if (options.bits == 32) {
                        const std::uint32_t wide = value;
                        std::memcpy(&row[4 * index], &wide, 4);
                    } else if (options.bits == 16) {
                        std::memcpy(&row[2 * index], &value, 2);
                    } else if (options.bits == 8) {
                        row[index] = static_cast<std::uint8_t>(value);
                    } else {
                        const size_t bit = index * options.bits;
                        row[bit / 8] |= static_cast<std::uint8_t>(value << (8 - options.bits - bit % 8));
                    }
                }
            return row;
        };
        if (options.tileSize != 0) {
            TIFFSetField(tiff, TIFFTAG_TILEWIDTH, options.tileSize);
            TIFFSetField(tiff, TIFFTAG_TILELENGTH, options.tileSize);
            for (std::uint16_t plane = 0; plane < planes; ++plane)
                for (std::uint32_t y0 = 0; y0 < height; y0 += options.tileSize)
                    for (std::uint32_t x0 = 0; x0 < width; x0 += options.tileSize) {
                        std::vector<std::uint8_t> tile;
                        for (std::uint32_t y = y0; y < y0 + options.tileSize; ++y) {
                            const auto row = packRow(std::min(y, height - 1), plane, x0, options.tileSize);
                            tile.insert(tile.end(), row.begin(), row.end());
                        }
                        good = good && TIFFWriteTile(tiff, tile.data(), x0, y0, 0, plane) >= 0;
                    }
        } else {
            TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, options.rowsPerStrip);
            for (std::uint16_t plane = 0; plane < planes; ++plane)
                for (std::uint32_t y = 0; y < height; ++y) {
                    auto row = packRow(y, plane, 0, width);
                    good = good && TIFFWriteScanline(tiff, row.data(), y, plane) >= 0;
                }
        }
        good = good && TIFFWriteDirectory(tiff);
    }
    TIFFClose(tiff);
    return good;
}

}  // namespace huecl::pages::testing

// JPEG, TIFF and 16-bit PNM inputs, and the size limits of every reader.
#include "cli_options.h"
#include "commands.h"
#include "pages/readers/image_source.h"
#include "pages/tests/pipe_input.h"
#include "pages/tests/png_test_file.h"
#include "pages/tests/temporary_folder.h"
#include "pages/tests/test_images.h"
#include "pages/readers/tiff_image.h"
#include "pages/page_error.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cctype>
#include <cstdlib>
#include <zlib.h>

namespace huecl::tool {
namespace {

using namespace huecl::pages;

using pages::testing::TemporaryFolder;

struct Picture {
    std::uint32_t width = 0, height = 0;
    SourcePixels pixels = SourcePixels::bgr;
    std::vector<std::uint8_t> samples;  // rows as the source delivers them
};

// Reads the whole image in bands of bandRows rows, so that bands end inside
// strips and tiles.
Picture readPicture(const std::filesystem::path& path, const ImageLimits& limits = {}, std::uint32_t bandRows = 4) {
    auto source = openImage(path, limits);
    Picture picture{source->width(), source->height(), source->pixels(), {}};
    const size_t rowBytes = size_t{picture.width} * static_cast<std::uint32_t>(picture.pixels);
    for (std::uint32_t y = 0; y < picture.height; y += bandRows) {
        std::vector<std::uint8_t> band(rowBytes * std::min(bandRows, picture.height - y));
        source->readRows(band);
        picture.samples.insert(picture.samples.end(), band.begin(), band.end());
    }
    return picture;
}

std::string errorReading(const std::filesystem::path& path, const ImageLimits& limits = {}) {
    try {
        readPicture(path, limits);
    } catch (const PageError& error) {
        return error.what();
    }
    return "no error";
}

// The 8-bit level of colour sample s at (x, y) in the test pictures.
std::uint8_t levelAt(std::uint32_t x, std::uint32_t y, std::uint32_t s) {
    return static_cast<std::uint8_t>(x * 37 + y * 11 + s * 70);
}

// Subsampled chroma blurs the edges between the blocks; inside them the
// levels hold.
void expectNearInsideBlocks(const std::vector<std::uint8_t>& got, const std::vector<std::uint8_t>& wanted,
                            std::uint32_t width, size_t components, int tolerance) {
    ASSERT_EQ(got.size(), wanted.size());
    int worst = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        const size_t x = i / components % width, y = i / components / width;
        if (x % 16 >= 2 && x % 16 < 14 && y % 16 >= 2 && y % 16 < 14)
            worst = std::max(worst, std::abs(int{got[i]} - int{wanted[i]}));
    }
    EXPECT_LE(worst, tolerance);
}

// ---- TIFF ----------------------------------------------------------------

struct TiffCase {
    const char* name;
    pages::testing::TiffOptions options;
};

constexpr std::uint32_t tiffWidth = 40, tiffHeight = 21;  // partial tiles and strips on both axes

// The file's samples for a case and the rows the reader must give back.
void tiffPicture(const pages::testing::TiffOptions& o, std::vector<std::uint16_t>& samples,
                 std::vector<std::uint8_t>& expected, std::vector<std::uint16_t>& colourMap) {
    const std::uint32_t colourSamples = o.photometric == PHOTOMETRIC_SEPARATED ? 4
                                        : o.photometric == PHOTOMETRIC_RGB     ? 3
                                                                               : 1;
    const bool cmyk = colourSamples == 4;
    const bool alpha =
        o.samples > colourSamples && (o.extra == EXTRASAMPLE_ASSOCALPHA || o.extra == EXTRASAMPLE_UNASSALPHA);
    const std::uint32_t maxRaw = (1u << std::min<std::uint16_t>(o.bits, 8)) - 1;
    if (o.photometric == PHOTOMETRIC_PALETTE)
        for (std::uint32_t channel = 0; channel < 3; ++channel)
            for (std::uint32_t i = 0; i <= maxRaw; ++i)
                colourMap.push_back(static_cast<std::uint16_t>(levelAt(i, 0, channel) * 257));
    for (std::uint32_t y = 0; y < tiffHeight; ++y)
        for (std::uint32_t x = 0; x < tiffWidth; ++x) {
            // Every third column is transparent where there is alpha.
            const bool clear = alpha && x % 3 == 0;
            std::uint8_t levels[4];
            for (std::uint32_t s = 0; s < colourSamples; ++s) {
                const std::uint32_t raw = levelAt(x, y, s) >> (8 - std::min<std::uint16_t>(o.bits, 8));
                std::uint32_t value = o.bits == 16 ? raw << 8 | ((x * 13 + s) & 0xFF) : raw;
                if (clear && o.extra == EXTRASAMPLE_ASSOCALPHA) value = 0;  // premultiplied by alpha 0
                samples.push_back(static_cast<std::uint16_t>(value));
                levels[s] = static_cast<std::uint8_t>(o.bits < 8 ? raw * 255 / maxRaw : raw);
                if (o.photometric == PHOTOMETRIC_PALETTE)
                    for (std::uint32_t channel = 0; channel < 3; ++channel) levels[channel] = levelAt(raw, 0, channel);
            }
            for (std::uint32_t s = colourSamples; s < o.samples; ++s)
                samples.push_back(static_cast<std::uint16_t>(clear ? 0 : o.bits == 16 ? 0xFFFF : 0xFF));
            if (cmyk) {
                for (std::uint32_t s = 0; s < 4; ++s) expected.push_back(clear ? 0 : levels[s]);  // transparent: no ink
                continue;
            }
            std::uint8_t red = levels[0], green = levels[0], blue = levels[0];
            if (o.photometric == PHOTOMETRIC_MINISWHITE)
                red = green = blue = static_cast<std::uint8_t>(255 - levels[0]);
            else if (o.photometric == PHOTOMETRIC_RGB || o.photometric == PHOTOMETRIC_PALETTE)
                red = levels[0], green = levels[1], blue = levels[2];
            if (clear) red = green = blue = 255;  // paper
            expected.insert(expected.end(), {blue, green, red});
        }
}

pages::testing::TiffOptions tiffOf(std::uint16_t photometric, std::uint16_t bits, std::uint16_t samples) {
    pages::testing::TiffOptions options;
    options.photometric = photometric;
    options.bits = bits;
    options.samples = samples;
    return options;
}

std::vector<TiffCase> tiffCases() {
    std::vector<TiffCase> cases;
    const auto add = [&](const char* name, pages::testing::TiffOptions options, auto change) {
        change(options);
        cases.push_back({name, options});
    };
    const auto same = [](pages::testing::TiffOptions&) {};
    add("grey 8-bit", tiffOf(PHOTOMETRIC_MINISBLACK, 8, 1), same);
    add("grey 16-bit", tiffOf(PHOTOMETRIC_MINISBLACK, 16, 1), [](auto& o) { o.compression = COMPRESSION_NONE; });
    add("grey 4-bit", tiffOf(PHOTOMETRIC_MINISBLACK, 4, 1), same);
    add("grey 2-bit tiled", tiffOf(PHOTOMETRIC_MINISBLACK, 2, 1), [](auto& o) { o.tileSize = 16; });
    add("min-is-white 8-bit", tiffOf(PHOTOMETRIC_MINISWHITE, 8, 1), same);
    add("min-is-white 1-bit G4", tiffOf(PHOTOMETRIC_MINISWHITE, 1, 1),
        [](auto& o) { o.compression = COMPRESSION_CCITTFAX4; });
    add("palette 4-bit", tiffOf(PHOTOMETRIC_PALETTE, 4, 1), same);
    add("palette 8-bit", tiffOf(PHOTOMETRIC_PALETTE, 8, 1), same);
    add("RGB 8-bit", tiffOf(PHOTOMETRIC_RGB, 8, 3), same);
    add("RGB 16-bit", tiffOf(PHOTOMETRIC_RGB, 16, 3), [](auto& o) { o.compression = COMPRESSION_NONE; });
    add("RGB 8-bit planes", tiffOf(PHOTOMETRIC_RGB, 8, 3), [](auto& o) { o.separate = true; });
    add("RGB 8-bit tiled", tiffOf(PHOTOMETRIC_RGB, 8, 3), [](auto& o) { o.tileSize = 16; });
    add("RGB 16-bit tiled planes", tiffOf(PHOTOMETRIC_RGB, 16, 3), [](auto& o) {
        o.tileSize = 16;
        o.separate = true;
    });
    add("RGBA 8-bit", tiffOf(PHOTOMETRIC_RGB, 8, 4), [](auto& o) { o.extra = EXTRASAMPLE_UNASSALPHA; });
    add("RGBA premultiplied tiled", tiffOf(PHOTOMETRIC_RGB, 8, 4), [](auto& o) {
        o.extra = EXTRASAMPLE_ASSOCALPHA;
        o.tileSize = 16;
    });
    add("RGB and an unspecified extra", tiffOf(PHOTOMETRIC_RGB, 8, 4), same);
    add("grey and alpha 16-bit", tiffOf(PHOTOMETRIC_MINISBLACK, 16, 2),
        [](auto& o) { o.extra = EXTRASAMPLE_UNASSALPHA; });
    add("CMYK 8-bit", tiffOf(PHOTOMETRIC_SEPARATED, 8, 4), same);
    add("CMYK 16-bit tiled planes", tiffOf(PHOTOMETRIC_SEPARATED, 16, 4), [](auto& o) {
        o.tileSize = 32;
        o.separate = true;
    });
    add("CMYK and alpha", tiffOf(PHOTOMETRIC_SEPARATED, 8, 5), [](auto& o) { o.extra = EXTRASAMPLE_UNASSALPHA; });
    add("three pages", tiffOf(PHOTOMETRIC_RGB, 8, 3), [](auto& o) { o.pages = 3; });
    return cases;
}

TEST(TiffInput, EveryKindReadsBackAsWritten) {
    for (const TiffCase& c : tiffCases()) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint16_t> samples, colourMap;
        std::vector<std::uint8_t> expected;
        tiffPicture(c.options, samples, expected, colourMap);
        pages::testing::TiffOptions options = c.options;
        options.colourMap = colourMap;
        TemporaryFolder folder;
        ASSERT_TRUE(pages::testing::writeTiff(folder / "image.tif", tiffWidth, tiffHeight, samples, options));
        for (const std::uint32_t bandRows : {1u, 4u, tiffHeight}) {
            const Picture picture = readPicture(folder / "image.tif", {}, bandRows);
            EXPECT_EQ(picture.width, tiffWidth);
            EXPECT_EQ(picture.height, tiffHeight);
            EXPECT_EQ(picture.pixels,
                      c.options.photometric == PHOTOMETRIC_SEPARATED ? SourcePixels::cmyk : SourcePixels::bgr);
            EXPECT_EQ(picture.samples, expected) << "bands of " << bandRows << " rows";
        }
    }
}

TEST(TiffInput, JpegCompressedYCbCrReadsAsRgb) {
    std::vector<std::uint16_t> samples;
    for (std::uint32_t y = 0; y < 32; ++y)
        for (std::uint32_t x = 0; x < 32; ++x)  // four flat quarters
            for (std::uint32_t s = 0; s < 3; ++s) samples.push_back(levelAt(x / 16 * 3, y / 16 * 5, s));
    pages::testing::TiffOptions options = tiffOf(PHOTOMETRIC_YCBCR, 8, 3);
    options.compression = COMPRESSION_JPEG;
    options.rowsPerStrip = 16;
    TemporaryFolder folder;
    ASSERT_TRUE(pages::testing::writeTiff(folder / "ycbcr.tif", 32, 32, samples, options));
    const Picture picture = readPicture(folder / "ycbcr.tif");
    ASSERT_EQ(picture.samples.size(), 32u * 32 * 3);
    std::vector<std::uint8_t> expected;
    for (size_t i = 0; i < samples.size(); i += 3)  // blue, green, red
        expected.insert(expected.end(),
                        {static_cast<std::uint8_t>(samples[i + 2]), static_cast<std::uint8_t>(samples[i + 1]),
                         static_cast<std::uint8_t>(samples[i])});
    expectNearInsideBlocks(picture.samples, expected, 32, 3, 4);
}

TEST(TiffInput, UnsupportedKindsAreRefusedByName) {
    struct Refusal {
        const char* name;
        pages::testing::TiffOptions options;
        const char* message;
    };
    auto floating = tiffOf(PHOTOMETRIC_MINISBLACK, 32, 1);
    floating.sampleFormat = SAMPLEFORMAT_IEEEFP;
    auto signedSamples = tiffOf(PHOTOMETRIC_MINISBLACK, 16, 1);
    signedSamples.sampleFormat = SAMPLEFORMAT_INT;
    auto otherInks = tiffOf(PHOTOMETRIC_SEPARATED, 8, 4);
    otherInks.inkSet = INKSET_MULTIINK;
    auto ycbcr = tiffOf(PHOTOMETRIC_YCBCR, 8, 3);
    const Refusal refusals[] = {
        {"float", floating, ": TIFF of floating-point samples is not supported"},
        {"signed", signedSamples, ": TIFF of signed samples is not supported"},
        {"Lab", tiffOf(PHOTOMETRIC_CIELAB, 8, 3),
         ": TIFF photometric interpretation 8 (only grey, palette, RGB, YCbCr and CMYK are) is not supported"},
        {"inks", otherInks, ": TIFF of inks other than CMYK is not supported"},
        {"YCbCr", ycbcr, ": YCbCr TIFF that is not JPEG-compressed is not supported"},
        {"4-bit RGB", tiffOf(PHOTOMETRIC_RGB, 4, 3),
         ": TIFF of 4-bit samples and 3 samples per pixel (8 or 16 bits; 1, 2 and 4 for grey and palette) is not "
         "supported"},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        TemporaryFolder folder;
        const std::vector<std::uint16_t> samples(size_t{8} * 8 * refusal.options.samples, 1);
        ASSERT_TRUE(pages::testing::writeTiff(folder / "odd.tif", 8, 8, samples, refusal.options));
        EXPECT_EQ(errorReading(folder / "odd.tif"), (folder / "odd.tif").string() + refusal.message);
    }
}

// A grey TIFF of one uncompressed strip with its directory first, built
// byte by byte, so that the header can claim any size and the data can end
// anywhere.
std::string handmadeTiff(std::uint32_t width, std::uint32_t height, const std::string& pixelData) {
    std::string bytes = "II*";
    bytes += '\0';
    const auto put = [&](std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i) bytes += static_cast<char>(value >> (8 * i));
    };
    put(8, 4);
    const std::uint32_t entries = 9, dataOffset = 8 + 2 + entries * 12 + 4;
    put(entries, 2);
    const std::uint32_t tags[][3] = {{256, 4, width}, {257, 4, height}, {258, 3, 8},
                                     {259, 3, 1},     {262, 3, 1},      {273, 4, dataOffset},
                                     {277, 3, 1},     {278, 4, height}, {279, 4, width * height}};
    for (const auto& tag : tags) {
        put(tag[0], 2), put(tag[1], 2), put(1, 4);
        put(tag[2], tag[1] == 3 ? 2 : 4);
        if (tag[1] == 3) put(0, 2);
    }
    put(0, 4);
    return bytes + pixelData;
}

// libtiff seeks, so a TIFF on a pipe is copied first: up to the memory
// limit, and no further.
TEST(TiffInput, APipedTiffIsCopiedUpToTheMemoryLimit) {
    TemporaryFolder folder;
    const std::string tiff = handmadeTiff(64, 64, std::string(64 * 64, '\x40'));
    for (const std::uint64_t limit :
         {std::uint64_t{tiff.size()}, std::uint64_t{tiff.size()} - 1, std::uint64_t{1} << 20}) {
        ImageLimits limits;
        limits.memoryBytes = limit;
        std::string error = "no error";
        try {
            const auto image = openTiff(pages::testing::pipeWith(tiff, "standard input"), limits);
            std::vector<std::uint8_t> rows(64 * 64 * 3);
            image->readRows(rows);
            EXPECT_EQ(rows, std::vector<std::uint8_t>(64 * 64 * 3, 0x40));
        } catch (const PageError& caught) {
            error = caught.what();
        }
        pages::testing::reapPipeWriters();
        EXPECT_EQ(error, limit < tiff.size() ? "standard input: a TIFF on a pipe is copied before it is read, and this "
                                               "one exceeds the limit of 1 MiB (--max-memory raises it)"
                                             : "no error")
            << "limit " << limit << " for " << tiff.size() << " bytes";
    }
}

TEST(TiffInput, DamagedFilesGiveOneLineErrors) {
    TemporaryFolder folder;
    const auto whole = folder.writeFile("whole.tif", handmadeTiff(64, 64, std::string(64 * 64, '\x40')));
    EXPECT_EQ(readPicture(whole).samples, std::vector<std::uint8_t>(64 * 64 * 3, 0x40));

    const auto cut = folder.writeFile("cut.tif", handmadeTiff(64, 64, std::string(64 * 40, '\x40')));
    EXPECT_EQ(errorReading(cut).rfind(cut.string() + ": corrupt or truncated TIFF (", 0), 0u) << errorReading(cut);

    // An LZW file cut in its strips, and one with its strip data overwritten.
    std::vector<std::uint16_t> samples;
    for (std::uint32_t i = 0; i < 64 * 64 * 3; ++i) samples.push_back(static_cast<std::uint16_t>(i * 7919 % 251));
    ASSERT_TRUE(pages::testing::writeTiff(folder / "lzw.tif", 64, 64, samples, tiffOf(PHOTOMETRIC_RGB, 8, 3)));
    const std::string lzw = pages::testing::readFile(folder / "lzw.tif");
    std::string smashed = lzw;
    for (size_t i = 100; i < lzw.size() / 2; ++i) smashed[i] = '\xFF';
    const auto broken = folder.writeFile("smashed.tif", smashed);
    EXPECT_EQ(errorReading(broken).rfind(broken.string() + ": corrupt or truncated TIFF (", 0), 0u)
        << errorReading(broken);
    // libtiff writes the directory last: without it the file is no TIFF.
    const auto headless = folder.writeFile("headless.tif", lzw.substr(0, lzw.size() / 2));
    EXPECT_EQ(errorReading(headless).rfind(headless.string() + ": not a readable TIFF", 0), 0u)
        << errorReading(headless);
}

// ---- JPEG ----------------------------------------------------------------

// Flat 16 x 16 blocks, so that a quality-100 JPEG keeps each level within a
// few steps.
std::vector<std::uint8_t> blockPicture(std::uint32_t width, std::uint32_t height, std::uint32_t components) {
    std::vector<std::uint8_t> samples;
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            for (std::uint32_t s = 0; s < components; ++s) samples.push_back(levelAt(x / 16, y / 16 * 3, s));
    return samples;
}

TEST(JpegInput, EveryColourSpaceReadsBack) {
    constexpr std::uint32_t width = 48, height = 40;
    const auto grey = blockPicture(width, height, 1), rgb = blockPicture(width, height, 3),
               cmyk = blockPicture(width, height, 4);
    std::vector<std::uint8_t> greyAsBgr, rgbAsBgr, adobeCmyk;
    for (const std::uint8_t level : grey) greyAsBgr.insert(greyAsBgr.end(), {level, level, level});
    for (size_t i = 0; i < rgb.size(); i += 3) rgbAsBgr.insert(rgbAsBgr.end(), {rgb[i + 2], rgb[i + 1], rgb[i]});
    for (const std::uint8_t level : cmyk) adobeCmyk.push_back(static_cast<std::uint8_t>(255 - level));
    struct Case {
        const char* name;
        pages::testing::JpegOptions options;
        const std::vector<std::uint8_t>&written, &expected;
        SourcePixels pixels;
    };
    const Case cases[] = {
        {"grey", {JCS_GRAYSCALE}, grey, greyAsBgr, SourcePixels::bgr},
        {"YCbCr", {JCS_RGB}, rgb, rgbAsBgr, SourcePixels::bgr},
        {"RGB stored as RGB", {JCS_RGB, JCS_RGB}, rgb, rgbAsBgr, SourcePixels::bgr},
        {"progressive", {JCS_RGB, JCS_UNKNOWN, 100, true}, rgb, rgbAsBgr, SourcePixels::bgr},
        // Adobe's CMYK is inverted in the file: written inverted, it reads
        // as the levels themselves.
        {"Adobe CMYK", {JCS_CMYK}, adobeCmyk, cmyk, SourcePixels::cmyk},
        {"Adobe YCCK", {JCS_CMYK, JCS_YCCK}, adobeCmyk, cmyk, SourcePixels::cmyk},
        {"plain CMYK", {JCS_CMYK, JCS_UNKNOWN, 100, false, false}, cmyk, cmyk, SourcePixels::cmyk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryFolder folder;
        ASSERT_TRUE(pages::testing::writeJpeg(folder / "image.jpg", width, height, c.written, c.options));
        for (const std::uint32_t bandRows : {1u, 7u, height}) {
            const Picture picture = readPicture(folder / "image.jpg", {}, bandRows);
            EXPECT_EQ(picture.width, width);
            EXPECT_EQ(picture.pixels, c.pixels);
            expectNearInsideBlocks(picture.samples, c.expected, width, static_cast<std::uint32_t>(c.pixels), 4);
        }
    }
}

TEST(JpegInput, DamagedFilesGiveOneLineErrorsNotAGreyTail) {
    TemporaryFolder folder;
    std::vector<std::uint8_t> noise(128 * 128 * 3);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 7919 % 253);
    ASSERT_TRUE(pages::testing::writeJpeg(folder / "whole.jpg", 128, 128, noise, {JCS_RGB, JCS_UNKNOWN, 90}));
    const std::string whole = pages::testing::readFile(folder / "whole.jpg");
    const std::string prefix = ": corrupt or truncated JPEG (";

    struct Damage {
        const char* name;
        std::string bytes;
        std::string message;  // after the file name
    };
    std::string marker = whole;
    marker.replace(whole.size() / 2, 2, "\xFF\xD9");  // an end of image amid the entropy-coded data
    ASSERT_TRUE(
        pages::testing::writeJpeg(folder / "progressive.jpg", 128, 128, noise, {JCS_RGB, JCS_UNKNOWN, 90, true}));
    const std::string progressive = pages::testing::readFile(folder / "progressive.jpg");
    const Damage damages[] = {
        {"cut in the data", whole.substr(0, whole.size() / 2), prefix + "Premature end of JPEG file)"},
        {"cut before the last rows", whole.substr(0, whole.size() - 40), prefix + "Premature end of JPEG file)"},
        {"cut progressive", progressive.substr(0, progressive.size() * 2 / 3), prefix + "Premature end of JPEG file)"},
        {"cut in the header", whole.substr(0, 300), prefix + "Premature end of JPEG file)"},
        {"marker in the data", marker, prefix + "Corrupt JPEG data: premature end of data segment)"},
        {"only the start", whole.substr(0, 3), prefix + "Premature end of JPEG file)"},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        const auto path = folder.writeFile("damaged.jpg", damage.bytes);
        EXPECT_EQ(errorReading(path), path.string() + damage.message);
    }
    // Sound, but of a kind libjpeg's 8-bit build does not decode.
    std::string twelveBits = whole;
    twelveBits[twelveBits.find("\xFF\xC0") + 4] = 12;
    const auto path = folder.writeFile("twelve.jpg", twelveBits);
    EXPECT_EQ(
        errorReading(path),
        path.string() + ": JPEG of other than 8-bit samples is not supported (Unsupported JPEG data precision 12)");
}

// ---- 16-bit PNM ----------------------------------------------------------

TEST(PnmInput, SixteenBitSamplesReadAsSixteenBitPngDoes) {
    // Every high byte, with low bytes that would round differently.
    std::string ppm = "P6\n256 1\n65535\n";
    std::vector<std::uint8_t> samples;
    for (std::uint32_t x = 0; x < 256; ++x)
        for (std::uint32_t c = 0; c < 3; ++c) {
            const std::uint16_t value = static_cast<std::uint16_t>(x << 8 | (x * 91 + c * 60) % 256);
            samples.insert(samples.end(), {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
        }
    ppm.append(samples.begin(), samples.end());
    TemporaryFolder folder;
    const auto ppmPath = folder.writeFile("wide.ppm", ppm);
    ASSERT_TRUE(pages::testing::writeRawPng(folder / "wide.png", 256, 1, 16, PNG_COLOR_TYPE_RGB, false, {samples}));
    const Picture fromPpm = readPicture(ppmPath), fromPng = readPicture(folder / "wide.png");
    EXPECT_EQ(fromPpm.samples, fromPng.samples);
    for (std::uint32_t x = 0; x < 256; ++x) EXPECT_EQ(fromPpm.samples[3 * x], x) << "blue of pixel " << x;

    // Other maxvals scale to the full range first: 1023 is white, 512 half.
    const auto tenBit =
        folder.writeFile("ten.pgm", std::string("P5 3 1 1023\n") + std::string("\x03\xff\x02\x00\x00\x00", 6));
    EXPECT_EQ(readPicture(tenBit).samples, (std::vector<std::uint8_t>{255, 255, 255, 128, 128, 128, 0, 0, 0}));
    const auto above = folder.writeFile("above.pgm", std::string("P5 1 1 1000\n") + std::string("\x03\xe9", 2));
    EXPECT_EQ(errorReading(above), above.string() + ": corrupt PNM file (sample above maxval)");
    const auto cut = folder.writeFile("cut.ppm", std::string("P6 2 2 65535\n") + std::string(20, '\x10'));
    EXPECT_EQ(errorReading(cut), cut.string() + ": truncated PNM file (pixel data ends early)");
    const auto tooDeep = folder.writeFile("deep.pgm", "P5 1 1 65536\n\x01\x02\x03");
    EXPECT_EQ(errorReading(tooDeep), tooDeep.string() + ": PNM maxval must be 1 to 65535, not 65536");
}

// ---- Damage anywhere ----------------------------------------------------

// Every reader, given a file damaged anywhere or cut anywhere, either reads
// it or says what is wrong in a PageError: no crash, no hang, no other
// exception. The asan build runs this too.
TEST(ImageReaders, SurviveDamageAnywhere) {
    TemporaryFolder folder;
    std::vector<std::uint8_t> picture(48 * 40 * 4);
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<std::uint8_t>(i * 7919 % 251);
    std::vector<std::uint16_t> samples(picture.begin(), picture.end());
    ASSERT_TRUE(pages::testing::writeJpeg(folder / "a.jpg", 48, 40, picture, {JCS_RGB, JCS_UNKNOWN, 80}));
    ASSERT_TRUE(pages::testing::writeJpeg(folder / "b.jpg", 48, 40, picture, {JCS_RGB, JCS_UNKNOWN, 80, true}));
    ASSERT_TRUE(pages::testing::writeJpeg(folder / "c.jpg", 48, 40, picture, {JCS_CMYK, JCS_YCCK}));
    ASSERT_TRUE(pages::testing::writeTiff(folder / "d.tif", 48, 40, samples, tiffOf(PHOTOMETRIC_RGB, 8, 3)));
    auto tiled = tiffOf(PHOTOMETRIC_SEPARATED, 8, 4);
    tiled.tileSize = 16;
    tiled.separate = true;
    ASSERT_TRUE(pages::testing::writeTiff(folder / "e.tif", 48, 40, samples, tiled));
    std::string ppm = "P6 48 40 65535\n";
    for (size_t i = 0; i < 48 * 40 * 6; ++i) ppm += static_cast<char>(i * 31 % 256);
    folder.writeFile("f.ppm", ppm);
    std::uint32_t seed = 12345;
    const auto random = [&] {
        seed = seed * 1103515245 + 12345;
        return seed >> 8;
    };
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.tif", "e.tif", "f.ppm"}) {
        SCOPED_TRACE(name);
        const std::string whole = pages::testing::readFile(folder / name);
        ASSERT_GT(whole.size(), 100u);
        size_t failures = 0, reads = 0;
        for (int attempt = 0; attempt < 200; ++attempt) {
            std::string damaged = whole;
            if (attempt % 3 == 0) {
                damaged.resize(random() % whole.size());
            } else {
                for (int flips = 0; flips < 1 + attempt % 4; ++flips)
                    damaged[random() % whole.size()] = static_cast<char>(random());
            }
            const auto path = folder.writeFile("damaged", damaged);
            try {
                readPicture(path, {std::uint64_t{1} << 24, std::uint64_t{64} << 20});
                ++reads;
            } catch (const PageError& error) {
                ++failures;
                EXPECT_EQ(std::string(error.what()).find('\n'), std::string::npos) << error.what();
            }
        }
        EXPECT_GT(failures, 0u);  // every cut at least is refused
        EXPECT_EQ(failures + reads, 200u);
    }
}

// ---- Limits --------------------------------------------------------------

// Patches the width and height of a file's first SOF marker.
std::string withJpegSize(std::string jpeg, std::uint16_t width, std::uint16_t height) {
    const size_t sof = jpeg.find("\xFF\xC0");
    jpeg[sof + 5] = static_cast<char>(height >> 8), jpeg[sof + 6] = static_cast<char>(height);
    jpeg[sof + 7] = static_cast<char>(width >> 8), jpeg[sof + 8] = static_cast<char>(width);
    return jpeg;
}

TEST(ImageLimits, OversizedHeadersAreRefusedBeforeAnyAllocation) {
    TemporaryFolder folder;
    ASSERT_TRUE(pages::testing::writeJpeg(folder / "small.jpg", 16, 16, std::vector<std::uint8_t>(16 * 16 * 3, 99)));
    const std::string jpeg = pages::testing::readFile(folder / "small.jpg");
    // A PNG header claiming 100000 x 100000: signature, IHDR, an empty IDAT.
    std::string png = "\x89PNG\r\n\x1a\n";
    const auto chunk = [&](const std::string& typeAndData) {
        const auto length = static_cast<std::uint32_t>(typeAndData.size() - 4);
        const auto crc = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(typeAndData.data()), static_cast<uInt>(typeAndData.size())));
        for (int shift = 24; shift >= 0; shift -= 8) png += static_cast<char>(length >> shift);
        png += typeAndData;
        for (int shift = 24; shift >= 0; shift -= 8) png += static_cast<char>(crc >> shift);
    };
    chunk(std::string("IHDR") + std::string("\x00\x01\x86\xa0\x00\x01\x86\xa0\x08\x02\x00\x00\x00", 13));
    chunk("IDAT");
    const std::string tail = " exceeds the limit of 268435456 pixels (--max-pixels raises it)";
    struct Oversized {
        const char* name;
        std::string bytes;
        std::string message;
    };
    const Oversized files[] = {
        {"huge.ppm", "P6\n100000 100000\n255\n", ": image of 100000x100000 (10000000000 pixels)" + tail},
        {"huge.pgm", "P5\n16777215 17\n65535\n", ": image of 16777215x17 (285212655 pixels)" + tail},
        {"huge.png", png, ": image of 100000x100000 (10000000000 pixels)" + tail},
        {"huge.jpg", withJpegSize(jpeg, 60000, 60000), ": image of 60000x60000 (3600000000 pixels)" + tail},
        {"huge.tif", handmadeTiff(100000, 100000, ""), ": image of 100000x100000 (10000000000 pixels)" + tail},
    };
    for (const Oversized& file : files) {
        SCOPED_TRACE(file.name);
        const auto path = folder.writeFile(file.name, file.bytes);
        EXPECT_EQ(errorReading(path), path.string() + file.message);
    }
    // A lower limit applies to every format alike; the limit itself passes.
    const auto fits = folder.writeFile("fits.tif", handmadeTiff(16, 16, std::string(256, '\x01')));
    const auto ppm = folder.writeFile("fits.ppm", "P5 16 16 255\n" + std::string(256, '\x01'));
    for (const auto& path : {folder / "small.jpg", fits, ppm}) {
        EXPECT_EQ(
            errorReading(path, {255, std::uint64_t{1} << 30}),
            path.string() + ": image of 16x16 (256 pixels) exceeds the limit of 255 pixels (--max-pixels raises it)");
        EXPECT_EQ(errorReading(path, {256, std::uint64_t{1} << 30}), "no error");
    }
}

TEST(ImageLimits, ReadersThatHoldMoreThanABandStayUnderTheMemoryLimit) {
    TemporaryFolder folder;
    // A progressive JPEG is held whole as coefficients: over 2 MiB here.
    ASSERT_TRUE(pages::testing::writeJpeg(folder / "progressive.jpg", 1024, 1024,
                                          std::vector<std::uint8_t>(1024 * 1024 * 3, 50),
                                          {JCS_RGB, JCS_UNKNOWN, 75, true}));
    EXPECT_EQ(errorReading(folder / "progressive.jpg", {1u << 28, 1u << 20}),
              (folder / "progressive.jpg").string() +
                  ": decoding this progressive or multi-scan JPEG takes more than the limit of 1 MiB (--max-memory "
                  "raises it)");
    EXPECT_EQ(errorReading(folder / "progressive.jpg", {1u << 28, 8u << 20}), "no error");

    // One strip of a TIFF with planes apart: 1024 rows of 1024 samples.
    pages::testing::TiffOptions options = tiffOf(PHOTOMETRIC_RGB, 8, 3);
    options.separate = true;
    options.rowsPerStrip = 1024;
    ASSERT_TRUE(pages::testing::writeTiff(folder / "strip.tif", 1024, 1024,
                                          std::vector<std::uint16_t>(1024 * 1024 * 3, 7), options));
    EXPECT_EQ(errorReading(folder / "strip.tif", {1u << 28, 1u << 20}),
              (folder / "strip.tif").string() +
                  ": reading a strip takes 4 MiB, more than the limit of 1 MiB (--max-memory raises it)");
    EXPECT_EQ(errorReading(folder / "strip.tif", {1u << 28, 8u << 20}), "no error");
}

TEST(ImageLimits, OptionsRaiseOrLowerThem) {
    const auto parse = [](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"print", "-o", "out"});
        return std::get<PrintCommand>(parseCommandLine(arguments)).imageLimits;
    };
    EXPECT_EQ(parse({}).pixels, std::uint64_t{1} << 28);
    EXPECT_EQ(parse({}).memoryBytes, std::uint64_t{1} << 30);
    EXPECT_EQ(parse({"--max-pixels", "1000000000000"}).pixels, 1000000000000u);
    EXPECT_EQ(parse({"--max-memory=4096"}).memoryBytes, std::uint64_t{4096} << 20);
    const auto errorOf = [&](std::vector<std::string> arguments) -> std::string {
        try {
            parse(std::move(arguments));
        } catch (const PageError& error) {
            return error.what();
        }
        return "no error";
    };
    EXPECT_EQ(errorOf({"--max-pixels", "0"}), "--max-pixels must be 1 to 1099511627776, not 0");
    EXPECT_EQ(errorOf({"--max-memory", "lots"}), "--max-memory needs a whole number, not 'lots'");
}

// ---- Printing CMYK images --------------------------------------------------

// Reads a PBM plane written by print --planes (1 bit per dot).
std::vector<bool> readPbm(const std::filesystem::path& path, std::uint32_t& width, std::uint32_t& height) {
    const std::string bytes = pages::testing::readFile(path);
    size_t at = 0;
    const auto number = [&] {
        while (at < bytes.size() && !std::isdigit(static_cast<unsigned char>(bytes[at]))) ++at;
        std::uint32_t value = 0;
        while (at < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[at])))
            value = value * 10 + static_cast<std::uint32_t>(bytes[at++] - '0');
        return value;
    };
    at = 2;
    width = number(), height = number();
    ++at;
    std::vector<bool> dots;
    const size_t rowBytes = (width + 7) / 8;
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) dots.push_back((bytes[at + y * rowBytes + x / 8] >> (7 - x % 8)) & 1);
    return dots;
}

TEST(CmykImages, PutInkWhereTheirSamplesSay) {
    // Four columns of 8 pixels: cyan, magenta, yellow and black alone, full;
    // the bottom half is blank paper.
    constexpr std::uint32_t width = 32, height = 16;
    std::vector<std::uint16_t> samples;
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            for (std::uint32_t ink = 0; ink < 4; ++ink) samples.push_back(y < height / 2 && x / 8 == ink ? 255 : 0);
    std::vector<std::uint8_t> adobe;
    for (const std::uint16_t level : samples) adobe.push_back(static_cast<std::uint8_t>(255 - level));
    TemporaryFolder folder;
    ASSERT_TRUE(
        pages::testing::writeTiff(folder / "inks.tif", width, height, samples, tiffOf(PHOTOMETRIC_SEPARATED, 8, 4)));
    ASSERT_TRUE(pages::testing::writeJpeg(folder / "inks.jpg", width, height, adobe, {JCS_CMYK}));
    for (const char* name : {"inks.tif", "inks.jpg"}) {
        for (const EngineKind engine : {EngineKind::later, EngineKind::earlier}) {
            SCOPED_TRACE(::testing::Message() << name << (engine == EngineKind::later ? ", later" : ", earlier"));
            PrintCommand command;
            command.image = folder / name;
            command.outputFolder = folder / "out";
            command.settings.engine = engine;
            command.settings.ditherMode = HUECL_DITHER_1BIT;
            command.threads = 1;
            command.quiet = true;
            command.writePlanes = true;
            runPrint(command);
            const char* planes[] = {"plane-c.pbm", "plane-m.pbm", "plane-y.pbm", "plane-k.pbm"};
            for (std::uint32_t ink = 0; ink < 4; ++ink) {
                std::uint32_t planeWidth = 0, planeHeight = 0;
                const auto dots = readPbm(folder / "out" / planes[ink], planeWidth, planeHeight);
                ASSERT_EQ(planeWidth, width * 2);  // 300 to 600 dpi
                std::uint32_t inside = 0, outside = 0;
                for (std::uint32_t y = 0; y < planeHeight; ++y)
                    for (std::uint32_t x = 0; x < planeWidth; ++x)
                        if (dots[size_t{y} * planeWidth + x])
                            ++(y < planeHeight / 2 && x / 16 == ink ? inside : outside);
                // Full ink covers its column (a JPEG's edges may blur a little).
                EXPECT_GT(inside, 16u * planeHeight / 2 * 9 / 10) << planes[ink];
                EXPECT_LT(outside, 16u) << planes[ink];
            }
        }
    }
    // Black alone: every ink folds into black, so all four columns print.
    PrintCommand command;
    command.image = folder / "inks.tif";
    command.outputFolder = folder / "black";
    command.settings.blackOnly = true;
    command.settings.ditherMode = HUECL_DITHER_1BIT;
    command.threads = 1;
    command.quiet = true;
    command.writePlanes = true;
    runPrint(command);
    std::uint32_t planeWidth = 0, planeHeight = 0;
    const auto dots = readPbm(folder / "black" / "plane-k.pbm", planeWidth, planeHeight);
    for (std::uint32_t ink = 0; ink < 4; ++ink) {
        std::uint32_t inked = 0;
        for (std::uint32_t y = 0; y < planeHeight / 2; ++y)
            for (std::uint32_t x = ink * 16; x < ink * 16 + 16; ++x) inked += dots[size_t{y} * planeWidth + x];
        EXPECT_GT(inked, 0u) << "column " << ink;
    }
}

}  // namespace
}  // namespace huecl::tool

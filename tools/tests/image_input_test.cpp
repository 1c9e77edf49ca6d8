#include "commands.h"
#include "pages/readers/image_source.h"
#include "pages/tests/png_test_file.h"
#include "pages/readers/pnm_image.h"
#include "pages/tests/temporary_folder.h"
#include "pages/readers/test_page.h"
#include "pages/page_error.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cfloat>

namespace huecl::tool {
namespace {

using namespace huecl::pages;

using pages::testing::TemporaryFolder;
using pages::testing::writeRawPng;

struct Bgr {
    std::uint8_t blue, green, red;
    bool operator==(const Bgr&) const = default;
};

std::vector<Bgr> readAll(ImageSource& source) {
    std::vector<std::uint8_t> bytes(size_t{source.width()} * source.height() * 3);
    source.readRows(bytes);
    std::vector<Bgr> pixels(bytes.size() / 3);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = {bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]};
    return pixels;
}

std::string errorOpening(const std::filesystem::path& path) {
    try {
        auto source = openImage(path);
        readAll(*source);
    } catch (const PageError& error) {
        return error.what();
    }
    return "no error";
}

TEST(PngInput, EveryColourTypeBecomesBlueGreenRed) {
    TemporaryFolder folder;
    const std::vector<Bgr> expected{{30, 20, 10}, {255, 255, 255}};
    ASSERT_TRUE(writeRawPng(folder / "rgb.png", 2, 1, 8, PNG_COLOR_TYPE_RGB, false, {{10, 20, 30, 255, 255, 255}}));
    ASSERT_TRUE(writeRawPng(folder / "rgb16.png", 2, 1, 16, PNG_COLOR_TYPE_RGB, false,
                            {{10, 0, 20, 0, 30, 0, 255, 255, 255, 255, 255, 255}}));
    ASSERT_TRUE(
        writeRawPng(folder / "interlaced.png", 2, 1, 8, PNG_COLOR_TYPE_RGB, true, {{10, 20, 30, 255, 255, 255}}));
    ASSERT_TRUE(writeRawPng(folder / "palette.png", 2, 1, 8, PNG_COLOR_TYPE_PALETTE, false, {{1, 0}},
                            {{255, 255, 255}, {10, 20, 30}}));
    for (const char* name : {"rgb.png", "rgb16.png", "interlaced.png", "palette.png"}) {
        auto source = openImage(folder / name);
        EXPECT_EQ(source->width(), 2u) << name;
        EXPECT_EQ(readAll(*source), expected) << name;
    }
}

TEST(PngInput, GreyAndAlphaBlendOntoWhitePaper) {
    TemporaryFolder folder;
    ASSERT_TRUE(writeRawPng(folder / "grey2.png", 4, 1, 2, PNG_COLOR_TYPE_GRAY, false, {{0x1B}}));
    auto grey = openImage(folder / "grey2.png");
    EXPECT_EQ(readAll(*grey), (std::vector<Bgr>{{0, 0, 0}, {85, 85, 85}, {170, 170, 170}, {255, 255, 255}}));

    ASSERT_TRUE(writeRawPng(folder / "rgba.png", 2, 1, 8, PNG_COLOR_TYPE_RGBA, false, {{0, 0, 0, 0, 0, 0, 0, 255}}));
    auto rgba = openImage(folder / "rgba.png");
    EXPECT_EQ(readAll(*rgba), (std::vector<Bgr>{{255, 255, 255}, {0, 0, 0}}));

    ASSERT_TRUE(writeRawPng(folder / "grey-alpha.png", 1, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, false, {{0, 128}}));
    auto greyAlpha = openImage(folder / "grey-alpha.png");
    EXPECT_EQ(readAll(*greyAlpha), (std::vector<Bgr>{{127, 127, 127}}));

    ASSERT_TRUE(
        writeRawPng(folder / "palette-alpha.png", 1, 1, 8, PNG_COLOR_TYPE_PALETTE, false, {{0}}, {{0, 0, 0}}, {0}));
    auto paletteAlpha = openImage(folder / "palette-alpha.png");
    EXPECT_EQ(readAll(*paletteAlpha), (std::vector<Bgr>{{255, 255, 255}}));
}

// The same picture as palette indices of every depth and as plain RGB (RGBA
// where the palette has transparency) must read the same, row by row.
TEST(PngInput, PaletteImagesReadAsTheirRgbEquivalent) {
    const std::vector<png_color> colours = {{10, 20, 30},  {200, 0, 0},  {0, 200, 0},    {0, 0, 200},
                                            {255, 255, 0}, {90, 90, 90}, {1, 2, 3},      {250, 240, 230},
                                            {5, 50, 150},  {60, 0, 60},  {0, 70, 140},   {33, 66, 99},
                                            {128, 64, 32}, {12, 34, 56}, {240, 10, 120}, {77, 77, 200}};
    // Widths that end inside a byte at every depth, and one per-byte width.
    for (const std::uint32_t width : {1u, 3u, 7u, 13u, 16u}) {
        for (const int depth : {1, 2, 4, 8}) {
            for (const bool interlaced : {false, true}) {
                for (const bool transparent : {false, true}) {
                    SCOPED_TRACE(::testing::Message()
                                 << "width " << width << ", " << depth << " bits" << (interlaced ? ", interlaced" : "")
                                 << (transparent ? ", tRNS" : ""));
                    const std::uint32_t height = 5, codes = 1u << std::min(depth, 4);
                    const std::vector<png_color> palette(colours.begin(), colours.begin() + codes);
                    std::vector<std::uint8_t> alpha;
                    if (transparent) alpha = {0, 128, 255, 17};
                    alpha.resize(std::min<size_t>(alpha.size(), codes));
                    std::vector<std::vector<std::uint8_t>> packed, rgb;
                    for (std::uint32_t y = 0; y < height; ++y) {
                        packed.emplace_back((width * depth + 7) / 8, 0);
                        rgb.emplace_back();
                        for (std::uint32_t x = 0; x < width; ++x) {
                            const std::uint32_t code = (x * 7 + y * 3) % codes;
                            const std::uint32_t bit = x * depth;
                            packed[y][bit / 8] |= static_cast<std::uint8_t>(code << (8 - depth - bit % 8));
                            const png_color& c = palette[code];
                            rgb[y].insert(rgb[y].end(), {c.red, c.green, c.blue});
                            if (transparent) rgb[y].push_back(code < alpha.size() ? alpha[code] : 255);
                        }
                    }
                    TemporaryFolder folder;
                    ASSERT_TRUE(writeRawPng(folder / "indexed.png", width, height, depth, PNG_COLOR_TYPE_PALETTE,
                                            interlaced, packed, palette, alpha));
                    ASSERT_TRUE(writeRawPng(folder / "rgb.png", width, height, 8,
                                            transparent ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, false, rgb));
                    auto indexed = openImage(folder / "indexed.png");
                    auto direct = openImage(folder / "rgb.png");
                    // Two bands of rows, so that each band's rows expand alone.
                    std::vector<std::uint8_t> fromIndexed(size_t{width} * 3 * 2), fromRgb(fromIndexed.size());
                    indexed->readRows(fromIndexed);
                    direct->readRows(fromRgb);
                    EXPECT_EQ(fromIndexed, fromRgb);
                    fromIndexed.resize(size_t{width} * 3 * 3);
                    fromRgb.resize(fromIndexed.size());
                    indexed->readRows(fromIndexed);
                    direct->readRows(fromRgb);
                    EXPECT_EQ(fromIndexed, fromRgb);
                }
            }
        }
    }
}

TEST(PngInput, PalettePagesPrintByteForByteAsTheirRgbEquivalent) {
    // A 2-bit palette with one transparent entry against the same picture
    // as RGBA, through the whole page: raster and preview alike.
    const std::vector<png_color> palette = {{250, 250, 250}, {200, 30, 30}, {20, 40, 160}, {0, 0, 0}};
    const std::vector<std::uint8_t> alpha = {255, 255, 96};
    const std::uint32_t width = 45, height = 31;
    std::vector<std::vector<std::uint8_t>> packed, rgba;
    for (std::uint32_t y = 0; y < height; ++y) {
        packed.emplace_back((width * 2 + 7) / 8, 0);
        rgba.emplace_back();
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t code = (x / 5 + y / 4) % 4;
            packed[y][x / 4] |= static_cast<std::uint8_t>(code << (6 - 2 * (x % 4)));
            rgba[y].insert(rgba[y].end(), {palette[code].red, palette[code].green, palette[code].blue,
                                           code < alpha.size() ? alpha[code] : std::uint8_t{255}});
        }
    }
    TemporaryFolder folder;
    ASSERT_TRUE(
        writeRawPng(folder / "indexed.png", width, height, 2, PNG_COLOR_TYPE_PALETTE, false, packed, palette, alpha));
    ASSERT_TRUE(writeRawPng(folder / "rgba.png", width, height, 8, PNG_COLOR_TYPE_RGBA, false, rgba));
    for (const char* name : {"indexed", "rgba"}) {
        PrintCommand command;
        command.image = folder / (std::string(name) + ".png");
        command.outputFolder = folder / name;
        command.threads = 1;
        command.quiet = true;
        runPrint(command);
    }
    for (const char* file : {"page.hcr", "preview.png"})
        EXPECT_EQ(pages::testing::readFile(folder / "indexed" / file), pages::testing::readFile(folder / "rgba" / file))
            << file;
}

TEST(PngInput, StreamsRowsInOrder) {
    TemporaryFolder folder;
    std::vector<std::vector<std::uint8_t>> rows;
    for (std::uint8_t y = 0; y < 5; ++y) rows.push_back({y, y, y});
    ASSERT_TRUE(writeRawPng(folder / "tall.png", 1, 5, 8, PNG_COLOR_TYPE_RGB, false, rows));
    auto source = openImage(folder / "tall.png");
    std::vector<std::uint8_t> band(6);
    source->readRows(band);
    EXPECT_EQ(band, (std::vector<std::uint8_t>{0, 0, 0, 1, 1, 1}));
    source->readRows(band);
    EXPECT_EQ(band, (std::vector<std::uint8_t>{2, 2, 2, 3, 3, 3}));
}

TEST(PngInput, DamagedFilesGiveOneLineErrors) {
    TemporaryFolder folder;
    std::vector<std::vector<std::uint8_t>> rows(64, std::vector<std::uint8_t>(64 * 3));
    for (size_t y = 0; y < rows.size(); ++y)
        for (size_t x = 0; x < rows[y].size(); ++x) rows[y][x] = static_cast<std::uint8_t>(x * 7 + y * 13);
    ASSERT_TRUE(writeRawPng(folder / "whole.png", 64, 64, 8, PNG_COLOR_TYPE_RGB, false, rows));
    const std::string whole = pages::testing::readFile(folder / "whole.png");

    const auto truncated = folder.writeFile("truncated.png", whole.substr(0, whole.size() / 2));
    EXPECT_EQ(errorOpening(truncated).rfind(truncated.string() + ": corrupt or truncated PNG (", 0), 0u)
        << errorOpening(truncated);

    std::string flipped = whole;
    flipped[40] = static_cast<char>(flipped[40] ^ 0x55);  // inside the IHDR, breaks its CRC
    const auto corrupt = folder.writeFile("corrupt.png", flipped);
    EXPECT_NE(errorOpening(corrupt).find("corrupt or truncated PNG"), std::string::npos);

    EXPECT_EQ(errorOpening(folder / "missing.png"),
              "cannot open " + (folder / "missing.png").string() + ": No such file or directory");
    const auto text = folder.writeFile("notes.png", "just some text, not an image");
    EXPECT_EQ(errorOpening(text), text.string() + ": not a PNG, JPEG, TIFF, PPM or PGM image");
}

TEST(PnmInput, ReadsPpmAndPgmWithCommentsAndMaxval) {
    TemporaryFolder folder;
    const auto ppm =
        folder.writeFile("a.ppm", std::string("P6\n# made by hand\n2 1\n255\n") + "\x0a\x14\x1e\xff\xfe\xfd");
    auto colour = openImage(ppm);
    EXPECT_EQ(readAll(*colour), (std::vector<Bgr>{{30, 20, 10}, {253, 254, 255}}));

    const auto pgm = folder.writeFile("a.pgm", std::string("P5 3 1 15\n") + std::string("\x00\x0f\x08", 3));
    auto grey = openImage(pgm);
    EXPECT_EQ(readAll(*grey), (std::vector<Bgr>{{0, 0, 0}, {255, 255, 255}, {136, 136, 136}}));
}

TEST(PnmInput, DamagedFilesGiveOneLineErrors) {
    TemporaryFolder folder;
    const auto truncated = folder.writeFile("short.ppm", "P6\n4 4\n255\n\x01\x02\x03");
    EXPECT_EQ(errorOpening(truncated), truncated.string() + ": truncated PNM file (pixel data ends early)");
    const auto noHeight = folder.writeFile("header.ppm", "P6\n4 x\n255\n");
    EXPECT_EQ(errorOpening(noHeight), noHeight.string() + ": corrupt PNM header (no height)");
    const auto wide = folder.writeFile("wide.pgm", "P5\n2 2\n70000\n");
    EXPECT_EQ(errorOpening(wide), wide.string() + ": PNM maxval must be 1 to 65535, not 70000");
    const auto empty = folder.writeFile("empty.pgm", "P5\n0 2\n255\n");
    EXPECT_EQ(errorOpening(empty), empty.string() + ": empty image (0x2)");
    const auto headerOnly = folder.writeFile("cut.pgm", "P5\n2 2\n255");
    EXPECT_EQ(errorOpening(headerOnly), headerOnly.string() + ": truncated PNM file (no pixel data)");
    const auto sample = folder.writeFile("sample.pgm", std::string("P5\n1 1\n100\n") + "\x65");
    EXPECT_EQ(errorOpening(sample), sample.string() + ": corrupt PNM file (sample above maxval)");
}

TEST(PlaneFiles, PbmRowsAreThePackedRowAndPgmInvertsLevels) {
    std::vector<std::uint8_t> out;
    appendPlaneFileRow(std::vector<std::uint8_t>{0xA5, 0xFF}, 12, 1, out);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{0xA5, 0xFF}));
    out.clear();
    appendPlaneFileRow(std::vector<std::uint8_t>{0x1B, 0xC0}, 5, 2, out);  // levels 0 1 2 3 3
    EXPECT_EQ(out, (std::vector<std::uint8_t>{3, 2, 1, 0, 0}));
    out.clear();
    appendPlaneFileRow(std::vector<std::uint8_t>{0x0F, 0x70}, 3, 4, out);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{15, 0, 8}));
    EXPECT_EQ(planeFileHeader(12, 3, 1), "P4\n12 3\n");
    EXPECT_EQ(planeFileHeader(5, 3, 4), "P5\n5 3\n15\n");
}

TEST(TestPage, RendersEveryRegionDeterministically) {
    auto first = makeTestPage({400, 566});
    auto second = makeTestPage({400, 566});
    const auto a = readAll(*first), b = readAll(*second);
    EXPECT_EQ(a, b);
    // Paper margin, the 100 % patch of the stepped part of the cyan ramp,
    // and the black of the fine-line area are all present.
    EXPECT_EQ(a.front(), (Bgr{255, 255, 255}));
    const size_t cyanRow = 34, cyanColumn = 380;
    EXPECT_EQ(a[cyanRow * 400 + cyanColumn], (Bgr{255, 255, 0}));
    EXPECT_TRUE(std::count(a.begin(), a.end(), Bgr{0, 0, 0}) > 1000);
    // The photo area has many distinct colours: it is smooth, not flat.
    std::vector<std::uint32_t> colours;
    for (size_t y = 566 * 45 / 100; y < 566 * 65 / 100; ++y)
        for (size_t x = 20; x < 380; ++x) {
            const Bgr p = a[y * 400 + x];
            colours.push_back(std::uint32_t{p.red} << 16 | std::uint32_t{p.green} << 8 | p.blue);
        }
    std::sort(colours.begin(), colours.end());
    EXPECT_GT(std::unique(colours.begin(), colours.end()) - colours.begin(), 2000);
}

TEST(TestPage, BandsJoinToTheWholePage) {
    auto whole = makeTestPage({97, 61});
    auto banded = makeTestPage({97, 61});
    std::vector<std::uint8_t> all(97 * 61 * 3), parts;
    whole->readRows(all);
    for (std::uint32_t rows : {7u, 30u, 24u}) {
        std::vector<std::uint8_t> band(97 * 3 * rows);
        banded->readRows(band);
        parts.insert(parts.end(), band.begin(), band.end());
    }
    EXPECT_EQ(all, parts);
}

// The page's bytes are pinned: rendering it faster (terms per row and per
// column, the star's spokes taken along a row) must not move a pixel. The
// hashes are of the page as each pixel's own formula renders it. x87
// arithmetic (32-bit x86) keeps extra precision where it likes, which moves
// pixels that lie exactly on a spoke's edge, so it is not held to them.
TEST(TestPage, BytesArePinned) {
    if (FLT_EVAL_METHOD != 0) GTEST_SKIP() << "double arithmetic with excess precision";
    struct Case {
        PageSize size;
        std::uint64_t hash;
    };
    const Case cases[] = {
        {{2480, 3508}, 0x48c93e88dbbaa0b6},  // A4 at 300 dpi
        {{2550, 3300}, 0xaa5c01cbcdde43a4},  // Letter
        {{333, 271}, 0x0039c03ac682a592},   {{100, 1000}, 0x7f43cfadc076f22c},  {{1000, 100}, 0xa383d4cf3b68a634},
        {{7, 9}, 0x5825d7718490f01a},       {{1237, 1751}, 0x80b22954691b60af},
    };
    for (const Case& c : cases) {
        auto page = makeTestPage(c.size);
        std::vector<std::uint8_t> rows(size_t{c.size.width} * 3 * 64);
        std::uint64_t hash = 1469598103934665603u;  // FNV-1a
        for (std::uint32_t y = 0; y < c.size.height; y += 64) {
            const auto band = std::span(rows).first(size_t{c.size.width} * 3 * std::min(64u, c.size.height - y));
            page->renderRows(y, band);
            for (const std::uint8_t byte : band) hash = (hash ^ byte) * 1099511628211u;
        }
        EXPECT_EQ(hash, c.hash) << c.size.width << " x " << c.size.height;
    }
}

}  // namespace
}  // namespace huecl::tool

#include "pages/writers/output_files.h"
#include "pages/writers/page_header.h"
#include "pages/writers/raster_container.h"
#include "pages/tests/temporary_folder.h"
#include "pages/page_error.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace huecl::pages {
namespace {

using testing::TemporaryFolder;

RasterHeader smallHeader() {
    RasterHeader h;
    h.sourceWidth = 10, h.sourceHeight = 5, h.sourceResX = h.sourceResY = 300;
    h.deviceResX = h.deviceResY = 600, h.deviceWidth = 20, h.deviceHeight = 10;
    h.bitsPerDot = 2, h.planeCount = 4, h.lineBytes = 5, h.bandCount = 2, h.bandHeight = 6;
    h.ditherMode = 3, h.screenKind = 1, h.matchMethod = 1, h.blackMode = 2, h.gridSize = 17;
    h.brightness = -12, h.balanceRed = 29, h.density = -5, h.lzsBudget = 200;
    return h;
}

std::vector<std::vector<std::uint8_t>> streamsFor(std::uint8_t seed) {
    return {{seed, 1, 2}, {}, {seed, seed}, std::vector<std::uint8_t>(40, seed)};
}

RasterHeader profiledHeader() {
    RasterHeader h = smallHeader();
    h.fromProfile = 1;
    h.profilePath = "/usr/share/color/icc/some printer.icc";
    for (size_t i = 0; i < h.profileId.size(); ++i) h.profileId[i] = static_cast<std::uint8_t>(0xA0 + 7 * i);
    return h;
}

std::filesystem::path writeRaster(const TemporaryFolder& folder, const RasterHeader& header = smallHeader()) {
    OutputFolder output(folder.path());
    auto& file = output.create("page.hcr");
    RasterWriter writer(file, header);
    writer.writeBand(6, streamsFor(7));
    writer.writeBand(4, streamsFor(9));
    writer.finish();
    output.commit();
    return folder / "page.hcr";
}

std::string errorReading(const std::filesystem::path& path) {
    try {
        RasterReader reader(path);
        RasterBand band;
        while (reader.readBand(band)) {}
    } catch (const PageError& error) {
        return error.what();
    }
    return "no error";
}

TEST(RasterContainer, RoundTripsHeaderAndBands) {
    TemporaryFolder folder;
    RasterReader reader(writeRaster(folder));
    EXPECT_EQ(reader.header(), smallHeader());
    RasterBand band;
    ASSERT_TRUE(reader.readBand(band));
    EXPECT_EQ(band.deviceRows, 6u);
    for (size_t plane = 0; plane < 4; ++plane) EXPECT_EQ(band.streams[plane], streamsFor(7)[plane]);
    ASSERT_TRUE(reader.readBand(band));
    EXPECT_EQ(band.deviceRows, 4u);
    EXPECT_EQ(band.streams[3], streamsFor(9)[3]);
    EXPECT_FALSE(reader.readBand(band));
}

RasterHeader sheetHeader() {
    RasterHeader h = smallHeader();
    h.sheetWidth = 30, h.sheetHeight = 14, h.sheetX = 6, h.sheetY = 3;
    return h;
}

// A page that knows its sheet is a version 2 container, and reads back
// with it; one that does not stays version 1.
TEST(RasterContainer, RecordsTheSheetInVersionTwo) {
    TemporaryFolder folder;
    const auto path = writeRaster(folder, sheetHeader());
    EXPECT_EQ(testing::readFile(path).substr(0, 8), "HUECLRS2");
    RasterReader reader(path);
    EXPECT_EQ(reader.header(), sheetHeader());
    EXPECT_TRUE(reader.header().hasSheet());
    RasterBand band;
    ASSERT_TRUE(reader.readBand(band));
    EXPECT_EQ(band.streams[3], streamsFor(7)[3]);
    TemporaryFolder plain;
    EXPECT_EQ(testing::readFile(writeRaster(plain)).substr(0, 8), "HUECLRST");

    // A sheet that does not hold the raster is refused by the writer.
    for (const auto& [width, height, x, y] :
         {std::array<std::uint32_t, 4>{19, 14, 0, 0}, {30, 9, 0, 0}, {30, 14, 11, 0}, {30, 14, 0, 5}, {0, 14, 0, 0}}) {
        RasterHeader h = smallHeader();
        h.sheetWidth = width, h.sheetHeight = height, h.sheetX = x, h.sheetY = y;
        EXPECT_THROW(RasterWriter([](std::span<const std::uint8_t>) {}, h), std::logic_error)
            << width << " " << height << " " << x << " " << y;
    }
}

// A version 2 header whose sheet was damaged after its checksum was made
// (as a writer with a fault would make it) is refused as impossible.
TEST(RasterContainer, RefusesASheetThatDoesNotHoldTheRaster) {
    TemporaryFolder folder;
    std::string bytes = testing::readFile(writeRaster(folder, sheetHeader()));
    const size_t sheetAt = 8 + 4 * rasterHeaderFields, checksumAt = sheetAt + 4 * rasterSheetFields;
    bytes[sheetAt] = 10;  // a sheet 10 dots wide under a raster of 20
    const uLong crc =
        crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(checksumAt));
    for (int i = 0; i < 4; ++i) bytes[checksumAt + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
    const auto spoilt = folder.writeFile("spoilt.hcr", bytes);
    EXPECT_EQ(errorReading(spoilt), spoilt.string() + ": corrupt raster header (impossible geometry)");
}

// A page written by huecl before containers recorded their sheet (version
// 1, `huecl print --size 8x6 --band-height 8`): it still reads, as a page
// that is its whole sheet, and a page without a sheet is written the same,
// byte for byte.
TEST(RasterContainer, ReadsAndWritesVersionOneAsBefore) {
    const unsigned char versionOne[] = {
        0x48, 0x55, 0x45, 0x43, 0x4c, 0x52, 0x53, 0x54, 0x08, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x2c, 0x01,
        0x00, 0x00, 0x2c, 0x01, 0x00, 0x00, 0x58, 0x02, 0x00, 0x00, 0x58, 0x02, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00,
        0x0c, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x02, 0x00,
        0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0a, 0x00, 0x00, 0x00, 0x0a, 0x00, 0x00, 0x00,
        0x0a, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0xa1, 0x85, 0x41, 0x6a, 0x08, 0x00, 0x00, 0x00, 0x1e, 0x00, 0x00, 0x00, 0x13, 0xf5, 0xef, 0x1a,
        0x00, 0x60, 0x78, 0x1e, 0x00, 0x7e, 0x3f, 0xc1, 0x80, 0x01, 0xfb, 0xfd, 0x86, 0xc0, 0x7f, 0xb0, 0x00, 0x6c,
        0x37, 0xf9, 0x00, 0x00, 0x0f, 0x01, 0x66, 0x81, 0xe0, 0x01, 0x81, 0x80, 0x1e, 0x00, 0x00, 0x00, 0xdf, 0x39,
        0xb1, 0xa4, 0x00, 0x3f, 0x00, 0x6f, 0xf0, 0x03, 0xfd, 0x9e, 0xd3, 0x00, 0x60, 0x7b, 0x1a, 0x0f, 0xde, 0x03,
        0xf0, 0x01, 0xc1, 0xfe, 0x0e, 0xc8, 0x00, 0xf0, 0x00, 0x3d, 0x80, 0x03, 0xc0, 0x00, 0x19, 0x00, 0x00, 0x00,
        0xaf, 0x40, 0x60, 0x39, 0x00, 0x60, 0x78, 0x18, 0x00, 0x7f, 0xb0, 0xf1, 0x63, 0xfd, 0x9f, 0x8f, 0xc7, 0xe0,
        0x01, 0x79, 0x8f, 0x30, 0x40, 0x0c, 0x7e, 0x00, 0x7f, 0xe0, 0x00, 0x0e, 0x00, 0x00, 0x00, 0x79, 0x1f, 0x61,
        0x09, 0x00, 0x60, 0x7f, 0xc0, 0x58, 0x03, 0x21, 0xb0, 0x07, 0xc0, 0xf6, 0x1b, 0xc3, 0x00, 0x04, 0x00, 0x00,
        0x00, 0x05, 0x00, 0x00, 0x00, 0xa0, 0x1a, 0x91, 0xb5, 0x00, 0x60, 0x7d, 0xf0, 0x00, 0x05, 0x00, 0x00, 0x00,
        0xa0, 0x1a, 0x91, 0xb5, 0x00, 0x60, 0x7d, 0xf0, 0x00, 0x05, 0x00, 0x00, 0x00, 0xa0, 0x1a, 0x91, 0xb5, 0x00,
        0x60, 0x7d, 0xf0, 0x00, 0x10, 0x00, 0x00, 0x00, 0x39, 0xbc, 0xcc, 0x90, 0x00, 0x03, 0xc0, 0x0f, 0xfc, 0x26,
        0x00, 0x00, 0x0f, 0x00, 0x00, 0x00, 0x00, 0xf0, 0xc0, 0x00, 0x48, 0x55, 0x45, 0x43, 0x4c, 0x45, 0x4e, 0x44};
    TemporaryFolder folder;
    const auto path =
        folder.writeFile("version1.hcr", std::string(reinterpret_cast<const char*>(versionOne), sizeof versionOne));
    RasterReader reader(path);
    const RasterHeader h = reader.header();
    EXPECT_EQ(h.sourceWidth, 8u);
    EXPECT_EQ(h.sourceHeight, 6u);
    EXPECT_EQ(h.deviceWidth, 16u);
    EXPECT_FALSE(h.hasSheet());
    std::string rewritten;
    RasterWriter writer([&](std::span<const std::uint8_t> bytes) { rewritten.append(bytes.begin(), bytes.end()); }, h);
    RasterBand band;
    while (reader.readBand(band))
        writer.writeBand(band.deviceRows, std::vector<std::vector<std::uint8_t>>(band.streams.begin(),
                                                                                 band.streams.begin() + h.planeCount));
    writer.finish();
    EXPECT_FALSE(reader.nextPage());
    EXPECT_EQ(rewritten, std::string(reinterpret_cast<const char*>(versionOne), sizeof versionOne));
}

// Versions mix in one document: a version 1 page after a version 2 one.
TEST(RasterContainer, ReadsPagesOfBothVersionsInOneFile) {
    TemporaryFolder first, second;
    const std::string bytes =
        testing::readFile(writeRaster(first, sheetHeader())) + testing::readFile(writeRaster(second));
    TemporaryFolder folder;
    RasterReader reader(folder.writeFile("mixed.hcr", bytes));
    RasterBand band;
    EXPECT_TRUE(reader.header().hasSheet());
    while (reader.readBand(band)) {}
    ASSERT_TRUE(reader.nextPage());
    EXPECT_EQ(reader.header(), smallHeader());
    while (reader.readBand(band)) {}
    EXPECT_FALSE(reader.nextPage());
}

TEST(RasterContainer, RecordsTheProfileOfItsColourTable) {
    TemporaryFolder folder;
    RasterReader reader(writeRaster(folder, profiledHeader()));
    EXPECT_EQ(reader.header(), profiledHeader());
    RasterBand band;
    ASSERT_TRUE(reader.readBand(band));
    EXPECT_EQ(band.streams[0], streamsFor(7)[0]);
}

// The word after lzsBudget was reserved and zero in the first containers;
// it now says the page came from CMYK pixels and was never matched.
TEST(RasterContainer, RecordsAnUnmatchedCmykPageWhereOldContainersHeldZero) {
    constexpr size_t flagAt = 8 + 4 * 29;
    TemporaryFolder folder;
    const std::string matched = testing::readFile(writeRaster(folder));
    EXPECT_EQ(matched.substr(flagAt, 4), std::string(4, '\0')) << "a matched page must read in older readers";

    RasterHeader cmyk = smallHeader();
    cmyk.cmykSource = 1;
    std::string bytes = testing::readFile(writeRaster(folder, cmyk));
    EXPECT_EQ(RasterReader(folder / "page.hcr").header(), cmyk);

    // Any other value is refused even under a good checksum.
    bytes[flagAt] = 2;
    const size_t checksumAt = flagAt + 4;
    const auto crc = static_cast<std::uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), checksumAt));
    for (int i = 0; i < 4; ++i) bytes[checksumAt + i] = static_cast<char>(crc >> (8 * i));
    const auto path = folder.writeFile("two.hcr", bytes);
    EXPECT_EQ(errorReading(path), path.string() + ": corrupt raster header (impossible geometry)");
}

// A header sizes every buffer of its reader: one that contradicts itself is
// refused before any band is read, even under a good checksum.
TEST(RasterContainer, RefusesGeometryThatContradictsItself) {
    struct Case {
        const char* what;
        void (*spoil)(RasterHeader&);
    };
    const Case cases[] = {
        {"width not the source's at these resolutions",
         [](RasterHeader& h) { h.deviceWidth = 0xFFFFFFFFu, h.lineBytes = 0x20000000u, h.bitsPerDot = 1; }},
        {"line bytes not the width's", [](RasterHeader& h) { h.lineBytes = 6; }},
        {"more bands than rows", [](RasterHeader& h) { h.bandCount = 11; }},
        {"bands too short for the rows", [](RasterHeader& h) { h.bandHeight = 4; }},
        {"no source resolution", [](RasterHeader& h) { h.sourceResX = 0; }},
    };
    for (const Case& test : cases) {
        RasterHeader header = smallHeader();
        test.spoil(header);
        std::string bytes;
        RasterWriter writer([&](std::span<const std::uint8_t> piece) { bytes.append(piece.begin(), piece.end()); },
                            header);
        TemporaryFolder folder;
        const auto path = folder.writeFile("spoilt.hcr", bytes);
        EXPECT_EQ(errorReading(path), path.string() + ": corrupt raster header (impossible geometry)") << test.what;
    }
}

TEST(RasterContainer, HeaderSaysWhetherThePageWasMatched) {
    const PageSettings settings;
    for (const auto& [pixels, cmykSource] : {std::pair{SourcePixels::bgr, 0u}, std::pair{SourcePixels::cmyk, 1u}}) {
        PageGeometry geometry;
        geometry.sourcePixels = pixels;
        EXPECT_EQ(rasterHeaderFor(settings, geometry, 0, std::nullopt).cmykSource, cmykSource);
    }
}

TEST(RasterContainer, EveryDamagedByteIsRefused) {
    RasterHeader cmyk = smallHeader();
    cmyk.cmykSource = 1;
    for (const RasterHeader& header : {smallHeader(), profiledHeader(), cmyk}) {
        TemporaryFolder folder;
        const std::string good = testing::readFile(writeRaster(folder, header));
        // Flip each byte in turn: no damage may pass unnoticed.
        for (size_t offset = 0; offset < good.size(); ++offset) {
            std::string bad = good;
            bad[offset] = static_cast<char>(bad[offset] ^ 0x20);
            const auto path = folder.writeFile("bad.hcr", bad);
            EXPECT_NE(errorReading(path), "no error") << "byte " << offset << " of " << header.profilePath;
        }
    }
}

TEST(RasterContainer, RefusesAnOverlongProfilePathBeforeReadingIt) {
    TemporaryFolder folder;
    std::string bytes = testing::readFile(writeRaster(folder, profiledHeader()));
    // The path length follows the magic, 30 words and the 16-byte ID.
    const size_t lengthAt = 8 + 4 * 30 + 16;
    bytes[lengthAt + 3] = 0x7F;
    const auto path = folder.writeFile("long-path.hcr", bytes);
    EXPECT_EQ(errorReading(path), path.string() + ": corrupt raster header (profile path of " +
                                      std::to_string(0x7F000000u + 37u) + " bytes)");
}

TEST(RasterContainer, TruncationAndStrangersGiveOneLineErrors) {
    TemporaryFolder folder;
    const std::string good = testing::readFile(writeRaster(folder));
    const auto cut = folder.writeFile("cut.hcr", good.substr(0, good.size() - 20));
    EXPECT_EQ(errorReading(cut), cut.string() + ": truncated raster file (in the band 1)");
    const auto longer = folder.writeFile("long.hcr", good + "x");
    EXPECT_EQ(errorReading(longer), longer.string() + ": corrupt raster file (bad trailer)");
    const auto stranger = folder.writeFile("png.hcr",
                                           "\x89PNG\r\n\x1a\n and so on, long enough to fill a header......"
                                           "...............................................................");
    EXPECT_EQ(errorReading(stranger), stranger.string() + ": not a huecl raster file");
    const auto empty = folder.writeFile("empty.hcr", "");
    EXPECT_EQ(errorReading(empty), empty.string() + ": truncated raster file (in the header)");
}

// Two pages in one file, as the CUPS filter writes them.
std::string twoPages() {
    std::string bytes;
    const auto append = [&](std::span<const std::uint8_t> piece) { bytes.append(piece.begin(), piece.end()); };
    RasterHeader second = smallHeader();
    second.bandCount = 1, second.deviceHeight = 3, second.planeCount = 1;
    RasterWriter first(append, smallHeader());
    first.writeBand(6, streamsFor(7));
    first.writeBand(4, streamsFor(9));
    first.finish();
    RasterWriter next(append, second);
    next.writeBand(3, std::vector<std::vector<std::uint8_t>>{{5, 5}});
    next.finish();
    return bytes;
}

TEST(RasterContainer, PagesFollowOneAnother) {
    TemporaryFolder folder;
    RasterReader reader(folder.writeFile("pages.hcr", twoPages()));
    RasterBand band;
    EXPECT_EQ(reader.pageNumber(), 1u);
    EXPECT_EQ(reader.header(), smallHeader());
    EXPECT_THROW(reader.nextPage(), std::logic_error) << "the first page still has bands";
    ASSERT_TRUE(reader.readBand(band));
    ASSERT_TRUE(reader.readBand(band));
    EXPECT_FALSE(reader.readBand(band));
    ASSERT_TRUE(reader.nextPage());
    EXPECT_EQ(reader.pageNumber(), 2u);
    EXPECT_EQ(reader.header().planeCount, 1u);
    ASSERT_TRUE(reader.readBand(band));
    EXPECT_EQ(band.streams[0], (std::vector<std::uint8_t>{5, 5}));
    EXPECT_FALSE(reader.readBand(band));
    EXPECT_FALSE(reader.nextPage());
}

TEST(RasterContainer, DamageInALaterPageIsFound) {
    TemporaryFolder folder;
    const std::string good = twoPages();
    const size_t secondPage = good.find("HUECLRST", 8);
    ASSERT_NE(secondPage, std::string::npos);
    auto errorReadingPages = [](const std::filesystem::path& path) -> std::string {
        try {
            RasterReader reader(path);
            RasterBand band;
            do {
                while (reader.readBand(band)) {}
            } while (reader.nextPage());
        } catch (const PageError& error) {
            return error.what();
        }
        return "no error";
    };
    const auto cutHeader = folder.writeFile("cut.hcr", good.substr(0, secondPage + 20));
    EXPECT_EQ(errorReadingPages(cutHeader), cutHeader.string() + ": truncated raster file (in the header)");
    const auto cutBand = folder.writeFile("band.hcr", good.substr(0, good.size() - 10));
    EXPECT_EQ(errorReadingPages(cutBand), cutBand.string() + ": truncated raster file (in the page 2 band 0)");
    const auto noise = folder.writeFile("noise.hcr", good.substr(0, secondPage) + "HUECLRSX and more bytes");
    EXPECT_EQ(errorReadingPages(noise), noise.string() + ": corrupt raster file (bad trailer)");
    std::string flipped = good;
    flipped[secondPage + 12] ^= 1;
    const auto spoilt = folder.writeFile("spoilt.hcr", flipped);
    EXPECT_EQ(errorReadingPages(spoilt), spoilt.string() + ": corrupt raster header (checksum mismatch)");
}

TEST(OutputFolder, FilesAppearOnlyOnCommit) {
    TemporaryFolder folder;
    const auto target = folder / "new";
    {
        OutputFolder output(target);
        output.create("a.txt").write(std::string("half"));
        EXPECT_TRUE(std::filesystem::exists(target));
        // Leaving without commit, as an error would.
    }
    EXPECT_FALSE(std::filesystem::exists(target)) << "a folder the run created is removed again";

    std::filesystem::create_directories(target);
    folder.writeFile("new/keep.txt", "older output");
    {
        OutputFolder output(target);
        output.create("a.txt").write(std::string("half"));
    }
    EXPECT_EQ(testing::namesIn(target), std::vector<std::string>{"keep.txt"});
    {
        OutputFolder output(target);
        output.create("a.txt").write(std::string("whole"));
        output.create("b.txt").write(std::string("too"));
        output.commit();
    }
    EXPECT_EQ(testing::namesIn(target), (std::vector<std::string>{".huecl-outputs", "a.txt", "b.txt", "keep.txt"}));
    EXPECT_EQ(testing::readFile(target / "a.txt"), "whole");
}

}  // namespace
}  // namespace huecl::pages

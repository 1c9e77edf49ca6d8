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

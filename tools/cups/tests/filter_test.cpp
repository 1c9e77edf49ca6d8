// The filter's units on raster streams written with libcups itself: pixel
// formats, what reaches which plane, multi-page jobs, broken streams, and
// the driver's option choices.
#include "commands.h"
#include "driver_options.h"
#include "filter_job.h"
#include "pages/driver_choices.h"
#include "pages/readers/cups_raster_source.h"
#include "pages/readers/raster_stream.h"
#include "pages/readers/test_page.h"
#include "pages/lzs_codec.h"
#include "pages/tests/temporary_folder.h"
#include "pages/page_error.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <cstring>
#include <cstddef>
#include <cstdlib>
#include <unistd.h>

#include <map>
#include <tuple>
#include <variant>

namespace huecl::cups {
namespace {

using namespace huecl::pages;

using pages::testing::TemporaryFolder;

cups_page_header2_t pageHeader(cups_cspace_t colourSpace, std::uint32_t channels, std::uint32_t width,
                               std::uint32_t height) {
    cups_page_header2_t h{};
    h.HWResolution[0] = h.HWResolution[1] = 300;
    h.cupsWidth = width, h.cupsHeight = height;
    h.cupsBitsPerColor = 8, h.cupsBitsPerPixel = 8 * channels, h.cupsBytesPerLine = width * channels;
    h.cupsColorOrder = CUPS_ORDER_CHUNKED, h.cupsColorSpace = colourSpace;
    h.NumCopies = 1;
    return h;
}

struct RasterPage {
    cups_page_header2_t header;
    std::vector<std::uint8_t> pixel;         // every pixel of the page
    std::uint32_t rowsWritten = UINT32_MAX;  // fewer than the header's: a cut stream
};

// Writes the pages with libcups, as a raster image processor would.
// Compressed streams hold back runs of equal rows until they end, so a cut
// at a known row needs an uncompressed one.
std::filesystem::path writeRasterStream(const TemporaryFolder& folder, const std::vector<RasterPage>& pages,
                                        cups_mode_t mode = CUPS_RASTER_WRITE_COMPRESSED) {
    const auto path = folder / "job.ras";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    cups_raster_t* raster = cupsRasterOpen(fd, mode);
    for (RasterPage page : pages) {
        EXPECT_TRUE(cupsRasterWriteHeader2(raster, &page.header));
        std::vector<std::uint8_t> line;
        for (std::uint32_t x = 0; x < page.header.cupsWidth; ++x)
            line.insert(line.end(), page.pixel.begin(), page.pixel.end());
        line.resize(page.header.cupsBytesPerLine);
        for (std::uint32_t row = 0; row < std::min(page.header.cupsHeight, page.rowsWritten); ++row)
            EXPECT_EQ(cupsRasterWritePixels(raster, line.data(), static_cast<unsigned>(line.size())), line.size());
    }
    cupsRasterClose(raster);
    ::close(fd);
    return path;
}

struct PrintedJob {
    std::uint32_t pages = 0;
    std::vector<pages::RasterHeader> headers;
    std::vector<std::array<std::uint64_t, 4>> inkedBytes;  // per page and plane: bytes with any dot set
    std::vector<std::uint8_t> planes;                      // every decoded band of every plane, in order
    std::uint64_t outputBytes = 0;
    std::string log;
};

// Runs the job and reads what it wrote back with the tool's container reader.
PrintedJob printJob(const TemporaryFolder& folder, const std::filesystem::path& stream, const DriverSettings& driver) {
    std::vector<std::uint8_t> output;
    char* logText = nullptr;
    size_t logSize = 0;
    std::FILE* log = open_memstream(&logText, &logSize);
    const int fd = ::open(stream.c_str(), O_RDONLY);
    PrintedJob job;
    try {
        RasterStream raster(fd);
        job.pages =
            printRasterJob(
                raster, driver, 2,
                [&](std::span<const std::uint8_t> bytes) { output.insert(output.end(), bytes.begin(), bytes.end()); },
                log)
                .pages;
    } catch (...) {
        ::close(fd);
        std::fclose(log);
        std::free(logText);
        throw;
    }
    ::close(fd);
    std::fclose(log);
    job.log = logText;
    std::free(logText);

    job.outputBytes = output.size();
    const auto containers = folder.writeFile("job.hcr", std::string(output.begin(), output.end()));
    pages::RasterReader reader(containers);
    pages::DecompressionHistory history;
    do {
        const pages::RasterHeader& h = reader.header();
        job.headers.push_back(h);
        std::array<std::uint64_t, 4> inked{};
        pages::RasterBand band;
        while (reader.readBand(band))
            for (std::uint32_t plane = 0; plane < h.planeCount; ++plane) {
                std::vector<std::uint8_t> rows(size_t{band.deviceRows} * h.lineBytes);
                pages::decompressBlock(band.streams[plane], rows, history, "band");
                inked[plane] += static_cast<std::uint64_t>(
                    std::count_if(rows.begin(), rows.end(), [](std::uint8_t b) { return b != 0; }));
                job.planes.insert(job.planes.end(), rows.begin(), rows.end());
            }
        job.inkedBytes.push_back(inked);
    } while (reader.nextPage());
    return job;
}

DriverSettings modelDriver() {
    DriverSettings driver;
    driver.table = TableSource::model;
    return driver;
}

TEST(CupsPageSource, ConvertsEachColourSpaceToThePipelinesPixels) {
    struct Case {
        const char* name;
        cups_cspace_t space;
        std::vector<std::uint8_t> raster, expected;
        pages::SourcePixels pixels;
    };
    const Case cases[] = {
        {"RGB", CUPS_CSPACE_RGB, {10, 20, 30}, {30, 20, 10}, pages::SourcePixels::bgr},
        {"sRGB", CUPS_CSPACE_SRGB, {1, 2, 3}, {3, 2, 1}, pages::SourcePixels::bgr},
        {"W", CUPS_CSPACE_W, {77}, {77, 77, 77}, pages::SourcePixels::bgr},
        {"SW", CUPS_CSPACE_SW, {200}, {200, 200, 200}, pages::SourcePixels::bgr},
        {"K", CUPS_CSPACE_K, {99}, {0, 0, 0, 99}, pages::SourcePixels::cmyk},
        {"CMYK", CUPS_CSPACE_CMYK, {5, 6, 7, 8}, {5, 6, 7, 8}, pages::SourcePixels::cmyk},
    };
    for (const Case& c : cases) {
        TemporaryFolder folder;
        const auto channels = static_cast<std::uint32_t>(c.raster.size());
        const auto path = writeRasterStream(folder, {{pageHeader(c.space, channels, 7, 3), c.raster}});
        const int fd = ::open(path.c_str(), O_RDONLY);
        cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
        cups_page_header2_t header;
        ASSERT_TRUE(cupsRasterReadHeader2(raster, &header)) << c.name;
        CupsPageSource source(raster, header, 1);
        EXPECT_EQ(source.pixels(), c.pixels) << c.name;
        std::vector<std::uint8_t> rows(7 * 3 * c.expected.size());
        source.readRows(rows);
        for (size_t i = 0; i < rows.size(); ++i)
            ASSERT_EQ(rows[i], c.expected[i % c.expected.size()]) << c.name << " byte " << i;
        cupsRasterClose(raster);
        ::close(fd);
    }
}

// Every pixel of a row keeps its own colour, its bytes reversed, at widths
// whose rows end in one, two or several pixels: the last pixels of a row
// are converted apart from the others, which go five at a time.
TEST(CupsPageSource, ReversesEachRgbPixelInPlace) {
    for (const std::uint32_t width : {1u, 2u, 3u, 5u, 6u, 7u, 11u, 64u}) {
        const std::uint32_t height = 3;
        const auto colour = [](std::uint32_t x, std::uint32_t y, std::uint32_t channel) {
            return static_cast<std::uint8_t>(x * 7 + y * 61 + channel * 101 + 1);
        };
        TemporaryFolder folder;
        const auto path = folder / "rgb.ras";
        {
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
            cups_page_header2_t header = pageHeader(CUPS_CSPACE_SRGB, 3, width, height);
            ASSERT_TRUE(cupsRasterWriteHeader2(raster, &header));
            for (std::uint32_t y = 0; y < height; ++y) {
                std::vector<std::uint8_t> line;
                for (std::uint32_t x = 0; x < width; ++x)
                    for (std::uint32_t channel = 0; channel < 3; ++channel) line.push_back(colour(x, y, channel));
                ASSERT_EQ(cupsRasterWritePixels(raster, line.data(), static_cast<unsigned>(line.size())), line.size());
            }
            cupsRasterClose(raster);
            ::close(fd);
        }
        const int fd = ::open(path.c_str(), O_RDONLY);
        cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
        cups_page_header2_t header;
        ASSERT_TRUE(cupsRasterReadHeader2(raster, &header));
        CupsPageSource source(raster, header, 1);
        std::vector<std::uint8_t> rows(size_t{width} * height * 3, 0xEE);
        source.readRows(rows);
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::uint32_t x = 0; x < width; ++x)
                for (std::uint32_t channel = 0; channel < 3; ++channel)
                    ASSERT_EQ(rows[(size_t{y} * width + x) * 3 + channel], colour(x, y, 2 - channel))
                        << "width " << width << ", pixel " << x << " of row " << y << ", byte " << channel;
        cupsRasterClose(raster);
        ::close(fd);
    }
}

TEST(CupsPageSource, RefusesPagesTheDriverDoesNotPrint) {
    struct Case {
        const char* name;
        void (*spoil)(cups_page_header2_t&);
        const char* message;
    };
    const Case cases[] = {
        {"16-bit colours", [](cups_page_header2_t& h) { h.cupsBitsPerColor = 16, h.cupsBitsPerPixel = 48; },
         "bits per colour"},
        {"banded order", [](cups_page_header2_t& h) { h.cupsColorOrder = CUPS_ORDER_BANDED; }, "colour order"},
        {"Lab", [](cups_page_header2_t& h) { h.cupsColorSpace = CUPS_CSPACE_CIELab; }, "colour space 16"},
        {"line too short", [](cups_page_header2_t& h) { h.cupsBytesPerLine -= 3; }, "bytes per line"},
        {"no width", [](cups_page_header2_t& h) { h.cupsWidth = 0, h.cupsBytesPerLine = 0; }, "impossible size"},
        {"huge height", [](cups_page_header2_t& h) { h.cupsHeight = 4000000; }, "impossible size"},
        {"no resolution", [](cups_page_header2_t& h) { h.HWResolution[1] = 0; }, "resolution"},
        {"pixel size", [](cups_page_header2_t& h) { h.cupsBitsPerPixel = 32; }, "bits per pixel"},
    };
    for (const Case& c : cases) {
        cups_page_header2_t header = pageHeader(CUPS_CSPACE_RGB, 3, 10, 10);
        EXPECT_NO_THROW(checkPageHeader(header, 2));
        c.spoil(header);
        try {
            checkPageHeader(header, 2);
            ADD_FAILURE() << c.name << " passed";
        } catch (const pages::PageError& error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << c.name << ": " << error.what();
            EXPECT_TRUE(std::string(error.what()).starts_with("page 2: ")) << error.what();
        }
    }
}

// A raster stream may carry any 32-bit value in the header's colour space
// and order: both are read as the integers they are, and refused by value.
TEST(CupsPageSource, RefusesColourFieldsOutsideTheirEnumerations) {
    constexpr std::uint32_t stranger = 0x12345678;
    cups_page_header2_t header = pageHeader(CUPS_CSPACE_RGB, 3, 10, 10);
    std::memcpy(&header.cupsColorSpace, &stranger, sizeof stranger);
    EXPECT_EQ(colourSpaceOf(header), stranger);
    try {
        checkPageHeader(header, 3);
        ADD_FAILURE() << "an unknown colour space passed";
    } catch (const pages::PageError& error) {
        EXPECT_STREQ(error.what(), "page 3: colour space 305419896 is not printed (RGB, sRGB, W, SW, K and CMYK are)");
    }
    header = pageHeader(CUPS_CSPACE_CMYK, 4, 10, 10);
    std::memcpy(&header.cupsColorOrder, &stranger, sizeof stranger);
    EXPECT_EQ(colourOrderOf(header), stranger);
    EXPECT_THROW(checkPageHeader(header, 1), pages::PageError);
    // Grey needs no order: one channel is chunked whatever the field says.
    header = pageHeader(CUPS_CSPACE_K, 1, 10, 10);
    std::memcpy(&header.cupsColorOrder, &stranger, sizeof stranger);
    EXPECT_EQ(checkPageHeader(header, 1).colours, RasterColours::black);
}

TEST(FilterJob, InkReachesThePlanesOfItsColours) {
    struct Case {
        const char* name;
        cups_cspace_t space;
        std::vector<std::uint8_t> pixel;
        std::uint32_t planes;
        std::array<bool, 4> inked;  // cyan, magenta, yellow, black (black alone: first entry)
    };
    const Case cases[] = {
        {"CMYK cyan", CUPS_CSPACE_CMYK, {255, 0, 0, 0}, 4, {true, false, false, false}},
        {"CMYK black", CUPS_CSPACE_CMYK, {0, 0, 0, 255}, 4, {false, false, false, true}},
        {"CMYK paper", CUPS_CSPACE_CMYK, {0, 0, 0, 0}, 4, {false, false, false, false}},
        {"sRGB cyan", CUPS_CSPACE_SRGB, {0, 255, 255}, 4, {true, false, false, false}},
        {"sRGB yellow", CUPS_CSPACE_SRGB, {255, 255, 0}, 4, {false, false, true, false}},
        {"RGB black", CUPS_CSPACE_RGB, {0, 0, 0}, 4, {false, false, false, true}},
        {"RGB white", CUPS_CSPACE_RGB, {255, 255, 255}, 4, {false, false, false, false}},
        {"SW black", CUPS_CSPACE_SW, {0}, 1, {true}},
        {"W mid grey", CUPS_CSPACE_W, {128}, 1, {true}},
        {"W paper", CUPS_CSPACE_W, {255}, 1, {false}},
        {"K black", CUPS_CSPACE_K, {255}, 1, {true}},
    };
    // Both colour generations, the earlier one screened and diffused.
    for (const std::string halftone : {"2bit", "earlier-1bit", "earlier-diffusion"}) {
        const DriverSettings driver = driverSettingsFrom([&](const std::string& keyword) -> std::optional<std::string> {
            return keyword == "HueclHalftone"     ? std::optional(halftone)
                   : keyword == "HueclColorTable" ? std::optional<std::string>("Model")
                                                  : std::nullopt;
        });
        for (const Case& c : cases) {
            TemporaryFolder folder;
            const auto channels = static_cast<std::uint32_t>(c.pixel.size());
            const auto path = writeRasterStream(folder, {{pageHeader(c.space, channels, 64, 40), c.pixel}});
            const PrintedJob job = printJob(folder, path, driver);
            const std::string name = std::string(c.name) + ", " + halftone;
            ASSERT_EQ(job.headers.size(), 1u) << name;
            EXPECT_EQ(job.headers[0].planeCount, c.planes) << name;
            EXPECT_EQ(job.headers[0].deviceWidth, 64u) << name;
            EXPECT_EQ(job.headers[0].deviceHeight, 40u) << name;
            EXPECT_EQ(job.headers[0].engine, static_cast<std::uint32_t>(driver.page.engine)) << name;
            for (std::uint32_t plane = 0; plane < c.planes; ++plane)
                EXPECT_EQ(job.inkedBytes[0][plane] != 0, c.inked[plane]) << name << " plane " << plane;
        }
    }
}

TEST(FilterJob, EveryPageBecomesAContainerWithTheJobsSettings) {
    TemporaryFolder folder;
    auto page600 = pageHeader(CUPS_CSPACE_SRGB, 3, 50, 30);
    page600.HWResolution[0] = page600.HWResolution[1] = 600;
    const auto path = writeRasterStream(folder, {{page600, {0, 0, 255}},
                                                 {pageHeader(CUPS_CSPACE_SW, 1, 20, 300), {0}},
                                                 {pageHeader(CUPS_CSPACE_CMYK, 4, 33, 3), {0, 0, 0, 0}}});
    DriverSettings driver = modelDriver();
    driver.page.ditherMode = 1;  // 4 bits per dot
    driver.page.density = 40;
    const PrintedJob job = printJob(folder, path, driver);
    ASSERT_EQ(job.headers.size(), 3u);
    EXPECT_EQ(job.headers[0].deviceResX, 600u);
    EXPECT_EQ(job.headers[0].planeCount, 4u);
    EXPECT_EQ(job.headers[0].gridSize, 17u);
    EXPECT_EQ(job.headers[0].fromProfile, 0u);
    EXPECT_EQ(job.headers[1].planeCount, 1u);
    EXPECT_EQ(job.headers[1].deviceHeight, 300u);
    EXPECT_EQ(job.headers[1].bandCount, 3u) << "300 rows in bands of 128";
    EXPECT_EQ(job.headers[2].sourceWidth, 33u);
    EXPECT_EQ(job.headers[1].cmykSource, 0u) << "grey is matched (to black)";
    EXPECT_EQ(job.headers[2].cmykSource, 1u) << "the renderer's CMYK is not matched";
    for (const auto& h : job.headers) {
        EXPECT_EQ(h.bitsPerDot, 4u);
        EXPECT_EQ(h.density, 40);
    }
    EXPECT_NE(job.inkedBytes[0][0], 0u) << "blue prints with cyan";
    EXPECT_NE(job.inkedBytes[0][1], 0u) << "and magenta";
    EXPECT_EQ(job.inkedBytes[0][2] + job.inkedBytes[0][3], 0u) << "but neither yellow nor black";
    EXPECT_EQ(job.inkedBytes[2], (std::array<std::uint64_t, 4>{})) << "blank paper stays blank";
    for (const char* line : {"PAGE: 1 1\n", "PAGE: 2 1\n", "PAGE: 3 1\n", "colour table: built-in model",
                             "colour table: none (grey to black)", "colour table: none (CMYK from the renderer)"})
        EXPECT_NE(job.log.find(line), std::string::npos) << line << " missing from\n" << job.log;
}

TEST(FilterJob, TheBestEncoderPrintsTheSameDotsInFewerBytes) {
    TemporaryFolder folder;
    // A colour on a 2-bit screen and a grey page: repeats that the exact
    // search leaves room in.
    const auto path = writeRasterStream(folder, {{pageHeader(CUPS_CSPACE_SRGB, 3, 300, 200), {90, 160, 40}},
                                                 {pageHeader(CUPS_CSPACE_SW, 1, 257, 130), {100}}});
    DriverSettings driver = modelDriver();
    const PrintedJob exact = printJob(folder, path, driver);
    driver.lzsEncoder = LzsEncoder::best;
    const PrintedJob best = printJob(folder, path, driver);
    ASSERT_EQ(best.pages, 2u);
    EXPECT_EQ(best.headers, exact.headers);
    EXPECT_EQ(best.planes, exact.planes);
    EXPECT_LT(best.outputBytes, exact.outputBytes);
    // The saving of each page, on a DEBUG line; together the difference.
    std::uint64_t saved = 0;
    for (std::uint32_t page = 1; page <= 2; ++page) {
        const std::string prefix = "DEBUG: Page " + std::to_string(page) + ": the best LZS encoder saved ";
        const size_t at = best.log.find(prefix);
        ASSERT_NE(at, std::string::npos) << best.log;
        saved += std::stoull(best.log.substr(at + prefix.size()));
    }
    EXPECT_EQ(saved, exact.outputBytes - best.outputBytes);
    EXPECT_EQ(exact.log.find("the best LZS encoder saved"), std::string::npos);
}

// The filter and `huecl print` are one road: the same page gives the same
// container, byte for byte, whether it arrives as CUPS raster or as a file,
// with the same choices made through the PPD's options and the tool's.
TEST(FilterJob, PrintsAPageExactlyAsTheToolDoes) {
    struct Case {
        const char* name;
        cups_cspace_t space;
        std::uint32_t resolution;
        std::map<std::string, std::string> choices;  // the driver's options
        std::vector<std::string> options;            // huecl print's
    };
    const std::string profile = ghostscriptCmykProfile.string();
    const Case cases[] = {
        {"sRGB with the default profile", CUPS_CSPACE_SRGB, 300, {}, {"--profile", profile}},
        {"RGB with the model", CUPS_CSPACE_RGB, 600, {{"HueclColorTable", "Model"}}, {}},
        {"earlier screen, default profile",
         CUPS_CSPACE_SRGB,
         300,
         {{"HueclHalftone", "earlier-1bit"}, {"HueclScreen", "1"}, {"HueclDensity", "32"}},
         {"--profile", profile, "--engine", "earlier", "--screen", "1", "--density", "32"}},
        {"earlier diffusion, model",
         CUPS_CSPACE_SRGB,
         600,
         {{"HueclHalftone", "earlier-diffusion"}, {"HueclColorTable", "Model"}, {"HueclBalanceRed", "12"}},
         {"--engine", "earlier", "--diffusion", "--balance", "12,10,10"}},
    };
    const pages::PageSize size{180, 130};
    auto testPage = pages::makeTestPage(size);
    std::vector<std::uint8_t> bgr(size_t{size.width} * 3 * size.height);
    testPage->readRows(bgr);
    for (const Case& c : cases) {
        TemporaryFolder folder;
        // The page as a binary PPM (red, green, blue) for the tool.
        std::string ppm = "P6\n" + std::to_string(size.width) + " " + std::to_string(size.height) + "\n255\n";
        for (size_t i = 0; i < bgr.size(); i += 3)
            ppm += {static_cast<char>(bgr[i + 2]), static_cast<char>(bgr[i + 1]), static_cast<char>(bgr[i])};
        const std::string dpi = std::to_string(c.resolution);
        std::vector<std::string> arguments{"print",        folder.writeFile("page.ppm", ppm).string(),
                                           "-o",           (folder / "printed").string(),
                                           "--source-dpi", dpi,
                                           "--device-dpi", dpi,
                                           "--threads",    "2",
                                           "--quiet"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        tool::runPrint(std::get<tool::PrintCommand>(tool::parseCommandLine(arguments)));

        // The same pixels as one raster page.
        const int fd = ::open((folder / "page.ras").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE_COMPRESSED);
        cups_page_header2_t header = pageHeader(c.space, 3, size.width, size.height);
        header.HWResolution[0] = header.HWResolution[1] = c.resolution;
        ASSERT_TRUE(cupsRasterWriteHeader2(raster, &header));
        std::vector<std::uint8_t> line(size_t{size.width} * 3);
        for (std::uint32_t row = 0; row < size.height; ++row) {
            for (std::uint32_t x = 0; x < size.width; ++x)
                for (std::uint32_t channel = 0; channel < 3; ++channel)
                    line[3 * x + channel] = bgr[(size_t{row} * size.width + x) * 3 + 2 - channel];
            cupsRasterWritePixels(raster, line.data(), static_cast<unsigned>(line.size()));
        }
        cupsRasterClose(raster);
        ::close(fd);

        const DriverSettings driver = driverSettingsFrom([&](const std::string& keyword) -> std::optional<std::string> {
            const auto found = c.choices.find(keyword);
            return found == c.choices.end() ? std::nullopt : std::optional(found->second);
        });
        std::string filtered;
        const int in = ::open((folder / "page.ras").c_str(), O_RDONLY);
        std::FILE* log = std::tmpfile();
        {
            RasterStream input(in);
            printRasterJob(
                input, driver, 2,
                [&](std::span<const std::uint8_t> bytes) { filtered.append(bytes.begin(), bytes.end()); }, log);
        }
        std::fclose(log);
        ::close(in);
        EXPECT_EQ(filtered, pages::testing::readFile(folder / "printed" / "page.hcr")) << c.name;
    }
}

TEST(FilterJob, BrokenStreamsEndTheJobWithAnError) {
    struct Case {
        const char* name;
        std::vector<RasterPage> pages;
        const char* message;
    };
    auto cut = RasterPage{pageHeader(CUPS_CSPACE_SRGB, 3, 40, 200), {9, 9, 9}, 150};
    auto bad = RasterPage{pageHeader(CUPS_CSPACE_SRGB, 3, 40, 20), {9, 9, 9}};
    bad.header.cupsBitsPerColor = 1, bad.header.cupsBitsPerPixel = 3;
    const Case cases[] = {
        {"cut inside the first page", {cut}, "page 1: the raster stream ends after 150 of 200 rows"},
        {"cut inside the second page",
         {{pageHeader(CUPS_CSPACE_W, 1, 8, 8), {0}}, cut},
         "page 2: the raster stream ends"},
        {"unprintable second page", {{pageHeader(CUPS_CSPACE_W, 1, 8, 8), {0}}, bad}, "page 2: 1 bits per colour"},
        {"no page at all", {}, "the raster stream holds no page"},
    };
    for (const Case& c : cases) {
        TemporaryFolder folder;
        const auto path = writeRasterStream(folder, c.pages, CUPS_RASTER_WRITE);
        try {
            printJob(folder, path, modelDriver());
            ADD_FAILURE() << c.name << " printed";
        } catch (const pages::PageError& error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << c.name << ": " << error.what();
        }
    }
}

// What a job hands its output before it fails, and the error.
std::pair<std::string, std::string> outputOfFailingJob(const std::filesystem::path& stream) {
    std::string output;
    std::FILE* log = std::fopen("/dev/null", "w");
    const int fd = ::open(stream.c_str(), O_RDONLY);
    std::string error = "no error";
    try {
        RasterStream raster(fd);
        printRasterJob(
            raster, modelDriver(), 2,
            [&](std::span<const std::uint8_t> bytes) { output.append(bytes.begin(), bytes.end()); }, log);
    } catch (const pages::PageError& failure) {
        error = failure.what();
    }
    ::close(fd);
    std::fclose(log);
    return {output, error};
}

// The device is left the whole pages before a cut and not a byte of the
// cut page: its output ends after a container's trailer and reads back as
// those pages alone.
TEST(FilterJob, ACutPageWritesNothingOfItself) {
    const RasterPage first{pageHeader(CUPS_CSPACE_W, 1, 8, 8), {0}};
    const RasterPage cut{pageHeader(CUPS_CSPACE_SRGB, 3, 40, 200), {9, 9, 9}, 150};
    TemporaryFolder folder;
    const auto [onePage, noError] = outputOfFailingJob(writeRasterStream(folder, {first}, CUPS_RASTER_WRITE));
    ASSERT_EQ(noError, "no error");
    ASSERT_FALSE(onePage.empty());

    const auto [beforeCut, error] = outputOfFailingJob(writeRasterStream(folder, {first, cut}, CUPS_RASTER_WRITE));
    EXPECT_EQ(error, "page 2: the raster stream ends after 150 of 200 rows");
    EXPECT_EQ(beforeCut, onePage);
    RasterReader reader(folder.writeFile("before-cut.hcr", beforeCut));
    RasterBand band;
    while (reader.readBand(band)) {}
    EXPECT_FALSE(reader.nextPage());

    const auto [nothing, firstError] = outputOfFailingJob(writeRasterStream(folder, {cut}, CUPS_RASTER_WRITE));
    EXPECT_EQ(firstError, "page 1: the raster stream ends after 150 of 200 rows");
    EXPECT_EQ(nothing, "");
}

// The sheet a page header describes, in dots: the page size, and the
// imageable area's top-left corner (the box counts from the bottom left).
TEST(SheetOf, PlacesTheImageableAreaOnThePageSize) {
    cups_page_header2_t a4 = pageHeader(CUPS_CSPACE_SRGB, 3, 2329, 3208);
    a4.PageSize[0] = 595, a4.PageSize[1] = 842;
    a4.ImagingBoundingBox[0] = 18, a4.ImagingBoundingBox[1] = 36;
    a4.ImagingBoundingBox[2] = 577, a4.ImagingBoundingBox[3] = 806;
    EXPECT_EQ(sheetOf(a4), (pages::SheetPlacement{2479, 3508, 75, 150}));
    // PWG raster: no imageable area, the raster is the page.
    cups_page_header2_t pwg = pageHeader(CUPS_CSPACE_SRGB, 3, 2480, 3507);
    pwg.PageSize[0] = 595, pwg.PageSize[1] = 842;
    EXPECT_EQ(sheetOf(pwg), (pages::SheetPlacement{2480, 3508, 0, 0})) << "widened to hold the raster";
    pwg.Margins[0] = 12;
    EXPECT_EQ(sheetOf(pwg).x, 50u) << "the left margin, without an imageable area";
    // No page size: no sheet.
    EXPECT_FALSE(sheetOf(pageHeader(CUPS_CSPACE_SRGB, 3, 10, 10)).known());
    // The page's container records it.
    TemporaryFolder folder;
    cups_page_header2_t small = pageHeader(CUPS_CSPACE_W, 1, 40, 30);
    small.PageSize[0] = 12, small.PageSize[1] = 10;  // 50 x 42 dots at 300 dpi
    small.ImagingBoundingBox[0] = 1, small.ImagingBoundingBox[1] = 1;
    small.ImagingBoundingBox[2] = 11, small.ImagingBoundingBox[3] = 8;
    const PrintedJob job = printJob(folder, writeRasterStream(folder, {{small, {128}}}), modelDriver());
    ASSERT_EQ(job.headers.size(), 1u);
    EXPECT_EQ(job.headers[0].sheetWidth, 50u);
    EXPECT_EQ(job.headers[0].sheetHeight, 42u);
    EXPECT_EQ(job.headers[0].sheetX, 4u);
    EXPECT_EQ(job.headers[0].sheetY, 8u);
}

// Progress a person reads, per page: the page (of the total, when the
// raster gives it), at the start and at every tenth of its bands, with the
// job's media progress beside it; the technical line is for debugging.
TEST(FilterJob, ReportsEachPagesProgressInTenths) {
    cups_page_header2_t tall = pageHeader(CUPS_CSPACE_W, 1, 16, 128 * 20);  // 20 bands
    tall.cupsInteger[CUPS_RASTER_PWG_TotalPageCount] = 2;
    cups_page_header2_t untold = pageHeader(CUPS_CSPACE_W, 1, 16, 128 * 3);  // 3 bands, no total
    TemporaryFolder folder;
    const PrintedJob job =
        printJob(folder, writeRasterStream(folder, {{tall, {128}}, {tall, {0}}, {untold, {0}}}), modelDriver());
    std::vector<std::string> progress;
    for (size_t start = 0, end; (end = job.log.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = job.log.substr(start, end - start);
        if (line.starts_with("INFO: Printing") || line.starts_with("ATTR:")) progress.push_back(line);
    }
    std::vector<std::string> expected;
    for (const char* page : {"page 1 of 2", "page 2 of 2"})
        for (int percent = 0; percent <= 100; percent += 10) {
            expected.push_back("INFO: Printing " + std::string(page) + ", " + std::to_string(percent) + " %");
            expected.push_back("ATTR: job-media-progress=" + std::to_string(percent));
        }
    for (const int percent : {0, 30, 60, 100}) {
        expected.push_back("INFO: Printing page 3, " + std::to_string(percent) + " %");
        expected.push_back("ATTR: job-media-progress=" + std::to_string(percent));
    }
    EXPECT_EQ(progress, expected) << job.log;
    EXPECT_NE(job.log.find("DEBUG: Page 1: 16 x 2560 dots, 1 plane,"), std::string::npos) << job.log;
    EXPECT_EQ(job.log.find("INFO: Page "), std::string::npos) << job.log;
}

// A cancelled job stops between bands (or in a read waiting for the
// renderer): the page under way is dropped, the output ends after the last
// whole page, and the job ends without an error, saying how far it got.
TEST(FilterJob, ACancelledJobEndsAfterItsLastWholePage) {
    const RasterPage first{pageHeader(CUPS_CSPACE_W, 1, 8, 8), {0}};
    const RasterPage tall{pageHeader(CUPS_CSPACE_SRGB, 3, 40, 2000), {9, 9, 9}};
    TemporaryFolder folder;
    const auto [onePage, noError] = outputOfFailingJob(writeRasterStream(folder, {first}, CUPS_RASTER_WRITE));
    ASSERT_EQ(noError, "no error");
    const auto path = writeRasterStream(folder, {first, tall, first}, CUPS_RASTER_WRITE);
    // After page 1 is out, the cancel comes at the n-th question: before
    // page 2's header, among its reads, or among its bands.
    for (const int questions : {0, 1, 5, 12}) {
        std::string output;
        int asked = 0;
        const std::function<bool()> cancelled = [&] { return !output.empty() && asked++ >= questions; };
        char* logText = nullptr;
        size_t logSize = 0;
        std::FILE* log = open_memstream(&logText, &logSize);
        const int fd = ::open(path.c_str(), O_RDONLY);
        JobOutcome outcome;
        {
            RasterStream raster(fd, cancelled);
            outcome = printRasterJob(
                raster, modelDriver(), 2,
                [&](std::span<const std::uint8_t> bytes) { output.append(bytes.begin(), bytes.end()); }, log,
                cancelled);
        }
        ::close(fd);
        std::fclose(log);
        const std::string logLines = logText;
        std::free(logText);
        EXPECT_TRUE(outcome.cancelled) << questions;
        EXPECT_EQ(outcome.pages, 1u) << questions;
        EXPECT_EQ(output, onePage) << questions;
        EXPECT_NE(logLines.find("INFO: Job cancelled after 1 page\n"), std::string::npos) << logLines;
        EXPECT_EQ(logLines.find("PAGE: 2"), std::string::npos) << logLines;
    }
}

// Where a stream ends decides whether the job succeeded: right after a
// page it is finished; anywhere inside the next page's header, or after it,
// it was cut. libcups reports all of them alike, as a header it cannot
// read, so every offset of the second page's header is tried, on streams
// that libcups writes with and without compression and on one that
// Ghostscript renders, as the scheduler's filter chain does.
TEST(RasterStream, TellsAFinishedStreamFromOneCutInALaterHeader) {
    TemporaryFolder folder;
    struct Stream {
        const char* name;
        std::string bytes;
        size_t secondHeader;  // offset of the second page's header
    };
    std::vector<Stream> streams;
    const std::vector<RasterPage> pages{{pageHeader(CUPS_CSPACE_CMYK, 4, 30, 20), {1, 2, 3, 4}},
                                        {pageHeader(CUPS_CSPACE_CMYK, 4, 7, 5), {200, 0, 0, 9}}};
    for (const auto& [name, mode] : {std::pair{"libcups compressed", CUPS_RASTER_WRITE_COMPRESSED},
                                     std::pair{"libcups uncompressed", CUPS_RASTER_WRITE}}) {
        const size_t firstPage = pages::testing::readFile(writeRasterStream(folder, {pages[0]}, mode)).size();
        streams.push_back({name, pages::testing::readFile(writeRasterStream(folder, pages, mode)), firstPage});
    }
    const auto rendered = folder / "rendered.ras";
    const std::string render =
        "gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=cups -r10 -dcupsColorSpace=19 "
        "-dcupsBitsPerColor=8 -sOutputFile=" +
        rendered.string() + " " HUECL_TEST_PAGE_PS " >/dev/null 2>&1";
    ASSERT_EQ(std::system(render.c_str()), 0) << render;
    {
        // Uncompressed: the sync word, the header, then every row whole.
        const int fd = ::open(rendered.c_str(), O_RDONLY);
        cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
        cups_page_header2_t first{};
        ASSERT_TRUE(cupsRasterReadHeader2(raster, &first));
        cupsRasterClose(raster);
        ::close(fd);
        streams.push_back({"Ghostscript", pages::testing::readFile(rendered),
                           4 + sizeof(cups_page_header2_t) + size_t{first.cupsBytesPerLine} * first.cupsHeight});
    }

    // The job's reading alone, as printRasterJob reads: header, every row
    // of the page, next header (driver_test.sh cuts the filter itself).
    const auto readJob = [](RasterStream& raster) {
        cups_page_header2_t header;
        std::uint32_t pagesRead = 0;
        while (raster.readHeader(header, pagesRead + 1)) {
            CupsPageSource source(raster.raster(), header, ++pagesRead);
            std::vector<std::uint8_t> rows(size_t{source.width()} * static_cast<std::uint32_t>(source.pixels()) *
                                           source.height());
            source.readRows(rows);
        }
        return pagesRead;
    };
    for (const Stream& stream : streams) {
        ASSERT_GT(stream.bytes.size(), stream.secondHeader + sizeof(cups_page_header2_t) + 3) << stream.name;
        for (size_t cut = stream.secondHeader - 3; cut <= stream.secondHeader + sizeof(cups_page_header2_t) + 3;
             ++cut) {
            // In memory: some 5000 files would make the disk the bottleneck.
            const int fd = memfd_create("cut.ras", 0);
            ASSERT_EQ(::write(fd, stream.bytes.data(), cut), static_cast<ssize_t>(cut));
            ::lseek(fd, 0, SEEK_SET);
            std::string message;
            std::uint32_t printed = 0;
            try {
                RasterStream raster(fd);
                printed = readJob(raster);
            } catch (const pages::PageError& error) {
                message = error.what();
            }
            ::close(fd);
            const std::string where = std::string(stream.name) + " cut at " + std::to_string(cut) + ": ";
            if (cut < stream.secondHeader)
                EXPECT_TRUE(message.starts_with("page 1: the raster stream ends after")) << where << message;
            else if (cut == stream.secondHeader)
                EXPECT_EQ(printed, 1u) << where << message;
            else if (cut < stream.secondHeader + sizeof(cups_page_header2_t))
                EXPECT_EQ(message, "page 2: the raster stream ends inside the page header") << where;
            else
                EXPECT_TRUE(message.starts_with("page 2: the raster stream ends after 0 of")) << where << message;
        }
    }
}

TEST(RasterStream, RefusesWhatIsNoRasterAndADamagedLaterHeader) {
    TemporaryFolder folder;
    // A whole second header that libcups refuses (no bytes per line).
    auto spoilt = RasterPage{pageHeader(CUPS_CSPACE_W, 1, 8, 8), {7}};
    std::string bytes = pages::testing::readFile(writeRasterStream(folder, {spoilt, spoilt}, CUPS_RASTER_WRITE));
    const size_t secondHeader = 4 + sizeof(cups_page_header2_t) + 8 * 8;
    const size_t bytesPerLine = secondHeader + offsetof(cups_page_header2_t, cupsBytesPerLine);
    std::fill_n(bytes.begin() + static_cast<ptrdiff_t>(bytesPerLine), 4, '\0');
    const struct {
        const char* name;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"damaged second header", bytes, "page 2: the page header is damaged"},
        {"nothing", "", "the input is not a CUPS raster stream"},
        {"text", "%!PS-Adobe-3.0\n", "the input is not a CUPS raster stream"},
        {"a sync word alone", "RaS3", "the raster stream holds no page"},
        {"cut in the first header", bytes.substr(0, 900), "page 1: the raster stream ends inside the page header"}};
    for (const auto& c : cases) {
        const auto path = folder.writeFile("input.ras", c.bytes);
        try {
            printJob(folder, path, modelDriver());
            ADD_FAILURE() << c.name << " printed";
        } catch (const pages::PageError& error) {
            EXPECT_EQ(std::string(error.what()), c.message) << c.name;
        }
    }
}

// A read that fails is named as such, not taken for the end of the stream:
// a socket that times out in the middle of the second page, and a folder.
TEST(RasterStream, NamesReadErrors) {
    TemporaryFolder folder;
    const std::string bytes = pages::testing::readFile(writeRasterStream(
        folder, {{pageHeader(CUPS_CSPACE_W, 1, 16, 8), {0}}, {pageHeader(CUPS_CSPACE_W, 1, 16, 8), {9}}},
        CUPS_RASTER_WRITE));
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    const timeval wait{0, 50000};
    ASSERT_EQ(setsockopt(ends[0], SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait), 0);
    const size_t sent = bytes.size() - 40;  // the writer stays open: no end of file
    ASSERT_EQ(::write(ends[1], bytes.data(), sent), static_cast<ssize_t>(sent));
    std::FILE* log = std::tmpfile();
    try {
        RasterStream raster(ends[0]);
        printRasterJob(
            raster, modelDriver(), 1, [](std::span<const std::uint8_t>) {}, log);
        ADD_FAILURE() << "a stalled socket printed";
    } catch (const pages::PageError& error) {
        EXPECT_TRUE(std::string(error.what()).starts_with("page 2: cannot read the raster stream: ")) << error.what();
    }
    std::fclose(log);
    ::close(ends[0]);
    ::close(ends[1]);

    const int directory = ::open(folder.path().c_str(), O_RDONLY);
    try {
        RasterStream raster(directory);
        ADD_FAILURE() << "a folder opened";
    } catch (const pages::PageError& error) {
        EXPECT_EQ(std::string(error.what()), "cannot read the raster stream: " + std::string(std::strerror(EISDIR)));
    }
    ::close(directory);
}

TEST(DriverOptions, ChoicesBecomeSettings) {
    const std::map<std::string, std::string> choices{{"HueclHalftone", "1bit-spread"}, {"HueclScreen", "1"},
                                                     {"HueclDensity", "-32"},          {"HueclBalanceRed", "14"},
                                                     {"HueclBalanceGreen", "8"},       {"HueclBalanceBlue", "6"},
                                                     {"HueclColorTable", "Model"},     {"HueclCompression", "Best"}};
    const DriverSettings driver = driverSettingsFrom([&](const std::string& keyword) -> std::optional<std::string> {
        const auto found = choices.find(keyword);
        return found == choices.end() ? std::nullopt : std::optional(found->second);
    });
    EXPECT_EQ(driver.page.ditherMode, 2u);
    EXPECT_EQ(driver.page.screenKind, 1u);
    EXPECT_EQ(driver.page.density, -32);
    EXPECT_EQ(driver.page.balance, (std::array<std::int32_t, 3>{14, 8, 6}));
    EXPECT_EQ(driver.table, TableSource::model);
    EXPECT_EQ(driver.lzsEncoder, LzsEncoder::best);

    const DriverSettings defaults = driverSettingsFrom([](const std::string&) { return std::nullopt; });
    EXPECT_EQ(defaults.page.ditherMode, pages::PageSettings{}.ditherMode);
    EXPECT_EQ(defaults.table, TableSource::automatic);
    EXPECT_EQ(defaults.lzsEncoder, LzsEncoder::exact);

    cups_page_header2_t grey = pageHeader(CUPS_CSPACE_SW, 1, 10, 10);
    grey.HWResolution[0] = 600;
    const pages::PageSettings page = pageSettingsFor(driver, grey);
    EXPECT_TRUE(page.blackOnly);
    EXPECT_EQ(page.source.x, 600u);
    EXPECT_EQ(page.device.y, 300u);
    EXPECT_FALSE(pageSettingsFor(driver, pageHeader(CUPS_CSPACE_SRGB, 3, 10, 10)).blackOnly);
}

// One rule for black ink alone: a grey page of the filter and the tool's
// --black-only (without --match) match by grey alike.
TEST(DriverOptions, GreyPagesMatchAsTheToolsBlackOnly) {
    const auto print = [](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"print", "-o", "out"});
        return std::get<tool::PrintCommand>(tool::parseCommandLine(arguments)).settings;
    };
    const pages::PageSettings tool = print({"--black-only"});
    for (const cups_cspace_t space : {CUPS_CSPACE_W, CUPS_CSPACE_SW, CUPS_CSPACE_K}) {
        const pages::PageSettings filter = pageSettingsFor(DriverSettings{}, pageHeader(space, 1, 10, 10));
        EXPECT_EQ(std::tie(filter.blackOnly, filter.matchMethod), std::tie(tool.blackOnly, tool.matchMethod))
            << "colour space " << space;
    }
    EXPECT_EQ(tool.matchMethod, HUECL_MATCH_BLACK);
    EXPECT_EQ(print({"--black-only", "--match", "direct"}).matchMethod, HUECL_MATCH_DIRECT)
        << "a method the command line names is kept";

    pages::PageSettings page;
    page.matchMethod = HUECL_MATCH_INVERT;
    pages::printBlackOnly(page);
    EXPECT_TRUE(page.blackOnly);
    EXPECT_EQ(page.matchMethod, HUECL_MATCH_BLACK);
}

TEST(DriverOptions, HalftoneChoicesPickTheColourGeneration) {
    struct Case {
        const char* choice;
        pages::EngineKind engine;
        std::uint32_t ditherMode, gridSize;
    };
    const Case cases[] = {{"2bit", pages::EngineKind::later, HUECL_DITHER_2BIT, 17},
                          {"4bit", pages::EngineKind::later, HUECL_DITHER_4BIT, 17},
                          {"1bit", pages::EngineKind::later, HUECL_DITHER_1BIT, 17},
                          {"earlier-1bit", pages::EngineKind::earlier, HUECL_DITHER_1BIT, 32},
                          {"earlier-diffusion", pages::EngineKind::earlier, pages::errorDiffusionMode, 32}};
    for (const Case& c : cases) {
        const DriverSettings driver = driverSettingsFrom([&](const std::string& keyword) -> std::optional<std::string> {
            return keyword == "HueclHalftone" ? std::optional<std::string>(c.choice) : std::nullopt;
        });
        EXPECT_EQ(driver.page.engine, c.engine) << c.choice;
        EXPECT_EQ(driver.page.ditherMode, c.ditherMode) << c.choice;
        EXPECT_EQ(driver.page.gridSize, c.gridSize) << c.choice;
        // The PPD offers each of them.
        const JobOptions job((std::string("HueclHalftone=") + c.choice).c_str(), HUECL_PPD);
        EXPECT_EQ(job.choice("HueclHalftone"), c.choice);
    }
}

// Settings as the driver reads them from the PPD with these job options.
DriverSettings settingsOfJob(const char* jobOptions) {
    const JobOptions job(jobOptions, HUECL_PPD);
    return driverSettingsFrom([&](const std::string& keyword) { return job.choice(keyword); });
}

TEST(DriverOptions, QualityPresetsPickHalftoningGridAndBlack) {
    struct Case {
        const char* options;
        std::uint32_t ditherMode, gridSize, blackMode;
        pages::PrintQuality quality;
    };
    const Case cases[] = {
        {"", HUECL_DITHER_2BIT, 17, HUECL_BLACK_PURE, pages::PrintQuality::normal},
        {"cupsPrintQuality=Draft", HUECL_DITHER_1BIT, 9, HUECL_BLACK_PURE, pages::PrintQuality::draft},
        {"cupsPrintQuality=High", HUECL_DITHER_4BIT, 17, HUECL_BLACK_PURE, pages::PrintQuality::high},
        {"cupsPrintQuality=Photo", HUECL_DITHER_4BIT, 33, HUECL_BLACK_NONE, pages::PrintQuality::photo},
        // IPP's print-quality as a client sends it: 3 draft, 5 high.
        {"print-quality=3", HUECL_DITHER_1BIT, 9, HUECL_BLACK_PURE, pages::PrintQuality::draft},
        {"print-quality=5", HUECL_DITHER_4BIT, 17, HUECL_BLACK_PURE, pages::PrintQuality::high},
        // The job's own choices win over the preset's.
        {"cupsPrintQuality=Draft HueclHalftone=4bit", HUECL_DITHER_4BIT, 9, HUECL_BLACK_PURE,
         pages::PrintQuality::draft},
        {"cupsPrintQuality=Photo HueclBlack=Pure", HUECL_DITHER_4BIT, 33, HUECL_BLACK_PURE, pages::PrintQuality::photo},
        {"HueclBlack=Composite", HUECL_DITHER_2BIT, 17, HUECL_BLACK_NONE, pages::PrintQuality::normal},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const DriverSettings driver = settingsOfJob(c.options);
        EXPECT_EQ(driver.page.ditherMode, c.ditherMode);
        EXPECT_EQ(driver.page.gridSize, c.gridSize);
        EXPECT_EQ(driver.page.blackMode, c.blackMode);
        EXPECT_EQ(driver.quality, c.quality);
    }
    // The earlier generation keeps its own table and screens under any preset.
    const DriverSettings earlier = settingsOfJob("cupsPrintQuality=Photo HueclHalftone=earlier-1bit");
    EXPECT_EQ(earlier.page.engine, pages::EngineKind::earlier);
    EXPECT_EQ(earlier.page.gridSize, 32u);
    EXPECT_EQ(earlier.page.ditherMode, HUECL_DITHER_1BIT);
}

TEST(DriverOptions, ChoicesThePpdLacksAreNamedWithTheChoiceUsed) {
    const JobOptions job(
        "HueclHalftone=nonsense Resolution=7dpi HueclDensity=32 PageSize=Custom.100x200mm "
        "print-color-mode=color",
        HUECL_PPD);
    EXPECT_EQ(job.ignoredChoices(),
              (std::vector<std::string>{"HueclHalftone=nonsense is not a choice of the driver; printing with Auto",
                                        // The driver offers no custom sizes.
                                        "PageSize=Custom.100x200mm is not a choice of the driver; printing with A4",
                                        "Resolution=7dpi is not a choice of the driver; printing with 300dpi"}));
    EXPECT_EQ(job.choice("HueclHalftone"), "Auto");

    const JobOptions compression("HueclCompression=Smallest", HUECL_PPD);
    EXPECT_EQ(compression.ignoredChoices(),
              std::vector<std::string>{"HueclCompression=Smallest is not a choice of the driver; printing with Exact"});
    EXPECT_EQ(compression.choice("HueclCompression"), "Exact");
    EXPECT_EQ(JobOptions("HueclCompression=Best", HUECL_PPD).choice("HueclCompression"), "Best");
}

TEST(DriverOptions, UnknownValuesNameTheOption) {
    const std::pair<std::string, std::string> bad[] = {
        {"HueclHalftone", "3bit"},    {"HueclScreen", "4"},         {"HueclDensity", "dark"},
        {"HueclBalanceRed", "0"},     {"HueclColorTable", "Vivid"}, {"HueclProfile", "relative.icc"},
        {"cupsPrintQuality", "Best"}, {"HueclBlack", "Deep"},       {"HueclCompression", "best"}};
    for (const auto& [keyword, value] : bad) {
        try {
            driverSettingsFrom([&](const std::string& asked) -> std::optional<std::string> {
                return asked == keyword ? std::optional(value) : std::nullopt;
            });
            ADD_FAILURE() << keyword << "=" << value << " accepted";
        } catch (const pages::PageError& error) {
            EXPECT_TRUE(std::string(error.what()).starts_with(keyword)) << error.what();
        }
    }
}

TEST(DriverOptions, DefaultTableIsTheInstalledProfileElseTheModel) {
    TemporaryFolder folder;
    const DriverSettings automatic;
    ColourTableSource model = colourTablesFor(automatic, folder / "absent.icc");
    EXPECT_EQ(model.tableFor(automatic.page).origin, "built-in model");
    EXPECT_EQ(model.profile(), std::nullopt);
    const auto installed = std::filesystem::path(HUECL_ICC_FOLDER) / "default_cmyk.icc";
    ColourTableSource chosen = colourTablesFor(automatic, installed);
    EXPECT_EQ(chosen.tableFor(automatic.page).origin, "profile default_cmyk.icc");
    EXPECT_EQ(chosen.profile(), installed);
    EXPECT_EQ(chosen.tableFor(automatic.page).entries.size(), 17u * 17 * 17 * 4);
    DriverSettings named;
    named.table = TableSource::profile;
    named.profile = std::filesystem::path(HUECL_ICC_FOLDER) / "ps_cmyk.icc";
    EXPECT_EQ(colourTablesFor(named, folder / "absent.icc").tableFor(named.page).origin, "profile ps_cmyk.icc");
    named.table = TableSource::model;
    EXPECT_EQ(colourTablesFor(named, installed).profile(), std::nullopt) << "the model wins over a named profile";
    named.table = TableSource::profile;
    named.profile = folder / "absent.icc";
    EXPECT_THROW(colourTablesFor(named, installed).tableFor(named.page), pages::PageError);
}

TEST(DriverOptions, PpdDefaultsYieldToTheJobsOptions) {
    TemporaryFolder folder;
    const auto ppd = std::filesystem::path(HUECL_PPD);
    const JobOptions defaults("", ppd.c_str());
    EXPECT_EQ(defaults.choice("HueclHalftone"), "Auto");
    EXPECT_EQ(defaults.choice("cupsPrintQuality"), "Normal");
    EXPECT_TRUE(defaults.ignoredChoices().empty());
    EXPECT_EQ(defaults.choice("HueclColorTable"), "Auto");
    EXPECT_EQ(defaults.choice("HueclProfile"), std::nullopt);
    EXPECT_EQ(defaults.ppdProfile(), std::nullopt);
    // IPP options as the scheduler passes them ride along; the sanitized
    // build checks that reading them leaks nothing.
    const JobOptions job("HueclHalftone=4bit HueclDensity=32 HueclProfile=/x.icc print-color-mode=color finishings=3",
                         ppd.c_str());
    EXPECT_EQ(job.choice("HueclHalftone"), "4bit");
    EXPECT_EQ(job.choice("HueclDensity"), "32");
    EXPECT_EQ(job.choice("HueclProfile"), "/x.icc") << "options outside the PPD come from the job";

    // A cupsICCProfile for the grey model only applies when that is marked.
    std::string text = pages::testing::readFile(ppd);
    text += "*cupsICCProfile Gray../Grey: \"grey.icc\"\n*cupsICCProfile CMYK..300dpi/Colour: \"/p/colour.icc\"\n";
    const auto withProfiles = folder.writeFile("profiles.ppd", text);
    EXPECT_EQ(JobOptions("", withProfiles.c_str()).ppdProfile(), "/p/colour.icc");
    EXPECT_EQ(JobOptions("Resolution=600dpi", withProfiles.c_str()).ppdProfile(), std::nullopt);
    EXPECT_EQ(JobOptions("ColorModel=Gray", withProfiles.c_str()).ppdProfile()->filename(), "grey.icc");
    EXPECT_THROW(JobOptions("", (folder / "absent.ppd").c_str()), pages::PageError);
}

}  // namespace
}  // namespace huecl::cups

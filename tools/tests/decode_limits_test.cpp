// huecl decode against containers whose headers claim pages of gigabytes
// under good checksums: each is refused from its header with one line,
// before a band is read or a buffer of the claimed size exists.
#include "commands.h"
#include "pages/page_error.h"
#include "pages/tests/temporary_folder.h"
#include "pages/writers/raster_container.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

namespace huecl::tool {
namespace {

using namespace huecl::pages;
using pages::testing::TemporaryFolder;

// One black plane, one bit per dot, every field consistent with the
// others; the single band holds an empty stream, which decodes to nothing.
RasterHeader wideHeader(std::uint32_t sourceWidth, std::uint32_t rows) {
    RasterHeader h;
    h.sourceWidth = sourceWidth, h.sourceHeight = rows;
    h.sourceResX = h.sourceResY = h.deviceResX = h.deviceResY = 300;
    h.deviceWidth = sourceWidth, h.deviceHeight = rows;
    h.lineBytes = static_cast<std::uint32_t>((std::uint64_t{sourceWidth} + 7) / 8);
    h.bitsPerDot = 1, h.planeCount = 1, h.bandCount = 1, h.bandHeight = rows;
    h.ditherMode = HUECL_DITHER_1BIT, h.blackOnly = 1, h.matchMethod = HUECL_MATCH_BLACK;
    return h;
}

std::filesystem::path writeContainer(const TemporaryFolder& folder, const RasterHeader& header) {
    std::string bytes;
    RasterWriter writer([&](std::span<const std::uint8_t> piece) { bytes.append(piece.begin(), piece.end()); }, header);
    writer.writeBand(header.bandHeight, std::vector<std::vector<std::uint8_t>>{{}});
    writer.finish();
    return folder.writeFile("wide.hcr", bytes);
}

std::string errorDecoding(DecodeCommand command) {
    command.quiet = true;
    try {
        runDecode(command);
    } catch (const PageError& error) {
        return error.what();
    }
    return "no error";
}

DecodeCommand decodeOf(const TemporaryFolder& folder, const std::filesystem::path& raster) {
    DecodeCommand command;
    command.raster = raster;
    command.outputFolder = folder / "out";
    return command;
}

TEST(DecodeLimits, WidestPagesAreRefusedByTheirSourcePixels) {
    TemporaryFolder folder;
    for (const auto& [width, rows] : {std::pair{0xFFFFFFFFu, 1u}, std::pair{0xFFFFFFF0u, 2u}}) {
        const auto raster = writeContainer(folder, wideHeader(width, rows));
        const std::uint64_t pixels = std::uint64_t{width} * rows;
        EXPECT_EQ(errorDecoding(decodeOf(folder, raster)),
                  raster.string() + ": page printed from " + std::to_string(width) + "x" + std::to_string(rows) +
                      " pixels (" + std::to_string(pixels) +
                      " pixels) exceeds the limit of 268435456 pixels (--max-pixels raises it)");
        EXPECT_FALSE(std::filesystem::exists(folder / "out"));
    }
}

TEST(DecodeLimits, WidestPagesAreRefusedByWhatTheirBandsWouldHold) {
    TemporaryFolder folder;
    const auto raster = writeContainer(folder, wideHeader(0xFFFFFFFFu, 2));
    DecodeCommand command = decodeOf(folder, raster);
    command.limits.pixels = std::uint64_t{1} << 40;
    const std::string error = errorDecoding(command);
    const std::string start = raster.string() + ": decoding a page of 4294967295x2 dots takes ";
    EXPECT_EQ(error.substr(0, start.size()), start) << error;
    EXPECT_TRUE(error.ends_with(" MiB, more than the limit of 1024 MiB (--max-memory raises it)")) << error;
}

// The pixel limit sits exactly at what a page was printed from.
TEST(DecodeLimits, APageDecodesUpToItsOwnSize) {
    TemporaryFolder folder;
    PrintCommand print;
    print.pageSize = {60, 40};
    print.outputFolder = folder / "printed";
    print.quiet = true;
    print.threads = 1;
    runPrint(print);
    DecodeCommand command = decodeOf(folder, folder / "printed" / "page.hcr");
    command.limits.pixels = 60 * 40;
    EXPECT_EQ(errorDecoding(command), "no error");
    command.limits.pixels -= 1;
    EXPECT_NE(errorDecoding(command).find("exceeds the limit of 2399 pixels"), std::string::npos);
    // Its bands and preview take well under a mebibyte.
    command.limits.pixels = std::uint64_t{1} << 28;
    command.limits.memoryBytes = 1 << 20;
    EXPECT_EQ(errorDecoding(command), "no error");
}

// decode reads the limits as print does: the same ranges, the same words.
TEST(DecodeLimits, OptionsParseAsPrintsDo) {
    const auto limited = std::get<DecodeCommand>(
        parseCommandLine({"decode", "p.hcr", "-o", "d", "--max-pixels", "5000", "--max-memory=2"}));
    EXPECT_EQ(limited.limits.pixels, 5000u);
    EXPECT_EQ(limited.limits.memoryBytes, std::uint64_t{2} << 20);
    const auto defaults = std::get<DecodeCommand>(parseCommandLine({"decode", "p.hcr", "-o", "d"}));
    EXPECT_EQ(defaults.limits.pixels, ImageLimits{}.pixels);
    EXPECT_EQ(defaults.limits.memoryBytes, ImageLimits{}.memoryBytes);
    for (const std::vector<std::string>& limit :
         {std::vector<std::string>{"--max-pixels", "0"}, {"--max-memory", "lots"}, {"--max-memory=1048577"}}) {
        std::vector<std::string> print{"print", "-o", "d"}, decode{"decode", "p.hcr", "-o", "d"};
        print.insert(print.end(), limit.begin(), limit.end());
        decode.insert(decode.end(), limit.begin(), limit.end());
        std::string printError, decodeError;
        try {
            parseCommandLine(print);
        } catch (const PageError& error) {
            printError = error.what();
        }
        try {
            parseCommandLine(decode);
        } catch (const PageError& error) {
            decodeError = error.what();
        }
        EXPECT_FALSE(printError.empty()) << limit[0];
        EXPECT_EQ(decodeError, printError);
    }
}

}  // namespace
}  // namespace huecl::tool

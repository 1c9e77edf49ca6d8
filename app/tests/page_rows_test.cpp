// Rows from PAPPL's thread to the band loop's: order, bounds and the ways
// a page stops; and pixels that read exactly as the CUPS filter reads the
// same raster.
#include "page_rows.h"

#include "pages/page_error.h"
#include "pages/readers/cups_raster_source.h"
#include "pages/tests/temporary_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <thread>
#include <unistd.h>

namespace huecl::app {
namespace {

using pages::testing::TemporaryFolder;

std::vector<std::uint8_t> numberedRow(size_t bytes, std::uint32_t number) {
    std::vector<std::uint8_t> row(bytes);
    for (size_t i = 0; i < bytes; ++i) row[i] = static_cast<std::uint8_t>(number * 7 + i);
    return row;
}

TEST(RowBuffer, RowsArriveInOrderThroughASmallRing) {
    constexpr size_t rowBytes = 5;
    constexpr std::uint32_t rows = 1000;
    RowBuffer buffer(rowBytes, 3);
    std::thread writer([&] {
        for (std::uint32_t row = 0; row < rows; ++row) ASSERT_TRUE(buffer.put(numberedRow(rowBytes, row)));
        buffer.finish();
    });
    // Takes of uneven sizes, so that they start and end anywhere in the ring.
    std::vector<std::uint8_t> taken(rowBytes * 7);
    std::uint32_t next = 0;
    for (size_t count; (count = buffer.take(taken)) > 0;)
        for (size_t row = 0; row < count; ++row, ++next)
            ASSERT_EQ(std::vector(taken.begin() + row * rowBytes, taken.begin() + (row + 1) * rowBytes),
                      numberedRow(rowBytes, next));
    writer.join();
    EXPECT_EQ(next, rows);
}

TEST(RowBuffer, AWriterWaitsForRoomAndIsReleasedWhenTheReaderGivesUp) {
    RowBuffer buffer(4, 2);
    ASSERT_TRUE(buffer.put(numberedRow(4, 0)));
    ASSERT_TRUE(buffer.put(numberedRow(4, 1)));
    auto blocked = std::async(std::launch::async, [&] { return buffer.put(numberedRow(4, 2)); });
    EXPECT_EQ(blocked.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    buffer.abandon();
    EXPECT_FALSE(blocked.get());
    EXPECT_FALSE(buffer.put(numberedRow(4, 3)));
}

TEST(RowBuffer, AReaderGetsWhatIsLeftOnceTheWriterFinishes) {
    RowBuffer buffer(4, 8);
    ASSERT_TRUE(buffer.put(numberedRow(4, 0)));
    buffer.finish();
    std::vector<std::uint8_t> taken(4 * 3);
    EXPECT_EQ(buffer.take(taken), 1u);
    EXPECT_EQ(buffer.take(taken), 0u);
}

cups_page_header2_t rasterHeader(cups_cspace_t space, unsigned channels, unsigned width, unsigned height) {
    cups_page_header2_t h{};
    h.HWResolution[0] = h.HWResolution[1] = 300;
    h.cupsWidth = width, h.cupsHeight = height;
    h.cupsBitsPerColor = 8, h.cupsBitsPerPixel = 8 * channels, h.cupsBytesPerLine = width * channels;
    h.cupsColorOrder = CUPS_ORDER_CHUNKED, h.cupsColorSpace = space;
    return h;
}

TEST(BufferedPage, ReadsEveryColourSpaceAsTheFiltersRasterSourceDoes) {
    const std::pair<cups_cspace_t, unsigned> spaces[] = {
        {CUPS_CSPACE_SRGB, 3}, {CUPS_CSPACE_RGB, 3}, {CUPS_CSPACE_SW, 1}, {CUPS_CSPACE_K, 1}, {CUPS_CSPACE_CMYK, 4}};
    for (const auto& [space, channels] : spaces) {
        const cups_page_header2_t h = rasterHeader(space, channels, 37, 9);
        std::vector<std::vector<std::uint8_t>> lines;
        for (std::uint32_t row = 0; row < h.cupsHeight; ++row) lines.push_back(numberedRow(h.cupsBytesPerLine, row));

        // The filter's way: a raster stream written and read with libcups.
        const TemporaryFolder folder;
        const auto path = folder / "page.ras";
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE_PWG);
        cups_page_header2_t written = h;
        ASSERT_TRUE(cupsRasterWriteHeader2(raster, &written));
        for (auto& line : lines) cupsRasterWritePixels(raster, line.data(), static_cast<unsigned>(line.size()));
        cupsRasterClose(raster);
        ::close(fd);
        fd = ::open(path.c_str(), O_RDONLY);
        raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
        cups_page_header2_t read{};
        ASSERT_TRUE(cupsRasterReadHeader2(raster, &read));
        pages::CupsPageSource filterSource(raster, read, 1);

        auto rows = std::make_shared<RowBuffer>(h.cupsBytesPerLine, 4);
        BufferedPage page(h, 1, rows);
        std::thread writer([&] {
            for (auto& line : lines) rows->put(line);
            rows->finish();
        });
        ASSERT_EQ(page.pixels(), filterSource.pixels());
        const size_t rowBytes = size_t{h.cupsWidth} * static_cast<std::uint32_t>(page.pixels());
        std::vector<std::uint8_t> ours(rowBytes * h.cupsHeight), theirs(ours.size());
        page.readRows(std::span(ours).first(rowBytes * 4));
        page.readRows(std::span(ours).subspan(rowBytes * 4));
        filterSource.readRows(theirs);
        writer.join();
        cupsRasterClose(raster);
        ::close(fd);
        EXPECT_EQ(ours, theirs) << "colour space " << space;
    }
}

TEST(BufferedPage, APageWhoseRowsStopShortIsAnError) {
    const cups_page_header2_t h = rasterHeader(CUPS_CSPACE_SRGB, 3, 8, 10);
    auto rows = std::make_shared<RowBuffer>(h.cupsBytesPerLine, 16);
    BufferedPage page(h, 2, rows);
    for (std::uint32_t row = 0; row < 6; ++row) rows->put(numberedRow(h.cupsBytesPerLine, row));
    rows->finish();
    std::vector<std::uint8_t> band(size_t{8} * 3 * 10);
    try {
        page.readRows(band);
        FAIL() << "a short page was read whole";
    } catch (const pages::PageError& error) {
        EXPECT_STREQ(error.what(), "page 2: the raster ends after 6 of 10 rows");
    }
}

TEST(BufferedPage, RefusesAHeaderTheDriverDoesNotPrint) {
    cups_page_header2_t h = rasterHeader(CUPS_CSPACE_SRGB, 3, 8, 10);
    h.cupsBitsPerColor = 16, h.cupsBitsPerPixel = 48, h.cupsBytesPerLine = 48;
    EXPECT_THROW(BufferedPage(h, 1, std::make_shared<RowBuffer>(48, 4)), pages::PageError);
}

TEST(PaperRow, IsWhiteForLightAndEmptyForInk) {
    EXPECT_EQ(paperRow(rasterHeader(CUPS_CSPACE_SRGB, 3, 2, 1)), std::vector<std::uint8_t>(6, 0xFF));
    EXPECT_EQ(paperRow(rasterHeader(CUPS_CSPACE_SW, 1, 2, 1)), std::vector<std::uint8_t>(2, 0xFF));
    EXPECT_EQ(paperRow(rasterHeader(CUPS_CSPACE_CMYK, 4, 2, 1)), std::vector<std::uint8_t>(8, 0x00));
    EXPECT_EQ(paperRow(rasterHeader(CUPS_CSPACE_K, 1, 2, 1)), std::vector<std::uint8_t>(2, 0x00));
}

}  // namespace
}  // namespace huecl::app

// The compressed raster file (.hcr): one container per page, one after the
// other (the CUPS filter writes a page at a time). Little-endian throughout:
//
//   header   "HUECLRST" (version 1) or "HUECLRS2" (version 2), then the 30
//            32-bit fields of RasterHeader in order (the last, cmykSource,
//            was a reserved zero word in the first containers, which
//            therefore read as matched pages); in version 2 only, the sheet:
//            its width and height and the raster's offset from its top-left
//            corner, x then y, all in device dots, the raster lying wholly on
//            it; when fromProfile is 1, the colour
//            table's profile: its 16-byte ICC profile ID, the byte length of
//            its absolute path (at most 4096) and the path; then the CRC-32
//            of all before it
//   bands    bandCount times: deviceRows, then per plane (cyan, magenta,
//            yellow, black; black only when planeCount is 1) the LZS stream
//            length, the CRC-32 of the stream and the stream itself
//   trailer  "HUECLEND"
//
// A page whose sheet is not known is written as version 1, which every
// reader reads; a reader takes a version 1 page for a raster that covers its
// whole sheet. Readers before version 2 refuse a version 2 page as no huecl
// raster rather than misread it.
//
// Each plane band is one closed LZS stream of deviceRows * lineBytes bytes,
// compressed with a fresh history, so bands decode independently. The CRCs
// let a reader refuse a damaged file before the decompressor, which trusts
// its input, ever sees it.
#pragma once

#include "pages/readers/input_stream.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace huecl::pages {

class PendingFile;

struct RasterHeader {
    // Geometry.
    std::uint32_t sourceWidth = 0, sourceHeight = 0;
    std::uint32_t sourceResX = 0, sourceResY = 0, deviceResX = 0, deviceResY = 0;
    std::uint32_t deviceWidth = 0, deviceHeight = 0, lineBytes = 0;
    std::uint32_t bitsPerDot = 0, planeCount = 0, bandCount = 0, bandHeight = 0;
    // Settings the raster was made with.
    std::uint32_t engine = 0, ditherMode = 0, screenKind = 0, blackOnly = 0;
    std::uint32_t matchMethod = 0, blackMode = 0, gridSize = 0, fromProfile = 0;
    std::int32_t brightness = 0, saturation = 0, balanceRed = 0, balanceGreen = 0, balanceBlue = 0;
    std::int32_t cmySaturation = 0, density = 0;
    std::uint32_t lzsBudget = 0;
    // 1: the source pixels were CMYK and went to halftoning unmatched, so
    // matchMethod, blackMode and gridSize say nothing about this page.
    std::uint32_t cmykSource = 0;
    // The colour table the raster was matched with, so that a reader can
    // proof it the same way: fromProfile 0 is the built-in model, 1 the ICC
    // profile at profilePath whose profile ID (MD5) was profileId.
    std::string profilePath;
    std::array<std::uint8_t, 16> profileId{};
    // Version 2: where the raster lies on the sheet, in device dots; all zero
    // in version 1 (not recorded).
    std::uint32_t sheetWidth = 0, sheetHeight = 0, sheetX = 0, sheetY = 0;
    bool hasSheet() const { return sheetWidth != 0; }

    bool operator==(const RasterHeader&) const = default;
};

inline constexpr size_t rasterHeaderFields = 30;
inline constexpr size_t rasterSheetFields = 4;  // version 2
// The longest side of a sheet a reader accepts, in dots: two metres at
// 4800 dpi is less than half of it.
inline constexpr std::uint32_t largestSheetSide = 1u << 20;

// The longest plane stream a reader accepts for a band of rows rows: an LZS
// stream is at most 9/8 of its input plus its end marker.
constexpr std::uint64_t largestPlaneStream(std::uint32_t rows, std::uint32_t lineBytes) {
    return std::uint64_t{rows} * lineBytes * 9 / 8 + 64;
}

struct RasterBand {
    std::uint32_t deviceRows = 0;
    std::array<std::vector<std::uint8_t>, 4> streams;  // planeCount of them used
};

class RasterWriter {
public:
    using ByteSink = std::function<void(std::span<const std::uint8_t>)>;
    RasterWriter(PendingFile& file, const RasterHeader& header);
    // Containers may follow one another in one stream (a page each), so a
    // writer can also hand its bytes to any sink, such as standard output.
    RasterWriter(ByteSink sink, const RasterHeader& header);
    void writeBand(std::uint32_t deviceRows, std::span<const std::vector<std::uint8_t>> planeStreams);
    // Writes the trailer; throws if fewer bands than announced were written.
    void finish();
    std::uint64_t bytesWritten() const { return bytesWritten_; }

private:
    void put(std::span<const std::uint8_t> bytes);
    ByteSink sink_;
    RasterHeader header_;
    std::uint32_t bandsWritten_ = 0;
    std::uint64_t bytesWritten_ = 0;
};

class RasterReader {
public:
    // "-" reads standard input.
    explicit RasterReader(const std::filesystem::path& path);
    const RasterHeader& header() const { return header_; }
    // Reads the next band of the current page; throws PageError on damage.
    // After the last band it checks the trailer and returns false.
    bool readBand(RasterBand& band);
    // After readBand has returned false: moves on to the next page's header
    // and returns true, or returns false when the file ends there.
    bool nextPage();
    std::uint32_t pageNumber() const { return pageNumber_; }  // from 1

private:
    // Reads a header whose magic, of this version, has been read already.
    RasterHeader takeHeader(int version);
    void take(void* bytes, size_t count, const char* what);
    std::uint32_t takeWord(const char* what);
    std::string name_;
    InputHandle file_;
    RasterHeader header_;
    std::uint32_t bandsRead_ = 0;
    std::uint32_t pageNumber_ = 1;
    bool pageEnded_ = false, anotherPage_ = false;
    int nextVersion_ = 0;  // of the page after the trailer
};

}  // namespace huecl::pages

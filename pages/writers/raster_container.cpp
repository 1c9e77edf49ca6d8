// Writing and reading the raster container, version 1 and 2, CRCs checked.
#include "pages/writers/raster_container.h"

#include "pages/writers/output_files.h"
#include "pages/readers/input_stream.h"
#include "pages/page_error.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace huecl::pages {
namespace {

constexpr char headerMagic[8] = {'H', 'U', 'E', 'C', 'L', 'R', 'S', 'T'};
constexpr char sheetHeaderMagic[8] = {'H', 'U', 'E', 'C', 'L', 'R', 'S', '2'};  // version 2
constexpr char trailerMagic[8] = {'H', 'U', 'E', 'C', 'L', 'E', 'N', 'D'};

// The version of a container whose magic this is: 1, 2, or 0 for none.
int versionOf(const char* magic) {
    if (std::memcmp(magic, headerMagic, sizeof headerMagic) == 0) return 1;
    if (std::memcmp(magic, sheetHeaderMagic, sizeof sheetHeaderMagic) == 0) return 2;
    return 0;
}

// Worst case of one plane band: the largest band a reader accepts.
constexpr std::uint64_t maxBandBytes = std::uint64_t{1} << 30;
// Longest profile path a reader accepts (PATH_MAX on Linux).
constexpr std::uint32_t maxProfilePathBytes = 4096;

std::array<std::uint32_t, rasterHeaderFields> headerWords(const RasterHeader& h) {
    auto u = [](std::int32_t value) { return static_cast<std::uint32_t>(value); };
    return {h.sourceWidth,     h.sourceHeight,   h.sourceResX,       h.sourceResY,    h.deviceResX,    h.deviceResY,
            h.deviceWidth,     h.deviceHeight,   h.lineBytes,        h.bitsPerDot,    h.planeCount,    h.bandCount,
            h.bandHeight,      h.engine,         h.ditherMode,       h.screenKind,    h.blackOnly,     h.matchMethod,
            h.blackMode,       h.gridSize,       h.fromProfile,      u(h.brightness), u(h.saturation), u(h.balanceRed),
            u(h.balanceGreen), u(h.balanceBlue), u(h.cmySaturation), u(h.density),    h.lzsBudget,     h.cmykSource};
}

RasterHeader headerFromWords(const std::array<std::uint32_t, rasterHeaderFields>& w) {
    auto s = [](std::uint32_t value) { return static_cast<std::int32_t>(value); };
    RasterHeader h;
    h.sourceWidth = w[0], h.sourceHeight = w[1], h.sourceResX = w[2], h.sourceResY = w[3];
    h.deviceResX = w[4], h.deviceResY = w[5], h.deviceWidth = w[6], h.deviceHeight = w[7];
    h.lineBytes = w[8], h.bitsPerDot = w[9], h.planeCount = w[10], h.bandCount = w[11];
    h.bandHeight = w[12], h.engine = w[13], h.ditherMode = w[14], h.screenKind = w[15];
    h.blackOnly = w[16], h.matchMethod = w[17], h.blackMode = w[18], h.gridSize = w[19];
    h.fromProfile = w[20], h.brightness = s(w[21]), h.saturation = s(w[22]), h.balanceRed = s(w[23]);
    h.balanceGreen = s(w[24]), h.balanceBlue = s(w[25]), h.cmySaturation = s(w[26]), h.density = s(w[27]);
    h.lzsBudget = w[28], h.cmykSource = w[29];
    return h;
}

void appendWord(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// The word appendWord stored at p.
std::uint32_t wordAt(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

// The magic a container of this version starts with.
const char* magicOf(int version) { return version == 2 ? sheetHeaderMagic : headerMagic; }

std::uint32_t checksum(std::span<const std::uint8_t> bytes) {
    uLong crc = crc32(0L, Z_NULL, 0);
    // zlib takes 32-bit lengths; plane bands stay far below that.
    crc = crc32(crc, bytes.data(), static_cast<uInt>(bytes.size()));
    return static_cast<std::uint32_t>(crc);
}

// A row of the device page is the source row scaled by the resolutions, as
// the writer's band loop made it, and every buffer of a reader is sized by
// it; the bands must be able to hold the page's rows (their count is
// checked as they come).
bool geometryFollows(const RasterHeader& h) {
    if (h.sourceResX == 0 || h.deviceResX == 0 || h.deviceResY == 0) return false;
    const bool widthFollows = h.deviceWidth == std::uint64_t{h.sourceWidth} * h.deviceResX / h.sourceResX;
    const bool bandsCoverRows =
        h.bandCount <= h.deviceHeight && std::uint64_t{h.bandCount} * h.bandHeight >= h.deviceHeight;
    return widthFollows && bandsCoverRows;
}

// A recorded sheet holds the whole raster.
bool sheetHolds(const RasterHeader& h) {
    if (!h.hasSheet()) return h.sheetHeight == 0 && h.sheetX == 0 && h.sheetY == 0;
    return h.sheetWidth <= largestSheetSide && h.sheetHeight <= largestSheetSide &&
           std::uint64_t{h.sheetX} + h.deviceWidth <= h.sheetWidth &&
           std::uint64_t{h.sheetY} + h.deviceHeight <= h.sheetHeight;
}

bool plausible(const RasterHeader& h) {
    const bool bitsValid = h.bitsPerDot == 1 || h.bitsPerDot == 2 || h.bitsPerDot == 4;
    const bool planesValid = h.planeCount == 1 || h.planeCount == 4;
    // The earlier engine (1) prints one bit per dot.
    const bool engineValid = h.engine == 0 || (h.engine == 1 && h.bitsPerDot == 1);
    return bitsValid && planesValid && engineValid && h.deviceWidth > 0 && h.deviceHeight > 0 && h.bandHeight > 0 &&
           h.lineBytes == (std::uint64_t{h.deviceWidth} * h.bitsPerDot + 7) / 8 && h.bandCount > 0 &&
           h.cmykSource <= 1 && std::uint64_t{h.bandHeight} * h.lineBytes <= maxBandBytes && geometryFollows(h) &&
           (h.fromProfile == 0 ? h.profilePath.empty() : h.fromProfile == 1 && !h.profilePath.empty()) && sheetHolds(h);
}

}  // namespace

RasterWriter::RasterWriter(PendingFile& file, const RasterHeader& header)
    : RasterWriter([&file](std::span<const std::uint8_t> bytes) { file.write(bytes); }, header) {}

RasterWriter::RasterWriter(ByteSink sink, const RasterHeader& header) : sink_(std::move(sink)), header_(header) {
    if (!sheetHolds(header)) throw std::logic_error("the raster does not lie on its sheet");
    const char* magic = magicOf(header.hasSheet() ? 2 : 1);
    std::vector<std::uint8_t> bytes(magic, magic + sizeof headerMagic);
    for (const std::uint32_t word : headerWords(header)) appendWord(bytes, word);
    if (header.hasSheet())
        for (const std::uint32_t word : {header.sheetWidth, header.sheetHeight, header.sheetX, header.sheetY})
            appendWord(bytes, word);
    if (header.fromProfile != 0) {
        if (header.profilePath.empty() || header.profilePath.size() > maxProfilePathBytes)
            throw std::logic_error("a profiled raster needs the profile's path");
        bytes.insert(bytes.end(), header.profileId.begin(), header.profileId.end());
        appendWord(bytes, static_cast<std::uint32_t>(header.profilePath.size()));
        bytes.insert(bytes.end(), header.profilePath.begin(), header.profilePath.end());
    }
    appendWord(bytes, checksum(bytes));
    put(bytes);
}

void RasterWriter::put(std::span<const std::uint8_t> bytes) {
    sink_(bytes);
    bytesWritten_ += bytes.size();
}

void RasterWriter::writeBand(std::uint32_t deviceRows, std::span<const std::vector<std::uint8_t>> planeStreams) {
    if (planeStreams.size() != header_.planeCount || bandsWritten_ == header_.bandCount)
        throw std::logic_error("band does not match the raster header");
    std::vector<std::uint8_t> words;
    appendWord(words, deviceRows);
    put(words);
    for (const auto& stream : planeStreams) {
        words.clear();
        appendWord(words, static_cast<std::uint32_t>(stream.size()));
        appendWord(words, checksum(stream));
        put(words);
        put(stream);
    }
    ++bandsWritten_;
}

void RasterWriter::finish() {
    if (bandsWritten_ != header_.bandCount) throw std::logic_error("raster finished before its last band");
    put(std::span(reinterpret_cast<const std::uint8_t*>(trailerMagic), sizeof trailerMagic));
}

RasterReader::RasterReader(const std::filesystem::path& path) {
    InputStream input = openInput(path);
    name_ = std::move(input.name);
    file_ = std::move(input.file);
    char magic[sizeof headerMagic];
    take(magic, sizeof magic, "header");
    const int version = versionOf(magic);
    if (version == 0) throw PageError(name_ + ": not a huecl raster file");
    header_ = takeHeader(version);
}

RasterHeader RasterReader::takeHeader(int version) {
    std::vector<std::uint8_t> bytes(magicOf(version), magicOf(version) + sizeof headerMagic);
    const size_t fields = rasterHeaderFields + (version == 2 ? rasterSheetFields : 0);
    bytes.resize(sizeof headerMagic + 4 * fields);
    take(bytes.data() + sizeof headerMagic, bytes.size() - sizeof headerMagic, "header");
    const auto field = [&bytes](size_t index) { return wordAt(bytes.data() + sizeof headerMagic + 4 * index); };
    std::array<std::uint32_t, rasterHeaderFields> words{};
    for (size_t i = 0; i < words.size(); ++i) words[i] = field(i);
    RasterHeader header = headerFromWords(words);
    if (version == 2) {
        header.sheetWidth = field(rasterHeaderFields), header.sheetHeight = field(rasterHeaderFields + 1);
        header.sheetX = field(rasterHeaderFields + 2), header.sheetY = field(rasterHeaderFields + 3);
    }
    if (header.fromProfile == 1) {
        // The profile record is read before the checksum that covers it,
        // so its length is bounded before anything trusts it.
        const size_t recordStart = bytes.size();
        bytes.resize(recordStart + header.profileId.size() + 4);
        take(bytes.data() + recordStart, bytes.size() - recordStart, "header");
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(recordStart), header.profileId.size(),
                    header.profileId.begin());
        const std::uint32_t pathBytes = wordAt(bytes.data() + bytes.size() - 4);
        if (pathBytes > maxProfilePathBytes)
            throw PageError(name_ + ": corrupt raster header (profile path of " + std::to_string(pathBytes) +
                            " bytes)");
        header.profilePath.resize(pathBytes);
        take(header.profilePath.data(), pathBytes, "header");
        bytes.insert(bytes.end(), header.profilePath.begin(), header.profilePath.end());
    }
    const std::uint32_t storedChecksum = takeWord("header");
    if (storedChecksum != checksum(bytes)) throw PageError(name_ + ": corrupt raster header (checksum mismatch)");
    // A version 2 page always names its sheet.
    if (!plausible(header) || (version == 2 && !header.hasSheet()))
        throw PageError(name_ + ": corrupt raster header (impossible geometry)");
    return header;
}

bool RasterReader::nextPage() {
    if (!pageEnded_) throw std::logic_error("the page has bands left");
    if (!anotherPage_) return false;
    header_ = takeHeader(nextVersion_);
    bandsRead_ = 0;
    ++pageNumber_;
    pageEnded_ = anotherPage_ = false;
    return true;
}

void RasterReader::take(void* bytes, size_t count, const char* what) {
    if (std::fread(bytes, 1, count, file_.get()) != count)
        throw PageError(name_ + ": truncated raster file (in the " + what + ")");
}

std::uint32_t RasterReader::takeWord(const char* what) {
    std::uint8_t p[4];
    take(p, 4, what);
    return wordAt(p);
}

bool RasterReader::readBand(RasterBand& band) {
    if (pageEnded_) return false;
    if (bandsRead_ == header_.bandCount) {
        char trailer[sizeof trailerMagic];
        take(trailer, sizeof trailer, "trailer");
        if (std::memcmp(trailer, trailerMagic, sizeof trailer) != 0)
            throw PageError(name_ + ": corrupt raster file (bad trailer)");
        // Whatever follows a trailer must be the next page.
        char magic[sizeof headerMagic];
        const size_t following = std::fread(magic, 1, sizeof magic, file_.get());
        nextVersion_ = following == sizeof magic ? versionOf(magic) : 0;
        if (following != 0 && nextVersion_ == 0) throw PageError(name_ + ": corrupt raster file (bad trailer)");
        pageEnded_ = true;
        anotherPage_ = following != 0;
        return false;
    }
    const std::string where =
        (pageNumber_ > 1 ? "page " + std::to_string(pageNumber_) + " " : "") + "band " + std::to_string(bandsRead_);
    band.deviceRows = takeWord(where.c_str());
    if (band.deviceRows == 0 || band.deviceRows > header_.bandHeight)
        throw PageError(name_ + ": corrupt raster file (" + where + " has " + std::to_string(band.deviceRows) +
                        " rows)");
    const std::uint64_t largestStream = largestPlaneStream(band.deviceRows, header_.lineBytes);
    for (std::uint32_t plane = 0; plane < header_.planeCount; ++plane) {
        const std::uint32_t length = takeWord(where.c_str());
        const std::uint32_t storedChecksum = takeWord(where.c_str());
        if (length > largestStream) throw PageError(name_ + ": corrupt raster file (" + where + " stream too long)");
        auto& stream = band.streams[plane];
        stream.resize(length);
        take(stream.data(), length, where.c_str());
        if (checksum(stream) != storedChecksum)
            throw PageError(name_ + ": corrupt raster file (" + where + " checksum mismatch)");
    }
    ++bandsRead_;
    return true;
}

}  // namespace huecl::pages

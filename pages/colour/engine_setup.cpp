// The draw record, band geometry and band planes both colour generations'
// engines set up alike.
#include "pages/colour/engine_setup.h"

#include "pages/page_error.h"

#include <algorithm>
#include <string>

namespace huecl::pages {

QvrDrwInf drawRecordFor(const PageSettings& settings, std::uint32_t sourceWidth) {
    QvrDrwInf draw{};
    draw.srcWidth = sourceWidth;
    draw.devResX = settings.device.x;
    draw.srcResX = settings.source.x;
    draw.devResY = settings.device.y;
    draw.srcResY = settings.source.y;
    return draw;
}

QvrDrwInf drawRecordAt(const PageSettings& settings, const PageGeometry& geometry, std::uint32_t firstSourceRow) {
    QvrDrwInf draw = drawRecordFor(settings, geometry.sourceWidth);
    draw.devY = static_cast<std::uint32_t>(std::uint64_t{firstSourceRow} * settings.device.y / settings.source.y);
    return draw;
}

void sizeBandPlanes(const PageGeometry& geometry, BandPlanes& out) {
    for (std::uint32_t plane = 0; plane < geometry.planeCount; ++plane)
        out.planes[plane].resize(size_t{geometry.bandHeight} * geometry.lineBytes);
}

BandCmykRows bandCmykRowsOf(const PageGeometry& geometry, std::span<std::uint8_t> sourceRows, std::uint32_t rows,
                            std::vector<std::uint8_t>& scratch) {
    if (geometry.sourcePixels == SourcePixels::cmyk) return {sourceRows.data(), geometry.sourceRowBytes()};
    const size_t cmykBytes = size_t{geometry.sourceWidth} * 4;
    if (scratch.size() < cmykBytes * rows) scratch.resize(cmykBytes * rows);
    return {scratch.data(), cmykBytes};
}

PageGeometry bandGeometryOf(const QvrDizInf& screens, const PageSettings& settings, std::uint32_t sourceWidth,
                            std::uint32_t sourceHeight, SourcePixels pixels, std::uint32_t bitsPerDot) {
    // The library computes positions times resolutions in 32 bits.
    const std::uint64_t widest = std::uint64_t{sourceWidth} * std::max(settings.device.x, settings.source.x);
    const std::uint64_t tallest = (std::uint64_t{sourceHeight} + 1) * std::max(settings.device.y, settings.source.y);
    if (widest > UINT32_MAX || tallest > UINT32_MAX)
        throw PageError("the page (" + std::to_string(sourceWidth) + "x" + std::to_string(sourceHeight) +
                        ") is too large for these resolutions");

    QvrDrwInf probe = drawRecordFor(settings, sourceWidth);
    QvrColDrwInfSet(&screens, &probe, 0);
    if (probe.lineBytes == 0) throw PageError("the page is too narrow to cover a device dot at these resolutions");
    // The band buffer's size goes to the library as a 32-bit count.
    const std::uint64_t bandBytes = std::uint64_t{settings.bandHeight} * probe.lineBytes;
    if (bandBytes > UINT32_MAX)
        throw PageError("--band-height " + std::to_string(settings.bandHeight) + " makes bands of " +
                        std::to_string(bandBytes) + " bytes a plane, more than 4 GiB");
    const std::uint32_t rowsPerBand = QvrColDrwInfSet(&screens, &probe, static_cast<std::uint32_t>(bandBytes));
    if (rowsPerBand == 0)
        throw PageError("--band-height " + std::to_string(settings.bandHeight) +
                        " holds no whole source row at these resolutions");

    PageGeometry geometry;
    geometry.sourceWidth = sourceWidth;
    geometry.sourceHeight = sourceHeight;
    geometry.sourcePixels = pixels;
    geometry.deviceWidth = probe.devWidth;
    geometry.deviceHeight =
        static_cast<std::uint32_t>(std::uint64_t{sourceHeight} * settings.device.y / settings.source.y);
    geometry.lineBytes = probe.lineBytes;
    geometry.bitsPerDot = bitsPerDot;
    geometry.planeCount = settings.blackOnly ? 1 : 4;
    geometry.bandHeight = settings.bandHeight;
    geometry.deviceResY = settings.device.y;
    geometry.sourceResY = settings.source.y;
    geometry.sourceRowsPerBand = rowsPerBand;
    geometry.bandCount = static_cast<std::uint32_t>((std::uint64_t{sourceHeight} + rowsPerBand - 1) / rowsPerBand);
    return geometry;
}

WorkerMatch::WorkerMatch(const PageSettings& settings, const ColourTable& table, std::uint32_t gridSize)
    : cacheKeys_(HUECL_MATCH_CACHE_KEY_BYTES), cacheValues_(HUECL_MATCH_CACHE_VALUE_BYTES) {
    match_.mchMode = settings.matchMethod;
    match_.blackMode = settings.blackMode;
    match_.gridSize = gridSize;
    match_.mchTable = const_cast<std::uint8_t*>(table.entries.data());  // only read
    match_.cacheKeys = cacheKeys_.data();
    match_.cacheValues = cacheValues_.data();
    QvrColCchIni(&match_);
}

}  // namespace huecl::pages

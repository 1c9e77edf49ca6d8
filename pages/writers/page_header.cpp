// A page's container header from its settings, and the preview's box size
// and margins it implies.
#include "pages/writers/page_header.h"

#include "pages/colour/colour_table.h"

#include <algorithm>

namespace huecl::pages {

RasterHeader rasterHeaderFor(const PageSettings& s, const PageGeometry& g, std::uint32_t gridSize,
                             const std::optional<std::filesystem::path>& profile) {
    RasterHeader h;
    h.sourceWidth = g.sourceWidth, h.sourceHeight = g.sourceHeight;
    h.sourceResX = s.source.x, h.sourceResY = s.source.y, h.deviceResX = s.device.x, h.deviceResY = s.device.y;
    h.deviceWidth = g.deviceWidth, h.deviceHeight = g.deviceHeight, h.lineBytes = g.lineBytes;
    h.bitsPerDot = g.bitsPerDot, h.planeCount = g.planeCount, h.bandCount = g.bandCount, h.bandHeight = g.bandHeight;
    h.engine = static_cast<std::uint32_t>(s.engine), h.ditherMode = s.ditherMode, h.screenKind = s.screenKind;
    h.blackOnly = s.blackOnly, h.matchMethod = s.matchMethod, h.blackMode = s.blackMode;
    h.gridSize = gridSize, h.fromProfile = profile.has_value();
    if (profile) {
        h.profilePath = std::filesystem::absolute(*profile).lexically_normal().string();
        h.profileId = profileIdentity(*profile);
    }
    h.brightness = s.brightness, h.saturation = s.saturation;
    h.balanceRed = s.balance[0], h.balanceGreen = s.balance[1], h.balanceBlue = s.balance[2];
    h.cmySaturation = s.cmySaturation, h.density = s.density, h.lzsBudget = s.lzsBudget;
    h.cmykSource = g.sourcePixels == SourcePixels::cmyk ? 1 : 0;
    if (s.sheet.known()) {
        // The sheet holds the raster whole, whatever rounding made either.
        h.sheetX = s.sheet.x, h.sheetY = s.sheet.y;
        h.sheetWidth = std::max(s.sheet.width, s.sheet.x + g.deviceWidth);
        h.sheetHeight = std::max(s.sheet.height, s.sheet.y + g.deviceHeight);
    }
    return h;
}

std::uint32_t previewBoxFor(const RasterHeader& h, std::uint32_t previewDpi) {
    if (previewDpi != 0) return previewBoxSize(h.deviceResY, previewDpi);
    return automaticPreviewBoxSize(h.deviceResY, h.sourceResY, h.hasSheet() ? h.sheetWidth : h.deviceWidth,
                                   h.hasSheet() ? h.sheetHeight : h.deviceHeight);
}

PreviewMargins previewMarginsFor(const RasterHeader& h, std::uint32_t boxSize) {
    if (!h.hasSheet()) return {};
    // Lengths in dots to the nearest preview pixel; the raster's own pixels
    // are boxes begun, as the preview counts them.
    const auto pixels = [boxSize](std::uint64_t dots) {
        return static_cast<std::uint32_t>((dots + boxSize / 2) / boxSize);
    };
    PreviewMargins margins;
    margins.left = pixels(h.sheetX);
    margins.top = pixels(h.sheetY);
    const std::uint64_t right = std::uint64_t{pixels(h.sheetWidth)};
    const std::uint64_t bottom = std::uint64_t{pixels(h.sheetHeight)};
    const std::uint64_t columnsTo = margins.left + boxesAcross(h.deviceWidth, boxSize);
    const std::uint64_t rowsTo = margins.top + boxesAcross(h.deviceHeight, boxSize);
    margins.right = right > columnsTo ? static_cast<std::uint32_t>(right - columnsTo) : 0;
    margins.bottom = bottom > rowsTo ? static_cast<std::uint32_t>(bottom - rowsTo) : 0;
    return margins;
}

}  // namespace huecl::pages

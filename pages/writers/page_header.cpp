#include "pages/writers/page_header.h"

#include "pages/colour/colour_table.h"

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
    return h;
}

}  // namespace huecl::pages

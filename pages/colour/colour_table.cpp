// Building colour tables: the matching cube and the proof's CMYK-to-sRGB
// table, from an ICC profile through Little CMS or from the built-in model.
#include "pages/colour/colour_table.h"

#include "pages/page_error.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

namespace huecl::pages {
namespace {

// Little CMS reports errors through a global hook; the last message explains
// a failed open or transform.
std::mutex lcmsMutex;
std::string lastLcmsError;

void keepLcmsError(cmsContext, cmsUInt32Number, const char* text) { lastLcmsError = text; }

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using ProfileHandle = std::unique_ptr<void, ProfileCloser>;
using TransformHandle = std::unique_ptr<void, TransformDeleter>;

}  // namespace

std::vector<std::uint8_t> interpolationAxis(std::uint32_t gridSize) {
    std::vector<std::uint8_t> levels(gridSize);
    for (std::uint32_t i = 0; i < gridSize; ++i)
        levels[i] = static_cast<std::uint8_t>((255 * i + (gridSize - 1) / 2) / (gridSize - 1));
    return levels;
}

std::vector<std::uint8_t> directLookupAxis() {
    std::vector<std::uint8_t> levels(32);
    for (std::uint32_t i = 0; i < 32; ++i) levels[i] = static_cast<std::uint8_t>(8 * i + 4);
    return levels;
}

ColourTable buildModelTable(const std::vector<std::uint8_t>& axis) {
    const auto gridSize = static_cast<std::uint32_t>(axis.size());
    ColourTable table{gridSize, std::vector<std::uint8_t>(size_t{gridSize} * gridSize * gridSize * 4),
                      "built-in model"};
    auto toByte = [](double value) {
        return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255));
    };
    size_t entry = 0;
    for (std::uint32_t r = 0; r < gridSize; ++r)
        for (std::uint32_t g = 0; g < gridSize; ++g)
            for (std::uint32_t b = 0; b < gridSize; ++b, entry += 4) {
                const double c = 1 - axis[r] / 255.0;
                const double m = 1 - axis[g] / 255.0;
                const double y = 1 - axis[b] / 255.0;
                const double grey = std::min({c, m, y});
                const double k = grey * grey;
                table.entries[entry + 0] = toByte(c - k);
                table.entries[entry + 1] = toByte(m - k);
                table.entries[entry + 2] = toByte(y - k);
                table.entries[entry + 3] = toByte(k);
            }
    return table;
}

std::array<std::uint8_t, 16> profileIdentity(const std::filesystem::path& profilePath) {
    const std::string name = profilePath.string();
    std::lock_guard lock(lcmsMutex);
    cmsSetLogErrorHandler(keepLcmsError);
    lastLcmsError.clear();
    ProfileHandle profile(cmsOpenProfileFromFile(name.c_str(), "r"));
    if (!profile || !cmsMD5computeID(profile.get()))
        throw PageError(name + ": not a readable ICC profile" +
                        (lastLcmsError.empty() ? "" : " (" + lastLcmsError + ")"));
    std::array<std::uint8_t, 16> identity{};
    cmsGetHeaderProfileID(profile.get(), identity.data());
    return identity;
}

namespace {

// Opens a CMYK output profile; the caller holds lcmsMutex.
ProfileHandle openPrinterProfile(const std::string& name) {
    cmsSetLogErrorHandler(keepLcmsError);
    lastLcmsError.clear();
    ProfileHandle output(cmsOpenProfileFromFile(name.c_str(), "r"));
    if (!output)
        throw PageError(name + ": not a readable ICC profile" +
                        (lastLcmsError.empty() ? "" : " (" + lastLcmsError + ")"));
    if (cmsGetColorSpace(output.get()) != cmsSigCmykData) throw PageError(name + ": not a CMYK profile");
    if (cmsGetDeviceClass(output.get()) != cmsSigOutputClass)
        throw PageError(name + ": not an output (printer) profile");
    return output;
}

}  // namespace

ColourTable buildProfileTable(const std::filesystem::path& profilePath, const std::vector<std::uint8_t>& axis) {
    const auto gridSize = static_cast<std::uint32_t>(axis.size());
    const std::string name = profilePath.string();
    std::lock_guard lock(lcmsMutex);
    ProfileHandle output = openPrinterProfile(name);

    ProfileHandle srgb(cmsCreate_sRGBProfile());
    TransformHandle transform(
        cmsCreateTransform(srgb.get(), TYPE_RGB_8, output.get(), TYPE_CMYK_8, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
    if (!transform)
        throw PageError(name + ": cannot build a transform from sRGB" +
                        (lastLcmsError.empty() ? "" : " (" + lastLcmsError + ")"));

    ColourTable table{gridSize, std::vector<std::uint8_t>(size_t{gridSize} * gridSize * gridSize * 4),
                      "profile " + profilePath.filename().string()};
    // One blue row of the cube per call; the table's own order is the input order.
    std::vector<std::uint8_t> rgbRow(size_t{gridSize} * 3);
    size_t entry = 0;
    for (std::uint32_t r = 0; r < gridSize; ++r)
        for (std::uint32_t g = 0; g < gridSize; ++g) {
            for (std::uint32_t b = 0; b < gridSize; ++b) {
                rgbRow[3 * b + 0] = axis[r];
                rgbRow[3 * b + 1] = axis[g];
                rgbRow[3 * b + 2] = axis[b];
            }
            cmsDoTransform(transform.get(), rgbRow.data(), table.entries.data() + entry, gridSize);
            entry += size_t{gridSize} * 4;
        }
    return table;
}

namespace {

// Every (k, c, m, y) grid point in the table's order, one yellow run at a time.
template <typename FillRun>
ProofTable fillProofTable(std::uint32_t gridSize, FillRun fillRun) {
    const std::vector<std::uint8_t> axis = interpolationAxis(gridSize);
    ProofTable table{gridSize, std::vector<std::uint8_t>(size_t{gridSize} * gridSize * gridSize * gridSize * 3)};
    std::vector<std::uint8_t> cmykRun(size_t{gridSize} * 4);
    std::uint8_t* entry = table.entries.data();
    for (std::uint32_t k = 0; k < gridSize; ++k)
        for (std::uint32_t c = 0; c < gridSize; ++c)
            for (std::uint32_t m = 0; m < gridSize; ++m) {
                for (std::uint32_t y = 0; y < gridSize; ++y) {
                    cmykRun[4 * y + 0] = axis[c];
                    cmykRun[4 * y + 1] = axis[m];
                    cmykRun[4 * y + 2] = axis[y];
                    cmykRun[4 * y + 3] = axis[k];
                }
                fillRun(cmykRun.data(), entry, gridSize);
                entry += size_t{gridSize} * 3;
            }
    return table;
}

}  // namespace

ProofTable buildModelProofTable(std::uint32_t gridSize) {
    return fillProofTable(gridSize, [](const std::uint8_t* cmyk, std::uint8_t* rgb, std::uint32_t count) {
        for (std::uint32_t i = 0; i < count; ++i, cmyk += 4, rgb += 3)
            for (int ink = 0; ink < 3; ++ink)
                rgb[ink] = static_cast<std::uint8_t>(255 - std::min(255, cmyk[ink] + cmyk[3]));
    });
}

ProofTable buildProfileProofTable(const std::filesystem::path& profilePath, std::uint32_t gridSize) {
    const std::string name = profilePath.string();
    std::lock_guard lock(lcmsMutex);
    ProfileHandle input = openPrinterProfile(name);
    ProfileHandle srgb(cmsCreate_sRGBProfile());
    TransformHandle transform(cmsCreateTransform(input.get(), TYPE_CMYK_8, srgb.get(), TYPE_RGB_8,
                                                 INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE));
    if (!transform)
        throw PageError(name + ": cannot build a transform to sRGB" +
                        (lastLcmsError.empty() ? "" : " (" + lastLcmsError + ")"));
    return fillProofTable(gridSize, [&](const std::uint8_t* cmyk, std::uint8_t* rgb, std::uint32_t count) {
        cmsDoTransform(transform.get(), cmyk, rgb, count);
    });
}

}  // namespace huecl::pages

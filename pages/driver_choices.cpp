// The driver's choices read by keyword into page settings, and a CUPS
// raster page header's resolution, sheet and colour into a page's settings.
#include "pages/driver_choices.h"

#include "pages/colour/earlier_engine.h"
#include "pages/page_error.h"
#include "pages/readers/cups_raster_source.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>

namespace huecl::pages {
namespace {

std::int32_t integerChoice(const ChoiceLookup& choiceOf, const std::string& keyword, std::int32_t fallback,
                           std::int32_t low, std::int32_t high) {
    const auto text = choiceOf(keyword);
    if (!text) return fallback;
    std::int32_t value = 0;
    const char* end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, value);
    if (error != std::errc() || stop != end || value < low || value > high)
        throw PageError(keyword + " must be a whole number from " + std::to_string(low) + " to " +
                        std::to_string(high) + ", not '" + *text + "'");
    return value;
}

// HueclHalftone: the later generation's ordered screens by their tool
// names (1bit, 2bit, 4bit, 1bit-spread), or the earlier generation, which
// prints one bit per dot through its own matching on a 32-point table,
// screened (earlier-1bit) or diffused (earlier-diffusion), as `huecl print
// --engine earlier [--diffusion]` does.
// Returns whether the choice names the halftoning (Auto leaves it to the
// print quality).
bool readHalftoneChoice(const ChoiceLookup& choiceOf, PageSettings& page) {
    const auto text = choiceOf("HueclHalftone");
    if (!text || *text == "Auto") return false;
    std::string known;
    for (std::uint32_t mode = 0; mode < 4; ++mode) {
        const std::string name = ditherModeName(mode);
        if (*text == name) {
            page.ditherMode = mode;
            return true;
        }
        known += name + ", ";
    }
    if (*text == earlierScreenChoice || *text == earlierDiffusionChoice) {
        page.engine = EngineKind::earlier;
        page.ditherMode = *text == earlierScreenChoice ? HUECL_DITHER_1BIT : errorDiffusionMode;
        page.gridSize = earlierGridSize;
        return true;
    }
    throw PageError("HueclHalftone must be Auto or one of " + known + earlierScreenChoice + ", " +
                    earlierDiffusionChoice + ", not '" + *text + "'");
}

}  // namespace

DriverSettings driverSettingsFrom(const ChoiceLookup& choiceOf) {
    DriverSettings driver;
    PageSettings& page = driver.page;
    const bool halftoneChosen = readHalftoneChoice(choiceOf, page);
    if (const auto quality = choiceOf("cupsPrintQuality")) {
        const auto named = printQualityNamed(*quality);
        if (!named) throw PageError("cupsPrintQuality must be Draft, Normal, High or Photo, not '" + *quality + "'");
        driver.quality = *named;
    }
    BlackChoice black = BlackChoice::automatic;
    if (const auto text = choiceOf("HueclBlack"); text && *text != "Auto") {
        if (*text != "Pure" && *text != "Composite")
            throw PageError("HueclBlack must be Auto, Pure or Composite, not '" + *text + "'");
        black = *text == "Pure" ? BlackChoice::pure : BlackChoice::composite;
    }
    applyQuality(driver.quality, black, halftoneChosen, page);
    page.screenKind = static_cast<std::uint32_t>(
        integerChoice(choiceOf, "HueclScreen", static_cast<std::int32_t>(page.screenKind), 0, 3));
    page.density = integerChoice(choiceOf, "HueclDensity", page.density, -128, 255);
    page.balance[0] = integerChoice(choiceOf, "HueclBalanceRed", page.balance[0], 1, 30);
    page.balance[1] = integerChoice(choiceOf, "HueclBalanceGreen", page.balance[1], 1, 30);
    page.balance[2] = integerChoice(choiceOf, "HueclBalanceBlue", page.balance[2], 1, 30);

    if (const auto profile = choiceOf("HueclProfile"); profile && !profile->empty()) {
        // The filter runs on the print server; a relative name would depend
        // on its working folder.
        if (!std::filesystem::path(*profile).is_absolute())
            throw PageError("HueclProfile must name an ICC profile by its absolute path, not '" + *profile + "'");
        driver.table = TableSource::profile;
        driver.profile = *profile;
    } else if (const auto table = choiceOf("HueclColorTable"); table && *table != "Auto") {
        if (*table != "Model") throw PageError("HueclColorTable must be Auto or Model, not '" + *table + "'");
        driver.table = TableSource::model;
    }
    if (const auto compression = choiceOf("HueclCompression"); compression && *compression != "Exact") {
        if (*compression != "Best")
            throw PageError("HueclCompression must be Exact or Best, not '" + *compression + "'");
        driver.lzsEncoder = LzsEncoder::best;
    }
    return driver;
}

SheetPlacement sheetOf(const cups_page_header2_t& header) {
    SheetPlacement sheet;
    if (header.PageSize[0] == 0 || header.PageSize[1] == 0) return sheet;
    // Points to dots, to the nearest dot.
    const auto dots = [](std::uint64_t points, std::uint32_t resolution) {
        return static_cast<std::uint32_t>(std::min<std::uint64_t>((points * resolution + 36) / 72, UINT32_MAX));
    };
    const std::uint32_t resX = header.HWResolution[0], resY = header.HWResolution[1];
    sheet.width = dots(header.PageSize[0], resX);
    sheet.height = dots(header.PageSize[1], resY);
    const unsigned* box = header.ImagingBoundingBox;  // left, bottom, right, top from the bottom left
    if (box[2] > box[0] && box[3] > box[1] && box[3] <= header.PageSize[1]) {
        sheet.x = dots(box[0], resX);
        sheet.y = dots(header.PageSize[1] - box[3], resY);
    } else {
        // Without an imageable area (PWG raster has none), the left margin
        // alone says where the raster starts; it starts at the top.
        sheet.x = dots(header.Margins[0], resX);
    }
    // The sheet holds the raster whole, whatever rounding made either.
    const std::uint64_t width = std::max<std::uint64_t>(sheet.width, std::uint64_t{sheet.x} + header.cupsWidth);
    const std::uint64_t height = std::max<std::uint64_t>(sheet.height, std::uint64_t{sheet.y} + header.cupsHeight);
    if (width > largestSheetSide || height > largestSheetSide) return {};
    sheet.width = static_cast<std::uint32_t>(width);
    sheet.height = static_cast<std::uint32_t>(height);
    return sheet;
}

PageSettings pageSettingsFor(const DriverSettings& driver, const cups_page_header2_t& header) {
    PageSettings page = driver.page;
    // The page is rendered at the device resolution: one pixel, one dot.
    page.source = {header.HWResolution[0], header.HWResolution[1]};
    page.device = page.source;
    page.sheet = sheetOf(header);
    const std::uint32_t space = colourSpaceOf(header);
    const bool grey = space == CUPS_CSPACE_W || space == CUPS_CSPACE_SW || space == CUPS_CSPACE_K;
    // Grey levels through the black-only method to the black plane alone.
    if (grey) printBlackOnly(page);
    return page;
}

ColourTableSource colourTablesFor(const DriverSettings& driver, const std::filesystem::path& defaultProfile) {
    switch (driver.table) {
        case TableSource::profile: return ColourTableSource(driver.profile);
        case TableSource::model: return ColourTableSource();
        case TableSource::automatic: break;
    }
    std::error_code ignored;
    if (std::filesystem::is_regular_file(defaultProfile, ignored)) return ColourTableSource(defaultProfile);
    return ColourTableSource();
}

}  // namespace huecl::pages

#include "driver_options.h"

#include "cups_raster_source.h"

#include "pages/colour/earlier_engine.h"
#include "pages/page_error.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace huecl::cups {
namespace {

using pages::PageError;

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
bool readHalftoneChoice(const ChoiceLookup& choiceOf, pages::PageSettings& page) {
    const auto text = choiceOf("HueclHalftone");
    if (!text || *text == "Auto") return false;
    std::string known;
    for (std::uint32_t mode = 0; mode < 4; ++mode) {
        const std::string name = pages::ditherModeName(mode);
        if (*text == name) {
            page.ditherMode = mode;
            return true;
        }
        known += name + ", ";
    }
    if (*text == earlierScreenChoice || *text == earlierDiffusionChoice) {
        page.engine = pages::EngineKind::earlier;
        page.ditherMode = *text == earlierScreenChoice ? HUECL_DITHER_1BIT : pages::errorDiffusionMode;
        page.gridSize = pages::earlierGridSize;
        return true;
    }
    throw PageError("HueclHalftone must be Auto or one of " + known + earlierScreenChoice + ", " +
                    earlierDiffusionChoice + ", not '" + *text + "'");
}

// The qualifiers a cupsICCProfile may carry to apply to this job:
// "ColorModel.MediaType.Resolution", each part empty or the marked choice
// of its option.
std::vector<std::string> profileQualifiers(ppd_file_t* ppd) {
    std::vector<std::string> parts[3];
    const char* options[3] = {"ColorModel", "MediaType", "Resolution"};
    for (int i = 0; i < 3; ++i) {
        parts[i].push_back("");
        if (const ppd_choice_t* marked = ppdFindMarkedChoice(ppd, options[i])) parts[i].push_back(marked->choice);
    }
    std::vector<std::string> qualifiers;
    for (const std::string& colorModel : parts[0])
        for (const std::string& mediaType : parts[1])
            for (const std::string& resolution : parts[2])
                qualifiers.push_back(colorModel + "." + mediaType + "." + resolution);
    return qualifiers;
}

}  // namespace

DriverSettings driverSettingsFrom(const ChoiceLookup& choiceOf) {
    DriverSettings driver;
    pages::PageSettings& page = driver.page;
    const bool halftoneChosen = readHalftoneChoice(choiceOf, page);
    if (const auto quality = choiceOf("cupsPrintQuality")) {
        const auto named = pages::printQualityNamed(*quality);
        if (!named) throw PageError("cupsPrintQuality must be Draft, Normal, High or Photo, not '" + *quality + "'");
        driver.quality = *named;
    }
    pages::BlackChoice black = pages::BlackChoice::automatic;
    if (const auto text = choiceOf("HueclBlack"); text && *text != "Auto") {
        if (*text != "Pure" && *text != "Composite")
            throw PageError("HueclBlack must be Auto, Pure or Composite, not '" + *text + "'");
        black = *text == "Pure" ? pages::BlackChoice::pure : pages::BlackChoice::composite;
    }
    pages::applyQuality(driver.quality, black, halftoneChosen, page);
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
        driver.lzsEncoder = pages::LzsEncoder::best;
    }
    return driver;
}

pages::SheetPlacement sheetOf(const cups_page_header2_t& header) {
    pages::SheetPlacement sheet;
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
    if (width > pages::largestSheetSide || height > pages::largestSheetSide) return {};
    sheet.width = static_cast<std::uint32_t>(width);
    sheet.height = static_cast<std::uint32_t>(height);
    return sheet;
}

pages::PageSettings pageSettingsFor(const DriverSettings& driver, const cups_page_header2_t& header) {
    pages::PageSettings page = driver.page;
    // The page is rendered at the device resolution: one pixel, one dot.
    page.source = {header.HWResolution[0], header.HWResolution[1]};
    page.device = page.source;
    page.sheet = sheetOf(header);
    const std::uint32_t space = colourSpaceOf(header);
    const bool grey = space == CUPS_CSPACE_W || space == CUPS_CSPACE_SW || space == CUPS_CSPACE_K;
    if (grey) {
        // Grey levels through the black-only method to the black plane alone.
        page.blackOnly = true;
        page.matchMethod = 4;
    }
    return page;
}

pages::ColourTableSource colourTablesFor(const DriverSettings& driver, const std::filesystem::path& defaultProfile) {
    switch (driver.table) {
        case TableSource::profile: return pages::ColourTableSource(driver.profile);
        case TableSource::model: return pages::ColourTableSource();
        case TableSource::automatic: break;
    }
    std::error_code ignored;
    if (std::filesystem::is_regular_file(defaultProfile, ignored)) return pages::ColourTableSource(defaultProfile);
    return pages::ColourTableSource();
}

JobOptions::JobOptions(const char* optionText, const char* ppdPath) {
    optionCount_ = cupsParseOptions(optionText ? optionText : "", 0, &options_);
    if (ppdPath && *ppdPath) {
        ppd_ = ppdOpenFile(ppdPath);
        if (!ppd_) {
            int line = 0;
            const ppd_status_t status = ppdLastError(&line);
            cupsFreeOptions(optionCount_, options_);
            throw PageError(std::string("cannot read the PPD ") + ppdPath + ": " + ppdErrorString(status) +
                            " on line " + std::to_string(line));
        }
        ppdMarkDefaults(ppd_);
        // Only the PPD's own options are marked. The renderer has applied
        // IPP options such as print-color-mode already, and marking those
        // makes libcups build a mapping cache that it never frees.
        int pickedCount = 0;
        cups_option_t* picked = nullptr;
        for (int i = 0; i < optionCount_; ++i)
            if (ppdFindOption(ppd_, options_[i].name))
                pickedCount = cupsAddOption(options_[i].name, options_[i].value, pickedCount, &picked);
        cupsMarkOptions(ppd_, pickedCount, picked);
        cupsFreeOptions(pickedCount, picked);
        // IPP's print-quality names the preset, as the scheduler's own
        // mapping does, unless the job names one itself. Marked directly:
        // libcups's cupsAddOption leaks when it takes one name for the other.
        if (const char* quality = cupsGetOption("print-quality", optionCount_, options_);
            quality && !cupsGetOption("cupsPrintQuality", optionCount_, options_)) {
            const int value = std::atoi(quality);
            ppdMarkOption(ppd_, "cupsPrintQuality",
                          value == IPP_QUALITY_DRAFT  ? "Draft"
                          : value == IPP_QUALITY_HIGH ? "High"
                                                      : "Normal");
        }
        for (int i = 0; i < optionCount_; ++i) {
            const ppd_option_t* option = ppdFindOption(ppd_, options_[i].name);
            if (!option || ppdFindChoice(const_cast<ppd_option_t*>(option), options_[i].value)) continue;
            // A custom size or value is a choice of its own.
            if (std::strncmp(options_[i].value, "Custom.", 7) == 0 &&
                ppdFindChoice(const_cast<ppd_option_t*>(option), "Custom"))
                continue;
            const ppd_choice_t* used = ppdFindMarkedChoice(ppd_, options_[i].name);
            ignoredChoices_.push_back(std::string(options_[i].name) + "=" + options_[i].value +
                                      " is not a choice of the driver; printing with " +
                                      (used ? used->choice : "the default"));
        }
    }
}

JobOptions::~JobOptions() {
    if (ppd_) ppdClose(ppd_);
    cupsFreeOptions(optionCount_, options_);
}

std::optional<std::string> JobOptions::choice(const std::string& keyword) const {
    if (ppd_)
        if (const ppd_choice_t* marked = ppdFindMarkedChoice(ppd_, keyword.c_str())) return std::string(marked->choice);
    if (const char* value = cupsGetOption(keyword.c_str(), optionCount_, options_)) return std::string(value);
    return std::nullopt;
}

std::optional<std::filesystem::path> JobOptions::ppdProfile() const {
    if (!ppd_) return std::nullopt;
    // The profiles whose qualifiers fit the job, then the first of them in
    // the file's order, as drivers list the narrow ones first.
    std::vector<const ppd_attr_t*> fitting;
    for (const std::string& qualifiers : profileQualifiers(ppd_))
        if (const ppd_attr_t* attr = ppdFindAttr(ppd_, "cupsICCProfile", qualifiers.c_str())) fitting.push_back(attr);
    for (ppd_attr_t* attr = ppdFindAttr(ppd_, "cupsICCProfile", nullptr); attr;
         attr = ppdFindNextAttr(ppd_, "cupsICCProfile", nullptr)) {
        if (!attr->value || std::find(fitting.begin(), fitting.end(), attr) == fitting.end()) continue;
        std::filesystem::path profile = attr->value;
        if (profile.is_relative()) {
            const char* dataDir = std::getenv("CUPS_DATADIR");
            profile = std::filesystem::path(dataDir ? dataDir : "/usr/share/cups") / "profiles" / profile;
        }
        return profile;
    }
    return std::nullopt;
}

}  // namespace huecl::cups

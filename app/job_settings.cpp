#include "job_settings.h"

#include "printer_driver.h"

#include "pages/page_error.h"

#include <charconv>
#include <optional>
#include <string_view>

namespace huecl::app {
namespace {

using pages::PageError;

// The CUPS driver's keyword of each vendor attribute, as the PPD names it.
struct KeywordPair {
    const char* ppd;
    const char* vendor;
};
constexpr KeywordPair keywordPairs[] = {
    {"HueclScreen", screenAttribute},           {"HueclDensity", densityAttribute},
    {"HueclBalanceRed", balanceRedAttribute},   {"HueclBalanceGreen", balanceGreenAttribute},
    {"HueclBalanceBlue", balanceBlueAttribute}, {"HueclProfile", profileAttribute}};

const std::string* valueOf(const JobChoices& choices, const char* attribute) {
    const auto found = choices.vendor.find(attribute);
    return found == choices.vendor.end() ? nullptr : &found->second;
}

// The CUPS driver accepts wider ranges than the printer advertises; a job
// may ask for no more than the printer says it does.
void checkRange(const JobChoices& choices, const char* attribute, int lowest, int highest) {
    const std::string* text = valueOf(choices, attribute);
    if (!text) return;
    int value = 0;
    const char* end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, value);
    if (error != std::errc() || stop != end || value < lowest || value > highest)
        throw PageError(std::string(attribute) + " must be a whole number from " + std::to_string(lowest) + " to " +
                        std::to_string(highest) + ", not '" + *text + "'");
}

// A vendor value and the PPD choice it stands for.
struct ValueChoice {
    const char* value;
    const char* choice;
};

// The PPD choice of an attribute that takes one of two values, if the job
// names it.
std::optional<std::string> twoWayChoice(const JobChoices& choices, const char* attribute, ValueChoice first,
                                        ValueChoice second) {
    const std::string* value = valueOf(choices, attribute);
    if (!value) return std::nullopt;
    for (const ValueChoice& known : {first, second})
        if (*value == known.value) return known.choice;
    throw PageError(std::string(attribute) + " must be " + first.value + " or " + second.value + ", not '" + *value +
                    "'");
}

std::optional<std::string> printerDefault(ipp_t* driverAttributes, const char* attribute) {
    if (!driverAttributes) return std::nullopt;
    const std::string name = std::string(attribute) + "-default";
    ipp_attribute_t* found = ippFindAttribute(driverAttributes, name.c_str(), IPP_TAG_ZERO);
    if (!found) return std::nullopt;
    char text[1024];
    ippAttributeString(found, text, sizeof text);
    return std::string(text);
}

}  // namespace

pages::PrintQuality qualityOf(ipp_quality_t quality) {
    switch (quality) {
        case IPP_QUALITY_DRAFT: return pages::PrintQuality::draft;
        case IPP_QUALITY_HIGH: return pages::PrintQuality::high;
        default: return pages::PrintQuality::normal;
    }
}

pages::Resolution renderResolution(ipp_quality_t quality, pages::Resolution printerDefault) {
    return pages::presetOf(qualityOf(quality)).resolution.value_or(printerDefault);
}

pages::BlackChoice blackFor(pappl_content_t content) {
    if (content == PAPPL_CONTENT_PHOTO) return pages::BlackChoice::composite;
    if (content == PAPPL_CONTENT_TEXT) return pages::BlackChoice::pure;
    return pages::BlackChoice::automatic;
}

pages::DriverSettings driverSettingsFor(const JobChoices& choices) {
    checkRange(choices, densityAttribute, densityLowest, densityHighest);
    for (const char* balance : {balanceRedAttribute, balanceGreenAttribute, balanceBlueAttribute})
        checkRange(choices, balance, balanceLowest, balanceHighest);
    checkRange(choices, screenAttribute, 0, 3);
    const std::optional<std::string> table =
        twoWayChoice(choices, colourTableAttribute, {"auto", "Auto"}, {"model", "Model"});
    const std::optional<std::string> compression =
        twoWayChoice(choices, compressionAttribute, {"exact", "Exact"}, {"best", "Best"});
    if (const std::string* profile = valueOf(choices, profileAttribute); profile && profile->front() != '/')
        throw PageError(std::string(profileAttribute) + " must name an ICC profile by its absolute path, not '" +
                        *profile + "'");
    // The PPD's choice names of the quality preset and the black.
    const std::string quality = pages::printQualityName(qualityOf(choices.quality));
    const pages::BlackChoice black = blackFor(choices.content);
    const pages::ChoiceLookup lookup = [&](const std::string& keyword) -> std::optional<std::string> {
        if (keyword == "HueclHalftone") return choices.halftone;
        if (keyword == "cupsPrintQuality") return quality;
        if (keyword == "HueclBlack" && black != pages::BlackChoice::automatic)
            return black == pages::BlackChoice::composite ? "Composite" : "Pure";
        if (keyword == "HueclColorTable") return table;
        if (keyword == "HueclCompression") return compression;
        for (const KeywordPair& pair : keywordPairs)
            if (keyword == pair.ppd)
                if (const std::string* value = valueOf(choices, pair.vendor)) return *value;
        return std::nullopt;
    };
    return pages::driverSettingsFrom(lookup);
}

pages::PageSettings pageSettingsFor(const pages::DriverSettings& driver, const JobChoices& choices,
                                    const cups_page_header2_t& header) {
    pages::PageSettings page = pages::pageSettingsFor(driver, header);
    if (choices.colourMode != PAPPL_COLOR_MODE_COLOR && choices.colourMode != PAPPL_COLOR_MODE_AUTO)
        pages::printBlackOnly(page);
    return page;
}

JobChoices jobChoicesFrom(const pappl_pr_options_t& options, const std::string& halftone, ipp_t* driverAttributes) {
    JobChoices choices;
    choices.halftone = halftone;
    choices.quality = options.print_quality;
    choices.colourMode = options.print_color_mode;
    choices.content = options.print_content_optimize;
    for (int i = 0; i < options.num_vendor; ++i)
        if (options.vendor[i].name && options.vendor[i].value)
            choices.vendor[options.vendor[i].name] = options.vendor[i].value;
    for (const char* attribute : {densityAttribute, balanceRedAttribute, balanceGreenAttribute, balanceBlueAttribute,
                                  screenAttribute, colourTableAttribute, profileAttribute, compressionAttribute}) {
        const std::optional<std::string> fallback = printerDefault(driverAttributes, attribute);
        if (!choices.vendor.count(attribute)) {
            if (fallback) choices.vendor[attribute] = *fallback;
        } else if (std::string_view(attribute) == profileAttribute &&
                   choices.vendor[attribute] != fallback.value_or("")) {
            // Any client could otherwise have the server open any file it
            // names, and learn from the answer whether it exists.
            throw PageError(std::string(profileAttribute) +
                            " is the printer's setting: a job takes the profile the printer names");
        }
    }
    // An empty profile path is the colour-table choice, not a profile.
    if (const auto profile = choices.vendor.find(profileAttribute);
        profile != choices.vendor.end() && profile->second.empty())
        choices.vendor.erase(profile);
    return choices;
}

}  // namespace huecl::app

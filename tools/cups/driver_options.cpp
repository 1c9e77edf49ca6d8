#include "driver_options.h"

#include "pages/page_error.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace huecl::cups {
namespace {

using pages::PageError;

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

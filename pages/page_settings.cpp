// The names the front ends give the page's choices, and the rules that
// tie one choice to another.
#include "pages/page_settings.h"

namespace huecl::pages {

void printBlackOnly(PageSettings& page) {
    page.blackOnly = true;
    page.matchMethod = HUECL_MATCH_BLACK;
}

std::string ditherModeName(std::uint32_t ditherMode) {
    if (ditherMode == errorDiffusionMode) return "diffusion";
    for (const auto& entry : ditherModeNames)
        if (entry.value == ditherMode) return entry.name;
    return "mode " + std::to_string(ditherMode);
}

std::string matchMethodName(std::uint32_t matchMethod) {
    for (const auto& entry : matchMethodNames)
        if (entry.value == matchMethod) return entry.name;
    return "method " + std::to_string(matchMethod);
}

}  // namespace huecl::pages

// The quality presets' settings and names, and how a preset and a black
// choice apply to a page's settings.
#include "pages/print_quality.h"

#include <array>
#include <cctype>

namespace huecl::pages {
namespace {

constexpr std::array<const char*, 4> qualityNames{"draft", "normal", "high", "photo"};

}  // namespace

QualityPreset presetOf(PrintQuality quality) {
    switch (quality) {
        case PrintQuality::draft: return {Resolution{300, 300}, HUECL_DITHER_1BIT, 9, BlackChoice::pure};
        case PrintQuality::normal: return {std::nullopt, HUECL_DITHER_2BIT, 17, BlackChoice::pure};
        case PrintQuality::high: return {Resolution{600, 600}, HUECL_DITHER_4BIT, 17, BlackChoice::pure};
        case PrintQuality::photo: return {Resolution{600, 600}, HUECL_DITHER_4BIT, 33, BlackChoice::composite};
    }
    return presetOf(PrintQuality::normal);
}

void applyQuality(PrintQuality quality, BlackChoice black, bool keepHalftone, PageSettings& settings) {
    const QualityPreset preset = presetOf(quality);
    if (settings.engine == EngineKind::later) {
        if (!keepHalftone) settings.ditherMode = preset.ditherMode;
        settings.gridSize = preset.gridSize;
    }
    const BlackChoice chosen = black == BlackChoice::automatic ? preset.black : black;
    settings.blackMode = chosen == BlackChoice::pure ? HUECL_BLACK_PURE : HUECL_BLACK_NONE;
}

std::optional<PrintQuality> printQualityNamed(const std::string& name) {
    std::string lower;
    for (const char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (std::uint32_t i = 0; i < qualityNames.size(); ++i)
        if (lower == qualityNames[i]) return static_cast<PrintQuality>(i);
    return std::nullopt;
}

std::string printQualityName(PrintQuality quality) { return qualityNames[static_cast<std::uint32_t>(quality)]; }

}  // namespace huecl::pages

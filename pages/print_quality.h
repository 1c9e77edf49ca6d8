// Print quality presets: the resolution, halftoning, matching grid and black
// of a page chosen together under one name, as a print dialog offers them
// (IPP's print-quality draft, normal and high, and a photo setting). Every
// front end maps its own option onto these, so that "high" means the same
// page from the CUPS driver and from the printer application.
#pragma once

#include "pages/page_settings.h"

#include <optional>
#include <string>

namespace huecl::pages {

enum class PrintQuality : std::uint32_t { draft, normal, high, photo };

// How black and the darkest greys are printed. Pure black as black ink
// alone keeps text sharp; composite black (black with the colour inks the
// colour table adds) keeps a grey ramp getting darker to its last step,
// which black ink alone, lighter than the composite near-black before it,
// does not.
enum class BlackChoice : std::uint32_t { automatic, pure, composite };

struct QualityPreset {
    std::optional<Resolution> resolution;  // none: the printer's resolution setting
    std::uint32_t ditherMode;
    std::uint32_t gridSize;
    BlackChoice black;  // what BlackChoice::automatic means under this preset
};

// Draft: 300 dpi, one bit per dot, a coarse table. Normal: the printer's
// resolution, two bits per dot. High: 600 dpi, four bits per dot. Photo:
// 600 dpi, four bits per dot, a fine table and composite black.
QualityPreset presetOf(PrintQuality quality);

// The later generation's halftoning, grid and black of the preset on a
// page; halftoning that the front end's own option chose stays (pass
// keepHalftone), and so does the earlier generation's own table. A black
// choice other than automatic overrides the preset's.
void applyQuality(PrintQuality quality, BlackChoice black, bool keepHalftone, PageSettings& settings);

// "draft", "normal", "high", "photo"; nullopt for any other name.
std::optional<PrintQuality> printQualityNamed(const std::string& name);
std::string printQualityName(PrintQuality quality);

}  // namespace huecl::pages

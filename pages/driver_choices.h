// The driver's choices, by the PPD's keywords (cupsPrintQuality, the
// Huecl options), turned into page settings and colour tables, and the
// settings of one CUPS raster page. The CUPS filter and the printer
// application read their jobs' options each their own way and both land
// here, so that the same choices print the same bytes.
#pragma once

#include "pages/lzs_codec.h"
#include "pages/page_assembly.h"
#include "pages/page_settings.h"
#include "pages/print_quality.h"

#include <cups/raster.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace huecl::pages {

// The chosen value of an option keyword, if there is one.
using ChoiceLookup = std::function<std::optional<std::string>(const std::string& keyword)>;

enum class TableSource { automatic, model, profile };

struct DriverSettings {
    PageSettings page;  // resolution and colour model still to come from the page
    PrintQuality quality = PrintQuality::normal;
    TableSource table = TableSource::automatic;
    std::optional<std::filesystem::path> profile;  // TableSource::profile only
    // HueclCompression: Exact (LZS_Compress) or Best (the optimal parse).
    LzsEncoder lzsEncoder = LzsEncoder::exact;
};

// The HueclHalftone choices of the earlier colour generation.
inline constexpr const char* earlierScreenChoice = "earlier-1bit";
inline constexpr const char* earlierDiffusionChoice = "earlier-diffusion";

// Reads cupsPrintQuality (the preset that IPP's print-quality selects:
// its halftoning, table grid and black; its resolution is the PPD's code),
// HueclHalftone (Auto: the preset's; any other choice also picks the
// colour generation), HueclBlack, HueclScreen, HueclDensity,
// HueclBalanceRed/Green/Blue, HueclColorTable, HueclProfile (a job option
// naming an ICC file) and HueclCompression (the LZS encoder).
// Throws PageError naming the option on a value it does not know.
DriverSettings driverSettingsFrom(const ChoiceLookup& choiceOf);

// Where the page header's raster lies on its sheet, in dots: the sheet is
// PageSize, the raster starts at the imageable area's top-left corner
// (ImagingBoundingBox), or without one at the left margin (Margins) and the
// top. Widened, should rounding leave the raster reaching past the sheet;
// not known for a header without a page size or with an absurd one.
SheetPlacement sheetOf(const cups_page_header2_t& header);

// The settings of one page: the raster header supplies the resolution, the
// sheet and whether the page is grey (printed with black ink alone).
PageSettings pageSettingsFor(const DriverSettings& driver, const cups_page_header2_t& header);

// Where the colour tables of a job come from: a named profile, the
// built-in model, or by default the CMYK profile at defaultProfile when that
// file exists and the built-in model otherwise.
ColourTableSource colourTablesFor(const DriverSettings& driver, const std::filesystem::path& defaultProfile);

// Where Debian's Ghostscript installs its CMYK output profile.
inline const std::filesystem::path ghostscriptCmykProfile{"/usr/share/color/icc/ghostscript/default_cmyk.icc"};

}  // namespace huecl::pages

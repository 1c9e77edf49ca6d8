// What a job asks of the driver: the choices of the PPD's huecl options
// (their defaults, overridden by the job's options) turned into page
// settings and a colour table.
#pragma once

#include "pages/lzs_codec.h"
#include "pages/page_settings.h"
#include "pages/page_assembly.h"
#include "pages/print_quality.h"

#include <cups/ppd.h>
#include <cups/raster.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace huecl::cups {

// The chosen value of an option keyword, if there is one.
using ChoiceLookup = std::function<std::optional<std::string>(const std::string& keyword)>;

enum class TableSource { automatic, model, profile };

struct DriverSettings {
    pages::PageSettings page;  // resolution and colour model still to come from the page
    pages::PrintQuality quality = pages::PrintQuality::normal;
    TableSource table = TableSource::automatic;
    std::optional<std::filesystem::path> profile;  // TableSource::profile only
    // HueclCompression: Exact (LZS_Compress) or Best (the optimal parse).
    pages::LzsEncoder lzsEncoder = pages::LzsEncoder::exact;
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
pages::SheetPlacement sheetOf(const cups_page_header2_t& header);

// The settings of one page: the raster header supplies the resolution, the
// sheet and whether the page is grey (printed with black ink alone).
pages::PageSettings pageSettingsFor(const DriverSettings& driver, const cups_page_header2_t& header);

// Where the colour tables of a job come from: a named profile, the
// built-in model, or by default the CMYK profile at defaultProfile when that
// file exists and the built-in model otherwise.
pages::ColourTableSource colourTablesFor(const DriverSettings& driver, const std::filesystem::path& defaultProfile);

// Where Debian's Ghostscript installs its CMYK output profile.
inline const std::filesystem::path ghostscriptCmykProfile{"/usr/share/color/icc/ghostscript/default_cmyk.icc"};

// The job's options (argument 5 of a filter) and the PPD named by the PPD
// environment variable, if any, with the job's options marked in it.
class JobOptions {
public:
    JobOptions(const char* optionText, const char* ppdPath);
    ~JobOptions();
    JobOptions(const JobOptions&) = delete;
    JobOptions& operator=(const JobOptions&) = delete;

    // The marked PPD choice of an option, else the job option of that name.
    std::optional<std::string> choice(const std::string& keyword) const;
    // One line for each job option that names a PPD option but none of its
    // choices: the scheduler passes such a value on, libcups does not mark
    // it, and the page prints with the choice named here instead.
    const std::vector<std::string>& ignoredChoices() const { return ignoredChoices_; }
    // A cupsICCProfile of the PPD whose qualifiers (colour model, media
    // type, resolution) all match the marked choices, if any.
    std::optional<std::filesystem::path> ppdProfile() const;

private:
    int optionCount_ = 0;
    cups_option_t* options_ = nullptr;
    ppd_file_t* ppd_ = nullptr;
    std::vector<std::string> ignoredChoices_;
};

}  // namespace huecl::cups

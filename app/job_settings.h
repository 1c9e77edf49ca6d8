// What a job asks of the page library. The printer's driver names the
// halftoning (or leaves it to the print quality, as the PPD's Auto does);
// IPP's print-quality picks the page library's quality preset, as the
// PPD's cupsPrintQuality does; print-content-optimize picks the black as
// HueclBlack does; print-color-mode monochrome prints black ink alone; and
// the huecl vendor attributes carry the rest. They become the PPD's
// keywords and are read by the page library as the CUPS filter's are
// (pages/driver_choices.h), so that the same choices make the same page
// settings, and so the same container bytes, in both programs.
#pragma once

#include "pages/driver_choices.h"

#include <pappl/pappl.h>

#include <map>
#include <string>

namespace huecl::app {

struct JobChoices {
    std::string halftone = "Auto";  // the driver's HueclHalftone choice
    ipp_quality_t quality = IPP_QUALITY_NORMAL;
    pappl_color_mode_t colourMode = PAPPL_COLOR_MODE_COLOR;
    pappl_content_t content = PAPPL_CONTENT_AUTO;
    std::map<std::string, std::string> vendor;  // huecl-* attribute values, as text
};

// The page library's preset of an IPP print-quality: draft, normal, high.
pages::PrintQuality qualityOf(ipp_quality_t quality);

// The resolution a document is rendered at when the job names none: its
// quality preset's, or the printer's default where the preset leaves it
// (normal), as the PPD's cupsPrintQuality sets it over the Resolution
// option. PAPPL's own choice (the highest resolution for high, the middle
// one for normal) would render high quality at 1200 dpi where the CUPS
// driver prints 600 dpi.
pages::Resolution renderResolution(ipp_quality_t quality, pages::Resolution printerDefault);

// What print-content-optimize asks of black: composite for photos, pure
// black in black ink alone for text, the preset's otherwise.
pages::BlackChoice blackFor(pappl_content_t content);

// The driver settings of these choices. Throws PageError naming the vendor
// attribute whose value is out of range or unknown.
pages::DriverSettings driverSettingsFor(const JobChoices& choices);

// One page's settings: resolution and grey pages as the CUPS filter takes
// them from the page header; monochrome prints black ink alone, as the
// filter prints grey pages.
pages::PageSettings pageSettingsFor(const pages::DriverSettings& driver, const JobChoices& choices,
                                    const cups_page_header2_t& header);

// The choices of a job from PAPPL's print options: a vendor attribute the
// job leaves out takes the printer's default from its driver attributes.
// Throws PageError for a job that names another profile than the
// printer's: the profile is the printer's setting.
JobChoices jobChoicesFrom(const pappl_pr_options_t& options, const std::string& halftone, ipp_t* driverAttributes);

}  // namespace huecl::app

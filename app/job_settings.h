// What a job asks of the page library. The printer's driver names the
// halftoning, IPP's print-quality, print-color-mode and
// print-content-optimize adjust it, and the huecl vendor attributes carry
// the rest. They are read through the CUPS driver's own option reading,
// keyword for keyword, so that the same choices make the same page
// settings, and so the same container bytes, in both programs.
#pragma once

#include "driver_options.h"

#include <pappl/pappl.h>

#include <map>
#include <string>

namespace huecl::app {

struct JobChoices {
    std::string halftone = "2bit";  // the driver's HueclHalftone choice
    ipp_quality_t quality = IPP_QUALITY_NORMAL;
    pappl_color_mode_t colourMode = PAPPL_COLOR_MODE_COLOR;
    pappl_content_t content = PAPPL_CONTENT_AUTO;
    std::map<std::string, std::string> vendor;  // huecl-* attribute values, as text
};

// The halftoning a quality prints with: draft takes the plain 1-bit
// screen of the later generation (the least data per dot) in place of its
// deeper or spread screens; the earlier generation prints one bit per dot
// anyway. Normal and high keep the driver's own.
std::string halftoneFor(const std::string& driverHalftone, ipp_quality_t quality);

// The driver settings of these choices. Throws PageError naming the vendor
// attribute whose value is out of range or unknown.
cups::DriverSettings driverSettingsFor(const JobChoices& choices);

// One page's settings: resolution and grey pages as the CUPS filter takes
// them from the page header; monochrome prints black ink alone, as the
// filter prints grey pages; photo content builds black from all inks
// (composite black) where other content keeps pure black in black ink.
pages::PageSettings pageSettingsFor(const cups::DriverSettings& driver, const JobChoices& choices,
                                    const cups_page_header2_t& header);

// The choices of a job from PAPPL's print options: a vendor attribute the
// job leaves out takes the printer's default from its driver attributes.
// Throws PageError for a job that names another profile than the
// printer's: the profile is the printer's setting.
JobChoices jobChoicesFrom(const pappl_pr_options_t& options, const std::string& halftone, ipp_t* driverAttributes);

}  // namespace huecl::app

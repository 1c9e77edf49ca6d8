// The printer application's drivers: one per choice of the PPD's
// HueclHalftone option (Auto: the print quality's halftoning), each a
// colour printer of the same media, resolutions and huecl settings (vendor
// attributes that the web interface shows and PAPPL keeps per printer in
// its state file).
#pragma once

#include <pappl/pappl.h>

#include <array>
#include <string>

namespace huecl::app {

struct DriverChoice {
    const char* name;         // PAPPL driver name
    const char* description;  // shown when a printer is added
    const char* halftone;     // HueclHalftone choice of the CUPS driver
};

inline constexpr std::array<DriverChoice, 7> driverChoices{{
    {"huecl-auto", "huecl colour printer, halftoning by print quality", "Auto"},
    {"huecl-2bit", "huecl colour printer, 2-bit screen", "2bit"},
    {"huecl-4bit", "huecl colour printer, 4-bit screen", "4bit"},
    {"huecl-1bit", "huecl colour printer, 1-bit screen", "1bit"},
    {"huecl-1bit-spread", "huecl colour printer, 1-bit spread screen", "1bit-spread"},
    {"huecl-earlier-1bit", "huecl colour printer, earlier engine, 1-bit screen", "earlier-1bit"},
    {"huecl-earlier-diffusion", "huecl colour printer, earlier engine, error diffusion", "earlier-diffusion"},
}};

// The driver of that name, or nullptr.
const DriverChoice* findDriver(const std::string& name);

// The vendor attributes (job template and printer default).
inline constexpr const char* densityAttribute = "huecl-density";
inline constexpr const char* balanceRedAttribute = "huecl-balance-red";
inline constexpr const char* balanceGreenAttribute = "huecl-balance-green";
inline constexpr const char* balanceBlueAttribute = "huecl-balance-blue";
inline constexpr const char* screenAttribute = "huecl-screen";
inline constexpr const char* colourTableAttribute = "huecl-color-table";
inline constexpr const char* profileAttribute = "huecl-profile";
inline constexpr const char* compressionAttribute = "huecl-compression";

// Advertised ranges; the CUPS driver's PPD offers steps within them.
inline constexpr int densityLowest = -64, densityHighest = 64;
inline constexpr int balanceLowest = 1, balanceHighest = 30, balanceNeutral = 10;

// The PAPPL driver table of papplMainloop.
std::array<pappl_pr_driver_t, driverChoices.size()> papplDrivers();

// PAPPL's driver callback: fills the driver data and the vendor
// attributes of a printer using driver_name.
bool fillDriverData(pappl_system_t* system, const char* driverName, const char* deviceUri, const char* deviceId,
                    pappl_pr_driver_data_t* data, ipp_t** attributes, void* context);

}  // namespace huecl::app

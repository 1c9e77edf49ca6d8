#include "printer_driver.h"

#include "raster_callbacks.h"

#include <cstring>

namespace huecl::app {
namespace {

// PWG media names of the CUPS driver's page sizes, and 4x6 in photo paper.
constexpr const char* mediaSizes[] = {"iso_a4_210x297mm",   "iso_a5_148x210mm",  "iso_a3_297x420mm",
                                      "na_letter_8.5x11in", "na_legal_8.5x14in", "na_index-4x6_4x6in"};
constexpr int resolutions[] = {300, 600, 1200};
// The PPD's 12-point hardware margins, in hundredths of a millimetre.
constexpr int margin = 423;

void identifyPrinter(pappl_printer_t* printer, pappl_identify_actions_t actions, const char* message) {
    // The printer's display is its log, which the web interface shows.
    if (actions & PAPPL_IDENTIFY_ACTIONS_DISPLAY)
        papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify-Printer: %s", message && *message ? message : "Hello.");
}

void setMedia(pappl_media_col_t& media, const char* sizeName) {
    const pwg_media_t* size = pwgMediaForPWG(sizeName);
    std::memset(&media, 0, sizeof media);
    std::strncpy(media.size_name, sizeName, sizeof media.size_name - 1);
    media.size_width = size->width;
    media.size_length = size->length;
    media.bottom_margin = media.top_margin = margin;
    media.left_margin = media.right_margin = margin;
    std::strncpy(media.source, "main", sizeof media.source - 1);
    std::strncpy(media.type, "stationery", sizeof media.type - 1);
}

void addRange(ipp_t* attributes, const char* attribute, int lowest, int highest, int initial) {
    ippAddRange(attributes, IPP_TAG_PRINTER, (std::string(attribute) + "-supported").c_str(), lowest, highest);
    ippAddInteger(attributes, IPP_TAG_PRINTER, IPP_TAG_INTEGER, (std::string(attribute) + "-default").c_str(), initial);
}

}  // namespace

const DriverChoice* findDriver(const std::string& name) {
    for (const DriverChoice& driver : driverChoices)
        if (name == driver.name) return &driver;
    return nullptr;
}

std::array<pappl_pr_driver_t, driverChoices.size()> papplDrivers() {
    std::array<pappl_pr_driver_t, driverChoices.size()> drivers{};
    for (size_t i = 0; i < driverChoices.size(); ++i)
        drivers[i] = {driverChoices[i].name, driverChoices[i].description, "MFG:huecl;MDL:colour printer;CMD:HCR;",
                      nullptr};
    return drivers;
}

bool fillDriverData(pappl_system_t* /*system*/, const char* driverName, const char* /*deviceUri*/,
                    const char* /*deviceId*/, pappl_pr_driver_data_t* data, ipp_t** attributes, void* /*context*/) {
    const DriverChoice* driver = findDriver(driverName ? driverName : "");
    if (!driver) return false;

    data->rstartjob_cb = startRasterJob;
    data->rstartpage_cb = startRasterPage;
    data->rwriteline_cb = writeRasterLine;
    data->rendpage_cb = endRasterPage;
    data->rendjob_cb = endRasterJob;
    data->printfile_cb = refuseRawDocument;
    data->identify_cb = identifyPrinter;
    // PAPPL 1.3 compares every document format with this one and has no
    // test for none; application/octet-stream claims no format of its own.
    data->format = "application/octet-stream";

    std::snprintf(data->make_and_model, sizeof data->make_and_model, "%s", driver->description);
    data->ppm = 10;
    data->ppm_color = 10;
    data->kind = PAPPL_KIND_DOCUMENT | PAPPL_KIND_PHOTO;
    data->has_supplies = true;
    data->orient_default = IPP_ORIENT_PORTRAIT;
    data->color_supported = PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_COLOR | PAPPL_COLOR_MODE_MONOCHROME;
    data->color_default = PAPPL_COLOR_MODE_AUTO;
    data->content_default = PAPPL_CONTENT_AUTO;
    data->quality_default = IPP_QUALITY_NORMAL;
    data->scaling_default = PAPPL_SCALING_AUTO;
    // 8-bit pixels of the colour spaces the CUPS filter reads; the page
    // library keeps the high byte of deeper ones, PAPPL 1.3 passes none.
    data->raster_types = PAPPL_PWG_RASTER_TYPE_SGRAY_8 | PAPPL_PWG_RASTER_TYPE_SRGB_8 | PAPPL_PWG_RASTER_TYPE_CMYK_8;
    data->force_raster_type = PAPPL_PWG_RASTER_TYPE_NONE;
    data->duplex = PAPPL_DUPLEX_NONE;
    data->sides_supported = PAPPL_SIDES_ONE_SIDED;
    data->sides_default = PAPPL_SIDES_ONE_SIDED;
    data->finishings = PAPPL_FINISHINGS_NONE;
    data->identify_supported = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
    data->identify_default = PAPPL_IDENTIFY_ACTIONS_DISPLAY;

    data->num_resolution = static_cast<int>(std::size(resolutions));
    for (int i = 0; i < data->num_resolution; ++i) data->x_resolution[i] = data->y_resolution[i] = resolutions[i];
    data->x_default = data->y_default = 600;

    data->borderless = false;
    data->left_right = margin;
    data->bottom_top = margin;
    data->num_media = static_cast<int>(std::size(mediaSizes));
    for (int i = 0; i < data->num_media; ++i) data->media[i] = mediaSizes[i];
    data->num_source = 1;
    data->source[0] = "main";
    setMedia(data->media_default, "iso_a4_210x297mm");
    data->media_ready[0] = data->media_default;
    data->num_type = 1;
    data->type[0] = "stationery";

    data->num_vendor = 8;
    data->vendor[0] = densityAttribute;
    data->vendor[1] = balanceRedAttribute;
    data->vendor[2] = balanceGreenAttribute;
    data->vendor[3] = balanceBlueAttribute;
    data->vendor[4] = screenAttribute;
    data->vendor[5] = colourTableAttribute;
    data->vendor[6] = profileAttribute;
    data->vendor[7] = compressionAttribute;

    ipp_t* vendor = ippNew();
    addRange(vendor, densityAttribute, densityLowest, densityHighest, 0);
    addRange(vendor, balanceRedAttribute, balanceLowest, balanceHighest, balanceNeutral);
    addRange(vendor, balanceGreenAttribute, balanceLowest, balanceHighest, balanceNeutral);
    addRange(vendor, balanceBlueAttribute, balanceLowest, balanceHighest, balanceNeutral);
    addRange(vendor, screenAttribute, 0, 3, 3);
    static const char* const tables[] = {"auto", "model"};
    ippAddStrings(vendor, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "huecl-color-table-supported", 2, nullptr, tables);
    ippAddString(vendor, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "huecl-color-table-default", nullptr, "auto");
    // The LZS encoder: exact (LZS_Compress) or best (smaller streams, slower).
    static const char* const compressions[] = {"exact", "best"};
    ippAddStrings(vendor, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "huecl-compression-supported", 2, nullptr, compressions);
    ippAddString(vendor, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "huecl-compression-default", nullptr, "exact");
    // A text setting: PAPPL shows a text field for a vendor attribute
    // without a "-supported" one.
    ippAddString(vendor, IPP_TAG_PRINTER, IPP_TAG_TEXT, "huecl-profile-default", nullptr, "");
    // Get-Printer-Attributes answers with what was asked, never by
    // preference.
    ippAddBoolean(vendor, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
    // Colour tables are built with the perceptual intent and nothing else,
    // which is the printer's own choice: "auto".
    ippAddString(vendor, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
    ippAddString(vendor, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
    // PAPPL names the back side's orientation only for duplex printers; a
    // simplex one prints every sheet the one normal way.
    ippAddString(vendor, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "pwg-raster-document-sheet-back", nullptr, "normal");
    *attributes = vendor;
    return true;
}

}  // namespace huecl::app

// A job's IPP and vendor attributes become the same page settings as the
// CUPS driver's PPD choices, which is what makes both print the same
// bytes; and what the IPP attributes change on top of them.
#include "job_settings.h"

#include "printer_driver.h"

#include "pages/colour/earlier_engine.h"
#include "pages/page_error.h"

#include <gtest/gtest.h>

#include <tuple>

namespace huecl::app {
namespace {

cups_page_header2_t header(cups_cspace_t space, unsigned resolution) {
    cups_page_header2_t h{};
    h.HWResolution[0] = h.HWResolution[1] = resolution;
    h.cupsColorSpace = space;
    return h;
}

auto fieldsOf(const pages::PageSettings& s) {
    return std::tuple(s.engine, s.ditherMode, s.screenKind, s.blackOnly, s.matchMethod, s.blackMode, s.gridSize,
                      s.source.x, s.source.y, s.device.x, s.device.y, s.brightness, s.saturation, s.balance,
                      s.cmySaturation, s.density, s.bandHeight, s.lzsBudget);
}

// The CUPS filter's settings of a page for these PPD choices.
pages::PageSettings filterSettings(const std::map<std::string, std::string>& ppd, const cups_page_header2_t& h) {
    const pages::DriverSettings driver = pages::driverSettingsFrom([&](const std::string& keyword) {
        const auto found = ppd.find(keyword);
        return found == ppd.end() ? std::nullopt : std::optional<std::string>(found->second);
    });
    return pages::pageSettingsFor(driver, h);
}

// IPP's print-quality and print-content-optimize as the PPD options that
// the scheduler and a print dialog set for them.
struct IppChoice {
    ipp_quality_t quality;
    pappl_content_t content;
    const char* ppdQuality;
    const char* ppdBlack;  // null: HueclBlack left at Auto
};
constexpr IppChoice ippChoices[] = {
    {IPP_QUALITY_DRAFT, PAPPL_CONTENT_AUTO, "Draft", nullptr},
    {IPP_QUALITY_NORMAL, PAPPL_CONTENT_AUTO, "Normal", nullptr},
    {IPP_QUALITY_HIGH, PAPPL_CONTENT_AUTO, "High", nullptr},
    {IPP_QUALITY_HIGH, PAPPL_CONTENT_PHOTO, "High", "Composite"},
    {IPP_QUALITY_DRAFT, PAPPL_CONTENT_TEXT, "Draft", "Pure"},
    {IPP_QUALITY_NORMAL, PAPPL_CONTENT_GRAPHIC, "Normal", nullptr},
};

TEST(JobSettings, EveryDriverPrintsAsTheFilterWithTheSameChoices) {
    for (const DriverChoice& driverChoice : driverChoices) {
        for (const IppChoice& ipp : ippChoices) {
            for (const cups_cspace_t space : {CUPS_CSPACE_SRGB, CUPS_CSPACE_SW, CUPS_CSPACE_CMYK}) {
                JobChoices choices;
                choices.halftone = driverChoice.halftone;
                choices.quality = ipp.quality;
                choices.content = ipp.content;
                choices.vendor = {{densityAttribute, "-32"},    {balanceRedAttribute, "12"},
                                  {balanceGreenAttribute, "9"}, {balanceBlueAttribute, "14"},
                                  {screenAttribute, "1"},       {colourTableAttribute, "model"}};
                const cups_page_header2_t h = header(space, 600);
                const pages::DriverSettings driver = driverSettingsFor(choices);
                std::map<std::string, std::string> ppd{{"HueclHalftone", driverChoice.halftone},
                                                       {"cupsPrintQuality", ipp.ppdQuality},
                                                       {"HueclDensity", "-32"},
                                                       {"HueclBalanceRed", "12"},
                                                       {"HueclBalanceGreen", "9"},
                                                       {"HueclBalanceBlue", "14"},
                                                       {"HueclScreen", "1"},
                                                       {"HueclColorTable", "Model"}};
                if (ipp.ppdBlack) ppd["HueclBlack"] = ipp.ppdBlack;
                EXPECT_EQ(fieldsOf(pageSettingsFor(driver, choices, h)), fieldsOf(filterSettings(ppd, h)))
                    << driverChoice.name << ", " << ipp.ppdQuality << " quality, black "
                    << (ipp.ppdBlack ? ipp.ppdBlack : "Auto") << ", colour space " << space;
                EXPECT_EQ(driver.table, pages::TableSource::model);
            }
        }
    }
}

TEST(JobSettings, DefaultsAreTheFiltersDefaults) {
    JobChoices choices;
    const cups_page_header2_t h = header(CUPS_CSPACE_SRGB, 300);
    const pages::DriverSettings driver = driverSettingsFor(choices);
    EXPECT_EQ(fieldsOf(pageSettingsFor(driver, choices, h)), fieldsOf(filterSettings({}, h)));
    EXPECT_EQ(driver.table, pages::TableSource::automatic);
    EXPECT_EQ(driver.lzsEncoder, pages::LzsEncoder::exact);
}

TEST(JobSettings, CompressionChoosesTheEncoderAsTheFiltersOption) {
    for (const auto& [vendor, ppd] : {std::pair{"exact", "Exact"}, std::pair{"best", "Best"}}) {
        JobChoices choices;
        choices.vendor[compressionAttribute] = vendor;
        const auto filter = pages::driverSettingsFrom([&](const std::string& keyword) -> std::optional<std::string> {
            return keyword == "HueclCompression" ? std::optional<std::string>(ppd) : std::nullopt;
        });
        EXPECT_EQ(driverSettingsFor(choices).lzsEncoder, filter.lzsEncoder) << vendor;
    }
    JobChoices best;
    best.vendor[compressionAttribute] = "best";
    EXPECT_EQ(driverSettingsFor(best).lzsEncoder, pages::LzsEncoder::best);
}

TEST(JobSettings, QualityPicksTheHalftoningAndResolutionOnlyWhereTheDriverLeavesThemOpen) {
    const auto ditherOf = [](const char* halftone, ipp_quality_t quality) {
        JobChoices choices;
        choices.halftone = halftone;
        choices.quality = quality;
        return driverSettingsFor(choices).page.ditherMode;
    };
    EXPECT_EQ(ditherOf("Auto", IPP_QUALITY_DRAFT), HUECL_DITHER_1BIT);
    EXPECT_EQ(ditherOf("Auto", IPP_QUALITY_NORMAL), HUECL_DITHER_2BIT);
    EXPECT_EQ(ditherOf("Auto", IPP_QUALITY_HIGH), HUECL_DITHER_4BIT);
    // A driver that names its screen keeps it at every quality.
    EXPECT_EQ(ditherOf("4bit", IPP_QUALITY_DRAFT), HUECL_DITHER_4BIT);
    EXPECT_EQ(ditherOf("1bit", IPP_QUALITY_HIGH), HUECL_DITHER_1BIT);
    // The earlier engine keeps its own table at every quality.
    JobChoices earlier;
    earlier.halftone = "earlier-diffusion";
    earlier.quality = IPP_QUALITY_HIGH;
    const pages::PageSettings page = driverSettingsFor(earlier).page;
    EXPECT_EQ(page.engine, pages::EngineKind::earlier);
    EXPECT_EQ(page.gridSize, pages::earlierGridSize);

    // Rendered documents: draft and high as the PPD's presets, normal at
    // the printer's default, whatever PAPPL would pick.
    const pages::Resolution printerDefault{1200, 1200};
    EXPECT_EQ(renderResolution(IPP_QUALITY_DRAFT, printerDefault).x, 300u);
    EXPECT_EQ(renderResolution(IPP_QUALITY_HIGH, printerDefault).y, 600u);
    EXPECT_EQ(renderResolution(IPP_QUALITY_NORMAL, printerDefault).x, 1200u);
}

TEST(JobSettings, MonochromePrintsBlackInkAloneAsTheFilterPrintsGreyPages) {
    JobChoices choices;
    choices.colourMode = PAPPL_COLOR_MODE_MONOCHROME;
    const pages::DriverSettings driver = driverSettingsFor(choices);
    const pages::PageSettings rgb = pageSettingsFor(driver, choices, header(CUPS_CSPACE_SRGB, 600));
    EXPECT_TRUE(rgb.blackOnly);
    EXPECT_EQ(rgb.matchMethod, HUECL_MATCH_BLACK);
    EXPECT_EQ(fieldsOf(rgb), fieldsOf(filterSettings({}, header(CUPS_CSPACE_SW, 600))));
    choices.colourMode = PAPPL_COLOR_MODE_COLOR;
    EXPECT_FALSE(pageSettingsFor(driver, choices, header(CUPS_CSPACE_SRGB, 600)).blackOnly);
}

TEST(JobSettings, PhotoContentBuildsBlackFromEveryInkAndTextKeepsItPure) {
    const auto blackModeOf = [](pappl_content_t content, ipp_quality_t quality) {
        JobChoices choices;
        choices.content = content;
        choices.quality = quality;
        const pages::DriverSettings driver = driverSettingsFor(choices);
        return pageSettingsFor(driver, choices, header(CUPS_CSPACE_SRGB, 600)).blackMode;
    };
    EXPECT_EQ(blackModeOf(PAPPL_CONTENT_PHOTO, IPP_QUALITY_NORMAL), HUECL_BLACK_NONE);
    EXPECT_EQ(blackModeOf(PAPPL_CONTENT_PHOTO, IPP_QUALITY_DRAFT), HUECL_BLACK_NONE);
    EXPECT_EQ(blackModeOf(PAPPL_CONTENT_TEXT, IPP_QUALITY_HIGH), HUECL_BLACK_PURE);
    EXPECT_EQ(blackModeOf(PAPPL_CONTENT_GRAPHIC, IPP_QUALITY_NORMAL), HUECL_BLACK_PURE);
}

TEST(JobSettings, RefusesValuesOutsideWhatThePrinterAdvertisesNamingTheAttribute) {
    const std::pair<const char*, const char*> refused[] = {
        {densityAttribute, "65"},      {densityAttribute, "dark"},      {balanceGreenAttribute, "0"},
        {screenAttribute, "4"},        {colourTableAttribute, "Model"}, {profileAttribute, "relative.icc"},
        {compressionAttribute, "Best"}};
    for (const auto& [attribute, value] : refused) {
        JobChoices choices;
        choices.vendor[attribute] = value;
        try {
            driverSettingsFor(choices);
            ADD_FAILURE() << attribute << "=" << value << " was taken";
        } catch (const pages::PageError& error) {
            EXPECT_NE(std::string(error.what()).find(attribute), std::string::npos) << error.what();
        }
    }
}

class JobChoicesFromOptions : public ::testing::Test {
protected:
    void SetUp() override {
        printer = ippNew();
        ippAddInteger(printer, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "huecl-density-default", 16);
        ippAddString(printer, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "huecl-color-table-default", nullptr, "model");
        ippAddString(printer, IPP_TAG_PRINTER, IPP_TAG_TEXT, "huecl-profile-default", nullptr, "");
        ippAddString(printer, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "huecl-compression-default", nullptr, "best");
    }
    void TearDown() override {
        cupsFreeOptions(options.num_vendor, options.vendor);
        ippDelete(printer);
    }
    void jobSets(const char* name, const char* value) {
        options.num_vendor = cupsAddOption(name, value, options.num_vendor, &options.vendor);
    }
    pappl_pr_options_t options{};
    ipp_t* printer = nullptr;
};

TEST_F(JobChoicesFromOptions, TheJobsValuesWinAndThePrintersDefaultsFillIn) {
    options.print_quality = IPP_QUALITY_HIGH;
    options.print_color_mode = PAPPL_COLOR_MODE_MONOCHROME;
    jobSets(densityAttribute, "-8");
    const JobChoices choices = jobChoicesFrom(options, "4bit", printer);
    EXPECT_EQ(choices.halftone, "4bit");
    EXPECT_EQ(choices.quality, IPP_QUALITY_HIGH);
    EXPECT_EQ(choices.colourMode, PAPPL_COLOR_MODE_MONOCHROME);
    EXPECT_EQ(choices.vendor.at(densityAttribute), "-8");
    EXPECT_EQ(choices.vendor.at(colourTableAttribute), "model");
    EXPECT_EQ(choices.vendor.at(compressionAttribute), "best") << "kept per printer";
    // An empty path names no profile.
    EXPECT_EQ(choices.vendor.count(profileAttribute), 0u);
}

TEST_F(JobChoicesFromOptions, AJobCannotNameAProfileOfItsOwn) {
    jobSets(profileAttribute, "/etc/passwd");
    EXPECT_THROW(jobChoicesFrom(options, "2bit", printer), pages::PageError);
}

}  // namespace
}  // namespace huecl::app

// One page from its settings and its pixels: the colour generation, the
// colour table it matches with, the container header and the band loop,
// put together in one place for every front end (the huecl tool, the CUPS
// filter, the printer application), so that the same pixels and settings
// give the same container bytes whichever program prints them.
#pragma once

#include "pages/colour/colour_engine.h"
#include "pages/colour/colour_table.h"
#include "pages/page_pipeline.h"
#include "pages/page_settings.h"
#include "pages/readers/image_source.h"
#include "pages/writers/raster_container.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace huecl::pages {

// Whether the colour matching of these settings reads a colour table: only
// the direct and interpolated methods do.
bool readsColourTable(const PageSettings& settings);

// Whether a page of these pixels is matched through a colour table: RGB
// pixels under a method that reads one. CMYK pixels go straight to
// halftoning.
bool isMatched(SourcePixels pixels, const PageSettings& settings);

// The levels the grid points of these settings' colour table stand for:
// the direct 32-point look-up, the earlier generation's 32-point axis, or
// the later generation's interpolation grid.
std::vector<std::uint8_t> colourTableAxis(const PageSettings& settings);

// Where a job's colour tables come from: sRGB through a CMYK output
// profile, or the built-in model. A table is built the first time a page
// needs it and kept for the job's later pages that sample the same axis.
class ColourTableSource {
public:
    ColourTableSource() = default;  // the built-in model
    explicit ColourTableSource(std::optional<std::filesystem::path> profile) : profile_(std::move(profile)) {}

    // The profile, if any; it also describes the inks of a page that comes
    // already separated, for its proof.
    const std::optional<std::filesystem::path>& profile() const { return profile_; }
    // Throws PageError for a profile that cannot be read or is no CMYK
    // output profile.
    const ColourTable& tableFor(const PageSettings& settings);

private:
    struct BuiltTable {
        std::vector<std::uint8_t> axis;
        ColourTable table;
    };
    std::optional<std::filesystem::path> profile_;
    std::vector<std::unique_ptr<BuiltTable>> built_;
};

// A page ready to run through the band loop.
class AssembledPage {
public:
    const PageGeometry& geometry() const { return engine_->geometry(); }
    // The container header of the page, to hand to a RasterWriter.
    const RasterHeader& header() const { return header_; }
    // The table the page is matched with; none for a page that is not.
    const ColourTable* table() const { return table_; }
    const ImageSource& source() const { return *source_; }

    // Runs every band; finished bands reach the sink in page order.
    PipelineTotals run(const PipelineOptions& options, const std::function<void(const FinishedBand&)>& sink);

private:
    friend AssembledPage assemblePage(const PageSettings&, std::unique_ptr<ImageSource>, ColourTableSource&);
    AssembledPage() = default;

    std::unique_ptr<ImageSource> source_;
    const ColourTable* table_ = nullptr;
    std::unique_ptr<ColourEngine> engine_;
    RasterHeader header_;
};

// The page of these settings on this source. CMYK pixels printed in black
// alone have their inks folded into black first. The header names the
// table source's profile for a matched page and for a CMYK page, whose
// proof shows the inks through it.
AssembledPage assemblePage(const PageSettings& settings, std::unique_ptr<ImageSource> source,
                           ColourTableSource& tables);

}  // namespace huecl::pages

// assemblePage: the engine of a page's colour generation, the colour table
// it matches with (built once per axis for all of a job's pages), its header.
#include "pages/page_assembly.h"

#include "pages/colour/earlier_engine.h"
#include "pages/colour/later_engine.h"
#include "pages/writers/page_header.h"

#include <stdexcept>

namespace huecl::pages {
namespace {

// The one place that knows the colour generations by name.
std::unique_ptr<ColourEngine> makeEngine(const PageSettings& settings, ColourTable table, const ImageSource& source) {
    switch (settings.engine) {
        case EngineKind::later:
            return std::make_unique<LaterEngine>(settings, std::move(table), source.width(), source.height(),
                                                 source.pixels());
        case EngineKind::earlier:
            return std::make_unique<EarlierEngine>(settings, std::move(table), source.width(), source.height(),
                                                   source.pixels());
    }
    throw std::logic_error("unknown colour engine");
}

}  // namespace

bool readsColourTable(const PageSettings& settings) {
    return settings.matchMethod == HUECL_MATCH_DIRECT || settings.matchMethod == HUECL_MATCH_INTERPOLATED;
}

bool isMatched(SourcePixels pixels, const PageSettings& settings) {
    return pixels == SourcePixels::bgr && readsColourTable(settings);
}

std::vector<std::uint8_t> colourTableAxis(const PageSettings& settings) {
    if (settings.matchMethod == HUECL_MATCH_DIRECT) return directLookupAxis();
    if (settings.engine == EngineKind::earlier) return earlierInterpolationAxis();
    return interpolationAxis(settings.gridSize);
}

const ColourTable& ColourTableSource::tableFor(const PageSettings& settings) {
    std::vector<std::uint8_t> axis = colourTableAxis(settings);
    for (const auto& built : built_)
        if (built->axis == axis) return built->table;
    ColourTable table = profile_ ? buildProfileTable(*profile_, axis) : buildModelTable(axis);
    built_.push_back(std::make_unique<BuiltTable>(BuiltTable{std::move(axis), std::move(table)}));
    return built_.back()->table;
}

PipelineTotals AssembledPage::run(const PipelineOptions& options,
                                  const std::function<void(const FinishedBand&)>& sink) {
    return runPipeline(*source_, *engine_, options, sink);
}

AssembledPage assemblePage(const PageSettings& settings, std::unique_ptr<ImageSource> source,
                           ColourTableSource& tables) {
    // Printed in black alone, separated colours fold into black rather
    // than vanish.
    if (source->pixels() == SourcePixels::cmyk && settings.blackOnly) source = foldInksIntoBlack(std::move(source));
    AssembledPage page;
    const bool matched = isMatched(source->pixels(), settings);
    if (matched) page.table_ = &tables.tableFor(settings);
    page.engine_ = makeEngine(settings, page.table_ ? *page.table_ : ColourTable{}, *source);
    const bool namesProfile = matched || source->pixels() == SourcePixels::cmyk;
    page.header_ = rasterHeaderFor(settings, page.engine_->geometry(), page.table_ ? page.table_->gridSize : 0,
                                   namesProfile ? tables.profile() : std::nullopt);
    page.source_ = std::move(source);
    return page;
}

}  // namespace huecl::pages

// The container header of a page: its geometry and every setting it was
// made with, for the huecl tool and the CUPS filter alike.
#pragma once

#include "pages/page_settings.h"
#include "pages/colour/colour_engine.h"
#include "pages/writers/raster_container.h"

#include <filesystem>
#include <optional>

namespace huecl::pages {

// profile: the ICC profile the colour table was built from; none for the
// built-in model or a page that was not matched.
RasterHeader rasterHeaderFor(const PageSettings& settings, const PageGeometry& geometry, std::uint32_t gridSize,
                             const std::optional<std::filesystem::path>& profile);

}  // namespace huecl::pages

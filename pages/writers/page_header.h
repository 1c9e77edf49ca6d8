// The container header of a page: its geometry and every setting it was
// made with, for the huecl tool and the CUPS filter alike.
#pragma once

#include "pages/page_settings.h"
#include "pages/colour/colour_engine.h"
#include "pages/writers/page_preview.h"
#include "pages/writers/raster_container.h"

#include <filesystem>
#include <optional>

namespace huecl::pages {

// profile: the ICC profile the colour table was built from; none for the
// built-in model or a page that was not matched.
RasterHeader rasterHeaderFor(const PageSettings& settings, const PageGeometry& geometry, std::uint32_t gridSize,
                             const std::optional<std::filesystem::path>& profile);

// The preview box of a page: previewDpi's, or with 0 the automatic one for
// the page's whole sheet, so that print and decode make the same preview.
std::uint32_t previewBoxFor(const RasterHeader& header, std::uint32_t previewDpi);
// The sheet's paper around the raster in the preview, in whole preview
// pixels (none for a page without a sheet).
PreviewMargins previewMarginsFor(const RasterHeader& header, std::uint32_t boxSize);

}  // namespace huecl::pages

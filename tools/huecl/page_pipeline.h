// The band loop. One thread reads the page a band at a time (or leaves
// that to the workers, for a source that makes rows on demand); workers render
// bands in parallel (each with its own renderer, band buffer and LZS
// history), compress every plane band and sum it for the preview; finished
// bands go to the sink strictly in page order. At most a few bands are in
// flight, so memory follows the band size, not the page size, and the
// output does not depend on the number of threads.
#pragma once

#include "colour_engine.h"
#include "image_source.h"
#include "page_preview.h"

#include <functional>

namespace huecl::tool {

class ProgressBar;

struct FinishedBand {
    uint32_t index = 0;
    uint32_t deviceRows = 0;
    std::vector<std::vector<uint8_t>> streams;  // one LZS stream per plane
    BandColumnSums previewSums;
    std::array<std::vector<uint8_t>, 4> planes;  // uncompressed, only when asked for
    uint64_t inkedDots = 0;                      // dots with a non-zero value
    StageTimes times;
};

struct PipelineOptions {
    unsigned threads = 1;
    uint32_t lzsBudget = 8;
    uint32_t previewBoxSize = 1;
    bool keepPlanes = false;
    ProgressBar* progress = nullptr;
};

struct PipelineTotals {
    StageTimes times;
    uint64_t compressedBytes = 0;
    uint64_t inkedDots = 0;
};

PipelineTotals runPipeline(ImageSource& source, const ColourEngine& engine, const PipelineOptions& options,
                           const std::function<void(const FinishedBand&)>& sink);

}  // namespace huecl::tool

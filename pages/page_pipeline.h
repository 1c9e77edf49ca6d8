// The band loop. One thread reads the page a band at a time (or leaves
// that to the workers, for a source that makes rows on demand); workers render
// bands in parallel (each with its own renderer, band buffer and LZS
// history), compress every plane band and sum it for the preview; finished
// bands go to the sink strictly in page order. At most a few bands are in
// flight, so memory follows the band size, not the page size, and the
// output does not depend on the number of threads.
#pragma once

#include "pages/colour/colour_engine.h"
#include "pages/lzs_codec.h"
#include "pages/readers/image_source.h"
#include "pages/writers/page_preview.h"

#include <functional>

namespace huecl::pages {

struct FinishedBand {
    std::uint32_t index = 0;
    std::uint32_t deviceRows = 0;
    std::vector<std::vector<std::uint8_t>> streams;  // one LZS stream per plane
    BandColumnSums previewSums;
    std::array<std::vector<std::uint8_t>, 4> planes;  // uncompressed, only when asked for
    std::uint64_t inkedDots = 0;                      // dots with a non-zero value
    std::uint64_t lzsBytesSaved = 0;                  // by the best encoder, against the exact one
    StageTimes times;
};

struct PipelineOptions {
    unsigned threads = 1;
    std::uint32_t lzsBudget = 8;
    std::uint32_t previewBoxSize = 1;  // 0: no preview sums, only the inked dots
    bool keepPlanes = false;
    // Called on the loop's own thread as each band reaches the sink.
    std::function<void()> bandDone;
    // Asked on the loop's own thread before each band is read and after
    // each band reaches the sink: true stops the page there, throwing
    // PageCancelled once the bands in flight are done with.
    std::function<bool()> stopRequested;
    LzsEncoder lzsEncoder = LzsEncoder::exact;
};

struct PipelineTotals {
    StageTimes times;
    std::uint64_t compressedBytes = 0;
    std::uint64_t inkedDots = 0;
    // What the best LZS encoder saved against the exact compressor.
    std::uint64_t lzsBytesSaved = 0;
};

PipelineTotals runPipeline(ImageSource& source, const ColourEngine& engine, const PipelineOptions& options,
                           const std::function<void(const FinishedBand&)>& sink);

}  // namespace huecl::pages

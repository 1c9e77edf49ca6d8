#include "pages/page_pipeline.h"

#include "pages/lzs_codec.h"
#include "pages/page_error.h"
#include "pages/thread_pool.h"

#include <deque>

namespace huecl::pages {
namespace {

// What a worker keeps from band to band.
struct WorkerState {
    std::unique_ptr<BandRenderer> renderer;
    CompressionHistory history;
    BandPlanes planes;
    std::vector<std::uint8_t> renderedRows;  // for a source that makes rows on demand
};

FinishedBand finishBand(std::uint32_t index, std::vector<std::uint8_t> bgrRows, const ImageSource& source,
                        WorkerState& worker, const PageGeometry& g, const PipelineOptions& options,
                        const BandReducer& preview) {
    FinishedBand band;
    band.index = index;
    std::span<std::uint8_t> rows = bgrRows;
    if (bgrRows.empty()) {
        // Rendered into the worker's own buffer, kept from band to band.
        StageTimer timer(band.times, Stage::read);
        worker.renderedRows.resize(g.sourceRowBytes() * g.sourceRowsPerBand);
        rows = std::span(worker.renderedRows).first(g.sourceRowBytes() * g.sourceRowsIn(index));
        source.renderRows(g.firstSourceRow(index), rows);
    }
    worker.renderer->renderBand(g.firstSourceRow(index), g.sourceRowsIn(index), rows, worker.planes, band.times);
    band.deviceRows = worker.planes.deviceRows;
    const size_t planeBytes = size_t{band.deviceRows} * g.lineBytes;

    band.streams.resize(g.planeCount);
    {
        StageTimer timer(band.times, Stage::compress);
        for (std::uint32_t plane = 0; plane < g.planeCount; ++plane)
            compressBlock(std::span(worker.planes.planes[plane]).first(planeBytes), options.lzsBudget, worker.history,
                          band.streams[plane]);
    }
    {
        StageTimer timer(band.times, Stage::preview);
        std::array<const std::uint8_t*, 4> planePointers{};
        for (std::uint32_t plane = 0; plane < g.planeCount; ++plane)
            planePointers[plane] = worker.planes.planes[plane].data();
        band.previewSums =
            preview.reduce(std::span(planePointers).first(g.planeCount), band.deviceRows, g.firstDeviceRow(index));
        band.inkedDots = band.previewSums.inkedDots;
    }
    if (options.keepPlanes)
        for (std::uint32_t plane = 0; plane < g.planeCount; ++plane)
            band.planes[plane].assign(worker.planes.planes[plane].begin(),
                                      worker.planes.planes[plane].begin() + static_cast<ptrdiff_t>(planeBytes));
    return band;
}

}  // namespace

PipelineTotals runPipeline(ImageSource& source, const ColourEngine& engine, const PipelineOptions& options,
                           const std::function<void(const FinishedBand&)>& sink) {
    const PageGeometry& g = engine.geometry();
    const unsigned threads = options.threads;
    std::vector<WorkerState> workers(threads);
    auto renderers = engine.makeRenderers(threads);
    for (unsigned worker = 0; worker < threads; ++worker) workers[worker].renderer = std::move(renderers[worker]);

    // The preview's tables, built once for the page and read by every worker.
    const BandReducer preview(PlaneLayout{g.deviceWidth, g.lineBytes, g.bitsPerDot, g.planeCount},
                              options.previewBoxSize);
    PipelineTotals totals;
    std::uint64_t deviceRows = 0;
    auto deliver = [&](FinishedBand band) {
        // Workers sum the preview by rows of boxes, which needs to know
        // where each band starts before the bands before it are done.
        if (band.previewSums.firstRow != deviceRows)
            throw std::logic_error("a band's device rows are not where the page geometry puts them");
        deviceRows += band.deviceRows;
        totals.times += band.times;
        for (const auto& stream : band.streams) totals.compressedBytes += stream.size();
        totals.inkedDots += band.inkedDots;
        {
            StageTimer timer(totals.times, Stage::write);
            sink(band);
        }
        if (options.bandDone) options.bandDone();
    };
    const auto stopIfRequested = [&options] {
        if (options.stopRequested && options.stopRequested()) throw PageCancelled();
    };

    // Declared after the workers' state, so its threads stop before that goes.
    ThreadPool pool(threads);
    std::deque<std::future<FinishedBand>> inFlight;
    const size_t maxInFlight = size_t{threads} + 2;
    const size_t rowBytes = g.sourceRowBytes();
    for (std::uint32_t index = 0; index < g.bandCount; ++index) {
        stopIfRequested();
        // Rows left empty here are rendered by the worker itself.
        std::vector<std::uint8_t> bgrRows;
        if (!source.rendersRowsOnDemand()) {
            StageTimer timer(totals.times, Stage::read);
            bgrRows.resize(rowBytes * g.sourceRowsIn(index));
            source.readRows(bgrRows);
        }
        // The pool starts tasks in submission order, so a band that waits for
        // an earlier band's turn waits for one that is running already.
        inFlight.push_back(pool.submit([&, index, rows = std::move(bgrRows)](unsigned worker) mutable {
            try {
                return finishBand(index, std::move(rows), source, workers[worker], g, options, preview);
            } catch (...) {
                workers[worker].renderer->abandonPage();
                throw;
            }
        }));
        while (inFlight.size() >= maxInFlight) {
            deliver(inFlight.front().get());
            inFlight.pop_front();
            stopIfRequested();
        }
    }
    while (!inFlight.empty()) {
        deliver(inFlight.front().get());
        inFlight.pop_front();
        if (!inFlight.empty()) stopIfRequested();
    }
    return totals;
}

}  // namespace huecl::pages

// The band loop: the reader, the workers and the in-order hand-over of
// finished bands.
#include "pages/page_pipeline.h"

#include "pages/lzs_codec.h"
#include "pages/page_error.h"
#include "pages/row_buffer.h"
#include "pages/spare_buffers.h"
#include "pages/thread_pool.h"

#include <algorithm>
#include <deque>

namespace huecl::pages {
namespace {

// What a worker keeps from band to band.
struct WorkerState {
    std::unique_ptr<BandRenderer> renderer;
    BandCompressor compressor;
    BandPlanes planes;
    RowBuffer renderedRows;  // for a source that makes rows on demand
};

FinishedBand finishBand(std::uint32_t index, RowBuffer& bgrRows, const ImageSource& source, WorkerState& worker,
                        const PageGeometry& g, const PipelineOptions& options, const BandReducer& preview,
                        SpareBuffers<std::vector<std::uint32_t>>& previewSums) {
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
            band.lzsBytesSaved += worker.compressor.compress(std::span(worker.planes.planes[plane]).first(planeBytes),
                                                             band.streams[plane]);
    }
    {
        StageTimer timer(band.times, Stage::preview);
        std::array<const std::uint8_t*, 4> planePointers{};
        for (std::uint32_t plane = 0; plane < g.planeCount; ++plane)
            planePointers[plane] = worker.planes.planes[plane].data();
        const auto planes = std::span(planePointers).first(g.planeCount);
        if (options.previewBoxSize == 0) {
            band.previewSums = {
                g.firstDeviceRow(index), band.deviceRows, {}, preview.inkedDots(planes, band.deviceRows)};
        } else {
            band.previewSums = preview.reduce(planes, band.deviceRows, g.firstDeviceRow(index), previewSums.take());
        }
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
    for (unsigned worker = 0; worker < threads; ++worker) {
        workers[worker].renderer = std::move(renderers[worker]);
        workers[worker].compressor = BandCompressor(options.lzsEncoder, options.lzsBudget);
    }

    // The preview's tables, built once for the page and read by every worker.
    const BandReducer preview(PlaneLayout{g.deviceWidth, g.lineBytes, g.bitsPerDot, g.planeCount},
                              std::max(1u, options.previewBoxSize));
    PipelineTotals totals;
    std::uint64_t deviceRows = 0;
    // Passed round: row buffers from the workers back to the reading loop,
    // preview sums from the writer back to the workers.
    SpareBuffers<RowBuffer> rowBuffers;
    SpareBuffers<std::vector<std::uint32_t>> previewSums;
    auto deliver = [&](FinishedBand band) {
        // Workers sum the preview by rows of boxes, which needs to know
        // where each band starts before the bands before it are done.
        if (band.previewSums.firstRow != deviceRows)
            throw std::logic_error("a band's device rows are not where the page geometry puts them");
        deviceRows += band.deviceRows;
        totals.times += band.times;
        for (const auto& stream : band.streams) totals.compressedBytes += stream.size();
        totals.inkedDots += band.inkedDots;
        totals.lzsBytesSaved += band.lzsBytesSaved;
        {
            StageTimer timer(totals.times, Stage::write);
            sink(band);
        }
        previewSums.giveBack(std::move(band.previewSums.sums));
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
        RowBuffer bgrRows;
        if (!source.rendersRowsOnDemand()) {
            StageTimer timer(totals.times, Stage::read);
            bgrRows = rowBuffers.take();
            bgrRows.resize(rowBytes * g.sourceRowsIn(index));  // zeroes nothing once a buffer held a whole band
            source.readRows(bgrRows);
        }
        // The pool starts tasks in submission order, so a band that waits for
        // an earlier band's turn waits for one that is running already.
        inFlight.push_back(pool.submit([&, index, rows = std::move(bgrRows)](unsigned worker) mutable {
            try {
                FinishedBand band = finishBand(index, rows, source, workers[worker], g, options, preview, previewSums);
                if (!rows.empty()) rowBuffers.giveBack(std::move(rows));
                return band;
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

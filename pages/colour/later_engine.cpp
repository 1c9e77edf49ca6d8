// The later colour generation's engine: its screens, a band's set-up and
// the per-row calls.
#include "pages/colour/later_engine.h"

#include "pages/colour/engine_setup.h"
#include "pages/page_error.h"

#include <algorithm>
#include <mutex>

namespace huecl::pages {
namespace {

std::mutex screenSetUpMutex;

}  // namespace

Screens::Screens(std::uint32_t ditherMode, std::uint32_t screenKind, bool blackOnly) {
    for (auto& matrix : matrices_) matrix.resize(HUECL_MAX_THRESHOLD_MATRIX_BYTES);
    record_.blackOnly = blackOnly ? 1 : 0;
    record_.dizMode = ditherMode;
    record_.screenKind = screenKind;
    record_.matrixC = matrices_[0].data();
    record_.matrixM = matrices_[1].data();
    record_.matrixY = matrices_[2].data();
    record_.matrixK = matrices_[3].data();
    std::lock_guard lock(screenSetUpMutex);
    QvrColDizInfSet(&record_);
}

std::uint32_t Screens::levels() const {
    switch (record_.dizMode) {
        case 1: return 15;
        case 3: return 3;
        default: return 1;
    }
}

std::span<const std::uint8_t> Screens::matrix(size_t plane) const {
    const std::uint32_t sizes[] = {record_.sizeC, record_.sizeM, record_.sizeY, record_.sizeK};
    return std::span(matrices_[plane]).first(size_t{sizes[plane]} * sizes[plane] * levels());
}

InkResponse inkResponseOf(std::uint32_t ditherMode, std::uint32_t screenKind, bool blackOnly) {
    const Screens screens(ditherMode, screenKind, blackOnly);
    return inkResponseOf({screens.matrix(0), screens.matrix(1), screens.matrix(2), screens.matrix(3)});
}

std::uint32_t bitsPerDotOf(std::uint32_t ditherMode) {
    switch (ditherMode) {
        case HUECL_DITHER_4BIT: return 4;
        case HUECL_DITHER_2BIT: return 2;
        default: return 1;
    }
}

LaterEngine::LaterEngine(const PageSettings& settings, ColourTable table, std::uint32_t sourceWidth,
                         std::uint32_t sourceHeight, SourcePixels pixels)
    : settings_(settings), table_(std::move(table)),
      screens_(settings.ditherMode, settings.screenKind, settings.blackOnly),
      rgbControl_(rgbControlOf<QvrCtrRgbInf>(settings)),
      geometry_(bandGeometryOf(screens_.record(), settings, sourceWidth, sourceHeight, pixels,
                               bitsPerDotOf(settings.ditherMode))) {
    cmyControl_.saturation = settings.cmySaturation;
    if (settings.density != 0) {
        densityCurve_.resize(256);
        QvrColDnsMak(settings.density, densityCurve_.data());
        cmyControl_.cmyTable = densityCurve_.data();
    }
}

class LaterBandRenderer final : public BandRenderer {
    static constexpr std::uint32_t stagedRows = 32;

public:
    explicit LaterBandRenderer(const LaterEngine& engine)
        : engine_(engine), match_(engine.settings_, engine.table_, engine.table_.gridSize) {}

    void renderBand(std::uint32_t firstSourceRow, std::uint32_t rows, std::span<std::uint8_t> bgrRows, BandPlanes& out,
                    StageTimes& times) override {
        const PageGeometry& g = engine_.geometry_;
        QvrDrwInf draw = drawRecordAt(engine_.settings_, g, firstSourceRow);
        QvrColDrwInfSet(&engine_.screens_.record(), &draw, g.bandHeight * g.lineBytes);
        // The rounded source row the call derives from devY can miss the
        // band's first row at uneven ratios; the row counter decides how many
        // device rows each source row yields, so it starts at the true row.
        draw.srcY = firstSourceRow;
        sizeBandPlanes(g, out);
        if (g.planeCount == 1) {
            draw.planeK = out.planes[0].data();
        } else {
            draw.planeC = out.planes[0].data();
            draw.planeM = out.planes[1].data();
            draw.planeY = out.planes[2].data();
            draw.planeK = out.planes[3].data();
        }
        draw.devRow = 0;

        // Stage by stage over groups of the band's rows rather than row by
        // row: the same calls on the same rows in the same order. A group's
        // matched rows stay in cache between the stages, and their buffer is
        // a fraction of a band's.
        const size_t rowBytes = g.sourceRowBytes();
        for (std::uint32_t first = 0; first < rows; first += stagedRows) {
            const std::uint32_t count = std::min(stagedRows, rows - first);
            const std::span<std::uint8_t> group = bgrRows.subspan(first * rowBytes, count * rowBytes);
            const BandCmykRows cmyk = bandCmykRowsOf(g, group, count, cmykRows_);
            if (g.sourcePixels != SourcePixels::cmyk) {
                timeRows(times, Stage::rgb, count, [&](std::uint32_t row) {
                    QvrColCtrRgb(g.sourceWidth, group.data() + row * rowBytes, &engine_.rgbControl_);
                });
                timeRows(times, Stage::match, count, [&](std::uint32_t row) {
                    QvrColMchPrc(g.sourceWidth, group.data() + row * rowBytes, cmyk.row(row), match_.record());
                });
            }
            timeRows(times, Stage::cmyk, count,
                     [&](std::uint32_t row) { QvrColCtrCmy(g.sourceWidth, cmyk.row(row), &engine_.cmyControl_); });
            timeRows(times, Stage::dither, count, [&](std::uint32_t row) {
                draw.srcPixels = cmyk.row(row);
                QvrColDizPrc(&engine_.screens_.record(), &draw);
            });
        }
        out.deviceRows = draw.devRow;
    }

private:
    const LaterEngine& engine_;
    WorkerMatch match_;
    std::vector<std::uint8_t> cmykRows_;  // a band of matched rows
};

std::unique_ptr<BandRenderer> LaterEngine::makeRenderer() const { return std::make_unique<LaterBandRenderer>(*this); }

}  // namespace huecl::pages

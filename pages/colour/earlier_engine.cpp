// The earlier colour generation's engine: its screens, a band's set-up and
// the per-row calls, screened or diffused.
#include "pages/colour/earlier_engine.h"

#include "pages/colour/engine_setup.h"
#include "pages/page_error.h"

#include <condition_variable>
#include <mutex>

namespace huecl::pages {

std::vector<std::uint8_t> earlierInterpolationAxis() {
    std::vector<std::uint8_t> axis(earlierGridSize);
    for (std::uint32_t i = 0; i < earlierGridSize; ++i)
        axis[i] = static_cast<std::uint8_t>(255 * i / (earlierGridSize - 1));
    return axis;
}

EarlierScreens::EarlierScreens(std::uint32_t screenMode, bool monochrome) {
    for (size_t plane = 0; plane < 4; ++plane) matrices_[plane].assign(size_t{edge(plane)} * edge(plane), 0);
    record_.monoFlag = monochrome ? 1 : 0;
    record_.screenMode = screenMode;
    record_.ptnC = matrices_[0].data();
    record_.ptnM = matrices_[1].data();
    record_.ptnY = matrices_[2].data();
    record_.ptnK = matrices_[3].data();
    QvDizPtnMak(&record_);
}

namespace {

// Error diffusion carries error from each device row into the next, across
// band edges too, so the diffusion of a page runs band after band in page
// order while everything before it (adjusting and matching) and after it
// (compression) runs on any thread. The page's one set of error rows lives
// here, with the turn of the band that may use it next.
class DiffusionSequence {
public:
    explicit DiffusionSequence(std::uint32_t deviceWidth) {
        // One guard column before the page's columns and one read past
        // them, four cells a column; zero before the first row.
        const size_t cells = (size_t{deviceWidth} + 2) * 4;
        for (auto& row : rows_) row.assign(cells, 0);
        errors_.cmykSet = 0;
        errors_.cmykCells0 = deviceWidth + 1;
        errors_.cmykLastRow0 = UINT32_MAX;  // device row 0 follows it
        errors_.cmykRowA0 = rows_[0].data();
        errors_.cmykRowB0 = rows_[1].data();
    }

    // Runs work with the error rows once every earlier band has had its
    // turn. Throws if an earlier band failed, since its turn never comes.
    template <typename Work>
    void inTurn(std::uint32_t band, Work&& work) {
        std::unique_lock lock(mutex_);
        turn_.wait(lock, [&] { return broken_ || next_ == band; });
        if (broken_) throw PageError("an earlier band of the page failed");
        try {
            work(errors_);
        } catch (...) {
            broken_ = true;
            turn_.notify_all();
            throw;
        }
        ++next_;
        turn_.notify_all();
    }

    void abandon() {
        std::lock_guard lock(mutex_);
        broken_ = true;
        turn_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable turn_;
    std::uint32_t next_ = 0;
    bool broken_ = false;
    std::array<std::vector<std::int16_t>, 2> rows_;
    QvErrInf errors_{};
};

// The band geometry comes from the shared draw-information call, asked for
// one bit per dot: the earlier generation's planes.
QvrDizInf oneBitPerDot() {
    QvrDizInf record{};
    record.dizMode = HUECL_DITHER_1BIT;
    return record;
}

}  // namespace

EarlierEngine::EarlierEngine(const PageSettings& settings, ColourTable table, std::uint32_t sourceWidth,
                             std::uint32_t sourceHeight, SourcePixels pixels)
    : settings_(settings), table_(std::move(table)), screens_(settings.screenKind, settings.blackOnly),
      rgbControl_(rgbControlOf<QvCtrRgbInf>(settings)),
      geometry_(bandGeometryOf(oneBitPerDot(), settings, sourceWidth, sourceHeight, pixels, 1)) {
    if (settings.density != 0) {
        densityCurve_.resize(256);
        QvTnrTblMak(settings.density, densityCurve_.data());
        cmyControl_.cmyTable = densityCurve_.data();
    }
}

class EarlierBandRenderer final : public BandRenderer {
public:
    EarlierBandRenderer(const EarlierEngine& engine, std::shared_ptr<DiffusionSequence> sequence)
        : engine_(engine), sequence_(std::move(sequence)), match_(engine.settings_, engine.table_, earlierGridSize) {}

    void renderBand(std::uint32_t firstSourceRow, std::uint32_t rows, std::span<std::uint8_t> bgrRows, BandPlanes& out,
                    StageTimes& times) override {
        const PageGeometry& g = engine_.geometry_;
        const PageSettings& s = engine_.settings_;
        QvrDrwInf draw = drawRecordAt(s, g, firstSourceRow);
        draw.srcY = firstSourceRow;
        draw.devWidth = g.deviceWidth;
        draw.lineBytes = g.lineBytes;
        sizeBandPlanes(g, out);
        // This generation writes at the plane pointers themselves; they move
        // on by the rows each call writes. QvColGosPrc clears the rows of all
        // four planes, so black alone still gets three rows to clear.
        std::array<std::uint8_t*, 4> planes{};
        if (g.planeCount == 4) {
            for (size_t plane = 0; plane < 4; ++plane) planes[plane] = out.planes[plane].data();
        } else {
            scratchPlanes_.resize(size_t{g.bandHeight} * g.lineBytes);
            planes = {scratchPlanes_.data(), scratchPlanes_.data(), scratchPlanes_.data(), out.planes[0].data()};
        }

        const auto halftoneRow = [&](const std::uint8_t* cmyk, QvErrInf* errors) {
            draw.srcPixels = const_cast<std::uint8_t*>(cmyk);  // only read
            draw.planeC = planes[0], draw.planeM = planes[1], draw.planeY = planes[2], draw.planeK = planes[3];
            const std::uint32_t before = draw.devRow;
            if (errors)
                QvColGosPrc(&engine_.screens_.record(), &draw, errors);
            else
                QvColDizPrc(&engine_.screens_.record(), &draw);
            const size_t advance = size_t{draw.devRow - before} * g.lineBytes;
            for (auto& plane : planes) plane += advance;
        };

        // Stage by stage over the band's rows, each stage timed once a band
        // (reading a thread's CPU clock is a system call): the same calls on
        // the same rows in the same order as row by row.
        const size_t rowBytes = g.sourceRowBytes();
        const BandCmykRows cmyk = bandCmykRowsOf(g, bgrRows, rows, cmykRows_);
        if (g.sourcePixels != SourcePixels::cmyk) {
            timeRows(times, Stage::rgb, rows, [&](std::uint32_t row) {
                QvColCtrRgb(g.sourceWidth, bgrRows.data() + row * rowBytes, &engine_.rgbControl_);
            });
            timeRows(times, Stage::match, rows, [&](std::uint32_t row) {
                QvColMchPrc(&engine_.screens_.record(), g.sourceWidth, bgrRows.data() + row * rowBytes, cmyk.row(row),
                            match_.record());
            });
        }
        timeRows(times, Stage::cmyk, rows,
                 [&](std::uint32_t row) { QvColCtrCmy(g.sourceWidth, cmyk.row(row), &engine_.cmyControl_); });
        if (s.ditherMode != errorDiffusionMode) {
            timeRows(times, Stage::dither, rows, [&](std::uint32_t row) { halftoneRow(cmyk.row(row), nullptr); });
        } else {
            sequence_->inTurn(firstSourceRow / g.sourceRowsPerBand, [&](QvErrInf& errors) {
                timeRows(times, Stage::dither, rows, [&](std::uint32_t row) { halftoneRow(cmyk.row(row), &errors); });
            });
        }
        out.deviceRows = draw.devRow;
    }

    void abandonPage() override { sequence_->abandon(); }

private:
    const EarlierEngine& engine_;
    std::shared_ptr<DiffusionSequence> sequence_;
    WorkerMatch match_;
    std::vector<std::uint8_t> cmykRows_, scratchPlanes_;
};

std::unique_ptr<BandRenderer> EarlierEngine::makeRenderer() const {
    return std::make_unique<EarlierBandRenderer>(*this, std::make_shared<DiffusionSequence>(geometry_.deviceWidth));
}

std::vector<std::unique_ptr<BandRenderer>> EarlierEngine::makeRenderers(unsigned count) const {
    // The renderers of one page share its error rows.
    const auto sequence = std::make_shared<DiffusionSequence>(geometry_.deviceWidth);
    std::vector<std::unique_ptr<BandRenderer>> renderers;
    for (unsigned i = 0; i < count; ++i) renderers.push_back(std::make_unique<EarlierBandRenderer>(*this, sequence));
    return renderers;
}

}  // namespace huecl::pages

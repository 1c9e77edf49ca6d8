#include "later_engine.h"

#include "tool_error.h"

#include <algorithm>
#include <mutex>

namespace huecl::tool {
namespace {

std::mutex screenSetUpMutex;

QvrDrwInf drawRecordFor(const PageSettings &settings, uint32_t sourceWidth) {
    QvrDrwInf draw{};
    draw.srcWidth = sourceWidth;
    draw.devResX = settings.device.x;
    draw.srcResX = settings.source.x;
    draw.devResY = settings.device.y;
    draw.srcResY = settings.source.y;
    return draw;
}

} // namespace

Screens::Screens(uint32_t ditherMode, uint32_t screenKind, bool blackOnly) {
    for (auto &matrix : matrices_)
        matrix.resize(HUECL_MAX_THRESHOLD_MATRIX_BYTES);
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

uint32_t Screens::levels() const {
    switch (record_.dizMode) {
    case 1: return 15;
    case 3: return 3;
    default: return 1;
    }
}

std::span<const uint8_t> Screens::matrix(size_t plane) const {
    const uint32_t sizes[] = {record_.sizeC, record_.sizeM, record_.sizeY, record_.sizeK};
    return std::span(matrices_[plane]).first(size_t{sizes[plane]} * sizes[plane] * levels());
}

InkResponse inkResponseOf(uint32_t ditherMode, uint32_t screenKind, bool blackOnly) {
    const Screens screens(ditherMode, screenKind, blackOnly);
    return inkResponseOf({screens.matrix(0), screens.matrix(1), screens.matrix(2), screens.matrix(3)});
}

uint32_t bitsPerDotOf(uint32_t ditherMode) {
    switch (ditherMode) {
    case HUECL_DITHER_4BIT: return 4;
    case HUECL_DITHER_2BIT: return 2;
    default: return 1;
    }
}

LaterEngine::LaterEngine(const PageSettings &settings, ColourTable table, uint32_t sourceWidth, uint32_t sourceHeight,
                         SourcePixels pixels)
    : settings_(settings), table_(std::move(table)), screens_(settings.ditherMode, settings.screenKind, settings.blackOnly) {
    rgbControl_.brightness = settings.brightness;
    rgbControl_.saturation = settings.saturation;
    rgbControl_.gammaR = settings.balance[0];
    rgbControl_.gammaG = settings.balance[1];
    rgbControl_.gammaB = settings.balance[2];
    cmyControl_.saturation = settings.cmySaturation;
    if (settings.density != 0) {
        densityCurve_.resize(256);
        QvrColDnsMak(settings.density, densityCurve_.data());
        cmyControl_.cmyTable = densityCurve_.data();
    }

    // The library computes positions times resolutions in 32 bits.
    const uint64_t widest = uint64_t{sourceWidth} * std::max(settings.device.x, settings.source.x);
    const uint64_t tallest = uint64_t{sourceHeight + 1} * std::max(settings.device.y, settings.source.y);
    if (widest > UINT32_MAX || tallest > UINT32_MAX)
        throw ToolError("the page (" + std::to_string(sourceWidth) + "x" + std::to_string(sourceHeight) +
                        ") is too large for these resolutions");

    // One call with no buffer yields the row size; the second how many
    // source rows a band buffer of bandHeight device rows takes.
    QvrDrwInf probe = drawRecordFor(settings, sourceWidth);
    QvrColDrwInfSet(&screens_.record(), &probe, 0);
    if (probe.lineBytes == 0)
        throw ToolError("the page is too narrow to cover a device dot at these resolutions");
    const uint32_t rowsPerBand = QvrColDrwInfSet(&screens_.record(), &probe, settings.bandHeight * probe.lineBytes);
    if (rowsPerBand == 0)
        throw ToolError("--band-height " + std::to_string(settings.bandHeight) +
                        " holds no whole source row at these resolutions");

    geometry_.sourceWidth = sourceWidth;
    geometry_.sourceHeight = sourceHeight;
    geometry_.sourcePixels = pixels;
    geometry_.deviceWidth = probe.devWidth;
    geometry_.deviceHeight =
        static_cast<uint32_t>(uint64_t{sourceHeight} * settings.device.y / settings.source.y);
    geometry_.lineBytes = probe.lineBytes;
    geometry_.bitsPerDot = bitsPerDotOf(settings.ditherMode);
    geometry_.planeCount = settings.blackOnly ? 1 : 4;
    geometry_.bandHeight = settings.bandHeight;
    geometry_.deviceResY = settings.device.y;
    geometry_.sourceResY = settings.source.y;
    geometry_.sourceRowsPerBand = rowsPerBand;
    geometry_.bandCount = (sourceHeight + rowsPerBand - 1) / rowsPerBand;
}

class LaterBandRenderer final : public BandRenderer {
public:
    explicit LaterBandRenderer(const LaterEngine &engine)
        : engine_(engine), cacheKeys_(HUECL_MATCH_CACHE_KEY_BYTES), cacheValues_(HUECL_MATCH_CACHE_VALUE_BYTES) {
        const PageSettings &s = engine.settings_;
        match_.mchMode = s.matchMethod;
        match_.blackMode = s.blackMode;
        match_.gridSize = engine.table_.gridSize;
        match_.mchTable = const_cast<uint8_t *>(engine.table_.entries.data()); // only read
        match_.cacheKeys = cacheKeys_.data();
        match_.cacheValues = cacheValues_.data();
        // The cache belongs to this worker's stream of rows and to the one
        // table of the page, so it is cleared once and kept across bands.
        QvrColCchIni(&match_);
    }

    void renderBand(uint32_t firstSourceRow, uint32_t rows, std::span<uint8_t> bgrRows, BandPlanes &out,
                    StageTimes &times) override {
        const PageGeometry &g = engine_.geometry_;
        const PageSettings &s = engine_.settings_;
        QvrDrwInf draw = drawRecordFor(s, g.sourceWidth);
        draw.devY = static_cast<uint32_t>(uint64_t{firstSourceRow} * s.device.y / s.source.y);
        QvrColDrwInfSet(&engine_.screens_.record(), &draw, g.bandHeight * g.lineBytes);
        // The rounded source row the call derives from devY can miss the
        // band's first row at uneven ratios; the row counter decides how many
        // device rows each source row yields, so it starts at the true row.
        draw.srcY = firstSourceRow;
        for (uint32_t plane = 0; plane < g.planeCount; ++plane)
            out.planes[plane].resize(size_t{g.bandHeight} * g.lineBytes);
        if (g.planeCount == 1) {
            draw.planeK = out.planes[0].data();
        } else {
            draw.planeC = out.planes[0].data();
            draw.planeM = out.planes[1].data();
            draw.planeY = out.planes[2].data();
            draw.planeK = out.planes[3].data();
        }
        draw.devRow = 0;

        const size_t rowBytes = g.sourceRowBytes();
        if (g.sourcePixels == SourcePixels::cmyk) {
            {
                StageTimer timer(times, Stage::cmyk);
                for (uint32_t row = 0; row < rows; ++row)
                    QvrColCtrCmy(g.sourceWidth, bgrRows.data() + row * rowBytes, &engine_.cmyControl_);
            }
            StageTimer timer(times, Stage::dither);
            for (uint32_t row = 0; row < rows; ++row) {
                draw.srcPixels = bgrRows.data() + row * rowBytes;
                QvrColDizPrc(&engine_.screens_.record(), &draw);
            }
            out.deviceRows = draw.devRow;
            return;
        }
        // Stage by stage over the band's rows rather than row by row: the
        // same calls on the same rows in the same order, but each stage is
        // timed once a band, where reading a thread's CPU clock for every
        // row and stage cost as much as the colour adjustment itself.
        const size_t cmykBytes = size_t{g.sourceWidth} * 4;
        if (cmykRows_.size() < size_t{rows} * cmykBytes)
            cmykRows_.resize(size_t{rows} * cmykBytes);
        {
            StageTimer timer(times, Stage::rgb);
            for (uint32_t row = 0; row < rows; ++row)
                QvrColCtrRgb(g.sourceWidth, bgrRows.data() + row * rowBytes, &engine_.rgbControl_);
        }
        {
            StageTimer timer(times, Stage::match);
            for (uint32_t row = 0; row < rows; ++row)
                QvrColMchPrc(g.sourceWidth, bgrRows.data() + row * rowBytes, cmykRows_.data() + row * cmykBytes,
                             &match_);
        }
        {
            StageTimer timer(times, Stage::cmyk);
            for (uint32_t row = 0; row < rows; ++row)
                QvrColCtrCmy(g.sourceWidth, cmykRows_.data() + row * cmykBytes, &engine_.cmyControl_);
        }
        {
            StageTimer timer(times, Stage::dither);
            for (uint32_t row = 0; row < rows; ++row) {
                draw.srcPixels = cmykRows_.data() + row * cmykBytes;
                QvrColDizPrc(&engine_.screens_.record(), &draw);
            }
        }
        out.deviceRows = draw.devRow;
    }

private:
    const LaterEngine &engine_;
    std::vector<uint8_t> cacheKeys_, cacheValues_, cmykRows_; // cmykRows_: a band of matched rows
    QvrMchInf match_{};
};

std::unique_ptr<BandRenderer> LaterEngine::makeRenderer() const { return std::make_unique<LaterBandRenderer>(*this); }

} // namespace huecl::tool

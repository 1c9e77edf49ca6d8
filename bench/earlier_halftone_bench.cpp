// Earlier-generation halftoning on unscaled 4960-dot rows (A4 width at 600
// dpi): QvColDizPrc, QvColGosPrc and QvRgbGos through the exports, the
// general diffusion procedure as the plain loop of the same filter, and
// memcpy of the same source row as the yardstick of this machine.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "colour/earlier/error_diffusion.h"
#include "huecl32.h"
#include "tests/support/pixel_rows.h"

namespace {

constexpr std::uint32_t kRowDots = 4960;

// Threshold matrices with cells spread over 3-254, as the screens have.
std::vector<std::uint8_t> spreadMatrix(std::uint32_t edge) {
    std::vector<std::uint8_t> matrix(std::size_t{edge} * edge);
    for (std::uint32_t i = 0; i < matrix.size(); ++i) matrix[i] = static_cast<std::uint8_t>(3 + (i * 149) % 252);
    return matrix;
}

struct EarlierFixture {
    std::array<std::vector<std::uint8_t>, 4> matrices = {spreadMatrix(17), spreadMatrix(17), spreadMatrix(16),
                                                         spreadMatrix(16)};
    QvDizInf dither{};
    QvrDrwInf draw{};
    std::vector<std::uint8_t> pixels = testsupport::photoRow(kRowDots, 4);
    std::array<std::vector<std::uint8_t>, 4> planes;
    std::array<std::vector<std::int16_t>, 8> errorRows;
    QvErrInf errors{};

    // The source row covers the device row of kRowDots dots at 600 dpi.
    explicit EarlierFixture(std::uint32_t mono, std::uint32_t srcResX = 600) {
        dither.monoFlag = mono;
        dither.ptnC = matrices[0].data();
        dither.ptnM = matrices[1].data();
        dither.ptnY = matrices[2].data();
        dither.ptnK = matrices[3].data();
        draw.srcWidth = kRowDots * srcResX / 600;
        draw.devResX = draw.devResY = draw.srcResY = 600;
        draw.srcResX = srcResX;
        draw.lineBytes = kRowDots / 8;
        draw.srcPixels = pixels.data();
        for (auto& plane : planes) plane.assign(draw.lineBytes, 0);
        draw.planeC = planes[0].data();
        draw.planeM = planes[1].data();
        draw.planeY = planes[2].data();
        draw.planeK = planes[3].data();
        for (std::size_t i = 0; i < errorRows.size(); ++i) errorRows[i].assign((kRowDots + 2) * (i < 4 ? 3 : 4), 0);
        errors.rgbCells0 = errors.cmykCells0 = kRowDots + 1;
        errors.rgbRowA0 = errorRows[0].data();
        errors.rgbRowB0 = errorRows[1].data();
        errors.cmykRowA0 = errorRows[4].data();
        errors.cmykRowB0 = errorRows[5].data();
    }
};

void countPixels(benchmark::State& state) {
    state.counters["Mpixel/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kRowDots / 1e6, benchmark::Counter::kIsRate);
}

// Argument: monoFlag.
void BM_EarlierDitherRow(benchmark::State& state) {
    EarlierFixture fixture(static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state) {
        QvColDizPrc(&fixture.dither, &fixture.draw);
        benchmark::DoNotOptimize(fixture.planes[3].data());
        benchmark::ClobberMemory();
    }
    countPixels(state);
}
BENCHMARK(BM_EarlierDitherRow)->ArgName("mono")->Arg(0)->Arg(1);

// Consecutive device rows, so every filter of the cycle takes its turn and
// the error carries from row to row. Argument: monoFlag.
void BM_EarlierDiffuseCmykRow(benchmark::State& state) {
    EarlierFixture fixture(static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state) {
        QvColGosPrc(&fixture.dither, &fixture.draw, &fixture.errors);
        benchmark::DoNotOptimize(fixture.planes[3].data());
        benchmark::ClobberMemory();
    }
    countPixels(state);
}
BENCHMARK(BM_EarlierDiffuseCmykRow)->ArgName("mono")->Arg(0)->Arg(1);

// Source pixels at 360 dpi across onto 600 dpi: five dots for every three
// pixels, stepped pixel by pixel. Dithered, then diffused.
void BM_EarlierDitherRowStepped(benchmark::State& state) {
    EarlierFixture fixture(0, 360);
    for (auto _ : state) {
        QvColDizPrc(&fixture.dither, &fixture.draw);
        benchmark::DoNotOptimize(fixture.planes[3].data());
        benchmark::ClobberMemory();
    }
    countPixels(state);
}
BENCHMARK(BM_EarlierDitherRowStepped);

void BM_EarlierDiffuseCmykRowStepped(benchmark::State& state) {
    EarlierFixture fixture(0, 360);
    for (auto _ : state) {
        QvColGosPrc(&fixture.dither, &fixture.draw, &fixture.errors);
        benchmark::DoNotOptimize(fixture.planes[3].data());
        benchmark::ClobberMemory();
    }
    countPixels(state);
}
BENCHMARK(BM_EarlierDiffuseCmykRowStepped);

// The same rows through the general procedure: a plain loop of the filter
// with its divisions written out.
void BM_EarlierDiffuseCmykRowPlainLoop(benchmark::State& state) {
    EarlierFixture fixture(static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state) {
        huecl::earlier::diffuseCmykRowGeneral(fixture.dither, fixture.draw, fixture.errors);
        benchmark::DoNotOptimize(fixture.planes[3].data());
        benchmark::ClobberMemory();
    }
    countPixels(state);
}
BENCHMARK(BM_EarlierDiffuseCmykRowPlainLoop)->ArgName("mono")->Arg(0)->Arg(1);

// The row is rewritten in place, so each iteration restores it from a
// pristine copy first (a memcpy of 14880 bytes, included in the figure).
void BM_EarlierDiffuseRgbRow(benchmark::State& state) {
    EarlierFixture fixture(0);
    const std::vector<std::uint8_t> pristine = testsupport::photoRow(kRowDots, 3);
    std::vector<std::uint8_t> row = pristine;
    for (auto _ : state) {
        std::memcpy(row.data(), pristine.data(), row.size());
        QvRgbGos(&fixture.draw, &fixture.errors, row.data());
        fixture.draw.srcY += 1;
        benchmark::DoNotOptimize(row.data());
        benchmark::ClobberMemory();
    }
    countPixels(state);
}
BENCHMARK(BM_EarlierDiffuseRgbRow);

void BM_EarlierMemcpyCmykRow(benchmark::State& state) {
    const std::vector<std::uint8_t> source = testsupport::photoRow(kRowDots, 4);
    std::vector<std::uint8_t> destination(source.size());
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), source.size());
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    countPixels(state);
}
BENCHMARK(BM_EarlierMemcpyCmykRow);

}  // namespace

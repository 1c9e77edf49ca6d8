// Halftoning: QvrColDizPrc per variant on 4960-dot rows (A4 width at 600
// dpi), unscaled and 300-to-600 dpi, QvrColDizInfSet per call, and memcpy
// of the same source row as the yardstick of this machine.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "huecl32.h"
#include "tests/support/pixel_rows.h"

namespace {

constexpr std::uint32_t kRowDots = 4960;

// The photographic row with every level at least 1: no colorant is ever
// absent, so no variant profits from skipping white.
std::vector<std::uint8_t> inkedPhotoRow(std::uint32_t pixels) {
    std::vector<std::uint8_t> row = testsupport::photoRow(pixels, 4);
    for (std::uint8_t& level : row) level = level == 0 ? 1 : level;
    return row;
}

struct DitherFixture {
    QvrDizInf dither{};
    std::array<std::vector<std::uint8_t>, 4> matrices;
    QvrDrwInf draw{};
    std::vector<std::uint8_t> pixels;
    std::array<std::vector<std::uint8_t>, 4> planes;

    // The source row covers the device row of kRowDots dots at 600 dpi.
    DitherFixture(std::uint32_t blackOnly, std::uint32_t mode, std::uint32_t srcResX, std::uint32_t srcResY) {
        for (auto& matrix : matrices) matrix.assign(HUECL_MAX_THRESHOLD_MATRIX_BYTES, 0);
        dither.blackOnly = blackOnly;
        dither.dizMode = mode;
        dither.screenKind = 3;
        dither.matrixC = matrices[0].data();
        dither.matrixM = matrices[1].data();
        dither.matrixY = matrices[2].data();
        dither.matrixK = matrices[3].data();
        QvrColDizInfSet(&dither);
        const std::uint32_t sourcePixels = kRowDots * srcResX / 600;
        pixels = inkedPhotoRow(sourcePixels);
        draw.srcWidth = sourcePixels;
        draw.devResX = draw.devResY = 600;
        draw.srcResX = srcResX;
        draw.srcResY = srcResY;
        const std::uint32_t rows = QvrColDrwInfSet(&dither, &draw, 1u << 20);
        benchmark::DoNotOptimize(rows);
        for (auto& plane : planes) plane.assign(std::size_t{draw.lineBytes} * 2, 0);
        draw.srcPixels = pixels.data();
        draw.planeC = planes[0].data();
        draw.planeM = planes[1].data();
        draw.planeY = planes[2].data();
        draw.planeK = planes[3].data();
    }
};

// Arguments: blackOnly, dizMode, source pixels per device dot (1 or 2).
void BM_HalftoningDitherRow(benchmark::State& state) {
    const auto blackOnly = static_cast<std::uint32_t>(state.range(0));
    const auto mode = static_cast<std::uint32_t>(state.range(1));
    const auto srcRes = 600 / static_cast<std::uint32_t>(state.range(2));
    DitherFixture fixture(blackOnly, mode, srcRes, srcRes);
    for (auto _ : state) {
        fixture.draw.devRow = 0;
        QvrColDizPrc(&fixture.dither, &fixture.draw);
        benchmark::DoNotOptimize(fixture.planes[3].data());
        benchmark::ClobberMemory();
    }
    // Device pixels (one dot per plane) written per second.
    const double devicePixels = static_cast<double>(state.iterations()) * kRowDots * (state.range(2) == 2 ? 2.0 : 1.0);
    state.counters["Mpixel/s"] = benchmark::Counter(devicePixels / 1e6, benchmark::Counter::kIsRate);
    state.counters["Mdot/s"] =
        benchmark::Counter(devicePixels * (blackOnly ? 1 : 4) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HalftoningDitherRow)
    ->ArgNames({"blackOnly", "mode", "scale"})
    ->Args({0, 0, 1})
    ->Args({0, 3, 1})
    ->Args({0, 1, 1})
    ->Args({1, 0, 1})
    ->Args({1, 3, 1})
    ->Args({1, 1, 1})
    ->Args({0, 0, 2})
    ->Args({0, 3, 2})
    ->Args({0, 1, 2})
    ->Args({1, 0, 2})
    ->Args({1, 3, 2})
    ->Args({1, 1, 2});

// Source pixels at 360 dpi across onto 600 dpi: five dots for every three
// pixels, so the row is stepped pixel by pixel rather than repeated a whole
// number of times. Arguments: blackOnly, dizMode.
void BM_HalftoningDitherRowStepped(benchmark::State& state) {
    const auto blackOnly = static_cast<std::uint32_t>(state.range(0));
    DitherFixture fixture(blackOnly, static_cast<std::uint32_t>(state.range(1)), 360, 600);
    for (auto _ : state) {
        fixture.draw.devRow = 0;
        QvrColDizPrc(&fixture.dither, &fixture.draw);
        benchmark::DoNotOptimize(fixture.planes[3].data());
        benchmark::ClobberMemory();
    }
    const double devicePixels = static_cast<double>(state.iterations()) * kRowDots;
    state.counters["Mpixel/s"] = benchmark::Counter(devicePixels / 1e6, benchmark::Counter::kIsRate);
    state.counters["Mdot/s"] =
        benchmark::Counter(devicePixels * (blackOnly ? 1 : 4) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HalftoningDitherRowStepped)->ArgNames({"blackOnly", "mode"})->Args({0, 0})->Args({0, 3})->Args({0, 1});

// The yardstick: copying the unscaled source row once.
void BM_HalftoningMemcpySourceRow(benchmark::State& state) {
    const std::vector<std::uint8_t> source = inkedPhotoRow(kRowDots);
    std::vector<std::uint8_t> destination(source.size());
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), source.size());
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.counters["Mpixel/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kRowDots / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HalftoningMemcpySourceRow);

// Arguments: blackOnly, dizMode, screenKind.
void BM_HalftoningSetUp(benchmark::State& state) {
    std::array<std::vector<std::uint8_t>, 4> matrices;
    for (auto& matrix : matrices) matrix.assign(HUECL_MAX_THRESHOLD_MATRIX_BYTES, 0);
    QvrDizInf dither{};
    dither.blackOnly = static_cast<std::uint32_t>(state.range(0));
    dither.dizMode = static_cast<std::uint32_t>(state.range(1));
    dither.screenKind = static_cast<std::uint32_t>(state.range(2));
    dither.matrixC = matrices[0].data();
    dither.matrixM = matrices[1].data();
    dither.matrixY = matrices[2].data();
    dither.matrixK = matrices[3].data();
    for (auto _ : state) {
        QvrColDizInfSet(&dither);
        benchmark::DoNotOptimize(matrices[0].data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_HalftoningSetUp)
    ->ArgNames({"blackOnly", "mode", "kind"})
    ->Args({0, 0, 0})
    ->Args({0, 0, 3})
    ->Args({0, 1, 0})
    ->Args({0, 2, 3})
    ->Args({0, 3, 3})
    ->Args({1, 1, 1});

}  // namespace

// Earlier-generation screens: QvDizPtnMak per call (colour and monochrome,
// each screen mode), QvDizPtnPrn per sample tile, and memcpy of the same
// matrix bytes as the yardstick of this machine.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "huecl32.h"

namespace {

constexpr std::size_t kAngledBytes = 17 * 17;
constexpr std::size_t kSquareBytes = 16 * 16;
constexpr std::size_t kColourScreenBytes = 2 * kAngledBytes + 2 * kSquareBytes;

struct ScreenBuffers {
    std::array<std::uint8_t, kAngledBytes> c{}, m{};
    std::array<std::uint8_t, kSquareBytes> y{}, k{};
    QvDizInf info{};

    ScreenBuffers(std::uint32_t monoFlag, std::uint32_t screenMode) {
        info.monoFlag = monoFlag;
        info.screenMode = screenMode;
        info.ptnC = c.data();
        info.ptnM = m.data();
        info.ptnY = y.data();
        info.ptnK = k.data();
    }
};

// Arguments: monoFlag, screenMode.
void BM_DitherPatternsMake(benchmark::State& state) {
    ScreenBuffers buffers(static_cast<std::uint32_t>(state.range(0)), static_cast<std::uint32_t>(state.range(1)));
    for (auto _ : state) {
        QvDizPtnMak(&buffers.info);
        benchmark::DoNotOptimize(buffers.k.data());
        benchmark::ClobberMemory();
    }
    const std::size_t bytes = buffers.info.monoFlag == 1 ? kSquareBytes : kColourScreenBytes;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_DitherPatternsMake)
    ->ArgNames({"mono", "mode"})
    ->Args({0, 1})
    ->Args({0, 2})
    ->Args({0, 3})
    ->Args({1, 1})
    ->Args({1, 3});

// The yardstick: copying the 1090 bytes of the four colour screens.
void BM_DitherPatternsMemcpy(benchmark::State& state) {
    std::array<std::uint8_t, kColourScreenBytes> source{}, destination{};
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<std::uint8_t>(i * 37);
    for (auto _ : state) {
        benchmark::DoNotOptimize(source.data());
        std::memcpy(destination.data(), source.data(), source.size());
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kColourScreenBytes));
}
BENCHMARK(BM_DitherPatternsMemcpy);

// Arguments: screenMode, colour. Each iteration draws one 128-byte tile;
// the level walks through 0-255 so that every tone is drawn.
void BM_DitherPatternsSampleTile(benchmark::State& state) {
    ScreenBuffers buffers(0, static_cast<std::uint32_t>(state.range(0)));
    const auto colour = static_cast<std::uint32_t>(state.range(1));
    std::array<std::uint8_t, 128> tile{};
    std::uint32_t level = 0;
    for (auto _ : state) {
        QvDizPtnPrn(&buffers.info, colour, level, tile.data());
        level = (level + 1) & 255;
        benchmark::DoNotOptimize(tile.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * tile.size()));
}
BENCHMARK(BM_DitherPatternsSampleTile)->ArgNames({"mode", "colour"})->Args({1, 0})->Args({3, 1})->Args({2, 3});

}  // namespace

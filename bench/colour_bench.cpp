// Colour matching, colour balance, CMYK back to RGB and palette expansion on
// one printer row of 4960 pixels
// (A4 at 600 dpi), in pixels per second, beside memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "huecl32.h"

namespace {

constexpr std::uint32_t kRowPixels = 4960;

using Row = std::vector<std::uint8_t>;  // blue, green, red per pixel

void appendRun(Row& row, std::uint32_t length, std::array<std::uint8_t, 3> bgr) {
    for (std::uint32_t i = 0; i < length && row.size() < 3 * kRowPixels; ++i)
        row.insert(row.end(), bgr.begin(), bgr.end());
}

// A photograph: 400 colours of one smooth area (each component within 40
// levels of a base), in runs of 1-6 pixels. More colours than cache slots,
// so colliding colours keep evicting each other.
Row photoRow() {
    std::mt19937 random(1);
    std::vector<std::array<std::uint8_t, 3>> palette(400);
    for (auto& colour : palette) {
        colour = {static_cast<std::uint8_t>(60 + random() % 40), static_cast<std::uint8_t>(110 + random() % 40),
                  static_cast<std::uint8_t>(150 + random() % 40)};
    }
    Row row;
    while (row.size() < 3 * kRowPixels) {
        const std::uint32_t run = 1 + random() % 6;  // one draw per statement, in a fixed order
        appendRun(row, run, palette[random() % palette.size()]);
    }
    return row;
}

// A page of text: white paper with short runs of black and two spot colours.
Row documentRow() {
    std::mt19937 random(2);
    const std::array<std::uint8_t, 3> ink[3] = {{0, 0, 0}, {160, 40, 20}, {20, 30, 200}};
    Row row;
    while (row.size() < 3 * kRowPixels) {
        appendRun(row, 20 + random() % 380, {255, 255, 255});
        appendRun(row, 1 + random() % 8, ink[random() % 100 < 85 ? 0 : 1 + random() % 2]);
    }
    return row;
}

// Every pixel a different colour: an odd multiplier permutes the 24-bit
// colours, so no two of the row's pixels are equal.
Row distinctRow() {
    Row row;
    for (std::uint32_t i = 0; i < kRowPixels; ++i) {
        const std::uint32_t colour = (i * 2654435761u) & 0xFFFFFFu;
        row.insert(row.end(), {static_cast<std::uint8_t>(colour), static_cast<std::uint8_t>(colour >> 8),
                               static_cast<std::uint8_t>(colour >> 16)});
    }
    return row;
}

std::vector<std::uint8_t> randomTable(std::size_t entries) {
    std::mt19937 random(3);
    std::vector<std::uint8_t> table(4 * entries);
    for (std::uint8_t& byte : table) byte = static_cast<std::uint8_t>(random());
    return table;
}

void reportRow(benchmark::State& state, std::size_t bytesPerIteration) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kRowPixels);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytesPerIteration));
}

// memcpy of one CMYK row, the yardstick for every figure below.
void BM_ColourMemcpyCmykRow(benchmark::State& state) {
    std::vector<std::uint8_t> from(4 * kRowPixels, 7), to(4 * kRowPixels);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), to.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    reportRow(state, to.size());
}
BENCHMARK(BM_ColourMemcpyCmykRow);

// One row per iteration through match(count, source, destination, info),
// which calls the export of either generation.
template <typename Match>
void runMatchBenchmark(benchmark::State& state, std::uint32_t mode, std::uint32_t blackMode, std::uint32_t gridSize,
                       const Row& source, Match match) {
    std::vector<std::uint8_t> table = randomTable(mode == 0 ? 32768 : std::size_t{gridSize} * gridSize * gridSize);
    std::vector<std::uint8_t> keys(HUECL_MATCH_CACHE_KEY_BYTES), values(HUECL_MATCH_CACHE_VALUE_BYTES);
    QvrMchInf info{mode, blackMode, gridSize, table.data(), keys.data(), values.data()};
    QvrColCchIni(&info);
    std::vector<std::uint8_t> destination(4 * kRowPixels);
    for (auto _ : state) {
        match(kRowPixels, source.data(), destination.data(), &info);
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    reportRow(state, destination.size());
}

void matchBenchmark(benchmark::State& state, std::uint32_t mode, std::uint32_t blackMode, const Row& source) {
    runMatchBenchmark(state, mode, blackMode, mode == 0 ? 32 : 17, source, QvrColMchPrc);
}

void BM_ColourMatchDirect(benchmark::State& state) { matchBenchmark(state, 0, 2, photoRow()); }
void BM_ColourMatchInterpolatedPhoto(benchmark::State& state) { matchBenchmark(state, 1, 2, photoRow()); }
void BM_ColourMatchInterpolatedDocument(benchmark::State& state) { matchBenchmark(state, 1, 2, documentRow()); }
void BM_ColourMatchInterpolatedDistinct(benchmark::State& state) { matchBenchmark(state, 1, 2, distinctRow()); }
void BM_ColourMatchInversion(benchmark::State& state) { matchBenchmark(state, 2, 2, photoRow()); }
void BM_ColourMatchEightColours(benchmark::State& state) { matchBenchmark(state, 3, 0, photoRow()); }
void BM_ColourMatchBlackOnly(benchmark::State& state) { matchBenchmark(state, 4, 0, photoRow()); }
BENCHMARK(BM_ColourMatchDirect);
BENCHMARK(BM_ColourMatchInterpolatedPhoto);
BENCHMARK(BM_ColourMatchInterpolatedDocument);
BENCHMARK(BM_ColourMatchInterpolatedDistinct);
BENCHMARK(BM_ColourMatchInversion);
BENCHMARK(BM_ColourMatchEightColours);
BENCHMARK(BM_ColourMatchBlackOnly);

// Every step on: a density curve as the tone table, brightness, saturation
// and a different balance curve per primary. The row is restored from a
// pristine copy each time (timed, about as long as the memcpy above), so
// that every iteration adjusts the same photograph.
void BM_ColourBalanceRgb(benchmark::State& state) {
    const Row pristine = photoRow();
    Row pixels = pristine;
    std::array<std::uint8_t, 256> tone;
    QvrColDnsMak(20, tone.data());
    const QvrCtrRgbInf control{30, 40, 5, 14, 22, tone.data()};
    for (auto _ : state) {
        std::memcpy(pixels.data(), pristine.data(), pixels.size());
        QvrColCtrRgb(kRowPixels, pixels.data(), &control);
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    reportRow(state, pixels.size());
}
BENCHMARK(BM_ColourBalanceRgb);

// Saturation and a tone table on the CMYK row that matching made of the
// photograph.
void BM_ColourBalanceCmy(benchmark::State& state) {
    const Row source = photoRow();
    std::vector<std::uint8_t> pristine(4 * kRowPixels);
    std::vector<std::uint8_t> keys(HUECL_MATCH_CACHE_KEY_BYTES), values(HUECL_MATCH_CACHE_VALUE_BYTES);
    QvrMchInf info{2, 0, 0, nullptr, keys.data(), values.data()};
    QvrColMchPrc(kRowPixels, source.data(), pristine.data(), &info);
    std::vector<std::uint8_t> pixels = pristine;
    std::array<std::uint8_t, 256> tone;
    QvrColDnsMak(-15, tone.data());
    const QvrCtrCmyInf control{30, tone.data()};
    for (auto _ : state) {
        std::memcpy(pixels.data(), pristine.data(), pixels.size());
        QvrColCtrCmy(kRowPixels, pixels.data(), &control);
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    reportRow(state, pixels.size());
}
BENCHMARK(BM_ColourBalanceCmy);

// ---- CMYK back to RGB ------------------------------------------------------

// A CMYK row as matching makes it: the photograph through a 17-point table
// (random entries, so cyan, magenta, yellow and black all vary and nearly
// every pixel needs two black slices), or through the black-only method.
std::vector<std::uint8_t> matchedRow(const Row& source, std::uint32_t mode) {
    std::vector<std::uint8_t> table = randomTable(17 * 17 * 17);
    std::vector<std::uint8_t> keys(HUECL_MATCH_CACHE_KEY_BYTES), values(HUECL_MATCH_CACHE_VALUE_BYTES);
    QvrMchInf info{mode, 0, 17, table.data(), keys.data(), values.data()};
    QvrColCchIni(&info);
    std::vector<std::uint8_t> cmyk(4 * kRowPixels);
    QvrColMchPrc(kRowPixels, source.data(), cmyk.data(), &info);
    return cmyk;
}

// Every pixel a different CMYK value, none of them black alone.
std::vector<std::uint8_t> distinctCmykRow() {
    std::vector<std::uint8_t> row(4 * kRowPixels);
    for (std::uint32_t i = 0; i < kRowPixels; ++i) {
        const std::uint32_t value = (i + 1) * 2654435761u;
        std::memcpy(&row[4 * i], &value, 4);
        row[4 * i] |= 1;
    }
    return row;
}

void cmykToRgbBenchmark(benchmark::State& state, const std::vector<std::uint8_t>& source) {
    constexpr std::uint32_t kGrid = 17;
    std::mt19937 random(4);
    std::vector<std::uint8_t> table(3 * kGrid * kGrid * kGrid * kGrid);
    for (std::uint8_t& byte : table) byte = static_cast<std::uint8_t>(random());
    std::vector<std::uint8_t> destination(3 * kRowPixels);
    for (auto _ : state) {
        QvrColCnvC2r(kRowPixels, source.data(), destination.data(), kGrid, table.data());
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    reportRow(state, source.size());
}

void BM_ColourCmykToRgbPhoto(benchmark::State& state) { cmykToRgbBenchmark(state, matchedRow(photoRow(), 1)); }
void BM_ColourCmykToRgbDistinct(benchmark::State& state) { cmykToRgbBenchmark(state, distinctCmykRow()); }
void BM_ColourCmykToRgbBlackOnly(benchmark::State& state) { cmykToRgbBenchmark(state, matchedRow(photoRow(), 4)); }
BENCHMARK(BM_ColourCmykToRgbPhoto);
BENCHMARK(BM_ColourCmykToRgbDistinct);
BENCHMARK(BM_ColourCmykToRgbBlackOnly);

// ---- Palette expansion -------------------------------------------------------

// A row of random codes of the given width into 4-byte entries. Widths 1,
// 2 and 4 shift the source in place, so every iteration first restores it
// from a pristine copy (at most 4960 bytes; timed, included in the figure).
void BM_ColourPaletteExpand(benchmark::State& state) {
    const auto width = static_cast<std::uint32_t>(state.range(0));
    std::mt19937 random(5);
    std::vector<std::uint8_t> pristine((kRowPixels * width + 7) / 8);
    for (std::uint8_t& byte : pristine) byte = static_cast<std::uint8_t>(random());
    std::vector<std::uint8_t> source = pristine;
    std::vector<std::uint32_t> palette(256);
    for (std::uint32_t& entry : palette) entry = random();
    std::vector<std::uint32_t> destination(kRowPixels);
    for (auto _ : state) {
        std::memcpy(source.data(), pristine.data(), source.size());
        QvrColPtcPrc(width, kRowPixels, source.data(), destination.data(), palette.data());
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    reportRow(state, 4 * destination.size());
}
BENCHMARK(BM_ColourPaletteExpand)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Arg(3);

// ---- Earlier generation --------------------------------------------------------
// The same rows through QvColMchPrc: a 32 x 32 x 32 table for methods 0 and 1
// (this generation's only grid), blackMode 2 for methods 0-2, screen mode 1.

void earlierMatchBenchmark(benchmark::State& state, std::uint32_t mode, std::uint32_t blackMode, const Row& source) {
    QvDizInf dither{};
    dither.screenMode = 1;
    const auto match = [&dither](std::uint32_t count, const std::uint8_t* from, std::uint8_t* to,
                                 const QvrMchInf* info) { QvColMchPrc(&dither, count, from, to, info); };
    runMatchBenchmark(state, mode, blackMode, 32, source, match);
}

void BM_EarlierMatchNearest(benchmark::State& state) { earlierMatchBenchmark(state, 0, 2, photoRow()); }
void BM_EarlierMatchInterpolatedPhoto(benchmark::State& state) { earlierMatchBenchmark(state, 1, 2, photoRow()); }
void BM_EarlierMatchInterpolatedDocument(benchmark::State& state) { earlierMatchBenchmark(state, 1, 2, documentRow()); }
void BM_EarlierMatchInterpolatedDistinct(benchmark::State& state) { earlierMatchBenchmark(state, 1, 2, distinctRow()); }
void BM_EarlierMatchInversion(benchmark::State& state) { earlierMatchBenchmark(state, 2, 2, photoRow()); }
void BM_EarlierMatchEightColours(benchmark::State& state) { earlierMatchBenchmark(state, 3, 0, photoRow()); }
void BM_EarlierMatchGrey(benchmark::State& state) { earlierMatchBenchmark(state, 4, 0, photoRow()); }
BENCHMARK(BM_EarlierMatchNearest);
BENCHMARK(BM_EarlierMatchInterpolatedPhoto);
BENCHMARK(BM_EarlierMatchInterpolatedDocument);
BENCHMARK(BM_EarlierMatchInterpolatedDistinct);
BENCHMARK(BM_EarlierMatchInversion);
BENCHMARK(BM_EarlierMatchEightColours);
BENCHMARK(BM_EarlierMatchGrey);

// Every step on, as BM_ColourBalanceRgb, with this generation's levels.
void BM_EarlierBalanceRgb(benchmark::State& state) {
    const Row pristine = photoRow();
    Row pixels = pristine;
    std::array<std::uint8_t, 256> tone;
    QvTnrTblMak(20, tone.data());
    const QvCtrRgbInf control{30, 40, 5, 14, 22, tone.data()};
    for (auto _ : state) {
        std::memcpy(pixels.data(), pristine.data(), pixels.size());
        QvColCtrRgb(kRowPixels, pixels.data(), &control);
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    reportRow(state, pixels.size());
}
BENCHMARK(BM_EarlierBalanceRgb);

}  // namespace

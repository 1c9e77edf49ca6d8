// LZS compression speed: input bytes per second at budgets 0, 8 and 255 on
// a dithered page's 1-bit planes, on text and on random bytes, with the
// compression ratio, and memcpy of the same bytes as the ceiling.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "huecl32.h"
#include "tests/support/lzs_inputs.h"

namespace {

// planes: one plane of a dithered page; gradient: a plane dithered all over
// from a fast-changing gradient (the hardest raster for the search).
enum Corpus : int { kPlanes = 0, kText = 1, kRandom = 2, kGradient = 3 };
// 4 MiB: one whole plane of a page (6600 rows of 600 bytes) and a little more.
constexpr std::size_t kInputBytes = 1 << 22;

using Bytes = std::vector<std::uint8_t>;

const Bytes& corpus(int which) {
    static const Bytes planes = testsupport::ditheredPage(kInputBytes);
    static const Bytes text = testsupport::textBytes(kInputBytes);
    static const Bytes random = testsupport::randomBytes(kInputBytes, 12345);
    static const Bytes gradient = testsupport::ditheredPlanes(kInputBytes / 4);
    return which == kPlanes ? planes : which == kText ? text : which == kRandom ? random : gradient;
}

const char* corpusName(int which) {
    return which == kPlanes ? "planes" : which == kText ? "text" : which == kRandom ? "random" : "gradient";
}

void BM_LzsCompress(benchmark::State& state) {
    const int which = static_cast<int>(state.range(0));
    const auto budget = static_cast<std::uint32_t>(state.range(1));
    Bytes input = corpus(which);
    std::vector<std::uint8_t> output(input.size() * 9 / 8 + 64);
    std::vector<std::uint8_t> history(LZS_SizeOfCompressionHistory());
    std::uint32_t compressedSize = 0;
    for (auto _ : state) {
        LZS_InitCompressionHistory(history.data());
        std::uint8_t* src = input.data();
        std::uint8_t* dst = output.data();
        std::uint32_t srcCount = static_cast<std::uint32_t>(input.size());
        std::uint32_t dstCount = static_cast<std::uint32_t>(output.size());
        const std::uint32_t result =
            LZS_Compress(&src, &dst, &srcCount, &dstCount, history.data(), LZS_FLAG_CLOSE_AT_END, budget);
        if (result != 5u) state.SkipWithError("compression did not end the stream");
        compressedSize = static_cast<std::uint32_t>(output.size()) - dstCount;
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(input.size()));
    state.counters["ratio"] = static_cast<double>(input.size()) / static_cast<double>(compressedSize);
    state.SetLabel(corpusName(which));
}
BENCHMARK(BM_LzsCompress)
    ->ArgsProduct({{kPlanes, kText, kRandom, kGradient}, {0, 8, 255}})
    ->ArgNames({"corpus", "budget"});

void BM_LzsCompressMemcpy(benchmark::State& state) {
    const int which = static_cast<int>(state.range(0));
    const Bytes& input = corpus(which);
    std::vector<std::uint8_t> output(input.size());
    for (auto _ : state) {
        std::memcpy(output.data(), input.data(), input.size());
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(input.size()));
    state.SetLabel(corpusName(which));
}
BENCHMARK(BM_LzsCompressMemcpy)->Arg(kPlanes)->Arg(kText)->Arg(kRandom)->Arg(kGradient)->ArgName("corpus");

}  // namespace

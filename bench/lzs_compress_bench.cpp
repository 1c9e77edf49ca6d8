// LZS compression speed: input bytes per second at budgets 0, 8 and 255 on
// a dithered page's 1-bit planes, on text and on random bytes, with the
// compression ratio, and memcpy of the same bytes as the ceiling. Then the
// files of the fixed benchmark corpus, by the exact compressor (budget 8)
// and by the optimal-parse encoder side by side.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "huecl32.h"
#include "lzs/lzs_optimal.h"
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

// ---- The fixed corpus -------------------------------------------------------
//
// Read from HUECL_BENCH_CORPUS (set at configure time) or the environment
// variable HUECL_CORPUS; a missing file skips its benchmark. Both report
// input bytes per second, `ratio` as compressed / original (as in the
// decompression tables) and `compressed` in bytes.

const Bytes& corpusFile(const std::string& name) {
    static std::map<std::string, Bytes> files;
    auto found = files.find(name);
    if (found == files.end()) {
        const char* folder = std::getenv("HUECL_CORPUS");
        std::ifstream file((folder ? std::string(folder) : std::string(HUECL_BENCH_CORPUS)) + "/" + name,
                           std::ios::binary);
        found =
            files.emplace(name, Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>())).first;
    }
    return found->second;
}

void reportCorpusRun(benchmark::State& state, std::size_t inputSize, std::size_t compressedSize) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(inputSize));
    state.counters["ratio"] = static_cast<double>(compressedSize) / static_cast<double>(inputSize);
    state.counters["compressed"] = static_cast<double>(compressedSize);
}

// LZS_Compress in one call, flag 1, budget 8 (the page library's default).
void compressCorpusExact(benchmark::State& state, const char* name) {
    Bytes input = corpusFile(name);
    if (input.empty()) {
        state.SkipWithError("corpus file missing: set HUECL_CORPUS");
        return;
    }
    input.push_back(0);  // the compressor may peek at the byte behind the source
    const std::uint32_t inputSize = static_cast<std::uint32_t>(input.size() - 1);
    Bytes output(input.size() * 9 / 8 + 64);
    Bytes history(LZS_SizeOfCompressionHistory());
    std::size_t compressedSize = 0;
    for (auto _ : state) {
        LZS_InitCompressionHistory(history.data());
        std::uint8_t* src = input.data();
        std::uint8_t* dst = output.data();
        std::uint32_t srcCount = inputSize;
        std::uint32_t dstCount = static_cast<std::uint32_t>(output.size());
        if (LZS_Compress(&src, &dst, &srcCount, &dstCount, history.data(), LZS_FLAG_CLOSE_AT_END, 8) != 5u) {
            state.SkipWithError("compression did not end the stream");
        }
        compressedSize = output.size() - dstCount;
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    reportCorpusRun(state, inputSize, compressedSize);
}

void compressCorpusOptimal(benchmark::State& state, const char* name) {
    const Bytes& input = corpusFile(name);
    if (input.empty()) {
        state.SkipWithError("corpus file missing: set HUECL_CORPUS");
        return;
    }
    const auto work = std::make_unique<huecl::lzs::OptimalWorkspace>();
    Bytes output(huecl::lzs::optimalBound(input.size()));
    std::size_t compressedSize = 0;
    for (auto _ : state) {
        compressedSize = huecl::lzs::compressOptimal(input, output, *work);
        if (compressedSize == 0) state.SkipWithError("no room for the stream");
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    reportCorpusRun(state, input.size(), compressedSize);
}

BENCHMARK_CAPTURE(compressCorpusExact, text, "text")->Name("BM_LzsCompressExact/text");
BENCHMARK_CAPTURE(compressCorpusOptimal, text, "text")->Name("BM_LzsCompressOptimal/text");
BENCHMARK_CAPTURE(compressCorpusExact, elf, "elf")->Name("BM_LzsCompressExact/elf");
BENCHMARK_CAPTURE(compressCorpusOptimal, elf, "elf")->Name("BM_LzsCompressOptimal/elf");
BENCHMARK_CAPTURE(compressCorpusExact, raster_1bit, "raster_1bit")->Name("BM_LzsCompressExact/raster_1bit");
BENCHMARK_CAPTURE(compressCorpusOptimal, raster_1bit, "raster_1bit")->Name("BM_LzsCompressOptimal/raster_1bit");
BENCHMARK_CAPTURE(compressCorpusExact, raster_2bit, "raster_2bit")->Name("BM_LzsCompressExact/raster_2bit");
BENCHMARK_CAPTURE(compressCorpusOptimal, raster_2bit, "raster_2bit")->Name("BM_LzsCompressOptimal/raster_2bit");
BENCHMARK_CAPTURE(compressCorpusExact, random, "random")->Name("BM_LzsCompressExact/random");
BENCHMARK_CAPTURE(compressCorpusOptimal, random, "random")->Name("BM_LzsCompressOptimal/random");
BENCHMARK_CAPTURE(compressCorpusExact, zeros, "zeros")->Name("BM_LzsCompressExact/zeros");
BENCHMARK_CAPTURE(compressCorpusOptimal, zeros, "zeros")->Name("BM_LzsCompressOptimal/zeros");

}  // namespace

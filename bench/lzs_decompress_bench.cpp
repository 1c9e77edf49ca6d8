// LZS decompression speed, in bytes of output per second, on the files of
// the fixed benchmark corpus, each compressed by LZS_Compress in one call
// (flag 1, budget 8) and decompressed by one LZS_Decompress call per
// iteration, beside memcpy of the same output bytes.
//
// The corpus folder is HUECL_BENCH_CORPUS (set at configure time) or the
// environment variable HUECL_CORPUS; a missing file skips its benchmark.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "huecl32.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string corpusFolder() {
    if (const char* folder = std::getenv("HUECL_CORPUS")) return folder;
    return HUECL_BENCH_CORPUS;
}

Bytes readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

Bytes compressWhole(const Bytes& input, std::uint32_t budget) {
    Bytes history(LZS_SizeOfCompressionHistory());
    LZS_InitCompressionHistory(history.data());
    Bytes source = input;
    source.push_back(0);  // the compressor may peek at the byte behind the source
    Bytes output(input.size() + input.size() / 4 + 64);
    std::uint8_t* src = source.data();
    std::uint8_t* dst = output.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(input.size());
    std::uint32_t dstCount = static_cast<std::uint32_t>(output.size());
    LZS_Compress(&src, &dst, &srcCount, &dstCount, history.data(), LZS_FLAG_CLOSE_AT_END, budget);
    output.resize(static_cast<std::size_t>(dst - output.data()));
    return output;
}

struct Sample {
    Bytes plain;
    Bytes stream;
};

// The named corpus file and its stream at budget 8, made once.
const Sample& sample(const std::string& name) {
    static std::map<std::string, Sample> samples;
    auto found = samples.find(name);
    if (found == samples.end()) {
        Sample made;
        made.plain = readFile(corpusFolder() + "/" + name);
        if (!made.plain.empty()) made.stream = compressWhole(made.plain, 8);
        found = samples.emplace(name, std::move(made)).first;
    }
    return found->second;
}

void decompressWhole(benchmark::State& state, const char* name) {
    const Sample& input = sample(name);
    if (input.plain.empty()) {
        state.SkipWithError("corpus file missing: set HUECL_CORPUS");
        return;
    }
    Bytes history(LZS_SizeOfDecompressionHistory());
    Bytes stream = input.stream;
    Bytes output(input.plain.size());
    for (auto _ : state) {
        LZS_InitDecompressionHistory(history.data());
        std::uint8_t* src = stream.data();
        std::uint8_t* dst = output.data();
        std::uint32_t srcCount = static_cast<std::uint32_t>(stream.size());
        std::uint32_t dstCount = static_cast<std::uint32_t>(output.size());
        const std::uint32_t result = LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.data(), 0);
        benchmark::DoNotOptimize(result);
        benchmark::ClobberMemory();
    }
    if (output != input.plain) state.SkipWithError("round trip failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.plain.size()));
    state.counters["ratio"] = static_cast<double>(input.stream.size()) / static_cast<double>(input.plain.size());
}

// As a host that inflates one 620-byte row of a 1-bit plane per call.
void decompressRows(benchmark::State& state, const char* name) {
    const Sample& input = sample(name);
    if (input.plain.empty()) {
        state.SkipWithError("corpus file missing: set HUECL_CORPUS");
        return;
    }
    constexpr std::uint32_t kRow = 620;
    Bytes history(LZS_SizeOfDecompressionHistory());
    Bytes stream = input.stream;
    Bytes output(input.plain.size());
    for (auto _ : state) {
        LZS_InitDecompressionHistory(history.data());
        std::uint8_t* src = stream.data();
        std::uint8_t* dst = output.data();
        std::uint32_t srcCount = static_cast<std::uint32_t>(stream.size());
        std::uint32_t dstCount = kRow;
        std::uint32_t result = 0;
        while ((result & LZS_RESULT_STREAM_END) == 0) {
            result = LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.data(), 0);
            if (result == 0) break;
            if (dstCount == 0) {
                dstCount = static_cast<std::uint32_t>(
                    std::min<std::size_t>(kRow, static_cast<std::size_t>(output.data() + output.size() - dst)));
            }
        }
        benchmark::ClobberMemory();
    }
    if (output != input.plain) state.SkipWithError("round trip failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.plain.size()));
}

void copyWithMemcpy(benchmark::State& state, const char* name) {
    const Sample& input = sample(name);
    if (input.plain.empty()) {
        state.SkipWithError("corpus file missing: set HUECL_CORPUS");
        return;
    }
    Bytes output(input.plain.size());
    for (auto _ : state) {
        std::memcpy(output.data(), input.plain.data(), input.plain.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.plain.size()));
}

BENCHMARK_CAPTURE(decompressWhole, text, "text")->Name("BM_LzsDecompress/text");
BENCHMARK_CAPTURE(decompressWhole, elf, "elf")->Name("BM_LzsDecompress/elf");
BENCHMARK_CAPTURE(decompressWhole, random, "random")->Name("BM_LzsDecompress/random");
BENCHMARK_CAPTURE(decompressWhole, raster_1bit, "raster_1bit")->Name("BM_LzsDecompress/raster_1bit");
BENCHMARK_CAPTURE(decompressWhole, raster_2bit, "raster_2bit")->Name("BM_LzsDecompress/raster_2bit");
BENCHMARK_CAPTURE(decompressRows, raster_1bit, "raster_1bit")->Name("BM_LzsDecompressByRow/raster_1bit");
BENCHMARK_CAPTURE(copyWithMemcpy, text, "text")->Name("BM_LzsDecompressMemcpy/text");
BENCHMARK_CAPTURE(copyWithMemcpy, elf, "elf")->Name("BM_LzsDecompressMemcpy/elf");
BENCHMARK_CAPTURE(copyWithMemcpy, random, "random")->Name("BM_LzsDecompressMemcpy/random");
BENCHMARK_CAPTURE(copyWithMemcpy, raster_1bit, "raster_1bit")->Name("BM_LzsDecompressMemcpy/raster_1bit");

}  // namespace

// LZS decompression speed, in bytes of output per second, on three kinds of
// input compressed by LZS_Compress: halftoned raster planes, English text
// and an executable. Each is timed beside memcpy of the same output bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "huecl32.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Four 1-bit planes of a page band, 600 rows of 640 bytes: blank paper,
// flat tints from ordered screens, and busy photo areas.
Bytes rasterPlanes() {
    std::mt19937 random(7);
    Bytes planes;
    for (int plane = 0; plane < 4; ++plane) {
        for (int row = 0; row < 600; ++row) {
            for (int column = 0; column < 640; ++column) {
                const int region = (column / 128 + row / 150 + plane) % 5;
                std::uint8_t value = 0;
                if (region == 1) value = static_cast<std::uint8_t>(0x88 >> (row % 4));
                if (region == 2) value = (row & 1) ? 0xAA : 0x55;
                if (region == 3) value = static_cast<std::uint8_t>((random() % 3 == 0) ? random() : 0xEE);
                planes.push_back(value);
            }
        }
    }
    return planes;
}

Bytes readFile(const char* path, std::size_t limit) {
    std::ifstream file(path, std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() > limit) bytes.resize(limit);
    return bytes;
}

// A licence text that every Debian system carries, repeated to 1 MB.
Bytes text() {
    Bytes sample = readFile("/usr/share/common-licenses/GPL-3", 1 << 20);
    if (sample.empty()) {
        const std::string fallback = "The printer driver renders each page in bands and hands them to the library. ";
        sample.assign(fallback.begin(), fallback.end());
    }
    Bytes bytes;
    while (bytes.size() < (1u << 20)) bytes.insert(bytes.end(), sample.begin(), sample.end());
    bytes.resize(1 << 20);
    return bytes;
}

// An executable: machine code, tables and strings. The first megabyte of
// cmake, which every build machine has; else this program itself.
Bytes binary() {
    Bytes bytes = readFile("/usr/bin/cmake", 1 << 20);
    return bytes.empty() ? readFile("/proc/self/exe", 1 << 20) : bytes;
}

Bytes compress(const Bytes& input) {
    Bytes history(LZS_SizeOfCompressionHistory());
    LZS_InitCompressionHistory(history.data());
    Bytes source = input;
    source.push_back(0);
    Bytes output(input.size() + input.size() / 4 + 64);
    std::uint8_t* src = source.data();
    std::uint8_t* dst = output.data();
    std::uint32_t srcCount = static_cast<std::uint32_t>(input.size());
    std::uint32_t dstCount = static_cast<std::uint32_t>(output.size());
    LZS_Compress(&src, &dst, &srcCount, &dstCount, history.data(), LZS_FLAG_CLOSE_AT_END, 8);
    output.resize(static_cast<std::size_t>(dst - output.data()));
    return output;
}

struct Corpus {
    Bytes plain;
    Bytes stream;
};

const Corpus& corpus(int kind) {
    static const Corpus corpora[] = {{rasterPlanes(), {}}, {text(), {}}, {binary(), {}}};
    static bool compressed = false;
    if (!compressed) {
        for (Corpus& entry : const_cast<Corpus(&)[3]>(corpora)) entry.stream = compress(entry.plain);
        compressed = true;
    }
    return corpora[kind];
}

void decompressWhole(benchmark::State& state, int kind) {
    const Corpus& input = corpus(kind);
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

// Row by row, as a host that inflates one 640-byte plane row per call.
void decompressRows(benchmark::State& state, int kind) {
    const Corpus& input = corpus(kind);
    Bytes history(LZS_SizeOfDecompressionHistory());
    Bytes stream = input.stream;
    Bytes output(input.plain.size());
    for (auto _ : state) {
        LZS_InitDecompressionHistory(history.data());
        std::uint8_t* src = stream.data();
        std::uint8_t* dst = output.data();
        std::uint32_t srcCount = static_cast<std::uint32_t>(stream.size());
        std::uint32_t dstCount = 640;
        std::uint32_t result = 0;
        while (!(result & LZS_RESULT_STREAM_END)) {
            result = LZS_Decompress(&src, &dst, &srcCount, &dstCount, history.data(), 0);
            if (result == 0) break;
            if (dstCount == 0) dstCount = static_cast<std::uint32_t>(std::min<std::size_t>(640, output.data() + output.size() - dst));
        }
        benchmark::ClobberMemory();
    }
    if (output != input.plain) state.SkipWithError("round trip failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.plain.size()));
}

void copyWithMemcpy(benchmark::State& state, int kind) {
    const Corpus& input = corpus(kind);
    Bytes output(input.plain.size());
    for (auto _ : state) {
        std::memcpy(output.data(), input.plain.data(), input.plain.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.plain.size()));
}

void BM_LzsDecompressRasterPlanes(benchmark::State& state) { decompressWhole(state, 0); }
void BM_LzsDecompressText(benchmark::State& state) { decompressWhole(state, 1); }
void BM_LzsDecompressBinary(benchmark::State& state) { decompressWhole(state, 2); }
void BM_LzsDecompressRasterPlanesByRow(benchmark::State& state) { decompressRows(state, 0); }
void BM_LzsDecompressMemcpyRasterPlanes(benchmark::State& state) { copyWithMemcpy(state, 0); }
void BM_LzsDecompressMemcpyText(benchmark::State& state) { copyWithMemcpy(state, 1); }
void BM_LzsDecompressMemcpyBinary(benchmark::State& state) { copyWithMemcpy(state, 2); }

BENCHMARK(BM_LzsDecompressRasterPlanes);
BENCHMARK(BM_LzsDecompressText);
BENCHMARK(BM_LzsDecompressBinary);
BENCHMARK(BM_LzsDecompressRasterPlanesByRow);
BENCHMARK(BM_LzsDecompressMemcpyRasterPlanes);
BENCHMARK(BM_LzsDecompressMemcpyText);
BENCHMARK(BM_LzsDecompressMemcpyBinary);

}  // namespace

// Screen set-up through the export: worked rows, sizes of every
// configuration, structural facts of the screens and pinned contents.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#if defined(_GLIBCXX_HAS_GTHREADS)
#  include <thread>
#endif

#include "huecl32.h"
#include "support/crc32.h"

namespace {

constexpr std::size_t kBufferBytes = HUECL_MAX_THRESHOLD_MATRIX_BYTES;
constexpr std::uint8_t kUntouched = 255;  // never a threshold

struct Screens {
    QvrDizInf info{};
    std::array<std::vector<std::uint8_t>, 4> matrices;

    Screens(std::uint32_t blackOnly, std::uint32_t mode, std::uint32_t screenKind) {
        for (auto& matrix : matrices) matrix.assign(kBufferBytes, kUntouched);
        info.blackOnly = blackOnly;
        info.dizMode = mode;
        info.reserved = 0xDEADBEEF;
        info.screenKind = screenKind;
        info.sizeC = info.sizeM = info.sizeY = info.sizeK = 0xFFFFFFFF;
        info.matrixC = matrices[0].data();
        info.matrixM = matrices[1].data();
        info.matrixY = matrices[2].data();
        info.matrixK = matrices[3].data();
        QvrColDizInfSet(&info);
    }
    std::uint32_t size(int plane) const {
        const std::uint32_t sizes[4] = {info.sizeC, info.sizeM, info.sizeY, info.sizeK};
        return sizes[plane];
    }
    std::uint32_t levels() const { return info.dizMode == 1 ? 15 : info.dizMode == 3 ? 3 : 1; }
    std::size_t bytes(int plane) const { return std::size_t{size(plane)} * size(plane) * levels(); }
    const std::uint8_t* cell(int plane, std::uint32_t row, std::uint32_t column) const {
        return matrices[plane].data() + (std::size_t{row} * size(plane) + column) * levels();
    }
    std::vector<std::uint8_t> built(int plane) const {
        return std::vector<std::uint8_t>(matrices[plane].begin(), matrices[plane].begin() + bytes(plane));
    }
};

constexpr int kC = 0, kM = 1, kY = 2, kK = 3;

std::vector<int> firstRow(const Screens& screens, int plane, int count) {
    std::vector<int> row;
    for (int c = 0; c < count; ++c) row.push_back(screens.cell(plane, 0, c)[0]);
    return row;
}

TEST(DitherSetupWorkedExamples, Mode0BlackOnlyKind3) {
    const Screens screens(1, 0, 3);
    EXPECT_EQ(screens.info.sizeK, 32u);
    EXPECT_EQ(firstRow(screens, kK, 8), (std::vector<int>{27, 51, 155, 235, 231, 171, 67, 19}));
}

TEST(DitherSetupWorkedExamples, Mode0BlackOnlyKind1) {
    const Screens screens(1, 0, 1);
    EXPECT_EQ(firstRow(screens, kK, 8), (std::vector<int>{0, 158, 38, 204, 10, 171, 47, 216}));
}

TEST(DitherSetupWorkedExamples, Mode1BlackOnlyKind3) {
    const Screens screens(1, 1, 3);
    EXPECT_EQ(screens.info.sizeK, 8u);
    const std::uint8_t* cell = screens.cell(kK, 0, 0);
    EXPECT_EQ(std::vector<int>(cell, cell + 15),
              (std::vector<int>{24, 24, 25, 25, 26, 26, 27, 27, 28, 28, 29, 30, 30, 31, 31}));
}

TEST(DitherSetupWorkedExamples, Mode3BlackOnlyKind3) {
    const Screens screens(1, 3, 3);
    EXPECT_EQ(screens.info.sizeK, 16u);
    const std::uint8_t* row = screens.cell(kK, 0, 0);
    EXPECT_EQ(std::vector<int>(row, row + 12),
              (std::vector<int>{239, 240, 242, 227, 228, 230, 195, 196, 198, 135, 136, 138}));
}

TEST(DitherSetupWorkedExamples, Mode0FourPlaneTileScreen) {
    const Screens screens(0, 0, 3);
    EXPECT_EQ(screens.info.sizeC, 17u);
    EXPECT_EQ(screens.info.sizeM, 17u);
    const std::vector<int> magenta = {253, 249, 115, 180, 232, 126, 51, 36, 96, 68, 23, 7, 162, 193, 140, 79, 209};
    EXPECT_EQ(firstRow(screens, kM, 17), magenta);
    EXPECT_EQ(firstRow(screens, kC, 17), std::vector<int>(magenta.rbegin(), magenta.rend()));
}

// The top rank comes out one below the largest threshold: the stretch sends
// level 255 to 254 and the rescaled rank rounds the level down once more.
TEST(DitherSetupWorkedExamples, TopRankIs253AndLargestThresholdIs254) {
    const Screens screens(1, 0, 3);
    // Seed8N holds 63 at (4, 7); Bayer4 holds 15 at (3, 0): rank 1023 at (28, 7).
    EXPECT_EQ(screens.cell(kK, 28, 7)[0], 253);
    const std::vector<std::uint8_t> matrix = screens.built(kK);
    EXPECT_EQ(*std::max_element(matrix.begin(), matrix.end()), 254);
}

struct Configuration {
    std::uint32_t blackOnly, mode, screenKind;
    std::array<std::uint32_t, 4> sizes;  // 0: not built
};

const std::vector<Configuration>& allConfigurations() {
    static const std::vector<Configuration> rows = {
        {1, 0, 1, {0, 0, 0, 32}},    {1, 0, 3, {0, 0, 0, 32}},    {1, 0, 2, {0, 0, 0, 32}},
        {0, 0, 0, {32, 32, 32, 32}}, {0, 0, 1, {17, 17, 32, 32}}, {0, 0, 3, {17, 17, 32, 24}},
        {0, 0, 2, {17, 17, 32, 32}}, {1, 1, 1, {0, 0, 0, 8}},     {1, 1, 3, {0, 0, 0, 8}},
        {1, 1, 2, {0, 0, 0, 8}},     {0, 1, 0, {8, 8, 8, 8}},     {0, 1, 1, {8, 8, 8, 8}},
        {0, 1, 3, {10, 10, 12, 8}},  {0, 1, 2, {5, 5, 8, 8}},     {1, 2, 1, {0, 0, 0, 32}},
        {1, 2, 3, {0, 0, 0, 32}},    {1, 2, 2, {0, 0, 0, 32}},    {0, 2, 0, {32, 32, 32, 32}},
        {0, 2, 1, {20, 20, 24, 32}}, {0, 2, 3, {34, 34, 32, 20}}, {0, 2, 2, {20, 20, 24, 32}},
        {1, 3, 1, {0, 0, 0, 16}},    {1, 3, 3, {0, 0, 0, 16}},    {1, 3, 2, {0, 0, 0, 16}},
        {0, 3, 0, {16, 16, 16, 16}}, {0, 3, 1, {10, 10, 12, 16}}, {0, 3, 3, {34, 34, 16, 10}},
        {0, 3, 2, {10, 10, 12, 16}},
    };
    return rows;
}

TEST(DitherSetupStructure, EveryConfigurationFillsExactlyItsMatrices) {
    ASSERT_EQ(allConfigurations().size(), 28u);
    for (const Configuration& config : allConfigurations()) {
        SCOPED_TRACE("blackOnly " + std::to_string(config.blackOnly) + " mode " + std::to_string(config.mode) +
                     " kind " + std::to_string(config.screenKind));
        const Screens screens(config.blackOnly, config.mode, config.screenKind);
        for (int plane = 0; plane < 4; ++plane) {
            if (config.sizes[plane] == 0) {
                EXPECT_EQ(screens.size(plane), 0xFFFFFFFFu) << plane;
                for (std::uint8_t byte : screens.matrices[plane]) ASSERT_EQ(byte, kUntouched) << plane;
                continue;
            }
            ASSERT_EQ(screens.size(plane), config.sizes[plane]) << plane;
            const std::size_t bytes = screens.bytes(plane);
            ASSERT_LE(bytes, kBufferBytes);
            // Every dot written (nothing left at 255, which is never a
            // threshold), nothing written past the matrix.
            for (std::size_t i = 0; i < bytes; ++i) ASSERT_LT(screens.matrices[plane][i], 255) << plane << " " << i;
            for (std::size_t i = bytes; i < kBufferBytes; ++i) ASSERT_EQ(screens.matrices[plane][i], kUntouched);
            EXPECT_EQ(*std::max_element(screens.matrices[plane].begin(), screens.matrices[plane].begin() + bytes), 254);
            EXPECT_EQ(*std::min_element(screens.matrices[plane].begin(), screens.matrices[plane].begin() + bytes), 0);
        }
    }
}

TEST(DitherSetupStructure, LargestMatrixFillsTheDeclaredBound) {
    const Screens screens(0, 3, 3);
    EXPECT_EQ(screens.bytes(kC), std::size_t{HUECL_MAX_THRESHOLD_MATRIX_BYTES});
}

TEST(DitherSetupStructure, ModesAboveThreeBuildModeTwo) {
    for (std::uint32_t blackOnly : {0u, 1u}) {
        for (std::uint32_t kind : {0u, 1u, 2u, 3u, 7u}) {
            const Screens reference(blackOnly, 2, kind);
            for (std::uint32_t mode : {4u, 5u, 0x80000000u, 0xFFFFFFFFu}) {
                const Screens other(blackOnly, mode, kind);
                for (int plane = 0; plane < 4; ++plane) {
                    EXPECT_EQ(other.size(plane), reference.size(plane));
                    EXPECT_EQ(other.matrices[plane], reference.matrices[plane]) << mode << " " << kind;
                }
            }
        }
    }
}

TEST(DitherSetupStructure, BlackOnlyKindZeroIsKindOther) {
    for (std::uint32_t mode : {0u, 1u, 2u, 3u}) {
        const Screens zero(1, mode, 0), two(1, mode, 2), large(1, mode, 0xFFFFFFFF);
        EXPECT_EQ(zero.info.sizeK, two.info.sizeK);
        EXPECT_EQ(zero.matrices[kK], two.matrices[kK]) << mode;
        EXPECT_EQ(large.matrices[kK], two.matrices[kK]) << mode;
    }
}

// Only a blackOnly of exactly 1 selects the black-only screens.
TEST(DitherSetupStructure, BlackOnlyOtherThanOneBuildsFourPlanes) {
    const Screens four(0, 0, 1), two(2, 0, 1);
    for (int plane = 0; plane < 4; ++plane) EXPECT_EQ(two.matrices[plane], four.matrices[plane]);
}

TEST(DitherSetupStructure, TileScreensAreMirrorImages) {
    const std::pair<std::uint32_t, std::uint32_t> tileConfigurations[] = {{0, 1}, {0, 2}, {0, 3}, {2, 3}, {3, 3}};
    for (const auto& [mode, kind] : tileConfigurations) {
        {
            const Screens screens(0, mode, kind);
            const std::uint32_t size = screens.info.sizeM;
            for (std::uint32_t r = 0; r < size; ++r)
                for (std::uint32_t c = 0; c < size; ++c)
                    for (std::uint32_t k = 0; k < screens.levels(); ++k)
                        ASSERT_EQ(screens.cell(kM, r, c)[k], screens.cell(kC, r, size - 1 - c)[k]);
        }
    }
}

TEST(DitherSetupStructure, LowClipSendsTheLowestRanksToZero) {
    // Mode 1 black-only kind 1 clips 24 low levels; kind 3 clips none.
    const auto zeros = [](const Screens& screens) {
        const auto first = screens.matrices[kK].begin();
        return std::count(first, first + static_cast<std::ptrdiff_t>(screens.bytes(kK)), 0);
    };
    EXPECT_GT(zeros(Screens(1, 1, 1)), 40);
    EXPECT_LT(zeros(Screens(1, 1, 3)), 10);
}

TEST(DitherSetupStructure, SecondCallOverwritesCompletely) {
    Screens screens(0, 1, 3);
    screens.info.dizMode = 0;
    screens.info.screenKind = 0;
    QvrColDizInfSet(&screens.info);
    const Screens fresh(0, 0, 0);
    for (int plane = 0; plane < 4; ++plane) {
        EXPECT_EQ(screens.size(plane), fresh.size(plane));
        EXPECT_EQ(screens.built(plane), fresh.built(plane));
    }
}

#if defined(_GLIBCXX_HAS_GTHREADS)
// Each build keeps its stretch table to itself, so set-up calls may run at
// once on separate records and still build exactly what one call builds.
TEST(DitherSetupStructure, ConcurrentCallsBuildTheSameMatrices) {
    const std::pair<std::uint32_t, std::uint32_t> modesAndKinds[] = {{0, 0}, {1, 0}, {3, 3}, {2, 1}};
    std::vector<std::unique_ptr<Screens>> results(8);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < results.size(); ++t) {
        threads.emplace_back([&results, &modesAndKinds, t] {
            const auto [mode, kind] = modesAndKinds[t % 4];
            for (int repeat = 0; repeat < 50; ++repeat) results[t] = std::make_unique<Screens>(0, mode, kind);
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (std::size_t t = 0; t < results.size(); ++t) {
        const auto [mode, kind] = modesAndKinds[t % 4];
        const Screens alone(0, mode, kind);
        for (int plane = 0; plane < 4; ++plane) EXPECT_EQ(results[t]->matrices[plane], alone.matrices[plane]) << t;
    }
}
#endif

using testsupport::crc32;

// Every matrix of every configuration pinned by checksum, so that any
// change in the screens shows up as a diff of tests/data/dither.
TEST(DitherSetupGolden, ChecksumsOfEveryMatrix) {
    std::ostringstream actual;
    for (const Configuration& config : allConfigurations()) {
        const Screens screens(config.blackOnly, config.mode, config.screenKind);
        actual << config.blackOnly << ' ' << config.mode << ' ' << config.screenKind;
        for (int plane = 0; plane < 4; ++plane) {
            char text[16];
            std::snprintf(text, sizeof text, " %08x", config.sizes[plane] ? crc32(screens.built(plane)) : 0u);
            actual << text;
        }
        actual << '\n';
    }
    std::ifstream file(HUECL_TEST_DATA "/dither/matrix_checksums.txt");
    ASSERT_TRUE(file) << "missing golden file; regenerated contents:\n" << actual.str();
    std::ostringstream expected;
    expected << file.rdbuf();
    EXPECT_EQ(actual.str(), expected.str());
}

}  // namespace

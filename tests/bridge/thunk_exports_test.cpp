// Thunks that reach the real exports of the shipped library through their
// forwarders: what a 16-bit caller gets back must be what a 32-bit caller
// gets from the same call.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "bridge/export_forwarders.h"
#include "bridge/thunk_dispatch.h"
#include "bridge/thunk_table.h"
#include "bridge/thunk_test_services.h"
#include "huecl32.h"

namespace {

using namespace huecl::bridge;
using namespace huecl::bridge::testing;

// One argument as the 16-bit caller pushes it: a 16:16 pointer or a dword
// ('P', 'D': 4 bytes), or a 2-byte slot ('B').
struct Pushed {
    char kind;
    std::uint32_t value;
};

struct Call16 {
    ThunkOutcome outcome;
    std::uint32_t result() const { return std::uint32_t{outcome.resultHigh} << 16 | outcome.resultLow; }
};

Call16 callThunk(std::size_t index, ExportForwarder forwarder, const SelectorTable& selectors,
                 const std::vector<Pushed>& firstToLast) {
    SixteenBitStack stack;
    for (const Pushed& argument : firstToLast) {
        if (argument.kind == 'B')
            stack.pushWord(static_cast<std::uint16_t>(argument.value));
        else
            stack.pushDword(argument.value);
    }
    RecordingThunkServices services(selectors);
    const ThunkOutcome outcome = runThunk(thunkTable[index], forwarder, stack.frame(), services);
    EXPECT_EQ(outcome.frameBytes, stack.frameBytes());
    return {outcome};
}

std::uint32_t farPointer(std::uint16_t selector, std::size_t offset = 0) {
    return SelectorTable::farPointer(selector, static_cast<std::uint16_t>(offset));
}

TEST(BridgeToLibrary, BothDensityThunksWriteTheTableOfADirectCall) {
    for (const std::int32_t density : {-100, -20, -1, 0, 1, 35, 100}) {
        SCOPED_TRACE(density);
        std::array<std::uint8_t, 256> direct{}, viaEarlierName{}, viaLaterName{};
        QvrColDnsMak(density, direct.data());
        SelectorTable selectors;
        const std::uint16_t earlier = selectors.add(viaEarlierName.data(), 255);
        const std::uint16_t later = selectors.add(viaLaterName.data(), 255);
        const auto setting = static_cast<std::uint32_t>(density);
        const Call16 first =
            callThunk(12, forwardTo<&QvTnrTblMak, 12>, selectors, {{'D', setting}, {'P', farPointer(earlier)}});
        const Call16 second =
            callThunk(17, forwardTo<&QvrColDnsMak, 17>, selectors, {{'D', setting}, {'P', farPointer(later)}});
        EXPECT_FALSE(first.outcome.hasResult);
        EXPECT_FALSE(second.outcome.hasResult);
        EXPECT_EQ(viaEarlierName, direct);
        EXPECT_EQ(viaLaterName, direct);
    }
}

// Compression and decompression through thunks 3 and 0, with the history
// sizes and set-up through thunks 5, 2, 4 and 1. The pointer variables that
// LZS_Compress and LZS_Decompress advance live in a segment of their own and
// hold flat addresses, as a 16-bit caller must store them.
TEST(BridgeToLibrary, LzsRoundTripThroughTheThunks) {
    std::vector<std::uint8_t> input(3000);
    for (std::size_t i = 0; i < input.size(); ++i)
        input[i] = static_cast<std::uint8_t>((i % 97) < 40 ? 'a' + i % 7 : (i * 2654435761u) >> 24);

    SelectorTable selectors;
    const Call16 compressionSize = callThunk(5, forwardTo<&LZS_SizeOfCompressionHistory, 5>, selectors, {});
    const Call16 decompressionSize = callThunk(2, forwardTo<&LZS_SizeOfDecompressionHistory, 2>, selectors, {});
    ASSERT_TRUE(compressionSize.outcome.hasResult);
    ASSERT_TRUE(decompressionSize.outcome.hasResult);
    EXPECT_EQ(compressionSize.result(), LZS_SizeOfCompressionHistory());
    EXPECT_EQ(decompressionSize.result(), LZS_SizeOfDecompressionHistory());

    std::vector<std::uint8_t> compressionHistory(compressionSize.result());
    std::vector<std::uint8_t> decompressionHistory(decompressionSize.result());
    std::vector<std::uint8_t> compressed(4000), output(input.size() + 16);
    struct Locals {
        std::uint8_t* source;
        std::uint8_t* destination;
        std::uint32_t sourceCount;
        std::uint32_t destinationCount;
    } locals{input.data(), compressed.data(), static_cast<std::uint32_t>(input.size()),
             static_cast<std::uint32_t>(compressed.size())};
    const std::uint16_t localsSelector = selectors.add(&locals, sizeof locals - 1);
    const std::uint16_t compressionHistorySelector =
        selectors.add(compressionHistory.data(), static_cast<std::uint32_t>(compressionHistory.size() - 1));
    const std::uint16_t decompressionHistorySelector =
        selectors.add(decompressionHistory.data(), static_cast<std::uint32_t>(decompressionHistory.size() - 1));
    const std::vector<Pushed> inOut = {{'P', farPointer(localsSelector, offsetof(Locals, source))},
                                       {'P', farPointer(localsSelector, offsetof(Locals, destination))},
                                       {'P', farPointer(localsSelector, offsetof(Locals, sourceCount))},
                                       {'P', farPointer(localsSelector, offsetof(Locals, destinationCount))}};

    const Call16 compressionInit = callThunk(4, forwardTo<&LZS_InitCompressionHistory, 4>, selectors,
                                             {{'P', farPointer(compressionHistorySelector)}});
    const Call16 decompressionInit = callThunk(1, forwardTo<&LZS_InitDecompressionHistory, 1>, selectors,
                                               {{'P', farPointer(decompressionHistorySelector)}});
    EXPECT_EQ(compressionInit.result(), 1u);
    EXPECT_EQ(decompressionInit.result(), 1u);

    std::vector<Pushed> compressArguments = inOut;
    compressArguments.insert(compressArguments.end(),
                             {{'P', farPointer(compressionHistorySelector)}, {'D', LZS_FLAG_CLOSE_AT_END}, {'D', 8}});
    const Call16 compression = callThunk(3, forwardTo<&LZS_Compress, 3>, selectors, compressArguments);
    ASSERT_TRUE(compression.outcome.hasResult);
    EXPECT_NE(compression.result() & LZS_RESULT_STREAM_END, 0u);
    const auto compressedBytes = static_cast<std::size_t>(locals.destination - compressed.data());
    ASSERT_GT(compressedBytes, 0u);
    ASSERT_LT(compressedBytes, input.size());

    // The same stream from a direct call.
    std::vector<std::uint8_t> directHistory(LZS_SizeOfCompressionHistory()), direct(4000);
    LZS_InitCompressionHistory(directHistory.data());
    std::uint8_t* directSource = input.data();
    std::uint8_t* directDestination = direct.data();
    std::uint32_t directSourceCount = static_cast<std::uint32_t>(input.size());
    std::uint32_t directDestinationCount = static_cast<std::uint32_t>(direct.size());
    EXPECT_EQ(LZS_Compress(&directSource, &directDestination, &directSourceCount, &directDestinationCount,
                           directHistory.data(), LZS_FLAG_CLOSE_AT_END, 8),
              compression.result());
    EXPECT_EQ(std::vector<std::uint8_t>(direct.data(), directDestination),
              std::vector<std::uint8_t>(compressed.begin(), compressed.begin() + compressedBytes));

    locals = {compressed.data(), output.data(), static_cast<std::uint32_t>(compressedBytes),
              static_cast<std::uint32_t>(output.size())};
    // The flags travel in a 2-byte slot; the high byte of the slot is not
    // part of them.
    std::vector<Pushed> decompressArguments = inOut;
    decompressArguments.insert(decompressArguments.end(),
                               {{'P', farPointer(decompressionHistorySelector)}, {'B', 0x7F00}});
    const Call16 decompression = callThunk(0, forwardTo<&LZS_Decompress, 0>, selectors, decompressArguments);
    ASSERT_TRUE(decompression.outcome.hasResult);
    EXPECT_NE(decompression.result() & LZS_RESULT_STREAM_END, 0u);
    ASSERT_EQ(static_cast<std::size_t>(locals.destination - output.data()), input.size());
    EXPECT_EQ(std::vector<std::uint8_t>(output.begin(), output.begin() + input.size()), input);
}

// The row count goes back in both halves; counts above 65535 need the high one.
TEST(BridgeToLibrary, DrawInformationThunkReturnsTheRowCount) {
    struct Case {
        std::uint32_t dizMode;
        std::uint32_t devX, srcWidth, devRes, srcRes;
        std::uint32_t bufferSize;
    };
    const Case cases[] = {
        {0, 101, 10, 600, 300, 1000},
        {3, 101, 10, 600, 300, 1000},
        {1, 0, 4, 300, 300, 0x7FFF'0000u},
        {0, 7, 2480, 600, 300, 5'000'000},
    };
    std::uint32_t largestRowCount = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "dizMode " << c.dizMode << ", buffer " << c.bufferSize);
        QvrDizInf ditherInfo{};
        ditherInfo.dizMode = c.dizMode;
        QvrDrwInf direct{};
        direct.srcWidth = c.srcWidth;
        direct.devX = c.devX;
        direct.devResX = direct.devResY = c.devRes;
        direct.srcResX = direct.srcResY = c.srcRes;
        QvrDrwInf viaThunk = direct;
        const std::uint32_t rows = QvrColDrwInfSet(&ditherInfo, &direct, c.bufferSize);

        SelectorTable selectors;
        const std::uint16_t ditherSelector = selectors.add(&ditherInfo, sizeof ditherInfo - 1);
        const std::uint16_t drawSelector = selectors.add(&viaThunk, sizeof viaThunk - 1);
        const Call16 call =
            callThunk(23, forwardTo<&QvrColDrwInfSet, 23>, selectors,
                      {{'P', farPointer(ditherSelector)}, {'P', farPointer(drawSelector)}, {'D', c.bufferSize}});
        ASSERT_TRUE(call.outcome.hasResult);
        EXPECT_EQ(call.result(), rows);
        EXPECT_EQ(viaThunk.srcX, direct.srcX);
        EXPECT_EQ(viaThunk.srcY, direct.srcY);
        EXPECT_EQ(viaThunk.devWidth, direct.devWidth);
        EXPECT_EQ(viaThunk.lineBytes, direct.lineBytes);
        largestRowCount = std::max(largestRowCount, rows);
    }
    EXPECT_GT(largestRowCount, 0xFFFFu) << "no case needed the high half";
}

}  // namespace

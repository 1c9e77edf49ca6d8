// The 25 thunks against a recording thunk service and recording exports:
// how each takes its arguments off a 16-bit frame, maps the pointers, calls
// its export between prolog and epilog, passes a result back and releases
// the mappings; and how the entry point connects the two halves.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/thunk_dispatch.h"
#include "bridge/thunk_table.h"
#include "bridge/thunk_test_services.h"

namespace {

using namespace huecl::bridge;
using namespace huecl::bridge::testing;

// The interface the 16-bit peer relies on, written out independently of
// thunkTable: P a 16:16 pointer, D a dword, B a byte in a 2-byte slot.
struct ThunkInterface {
    unsigned index;
    std::string_view exportName;
    std::string_view slots;  // first argument to last
    unsigned frameBytes;
};
constexpr std::array<ThunkInterface, 25> kInterface = {{
    {0, "LZS_Decompress", "PPPPPB", 22},
    {1, "LZS_InitDecompressionHistory", "P", 4},
    {2, "LZS_SizeOfDecompressionHistory", "", 0},
    {3, "LZS_Compress", "PPPPPDD", 28},
    {4, "LZS_InitCompressionHistory", "P", 4},
    {5, "LZS_SizeOfCompressionHistory", "", 0},
    {6, "QvColCtrCmy", "DPP", 12},
    {7, "QvColCtrRgb", "DPP", 12},
    {8, "QvColMchPrc", "PDPPP", 20},
    {9, "QvRgbGos", "PPP", 12},
    {10, "QvColGosPrc", "PPP", 12},
    {11, "QvColDizPrc", "PP", 8},
    {12, "QvTnrTblMak", "DP", 8},
    {13, "QvDizPtnPrn", "PDDP", 16},
    {14, "QvDizPtnMak", "P", 4},
    {15, "QvrColCtrCmy", "DPP", 12},
    {16, "QvrColCtrRgb", "DPP", 12},
    {17, "QvrColDnsMak", "DP", 8},
    {18, "QvrColCnvC2r", "DPPDP", 20},
    {19, "QvrColPtcPrc", "DDPPP", 20},
    {20, "QvrColMchPrc", "DPPP", 16},
    {21, "QvrColCchIni", "P", 4},
    {22, "QvrColDizPrc", "PP", 8},
    {23, "QvrColDrwInfSet", "PPD", 12},
    {24, "QvrColDizInfSet", "P", 4},
}};
// The exports whose result goes back to the 16-bit caller.
const std::set<unsigned> kThunksWithResult = {0, 1, 2, 3, 4, 5, 23};

// One thunk run: the frame a 16-bit caller pushed with distinct values in
// every slot, what the export should receive, and what happened.
struct ThunkRun {
    std::vector<FlatArgument> expectedArguments;
    std::vector<std::uint32_t> pushedPointers;  // 16:16, first argument to last
    std::size_t pushedBytes = 0;
    ThunkOutcome outcome{};
    std::vector<LoggedCall> log;
};

ThunkRun runWithDistinctArguments(const ThunkInterface& thunk) {
    static std::array<std::array<std::uint8_t, 256>, 8> memory;  // one segment per argument
    SelectorTable selectors;
    SixteenBitStack stack;
    ThunkRun run;
    for (std::size_t i = 0; i < thunk.slots.size(); ++i) {
        const auto position = static_cast<std::uint32_t>(i);
        switch (thunk.slots[i]) {
            case 'P': {
                const std::uint16_t selector = selectors.add(memory[i].data(), memory[i].size() - 1);
                const auto offset = static_cast<std::uint16_t>(0x11 * (position + 1));
                stack.pushFarPointer(selector, offset);
                run.pushedPointers.push_back(SelectorTable::farPointer(selector, offset));
                run.expectedArguments.push_back(reinterpret_cast<FlatArgument>(&memory[i][offset]));
                break;
            }
            case 'D': {
                const std::uint32_t value = 0x8765'4321u ^ (position * 0x0101'0101u);
                stack.pushDword(value);
                run.expectedArguments.push_back(value);
                break;
            }
            case 'B': {
                const auto low = static_cast<std::uint8_t>(0xE1 + position);
                stack.pushWord(static_cast<std::uint16_t>(0xA500u | low));
                run.expectedArguments.push_back(low);
                break;
            }
        }
    }
    run.pushedBytes = stack.frameBytes();
    RecordingThunkServices services(selectors);
    recordingTarget = &services;
    run.outcome = runThunk(thunkTable[thunk.index], recordingForwarders[thunk.index], stack.frame(), services);
    recordingTarget = nullptr;
    run.log = services.log;
    return run;
}

std::vector<LoggedCall> callsOf(const std::vector<LoggedCall>& log, Call call) {
    std::vector<LoggedCall> found;
    std::copy_if(log.begin(), log.end(), std::back_inserter(found),
                 [call](const LoggedCall& entry) { return entry.call == call; });
    return found;
}

TEST(ThunkTable, NamesTheExportOfEveryIndex) {
    std::set<std::string_view> names;
    for (const ThunkInterface& thunk : kInterface) {
        SCOPED_TRACE(thunk.index);
        EXPECT_EQ(thunkTable[thunk.index].exportName, thunk.exportName);
        names.insert(thunkTable[thunk.index].exportName);
    }
    EXPECT_EQ(names.size(), 25u) << "every export is reached by exactly one thunk";
}

// The table against the export list of HUECL32: every export listed there
// is reached by its thunk, at its ordinal, with as many 32-bit arguments.
TEST(ThunkTable, AgreesWithTheExportList) {
    struct Listed {
        unsigned ordinal;
        std::string_view name;
        unsigned argumentBytes;
    };
    const Listed listed[] = {
#define HUECL_EXPORT(ordinal, name, entry, convention, bytes) {ordinal, #name, bytes},
#include "frame/exports.inc"
#undef HUECL_EXPORT
    };
    for (const Listed& row : listed) {
        SCOPED_TRACE(std::string(row.name));
        const auto thunk = std::find_if(thunkTable.begin(), thunkTable.end(),
                                        [&](const ThunkDescription& t) { return t.exportName == row.name; });
        ASSERT_NE(thunk, thunkTable.end());
        EXPECT_EQ(thunk->exportOrdinal, row.ordinal);
        EXPECT_EQ(4u * thunk->argumentCount, row.argumentBytes);
    }
}

TEST(BridgeThunks, PassTheArgumentsInOrderAndConverted) {
    for (const ThunkInterface& thunk : kInterface) {
        SCOPED_TRACE(std::string(thunk.exportName));
        const ThunkRun run = runWithDistinctArguments(thunk);
        const std::vector<LoggedCall> exports = callsOf(run.log, Call::Export);
        ASSERT_EQ(exports.size(), 1u);
        EXPECT_EQ(exports[0].value, thunk.index);
        EXPECT_EQ(exports[0].arguments, run.expectedArguments);
    }
}

TEST(BridgeThunks, RemoveExactlyTheirFrameFromTheSixteenBitStack) {
    for (const ThunkInterface& thunk : kInterface) {
        SCOPED_TRACE(std::string(thunk.exportName));
        const ThunkRun run = runWithDistinctArguments(thunk);
        EXPECT_EQ(run.outcome.frameBytes, thunk.frameBytes);
        EXPECT_EQ(run.outcome.frameBytes, run.pushedBytes);
    }
}

TEST(BridgeThunks, MapPointersLastToFirstAndKeepThemInTheSaveArea) {
    for (const ThunkInterface& thunk : kInterface) {
        SCOPED_TRACE(std::string(thunk.exportName));
        const ThunkRun run = runWithDistinctArguments(thunk);
        const std::vector<std::uint32_t> mappingOrder(run.pushedPointers.rbegin(), run.pushedPointers.rend());

        std::vector<std::uint32_t> mapped;
        for (const LoggedCall& map : callsOf(run.log, Call::Map)) mapped.push_back(map.value);
        EXPECT_EQ(mapped, mappingOrder);

        const std::vector<LoggedCall> unmaps = callsOf(run.log, Call::UnMap);
        if (mappingOrder.empty()) {
            EXPECT_TRUE(unmaps.empty()) << "nothing was mapped, so nothing is released";
            continue;
        }
        ASSERT_EQ(unmaps.size(), 1u);
        EXPECT_EQ(unmaps[0].value, mappingOrder.size());
        std::vector<std::uint32_t> expectedSaveArea = mappingOrder;
        expectedSaveArea.resize(2 * mappingOrder.size(), 0u);  // the second slot of each stays zero
        EXPECT_EQ(unmaps[0].saveArea, expectedSaveArea);
    }
}

TEST(BridgeThunks, BracketTheExportCallWithPrologAndEpilog) {
    for (const ThunkInterface& thunk : kInterface) {
        SCOPED_TRACE(std::string(thunk.exportName));
        const ThunkRun run = runWithDistinctArguments(thunk);
        std::vector<Call> expected(run.pushedPointers.size(), Call::Map);
        expected.insert(expected.end(), {Call::Prolog, Call::Export, Call::Epilog});
        if (!run.pushedPointers.empty()) expected.push_back(Call::UnMap);
        std::vector<Call> calls;
        for (const LoggedCall& entry : run.log) calls.push_back(entry.call);
        EXPECT_EQ(calls, expected);
    }
}

TEST(BridgeThunks, HandBackAResultForExactlyTheSevenExportsWithOne) {
    for (const ThunkInterface& thunk : kInterface) {
        SCOPED_TRACE(std::string(thunk.exportName));
        const ThunkRun run = runWithDistinctArguments(thunk);
        const bool withResult = kThunksWithResult.count(thunk.index) != 0;
        EXPECT_EQ(run.outcome.hasResult, withResult);
        const std::vector<LoggedCall> exports = callsOf(run.log, Call::Export);
        ASSERT_EQ(exports.size(), 1u);
        const std::uint32_t returned = exports[0].returned;
        EXPECT_EQ(run.outcome.resultHigh, withResult ? returned >> 16 : 0u);
        EXPECT_EQ(run.outcome.resultLow, withResult ? returned & 0xFFFFu : 0u);
    }
}

TEST(BridgeThunks, ByteSlotPassesOnlyItsLowByte) {
    struct Case {
        std::uint16_t slot;
        FlatArgument flags;
    };
    for (const Case& c : {Case{0x0101, 1}, Case{0xFF00, 0}, Case{0x00FF, 0xFF}, Case{0x8004, 4}}) {
        SCOPED_TRACE(c.slot);
        std::array<std::uint8_t, 16> memory{};
        SelectorTable selectors;
        const std::uint16_t selector = selectors.add(memory.data(), memory.size() - 1);
        SixteenBitStack stack;
        for (std::uint16_t pointer = 0; pointer < 5; ++pointer) stack.pushFarPointer(selector, pointer);
        stack.pushWord(c.slot);
        RecordingThunkServices services(selectors);
        recordingTarget = &services;
        runThunk(thunkTable[0], recordingForwarders[0], stack.frame(), services);
        recordingTarget = nullptr;
        const std::vector<LoggedCall> exports = callsOf(services.log, Call::Export);
        ASSERT_EQ(exports.size(), 1u);
        EXPECT_EQ(exports[0].arguments.at(5), c.flags);
    }
}

// The thunks check nothing: a null or unknown 16:16 pointer goes to the
// mapping service as it is, and its answer goes to the export.
TEST(BridgeThunks, PassBadPointersToTheMappingServiceUnchecked) {
    for (const std::uint32_t pointer : {0x0000'0000u, 0x7777'0010u, 0x000F'FFFFu}) {
        SCOPED_TRACE(pointer);
        SelectorTable selectors;
        SixteenBitStack stack;
        stack.pushDword(pointer);
        RecordingThunkServices services(selectors);
        recordingTarget = &services;
        runThunk(thunkTable[21], recordingForwarders[21], stack.frame(), services);
        recordingTarget = nullptr;
        const std::vector<LoggedCall> maps = callsOf(services.log, Call::Map);
        ASSERT_EQ(maps.size(), 1u);
        EXPECT_EQ(maps[0].value, pointer);
        const std::vector<LoggedCall> exports = callsOf(services.log, Call::Export);
        ASSERT_EQ(exports.size(), 1u);
        EXPECT_EQ(exports[0].arguments.at(0), selectors.resolve(pointer));
    }
}

TEST(BridgeEntry, HandsEveryReasonToTheThunkServiceAndLoadsOnlyWhenConnected) {
    char thunkData[60] = {};
    char peerName[] = "thk_ThunkData16";
    int instance = 0;
    struct Answer {
        std::int32_t connect;
        std::int32_t entry;
    };
    for (const Answer answer : {Answer{1, 1}, Answer{0, 0}, Answer{-1, 1}, Answer{0x100, 1}}) {
        for (const std::uint32_t reason : {0u, 1u, 2u, 3u, 7u, 0xFFFF'FFFFu}) {
            SCOPED_TRACE(::testing::Message() << "reason " << reason << ", service answers " << answer.connect);
            SelectorTable selectors;
            RecordingThunkServices services(selectors, answer.connect);
            EXPECT_EQ(connectThunk(services, thunkData, peerName, &instance, reason), answer.entry);
            ASSERT_EQ(services.log.size(), 1u);
            const LoggedCall& connect = services.log[0];
            EXPECT_EQ(connect.call, Call::Connect);
            EXPECT_EQ(connect.thunkData, static_cast<void*>(thunkData));
            EXPECT_EQ(connect.peerDataName, peerName) << "the name behind the target table itself";
            EXPECT_EQ(connect.names, (std::vector<std::string>{"thk_ThunkData16", "HUEBR16.DLL", "HUEBR32.DLL"}));
            EXPECT_EQ(connect.instance, static_cast<void*>(&instance));
            EXPECT_EQ(connect.value, reason);
        }
    }
}

}  // namespace

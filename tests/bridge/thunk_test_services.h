// A thunk service for tests: 16:16 pointers resolve through a selector
// table onto ordinary memory, and every service call, and every export call
// made through the recording forwarders, is logged in order. A 16-bit
// argument frame is built the way a 16-bit caller pushes it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "bridge/thunk_dispatch.h"
#include "bridge/thunk_table.h"

namespace huecl::bridge::testing {

// Selectors as a protected-mode table hands them out: the index in the
// upper 13 bits, table indicator and privilege level 3 below.
class SelectorTable {
public:
    std::uint16_t add(void* base, std::uint32_t limit) {
        segments_.push_back({static_cast<std::uint8_t*>(base), limit});
        return static_cast<std::uint16_t>(segments_.size() << 3 | 7);
    }
    static std::uint32_t farPointer(std::uint16_t selector, std::uint16_t offset) {
        return std::uint32_t{selector} << 16 | offset;
    }
    // The flat address of a 16:16 pointer, or 0 for a selector or offset
    // outside the table, as a mapping service does for a bad pointer.
    FlatArgument resolve(std::uint32_t segmented) const {
        const std::size_t index = (segmented >> 16) >> 3;
        const std::uint32_t offset = segmented & 0xFFFFu;
        if (index == 0 || index > segments_.size()) return 0;
        const Segment& segment = segments_[index - 1];
        if (offset > segment.limit) return 0;
        return reinterpret_cast<FlatArgument>(segment.base + offset);
    }

private:
    struct Segment {
        std::uint8_t* base;
        std::uint32_t limit;
    };
    std::vector<Segment> segments_;
};

enum class Call { Connect, Map, UnMap, Prolog, Epilog, Export };

struct LoggedCall {
    static LoggedCall of(Call call, std::uint32_t value = 0) {
        LoggedCall entry;
        entry.call = call;
        entry.value = value;
        return entry;
    }
    Call call = Call::Connect;
    std::uint32_t value = 0;              // Map: the 16:16 pointer; UnMap: the count; Export: the thunk
    std::vector<std::uint32_t> saveArea;  // UnMap: the two slots per pointer
    std::vector<FlatArgument> arguments;  // Export: as the export received them
    std::uint32_t returned = 0;           // Map: the flat address (low bits); Export: the result
    std::vector<std::string> names;       // Connect: the three names
    void* thunkData = nullptr;            // Connect
    const char* peerDataName = nullptr;   // Connect
    void* instance = nullptr;             // Connect
};

class RecordingThunkServices {
public:
    explicit RecordingThunkServices(const SelectorTable& selectors, std::int32_t connectAnswer = 1)
        : selectors_(selectors), connectAnswer_(connectAnswer) {}

    std::int32_t thunkConnect(void* thunkData, const char* peerDataName, const char* peerLibrary,
                              const char* ownLibrary, void* instance, std::uint32_t reason) {
        LoggedCall entry = LoggedCall::of(Call::Connect, reason);
        entry.names = {peerDataName, peerLibrary, ownLibrary};
        entry.thunkData = thunkData;
        entry.peerDataName = peerDataName;
        entry.instance = instance;
        log.push_back(std::move(entry));
        return connectAnswer_;
    }
    FlatArgument mapSLFix(std::uint32_t segmented) {
        const FlatArgument flat = selectors_.resolve(segmented);
        LoggedCall entry = LoggedCall::of(Call::Map, segmented);
        entry.returned = static_cast<std::uint32_t>(flat);
        log.push_back(std::move(entry));
        return flat;
    }
    void unMapSLFixArray(std::uint32_t count, std::uint32_t* saveArea) {
        LoggedCall entry = LoggedCall::of(Call::UnMap, count);
        entry.saveArea.assign(saveArea, saveArea + 2 * count);
        log.push_back(std::move(entry));
    }
    void prolog() { log.push_back(LoggedCall::of(Call::Prolog)); }
    void epilog() { log.push_back(LoggedCall::of(Call::Epilog)); }

    std::vector<LoggedCall> log;

private:
    const SelectorTable& selectors_;
    std::int32_t connectAnswer_;
};
static_assert(ThunkServices<RecordingThunkServices>);

// The services whose log the recording forwarders write to; set while a
// test runs a thunk through them.
inline RecordingThunkServices* recordingTarget = nullptr;

// What a recording forwarder returns: non-zero in both halves and different
// for every thunk, so that a result that goes back can be told apart.
constexpr std::uint32_t recordedResult(std::size_t index) {
    return (0xC000u + static_cast<std::uint32_t>(index)) << 16 | (0x3A00u + static_cast<std::uint32_t>(index));
}

template <std::size_t Index>
std::uint32_t recordingForwarder(const FlatArgument* arguments) {
    LoggedCall entry = LoggedCall::of(Call::Export, static_cast<std::uint32_t>(Index));
    entry.arguments.assign(arguments, arguments + thunkTable[Index].argumentCount);
    entry.returned = recordedResult(Index);
    recordingTarget->log.push_back(entry);
    return recordedResult(Index);
}

template <std::size_t... Index>
constexpr std::array<ExportForwarder, kThunkCount> makeRecordingForwarders(std::index_sequence<Index...>) {
    return {&recordingForwarder<Index>...};
}
inline constexpr std::array<ExportForwarder, kThunkCount> recordingForwarders =
    makeRecordingForwarders(std::make_index_sequence<kThunkCount>{});

// A 16-bit stack onto which arguments are pushed first to last; the stack
// grows down, so the frame starts at the last argument pushed.
class SixteenBitStack {
public:
    void pushWord(std::uint16_t word) {
        top_ -= 2;
        std::memcpy(&bytes_[top_], &word, 2);  // little-endian targets only, as the 16-bit side is
    }
    void pushDword(std::uint32_t value) {  // high word first, so the low word lies lower
        pushWord(static_cast<std::uint16_t>(value >> 16));
        pushWord(static_cast<std::uint16_t>(value & 0xFFFFu));
    }
    void pushFarPointer(std::uint16_t selector, std::uint16_t offset) {  // as a far pointer is pushed
        pushWord(selector);
        pushWord(offset);
    }
    const std::uint8_t* frame() const { return &bytes_[top_]; }
    std::size_t frameBytes() const { return bytes_.size() - top_; }

private:
    std::array<std::uint8_t, 64> bytes_{};
    std::size_t top_ = bytes_.size();
};

}  // namespace huecl::bridge::testing

// Carrying one call from a 16-bit caller to HUECL32, independent of how the
// thunk service enters the bridge, so that the same code runs in HUEBR32 and
// in the tests on every target.
//
// The five thunk services are reached through a ThunkServices type: in
// HUEBR32 the KERNEL32 imports, in the tests a recording stand-in. The
// export a thunk calls is reached through an ExportForwarder taken from a
// table indexed like thunkTable, so the dispatcher itself never names an
// export.
#pragma once

#include <array>
#include <concepts>
#include <cstdint>

#include "bridge/thunk_table.h"
#include "common/byte_access.h"

namespace huecl::bridge {

// A converted argument as the export receives it: a flat address or a
// zero-extended 32-bit value. Pointer-sized so that the tests can hand real
// host addresses to the exports on 64-bit hosts too.
using FlatArgument = std::uintptr_t;

// Calls one export with the converted arguments, first argument first, and
// returns its 32-bit result (0 for an export without one).
using ExportForwarder = std::uint32_t (*)(const FlatArgument* arguments);

template <class Services>
concept ThunkServices = requires(Services& services, std::uint32_t value, std::uint32_t* saveArea, void* address,
                                 const char* name) {
    { services.thunkConnect(address, name, name, name, address, value) } -> std::convertible_to<std::int32_t>;
    { services.mapSLFix(value) } -> std::same_as<FlatArgument>;
    services.unMapSLFixArray(value, saveArea);
    services.prolog();
    services.epilog();
};

// The two libraries of the thunk.
inline constexpr char kPeerLibraryName[] = "HUEBR16.DLL";
inline constexpr char kOwnLibraryName[] = "HUEBR32.DLL";

// What goes back to the thunk service: the bytes to remove from the 16-bit
// stack and, for the thunks with a result, the 32-bit result as the 16-bit
// caller receives it (high half in dx, low half in ax).
struct ThunkOutcome {
    std::uint16_t frameBytes;
    bool hasResult;
    std::uint16_t resultHigh;
    std::uint16_t resultLow;
};

// Two 32-bit slots per pointer argument; the 16:16 pointers go into the
// first slots in the order in which they are mapped, and the rest stays zero.
using SaveArea = std::array<std::uint32_t, 2 * kMaxPointers>;

// Runs one thunk. frame is the flat address of the 16-bit caller's argument
// frame: its lowest byte, where the last argument lies, since the caller
// pushed the first argument first.
template <ThunkServices Services>
ThunkOutcome runThunk(const ThunkDescription& thunk, ExportForwarder forwardToExport, const std::uint8_t* frame,
                      Services& services) {
    SaveArea saveArea{};
    std::array<FlatArgument, kMaxArguments> arguments{};
    std::uint32_t mapped = 0;
    std::uint32_t slotOffset = 0;
    for (std::uint32_t argument = thunk.argumentCount; argument-- > 0;) {
        const std::uint8_t* const slot = frame + slotOffset;
        slotOffset += slotBytes(thunk.arguments[argument]);
        switch (thunk.arguments[argument]) {
            case ArgumentKind::Byte: arguments[argument] = slot[0]; break;
            case ArgumentKind::Dword: arguments[argument] = huecl::bytes::loadLittleEndian32(slot); break;
            case ArgumentKind::Pointer: {
                const std::uint32_t segmented = huecl::bytes::loadLittleEndian32(slot);
                saveArea[mapped++] = segmented;
                arguments[argument] = services.mapSLFix(segmented);
                break;
            }
        }
    }

    services.prolog();
    const std::uint32_t result = forwardToExport(arguments.data());
    services.epilog();

    ThunkOutcome outcome{thunk.frameBytes, thunk.hasResult, 0, 0};
    if (thunk.hasResult) {
        outcome.resultHigh = static_cast<std::uint16_t>(result >> 16);
        outcome.resultLow = static_cast<std::uint16_t>(result & 0xFFFFu);
    }
    if (mapped != 0) services.unMapSLFixArray(mapped, saveArea.data());
    return outcome;
}

// The entry point's work: every loader notification goes to the thunk
// service, which connects or disconnects the two halves. The library loads
// only if the service answers non-zero. peerThunkDataName must be the name
// that follows the thunk target table: the service finds the table from it.
template <ThunkServices Services>
std::int32_t connectThunk(Services& services, void* thunkData, const char* peerThunkDataName, void* instance,
                          std::uint32_t reason) {
    const std::int32_t connected =
        services.thunkConnect(thunkData, peerThunkDataName, kPeerLibraryName, kOwnLibraryName, instance, reason);
    return connected != 0 ? 1 : 0;
}

}  // namespace huecl::bridge

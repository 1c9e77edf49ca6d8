// HUEBR32.dll: the 32-bit half of the flat thunk that lets 16-bit code call
// HUECL32. It holds the thunk data block that the thunk service reads when
// the two halves connect, the target table of the 25 thunk entries, the
// entries themselves and the entry point. Everything else is the portable
// dispatcher (thunk_dispatch.h) and the forwarders (export_binding.h).
//
// Entry convention. The thunk service calls a thunk entry with a near call
// and one 32-bit argument on the stack: the flat address of the 16-bit
// caller's argument frame, that is of its lowest byte, where the last
// argument lies. The entry returns with
//   dx:ax  the 32-bit result (high half in dx) for the seven thunks that
//          have one; undefined for the others,
//   ecx    the number of argument bytes to remove from the 16-bit stack,
// keeps ebx, esi, edi and ebp, and leaves its own argument on the stack for
// the caller to remove. Each entry is two instructions, `push index` and a
// jump to one common part that calls the dispatcher, so that the entry of
// thunk i begins with the bytes 6A i.
#include <cstdint>

#include "bridge/export_binding.h"
#include "bridge/thunk_dispatch.h"
#include "bridge/thunk_table.h"

// The Windows 9x thunk services, imported by name from KERNEL32.
extern "C" {
__declspec(dllimport) std::int32_t
    __stdcall ThunkConnect32(void* thunkData, const char* peerThunkDataName, const char* peerLibrary,
                             const char* ownLibrary, void* instance, std::uint32_t reason);
__declspec(dllimport) void* __stdcall MapSLFix(std::uint32_t segmentedPointer);
__declspec(dllimport) void __stdcall UnMapSLFixArray(std::uint32_t count, std::uint32_t* saveArea);
__declspec(dllimport) void __stdcall K32Thk1632Prolog(void);
__declspec(dllimport) void __stdcall K32Thk1632Epilog(void);
}

namespace {

struct KernelThunkServices {
    std::int32_t thunkConnect(void* thunkData, const char* peerThunkDataName, const char* peerLibrary,
                              const char* ownLibrary, void* instance, std::uint32_t reason) {
        return ThunkConnect32(thunkData, peerThunkDataName, peerLibrary, ownLibrary, instance, reason);
    }
    huecl::bridge::FlatArgument mapSLFix(std::uint32_t segmented) {
        return reinterpret_cast<huecl::bridge::FlatArgument>(MapSLFix(segmented));
    }
    void unMapSLFixArray(std::uint32_t count, std::uint32_t* saveArea) { UnMapSLFixArray(count, saveArea); }
    void prolog() { K32Thk1632Prolog(); }
    void epilog() { K32Thk1632Epilog(); }
};
static_assert(huecl::bridge::ThunkServices<KernelThunkServices>);

}  // namespace

namespace huecl::bridge {

// The 32-bit thunk data block in the thunk service's format. The service
// fills in the connection words when it connects the two halves, so the
// block lives in writable data.
struct ThunkData32 {
    char signature[4];  // "SL01": the 32-bit half of a 16-to-32 thunk
    std::uint32_t checksum;
    std::uint32_t connection[2];
    char targetSignature[4];  // "LB01"
    std::uint32_t reserved[3];
    std::int32_t targetTableOffset;  // the target table, relative to the name that follows it
    char peerLibrary[12];
    char ownLibrary[12];
};
static_assert(sizeof(ThunkData32) == 60);

constexpr std::int32_t kTargetTableBytes = 4 * static_cast<std::int32_t>(kThunkCount);

}  // namespace huecl::bridge

extern "C" {

huecl::bridge::ThunkData32 thk_ThunkData32 = {
    {'S', 'L', '0', '1'}, 0x0005F33Fu,   {0, 0}, {'L', 'B', '0', '1'}, {0, 0, 0}, -huecl::bridge::kTargetTableBytes,
    "HUEBR16.DLL",        "HUEBR32.DLL",
};

// Defined with the entries below: the name "thk_ThunkData16" directly
// behind the target table.
extern const char huebrPeerThunkDataName[];

// Runs thunk index on the 16-bit frame; the entries' common part splits the
// answer into ecx (high word: frame bytes) and dx:ax (low word: result).
std::uint64_t huebrRunThunk(std::uint32_t index, const std::uint8_t* frame) {
    KernelThunkServices services;
    const huecl::bridge::ThunkOutcome outcome = huecl::bridge::runThunk(
        huecl::bridge::thunkTable[index], huecl::bridge::exportForwarders[index], frame, services);
    const std::uint32_t result = std::uint32_t{outcome.resultHigh} << 16 | outcome.resultLow;
    return std::uint64_t{outcome.frameBytes} << 32 | result;
}

__attribute__((stdcall)) int HuebrEntryPoint(void* instance, std::uint32_t reason, void* /*reserved*/) {
    KernelThunkServices services;
    return huecl::bridge::connectThunk(services, &thk_ThunkData32, huebrPeerThunkDataName, instance, reason);
}

}  // extern "C"

static_assert(huecl::bridge::kThunkCount == 25, "the entries and the target table below list 25 thunks");

// The thunk entries, their common part, and the target table followed by
// the name of the 16-bit half's data block.
__asm__(R"(
        .text
        .p2align 4
huebrThunkCommon:
        # [esp] thunk index, [esp+4] return address, [esp+8] frame address
        pushl   8(%esp)
        pushl   4(%esp)
        call    _huebrRunThunk
        addl    $12, %esp
        movl    %edx, %ecx
        movl    %eax, %edx
        shrl    $16, %edx
        ret

        .irp    index, 0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24
        .p2align 2
huebrThunk\index:
        pushl   $\index
        jmp     huebrThunkCommon
        .endr

        .data
        .p2align 2
huebrThunkTargetTable:
        .irp    index, 0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24
        .long   huebrThunk\index
        .endr
        .globl  _huebrPeerThunkDataName
_huebrPeerThunkDataName:
        .asciz  "thk_ThunkData16"
)");

// The 25 thunks through which 16-bit code reaches HUECL32. The 16-bit peer
// selects a thunk by its index; each row says which export it calls, what
// the 16-bit caller pushed for each argument, how many bytes of the 16-bit
// stack the thunk removes and whether a 32-bit result goes back.
//
// Argument slots on the 16-bit stack:
//   Pointer  4 bytes, a 16:16 far pointer (offset in the low word, selector
//            in the high word), mapped to a flat pointer before the call
//   Dword    4 bytes, passed unchanged
//   Byte     2 bytes, of which only the low 8 bits are passed, zero-extended
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace huecl::bridge {

enum class ArgumentKind : std::uint8_t { Pointer, Dword, Byte };

inline constexpr std::size_t kThunkCount = 25;
// The longest argument list (LZS_Compress) and the most pointers in one
// thunk (LZS_Compress, LZS_Decompress, QvColMchPrc).
inline constexpr std::size_t kMaxArguments = 7;
inline constexpr std::size_t kMaxPointers = 5;

constexpr std::uint32_t slotBytes(ArgumentKind kind) noexcept { return kind == ArgumentKind::Byte ? 2 : 4; }

struct ThunkDescription {
    std::uint8_t index;
    std::string_view exportName;
    std::uint8_t exportOrdinal;  // the name's ordinal in HUECL32's export table
    std::uint8_t argumentCount;
    std::array<ArgumentKind, kMaxArguments> arguments;  // first to last
    std::uint16_t frameBytes;                           // removed from the 16-bit stack
    bool hasResult;

    constexpr std::uint32_t pointerCount() const noexcept {
        std::uint32_t count = 0;
        for (std::size_t i = 0; i < argumentCount; ++i) count += arguments[i] == ArgumentKind::Pointer ? 1 : 0;
        return count;
    }
    constexpr std::uint32_t slotBytesTotal() const noexcept {
        std::uint32_t bytes = 0;
        for (std::size_t i = 0; i < argumentCount; ++i) bytes += slotBytes(arguments[i]);
        return bytes;
    }
};

namespace table_detail {
inline constexpr ArgumentKind P = ArgumentKind::Pointer;
inline constexpr ArgumentKind D = ArgumentKind::Dword;
inline constexpr ArgumentKind B = ArgumentKind::Byte;
}  // namespace table_detail

// clang-format off
inline constexpr std::array<ThunkDescription, kThunkCount> thunkTable = [] {
    using namespace table_detail;
    using A = std::array<ArgumentKind, kMaxArguments>;
    return std::array<ThunkDescription, kThunkCount>{{
        // index  export                      ordinal  count  arguments, first to last  frame  result
        { 0, "LZS_Decompress",                  2,  6, A{P, P, P, P, P, B},        22, true},
        { 1, "LZS_InitDecompressionHistory",    4,  1, A{P},                        4, true},
        { 2, "LZS_SizeOfDecompressionHistory",  6,  0, A{},                         0, true},
        { 3, "LZS_Compress",                    1,  7, A{P, P, P, P, P, D, D},     28, true},
        { 4, "LZS_InitCompressionHistory",      3,  1, A{P},                        4, true},
        { 5, "LZS_SizeOfCompressionHistory",    5,  0, A{},                         0, true},
        { 6, "QvColCtrCmy",                    17,  3, A{D, P, P},                 12, false},
        { 7, "QvColCtrRgb",                    18,  3, A{D, P, P},                 12, false},
        { 8, "QvColMchPrc",                    21,  5, A{P, D, P, P, P},           20, false},
        { 9, "QvRgbGos",                       24,  3, A{P, P, P},                 12, false},
        {10, "QvColGosPrc",                    20,  3, A{P, P, P},                 12, false},
        {11, "QvColDizPrc",                    19,  2, A{P, P},                     8, false},
        {12, "QvTnrTblMak",                    25,  2, A{D, P},                     8, false},
        {13, "QvDizPtnPrn",                    23,  4, A{P, D, D, P},              16, false},
        {14, "QvDizPtnMak",                    22,  1, A{P},                        4, false},
        {15, "QvrColCtrCmy",                    9,  3, A{D, P, P},                 12, false},
        {16, "QvrColCtrRgb",                   10,  3, A{D, P, P},                 12, false},
        {17, "QvrColDnsMak",                   13,  2, A{D, P},                     8, false},
        {18, "QvrColCnvC2r",                    8,  5, A{D, P, P, D, P},           20, false},
        {19, "QvrColPtcPrc",                   16,  5, A{D, D, P, P, P},           20, false},
        {20, "QvrColMchPrc",                   15,  4, A{D, P, P, P},              16, false},
        {21, "QvrColCchIni",                    7,  1, A{P},                        4, false},
        {22, "QvrColDizPrc",                   12,  2, A{P, P},                     8, false},
        {23, "QvrColDrwInfSet",                14,  3, A{P, P, D},                 12, true},
        {24, "QvrColDizInfSet",                11,  1, A{P},                        4, false},
    }};
}();
// clang-format on

// The table is read by index, and the frame column must be what the argument
// slots occupy, or the 16-bit stack would be left unbalanced.
constexpr bool tableIsConsistent() noexcept {
    for (std::size_t i = 0; i < kThunkCount; ++i) {
        const ThunkDescription& thunk = thunkTable[i];
        if (thunk.index != i || thunk.argumentCount > kMaxArguments) return false;
        if (thunk.frameBytes != thunk.slotBytesTotal() || thunk.pointerCount() > kMaxPointers) return false;
    }
    return true;
}
static_assert(tableIsConsistent(), "thunk table: index, argument slots and frame bytes disagree");

}  // namespace huecl::bridge

// The forwarders of all 25 thunks, in index order: what HUEBR32 calls.
// Binding an export by name here makes HUEBR32 import it from HUECL32.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "bridge/export_forwarders.h"
#include "bridge/thunk_table.h"

namespace huecl::bridge {

namespace binding_detail {
// The forwarder for thunk Index, or null if name is not the export that
// thunkTable gives for it; the static_assert below turns that into an error.
template <auto Export, std::size_t Index>
constexpr ExportForwarder bindExport(std::string_view name) {
    return thunkTable[Index].exportName == name ? &forwardTo<Export, Index> : nullptr;
}
}  // namespace binding_detail

#define HUECL_BRIDGE_BIND(index, name) binding_detail::bindExport<&name, index>(#name)
inline constexpr std::array<ExportForwarder, kThunkCount> exportForwarders = {
    HUECL_BRIDGE_BIND(0, LZS_Decompress),
    HUECL_BRIDGE_BIND(1, LZS_InitDecompressionHistory),
    HUECL_BRIDGE_BIND(2, LZS_SizeOfDecompressionHistory),
    HUECL_BRIDGE_BIND(3, LZS_Compress),
    HUECL_BRIDGE_BIND(4, LZS_InitCompressionHistory),
    HUECL_BRIDGE_BIND(5, LZS_SizeOfCompressionHistory),
    HUECL_BRIDGE_BIND(6, QvColCtrCmy),
    HUECL_BRIDGE_BIND(7, QvColCtrRgb),
    HUECL_BRIDGE_BIND(8, QvColMchPrc),
    HUECL_BRIDGE_BIND(9, QvRgbGos),
    HUECL_BRIDGE_BIND(10, QvColGosPrc),
    HUECL_BRIDGE_BIND(11, QvColDizPrc),
    HUECL_BRIDGE_BIND(12, QvTnrTblMak),
    HUECL_BRIDGE_BIND(13, QvDizPtnPrn),
    HUECL_BRIDGE_BIND(14, QvDizPtnMak),
    HUECL_BRIDGE_BIND(15, QvrColCtrCmy),
    HUECL_BRIDGE_BIND(16, QvrColCtrRgb),
    HUECL_BRIDGE_BIND(17, QvrColDnsMak),
    HUECL_BRIDGE_BIND(18, QvrColCnvC2r),
    HUECL_BRIDGE_BIND(19, QvrColPtcPrc),
    HUECL_BRIDGE_BIND(20, QvrColMchPrc),
    HUECL_BRIDGE_BIND(21, QvrColCchIni),
    HUECL_BRIDGE_BIND(22, QvrColDizPrc),
    HUECL_BRIDGE_BIND(23, QvrColDrwInfSet),
    HUECL_BRIDGE_BIND(24, QvrColDizInfSet),
};
#undef HUECL_BRIDGE_BIND

constexpr bool everyThunkIsBound() noexcept {
    for (const ExportForwarder forwarder : exportForwarders)
        if (forwarder == nullptr) return false;
    return true;
}
static_assert(everyThunkIsBound(), "a thunk is bound to another export than the thunk table names");

}  // namespace huecl::bridge

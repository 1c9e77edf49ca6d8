// One-step forwarders from the dispatcher to the exports of HUECL32.
//
// forwardTo<&Export, index> hands the converted arguments of thunk index on
// to Export, first argument first, with the export's own calling convention
// as the header declares it (for the C-convention LZS_ exports the forwarder
// removes the arguments after the call). It also checks, at compile time,
// that the thunk table agrees with the header: the argument count, which
// arguments are pointers, and whether the export has a result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "bridge/thunk_dispatch.h"
#include "bridge/thunk_table.h"
#include "huecl32.h"

namespace huecl::bridge {

namespace forward_detail {

template <ArgumentKind Kind>
struct ForwardedArgument {
    FlatArgument value;

    template <class Parameter>
    operator Parameter() const noexcept {
        static_assert(std::is_pointer_v<Parameter> == (Kind == ArgumentKind::Pointer),
                      "the thunk table and the header disagree on a pointer argument");
        if constexpr (std::is_pointer_v<Parameter>) {
            return reinterpret_cast<Parameter>(value);
        } else {
            static_assert(std::is_integral_v<Parameter> && sizeof(Parameter) == 4, "exports take 32-bit values");
            return static_cast<Parameter>(value);
        }
    }
};

template <auto Export, std::size_t Index, std::size_t... Argument>
std::uint32_t forward(const FlatArgument* arguments, std::index_sequence<Argument...>) {
    constexpr const ThunkDescription& thunk = thunkTable[Index];
    using Result = decltype(Export(ForwardedArgument<thunk.arguments[Argument]>{arguments[Argument]}...));
    static_assert(std::is_void_v<Result> != thunk.hasResult, "the thunk table and the header disagree on a result");
    if constexpr (std::is_void_v<Result>) {
        Export(ForwardedArgument<thunk.arguments[Argument]>{arguments[Argument]}...);
        return 0;
    } else {
        return Export(ForwardedArgument<thunk.arguments[Argument]>{arguments[Argument]}...);
    }
}

}  // namespace forward_detail

template <auto Export, std::size_t Index>
std::uint32_t forwardTo(const FlatArgument* arguments) {
    static_assert(Index < kThunkCount);
    return forward_detail::forward<Export, Index>(arguments,
                                                  std::make_index_sequence<thunkTable[Index].argumentCount>{});
}

}  // namespace huecl::bridge

// Entry point of HUECL32.dll. The library keeps no per-process or per-thread
// state, so every loader notification is simply acknowledged.
#include <cstdint>

extern "C" __attribute__((stdcall)) int HueclEntryPoint(void* /*instance*/, std::uint32_t /*reason*/,
                                                        void* /*reserved*/) {
    return 1;
}

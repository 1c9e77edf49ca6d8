// The export surface of the shipped library: every listed name resolves,
// names and ordinals agree, the shared density entry has one address, the
// calling conventions pop what they should, and the entry point answers.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "api/loaded_library.h"
#include "huecl32.h"

namespace {

enum class Convention { kCDECL, kSTDCALL };

struct ExportRow {
    unsigned ordinal;
    const char* name;
    const char* entry;
    Convention convention;
    unsigned argumentBytes;
};

const std::vector<ExportRow>& exportList() {
    static const std::vector<ExportRow> rows = {
#define HUECL_EXPORT(ordinal, name, entry, convention, bytes) \
  {ordinal, #name, #entry, Convention::k##convention, bytes},
#include "frame/exports.inc"
#undef HUECL_EXPORT
    };
    return rows;
}

// Every export the header declares, with its address as linked by the
// toolchain, so the list can be checked against the real declarations.
const std::map<std::string, void*>& declaredExports() {
    static const std::map<std::string, void*> table = {
#define HUECL_EXPORT(ordinal, name, entry, convention, bytes) {#name, reinterpret_cast<void*>(&name)},
#include "frame/exports.inc"
#undef HUECL_EXPORT
    };
    return table;
}

TEST(ExportTable, ListIsWellFormed) {
    std::set<unsigned> ordinals;
    std::set<std::string> names;
    for (const ExportRow& row : exportList()) {
        EXPECT_GE(row.ordinal, 1u);
        EXPECT_LE(row.ordinal, 25u);
        EXPECT_TRUE(ordinals.insert(row.ordinal).second) << row.name;
        EXPECT_TRUE(names.insert(row.name).second) << row.name;
        const bool isLzs = std::strncmp(row.name, "LZS_", 4) == 0;
        EXPECT_EQ(row.convention, isLzs ? Convention::kCDECL : Convention::kSTDCALL) << row.name;
        EXPECT_EQ(row.argumentBytes % 4, 0u) << row.name;
    }
}

// The whole export surface, written out on its own: the list must hold
// exactly these 25 names at ordinals 1-25, with their conventions and
// argument bytes, QvTnrTblMak being a second name of QvrColDnsMak's entry.
TEST(ExportTable, HoldsTheWholeSurfaceAtOrdinalsOneToTwentyFive) {
    constexpr Convention C = Convention::kCDECL, S = Convention::kSTDCALL;
    const ExportRow surface[] = {
        {1, "LZS_Compress", "LZS_Compress", C, 28},
        {2, "LZS_Decompress", "LZS_Decompress", C, 24},
        {3, "LZS_InitCompressionHistory", "LZS_InitCompressionHistory", C, 4},
        {4, "LZS_InitDecompressionHistory", "LZS_InitDecompressionHistory", C, 4},
        {5, "LZS_SizeOfCompressionHistory", "LZS_SizeOfCompressionHistory", C, 0},
        {6, "LZS_SizeOfDecompressionHistory", "LZS_SizeOfDecompressionHistory", C, 0},
        {7, "QvrColCchIni", "QvrColCchIni", S, 4},
        {8, "QvrColCnvC2r", "QvrColCnvC2r", S, 20},
        {9, "QvrColCtrCmy", "QvrColCtrCmy", S, 12},
        {10, "QvrColCtrRgb", "QvrColCtrRgb", S, 12},
        {11, "QvrColDizInfSet", "QvrColDizInfSet", S, 4},
        {12, "QvrColDizPrc", "QvrColDizPrc", S, 8},
        {13, "QvrColDnsMak", "QvrColDnsMak", S, 8},
        {14, "QvrColDrwInfSet", "QvrColDrwInfSet", S, 12},
        {15, "QvrColMchPrc", "QvrColMchPrc", S, 16},
        {16, "QvrColPtcPrc", "QvrColPtcPrc", S, 20},
        {17, "QvColCtrCmy", "QvColCtrCmy", S, 12},
        {18, "QvColCtrRgb", "QvColCtrRgb", S, 12},
        {19, "QvColDizPrc", "QvColDizPrc", S, 8},
        {20, "QvColGosPrc", "QvColGosPrc", S, 12},
        {21, "QvColMchPrc", "QvColMchPrc", S, 20},
        {22, "QvDizPtnMak", "QvDizPtnMak", S, 4},
        {23, "QvDizPtnPrn", "QvDizPtnPrn", S, 16},
        {24, "QvRgbGos", "QvRgbGos", S, 12},
        {25, "QvTnrTblMak", "QvrColDnsMak", S, 8},
    };
    const std::vector<ExportRow>& listed = exportList();
    ASSERT_EQ(listed.size(), std::size(surface));
    std::set<std::string> entries;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        SCOPED_TRACE(surface[i].name);
        EXPECT_EQ(listed[i].ordinal, surface[i].ordinal);
        EXPECT_STREQ(listed[i].name, surface[i].name);
        EXPECT_STREQ(listed[i].entry, surface[i].entry);
        EXPECT_EQ(listed[i].convention, surface[i].convention);
        EXPECT_EQ(listed[i].argumentBytes, surface[i].argumentBytes);
        entries.insert(listed[i].entry);
    }
    EXPECT_EQ(entries.size(), 24u) << "25 names for 24 entry points";
}

TEST(ExportTable, EveryNameResolvesToTheLinkedFunction) {
    LoadedLibrary library;
    ASSERT_TRUE(library.isLoaded());
    for (const ExportRow& row : exportList()) {
        void* const byName = library.findByName(row.name);
        ASSERT_NE(byName, nullptr) << row.name;
        EXPECT_EQ(byName, declaredExports().at(row.name)) << row.name;
#if defined(_WIN32)
        EXPECT_EQ(library.findByOrdinal(row.ordinal), byName) << row.name << " @" << row.ordinal;
#endif
    }
}

TEST(ExportTable, NamesSharingAnEntryShareAnAddress) {
    LoadedLibrary library;
    ASSERT_TRUE(library.isLoaded());
    std::map<std::string, void*> entryAddress;
    for (const ExportRow& row : exportList()) {
        void* const address = library.findByName(row.name);
        auto [slot, inserted] = entryAddress.emplace(row.entry, address);
        if (!inserted) {
            EXPECT_EQ(slot->second, address) << row.name << " and " << row.entry;
        }
    }
    EXPECT_EQ(library.findByName("QvrColDnsMak"), library.findByName("QvTnrTblMak"));
}

TEST(ExportTable, UnknownNamesDoNotResolve) {
    LoadedLibrary library;
    ASSERT_TRUE(library.isLoaded());
    EXPECT_EQ(library.findByName("HueclEntryPoint"), nullptr);
    EXPECT_EQ(library.findByName("QvrColDnsMak@8"), nullptr);
    EXPECT_EQ(library.findByName("memcpy_not_an_export"), nullptr);
}

#if defined(__i386__)
// Calls fn with the given 32-bit arguments pushed right to left and returns
// how many bytes the callee removed from the stack: the argument bytes for
// stdcall, 0 for cdecl. Written in assembly so that no compiler bookkeeping
// hides an unbalanced stack.
std::uint32_t bytesPoppedByCallee(void* fn, const std::uint32_t* arguments, std::uint32_t count) {
    std::uint32_t popped;
    // ebx keeps the stack pointer across the call: it is callee-saved in
    // both conventions, whereas eax, ecx and edx belong to the callee.
    __asm__ volatile(
        "pushl %%ebp\n\t"
        "movl %%esp, %%ebp\n\t"
        "1:\n\t"
        "testl %%ecx, %%ecx\n\t"
        "jz 2f\n\t"
        "pushl -4(%%esi,%%ecx,4)\n\t"
        "decl %%ecx\n\t"
        "jmp 1b\n\t"
        "2:\n\t"
        "movl %%esp, %%ebx\n\t"
        "call *%%edi\n\t"
        "movl %%esp, %%eax\n\t"
        "subl %%ebx, %%eax\n\t"
        "movl %%ebp, %%esp\n\t"
        "popl %%ebp\n\t"
        : "=a"(popped), "+c"(count), "+S"(arguments), "+D"(fn)
        :
        : "ebx", "edx", "memory", "cc");
    return popped;
}

TEST(ExportTable, StdcallExportPopsItsArgumentsThroughAPointer) {
    LoadedLibrary library;
    ASSERT_TRUE(library.isLoaded());
    std::uint8_t table[256] = {};
    const std::uint32_t arguments[2] = {0u, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(table))};
    for (const char* name : {"QvrColDnsMak", "QvTnrTblMak"}) {
        void* const fn = library.findByName(name);
        ASSERT_NE(fn, nullptr);
        EXPECT_EQ(bytesPoppedByCallee(fn, arguments, 2), 8u) << name;
        EXPECT_EQ(table[200], 200) << name;
    }
}
#endif

#if defined(_WIN32)
TEST(ExportTable, EntryPointAnswersTrueForEveryReason) {
    LoadedLibrary library;
    ASSERT_TRUE(library.isLoaded());
    const auto* base = reinterpret_cast<const std::uint8_t*>(library.module());
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    ASSERT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_NATIVE);
    using EntryPoint = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);
    const auto entry =
        reinterpret_cast<EntryPoint>(const_cast<std::uint8_t*>(base + nt->OptionalHeader.AddressOfEntryPoint));
    for (DWORD reason : {0u, 1u, 2u, 3u, 4u, 7u, 0xFFFFFFFFu}) {
        EXPECT_EQ(entry(library.module(), reason, nullptr), TRUE) << "reason " << reason;
    }
}
#endif

}  // namespace

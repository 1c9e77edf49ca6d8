// HUEBR32.dll as built: its thunk data block and target table in the file
// and in a relocated image, its entry point and thunk entries run with
// their KERNEL32 imports bound to a recording thunk service, and a real
// load, which fails cleanly because no 16-bit peer can connect.
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/thunk_test_services.h"
#include "bridge_dll/pe_image.h"
#include "huecl32.h"

namespace {

using huecl::bridge::testing::Call;
using huecl::bridge::testing::LoggedCall;
using huecl::bridge::testing::RecordingThunkServices;
using huecl::bridge::testing::SelectorTable;
using huecl::bridge::testing::SixteenBitStack;

constexpr unsigned kThunks = 25;
constexpr std::string_view kPeerDataName{"thk_ThunkData16\0", 16};

// The 60 bytes of thk_ThunkData32 as the thunk service reads them.
std::string expectedThunkData() {
    std::string bytes;
    bytes += "SL01";
    bytes += std::string("\x3F\xF3\x05\x00", 4);  // checksum 0x0005F33F
    bytes += std::string(8, '\0');
    bytes += "LB01";
    bytes += std::string(12, '\0');
    bytes += std::string("\x9C\xFF\xFF\xFF", 4);  // -100: the target table before the name
    bytes += std::string("HUEBR16.DLL\0", 12);
    bytes += std::string("HUEBR32.DLL\0", 12);
    return bytes;
}

std::string bytesAt(const std::uint8_t* at, std::size_t count) {
    return std::string(reinterpret_cast<const char*>(at), count);
}

// Where the target table lies: the service finds it from the name behind
// it and the offset in the data block.
std::uint32_t targetTableRva(const PeImage& image, std::uint32_t nameRva) {
    const std::uint32_t dataRva = image.exportRva("thk_ThunkData32");
    std::int32_t offset;
    std::memcpy(&offset, image.at(dataRva + 32), 4);
    return nameRva + static_cast<std::uint32_t>(offset);
}

TEST(Huebr32File, ExportsTheThunkDataBlockByteForByte) {
    const PeImage file = PeImage::fromFile(HUEBR32_PATH);
    ASSERT_TRUE(file.valid());
    const std::uint32_t rva = file.exportRva("thk_ThunkData32");
    ASSERT_NE(rva, 0u);
    EXPECT_EQ(bytesAt(file.at(rva), 60), expectedThunkData());
}

TEST(Huebr32File, TargetTableLeadsToTheThunkEntriesInIndexOrder) {
    const PeImage file = PeImage::fromFile(HUEBR32_PATH);
    ASSERT_TRUE(file.valid());
    const std::vector<std::uint32_t> names = file.find(kPeerDataName);
    ASSERT_EQ(names.size(), 1u) << "the name behind the table must be the only one";
    const std::uint32_t table = targetTableRva(file, names[0]);
    for (unsigned index = 0; index < kThunks; ++index) {
        SCOPED_TRACE(index);
        const std::uint32_t entry = file.load32(table + 4 * index) - file.preferredBase();
        ASSERT_TRUE(file.isCode(entry));
        // Every entry begins by pushing its own index.
        EXPECT_EQ(file.at(entry)[0], 0x6A);
        EXPECT_EQ(file.at(entry)[1], index);
    }
}

// ---- The image as the loader maps it ----------------------------------------

RecordingThunkServices* recorder = nullptr;

std::int32_t __stdcall recordThunkConnect32(void* thunkData, const char* peerDataName, const char* peerLibrary,
                                            const char* ownLibrary, void* instance, std::uint32_t reason) {
    return recorder->thunkConnect(thunkData, peerDataName, peerLibrary, ownLibrary, instance, reason);
}
void* __stdcall recordMapSLFix(std::uint32_t segmented) {
    return reinterpret_cast<void*>(recorder->mapSLFix(segmented));
}
void __stdcall recordUnMapSLFixArray(std::uint32_t count, std::uint32_t* saveArea) {
    recorder->unMapSLFixArray(count, saveArea);
}
void __stdcall recordProlog() { recorder->prolog(); }
void __stdcall recordEpilog() { recorder->epilog(); }

// HUEBR32 mapped without running its entry point or binding its imports, at
// another address than it prefers, so that the loader has to relocate it;
// the imports are then bound by hand: KERNEL32's thunk services to the
// recorder, HUECL32's names to the library this test links.
class MappedBridge : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = PeImage::fromFile(HUEBR32_PATH);
        ASSERT_TRUE(file_.valid());
        blocker_ = VirtualAlloc(reinterpret_cast<void*>(static_cast<std::uintptr_t>(file_.preferredBase())),
                                file_.nt().OptionalHeader.SizeOfImage, MEM_RESERVE, PAGE_NOACCESS);
        module_ = LoadLibraryExA(HUEBR32_FILE, nullptr, DONT_RESOLVE_DLL_REFERENCES);
        ASSERT_NE(module_, nullptr);
        image_ = PeImage::fromModule(module_);
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
        if (blocker_ != nullptr) VirtualFree(blocker_, 0, MEM_RELEASE);
        recorder = nullptr;
    }

    // Binds every import; returns the names it could not bind.
    std::vector<std::string> bindImports() {
        const std::map<std::string, void*> services = {
            {"ThunkConnect32", reinterpret_cast<void*>(&recordThunkConnect32)},
            {"MapSLFix", reinterpret_cast<void*>(&recordMapSLFix)},
            {"UnMapSLFixArray", reinterpret_cast<void*>(&recordUnMapSLFixArray)},
            {"K32Thk1632Prolog", reinterpret_cast<void*>(&recordProlog)},
            {"K32Thk1632Epilog", reinterpret_cast<void*>(&recordEpilog)},
        };
        const HMODULE library = GetModuleHandleA("HUECL32.dll");
        std::vector<std::string> unbound;
        const IMAGE_DATA_DIRECTORY& directory = image_.nt().OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        auto* base = reinterpret_cast<std::uint8_t*>(module_);
        for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
             import->Name != 0; ++import) {
            const std::string dll = reinterpret_cast<const char*>(base + import->Name);
            const auto* names = reinterpret_cast<const std::uint32_t*>(base + import->OriginalFirstThunk);
            auto* addresses = reinterpret_cast<std::uint32_t*>(base + import->FirstThunk);
            for (unsigned i = 0; names[i] != 0; ++i) {
                const std::string name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names[i])->Name;
                void* target = nullptr;
                if (dll == "KERNEL32.dll" && services.count(name)) target = services.at(name);
                if (dll == "HUECL32.dll") target = reinterpret_cast<void*>(GetProcAddress(library, name.c_str()));
                if (target == nullptr) {
                    unbound.push_back(dll + "!" + name);
                    continue;
                }
                DWORD protection;
                VirtualProtect(&addresses[i], 4, PAGE_READWRITE, &protection);
                addresses[i] = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(target));
                VirtualProtect(&addresses[i], 4, protection, &protection);
            }
        }
        return unbound;
    }

    std::uint32_t peerDataNameRva() const {
        const std::vector<std::uint32_t> names = image_.find(kPeerDataName);
        return names.size() == 1 ? names[0] : 0;
    }
    std::uint32_t base() const { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(module_)); }

    PeImage file_;
    PeImage image_;
    void* blocker_ = nullptr;
    HMODULE module_ = nullptr;
};

TEST_F(MappedBridge, HoldsTheSameBlocksWithTheTargetsRelocated) {
    ASSERT_NE(base(), file_.preferredBase()) << "the image was not moved, so relocation is untested";
    const auto* data = reinterpret_cast<const std::uint8_t*>(GetProcAddress(module_, "thk_ThunkData32"));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(bytesAt(data, 60), expectedThunkData());

    const std::uint32_t nameRva = peerDataNameRva();
    ASSERT_NE(nameRva, 0u);
    const std::uint32_t table = targetTableRva(image_, nameRva);
    for (unsigned index = 0; index < kThunks; ++index) {
        SCOPED_TRACE(index);
        const std::uint32_t entry = image_.load32(table + 4 * index);
        EXPECT_EQ(entry - base(), file_.load32(table + 4 * index) - file_.preferredBase());
        const auto* code = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(entry));
        EXPECT_EQ(code[0], 0x6A);
        EXPECT_EQ(code[1], index);
    }
}

TEST_F(MappedBridge, EntryPointHandsEveryReasonToThunkConnect32) {
    ASSERT_EQ(bindImports(), std::vector<std::string>{});
    using EntryPoint = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);
    const auto entry = reinterpret_cast<EntryPoint>(reinterpret_cast<std::uint8_t*>(module_) +
                                                    image_.nt().OptionalHeader.AddressOfEntryPoint);
    const auto* peerDataName = reinterpret_cast<const char*>(module_) + peerDataNameRva();
    SelectorTable selectors;
    for (const std::int32_t answer : {1, 0, 2}) {
        for (const DWORD reason : {DLL_PROCESS_ATTACH, DLL_THREAD_ATTACH, DLL_THREAD_DETACH, DLL_PROCESS_DETACH}) {
            SCOPED_TRACE(::testing::Message() << "reason " << reason << ", service answers " << answer);
            RecordingThunkServices services(selectors, answer);
            recorder = &services;
            EXPECT_EQ(entry(module_, reason, nullptr), answer != 0 ? TRUE : FALSE);
            ASSERT_EQ(services.log.size(), 1u);
            const LoggedCall& connect = services.log[0];
            EXPECT_EQ(connect.call, Call::Connect);
            EXPECT_EQ(connect.thunkData, reinterpret_cast<void*>(GetProcAddress(module_, "thk_ThunkData32")));
            EXPECT_EQ(connect.peerDataName, peerDataName);
            EXPECT_EQ(connect.names, (std::vector<std::string>{"thk_ThunkData16", "HUEBR16.DLL", "HUEBR32.DLL"}));
            EXPECT_EQ(connect.instance, static_cast<void*>(module_));
            EXPECT_EQ(connect.value, reason);
        }
    }
}

// What a thunk entry hands back to the thunk service.
struct EntryAnswer {
    std::uint32_t result;      // dx:ax
    std::uint32_t frameBytes;  // ecx
    std::int32_t stackChange;  // bytes the entry took off the stack itself: must be 0
};

EntryAnswer callEntry(std::uint32_t entry, const std::uint8_t* frame) {
    std::uint32_t eax, ecx, edx = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(frame));
    std::uint32_t stackBefore, stackAfter;
    // esi keeps the stack pointer across the call; the entry must keep it.
    __asm__ volatile(
        "movl %%esp, %%esi\n\t"
        "pushl %%edx\n\t"
        "call *%%ebx\n\t"
        "movl %%esp, %%edi\n\t"
        "movl %%esi, %%esp\n\t"
        : "=a"(eax), "=c"(ecx), "+d"(edx), "=S"(stackBefore), "=D"(stackAfter)
        : "b"(entry)
        : "memory", "cc");
    return {(edx & 0xFFFFu) << 16 | (eax & 0xFFFFu), ecx, static_cast<std::int32_t>(stackAfter - (stackBefore - 4))};
}

TEST_F(MappedBridge, ThunkEntriesCarryCallsIntoTheLibraryAndBack) {
    ASSERT_EQ(bindImports(), std::vector<std::string>{});
    const std::uint32_t table = targetTableRva(image_, peerDataNameRva());
    auto entryOf = [&](unsigned index) { return image_.load32(table + 4 * index); };
    SelectorTable selectors;
    RecordingThunkServices services(selectors);
    recorder = &services;

    // No arguments: the history sizes.
    for (const auto& [index, expected] :
         {std::pair{2u, LZS_SizeOfDecompressionHistory()}, std::pair{5u, LZS_SizeOfCompressionHistory()}}) {
        SCOPED_TRACE(index);
        services.log.clear();
        SixteenBitStack stack;
        const EntryAnswer answer = callEntry(entryOf(index), stack.frame());
        EXPECT_EQ(answer.result, expected);
        EXPECT_EQ(answer.frameBytes, 0u);
        EXPECT_EQ(answer.stackChange, 0);
        EXPECT_EQ(services.log.size(), 2u) << "prolog and epilog only";
    }

    // A value and a pointer: both density thunks write a direct call's table.
    std::array<std::uint8_t, 256> direct{}, viaEarlier{}, viaLater{};
    QvrColDnsMak(-30, direct.data());
    for (const auto& [index, table256] : {std::pair{12u, &viaEarlier}, std::pair{17u, &viaLater}}) {
        SCOPED_TRACE(index);
        services.log.clear();
        const std::uint16_t selector = selectors.add(table256->data(), 255);
        SixteenBitStack stack;
        stack.pushDword(static_cast<std::uint32_t>(-30));
        stack.pushFarPointer(selector, 0);
        const EntryAnswer answer = callEntry(entryOf(index), stack.frame());
        EXPECT_EQ(answer.frameBytes, 8u);
        EXPECT_EQ(answer.stackChange, 0);
        EXPECT_EQ(*table256, direct);
        ASSERT_EQ(services.log.size(), 4u);  // map, prolog, epilog, unmap
        EXPECT_EQ(services.log.back().call, Call::UnMap);
        EXPECT_EQ(services.log.back().saveArea,
                  (std::vector<std::uint32_t>{SelectorTable::farPointer(selector, 0), 0}));
    }

    // Pointers, a value and a result: the row count of the draw information.
    QvrDizInf ditherInfo{};
    QvrDrwInf drawDirect{};
    drawDirect.srcWidth = 10;
    drawDirect.devX = 101;
    drawDirect.devResX = drawDirect.devResY = 600;
    drawDirect.srcResX = drawDirect.srcResY = 300;
    QvrDrwInf drawViaEntry = drawDirect;
    const std::uint32_t rows = QvrColDrwInfSet(&ditherInfo, &drawDirect, 40'000'000);
    SixteenBitStack stack;
    stack.pushFarPointer(selectors.add(&ditherInfo, sizeof ditherInfo - 1), 0);
    stack.pushFarPointer(selectors.add(&drawViaEntry, sizeof drawViaEntry - 1), 0);
    stack.pushDword(40'000'000);
    const EntryAnswer answer = callEntry(entryOf(23), stack.frame());
    EXPECT_GT(rows, 0xFFFFu);
    EXPECT_EQ(answer.result, rows);
    EXPECT_EQ(answer.frameBytes, 12u);
    EXPECT_EQ(answer.stackChange, 0);
    EXPECT_EQ(drawViaEntry.lineBytes, drawDirect.lineBytes);
}

// The C-convention exports through their forwarders: compress and
// decompress a buffer through thunks 4, 3, 1 and 0.
TEST_F(MappedBridge, LzsThunkEntriesRoundTripABuffer) {
    ASSERT_EQ(bindImports(), std::vector<std::string>{});
    const std::uint32_t table = targetTableRva(image_, peerDataNameRva());
    auto entryOf = [&](unsigned index) { return image_.load32(table + 4 * index); };
    SelectorTable selectors;
    RecordingThunkServices services(selectors);
    recorder = &services;

    std::vector<std::uint8_t> input(2000);
    for (std::size_t i = 0; i < input.size(); ++i)
        input[i] = static_cast<std::uint8_t>("colour planes "[i % 14] + i / 500);
    std::vector<std::uint8_t> compressionHistory(LZS_SizeOfCompressionHistory());
    std::vector<std::uint8_t> decompressionHistory(LZS_SizeOfDecompressionHistory());
    std::vector<std::uint8_t> compressed(3000), output(2100);
    struct Locals {
        std::uint8_t* source;
        std::uint8_t* destination;
        std::uint32_t sourceCount;
        std::uint32_t destinationCount;
    } locals{input.data(), compressed.data(), 2000, 3000};
    const std::uint16_t localsSelector = selectors.add(&locals, sizeof locals - 1);
    const std::uint16_t compressionSelector = selectors.add(compressionHistory.data(), 0xFFFF);
    const std::uint16_t decompressionSelector = selectors.add(decompressionHistory.data(), 0xFFFF);
    auto pushInOut = [&](SixteenBitStack& stack) {
        for (const std::size_t offset : {offsetof(Locals, source), offsetof(Locals, destination),
                                         offsetof(Locals, sourceCount), offsetof(Locals, destinationCount)})
            stack.pushFarPointer(localsSelector, static_cast<std::uint16_t>(offset));
    };

    for (const auto& [index, selector] : {std::pair{4u, compressionSelector}, std::pair{1u, decompressionSelector}}) {
        SixteenBitStack stack;
        stack.pushFarPointer(selector, 0);
        const EntryAnswer answer = callEntry(entryOf(index), stack.frame());
        EXPECT_EQ(answer.result, 1u) << index;
        EXPECT_EQ(answer.frameBytes, 4u) << index;
        EXPECT_EQ(answer.stackChange, 0) << index;
    }

    SixteenBitStack compressFrame;
    pushInOut(compressFrame);
    compressFrame.pushFarPointer(compressionSelector, 0);
    compressFrame.pushDword(LZS_FLAG_CLOSE_AT_END);
    compressFrame.pushDword(8);
    const EntryAnswer compression = callEntry(entryOf(3), compressFrame.frame());
    EXPECT_EQ(compression.frameBytes, 28u);
    EXPECT_EQ(compression.stackChange, 0);
    EXPECT_NE(compression.result & LZS_RESULT_STREAM_END, 0u);
    const auto compressedBytes = static_cast<std::uint32_t>(locals.destination - compressed.data());
    ASSERT_GT(compressedBytes, 0u);

    locals = {compressed.data(), output.data(), compressedBytes, static_cast<std::uint32_t>(output.size())};
    SixteenBitStack decompressFrame;
    pushInOut(decompressFrame);
    decompressFrame.pushFarPointer(decompressionSelector, 0);
    decompressFrame.pushWord(0x0100);  // flags 0; the high byte of the slot is not read
    const EntryAnswer decompression = callEntry(entryOf(0), decompressFrame.frame());
    EXPECT_EQ(decompression.frameBytes, 22u);
    EXPECT_EQ(decompression.stackChange, 0);
    EXPECT_NE(decompression.result & LZS_RESULT_STREAM_END, 0u);
    ASSERT_EQ(locals.destination - output.data(), 2000);
    EXPECT_EQ(std::vector<std::uint8_t>(output.begin(), output.begin() + 2000), input);
}

// Loaded for real, HUEBR32 asks the thunk service to connect it to its
// 16-bit half, which does not exist here: the load fails, and fails again.
TEST(Huebr32Load, FailsCleanlyWhenNoSixteenBitPeerConnects) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        SetLastError(0);
        const HMODULE module = LoadLibraryA(HUEBR32_FILE);
        const DWORD error = GetLastError();
        EXPECT_EQ(module, nullptr);
        if (module != nullptr) FreeLibrary(module);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
        EXPECT_EQ(GetModuleHandleA("HUEBR32.dll"), nullptr);
    }
    EXPECT_NE(GetModuleHandleA("HUECL32.dll"), nullptr) << "the library the test links stays loaded";
}

}  // namespace

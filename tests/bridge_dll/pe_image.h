// Reads a PE32 image either as a file on disk (addresses through the section
// table) or as the loader mapped it (addresses relative to the module base).
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

class PeImage {
public:
    static PeImage fromFile(const char* path) {
        std::ifstream file(path, std::ios::binary);
        PeImage image;
        image.fileBytes_.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        image.base_ = image.fileBytes_.data();
        image.mapped_ = false;
        return image;
    }
    static PeImage fromModule(HMODULE module) {
        PeImage image;
        image.base_ = reinterpret_cast<const std::uint8_t*>(module);
        image.mapped_ = true;
        return image;
    }

    bool valid() const {
        if (mapped_ ? base_ == nullptr : fileBytes_.size() < sizeof(IMAGE_DOS_HEADER)) return false;
        return dos().e_magic == IMAGE_DOS_SIGNATURE && nt().Signature == IMAGE_NT_SIGNATURE;
    }
    const IMAGE_DOS_HEADER& dos() const { return *reinterpret_cast<const IMAGE_DOS_HEADER*>(base_); }
    const IMAGE_NT_HEADERS32& nt() const {
        return *reinterpret_cast<const IMAGE_NT_HEADERS32*>(base_ + dos().e_lfanew);
    }
    std::uint32_t preferredBase() const { return nt().OptionalHeader.ImageBase; }

    // The bytes at an RVA, or null if no section holds it.
    const std::uint8_t* at(std::uint32_t rva) const {
        if (mapped_) return base_ + rva;
        const IMAGE_SECTION_HEADER* section = sectionOf(rva);
        if (section == nullptr) return nullptr;
        const std::uint32_t offset = rva - section->VirtualAddress + section->PointerToRawData;
        return offset < fileBytes_.size() ? base_ + offset : nullptr;
    }
    const IMAGE_SECTION_HEADER* sectionOf(std::uint32_t rva) const {
        const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(&nt());
        for (unsigned i = 0; i < nt().FileHeader.NumberOfSections; ++i, ++section) {
            if (rva >= section->VirtualAddress && rva < section->VirtualAddress + section->Misc.VirtualSize)
                return section;
        }
        return nullptr;
    }
    bool isCode(std::uint32_t rva) const {
        const IMAGE_SECTION_HEADER* section = sectionOf(rva);
        return section != nullptr && (section->Characteristics & IMAGE_SCN_MEM_EXECUTE) != 0;
    }

    // The RVA that the export directory gives a name, or 0.
    std::uint32_t exportRva(std::string_view name) const {
        const IMAGE_DATA_DIRECTORY& directory = nt().OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
        if (directory.VirtualAddress == 0) return 0;
        const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(at(directory.VirtualAddress));
        const auto* names = reinterpret_cast<const std::uint32_t*>(at(exports->AddressOfNames));
        const auto* ordinals = reinterpret_cast<const std::uint16_t*>(at(exports->AddressOfNameOrdinals));
        const auto* functions = reinterpret_cast<const std::uint32_t*>(at(exports->AddressOfFunctions));
        for (std::uint32_t i = 0; i < exports->NumberOfNames; ++i) {
            if (name == reinterpret_cast<const char*>(at(names[i]))) return functions[ordinals[i]];
        }
        return 0;
    }

    // Every RVA, inside a section's initialised bytes, at which needle starts.
    std::vector<std::uint32_t> find(std::string_view needle) const {
        std::vector<std::uint32_t> found;
        const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(&nt());
        for (unsigned s = 0; s < nt().FileHeader.NumberOfSections; ++s, ++section) {
            const std::uint32_t size = std::min<std::uint32_t>(section->SizeOfRawData, section->Misc.VirtualSize);
            const std::uint8_t* bytes = at(section->VirtualAddress);
            if (bytes == nullptr || size < needle.size()) continue;
            for (std::uint32_t i = 0; i + needle.size() <= size; ++i) {
                if (std::memcmp(bytes + i, needle.data(), needle.size()) == 0)
                    found.push_back(section->VirtualAddress + i);
            }
        }
        return found;
    }

    std::uint32_t load32(std::uint32_t rva) const {
        std::uint32_t value;
        std::memcpy(&value, at(rva), 4);
        return value;
    }

private:
    std::vector<std::uint8_t> fileBytes_;
    const std::uint8_t* base_ = nullptr;
    bool mapped_ = false;
};

// Opens the shipped library a second time by file name, so that tests can
// look its exports up by name (and on Windows by ordinal) as a host would.
#pragma once

#include <cstdint>
#include <string>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <dlfcn.h>
#endif

class LoadedLibrary {
public:
    LoadedLibrary() {
#if defined(_WIN32)
        handle_ = LoadLibraryA(HUECL_LIBRARY_FILE);
#else
        handle_ = dlopen(HUECL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
#endif
    }
    ~LoadedLibrary() {
        if (!handle_) return;
#if defined(_WIN32)
        FreeLibrary(handle_);
#else
        dlclose(handle_);
#endif
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    bool isLoaded() const { return handle_ != nullptr; }

    void* findByName(const char* name) const {
#if defined(_WIN32)
        return reinterpret_cast<void*>(GetProcAddress(handle_, name));
#else
        return dlsym(handle_, name);
#endif
    }

#if defined(_WIN32)
    void* findByOrdinal(unsigned ordinal) const {
        return reinterpret_cast<void*>(GetProcAddress(handle_, MAKEINTRESOURCEA(ordinal)));
    }
    HMODULE module() const { return handle_; }
#endif

private:
#if defined(_WIN32)
    HMODULE handle_ = nullptr;
#else
    void* handle_ = nullptr;
#endif
};

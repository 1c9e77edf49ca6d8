// libtiff's error and warning handlers: errors kept per thread, warnings
// dropped.
#include "pages/readers/tiff_messages.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>

namespace huecl::pages {
namespace {

thread_local char tiffMessage[256];

void recordTiffError(const char*, const char* format, va_list arguments) {
    std::vsnprintf(tiffMessage, sizeof tiffMessage, format, arguments);
}

void ignoreTiffWarning(const char*, const char*, va_list) {}

}  // namespace

void installTiffHandlers() {
    static const bool installed = [] {
        TIFFSetErrorHandler(recordTiffError);
        TIFFSetWarningHandler(ignoreTiffWarning);
        return true;
    }();
    (void)installed;
}

const char* lastTiffMessage() { return tiffMessage; }

void clearTiffMessage() { tiffMessage[0] = '\0'; }

}  // namespace huecl::pages

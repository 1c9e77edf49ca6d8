// libtiff reports through process-wide handlers. The page library installs
// one pair for its readers and writers alike: an error's message is kept
// per thread until the failing call's caller turns it into a PageError;
// warnings are dropped.
#pragma once

namespace huecl::pages {

// Installs the handlers once; call before the first libtiff call.
void installTiffHandlers();
// The last error libtiff reported on this thread ("" if none since the
// last clearTiffMessage).
const char* lastTiffMessage();
void clearTiffMessage();

}  // namespace huecl::pages

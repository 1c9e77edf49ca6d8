// The four commands of the tool. Each throws PageError on bad input and
// leaves nothing in its output folder unless it completes.
#pragma once

#include "cli_options.h"

namespace huecl::tool {

void runPrint(const PrintCommand& command);
void runDecode(const DecodeCommand& command);
void runLzs(const LzsCommand& command);
void runScreens(const ScreensCommand& command);

}  // namespace huecl::tool

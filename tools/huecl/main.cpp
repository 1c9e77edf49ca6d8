// huecl: pages through the colour and compression pipeline of the library.
#include "commands.h"
#include "huecl32.h"
#include "pages/page_error.h"

#include <cstdio>
#include <exception>

namespace {

template <typename... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace huecl::tool;
    try {
        const Command command = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        std::visit(Overloaded{
                       [](const HelpCommand& c) { std::fputs(c.text.c_str(), stdout); },
                       [](const VersionCommand&) { std::puts("huecl " HUECL_VERSION_STRING); },
                       [](const PrintCommand& c) { runPrint(c); },
                       [](const DecodeCommand& c) { runDecode(c); },
                       [](const LzsCommand& c) { runLzs(c); },
                       [](const ScreensCommand& c) { runScreens(c); },
                   },
                   command);
        return 0;
    } catch (const huecl::pages::PageError& error) {
        std::fprintf(stderr, "huecl: %s\n", error.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "huecl: out of memory\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "huecl: internal error: %s\n", error.what());
    }
    return 1;
}

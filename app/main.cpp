// huecl-printer-app: the printer application of the huecl drivers, on
// PAPPL. Its sub-commands are papplMainloop's (server, add, delete,
// printers, submit, jobs, cancel, status, shutdown, ...); the state file,
// spool folder and control socket come from --state-file,
// --spool-directory and --socket-directory or the environment.
#include "app_options.h"
#include "app_system.h"
#include "file_device.h"
#include "printer_driver.h"

#include <pappl/pappl.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

void showUsage(void* /*data*/) {
    std::puts(
        "Usage: huecl-printer-app [--state-file FILE] [--spool-directory DIR] [--socket-directory DIR]\n"
        "                         SUB-COMMAND [OPTIONS] [FILENAME]\n"
        "\n"
        "Sub-commands: add PRINTER, cancel, default, delete, devices, drivers, jobs, modify, options,\n"
        "pause, printers, resume, server, shutdown, status, submit (see huecl-printer-app(1)).\n"
        "\n"
        "Options:\n"
        "  -a               Cancel all jobs (cancel).\n"
        "  -d PRINTER       Specify printer.\n"
        "  -j JOB-ID        Specify job ID (cancel).\n"
        "  -m DRIVER-NAME   Specify driver (add/modify): huecl-2bit, huecl-4bit, huecl-1bit,\n"
        "                   huecl-1bit-spread, huecl-earlier-1bit, huecl-earlier-diffusion.\n"
        "  -n COPIES        Specify number of copies (submit).\n"
        "  -o NAME=VALUE    Specify option (add, modify, server, submit).\n"
        "  -u URI           Specify ipp: printer or server.\n"
        "  -v DEVICE-URI    Specify device (add/modify): file:///path, socket://host, usb://...\n"
        "  --state-file FILE        The server's state ($HUECL_PRINTER_APP_STATE_FILE).\n"
        "  --spool-directory DIR    The server's spool ($HUECL_PRINTER_APP_SPOOL_DIRECTORY).\n"
        "  --socket-directory DIR   Where the local socket lives ($HUECL_PRINTER_APP_SOCKET_DIRECTORY).\n"
        "\n"
        "Server options (-o): server-name, server-port, log-file, log-level, dnssd=on|off|auto,\n"
        "max-image-size=WxH, admin-group, auth-service.\n"
        "Printer options (-o, add/modify/submit): huecl-density, huecl-balance-red, huecl-balance-green,\n"
        "huecl-balance-blue, huecl-screen, huecl-color-table=auto|model, huecl-profile=/path.icc,\n"
        "huecl-compression=exact|best,\n"
        "and the IPP ones (media, print-color-mode, print-quality, print-content-optimize, ...).");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv, argv + argc);
    try {
        arguments = huecl::app::takeLocationOptions(arguments);
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "huecl-printer-app: %s\n", error.what());
        return 1;
    }
    huecl::app::applySocketDirectory(huecl::app::locationsFromEnvironment());
    huecl::app::addFileScheme();

    std::vector<char*> remaining;
    for (std::string& argument : arguments) remaining.push_back(argument.data());
    remaining.push_back(nullptr);
    auto drivers = huecl::app::papplDrivers();
    huecl::app::SystemContext context;
    context.serving = arguments.size() > 1 && arguments[1] == "server";
    return papplMainloop(static_cast<int>(remaining.size()) - 1, remaining.data(), HUECL_VERSION_TEXT, nullptr,
                         static_cast<int>(drivers.size()), drivers.data(), nullptr, huecl::app::fillDriverData, nullptr,
                         nullptr, huecl::app::makeSystem, showUsage, &context);
}

#include "app_system.h"

#include "app_options.h"
#include "document_filters.h"
#include "image_filter.h"
#include "job_order.h"
#include "printer_driver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace huecl::app {
namespace {

constexpr const char* avahiSocket = "/run/avahi-daemon/socket";

// The state file's name must outlive the system, which saves to it until
// it is deleted.
std::string stateFile;
// Whether printers are advertised over DNS-SD.
bool advertising = false;

pappl_loglevel_t logLevelOf(const char* name) {
    if (!name) return PAPPL_LOGLEVEL_WARN;
    const std::pair<const char*, pappl_loglevel_t> levels[] = {{"fatal", PAPPL_LOGLEVEL_FATAL},
                                                               {"error", PAPPL_LOGLEVEL_ERROR},
                                                               {"warn", PAPPL_LOGLEVEL_WARN},
                                                               {"info", PAPPL_LOGLEVEL_INFO},
                                                               {"debug", PAPPL_LOGLEVEL_DEBUG}};
    for (const auto& [levelName, level] : levels)
        if (std::strcmp(name, levelName) == 0) return level;
    return PAPPL_LOGLEVEL_WARN;
}

// Inks whose levels the printer cannot know: it reports what it holds,
// never a level it would have to make up.
void reportInks(pappl_printer_t* printer, void* /*data*/) {
    pappl_supply_t inks[4] = {};
    const std::pair<pappl_supply_color_t, const char*> colours[] = {{PAPPL_SUPPLY_COLOR_CYAN, "Cyan ink"},
                                                                    {PAPPL_SUPPLY_COLOR_MAGENTA, "Magenta ink"},
                                                                    {PAPPL_SUPPLY_COLOR_YELLOW, "Yellow ink"},
                                                                    {PAPPL_SUPPLY_COLOR_BLACK, "Black ink"}};
    for (int i = 0; i < 4; ++i) {
        inks[i].color = colours[i].first;
        std::snprintf(inks[i].description, sizeof inks[i].description, "%s", colours[i].second);
        inks[i].is_consumed = true;
        inks[i].level = -1;
        inks[i].type = PAPPL_SUPPLY_TYPE_INK;
    }
    papplPrinterSetSupplies(printer, 4, inks);
}

// PAPPL 1.3's main loop sleeps up to half a minute when nothing happens,
// and only then sees a shutdown request; a timer bounds that sleep.
bool wakeMainLoop(pappl_system_t* /*system*/, void* /*data*/) { return true; }

// PAPPL calls the save callback from its main loop whenever the
// configuration changed, as it does when a job ends: the moment to release
// jobs held for a next job that never began.
bool saveState(pappl_system_t* system, void* data) {
    const bool saved = papplSystemSaveState(system, static_cast<const char*>(data));
    releaseStrandedJobs(system);
    return saved;
}

void forgetDnssd(pappl_printer_t* printer, void* /*data*/) { papplPrinterSetDNSSDName(printer, nullptr); }

void printerCreated(pappl_printer_t* printer, void* data) {
    reportInks(printer, data);
    if (!advertising) forgetDnssd(printer, data);
}

}  // namespace

bool dnssdDaemonAnswers() {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, avahiSocket, sizeof address.sun_path - 1);
    const bool answers = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return answers;
}

bool parseImageSize(const std::string& text, int& width, int& height) {
    char extra = 0;
    return std::sscanf(text.c_str(), "%dx%d%c", &width, &height, &extra) == 2 && width > 0 && height > 0 &&
           width <= 65535 && height <= 65535;
}

pappl_system_t* makeSystem(int optionCount, cups_option_t* options, void* data) {
    const bool serving = data && static_cast<const SystemContext*>(data)->serving;
    const AppLocations locations = locationsFromEnvironment();
    const char* serverName = cupsGetOption("server-name", optionCount, options);
    const char* portText = cupsGetOption("server-port", optionCount, options);
    const char* dnssd = cupsGetOption("dnssd", optionCount, options);
    const char* imageSize = cupsGetOption("max-image-size", optionCount, options);

    int port = 0;
    if (portText) {
        char* end = nullptr;
        const long value = std::strtol(portText, &end, 10);
        if (*end || value < 0 || value > 65535) {
            std::fprintf(stderr, "huecl-printer-app: bad server-port '%s'\n", portText);
            return nullptr;
        }
        port = static_cast<int>(value);
    }
    int maxWidth = 16384, maxHeight = 16384;
    if (imageSize && !parseImageSize(imageSize, maxWidth, maxHeight)) {
        std::fprintf(stderr, "huecl-printer-app: bad max-image-size '%s' (WIDTHxHEIGHT)\n", imageSize);
        return nullptr;
    }
    bool& advertise = advertising;
    if (!dnssd || std::strcmp(dnssd, "auto") == 0) {
        advertise = dnssdDaemonAnswers();
    } else if (std::strcmp(dnssd, "on") == 0 || std::strcmp(dnssd, "off") == 0) {
        advertise = std::strcmp(dnssd, "on") == 0;
    } else {
        std::fprintf(stderr, "huecl-printer-app: dnssd must be on, off or auto, not '%s'\n", dnssd);
        return nullptr;
    }

    if (::mkdir(locations.spoolDirectory.c_str(), 0700) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "huecl-printer-app: cannot make the spool folder %s: %s\n",
                     locations.spoolDirectory.c_str(), std::strerror(errno));
        return nullptr;
    }

    // No TLS: the application offers ipp: URIs alone, and makes no
    // certificates behind its administrator's back.
    const pappl_soptions_t systemOptions = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE |
                                           PAPPL_SOPTIONS_WEB_LOG | PAPPL_SOPTIONS_WEB_SECURITY | PAPPL_SOPTIONS_NO_TLS;
    pappl_system_t* system =
        papplSystemCreate(systemOptions, "huecl-printer-app", port, advertise ? "_print,_universal" : nullptr,
                          locations.spoolDirectory.c_str(), cupsGetOption("log-file", optionCount, options),
                          logLevelOf(cupsGetOption("log-level", optionCount, options)),
                          cupsGetOption("auth-service", optionCount, options), false);
    if (!system) return nullptr;
    if (const char* group = cupsGetOption("admin-group", optionCount, options)) papplSystemSetAdminGroup(system, group);
    if (serverName) papplSystemSetHostName(system, serverName);
    if (serving && !papplSystemAddListeners(system, serverName)) {
        std::fprintf(stderr, "huecl-printer-app: cannot listen on %s port %d\n", serverName ? serverName : "*", port);
        papplSystemDelete(system);
        return nullptr;
    }

    static auto drivers = papplDrivers();
    papplSystemSetPrinterDrivers(system, static_cast<int>(drivers.size()), drivers.data(), nullptr, printerCreated,
                                 fillDriverData, nullptr);
    papplSystemAddMIMEFilter(system, "application/pdf", "image/pwg-raster", printWithGhostscript, nullptr);
    papplSystemAddMIMEFilter(system, "application/postscript", "image/pwg-raster", printWithGhostscript, nullptr);
    // PAPPL streams raster documents to the raster callbacks as they
    // arrive, except for a job it holds: that one it spools, and prints
    // through a filter to the driver's format.
    papplSystemAddMIMEFilter(system, "image/pwg-raster", "application/octet-stream", printSpooledRaster, nullptr);
    papplSystemAddMIMEFilter(system, "image/urf", "application/octet-stream", printSpooledRaster, nullptr);
    papplSystemAddMIMEFilter(system, "image/jpeg", "application/octet-stream", printImage, nullptr);
    papplSystemAddMIMEFilter(system, "image/png", "application/octet-stream", printImage, nullptr);
    papplSystemSetFooterHTML(system, "huecl printer application");
    papplSystemAddTimerCallback(system, 0, 1, wakeMainLoop, nullptr);

    // The state file keeps the image limit too; an explicit option wins.
    const auto limitImages = [&] {
        papplSystemSetMaxImageSize(system, static_cast<size_t>(maxWidth) * static_cast<size_t>(maxHeight) * 3, maxWidth,
                                   maxHeight);
    };
    if (!imageSize) limitImages();
    stateFile = locations.stateFile;
    papplSystemLoadState(system, stateFile.c_str());
    adoptJobsHeldForOrder(system);
    if (imageSize) limitImages();
    papplSystemIteratePrinters(system, printerCreated, nullptr);
    if (!advertise) papplSystemSetDNSSDName(system, nullptr);
    papplSystemSetSaveCallback(system, saveState, const_cast<char*>(stateFile.c_str()));
    return system;
}

}  // namespace huecl::app

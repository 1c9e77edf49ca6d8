#include "app_options.h"

#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace huecl::app {
namespace {

struct LocationOption {
    const char* name;
    const char* variable;
};

constexpr LocationOption locationOptions[] = {{"--state-file", stateFileVariable},
                                              {"--spool-directory", spoolDirectoryVariable},
                                              {"--socket-directory", socketDirectoryVariable}};

std::string environmentValue(const char* variable) {
    const char* value = std::getenv(variable);
    return value ? value : "";
}

}  // namespace

std::vector<std::string> takeLocationOptions(const std::vector<std::string>& arguments) {
    std::vector<std::string> remaining;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const LocationOption* matched = nullptr;
        std::string value;
        for (const LocationOption& option : locationOptions) {
            const std::string name = option.name;
            if (argument == name) {
                if (i + 1 == arguments.size()) throw std::invalid_argument(name + " needs a value");
                matched = &option;
                value = arguments[++i];
            } else if (argument.rfind(name + "=", 0) == 0) {
                matched = &option;
                value = argument.substr(name.size() + 1);
            }
            if (matched) break;
        }
        // papplMainloop reads "--" on as file names; ours stop there too.
        if (argument == "--") {
            remaining.insert(remaining.end(), arguments.begin() + static_cast<std::ptrdiff_t>(i), arguments.end());
            break;
        }
        if (!matched) {
            remaining.push_back(argument);
            continue;
        }
        if (value.empty() || value.front() != '/')
            throw std::invalid_argument(std::string(matched->name) + " needs an absolute path, not '" + value + "'");
        setenv(matched->variable, value.c_str(), 1);
    }
    return remaining;
}

AppLocations locationsFromEnvironment() {
    AppLocations locations{environmentValue(stateFileVariable), environmentValue(spoolDirectoryVariable),
                           environmentValue(socketDirectoryVariable)};
    const bool root = getuid() == 0;
    if (locations.stateFile.empty()) {
        if (root) {
            locations.stateFile = "/var/lib/huecl-printer-app.state";
        } else if (const std::string config = environmentValue("XDG_CONFIG_HOME"); !config.empty()) {
            locations.stateFile = config + "/huecl-printer-app.state";
        } else if (const std::string home = environmentValue("HOME"); !home.empty()) {
            locations.stateFile = home + "/.config/huecl-printer-app.state";
        } else {
            locations.stateFile = "/tmp/huecl-printer-app" + std::to_string(getuid()) + ".state";
        }
    }
    if (locations.spoolDirectory.empty()) {
        if (root) {
            locations.spoolDirectory = "/var/spool/huecl-printer-app";
        } else {
            const std::string temporary = environmentValue("TMPDIR");
            locations.spoolDirectory = (temporary.empty() ? std::string("/tmp") : temporary) + "/huecl-printer-app" +
                                       std::to_string(getuid()) + ".d";
        }
    }
    return locations;
}

void applySocketDirectory(const AppLocations& locations) {
    if (locations.socketDirectory.empty()) return;
    setenv(getuid() == 0 ? "SNAP_COMMON" : "TMPDIR", locations.socketDirectory.c_str(), 1);
}

}  // namespace huecl::app

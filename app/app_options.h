// Where the printer application keeps its state file, its spool folder and
// its local control socket. A server and the sub-commands that talk to it
// must agree on all three, so each comes from a command-line option taken
// out before papplMainloop sees the arguments, or from the environment;
// an option is copied into the environment, where a server that a
// sub-command starts on its own finds it too.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace huecl::app {

struct AppLocations {
    std::string stateFile;
    std::string spoolDirectory;
    std::string socketDirectory;  // empty: PAPPL's own choice
};

// Environment variables of the three locations.
inline constexpr const char* stateFileVariable = "HUECL_PRINTER_APP_STATE_FILE";
inline constexpr const char* spoolDirectoryVariable = "HUECL_PRINTER_APP_SPOOL_DIRECTORY";
inline constexpr const char* socketDirectoryVariable = "HUECL_PRINTER_APP_SOCKET_DIRECTORY";

// The arguments without --state-file, --spool-directory and
// --socket-directory (each as "--name VALUE" or "--name=VALUE"), which are
// set in the environment instead. Throws std::invalid_argument for an
// option without a value or with a relative path: a server runs from
// another working folder than the client that names its files.
std::vector<std::string> takeLocationOptions(const std::vector<std::string>& arguments);

// The locations from the environment, defaults filled in: the system's
// folders for root, the user's otherwise (as PAPPL's own defaults).
AppLocations locationsFromEnvironment();

// Points PAPPL at the socket folder: PAPPL 1.3 has no setting of its own
// for it and derives the socket from SNAP_COMMON when run by root and from
// TMPDIR otherwise.
void applySocketDirectory(const AppLocations& locations);

}  // namespace huecl::app

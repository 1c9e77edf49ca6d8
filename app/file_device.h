// The file: device scheme, which PAPPL 1.3 lacks: a printer whose device
// URI is file:///path writes each job's raster containers to that file,
// replacing the last job's (as a CUPS file: queue does), and a printer
// whose path names a folder writes each job to a new file in it. A device
// touches the disk only once a job writes to it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace huecl::app {

// Registers the scheme with PAPPL; call once before any printer is made.
void addFileScheme();

// The local path of a file: URI ("file:///a/b" or "file:/a/b", with %XX
// escapes undone), or nothing for any other URI or a relative path.
std::optional<std::filesystem::path> pathOfFileUri(const std::string& uri);

// The name of a job's file in a device folder: the job name with anything
// but letters, digits, '-', '_' and '.' made '_', and a number added when
// that name is taken, so that no job replaces another's output.
std::filesystem::path jobFileIn(const std::filesystem::path& folder, const std::string& jobName);

}  // namespace huecl::app

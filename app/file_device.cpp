#include "file_device.h"

#include <pappl/pappl.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace huecl::app {
namespace {

// A job's output descriptor, kept as the device's data.
struct OpenFile {
    int fd = -1;
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Creates the file exclusively, so that two jobs never share a name.
int createJobFile(const std::filesystem::path& folder, const std::string& jobName, std::string& chosen) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::filesystem::path path = jobFileIn(folder, jobName);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) {
            chosen = path;
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

bool openFile(pappl_device_t* device, const char* uri, const char* name) {
    const std::optional<std::filesystem::path> path = pathOfFileUri(uri);
    if (!path) {
        papplDeviceError(device, "'%s' names no absolute local path.", uri);
        return false;
    }
    std::error_code ignored;
    std::string opened = *path;
    int fd;
    if (std::filesystem::is_directory(*path, ignored))
        fd = createJobFile(*path, name ? name : "job", opened);
    else
        fd = ::open(path->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        papplDeviceError(device, "Unable to open '%s': %s", opened.c_str(), std::strerror(errno));
        return false;
    }
    papplDeviceSetData(device, new OpenFile{fd});
    return true;
}

void closeFile(pappl_device_t* device) {
    auto* file = static_cast<OpenFile*>(papplDeviceGetData(device));
    if (!file) return;
    if (::close(file->fd) != 0) papplDeviceError(device, "Unable to close the output file: %s", std::strerror(errno));
    delete file;
    papplDeviceSetData(device, nullptr);
}

ssize_t writeFile(pappl_device_t* device, const void* buffer, size_t bytes) {
    auto* file = static_cast<OpenFile*>(papplDeviceGetData(device));
    const auto* next = static_cast<const char*>(buffer);
    size_t left = bytes;
    while (left > 0) {
        const ssize_t written = ::write(file->fd, next, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            papplDeviceError(device, "Unable to write to the output file: %s", std::strerror(errno));
            return -1;
        }
        next += written;
        left -= static_cast<size_t>(written);
    }
    return static_cast<ssize_t>(bytes);
}

}  // namespace

void addFileScheme() {
    papplDeviceAddScheme("file", PAPPL_DEVTYPE_FILE, nullptr, openFile, closeFile, nullptr, writeFile, nullptr,
                         nullptr);
}

std::optional<std::filesystem::path> pathOfFileUri(const std::string& uri) {
    std::string rest;
    if (uri.rfind("file://", 0) == 0) {
        rest = uri.substr(7);
        // Only the local host: "file:///path" or "file://localhost/path".
        if (rest.rfind("localhost/", 0) == 0) rest = rest.substr(9);
    } else if (uri.rfind("file:", 0) == 0) {
        rest = uri.substr(5);
    } else {
        return std::nullopt;
    }
    if (rest.empty() || rest.front() != '/') return std::nullopt;
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && hexDigit(rest[i + 1]) >= 0 && hexDigit(rest[i + 2]) >= 0) {
            path += static_cast<char>(hexDigit(rest[i + 1]) * 16 + hexDigit(rest[i + 2]));
            i += 2;
        } else if (rest[i] == '?' || rest[i] == '#') {
            break;
        } else {
            path += rest[i];
        }
    }
    // A NUL would cut the path short of what the URI says.
    if (path.find('\0') != std::string::npos) return std::nullopt;
    return std::filesystem::path(path);
}

std::filesystem::path jobFileIn(const std::filesystem::path& folder, const std::string& jobName) {
    std::string base;
    for (const char c : jobName) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || c == '.';
        base += plain ? c : '_';
    }
    // Leading dots would hide the file or climb out of the folder.
    while (!base.empty() && base.front() == '.') base.erase(base.begin());
    if (base.empty()) base = "job";
    if (base.size() > 100) base.resize(100);
    std::error_code ignored;
    std::filesystem::path candidate = folder / (base + ".hcr");
    for (int number = 2; std::filesystem::exists(candidate, ignored); ++number)
        candidate = folder / (base + "-" + std::to_string(number) + ".hcr");
    return candidate;
}

}  // namespace huecl::app

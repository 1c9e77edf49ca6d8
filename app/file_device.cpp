#include "file_device.h"

#include <pappl/pappl.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <unistd.h>

namespace huecl::app {
namespace {

// A job's output, kept as the device's data. The file is made at the
// first write: PAPPL opens the printer's device for every job it starts,
// even one that then prints through a device of its own, and a device that
// prints nothing leaves nothing behind, neither an empty file in a folder
// nor a printed file emptied.
struct OpenFile {
    std::filesystem::path path;  // the file, or the folder of the job's files
    bool folder = false;
    std::string jobName;
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

// Opens the job's file on its first write; false, reported, if it cannot.
bool createOnFirstWrite(pappl_device_t* device, OpenFile& file) {
    if (file.fd >= 0) return true;
    std::string opened = file.path;
    file.fd = file.folder ? createJobFile(file.path, file.jobName, opened)
                          : ::open(file.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file.fd >= 0) return true;
    papplDeviceError(device, "Unable to open '%s': %s", opened.c_str(), std::strerror(errno));
    return false;
}

bool openFile(pappl_device_t* device, const char* uri, const char* name) {
    const std::optional<std::filesystem::path> path = pathOfFileUri(uri);
    if (!path) {
        papplDeviceError(device, "'%s' names no absolute local path.", uri);
        return false;
    }
    std::error_code ignored;
    auto file = std::make_unique<OpenFile>();
    file->path = *path;
    file->folder = std::filesystem::is_directory(*path, ignored);
    file->jobName = name ? name : "job";
    // What cannot be written is refused now, while PAPPL can still wait
    // for it and say so, not at the job's first page.
    const std::filesystem::path& must = file->folder ? *path : path->parent_path();
    const bool writable = file->folder || !std::filesystem::exists(*path, ignored)
                              ? ::access(must.c_str(), W_OK | X_OK) == 0
                              : ::access(path->c_str(), W_OK) == 0;
    if (!writable) {
        papplDeviceError(device, "Unable to open '%s': %s", path->c_str(), std::strerror(errno));
        return false;
    }
    papplDeviceSetData(device, file.release());
    return true;
}

void closeFile(pappl_device_t* device) {
    auto* file = static_cast<OpenFile*>(papplDeviceGetData(device));
    if (!file) return;
    if (file->fd >= 0 && ::close(file->fd) != 0)
        papplDeviceError(device, "Unable to close the output file: %s", std::strerror(errno));
    delete file;
    papplDeviceSetData(device, nullptr);
}

ssize_t writeFile(pappl_device_t* device, const void* buffer, size_t bytes) {
    auto* file = static_cast<OpenFile*>(papplDeviceGetData(device));
    if (!createOnFirstWrite(device, *file)) return -1;
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

#include "output_files.h"

#include "tool_error.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace huecl::tool {
namespace fs = std::filesystem;

namespace {

// Temporary files to remove if the run is interrupted. A signal handler may
// only use what is async-signal-safe, so the names live in fixed storage and
// the handler does nothing but unlink them.
constexpr size_t maxPendingFiles = 64;
char pendingNames[maxPendingFiles][4096];
std::atomic<bool> pendingUsed[maxPendingFiles];
char createdFolderName[4096];
std::atomic<bool> createdFolderUsed;

extern "C" void removePendingFilesAndExit(int signal) {
    for (size_t i = 0; i < maxPendingFiles; ++i)
        if (pendingUsed[i].load())
            ::unlink(pendingNames[i]);
    if (createdFolderUsed.load())
        ::rmdir(createdFolderName); // fails, as it should, if anything else is in it
    ::_exit(128 + signal);
}

void installInterruptCleanup() {
    static const bool installed = [] {
        std::signal(SIGINT, removePendingFilesAndExit);
        std::signal(SIGTERM, removePendingFilesAndExit);
        std::signal(SIGHUP, removePendingFilesAndExit);
        return true;
    }();
    (void)installed;
}

size_t registerPendingName(const fs::path &path) {
    installInterruptCleanup();
    const std::string &name = path.native();
    for (size_t i = 0; i < maxPendingFiles; ++i) {
        if (pendingUsed[i].load() || name.size() >= sizeof pendingNames[i])
            continue;
        std::memcpy(pendingNames[i], name.c_str(), name.size() + 1);
        pendingUsed[i].store(true);
        return i;
    }
    return maxPendingFiles; // not tracked: only an interrupt would leave it behind
}

void forgetPendingName(size_t slot) {
    if (slot < maxPendingFiles)
        pendingUsed[slot].store(false);
}

} // namespace

PendingFile::PendingFile(fs::path finalPath, fs::path temporaryPath)
    : finalPath_(std::move(finalPath)), temporaryPath_(std::move(temporaryPath)) {
    file_ = std::fopen(temporaryPath_.c_str(), "wb");
    if (!file_)
        throw ToolError("cannot create " + finalPath_.string() + ": " + std::strerror(errno));
    interruptSlot_ = registerPendingName(temporaryPath_);
}

PendingFile::~PendingFile() {
    if (file_)
        std::fclose(file_);
    if (!committed_) {
        std::error_code ignored;
        fs::remove(temporaryPath_, ignored);
    }
    forgetPendingName(interruptSlot_);
}

void PendingFile::write(std::span<const uint8_t> bytes) {
    if (bytes.empty())
        return;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        throw ToolError("cannot write " + finalPath_.string() + ": " + std::strerror(errno));
}

void PendingFile::write(const std::string &text) {
    write(std::span(reinterpret_cast<const uint8_t *>(text.data()), text.size()));
}

void PendingFile::close() {
    if (!file_)
        return;
    const bool failed = std::fflush(file_) != 0 || std::ferror(file_) != 0;
    const int closeResult = std::fclose(file_);
    file_ = nullptr;
    if (failed || closeResult != 0)
        throw ToolError("cannot write " + finalPath_.string() + ": " + std::strerror(errno));
}

void PendingFile::commit() {
    close();
    std::error_code error;
    fs::rename(temporaryPath_, finalPath_, error);
    if (error)
        throw ToolError("cannot rename into " + finalPath_.string() + ": " + error.message());
    committed_ = true;
    forgetPendingName(interruptSlot_);
    interruptSlot_ = SIZE_MAX;
}

OutputFolder::OutputFolder(fs::path folder) : folder_(std::move(folder)) {
    installInterruptCleanup(); // before anything exists that it must clean up
    std::error_code error;
    if (fs::exists(folder_, error)) {
        if (!fs::is_directory(folder_, error))
            throw ToolError("output " + folder_.string() + " is not a folder");
        return;
    }
    createdFolder_ = fs::create_directories(folder_, error);
    if (error)
        throw ToolError("cannot create folder " + folder_.string() + ": " + error.message());
    const std::string &name = folder_.native();
    if (createdFolder_ && name.size() < sizeof createdFolderName) {
        std::memcpy(createdFolderName, name.c_str(), name.size() + 1);
        createdFolderUsed.store(true);
    }
}

OutputFolder::~OutputFolder() {
    files_.clear(); // removes the temporary files of a failed run
    if (createdFolder_)
        createdFolderUsed.store(false);
    if (!committed_ && createdFolder_) {
        std::error_code ignored;
        if (fs::is_empty(folder_, ignored))
            fs::remove(folder_, ignored);
    }
}

PendingFile &OutputFolder::create(const std::string &fileName) {
    // The process id keeps two runs into one folder from sharing a file.
    const std::string temporaryName = "." + fileName + ".part-" + std::to_string(::getpid());
    files_.push_back(std::make_unique<PendingFile>(folder_ / fileName, folder_ / temporaryName));
    return *files_.back();
}

void OutputFolder::commit() {
    for (auto &file : files_)
        file->close(); // every write error surfaces before the first rename
    for (auto &file : files_)
        file->commit();
    committed_ = true;
}

} // namespace huecl::tool

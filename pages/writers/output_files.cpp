// Output files written under a temporary name and renamed into place,
// and their removal on an interrupting signal.
#include "pages/writers/output_files.h"

#include "pages/page_error.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace huecl::pages {
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
        if (pendingUsed[i].load()) ::unlink(pendingNames[i]);
    if (createdFolderUsed.load()) ::rmdir(createdFolderName);  // fails, as it should, if anything else is in it
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

size_t registerPendingName(const fs::path& path) {
    installInterruptCleanup();
    const std::string& name = path.native();
    for (size_t i = 0; i < maxPendingFiles; ++i) {
        if (pendingUsed[i].load() || name.size() >= sizeof pendingNames[i]) continue;
        std::memcpy(pendingNames[i], name.c_str(), name.size() + 1);
        pendingUsed[i].store(true);
        return i;
    }
    return maxPendingFiles;  // not tracked: only an interrupt would leave it behind
}

void forgetPendingName(size_t slot) {
    if (slot < maxPendingFiles) pendingUsed[slot].store(false);
}

}  // namespace

namespace {

// The file a path names once symbolic links are followed, so that writing
// through a link replaces its target and leaves the link in place.
fs::path followLinks(const fs::path& path) {
    fs::path current = path;
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(current, error)) return current;
        const fs::path target = fs::read_symlink(current, error);
        if (error) return current;
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    throw PageError("cannot write " + path.string() + ": too many levels of symbolic links");
}

bool isTemporaryOf(const std::string& fileName, const std::string& name, pid_t& pid) {
    const auto marker = fileName.rfind(".part-");
    if (fileName.size() < 2 || fileName[0] != '.' || marker == std::string::npos || marker < 2) return false;
    if (!name.empty() && fileName.compare(1, marker - 1, name) != 0) return false;
    const std::string digits = fileName.substr(marker + 6);
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    pid = static_cast<pid_t>(std::stol(digits));
    return pid > 0;
}

bool processExists(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

// Whether path names the file open as standard output, as /dev/stdout does
// after "> file" or "| program": writing it anew would leave the shell's
// descriptor on a file no longer there.
bool isStandardOutputFile(const fs::path& path) {
    struct stat named {
    }, standardOutput{};
    return ::stat(path.c_str(), &named) == 0 && ::fstat(STDOUT_FILENO, &standardOutput) == 0 &&
           named.st_dev == standardOutput.st_dev && named.st_ino == standardOutput.st_ino;
}

}  // namespace

PendingFile::PendingFile(fs::path finalPath, bool readable) : finalPath_(std::move(finalPath)) {
    if (finalPath_ == "-" || isStandardOutputFile(finalPath_)) {
        file_ = stdout;
        ownsNothing_ = true;
        return;
    }
    std::error_code error;
    const auto status = fs::status(finalPath_, error);
    if (fs::is_directory(status)) throw PageError("cannot write " + finalPath_.string() + ": it is a folder");
    targetPath_ = followLinks(finalPath_);
    // A link through /proc (/dev/fd/N) names no path that could be renamed
    // onto: what it reaches is written in place, like a FIFO or a device.
    const bool reachedOnlyByTheKernel = fs::exists(status) && !fs::exists(fs::symlink_status(targetPath_, error));
    if (reachedOnlyByTheKernel) targetPath_ = finalPath_;
    const bool inPlace = fs::exists(status) && (!fs::is_regular_file(status) || reachedOnlyByTheKernel);
    if (!inPlace) {
        // The process id keeps two runs into one folder from sharing a file.
        std::string temporaryName = targetPath_.filename().string();
        temporaryName.insert(0, 1, '.');
        temporaryName.append(".part-").append(std::to_string(::getpid()));
        temporaryPath_ = targetPath_.parent_path() / temporaryName;
    }
    file_ = std::fopen((inPlace ? targetPath_ : temporaryPath_).c_str(), readable ? "w+b" : "wb");
    if (!file_) throw PageError("cannot create " + finalPath_.string() + ": " + std::strerror(errno));
    if (!inPlace) interruptSlot_ = registerPendingName(temporaryPath_);
}

PendingFile::~PendingFile() {
    if (file_ && !ownsNothing_) std::fclose(file_);
    if (!committed_ && !temporaryPath_.empty()) {
        std::error_code ignored;
        fs::remove(temporaryPath_, ignored);
    }
    forgetPendingName(interruptSlot_);
}

void PendingFile::write(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        throw PageError("cannot write " + finalPath_.string() + ": " + std::strerror(errno));
}

void PendingFile::write(const std::string& text) {
    write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void PendingFile::close() {
    if (!file_) return;
    const bool failed = std::fflush(file_) != 0 || std::ferror(file_) != 0;
    const int closeResult = ownsNothing_ ? 0 : std::fclose(file_);
    file_ = nullptr;
    if (failed || closeResult != 0)
        throw PageError("cannot write " + finalPath_.string() + ": " + std::strerror(errno));
}

void PendingFile::commit() {
    close();
    if (!temporaryPath_.empty()) {
        std::error_code error;
        fs::rename(temporaryPath_, targetPath_, error);
        if (error) throw PageError("cannot rename into " + finalPath_.string() + ": " + error.message());
    }
    committed_ = true;
    forgetPendingName(interruptSlot_);
    interruptSlot_ = SIZE_MAX;
}

void checkOutputFile(const fs::path& output, const fs::path& input, bool force) {
    if (output == "-") return;
    const bool toStandardOutput = isStandardOutputFile(output);
    struct stat outputStatus {};
    if (::stat(output.c_str(), &outputStatus) != 0)
        return;  // nothing there yet, or a dangling link: writing creates it
    struct stat inputStatus {};
    if (!input.empty() && input != "-" && ::stat(input.c_str(), &inputStatus) == 0 &&
        inputStatus.st_dev == outputStatus.st_dev && inputStatus.st_ino == outputStatus.st_ino)
        throw PageError(output.string() + " is the input file itself");
    if (S_ISDIR(outputStatus.st_mode)) throw PageError("cannot write " + output.string() + ": it is a folder");
    if (S_ISREG(outputStatus.st_mode) && !force && !toStandardOutput)
        throw PageError(output.string() + " already exists (-f or --force overwrites it)");
}

void removeStaleTemporaryFiles(const fs::path& folder, const std::string& name) {
    std::error_code error;
    for (fs::directory_iterator entry(folder.empty() ? fs::path(".") : folder, error), end; !error && entry != end;
         entry.increment(error)) {
        pid_t pid = 0;
        if (isTemporaryOf(entry->path().filename().string(), name, pid) && pid != ::getpid() && !processExists(pid) &&
            entry->is_regular_file(error)) {
            std::error_code ignored;
            fs::remove(entry->path(), ignored);
        }
    }
}

OutputFolder::OutputFolder(fs::path folder, bool force) : folder_(std::move(folder)), force_(force) {
    if (folder_ == "-") throw PageError("an output folder cannot be standard output (-o -)");
    installInterruptCleanup();  // before anything exists that it must clean up
    std::error_code error;
    if (fs::exists(folder_, error)) {
        if (!fs::is_directory(folder_, error)) throw PageError("output " + folder_.string() + " is not a folder");
        removeStaleTemporaryFiles(folder_);
        // The earlier run's list is read before anything of this run lands.
        std::ifstream manifest(folder_ / manifestName);
        for (std::string name; std::getline(manifest, name);) earlierNames_.push_back(name);
        return;
    }
    createdFolder_ = fs::create_directories(folder_, error);
    if (error) throw PageError("cannot create folder " + folder_.string() + ": " + error.message());
    const std::string& name = folder_.native();
    if (createdFolder_ && name.size() < sizeof createdFolderName) {
        std::memcpy(createdFolderName, name.c_str(), name.size() + 1);
        createdFolderUsed.store(true);
    }
}

OutputFolder::~OutputFolder() {
    files_.clear();  // removes the temporary files of a failed run
    if (createdFolder_) createdFolderUsed.store(false);
    if (!committed_ && createdFolder_) {
        std::error_code ignored;
        if (fs::is_empty(folder_, ignored)) fs::remove(folder_, ignored);
    }
}

void OutputFolder::keepInput(const fs::path& input) {
    struct stat status {};
    if (input != "-" && ::stat(input.c_str(), &status) == 0) inputs_.emplace_back(status.st_dev, status.st_ino);
}

bool OutputFolder::isInput(const fs::path& path) const {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return false;
    return std::find(inputs_.begin(), inputs_.end(), std::pair(status.st_dev, status.st_ino)) != inputs_.end();
}

PendingFile& OutputFolder::create(const std::string& baseName, bool readable) {
    const std::string fileName = namePrefix_ + baseName;
    if (isInput(folder_ / fileName)) throw PageError((folder_ / fileName).string() + " is the input file itself");
    // A regular file (or a link to one) that no earlier run wrote is the
    // user's own. What is no regular file is written in place, as ever.
    struct stat status {};
    const bool earlierRunWrote = fileName == manifestName ||
                                 std::find(earlierNames_.begin(), earlierNames_.end(), fileName) != earlierNames_.end();
    if (!force_ && !earlierRunWrote && ::stat((folder_ / fileName).c_str(), &status) == 0 && S_ISREG(status.st_mode))
        throw PageError((folder_ / fileName).string() +
                        " is not a file huecl wrote there, and would be replaced (-f or --force replaces it)");
    files_.push_back(std::make_unique<PendingFile>(folder_ / fileName, readable));
    names_.push_back(fileName);
    return *files_.back();
}

void OutputFolder::commit() {
    std::string manifest;
    for (const auto& name : names_) manifest += name + "\n";
    // An earlier run's file kept as this run's input is still the tool's.
    for (const auto& name : earlierNames_)
        if (std::find(names_.begin(), names_.end(), name) == names_.end() && name.find('/') == std::string::npos &&
            !name.empty() && isInput(folder_ / name))
            manifest += name + "\n";
    namePrefix_.clear();  // the list is the folder's, whatever page came last
    create(manifestName).write(manifest);
    for (auto& file : files_) file->close();  // every write error surfaces before the first rename
    for (auto& file : files_) file->commit();
    committed_ = true;
    for (const auto& name : earlierNames_) {
        // Only plain names of the folder itself: a damaged list must not
        // reach outside it.
        const bool plainName = !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
        if (!plainName || std::find(names_.begin(), names_.end(), name) != names_.end() || isInput(folder_ / name))
            continue;
        std::error_code error;
        if (!fs::is_directory(fs::symlink_status(folder_ / name, error))) fs::remove(folder_ / name, error);
    }
}

}  // namespace huecl::pages

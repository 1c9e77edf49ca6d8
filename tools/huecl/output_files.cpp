#include "output_files.h"

#include "tool_error.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace huecl::tool {
namespace fs = std::filesystem;

PendingFile::PendingFile(fs::path finalPath, fs::path temporaryPath)
    : finalPath_(std::move(finalPath)), temporaryPath_(std::move(temporaryPath)) {
    file_ = std::fopen(temporaryPath_.c_str(), "wb");
    if (!file_)
        throw ToolError("cannot create " + finalPath_.string() + ": " + std::strerror(errno));
}

PendingFile::~PendingFile() {
    if (file_)
        std::fclose(file_);
    if (!committed_) {
        std::error_code ignored;
        fs::remove(temporaryPath_, ignored);
    }
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
}

OutputFolder::OutputFolder(fs::path folder) : folder_(std::move(folder)) {
    std::error_code error;
    if (fs::exists(folder_, error)) {
        if (!fs::is_directory(folder_, error))
            throw ToolError("output " + folder_.string() + " is not a folder");
        return;
    }
    createdFolder_ = fs::create_directories(folder_, error);
    if (error)
        throw ToolError("cannot create folder " + folder_.string() + ": " + error.message());
}

OutputFolder::~OutputFolder() {
    files_.clear(); // removes the temporary files of a failed run
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

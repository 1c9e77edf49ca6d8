// Output that appears all at once or not at all. Every file is written under
// a temporary name in the output folder and renamed into place only when the
// whole command has succeeded, so a failure never leaves a half-written
// raster or image behind; on SIGINT, SIGTERM or SIGHUP the temporary files
// are removed before the process ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace huecl::tool {

// One file being written; removed again unless its OutputFolder commits.
class PendingFile {
public:
    PendingFile(std::filesystem::path finalPath, std::filesystem::path temporaryPath);
    ~PendingFile();
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    void write(std::span<const uint8_t> bytes);
    void write(const std::string &text);
    std::FILE *stream() { return file_; } // for libraries that write through a FILE*
    const std::filesystem::path &finalPath() const { return finalPath_; }

    // Flushes and closes; reports a full disk here rather than never.
    void close();
    void commit();

private:
    std::filesystem::path finalPath_;
    std::filesystem::path temporaryPath_;
    std::FILE *file_ = nullptr;
    bool committed_ = false;
    size_t interruptSlot_ = SIZE_MAX;
};

// The output folder of one command. Creates the folder if needed and removes
// it again on failure if it created it and nothing else is in it.
class OutputFolder {
public:
    explicit OutputFolder(std::filesystem::path folder);
    ~OutputFolder();
    OutputFolder(const OutputFolder &) = delete;
    OutputFolder &operator=(const OutputFolder &) = delete;

    PendingFile &create(const std::string &fileName);
    // Closes every file and renames all of them into place.
    void commit();
    const std::filesystem::path &path() const { return folder_; }

private:
    std::filesystem::path folder_;
    bool createdFolder_ = false;
    bool committed_ = false;
    std::vector<std::unique_ptr<PendingFile>> files_;
};

} // namespace huecl::tool

// Output that never destroys what it replaces. A regular file is written
// under a temporary name beside it and renamed into place only when the whole
// command has succeeded, so a failure never leaves a half-written raster or
// image behind; on SIGINT, SIGTERM or SIGHUP the temporary files are removed
// before the process ends. What is not a regular file keeps its identity:
// "-" is standard output, a FIFO or device is written in place, and a
// symbolic link is written through to the file it names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace huecl::pages {

// One file being written; a temporary one is removed again unless committed.
class PendingFile {
public:
    // readable: opened for reading too, for writers that read back what they
    // wrote (a TIFF's directory chain).
    explicit PendingFile(std::filesystem::path finalPath, bool readable = false);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    void write(std::span<const std::uint8_t> bytes);
    void write(const std::string& text);
    std::FILE* stream() { return file_; }  // for libraries that write through a FILE*
    const std::filesystem::path& finalPath() const { return finalPath_; }
    bool isStandardOutput() const { return ownsNothing_; }

    // Flushes and closes; reports a full disk here rather than never.
    void close();
    void commit();

private:
    std::filesystem::path finalPath_;      // as the user named it, for messages
    std::filesystem::path targetPath_;     // with symbolic links followed
    std::filesystem::path temporaryPath_;  // empty when written in place
    std::FILE* file_ = nullptr;
    bool ownsNothing_ = false;  // standard output: flushed, never closed
    bool committed_ = false;
    size_t interruptSlot_ = SIZE_MAX;
};

// Checks a single output file before anything is written to it: refuses the
// input itself, a folder, and an existing regular file unless force is set.
// input may be empty (standard input).
void checkOutputFile(const std::filesystem::path& output, const std::filesystem::path& input, bool force);

// Removes ".NAME.part-PID" files of processes that no longer exist; with an
// empty name, those of any name.
void removeStaleTemporaryFiles(const std::filesystem::path& folder, const std::string& name = {});

// The output folder of one command. Creates the folder if needed and removes
// it again on failure if it created it and nothing else is in it. On commit,
// what an earlier run of the tool wrote there and this run did not write is
// removed, so that the folder holds one run's results only; files the tool
// never wrote are left alone, and are not replaced either: create() refuses
// a name that holds a regular file no earlier run wrote, unless force is set.
class OutputFolder {
public:
    explicit OutputFolder(std::filesystem::path folder, bool force = false);
    ~OutputFolder();
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    // The run's input, if it lies in the folder, is neither replaced by a
    // file of the run (create() refuses that name) nor removed as an
    // earlier run's file.
    void keepInput(const std::filesystem::path& input);

    // Throws PageError for the input itself and for a file of the user's
    // (see above).
    PendingFile& create(const std::string& fileName, bool readable = false);
    // Puts prefix before the names of the files created from now on (the
    // pages of a document: "page-2-").
    void setNamePrefix(std::string prefix) { namePrefix_ = std::move(prefix); }
    // Closes every file and renames all of them into place.
    void commit();
    const std::filesystem::path& path() const { return folder_; }

    // The hidden list of the files a run wrote, one name per line.
    static constexpr const char* manifestName = ".huecl-outputs";

private:
    std::filesystem::path folder_;
    bool force_ = false;
    std::vector<std::string> earlierNames_;  // the earlier run's list
    bool createdFolder_ = false;
    bool committed_ = false;
    std::vector<std::string> names_;
    std::vector<std::pair<dev_t, ino_t>> inputs_;
    bool isInput(const std::filesystem::path& path) const;
    std::vector<std::unique_ptr<PendingFile>> files_;
    std::string namePrefix_;
};

}  // namespace huecl::pages

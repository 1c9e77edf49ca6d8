// Input files and standard input alike. "-" is standard input; any input is
// opened once, so that a pipe is read once. A reader that needs to know the
// format before choosing its parser peeks at the first bytes, and the parser
// then reads the stream from its start, peeked bytes included.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace huecl::pages {

struct InputCloser {
    void operator()(std::FILE* file) const;
};
using InputHandle = std::unique_ptr<std::FILE, InputCloser>;

struct InputStream {
    InputHandle file;
    std::string name;  // the path as given, or "standard input"
};

bool isStandardStream(const std::filesystem::path& path);

// Opens path for reading; throws PageError naming it if that fails or if it
// is a folder.
InputStream openInput(const std::filesystem::path& path);

// Returns up to count first bytes and leaves the stream at its start again:
// a file seeks back, a pipe replays them. Call before anything else reads.
std::vector<std::uint8_t> peekInput(InputStream& input, size_t count);

// The size of a regular file behind the stream, 0 if unknown (a pipe).
std::uint64_t inputSize(const InputStream& input);

}  // namespace huecl::pages

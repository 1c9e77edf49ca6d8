// Opening a file or standard input once, and peeking at its first bytes
// without losing them for the parser.
#include "pages/readers/input_stream.h"

#include "pages/page_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace huecl::pages {
namespace {

// A stream that first gives back the bytes peeked from a pipe, then the rest
// of the pipe.
struct ReplayedStream {
    std::vector<std::uint8_t> peeked;
    size_t replayed = 0;
    std::FILE* rest = nullptr;
};

ssize_t readReplayed(void* cookie, char* buffer, size_t size) {
    auto* stream = static_cast<ReplayedStream*>(cookie);
    if (stream->replayed < stream->peeked.size()) {
        const size_t count = std::min(size, stream->peeked.size() - stream->replayed);
        std::memcpy(buffer, stream->peeked.data() + stream->replayed, count);
        stream->replayed += count;
        return static_cast<ssize_t>(count);
    }
    const size_t got = std::fread(buffer, 1, size, stream->rest);
    return got == 0 && std::ferror(stream->rest) ? -1 : static_cast<ssize_t>(got);
}

int closeReplayed(void* cookie) {
    auto* stream = static_cast<ReplayedStream*>(cookie);
    InputCloser()(stream->rest);
    delete stream;
    return 0;
}

}  // namespace

void InputCloser::operator()(std::FILE* file) const {
    if (file && file != stdin) std::fclose(file);
}

bool isStandardStream(const std::filesystem::path& path) { return path == "-"; }

InputStream openInput(const std::filesystem::path& path) {
    if (isStandardStream(path)) return {InputHandle(stdin), "standard input"};
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) throw PageError(path.string() + " is a folder, not a file");
    InputHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) throw PageError("cannot open " + path.string() + ": " + std::strerror(errno));
    return {std::move(file), path.string()};
}

std::vector<std::uint8_t> peekInput(InputStream& input, size_t count) {
    std::FILE* file = input.file.get();
    const long start = std::ftell(file);
    std::vector<std::uint8_t> bytes(count);
    bytes.resize(std::fread(bytes.data(), 1, count, file));
    if (std::ferror(file)) throw PageError("cannot read " + input.name + ": " + std::strerror(errno));
    if (start >= 0 && std::fseek(file, start, SEEK_SET) == 0) return bytes;
    // A pipe cannot seek back: later reads replay the peeked bytes first.
    std::clearerr(file);
    auto* replayed = new ReplayedStream{bytes, 0, input.file.release()};
    std::FILE* stream = fopencookie(replayed, "rb", {readReplayed, nullptr, nullptr, closeReplayed});
    if (!stream) {
        input.file.reset(replayed->rest);
        delete replayed;
        throw PageError("cannot read " + input.name + ": " + std::strerror(errno));
    }
    input.file.reset(stream);
    return bytes;
}

std::uint64_t inputSize(const InputStream& input) {
    struct stat status {};
    const int descriptor = ::fileno(input.file.get());
    if (descriptor < 0 || ::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) return 0;
    return static_cast<std::uint64_t>(status.st_size);
}

}  // namespace huecl::pages

#include "commands.h"

#include "lzs_codec.h"
#include "output_files.h"
#include "tool_error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace huecl::tool {

void runLzs(const LzsCommand &command) {
    const std::string inName = command.input.string();
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> in(std::fopen(command.input.c_str(), "rb"), &std::fclose);
    if (!in)
        throw ToolError("cannot open " + inName + ": " + std::strerror(errno));
    if (command.output.filename().empty())
        throw ToolError("output " + command.output.string() + " names no file");
    checkOutputFile(command.output, command.input, command.force);
    removeStaleTemporaryFiles(command.output.parent_path(), command.output.filename().string());
    PendingFile out(command.output);
    const auto write = [&out](std::span<const uint8_t> bytes) { out.write(bytes); };
    const StreamTotals totals = command.compress
                                    ? compressFile(in.get(), inName, command.bufferBytes, command.budget, write)
                                    : decompressFile(in.get(), inName, command.bufferBytes, write);
    out.commit();
    std::printf("%llu bytes in, %llu bytes out\n", static_cast<unsigned long long>(totals.bytesIn),
                static_cast<unsigned long long>(totals.bytesOut));
}

} // namespace huecl::tool

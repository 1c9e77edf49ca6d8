#include "commands.h"

#include "pages/readers/input_stream.h"
#include "pages/lzs_codec.h"
#include "pages/writers/output_files.h"
#include "progress_bar.h"
#include "pages/page_error.h"

#include <cstdio>
#include <unistd.h>

namespace huecl::tool {

using namespace huecl::pages;

void runLzs(const LzsCommand& command) {
    InputStream in = openInput(command.input);
    if (!isStandardStream(command.output) && command.output.filename().empty())
        throw PageError("output " + command.output.string() + " names no file");
    checkOutputFile(command.output, command.input, command.force);
    if (!isStandardStream(command.output))
        removeStaleTemporaryFiles(command.output.parent_path(), command.output.filename().string());
    PendingFile out(command.output);
    // "-" or a name of it such as /dev/stdout.
    const bool toStandardOutput = out.isStandardOutput();
    if (toStandardOutput && command.compress && !command.force && ::isatty(STDOUT_FILENO))
        throw PageError("compressed data is not written to a terminal (-f or --force writes it)");
    const auto write = [&out](std::span<const std::uint8_t> bytes) { out.write(bytes); };
    ProgressBar progress(command.compress ? "huecl lzs compress" : "huecl lzs decompress", inputSize(in),
                         !command.quiet, ProgressBar::Unit::bytes);
    LzsFileOptions options;
    options.bufferBytes = command.bufferBytes;
    options.budget = command.budget;
    options.framed = !command.raw;
    options.encoder = command.best ? LzsEncoder::best : LzsEncoder::exact;
    options.onInput = [&progress](std::uint64_t bytesRead) { progress.advanceTo(bytesRead); };
    const StreamTotals totals = command.compress ? compressFile(in.file.get(), in.name, options, write)
                                                 : decompressFile(in.file.get(), in.name, options, write);
    out.commit();
    progress.finish();
    // With the data on standard output, the counts go to standard error.
    if (toStandardOutput && command.quiet) return;
    std::fprintf(toStandardOutput ? stderr : stdout, "%llu bytes in, %llu bytes out\n",
                 static_cast<unsigned long long>(totals.bytesIn), static_cast<unsigned long long>(totals.bytesOut));
}

}  // namespace huecl::tool

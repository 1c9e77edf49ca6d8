#include "pages/readers/input_stream.h"
#include "pages/tests/pipe_input.h"
#include "pages/tests/temporary_folder.h"
#include "pages/page_error.h"

#include <gtest/gtest.h>

namespace huecl::pages {
namespace {

using testing::TemporaryFolder;

std::string readAll(InputStream& input) {
    std::string bytes;
    for (int c; (c = std::fgetc(input.file.get())) != EOF;) bytes.push_back(static_cast<char>(c));
    return bytes;
}

TEST(PeekedInput, ReadsFromTheStartAfterAPeek) {
    TemporaryFolder folder;
    const std::string contents[] = {"", "P6", "\x89PNG\r\n\x1a\n", std::string(70000, 'x') + "end"};
    for (const auto& content : contents)
        for (const bool fromPipe : {false, true}) {
            InputStream input = fromPipe ? testing::pipeWith(content) : openInput(folder.writeFile("in", content));
            const auto peeked = peekInput(input, 8);
            EXPECT_EQ(std::string(peeked.begin(), peeked.end()), content.substr(0, 8)) << fromPipe;
            EXPECT_EQ(readAll(input), content) << "from a pipe: " << fromPipe << ", " << content.size() << " bytes";
            EXPECT_EQ(inputSize(input), fromPipe ? 0u : content.size());
            testing::reapPipeWriters();
        }
}

TEST(PeekedInput, NamesWhatCannotBeOpened) {
    TemporaryFolder folder;
    const auto missing = (folder / "missing").string();
    try {
        openInput(missing);
        FAIL() << "a missing file opened";
    } catch (const PageError& error) {
        EXPECT_EQ(std::string(error.what()), "cannot open " + missing + ": No such file or directory");
    }
    EXPECT_THROW(openInput(folder.path()), PageError);
    EXPECT_EQ(openInput("-").name, "standard input");
}

}  // namespace
}  // namespace huecl::pages

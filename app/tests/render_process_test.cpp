// The renderer's child process: its output, its messages, its end, and
// that it takes none of the server's descriptors along.
#include "render_process.h"

#include "pages/page_error.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace huecl::app {
namespace {

std::string readAll(int fd) {
    std::string text;
    char buffer[256];
    for (ssize_t count; (count = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, count);
    return text;
}

TEST(RenderProcess, HandsOverOutputMessagesAndExitStatus) {
    RenderProcess process({"sh", "-c", "printf raster; echo 'Error: no such page' >&2; echo done >&2; exit 3"});
    EXPECT_EQ(readAll(process.output()), "raster");
    EXPECT_EQ(process.wait(), 3);
    EXPECT_EQ(process.messages(), "Error: no such page\ndone\n");
    EXPECT_EQ(failureLine(process.messages()), "Error: no such page");
}

TEST(RenderProcess, StopsWhenAskedAndSaysHow) {
    const auto start = std::chrono::steady_clock::now();
    RenderProcess process({"sleep", "30"});
    process.stop();
    EXPECT_EQ(process.wait(), 128 + SIGTERM);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(RenderProcess, TakesNoneOfTheServersDescriptors) {
    int held[2];
    ASSERT_EQ(::pipe(held), 0);  // inheritable, as a careless library's
    {
        RenderProcess process({"sleep", "2"});
        ::close(held[1]);
        // Only a child that kept the write end would keep the pipe open.
        pollfd ready{held[0], POLLIN, 0};
        EXPECT_EQ(::poll(&ready, 1, 1000), 1);
        EXPECT_EQ(readAll(held[0]), "");
        process.stop();
    }
    ::close(held[0]);
}

TEST(RenderProcess, AMissingProgramIsAnErrorNamingIt) {
    try {
        RenderProcess process({"huecl-no-such-renderer"});
        // posix_spawnp may report the failure through the child's exit.
        EXPECT_EQ(process.wait(), 127);
    } catch (const pages::PageError& error) {
        EXPECT_NE(std::string(error.what()).find("huecl-no-such-renderer"), std::string::npos);
    }
}

TEST(FailureLine, PrefersTheLastErrorOverTrailingChatter) {
    EXPECT_EQ(failureLine("Page 1\n   **** Error: syntax error\nfrom pdf\n"), "**** Error: syntax error");
    EXPECT_EQ(failureLine("one\ntwo\n\n"), "two");
    EXPECT_EQ(failureLine("Error: /undefined in foo\nGPL Ghostscript: Unrecoverable error, exit code 1\nINFO: done\n"),
              "Error: /undefined in foo");
    EXPECT_EQ(failureLine(""), "");
}

}  // namespace
}  // namespace huecl::app

// An input stream that cannot seek: the read end of a pipe fed by a child
// process, which ends (on SIGPIPE if need be) when the reader stops.
#pragma once

#include "pages/readers/input_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace huecl::pages::testing {

inline InputStream pipeWith(const std::string& content, const std::string& name = "pipe") {
    int ends[2];
    EXPECT_EQ(::pipe(ends), 0);
    if (::fork() == 0) {
        ::close(ends[0]);
        // Two writes, so that a reader sees the content arrive in pieces.
        const size_t half = content.size() / 2;
        (void)!::write(ends[1], content.data(), half);
        ::usleep(1000);
        (void)!::write(ends[1], content.data() + half, content.size() - half);
        ::_exit(0);
    }
    ::close(ends[1]);
    return {InputHandle(::fdopen(ends[0], "rb")), name};
}

// Waits for every child pipeWith started.
inline void reapPipeWriters() {
    while (::wait(nullptr) > 0) {}
}

}  // namespace huecl::pages::testing

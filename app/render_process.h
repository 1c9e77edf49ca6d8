// A renderer run as a child process: its raster comes from its standard
// output through a pipe, its messages from its standard error are kept for
// the job's error, and it inherits no other descriptor of the server.
#pragma once

#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace huecl::app {

class RenderProcess {
public:
    // Starts arguments[0] (found on PATH). Throws PageError when it cannot.
    explicit RenderProcess(const std::vector<std::string>& arguments);
    // Stops the process if it still runs and waits for it.
    ~RenderProcess();
    RenderProcess(const RenderProcess&) = delete;
    RenderProcess& operator=(const RenderProcess&) = delete;

    // The read end of the process's standard output.
    int output() const { return output_; }
    // Asks the process to stop (SIGTERM), as for a cancelled job.
    void stop();
    // Waits for the process to end; its exit status, or 128 plus the
    // signal that ended it. Closes the output first, so that a process
    // still writing ends with a broken pipe instead of waiting forever.
    int wait();
    // The last of what the process wrote to its standard error, after
    // wait().
    const std::string& messages() const { return messages_; }

private:
    pid_t pid_ = -1;
    int output_ = -1;
    int errors_ = -1;
    std::thread errorReader_;
    std::string messages_;
    int status_ = -1;
};

// The line of a renderer's messages that says why it failed: the last one
// that says "Error", else "error", else the last one but progress notes.
std::string failureLine(const std::string& messages);

}  // namespace huecl::app

#include "render_process.h"

#include "pages/page_error.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace huecl::app {
namespace {

// Enough of the messages to find the error in them.
constexpr size_t keptMessageBytes = 16384;

void closeDescriptor(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

RenderProcess::RenderProcess(const std::vector<std::string>& arguments) {
    int outputPipe[2], errorPipe[2];
    if (::pipe2(outputPipe, O_CLOEXEC) != 0)
        throw pages::PageError(std::string("cannot make a pipe for the renderer: ") + std::strerror(errno));
    if (::pipe2(errorPipe, O_CLOEXEC) != 0) {
        ::close(outputPipe[0]), ::close(outputPipe[1]);
        throw pages::PageError(std::string("cannot make a pipe for the renderer: ") + std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outputPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errorPipe[1], 2);
    // The server's sockets and spool files stay the server's.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const int error = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outputPipe[1]);
    ::close(errorPipe[1]);
    output_ = outputPipe[0];
    errors_ = errorPipe[0];
    if (error != 0) {
        pid_ = -1;
        closeDescriptor(output_);
        closeDescriptor(errors_);
        throw pages::PageError("cannot run " + arguments.front() + ": " + std::strerror(error));
    }
    errorReader_ = std::thread([this] {
        char buffer[4096];
        ssize_t count;
        while ((count = ::read(errors_, buffer, sizeof buffer)) != 0) {
            if (count < 0) {
                if (errno == EINTR) continue;
                break;
            }
            messages_.append(buffer, static_cast<size_t>(count));
            if (messages_.size() > 2 * keptMessageBytes) messages_.erase(0, messages_.size() - keptMessageBytes);
        }
    });
}

RenderProcess::~RenderProcess() {
    if (status_ < 0 && pid_ > 0) {
        stop();
        wait();
    }
    closeDescriptor(output_);
    if (errorReader_.joinable()) errorReader_.join();
    closeDescriptor(errors_);
}

void RenderProcess::stop() {
    if (pid_ > 0 && status_ < 0) ::kill(pid_, SIGTERM);
}

int RenderProcess::wait() {
    if (status_ >= 0 || pid_ <= 0) return status_;
    closeDescriptor(output_);
    int raw = 0;
    while (::waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {}
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    if (errorReader_.joinable()) errorReader_.join();
    closeDescriptor(errors_);
    return status_;
}

std::string failureLine(const std::string& messages) {
    // Renderers say "Error" where it went wrong and "error" again in their
    // closing words; the first kind tells the user more.
    std::string last, lastError, lastCapitalError;
    size_t start = 0;
    while (start < messages.size()) {
        size_t end = messages.find('\n', start);
        if (end == std::string::npos) end = messages.size();
        std::string line = messages.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        line.erase(0, line.find_first_not_of(' '));
        if (!line.empty() && line.rfind("INFO:", 0) != 0) {
            last = line;
            if (line.find("error") != std::string::npos) lastError = line;
            if (line.find("Error") != std::string::npos) lastCapitalError = line;
        }
        start = end + 1;
    }
    return !lastCapitalError.empty() ? lastCapitalError : !lastError.empty() ? lastError : last;
}

}  // namespace huecl::app

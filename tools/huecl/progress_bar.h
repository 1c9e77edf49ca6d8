// A progress bar on a terminal, nothing otherwise.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace huecl::tool {

class ProgressBar {
public:
    // Shown only when enabled and standard error is a terminal.
    ProgressBar(std::string label, uint32_t total, bool enabled);
    ~ProgressBar();
    ProgressBar(const ProgressBar &) = delete;
    ProgressBar &operator=(const ProgressBar &) = delete;

    void advance();

private:
    void draw() const;
    std::string label_;
    uint32_t total_;
    uint32_t done_ = 0;
    bool visible_;
    std::chrono::steady_clock::time_point lastDraw_{};
};

} // namespace huecl::tool

// A progress bar on a terminal, nothing otherwise.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace huecl::tool {

class ProgressBar {
public:
    enum class Unit { items, bytes };

    // Shown only when enabled, the total is known (not 0) and standard error
    // is a terminal.
    ProgressBar(std::string label, std::uint64_t total, bool enabled, Unit unit = Unit::items);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void advance() { advanceTo(done_ + 1); }
    void advanceTo(std::uint64_t done);
    // Clears the bar's line, so that what follows starts on a clean one.
    void finish();

private:
    void draw() const;
    std::string label_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
    Unit unit_;
    bool visible_;
    std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace huecl::tool

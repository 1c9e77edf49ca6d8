// Seconds spent per pipeline stage, summed over bands and threads.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <string_view>

namespace huecl::tool {

enum class Stage : size_t { read, rgb, match, cmyk, dither, compress, preview, write, count };

inline constexpr std::array<std::string_view, static_cast<size_t>(Stage::count)> stageNames{
    "read", "rgb", "match", "cmyk", "dither", "lzs", "preview", "write"};

struct StageTimes {
    std::array<double, static_cast<size_t>(Stage::count)> seconds{};

    double &operator[](Stage stage) { return seconds[static_cast<size_t>(stage)]; }
    double operator[](Stage stage) const { return seconds[static_cast<size_t>(stage)]; }
    StageTimes &operator+=(const StageTimes &other) {
        for (size_t i = 0; i < seconds.size(); ++i)
            seconds[i] += other.seconds[i];
        return *this;
    }
};

// Adds the time from construction to destruction to one stage.
class StageTimer {
public:
    StageTimer(StageTimes &times, Stage stage) : times_(times), stage_(stage), start_(Clock::now()) {}
    ~StageTimer() { times_[stage_] += std::chrono::duration<double>(Clock::now() - start_).count(); }
    StageTimer(const StageTimer &) = delete;
    StageTimer &operator=(const StageTimer &) = delete;

private:
    using Clock = std::chrono::steady_clock;
    StageTimes &times_;
    Stage stage_;
    Clock::time_point start_;
};

} // namespace huecl::tool

// Seconds spent per pipeline stage, summed over bands and threads. They are
// the CPU time of the thread doing the work, so that other processes on a
// shared machine do not inflate them; the wall time is measured separately.
#pragma once

#include <array>
#include <ctime>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace huecl::pages {

enum class Stage : size_t { read, rgb, match, cmyk, dither, compress, preview, write, count };

inline constexpr std::array<std::string_view, static_cast<size_t>(Stage::count)> stageNames{
    "read", "rgb", "match", "cmyk", "dither", "lzs", "preview", "write"};

struct StageTimes {
    std::array<double, static_cast<size_t>(Stage::count)> seconds{};

    double& operator[](Stage stage) { return seconds[static_cast<size_t>(stage)]; }
    double operator[](Stage stage) const { return seconds[static_cast<size_t>(stage)]; }
    StageTimes& operator+=(const StageTimes& other) {
        for (size_t i = 0; i < seconds.size(); ++i) seconds[i] += other.seconds[i];
        return *this;
    }
};

inline double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Adds the thread's CPU time from construction to destruction to one stage.
class StageTimer {
public:
    StageTimer(StageTimes& times, Stage stage) : times_(times), stage_(stage), start_(threadCpuSeconds()) {}
    ~StageTimer() { times_[stage_] += threadCpuSeconds() - start_; }
    StageTimer(const StageTimer&) = delete;
    StageTimer& operator=(const StageTimer&) = delete;

private:
    StageTimes& times_;
    Stage stage_;
    double start_;
};

// Runs work(row) for each row of a band, timed once for the band as one
// stage: reading a thread's CPU clock for every row and stage cost as much
// as the colour adjustment itself.
template <typename RowWork>
void timeRows(StageTimes& times, Stage stage, std::uint32_t rows, RowWork&& work) {
    StageTimer timer(times, stage);
    for (std::uint32_t row = 0; row < rows; ++row) work(row);
}

}  // namespace huecl::pages

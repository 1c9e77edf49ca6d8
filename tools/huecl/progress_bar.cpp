#include "progress_bar.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <unistd.h>

namespace huecl::tool {

ProgressBar::ProgressBar(std::string label, std::uint64_t total, bool enabled, Unit unit)
    : label_(std::move(label)), total_(total), unit_(unit), visible_(enabled && total > 0 && ::isatty(STDERR_FILENO)) {
    if (visible_) draw();
}

ProgressBar::~ProgressBar() { finish(); }

void ProgressBar::finish() {
    if (visible_) std::fprintf(stderr, "\r%*s\r", 79, "");
    visible_ = false;
}

void ProgressBar::advanceTo(std::uint64_t done) {
    done_ = std::min(done, total_);
    if (!visible_) return;
    // Redrawing on every step would cost more than small steps take.
    const auto now = std::chrono::steady_clock::now();
    if (done_ < total_ && now - lastDraw_ < std::chrono::milliseconds(50)) return;
    lastDraw_ = now;
    draw();
}

void ProgressBar::draw() const {
    constexpr std::uint64_t width = 40;
    std::string bar(static_cast<size_t>(done_ * width / total_), '#');
    bar.resize(width, '.');
    const auto percent = static_cast<unsigned>(done_ * 100 / total_);
    const bool large = total_ >= 10 * 1048576;
    const double scale = large ? 1048576.0 : 1024.0;
    if (unit_ == Unit::bytes)
        std::fprintf(stderr, "\r%s [%s] %3u%% %.1f/%.1f %s", label_.c_str(), bar.c_str(), percent,
                     static_cast<double>(done_) / scale, static_cast<double>(total_) / scale, large ? "MiB" : "KiB");
    else
        std::fprintf(stderr, "\r%s [%s] %3u%% %" PRIu64 "/%" PRIu64, label_.c_str(), bar.c_str(), percent, done_,
                     total_);
    std::fflush(stderr);
}

}  // namespace huecl::tool

#include "progress_bar.h"

#include <cstdio>
#include <unistd.h>

namespace huecl::tool {

ProgressBar::ProgressBar(std::string label, uint32_t total, bool enabled)
    : label_(std::move(label)), total_(total), visible_(enabled && total > 0 && ::isatty(STDERR_FILENO)) {
    if (visible_)
        draw();
}

ProgressBar::~ProgressBar() {
    if (visible_)
        std::fprintf(stderr, "\r%*s\r", 72, ""); // leave the line clean for the summary
}

void ProgressBar::advance() {
    ++done_;
    if (!visible_)
        return;
    // Redrawing on every band would cost more than small bands take.
    const auto now = std::chrono::steady_clock::now();
    if (done_ < total_ && now - lastDraw_ < std::chrono::milliseconds(50))
        return;
    lastDraw_ = now;
    draw();
}

void ProgressBar::draw() const {
    constexpr uint32_t width = 40;
    const uint32_t filled = total_ ? done_ * width / total_ : width;
    std::string bar(filled, '#');
    bar.resize(width, '.');
    std::fprintf(stderr, "\r%s [%s] %3u%% %u/%u", label_.c_str(), bar.c_str(), total_ ? done_ * 100 / total_ : 100,
                 done_, total_);
    std::fflush(stderr);
}

} // namespace huecl::tool

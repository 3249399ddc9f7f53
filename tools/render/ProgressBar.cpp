#include "ProgressBar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace tarvo::render {

namespace {
constexpr int kWidth = 40;
}

ProgressBar::ProgressBar(std::int64_t total, bool enabled)
    : total_(std::max<std::int64_t>(total, 1)), enabled_(enabled) {}

bool ProgressBar::stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

void ProgressBar::update(std::int64_t done) {
    if (!enabled_) return;
    const int percent = static_cast<int>(std::clamp<std::int64_t>(done * 100 / total_, 0, 100));
    if (percent == shownPercent_) return;
    shownPercent_ = percent;
    const int filled = percent * kWidth / 100;
    const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kWidth - filled), '.');
    std::fprintf(stderr, "\rrendering [%s] %3d%%", bar.c_str(), percent);
    std::fflush(stderr);
}

void ProgressBar::finish() {
    if (!enabled_ || shownPercent_ < 0) return;
    std::fprintf(stderr, "\r%*s\r", kWidth + 20, "");
    std::fflush(stderr);
}

}  // namespace tarvo::render

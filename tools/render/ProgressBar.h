#pragma once

#include <cstdint>

namespace tarvo::render {

/// A one-line progress bar on stderr, redrawn when the percentage changes.
/// Disabled, it prints nothing: the tool enables it only when stderr is a
/// terminal and --quiet was not given.
class ProgressBar {
public:
    ProgressBar(std::int64_t total, bool enabled);
    /// `done` of the total frames are rendered.
    void update(std::int64_t done);
    /// Clears the line.
    void finish();

    /// True when stderr is a terminal.
    static bool stderrIsTerminal();

private:
    std::int64_t total_;
    bool enabled_;
    int shownPercent_ = -1;
};

}  // namespace tarvo::render

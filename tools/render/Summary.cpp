#include "Summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace tarvo::render {

namespace {

std::string printf1(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string level(double value, const char* unit) {
    if (!std::isfinite(value)) return std::string("-inf ") + unit;
    return printf1("%.1f ", value) + unit;
}

std::string change(double before, double after, const char* unit) {
    if (!std::isfinite(before) || !std::isfinite(after)) return "";
    return printf1("%+.1f ", after - before) + unit;
}

std::string padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

}  // namespace

std::string formatSummary(const Summary& s) {
    std::string out = s.plugin;
    if (!s.program.empty()) out += ", program \"" + s.program + "\"";
    out += s.offline ? ", offline" : ", realtime";
    out += s.doublePrecision ? ", double precision" : ", single precision";
    out += ", blocks of " + std::to_string(s.blockSize) + "\n";

    std::size_t nameWidth = std::max(s.inputPath.size(), s.outputPath.size()) + 2;
    out += "  input    " + padded(s.inputPath, nameWidth) + "peak " +
           padded(level(s.inputPeakDbfs, "dBFS"), 12) + "loudness " + level(s.inputLufs, "LUFS") +
           "\n";
    out += "  output   " + padded(s.outputPath, nameWidth) + "peak " +
           padded(level(s.outputPeakDbfs, "dBFS"), 12) + "loudness " +
           padded(level(s.outputLufs, "LUFS"), 12);
    const std::string peakChange = change(s.inputPeakDbfs, s.outputPeakDbfs, "dB");
    const std::string loudnessChange = change(s.inputLufs, s.outputLufs, "LU");
    if (!peakChange.empty() || !loudnessChange.empty()) {
        out += "(";
        if (!peakChange.empty()) out += "peak " + peakChange;
        if (!peakChange.empty() && !loudnessChange.empty()) out += ", ";
        if (!loudnessChange.empty()) out += "loudness " + loudnessChange;
        out += ")";
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    out += "\n";
    out += "  format   " + s.outputFormat + "\n";

    out += "  latency  " + std::to_string(s.latency) + " samples (" +
           printf1("%.2f ms", 1000.0 * s.latency / s.sampleRate) + "), " +
           (s.compensated ? "compensated" : "kept in the output") + "\n";
    const double seconds = static_cast<double>(s.outputFrames) / s.sampleRate;
    out += "  length   " + printf1("%.3f s", seconds) + " at " + std::to_string(s.sampleRate) +
           " Hz, rendered in " + printf1("%.2f s", s.renderSeconds);
    if (s.renderSeconds > 0.0 && seconds > 0.0)
        out += printf1(" (%.1f times real time)", seconds / s.renderSeconds);
    out += "\n";
    if (s.clippedSamples > 0)
        out += "  warning  " + std::to_string(s.clippedSamples) +
               " samples above full scale were clipped (--format float keeps them)\n";
    if (s.nonFiniteSamples > 0) {
        out += "  warning  the plug-in returned " + std::to_string(s.nonFiniteSamples) +
               " non-finite samples (NaN or infinite), the first at frame " +
               std::to_string(s.firstNonFiniteFrame) + " (" +
               printf1("%.3f s", static_cast<double>(s.firstNonFiniteFrame) / s.sampleRate) +
               ") in channel " + std::to_string(s.firstNonFiniteChannel + 1) + "; ";
        if (!s.nonFiniteKept)
            out += "the output was not written (--keep-non-finite writes it)\n";
        else if (s.integerOutput)
            out += "written as silence, which is all an integer file can hold\n";
        else
            out += "written as they are\n";
    }
    return out;
}

}  // namespace tarvo::render

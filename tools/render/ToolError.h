#pragma once

#include <stdexcept>
#include <string>

namespace tarvo::render {

/// A failure the tool reports in one line and ends with. The exit status
/// tells scripts what went wrong: 2 for a command the user has to change
/// (an unknown option, parameter, program or value; output equal to input),
/// 1 for a failure while loading, reading, processing or writing.
class ToolError : public std::runtime_error {
public:
    ToolError(int exitStatus, const std::string& message)
        : std::runtime_error(message), exitStatus_(exitStatus) {}
    int exitStatus() const { return exitStatus_; }

private:
    int exitStatus_;
};

constexpr int kExitUsage = 2;
constexpr int kExitProcessing = 1;

/// The command line asks for something that cannot be done as written.
inline ToolError usageError(const std::string& message) { return ToolError(kExitUsage, message); }
/// Loading, reading, processing or writing failed.
inline ToolError processingError(const std::string& message) {
    return ToolError(kExitProcessing, message);
}

}  // namespace tarvo::render

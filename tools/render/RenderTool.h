#pragma once

#include "Options.h"

namespace tarvo::render {

/// Does what the options say: loads the plug-in, selects the program,
/// applies the settings, lists them, renders the input (or the demo
/// signal) to the output and prints the summary. Returns the exit status
/// (0); failures are thrown as ToolError.
int runTool(const Options& options);

/// The demo's input file beside OUT: "dir/name.wav" -> "dir/name-input.wav".
std::string demoInputPath(const std::string& output);

}  // namespace tarvo::render

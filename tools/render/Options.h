#pragma once

#include <string>
#include <vector>

namespace tarvo::render {

/// Which processing entry the plug-in is driven through.
enum class Precision {
    Automatic,  ///< double when the plug-in offers it, else single
    Single,
    Double,
};

/// Sample format of the output file.
enum class SampleFormat {
    KeepInput,  ///< the input's format (the demo writes 24-bit PCM)
    Pcm16,
    Pcm24,
    Pcm32,
    Float32,
    Float64,
};

/// One `--set NAME=VALUE`, split at the first '='. The value is a display
/// text ("-20", "M/S", "inf") or '@' followed by a raw position ("@0.25").
struct ParameterSetting {
    std::string name;
    std::string value;
};

/// Everything the command line says.
struct Options {
    std::string input;       ///< input file; empty with --demo or a bare --list
    std::string output;      ///< output file (the demo's OUT)
    std::string sidechain;   ///< --sidechain FILE, empty for none
    std::string pluginPath;  ///< --plugin PATH, empty for the Tarvo library beside the tool
    std::string program;     ///< --program NAME|NUMBER, empty to keep the current one
    std::vector<ParameterSetting> settings;  ///< --set, in the order given
    bool demo = false;
    bool list = false;
    bool realtime = false;
    bool keepLatency = false;
    bool keepNonFinite = false;  ///< --keep-non-finite: write NaN and infinite output
    bool quiet = false;
    bool help = false;
    Precision precision = Precision::Automatic;
    SampleFormat format = SampleFormat::KeepInput;
    int blockSize = 512;
    double tailSeconds = 0.0;
};

/// Reads the command line. Throws a usage ToolError (exit status 2) that
/// names the offending argument.
Options parseOptions(int argc, char** argv);

/// The --help text.
std::string usageText();

}  // namespace tarvo::render

#include "Options.h"

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "ToolError.h"

namespace tarvo::render {

namespace {

enum OptionCode : int {
    kPlugin = 256,
    kSidechain,
    kProgram,
    kSet,
    kList,
    kRealtime,
    kPrecision,
    kFormat,
    kBlock,
    kKeepLatency,
    kKeepNonFinite,
    kTail,
    kQuiet,
    kDemo,
};

const option kLongOptions[] = {
    {"plugin", required_argument, nullptr, kPlugin},
    {"sidechain", required_argument, nullptr, kSidechain},
    {"program", required_argument, nullptr, kProgram},
    {"set", required_argument, nullptr, kSet},
    {"list", no_argument, nullptr, kList},
    {"realtime", no_argument, nullptr, kRealtime},
    {"precision", required_argument, nullptr, kPrecision},
    {"format", required_argument, nullptr, kFormat},
    {"block", required_argument, nullptr, kBlock},
    {"keep-latency", no_argument, nullptr, kKeepLatency},
    {"keep-non-finite", no_argument, nullptr, kKeepNonFinite},
    {"tail", required_argument, nullptr, kTail},
    {"quiet", no_argument, nullptr, kQuiet},
    {"demo", required_argument, nullptr, kDemo},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

/// The whole text as a finite number, or a usage error naming the option.
double parseNumber(const char* text, const char* optionName) {
    char* end = nullptr;
    errno = 0;
    const double number = std::strtod(text, &end);
    if (end == text || *end != '\0' || errno == ERANGE || !std::isfinite(number))
        throw usageError(std::string(optionName) + " wants a number, not \"" + text + "\"");
    return number;
}

Precision parsePrecision(const std::string& text) {
    if (text == "single") return Precision::Single;
    if (text == "double") return Precision::Double;
    throw usageError("--precision is single or double, not \"" + text + "\"");
}

SampleFormat parseFormat(const std::string& text) {
    if (text == "pcm16") return SampleFormat::Pcm16;
    if (text == "pcm24") return SampleFormat::Pcm24;
    if (text == "pcm32") return SampleFormat::Pcm32;
    if (text == "float" || text == "float32") return SampleFormat::Float32;
    if (text == "double" || text == "float64") return SampleFormat::Float64;
    throw usageError("--format is pcm16, pcm24, pcm32, float or double, not \"" + text + "\"");
}

ParameterSetting parseSetting(const std::string& text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == text.size())
        throw usageError("--set wants NAME=VALUE, not \"" + text + "\"");
    return ParameterSetting{text.substr(0, equals), text.substr(equals + 1)};
}

/// The argument getopt_long stopped at, for the error message.
std::string offendingArgument(int argc, char** argv) {
    const int at = optind - 1;
    if (at > 0 && at < argc) return argv[at];
    if (optopt) return std::string("-") + static_cast<char>(optopt);
    return "?";
}

}  // namespace

Options parseOptions(int argc, char** argv) {
    Options options;
    opterr = 0;  // messages are ours, in one line
    optind = 1;
    for (;;) {
        const int code = getopt_long(argc, argv, ":h", kLongOptions, nullptr);
        if (code == -1) break;
        switch (code) {
            case kPlugin: options.pluginPath = optarg; break;
            case kSidechain: options.sidechain = optarg; break;
            case kProgram: options.program = optarg; break;
            case kSet: options.settings.push_back(parseSetting(optarg)); break;
            case kList: options.list = true; break;
            case kRealtime: options.realtime = true; break;
            case kPrecision: options.precision = parsePrecision(optarg); break;
            case kFormat: options.format = parseFormat(optarg); break;
            case kBlock: {
                const double block = parseNumber(optarg, "--block");
                if (block < 1 || block > 65536 || block != std::floor(block))
                    throw usageError("--block wants a whole number from 1 to 65536, not \"" +
                                     std::string(optarg) + "\"");
                options.blockSize = static_cast<int>(block);
                break;
            }
            case kKeepLatency: options.keepLatency = true; break;
            case kKeepNonFinite: options.keepNonFinite = true; break;
            case kTail: {
                options.tailSeconds = parseNumber(optarg, "--tail");
                if (options.tailSeconds < 0 || options.tailSeconds > 3600)
                    throw usageError("--tail wants seconds from 0 to 3600, not \"" +
                                     std::string(optarg) + "\"");
                break;
            }
            case kQuiet: options.quiet = true; break;
            case kDemo:
                options.demo = true;
                options.output = optarg;
                break;
            case 'h': options.help = true; break;
            case ':':
                throw usageError(offendingArgument(argc, argv) + " needs a value");
            default:
                throw usageError("unknown option " + offendingArgument(argc, argv) +
                                 " (see --help)");
        }
    }
    if (options.help) return options;

    std::vector<std::string> files(argv + optind, argv + argc);
    if (options.demo) {
        if (!files.empty()) throw usageError("--demo takes no input file, only its OUT argument");
        if (options.output.empty()) throw usageError("--demo needs an output file name");
    } else if (files.size() == 2) {
        options.input = files[0];
        options.output = files[1];
    } else if (files.empty() && options.list) {
        // --list alone shows the plug-in's settings at 44100 Hz.
    } else if (files.size() == 1 && options.list) {
        options.input = files[0];  // listed at the file's rate, nothing rendered
    } else {
        throw usageError(files.size() < 2 ? "give an input and an output file (see --help)"
                                          : "too many file arguments: " + files[2]);
    }
    if (!options.sidechain.empty() && !options.input.empty() && options.output.empty())
        throw usageError("--sidechain needs an output file to render");
    return options;
}

std::string usageText() {
    return R"(usage: tarvo-render [OPTIONS] IN OUT
       tarvo-render --demo OUT [OPTIONS]
       tarvo-render --list [IN] [OPTIONS]

Puts an audio file through a VST 2.4 plug-in (by default Tarvo) the way a
host renders it, and writes the result aligned with the input.

  --plugin PATH          VST 2.4 library to load (default: Tarvo.so beside the tool)
  --program NAME|NUMBER  program to start from (names ignore case)
  --set NAME=VALUE       set a parameter to the position showing VALUE
                         ("Thresh.=-20", "Mode=M/S", "Ratio=inf"); VALUE "@0.25"
                         sets a raw position; NAME may be the parameter's index;
                         applied after the program, in the order given
  --sidechain FILE       feed FILE to inputs 3 and 4 (Tarvo: "Sd.chain" External)
  --list                 print parameters and programs as they are set, then
                         render only if IN and OUT are given
  --realtime             report the realtime process level (default: offline)
  --precision single|double  processing entry (default: double if offered)
  --format FORMAT        output samples: pcm16, pcm24, pcm32, float, double
                         (default: those of the input); the container follows
                         OUT's extension (.wav, .aiff, .flac, ...)
  --block N              block size in frames (default 512)
  --keep-latency         keep the plug-in's latency in the output
  --keep-non-finite      write the output even if the plug-in returns NaN or
                         infinite samples (a float file keeps them, an integer
                         file gets silence in their place); without it such a
                         render fails and writes nothing
  --tail SECONDS         render SECONDS of silence after the input
  --quiet                no progress bar
  --demo OUT             synthesise a drum-and-bass loop, write it beside OUT
                         (OUT-input.wav) and render it to OUT (default program
                         "DRUM BUSS")
  -h, --help             this text

Exit status: 0 done, 1 loading, reading, processing or writing failed (also
when the plug-in returned non-finite samples without --keep-non-finite),
2 the command line asks for something that cannot be done.
)";
}

}  // namespace tarvo::render

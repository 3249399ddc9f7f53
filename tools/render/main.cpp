// tarvo-render: puts an audio file through a VST 2.4 plug-in (by default
// Tarvo) the way a host renders it. See `tarvo-render --help`.

#include <cstdio>
#include <exception>

#include "Options.h"
#include "RenderTool.h"
#include "ToolError.h"

int main(int argc, char** argv) {
    using namespace tarvo::render;
    try {
        const Options options = parseOptions(argc, argv);
        if (options.help) {
            std::fputs(usageText().c_str(), stdout);
            return 0;
        }
        return runTool(options);
    } catch (const ToolError& error) {
        std::fprintf(stderr, "tarvo-render: %s\n", error.what());
        return error.exitStatus();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tarvo-render: %s\n", error.what());
        return kExitProcessing;
    }
}

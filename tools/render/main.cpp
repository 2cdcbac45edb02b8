// klv-render: a command-line VST 2 host that renders audio files through a
// plug-in, lists a plug-in's parameters and programs, or runs the demo.
#include <csignal>
#include <cstdio>
#include <exception>

#include "tools/render/demo.h"
#include "tools/render/options.h"
#include "tools/render/plugin_listing.h"
#include "tools/render/plugin_session.h"
#include "tools/render/render_error.h"
#include "tools/render/render_job.h"

using namespace klv::render;

namespace {

extern "C" void onSignal(int) {
    requestStop();
}

int run(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    switch (options.command) {
        case Command::kHelp:
            std::fputs(usageText(), stdout);
            return kExitOk;
        case Command::kDemo:
            return runDemo(options.demoDir, !options.quiet);
        case Command::kList:
            listPlugin(stdout, locatePlugin(options.plugin), options);
            return kExitOk;
        case Command::kRender:
            break;
    }
    RenderRequest request;
    request.pluginPath = locatePlugin(options.plugin);
    request.inputPath = options.input;
    request.outputPath = options.output;
    request.program = options.program;
    request.settings = options.settings;
    request.blockSize = options.blockSize;
    request.call = options.call;
    request.container = options.container;
    request.sampleType = options.sampleType;
    request.progress = !options.quiet;
    const RenderSummary summary = renderFile(request);
    if (!options.quiet) printSummary(stdout, summary);
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    try {
        return run(argc, argv);
    } catch (const RenderError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "klv-render: %s\n", e.what());
        return e.code();
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "klv-render: %s\n", e.what());
        return kExitFailure;
    }
}

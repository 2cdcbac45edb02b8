// klv-render: a command-line VST 2 host that renders audio files through a
// plug-in or a chain of them, lists a plug-in's parameters and programs, or
// runs the demo.
#include <csignal>
#include <cstdio>
#include <exception>

#include "tools/render/demo.h"
#include "tools/render/options.h"
#include "tools/render/plugin_listing.h"
#include "tools/render/plugin_session.h"
#include "tools/render/render_error.h"
#include "tools/render/render_job.h"
#include "tools/render/render_run.h"

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
            return runDemo(options.demoDir);
        case Command::kList:
            listPlugin(stdout, locatePlugin(options.chain.front().plugin), options);
            return kExitOk;
        case Command::kRender:
            break;
    }
    return runRender(options);
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);
    // Past a file size limit, a write should fail with a message rather
    // than end the process and leave its temporary file.
    std::signal(SIGXFSZ, SIG_IGN);
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

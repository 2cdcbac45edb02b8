// One file rendered through a plug-in chain. A reader thread decodes the
// input, the calling thread runs the chain and a writer thread encodes the
// output; they pass a fixed set of sample chunks round on bounded queues, so
// the three overlap and nothing is allocated once the file is under way.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "tools/render/options.h"
#include "tools/render/plugin_chain.h"
#include "tools/render/report.h"

namespace klv::render {

// What every file of a run shares.
struct RenderSettings {
    int blockSize = 512;
    ProcessCall call = ProcessCall::kAuto;
    std::string container;
    std::string sampleType;
    bool compensate = true;  // output lines up with the input
    bool loudness = false;
    bool replace = false;  // an existing output may be replaced
};

struct FileJob {
    std::string inputPath;
    std::string outputPath;
};

// The caller's view of a file under way; shared by the files of a run.
struct RenderProgress {
    std::atomic<std::int64_t> frames{0};  // written so far
    // A line for the user; called from the rendering thread.
    std::function<void(const std::string&)> note;
};

// Throws RenderError; on any failure no output file (nor a temporary one) is
// left behind.
RenderSummary renderFile(const ChainLibraries& libraries, const RenderSettings& settings, const FileJob& job,
                         RenderProgress& progress);

// Safe in a signal handler: every file under way stops, removes its
// temporary file and throws RenderError(kExitInterrupted).
void requestStop() noexcept;
bool stopRequested() noexcept;

}  // namespace klv::render

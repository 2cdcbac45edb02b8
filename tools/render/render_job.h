// One file rendered through one plug-in: the streaming loop from input file
// through the plug-in's audio calls to the output file.
#pragma once

#include <string>
#include <vector>

#include "tools/render/options.h"
#include "tools/render/report.h"

namespace klv::render {

struct RenderRequest {
    std::string pluginPath;  // located already
    std::string inputPath;
    std::string outputPath;
    std::string program;  // empty: the plug-in's own
    std::vector<ParameterSetting> settings;
    int blockSize = 512;
    ProcessCall call = ProcessCall::kAuto;
    std::string container;
    std::string sampleType;
    bool progress = true;
};

// Throws RenderError; on any failure no output file is left behind.
RenderSummary renderFile(const RenderRequest& request);

// Set from a signal handler: the running render stops, removes its
// temporary file and throws RenderError(kExitInterrupted).
void requestStop() noexcept;

}  // namespace klv::render

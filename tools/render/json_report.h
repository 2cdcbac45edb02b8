// klv-render --json: the summary of every file of a run, for scripts.
#pragma once

#include <string>
#include <vector>

#include "tools/render/render_job.h"
#include "tools/render/report.h"

namespace klv::render {

// The whole report as JSON text. Levels in dB that are minus infinity
// (silence) are null, as JSON has no infinities.
std::string jsonReport(const std::vector<FileOutcome>& files, const RenderSettings& settings, int exitStatus,
                       double wallSeconds);

// Writes it through a temporary file renamed into place; throws
// RenderError(kExitOutput).
void writeJsonReport(const std::string& path, const std::string& json);

}  // namespace klv::render

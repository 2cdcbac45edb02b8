// klv-render's rendering command: the files planned from the command line
// and checked before anything is read, rendered by parallel workers (each
// file through a chain of its own), with one progress display, the
// summaries and the JSON report.
#pragma once

#include "tools/render/options.h"

namespace klv::render {

// Answers the exit status; throws RenderError for a run refused as a whole.
int runRender(const Options& options);

}  // namespace klv::render

#pragma once

#include "tests/conformance/checker.h"
#include "tools/hostkit/plugin_host.h"

namespace klv::wine {

// Entry and record functions called with the stack misaligned by 4, 8, 12.
void runMisalignedCalls(conformance::Checker& c, hostkit::PluginLibrary& lib);

}  // namespace klv::wine

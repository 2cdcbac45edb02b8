// klv-render --list: what a host learns from a plug-in, after the command
// line's program and parameter settings, plus the KLV editors' read-outs.
#pragma once

#include <cstdio>
#include <string>

#include "tools/render/options.h"
#include "tools/render/plugin_session.h"

namespace klv::render {

// The text the plug-in's editor shows for a parameter at a normalised value;
// empty for plug-ins other than the KLV ones and for switches.
std::string editorReadout(KlvPlugin plugin, int index, float value);

// Loads the plug-in, applies options.program and options.settings and
// prints the listing. Throws RenderError.
void listPlugin(std::FILE* out, const std::string& pluginPath, const Options& options);

}  // namespace klv::render

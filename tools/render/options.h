// Command line of klv-render.
#pragma once

#include <string>
#include <vector>

namespace klv::render {

enum class Command { kRender, kList, kDemo, kHelp };

// Which audio call the host uses: the plug-in's choice (processReplacing when
// it offers it), or one forced from the command line.
enum class ProcessCall { kAuto, kReplacing, kAccumulating };

struct ParameterSetting {
    std::string key;  // host name or index
    float value;
};

struct Options {
    Command command = Command::kDemo;
    std::string plugin;
    std::string input;
    std::string output;
    std::string demoDir = "klv-demo";
    std::string program;  // number or name; empty: the plug-in's own
    std::vector<ParameterSetting> settings;
    int blockSize = 512;
    ProcessCall call = ProcessCall::kAuto;
    std::string container;   // "", "wav", "aiff", "flac"
    std::string sampleType;  // "", "16", "24", "32", "float"
    bool quiet = false;      // no progress bar and no summary
};

// Throws RenderError(kExitUsage) for anything it cannot accept.
Options parseOptions(int argc, const char* const* argv);

// Parses a finite number; false for anything else (text, inf, nan, trailing
// characters, out of float range).
bool parseFiniteFloat(const std::string& text, float& value);

const char* usageText();

}  // namespace klv::render

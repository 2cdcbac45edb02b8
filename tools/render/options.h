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

// One plug-in of a chain with the program and settings given after it.
struct ChainLink {
    std::string plugin;   // path or short name, as typed
    std::string program;  // number or name; empty: the plug-in's own
    std::vector<ParameterSetting> settings;
};

struct Options {
    Command command = Command::kDemo;
    std::vector<ChainLink> chain;     // rendering: in signal order; --list: one
    std::vector<std::string> inputs;  // files, or folders with -o
    std::string output;               // the INPUT OUTPUT form
    std::string outputDir;            // -o: every input into this folder
    std::string namePattern;          // --name, with {name} and {ext}
    std::string demoDir = "klv-demo";
    int blockSize = 512;
    ProcessCall call = ProcessCall::kAuto;
    std::string container;   // "", "wav", "aiff", "flac"
    std::string sampleType;  // "", "16", "24", "32", "float"
    int jobs = 0;            // files at a time; 0: one per core
    std::string jsonPath;
    bool force = false;      // replace existing outputs
    bool compensate = true;  // drop the chain's reported delay
    bool loudness = false;   // EBU R128 figures of input and output
    bool quiet = false;      // no progress bar and no summary
};

// Throws RenderError(kExitUsage) for anything it cannot accept.
Options parseOptions(int argc, const char* const* argv);

// Parses a finite number; false for anything else (text, inf, nan, trailing
// characters, out of float range).
bool parseFiniteFloat(const std::string& text, float& value);

const char* usageText();

}  // namespace klv::render

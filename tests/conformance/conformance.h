// Conformance cases run against a built plug-in library through its
// exported entry, the way hosts load it: record layout and fields, the
// dispatcher's answers, programs, parameters, lifecycle and robustness.
#pragma once

#include <cstdint>
#include <string>

#include "tests/conformance/checker.h"

namespace klv::conformance {

struct ParameterExpectation {
    int program;
    int index;
    float value;
};

struct PluginExpectations {
    const char* key;  // "clampora", "clampora-mono", "tonvela", "tonvela-mono"
    const char* uniqueId;
    bool stereo;
    int numPrograms;
    int numParams;
    const char* effectName;
    const char* product;
    int stereoMonoIndex;
    const char* firstProgram;
    const char* lastProgram;
    const ParameterExpectation* values;  // terminated by program -1
};

// Expectations by key; null when unknown.
const PluginExpectations* findExpectations(const std::string& key);

// Runs every case against the library at path.
void runConformance(Checker& c, const std::string& path, const PluginExpectations& expect);

}  // namespace klv::conformance

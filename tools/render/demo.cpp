#include "tools/render/demo.h"

#include <sndfile.h>

#include <cstdio>
#include <vector>

#include "tools/render/ascii_text.h"
#include "tools/render/audio_file.h"
#include "tools/render/demo_programme.h"
#include "tools/render/paths.h"
#include "tools/render/plugin_session.h"
#include "tools/render/render_error.h"
#include "tools/render/render_job.h"

namespace klv::render {

namespace {

struct DemoPlugin {
    const char* shortName;
    std::vector<const char*> programs;
};

// Programs that show each plug-in's range: gentle to heavy compression,
// clean to driven saturation.
const DemoPlugin kDemoPlugins[] = {
    {"clampora", {"universal", "mix2", "drums2", "vocal1", "L-A-2 limit", "11-76 hard"}},
    {"tonvela", {"preamp1", "mastering1", "hot valve2", "hot tape3", "big bass1", "digital"}},
};

// "L-A-2 limit" -> "l-a-2-limit": safe in every file system.
std::string fileSlug(const std::string& name) {
    std::string slug;
    for (char c : asciiLower(name)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (plain)
            slug += c;
        else if (!slug.empty() && slug.back() != '-')
            slug += '-';
    }
    while (!slug.empty() && slug.back() == '-') slug.pop_back();
    return slug;
}

std::string writeProgramme(const std::string& folder) {
    const std::vector<float> programme = synthesiseDemoProgramme();
    const std::string path = folder + "/programme.wav";
    AudioWriter writer(path, {kDemoSampleRate, kDemoChannels, SF_FORMAT_WAV | SF_FORMAT_PCM_24}, true);
    writer.write(programme.data(), static_cast<int>(programme.size() / kDemoChannels));
    writer.commit();
    return path;
}

void printRow(const char* plugin, const std::string& program, const std::string& file, const LevelStats& levels,
              const std::string& speed) {
    std::printf("%-9s %-13s %-30s %6s %6s %6s %6s %9s\n", plugin, program.c_str(), file.c_str(),
                dbfsText(levels.peak(0)).c_str(), dbfsText(levels.peak(1)).c_str(), dbfsText(levels.rms(0)).c_str(),
                dbfsText(levels.rms(1)).c_str(), speed.c_str());
}

}  // namespace

int runDemo(const std::string& folder) {
    makeFolder(folder);
    const std::string programme = writeProgramme(folder);

    // The demo's folder is its own: a second run replaces the first.
    RenderSettings settings;
    settings.replace = true;
    RenderProgress progress;
    progress.note = [](const std::string& line) { std::fprintf(stderr, "klv-render: %s\n", line.c_str()); };
    std::vector<RenderSummary> rows;
    std::vector<std::pair<const char*, std::string>> labels;
    for (const auto& plugin : kDemoPlugins) {
        std::string path;
        try {
            path = locatePlugin(plugin.shortName);
        } catch (const RenderError& e) {
            std::fprintf(stderr, "klv-render: demo: skipping %s: %s\n", plugin.shortName, e.what());
            continue;
        }
        for (const char* program : plugin.programs) {
            const FileJob job{programme, folder + "/" + plugin.shortName + "-" + fileSlug(program) + ".wav"};
            try {
                const ChainLibraries libraries({ChainLink{path, program, {}}});
                rows.push_back(renderFile(libraries, settings, job, progress));
                labels.emplace_back(plugin.shortName, program);
            } catch (const RenderError& e) {
                // A program renamed in a later version should not stop the demo.
                if (e.code() != kExitUsage) throw;
                std::fprintf(stderr, "klv-render: demo: %s: %s\n", plugin.shortName, e.what());
            }
        }
    }
    if (rows.empty()) throw RenderError(kExitPlugin, "demo: no KLV plug-in found (build them first)");

    std::printf("klv-render demo: %s (%s) through %zu programs, files in %s/\n\n", "programme.wav",
                durationText(rows.front().input.frames(), kDemoSampleRate).c_str(), rows.size(), folder.c_str());
    std::printf("%-9s %-13s %-30s %6s %6s %6s %6s %9s\n", "plug-in", "program", "file", "peakL", "peakR", "rmsL",
                "rmsR", "speed");
    printRow("-", "(dry)", "programme.wav", rows.front().input, "-");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string& out = rows[i].outputPath;
        printRow(labels[i].first, labels[i].second, out.substr(out.find_last_of('/') + 1), rows[i].output,
                 speedText(rows[i].output.frames(), kDemoSampleRate, rows[i].elapsedSeconds));
    }
    std::printf("\nlevels in dBFS; speed as a multiple of real time\n");
    return kExitOk;
}

}  // namespace klv::render

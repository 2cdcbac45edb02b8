#include "tools/render/plugin_listing.h"

#include <algorithm>
#include <vector>

#include "display/value_format.h"

namespace klv::render {

namespace {

std::string fourCC(VstInt32 id) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((id >> shift) & 0xFF);
        s += (c >= 32 && c < 127) ? c : '?';
    }
    return s;
}

std::string flagText(VstInt32 flags) {
    static const struct {
        VstInt32 flag;
        const char* name;
    } kFlags[] = {
        {effFlagsHasEditor, "editor"},
        {effFlagsHasClip, "clip"},
        {effFlagsHasVu, "vu"},
        {effFlagsCanMono, "mono"},
        {effFlagsCanReplacing, "replacing"},
        {effFlagsProgramChunks, "chunks"},
        {effFlagsIsSynth, "synth"},
        {effFlagsNoSoundInStop, "no-sound-in-stop"},
    };
    std::string text;
    for (const auto& f : kFlags)
        if (flags & f.flag) text += (text.empty() ? "" : " ") + std::string(f.name);
    return text.empty() ? "none" : text;
}

// Labels of the KLV plug-ins are padded with spaces; the listing shows the
// unit alone.
std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::string valueText(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", static_cast<double>(value));
    return text;
}

}  // namespace

std::string editorReadout(KlvPlugin plugin, int index, float value) {
    switch (plugin) {
        case KlvPlugin::kClampora:
            return display::clamporaReadout(index, value);
        case KlvPlugin::kTonvela:
            return display::tonvelaReadout(index, value);
        case KlvPlugin::kOther:
            break;
    }
    return std::string();
}

void listPlugin(std::FILE* out, const std::string& pluginPath, const Options& options) {
    hostkit::HostConfig config;
    PluginSession session(pluginPath, config);
    const ChainLink& link = options.chain.front();
    session.open(config.sampleRate, options.blockSize);
    if (!link.program.empty()) session.selectProgram(link.program);
    for (const auto& s : link.settings) session.setParameter(session.findParameter(s.key), s.value);

    hostkit::PluginInstance& plugin = session.instance();
    const AEffect& e = session.effect();
    const KlvPlugin klv = session.klvPlugin();
    std::fprintf(out, "plug-in   %s\n", pluginPath.c_str());
    std::fprintf(out, "name      %s\n", hostkit::getString(plugin, effGetEffectName).c_str());
    std::fprintf(out, "vendor    %s\n", hostkit::getString(plugin, effGetVendorString).c_str());
    std::fprintf(out, "product   %s\n", hostkit::getString(plugin, effGetProductString).c_str());
    std::fprintf(out, "id        %s (0x%08X), version %d, vendor version %d\n", fourCC(e.uniqueID).c_str(),
                 static_cast<unsigned>(e.uniqueID), static_cast<int>(e.version),
                 static_cast<int>(plugin.dispatch(effGetVendorVersion)));
    std::fprintf(out, "channels  %d in, %d out\n", static_cast<int>(e.numInputs), static_cast<int>(e.numOutputs));
    std::fprintf(out, "flags     %s\n", flagText(e.flags).c_str());

    // Column widths follow the longest entry, so long names stay aligned.
    std::vector<std::string> names, values, displays, labels, readouts;
    for (int i = 0; i < e.numParams; ++i) {
        const float v = session.instance().getParameter(i);
        names.push_back(session.parameterName(i));
        values.push_back(valueText(v));
        displays.push_back(trimmed(hostkit::getString(plugin, effGetParamDisplay, i)));
        labels.push_back(trimmed(hostkit::getString(plugin, effGetParamLabel, i)));
        readouts.push_back(editorReadout(klv, i, v));
    }
    auto width = [](const std::vector<std::string>& column, std::size_t least) {
        std::size_t w = least;
        for (const auto& s : column) w = std::max(w, s.size());
        return static_cast<int>(w);
    };
    const int wName = width(names, 4), wValue = width(values, 5), wDisplay = width(displays, 7),
              wLabel = width(labels, 5);
    std::fprintf(out, "parameters (%d):\n", static_cast<int>(e.numParams));
    std::fprintf(out, "  %3s  %-*s  %-*s  %-*s  %-*s%s\n", "#", wName, "name", wValue, "value", wDisplay, "display",
                 wLabel, "label", klv != KlvPlugin::kOther ? "  editor" : "");
    for (int i = 0; i < e.numParams; ++i) {
        std::string line;
        char text[512];
        std::snprintf(text, sizeof text, "  %3d  %-*s  %-*s  %-*s  %-*s", i, wName, names[i].c_str(), wValue,
                      values[i].c_str(), wDisplay, displays[i].c_str(), wLabel, labels[i].c_str());
        line = text;
        if (klv != KlvPlugin::kOther) line += "  " + readouts[i];
        line.erase(line.find_last_not_of(' ') + 1);
        std::fprintf(out, "%s\n", line.c_str());
    }

    const int current = session.currentProgram();
    std::fprintf(out, "programs (%d), current %d:\n", static_cast<int>(e.numPrograms), current);
    for (int p = 0; p < e.numPrograms; ++p)
        std::fprintf(out, "  %3d%s %s\n", p, p == current ? "*" : " ", session.programName(p).c_str());
}

}  // namespace klv::render

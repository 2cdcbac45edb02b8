// klv-snapshot: either plug-in's editor drawn the way it draws on Linux, but
// into memory, saved as a PNG. Optionally some audio is played through the
// effect first, so that the meters show real levels.
//
//   klv-snapshot [options] clampora|tonvela OUTPUT.png
//     -p, --program N|NAME     factory program (number or name)
//     -s, --set NAME=VALUE     parameter (host name or index) to a value 0..1,
//                              after the program; repeatable
//     -a, --audio FILE         play FILE (WAV, AIFF, FLAC) through the effect
//         --programme          play the built-in demo programme instead
//         --seconds S          how much to play (default 2)
//         --scale S            draw at editor scale S (1, 1.25, 1.5, 1.75, 2,
//                              2.5 or 3; default 1)
//         --about              show the about panel
//         --compare            compare with OUTPUT.png (or a 24-bit OUTPUT.bmp,
//                              a screenshot) instead of writing it
//                              (exit status 1 when any pixel differs)
//         --except-text        with --compare: leave the text displays out
//                              (text another font rasteriser drew)
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "clampora/clampora_effect.h"
#include "gui/frame.h"
#include "gui/raster/memory_window.h"
#include "gui/raster/png_file.h"
#include "gui/raster/raster_surface.h"
#include "gui/scale.h"
#include "gui/value_text.h"
#include "host/parameter_editor.h"
#include "tonvela/tonvela_effect.h"
#include "tools/render/audio_file.h"
#include "tools/render/demo_programme.h"
#include "tools/render/options.h"
#include "tools/render/plugin_session.h"
#include "tools/render/render_error.h"

namespace {

using klv::render::kExitUsage;
using klv::render::RenderError;

constexpr int kBlock = 512;
constexpr int kBlocksPerIdle = 3;  // a host idles at about 30 Hz

template <typename Effect>
klv::AEffect* KLV_CALL makeEffect(klv::AudioMasterCallback host) {
    auto* effect = new Effect(host);
    return effect->getAeffect();
}

struct Options {
    std::string plugin;
    std::string output;
    std::string program;
    std::vector<klv::render::ParameterSetting> settings;
    std::string audio;
    bool programme = false;
    float seconds = 2.0f;
    float scale = 1.0f;
    bool about = false;
    bool compare = false;
    bool exceptText = false;
};

const char kUsage[] =
    "usage: klv-snapshot [options] clampora|tonvela OUTPUT.png\n"
    "  -p, --program N|NAME   factory program (number or name)\n"
    "  -s, --set NAME=VALUE   parameter (host name or index) to a value, after the program\n"
    "  -a, --audio FILE       play FILE through the effect first (meters show its levels)\n"
    "      --programme        play the built-in demo programme instead\n"
    "      --seconds S        how much to play (default 2)\n"
    "      --scale S          draw at editor scale S (1, 1.25, 1.5, 1.75, 2, 2.5 or 3)\n"
    "      --about            show the about panel\n"
    "      --compare          compare with OUTPUT.png (or a 24-bit OUTPUT.bmp) instead of writing it\n"
    "      --except-text      with --compare: leave the text displays out\n";

Options parse(int argc, char** argv) {
    Options o;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw RenderError(kExitUsage, "option " + a + " needs a value");
            return argv[++i];
        };
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (a == "-p" || a == "--program") {
            o.program = value();
        } else if (a == "-s" || a == "--set") {
            const std::string s = value();
            const auto eq = s.find('=');
            klv::render::ParameterSetting setting{s.substr(0, eq), 0.0f};
            if (eq == std::string::npos || eq == 0 || !klv::render::parseFiniteFloat(s.substr(eq + 1), setting.value))
                throw RenderError(kExitUsage, "--set takes NAME=VALUE with a finite number, not \"" + s + "\"");
            o.settings.push_back(setting);
        } else if (a == "-a" || a == "--audio") {
            o.audio = value();
        } else if (a == "--programme") {
            o.programme = true;
        } else if (a == "--seconds") {
            const std::string s = value();
            if (!klv::render::parseFiniteFloat(s, o.seconds) || o.seconds < 0 || o.seconds > 3600)
                throw RenderError(kExitUsage, "--seconds takes 0 to 3600, not \"" + s + "\"");
        } else if (a == "--scale") {
            const std::string s = value();
            if (!klv::render::parseFiniteFloat(s, o.scale) || klv::gui::nearestScale(o.scale) != o.scale)
                throw RenderError(kExitUsage, "--scale takes 1, 1.25, 1.5, 1.75, 2, 2.5 or 3, not \"" + s + "\"");
        } else if (a == "--about") {
            o.about = true;
        } else if (a == "--compare") {
            o.compare = true;
        } else if (a == "--except-text") {
            o.exceptText = true;
        } else if (!a.empty() && a[0] == '-') {
            throw RenderError(kExitUsage, "unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) throw RenderError(kExitUsage, "give the plug-in (clampora or tonvela) and a PNG file");
    o.plugin = positional[0];
    o.output = positional[1];
    if (o.plugin != "clampora" && o.plugin != "tonvela")
        throw RenderError(kExitUsage, "no editor called \"" + o.plugin + "\": clampora or tonvela");
    return o;
}

// Interleaved audio and its format: a file, the demo programme, or silence.
struct Audio {
    std::vector<float> samples;
    int channels = 2;
    int rate = klv::render::kDemoSampleRate;
};

Audio loadAudio(const Options& o) {
    Audio audio;
    if (o.programme) {
        audio.samples = klv::render::synthesiseDemoProgramme();
    } else if (!o.audio.empty()) {
        klv::render::AudioReader reader(o.audio);
        audio.channels = reader.format().channels;
        audio.rate = reader.format().sampleRate;
        if (audio.channels < 1 || audio.channels > 2)
            throw RenderError(klv::render::kExitInput, o.audio + ": only mono and stereo files can be played");
        const auto frames = static_cast<std::size_t>(o.seconds * audio.rate);
        audio.samples.resize(frames * audio.channels);
        audio.samples.resize(reader.read(audio.samples.data(), static_cast<int>(frames)) * audio.channels);
    }
    return audio;
}

// Plays audio through the effect block by block, idling the editor as a
// host would, so that the meters follow.
void play(klv::render::PluginSession& session, klv::GuiEditorBase& editor, const Audio& audio, float seconds) {
    const int frames = static_cast<int>(audio.samples.size() / audio.channels);
    const int limit = std::min(frames, static_cast<int>(seconds * audio.rate));
    std::vector<float> in[2] = {std::vector<float>(kBlock), std::vector<float>(kBlock)};
    std::vector<float> out[2] = {std::vector<float>(kBlock), std::vector<float>(kBlock)};
    float* inputs[2] = {in[0].data(), in[1].data()};
    float* outputs[2] = {out[0].data(), out[1].data()};
    for (int start = 0, block = 0; start < limit; start += kBlock, ++block) {
        const int n = std::min(kBlock, limit - start);
        for (int i = 0; i < n; ++i) {
            for (int c = 0; c < 2; ++c) in[c][i] = audio.samples[(start + i) * audio.channels + c % audio.channels];
        }
        session.processBlock(inputs, outputs, n, false);
        if (block % kBlocksPerIdle == 0) editor.idle();
    }
}

bool readBmp(const std::string& path, klv::gui::raster::PixelBuffer& out) {
    std::ifstream stream(path, std::ios::binary);
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    const auto image = klv::gui::raster::decodeBmp(bytes.data(), bytes.size());
    if (image) out = image->pixels();
    return image != nullptr;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The rectangles of the frame's text displays, in the window's pixels.
std::vector<klv::gui::Rect> textRectangles(const klv::gui::Frame& frame) {
    std::vector<klv::gui::Rect> rects;
    for (int i = 0; i < frame.viewCount(); ++i) {
        if (dynamic_cast<const klv::gui::ValueText*>(frame.viewAt(i)))
            rects.push_back(klv::gui::toDevice(frame.viewAt(i)->getViewSize(), frame.scale()));
    }
    return rects;
}

int compare(const klv::gui::raster::PixelBuffer& picture, const std::string& path,
            const std::vector<klv::gui::Rect>& leftOut) {
    klv::gui::raster::PixelBuffer reference;
    const bool read = endsWith(path, ".bmp") || endsWith(path, ".BMP") ? readBmp(path, reference)
                                                                       : klv::gui::raster::readPng(path, reference);
    if (!read) throw RenderError(klv::render::kExitInput, "cannot read " + path);
    if (reference.width != picture.width || reference.height != picture.height) {
        std::printf("%s: %dx%d, the editor draws %dx%d\n", path.c_str(), reference.width, reference.height,
                    picture.width, picture.height);
        return 1;
    }
    long differ = 0;
    long compared = 0;
    std::string first;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const auto inside = [x, y](const klv::gui::Rect& r) {
                return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
            };
            if (std::any_of(leftOut.begin(), leftOut.end(), inside)) continue;
            ++compared;
            if (picture.at(x, y) == reference.at(x, y)) continue;
            if (++differ > 1) continue;
            char text[96];
            std::snprintf(text, sizeof text, ", the first at (%d, %d): %06x, drawn %06x", x, y, reference.at(x, y),
                          picture.at(x, y));
            first = text;
        }
    }
    std::printf("%s: %ld of %ld pixels differ%s%s\n", path.c_str(), differ, compared,
                leftOut.empty() ? "" : " (text displays left out)", first.c_str());
    return differ == 0 ? 0 : 1;
}

int run(const Options& o) {
    const Audio audio = loadAudio(o);
    klv::hostkit::HostConfig config;
    config.sampleRate = static_cast<float>(audio.rate);
    config.blockSize = kBlock;
    config.input2Connected = audio.channels == 2;
    klv::hostkit::EntryProc entry =
        o.plugin == "clampora" ? &makeEffect<klv::clampora::ClamporaEffect> : &makeEffect<klv::tonvela::TonvelaEffect>;
    klv::render::PluginSession session(o.plugin, entry, config);
    session.open(config.sampleRate, kBlock);
    if (!o.program.empty()) session.selectProgram(o.program);
    for (const auto& s : o.settings) session.setParameter(session.findParameter(s.key), s.value);

    auto* effect = static_cast<klv::EffectBase*>(session.effect().object);
    auto* editor = static_cast<klv::ParameterEditor*>(effect->getEditor());
    klv::gui::raster::MemoryWindowSystem windows;
    editor->setWindowSystem(windows);
    editor->setFixedScale(o.scale);
    static int parent;
    if (session.instance().dispatch(klv::effEditOpen, 0, 0, &parent) != 1)
        throw RenderError(klv::render::kExitFailure, "the editor did not open");
    auto& port = *static_cast<klv::gui::raster::MemoryWindowPort*>(editor->getFrame()->window());
    port.paint();
    session.resume();
    play(session, *editor, audio, o.seconds);
    // Two idles: one feeds the meters the latest readings, the next draws them.
    editor->idle();
    editor->idle();
    if (o.about) {
        port.click(klv::gui::Point{klv::gui::toDevice(200LL, o.scale), klv::gui::toDevice(222LL, o.scale)},
                   klv::gui::kLeftButton);
    }
    port.paint();
    const klv::gui::raster::PixelBuffer picture = port.pixels();
    const std::vector<klv::gui::Rect> leftOut =
        o.exceptText ? textRectangles(*editor->getFrame()) : std::vector<klv::gui::Rect>{};
    session.instance().dispatch(klv::effEditClose);
    if (o.compare) return compare(picture, o.output, leftOut);
    if (!klv::gui::raster::writePng(picture, o.output))
        throw RenderError(klv::render::kExitOutput, "cannot write " + o.output);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(parse(argc, argv));
    } catch (const RenderError& e) {
        std::fprintf(stderr, "klv-snapshot: %s\n", e.what());
        if (e.code() == kExitUsage) std::fputs(kUsage, stderr);
        return e.code();
    }
}

#include "tools/render/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "tools/render/ascii_text.h"
#include "tools/render/render_error.h"

namespace klv::render {

namespace {

// Larger blocks only cost memory; a plug-in sized for a few thousand frames
// per call gains nothing from more.
constexpr long kMaxBlockSize = 1 << 20;
// Each job holds a plug-in chain and three threads; beyond this the machine
// only switches between them.
constexpr long kMaxJobs = 256;

[[noreturn]] void usageError(const std::string& message) {
    throw RenderError(kExitUsage, message + " (see klv-render --help)");
}

class ArgumentReader {
public:
    ArgumentReader(int argc, const char* const* argv) : argc_(argc), argv_(argv) {}
    bool done() const { return next_ >= argc_; }
    std::string take() { return argv_[next_++]; }
    bool peekIsValue() const { return next_ < argc_ && argv_[next_][0] != '-'; }

    // The value of an option given as "--name=value" or "--name value".
    std::string valueOf(const std::string& option, const std::string& inlineValue, bool hasInline) {
        if (hasInline) return inlineValue;
        if (done()) usageError("option " + option + " needs a value");
        return take();
    }

private:
    int argc_;
    const char* const* argv_;
    int next_ = 1;
};

int parseBlockSize(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || n < 1 || n > kMaxBlockSize)
        usageError("block size must be a whole number from 1 to " + std::to_string(kMaxBlockSize) + ", not \"" + text +
                   "\"");
    return static_cast<int>(n);
}

ParameterSetting parseSetting(const std::string& text) {
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0) usageError("--set takes NAME=VALUE, not \"" + text + "\"");
    ParameterSetting setting{text.substr(0, eq), 0.0f};
    const std::string value = text.substr(eq + 1);
    if (!parseFiniteFloat(value, setting.value))
        usageError("value of \"" + setting.key + "\" is not a finite number: \"" + value + "\"");
    return setting;
}

}  // namespace

bool parseFiniteFloat(const std::string& text, float& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double d = std::strtod(text.c_str(), &end);
    if (*end != '\0' || errno == ERANGE || !std::isfinite(d)) return false;
    if (std::fabs(d) > std::numeric_limits<float>::max()) return false;
    value = static_cast<float>(d);
    return true;
}

namespace {

// Arguments between two "+" separators: one plug-in with its program and
// settings; the last segment also holds the files.
struct Segment {
    std::vector<std::string> positional;
    std::string program;
    std::vector<ParameterSetting> settings;
};

int parseJobs(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || n < 1 || n > kMaxJobs)
        usageError("-j takes a whole number from 1 to " + std::to_string(kMaxJobs) + ", not \"" + text + "\"");
    return static_cast<int>(n);
}

void checkNamePattern(const std::string& pattern) {
    if (pattern.empty() || pattern.find('/') != std::string::npos)
        usageError("--name takes a file name pattern without '/', e.g. \"{name}-out.{ext}\"");
    if (pattern.find("{name}") == std::string::npos)
        usageError("--name needs {name} in it, or every input would get the same output name");
}

void assignFiles(Options& options, const std::vector<Segment>& segments) {
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const Segment& s = segments[i];
        const bool last = i + 1 == segments.size();
        if (s.positional.empty())
            usageError(segments.size() == 1 ? "expected PLUGIN INPUT OUTPUT"
                                            : "each \"+\" needs a plug-in on both sides");
        if (!last && s.positional.size() > 1)
            usageError("between two plug-ins only the first one's options may come; \"" + s.positional[1] +
                       "\" is not one");
        options.chain.push_back({s.positional[0], s.program, s.settings});
    }
    const std::vector<std::string>& last = segments.back().positional;
    const std::vector<std::string> files(last.begin() + 1, last.end());
    if (!options.outputDir.empty()) {
        if (files.empty()) usageError("-o DIR needs at least one INPUT (a file or a folder)");
        options.inputs = files;
        return;
    }
    if (!options.namePattern.empty()) usageError("--name goes with -o DIR");
    if (files.size() > 2) usageError("several inputs need -o DIR (expected PLUGIN INPUT OUTPUT)");
    if (files.size() != 2) usageError("expected PLUGIN INPUT OUTPUT");
    options.inputs = {files[0]};
    options.output = files[1];
}

}  // namespace

Options parseOptions(int argc, const char* const* argv) {
    Options options;
    ArgumentReader args(argc, argv);
    std::vector<Segment> segments(1);
    bool list = false;
    bool demo = false;
    bool onlyPositional = false;
    while (!args.done()) {
        std::string arg = args.take();
        if (!onlyPositional && arg == "+") {
            segments.emplace_back();
            continue;
        }
        Segment& segment = segments.back();
        if (onlyPositional || arg.size() < 2 || arg[0] != '-') {
            segment.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyPositional = true;
            continue;
        }
        std::string inlineValue;
        const auto eq = arg.find('=');
        const bool hasInline = arg.compare(0, 2, "--") == 0 && eq != std::string::npos;
        if (hasInline) {
            inlineValue = arg.substr(eq + 1);
            arg.resize(eq);
        }
        if (arg == "-h" || arg == "--help") {
            options.command = Command::kHelp;
            return options;
        } else if (arg == "-l" || arg == "--list") {
            list = true;
        } else if (arg == "--demo") {
            demo = true;
            if (hasInline) options.demoDir = inlineValue;
        } else if (arg == "-p" || arg == "--program") {
            segment.program = args.valueOf(arg, inlineValue, hasInline);
            if (segment.program.empty()) usageError("--program needs a number or a name");
        } else if (arg == "-s" || arg == "--set") {
            segment.settings.push_back(parseSetting(args.valueOf(arg, inlineValue, hasInline)));
        } else if (arg == "-b" || arg == "--block") {
            options.blockSize = parseBlockSize(args.valueOf(arg, inlineValue, hasInline));
        } else if (arg == "--call") {
            const std::string call = args.valueOf(arg, inlineValue, hasInline);
            if (call == "process" || call == "accumulating")
                options.call = ProcessCall::kAccumulating;
            else if (call == "processReplacing" || call == "replacing")
                options.call = ProcessCall::kReplacing;
            else
                usageError("--call takes \"process\" or \"processReplacing\", not \"" + call + "\"");
        } else if (arg == "-f" || arg == "--format") {
            options.container = asciiLower(args.valueOf(arg, inlineValue, hasInline));
            if (options.container == "aif") options.container = "aiff";
            if (options.container != "wav" && options.container != "aiff" && options.container != "flac")
                usageError("--format takes wav, aiff or flac, not \"" + options.container + "\"");
        } else if (arg == "--bits") {
            options.sampleType = asciiLower(args.valueOf(arg, inlineValue, hasInline));
            if (options.sampleType != "16" && options.sampleType != "24" && options.sampleType != "32" &&
                options.sampleType != "float")
                usageError("--bits takes 16, 24, 32 or float, not \"" + options.sampleType + "\"");
        } else if (arg == "-o" || arg == "--output-dir") {
            options.outputDir = args.valueOf(arg, inlineValue, hasInline);
            if (options.outputDir.empty()) usageError("-o needs a folder");
        } else if (arg == "--name") {
            options.namePattern = args.valueOf(arg, inlineValue, hasInline);
            checkNamePattern(options.namePattern);
        } else if (arg == "-j" || arg == "--jobs") {
            options.jobs = parseJobs(args.valueOf(arg, inlineValue, hasInline));
        } else if (arg == "--json") {
            options.jsonPath = args.valueOf(arg, inlineValue, hasInline);
            if (options.jsonPath.empty()) usageError("--json needs a file name");
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg == "--no-compensate") {
            options.compensate = false;
        } else if (arg == "-L" || arg == "--loudness") {
            options.loudness = true;
        } else if (arg == "-q" || arg == "--quiet") {
            options.quiet = true;
        } else {
            usageError("unknown option " + arg);
        }
    }

    const Segment& first = segments.front();
    if (demo || (segments.size() == 1 && first.positional.empty() && !list)) {
        if (list) usageError("--list and --demo do not go together");
        if (segments.size() > 1) usageError("the demo chooses its own plug-ins; \"+\" goes between plug-ins");
        if (!first.program.empty() || !first.settings.empty())
            usageError("the demo chooses its own programs; --program and --set go with PLUGIN INPUT OUTPUT");
        if (first.positional.size() > 1) usageError("--demo takes at most one folder");
        if (!first.positional.empty()) options.demoDir = first.positional[0];
        if (options.demoDir.empty()) usageError("--demo needs a folder name");
        options.command = Command::kDemo;
        return options;
    }
    if (list) {
        if (segments.size() != 1 || first.positional.size() != 1) usageError("--list takes exactly one PLUGIN");
        options.command = Command::kList;
        options.chain.push_back({first.positional[0], first.program, first.settings});
        return options;
    }
    options.command = Command::kRender;
    assignFiles(options, segments);
    return options;
}

const char* usageText() {
    return "usage: klv-render [options] CHAIN INPUT OUTPUT       render an audio file\n"
           "       klv-render [options] CHAIN -o DIR INPUT...    render files or folders into DIR\n"
           "       klv-render --list [options] PLUGIN            show parameters, programs and identity\n"
           "       klv-render [--demo] [DIR]                     render the built-in demo (default ./klv-demo)\n"
           "\n"
           "CHAIN is one plug-in, or several in signal order joined by \"+\", each followed by its own\n"
           "--program and --set:  tonvela -p \"hot tape3\" + clampora -p mix1 -s compress=0.6\n"
           "A plug-in is a path to a VST 2 library or a short name: clampora, clampora-mono, tonvela,\n"
           "tonvela-mono (searched in $KLV_PLUGIN_PATH, the build's plug-in folder, <bin>/../plugins,\n"
           "<bin>/../lib/vst, ~/.vst, /usr/local/lib/vst, /usr/lib/vst).\n"
           "Files are WAV, AIFF or FLAC (16/24/32-bit integer or 32-bit float); a folder given as INPUT\n"
           "stands for its .wav, .aif(f) and .flac files.\n"
           "\n"
           "options:\n"
           "  -p, --program P     factory program by number or name, e.g. 7 or \"vocal1\"\n"
           "  -s, --set NAME=V    parameter by host name or index, normalised value (repeatable),\n"
           "                      applied after --program, e.g. --set compress=0.6 --set 4=0.5\n"
           "  -b, --block N       frames per audio call, 1 or more (default 512)\n"
           "      --call C        process (accumulating) or processReplacing (default: the latter\n"
           "                      where the plug-in offers it)\n"
           "  -f, --format F      output container wav, aiff or flac (default: from the OUTPUT\n"
           "                      extension, else the input's)\n"
           "      --bits B        output samples 16, 24, 32 or float (default: the input's)\n"
           "  -o, --output-dir D  write every input into folder D (created if missing)\n"
           "      --name PATTERN  output names in D, from {name} (the input's name without extension)\n"
           "                      and {ext} (its extension, or the --format's); default {name}.{ext}\n"
           "  -j, --jobs N        files rendered at a time (default: one per processor core)\n"
           "      --force         replace outputs that exist (default: refuse)\n"
           "      --no-compensate keep the delay the chain reports at the start of the output\n"
           "  -L, --loudness      measure integrated loudness, loudness range and true peak\n"
           "                      (EBU R128) of every input and output\n"
           "      --json FILE     write the summary of every file to FILE as JSON\n"
           "  -q, --quiet         no progress bar and no summary\n"
           "  -h, --help          this text\n"
           "\n"
           "exit status: 0 done, 2 command line, 3 input file, 4 plug-in, 5 output file, 1 other,\n"
           "130 interrupted; with several files, the status of the failures when they agree, else 1.\n";
}

}  // namespace klv::render

#include "tools/render/render_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "tools/render/audio_file.h"
#include "tools/render/json_report.h"
#include "tools/render/paths.h"
#include "tools/render/plugin_chain.h"
#include "tools/render/render_error.h"
#include "tools/render/render_job.h"

namespace klv::render {

namespace {

// How often the progress display is redrawn and the stop flag looked at.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

struct FileId {
    dev_t device;
    ino_t inode;
    bool operator==(const FileId& o) const { return device == o.device && inode == o.inode; }
};

bool identify(const std::string& path, FileId& id) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    id = {st.st_dev, st.st_ino};
    return true;
}

std::string outputName(const std::string& pattern, const std::string& input, const std::string& container) {
    std::string ext = container.empty() ? extensionOf(input) : container;
    if (ext.empty()) ext = "wav";
    std::string name = pattern;
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"{name}", stemOf(input)}, {"{ext}", ext}})
        for (auto at = name.find(key); at != std::string::npos; at = name.find(key, at + value.size()))
            name.replace(at, key.size(), value);
    return name;
}

std::vector<FileJob> planJobs(const Options& o) {
    if (o.outputDir.empty()) return {{o.inputs.front(), o.output}};
    const std::string pattern = o.namePattern.empty() ? "{name}.{ext}" : o.namePattern;
    const std::string folder = o.outputDir.back() == '/' ? o.outputDir : o.outputDir + "/";
    std::vector<FileJob> jobs;
    for (const std::string& input : o.inputs) {
        struct stat st {};
        std::vector<std::string> files{input};
        if (::stat(input.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            files = audioFilesIn(input);
            if (files.empty()) throw RenderError(kExitInput, input + " holds no .wav, .aif(f) or .flac file");
        }
        for (const std::string& file : files) jobs.push_back({file, folder + outputName(pattern, file, o.container)});
    }
    return jobs;
}

// Everything that can be known about the outputs without reading a sample:
// no two files into one output, no output over an input, no existing file
// replaced without --force, and a JSON report that overwrites neither.
void checkJobs(const std::vector<FileJob>& jobs, const Options& o) {
    std::map<std::string, const FileJob*> byOutput;
    for (const FileJob& job : jobs) {
        const auto [it, added] = byOutput.emplace(job.outputPath, &job);
        if (!added)
            throw RenderError(kExitUsage, it->second->inputPath + " and " + job.inputPath +
                                              " would both be written to " + job.outputPath + " (see --name)");
    }
    std::vector<std::pair<FileId, const FileJob*>> inputs;
    for (const FileJob& job : jobs) {
        FileId id{};
        if (identify(job.inputPath, id)) inputs.emplace_back(id, &job);
    }
    const auto inputAt = [&](const std::string& path) -> const FileJob* {
        FileId id{};
        if (!identify(path, id)) return nullptr;
        for (const auto& [inputId, job] : inputs)
            if (inputId == id) return job;
        return nullptr;
    };
    std::vector<std::string> existing;
    for (const FileJob& job : jobs) {
        struct stat st {};
        if (::stat(job.outputPath.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) throw RenderError(kExitOutput, "cannot write " + job.outputPath + ": it is a folder");
        if (const FileJob* source = inputAt(job.outputPath))
            throw RenderError(kExitOutput, "cannot write " + job.outputPath + ": it is the input " + source->inputPath +
                                               " (an output never replaces an input)");
        if (!o.force) existing.push_back(job.outputPath);
    }
    if (existing.size() == 1)
        throw RenderError(kExitOutput, "cannot write " + existing[0] + ": it exists (add --force to replace it)");
    if (existing.size() > 1)
        throw RenderError(kExitOutput, "cannot write " + existing[0] + " and " + std::to_string(existing.size() - 1) +
                                           " more outputs: they exist (add --force to replace them)");
    if (!o.jsonPath.empty()) {
        if (const FileJob* source = inputAt(o.jsonPath))
            throw RenderError(kExitUsage, "--json " + o.jsonPath + " is the input " + source->inputPath);
        if (byOutput.count(o.jsonPath)) throw RenderError(kExitUsage, "--json " + o.jsonPath + " is also an output");
    }
}

void prepareOutputFolder(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        makeFolder(folder);
    else if (!S_ISDIR(st.st_mode))
        throw RenderError(kExitOutput, "cannot write into " + folder + ": it is not a folder");
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        throw RenderError(kExitOutput, "cannot write into " + folder + ": " + std::strerror(errno));
}

// Lines from the workers, printed by the main thread between redraws of
// the progress bar; notes that every file repeats are printed once.
class Monitor {
public:
    void note(const std::string& line) { post(line, true); }
    void error(const std::string& line) { post(line, false); }
    void fileFinished() {
        signal([this] { ++filesFinished_; });
    }
    void workerFinished() {
        signal([this] { ++workersFinished_; });
    }

    void watch(int workers, ProgressBar& bar, const RenderProgress& progress, std::size_t files, bool batch) {
        std::set<std::string> printedNotes;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait_for(lock, kRedrawInterval, [&] { return !lines_.empty() || workersFinished_ == workers; });
            std::vector<std::pair<std::string, bool>> lines;
            lines.swap(lines_);
            const int finished = filesFinished_;
            const bool over = workersFinished_ == workers;
            lock.unlock();
            if (!lines.empty()) bar.clear();
            for (const auto& [line, isNote] : lines)
                if (!isNote || printedNotes.insert(line).second) std::fprintf(stderr, "klv-render: %s\n", line.c_str());
            if (over) {
                bar.clear();
                return;
            }
            bar.update(progress.frames.load(std::memory_order_relaxed),
                       batch ? std::to_string(finished) + "/" + std::to_string(files) + " files" : std::string());
            lock.lock();
        }
    }

private:
    template <typename Change>
    void signal(Change change) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            change();
        }
        changed_.notify_one();
    }
    void post(const std::string& line, bool isNote) {
        signal([&] { lines_.emplace_back(line, isNote); });
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::pair<std::string, bool>> lines_;
    int filesFinished_ = 0;
    int workersFinished_ = 0;
};

// Several files failing alike say so; failures of different kinds are
// "other".
int exitStatusOf(const std::vector<FileOutcome>& files) {
    int status = kExitOk;
    for (const FileOutcome& f : files) {
        if (f.status == FileOutcome::Status::kInterrupted || f.status == FileOutcome::Status::kNotStarted)
            return kExitInterrupted;
        if (f.status != FileOutcome::Status::kFailed) continue;
        status = status == kExitOk || status == f.exitCode ? f.exitCode : kExitFailure;
    }
    return status;
}

std::pair<std::int64_t, double> totalLength(const std::vector<FileJob>& jobs) {
    std::int64_t frames = 0;
    double seconds = 0.0;
    for (const FileJob& job : jobs) {
        try {
            AudioReader reader(job.inputPath);
            frames += reader.frames();
            seconds += static_cast<double>(reader.frames()) / reader.format().sampleRate;
        } catch (const RenderError&) {
            // The file fails when its turn comes, with the reason.
        }
    }
    return {frames, seconds};
}

RenderSettings settingsOf(const Options& options) {
    RenderSettings settings;
    settings.blockSize = options.blockSize;
    settings.call = options.call;
    settings.container = options.container;
    settings.sampleType = options.sampleType;
    settings.compensate = options.compensate;
    settings.loudness = options.loudness;
    settings.replace = options.force;
    return settings;
}

FileOutcome renderOne(const ChainLibraries& libraries, const RenderSettings& settings, const FileJob& job,
                      RenderProgress& progress) {
    FileOutcome outcome;
    outcome.inputPath = job.inputPath;
    outcome.outputPath = job.outputPath;
    if (stopRequested()) {
        outcome.exitCode = kExitInterrupted;
        outcome.message = "interrupted; " + job.outputPath + " not written";
        return outcome;
    }
    try {
        outcome.summary = renderFile(libraries, settings, job, progress);
        outcome.status = FileOutcome::Status::kDone;
    } catch (const RenderError& e) {
        outcome.exitCode = e.code();
        outcome.message = e.what();
        outcome.status =
            e.code() == kExitInterrupted ? FileOutcome::Status::kInterrupted : FileOutcome::Status::kFailed;
    } catch (const std::exception& e) {
        outcome.exitCode = kExitFailure;
        outcome.message = e.what();
        outcome.status = FileOutcome::Status::kFailed;
    }
    return outcome;
}

// The workers take the files in order, one at a time each, while this
// thread keeps the progress bar and prints their lines.
std::vector<FileOutcome> renderAll(const ChainLibraries& libraries, const RenderSettings& settings,
                                   const std::vector<FileJob>& jobs, int workers, bool quiet, bool batch) {
    const bool wantBar = !quiet && ::isatty(STDERR_FILENO);
    const auto [totalFrames, totalSeconds] = wantBar ? totalLength(jobs) : std::pair<std::int64_t, double>{0, 0.0};
    ProgressBar bar(totalFrames, totalSeconds, wantBar);
    Monitor monitor;
    RenderProgress progress;
    progress.note = [&monitor](const std::string& line) { monitor.note(line); };
    std::vector<FileOutcome> outcomes(jobs.size());
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w)
        threads.emplace_back([&]() {
            for (std::size_t i = next++; i < jobs.size(); i = next++) {
                FileOutcome& outcome = outcomes[i] = renderOne(libraries, settings, jobs[i], progress);
                if (batch && outcome.status == FileOutcome::Status::kFailed) {
                    // Messages name the file they are about; those that do not get its name.
                    const bool named = outcome.message.find(outcome.inputPath) != std::string::npos;
                    monitor.error(named ? outcome.message : outcome.inputPath + ": " + outcome.message);
                }
                monitor.fileFinished();
            }
            monitor.workerFinished();
        });
    monitor.watch(workers, bar, progress, jobs.size(), batch);
    for (auto& t : threads) t.join();
    return outcomes;
}

void printOutcome(const Options& options, const std::vector<FileOutcome>& outcomes, int status, double wallSeconds) {
    std::fflush(stderr);
    if (options.outputDir.empty()) {
        const FileOutcome& only = outcomes.front();
        if (only.status == FileOutcome::Status::kDone && !options.quiet) printSummary(stdout, only.summary);
        if (only.status != FileOutcome::Status::kDone) {
            std::fflush(stdout);
            std::fprintf(stderr, "klv-render: %s\n", only.message.c_str());
        }
        return;
    }
    if (!options.quiet) printBatchTable(stdout, outcomes, options.loudness, wallSeconds);
    if (status == kExitInterrupted) {
        const auto finished = std::count_if(outcomes.begin(), outcomes.end(), [](const FileOutcome& f) {
            return f.status == FileOutcome::Status::kDone;
        });
        std::fflush(stdout);
        std::fprintf(stderr, "klv-render: interrupted after %ld of %zu files; no partial output left\n",
                     static_cast<long>(finished), outcomes.size());
    }
}

}  // namespace

int runRender(const Options& options) {
    std::vector<ChainLink> chain = options.chain;
    for (ChainLink& link : chain) link.plugin = locatePlugin(link.plugin);
    const std::vector<FileJob> jobs = planJobs(options);
    checkJobs(jobs, options);
    const ChainLibraries libraries(chain);
    const RenderSettings settings = settingsOf(options);
    // A wrong program or parameter name would fail every file alike: one
    // chain made up front says so once, before any file is opened.
    if (jobs.size() > 1) {
        ChainSetup setup;
        setup.blockSize = settings.blockSize;
        setup.call = settings.call;
        PluginChain check(libraries, setup);
    }
    const bool batch = !options.outputDir.empty();
    if (batch) prepareOutputFolder(options.outputDir);

    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int workers = static_cast<int>(std::min<std::size_t>(options.jobs > 0 ? options.jobs : cores, jobs.size()));
    const auto start = std::chrono::steady_clock::now();
    const std::vector<FileOutcome> outcomes = renderAll(libraries, settings, jobs, workers, options.quiet, batch);
    const double wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    int status = exitStatusOf(outcomes);
    printOutcome(options, outcomes, status, wallSeconds);
    if (!options.jsonPath.empty()) {
        try {
            writeJsonReport(options.jsonPath, jsonReport(outcomes, settings, status, wallSeconds));
        } catch (const RenderError& e) {
            std::fflush(stdout);
            std::fprintf(stderr, "klv-render: %s\n", e.what());
            if (status == kExitOk) status = e.code();
        }
    }
    return status;
}

}  // namespace klv::render

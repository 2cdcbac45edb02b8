#include "tools/render/render_job.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/render/audio_file.h"
#include "tools/render/loudness.h"
#include "tools/render/render_error.h"
#include "tools/render/sample_scan.h"

namespace klv::render {

namespace {

std::atomic<bool> stopFlag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// A chunk is a whole number of blocks, so the plug-ins see the same calls as
// when each block was read and written on its own: full blocks, and a short
// one only at the end. 128 kB of stereo samples stay in the cache from one
// thread to the next, and each hand-over (which may wake a thread) carries
// about a third of a second of audio at 44.1 kHz.
constexpr int kChunkFrames = 16384;
constexpr std::size_t kChunksWanted = 8;
constexpr std::size_t kChunkMemory = 64u << 20;
// How often a waiting thread looks at the stop flag, which a signal handler
// can set but not announce.
constexpr auto kStopPoll = std::chrono::milliseconds(50);

struct Chunk {
    float* samples = nullptr;
    int frames = 0;
    bool last = false;  // the stream's final chunk
};

// A bounded queue of chunks between two threads. Every chunk belongs to one
// fixed set that is never larger than the ring, so push never waits.
class ChunkQueue {
public:
    explicit ChunkQueue(std::size_t capacity) : ring_(capacity) {}

    void push(Chunk* chunk) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ring_[(head_ + count_) % ring_.size()] = chunk;
            ++count_;
        }
        ready_.notify_one();
    }

    // Null once the run is aborted or a stop is requested.
    Chunk* pop() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (aborted_ || stopFlag.load(std::memory_order_relaxed)) return nullptr;
            if (count_ > 0) break;
            ready_.wait_for(lock, kStopPoll);
        }
        Chunk* chunk = ring_[head_];
        head_ = (head_ + 1) % ring_.size();
        --count_;
        return chunk;
    }

    void abort() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            aborted_ = true;
        }
        ready_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<Chunk*> ring_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    bool aborted_ = false;
};

// The chunks and the three queues they travel round: free -> reader ->
// filled -> chain -> processed -> writer -> free. The first failure of any
// stage is kept and stops the others.
class Pipeline {
public:
    Pipeline(int channels, int blockSize) {
        const int frames = blockSize * std::max(1, (kChunkFrames + blockSize - 1) / blockSize);
        const std::size_t samples = static_cast<std::size_t>(frames) * channels;
        const std::size_t count =
            std::clamp<std::size_t>(kChunkMemory / (samples * sizeof(float) + 1), 3, kChunksWanted);
        chunkFrames = frames;
        storage_.assign(samples * count, 0.0f);
        chunks_.resize(count);
        free = std::make_unique<ChunkQueue>(count);
        filled = std::make_unique<ChunkQueue>(count);
        processed = std::make_unique<ChunkQueue>(count);
        for (std::size_t i = 0; i < count; ++i) {
            chunks_[i].samples = storage_.data() + i * samples;
            free->push(&chunks_[i]);
        }
    }

    void fail(ExitCode code, const std::string& message) {
        {
            std::lock_guard<std::mutex> lock(errorMutex_);
            if (!failed_) error_ = std::make_unique<RenderError>(code, message);
            failed_ = true;
        }
        abort();
    }

    void abort() {
        free->abort();
        filled->abort();
        processed->abort();
    }

    void rethrow() {
        std::lock_guard<std::mutex> lock(errorMutex_);
        if (error_) throw *error_;
    }

    // Runs a stage on its own thread, turning its exceptions into a failure
    // of the run.
    template <typename Body>
    std::thread stage(Body body) {
        return std::thread([this, body]() {
            try {
                body();
            } catch (const RenderError& e) {
                fail(e.code(), e.what());
            } catch (const std::exception& e) {
                fail(kExitFailure, e.what());
            }
        });
    }

    int chunkFrames = 0;
    std::unique_ptr<ChunkQueue> free, filled, processed;

private:
    std::vector<float> storage_;
    std::vector<Chunk> chunks_;
    std::mutex errorMutex_;
    bool failed_ = false;
    std::unique_ptr<RenderError> error_;
};

// Joins the stage threads however the chain's loop ends.
class StageThreads {
public:
    explicit StageThreads(Pipeline& pipeline) : pipeline_(pipeline) {}
    ~StageThreads() {
        for (auto& t : threads_)
            if (t.joinable()) {
                pipeline_.abort();
                t.join();
            }
    }
    void add(std::thread t) { threads_.push_back(std::move(t)); }
    void join() {
        for (auto& t : threads_) t.join();
    }

private:
    Pipeline& pipeline_;
    std::vector<std::thread> threads_;
};

bool integerFormat(int format) {
    return describeFormat(format).find("float") == std::string::npos;
}

}  // namespace

void requestStop() noexcept {
    stopFlag.store(true);
}

bool stopRequested() noexcept {
    return stopFlag.load();
}

namespace {

// One file under way: what the three stages share. The reader stage runs
// the input (and, when compensating, the silence after it) into chunks; the
// chain stage runs them through the plug-ins; the writer stage drops the
// chain's delay from the start and writes the rest.
class FileRender {
public:
    FileRender(AudioReader& reader, PluginChain& chain, AudioWriter& writer, RenderSummary& summary,
               RenderProgress& progress, int channels, int blockSize, std::int64_t delay, bool clips)
        : reader_(reader),
          chain_(chain),
          writer_(writer),
          summary_(summary),
          progress_(progress),
          pipeline_(channels, blockSize),
          channels_(channels),
          delay_(delay),
          clips_(clips) {}

    void measureLoudness(int sampleRate) {
        inLoudness_ = std::make_unique<LoudnessMeter>(channels_, sampleRate);
        outLoudness_ = std::make_unique<LoudnessMeter>(channels_, sampleRate);
    }

    // Throws the first stage's failure.
    void run() {
        {
            StageThreads threads(pipeline_);
            threads.add(pipeline_.stage([this] { readStage(); }));
            threads.add(pipeline_.stage([this] { writeStage(); }));
            chainStage();
            threads.join();
        }
        if (stopRequested())
            throw RenderError(kExitInterrupted, "interrupted; " + summary_.outputPath + " not written");
        pipeline_.rethrow();
        if (inLoudness_) summary_.inputLoudness = inLoudness_->figures();
        if (outLoudness_) summary_.outputLoudness = outLoudness_->figures();
    }

private:
    float* frameAt(Chunk* chunk, std::int64_t frame) const {
        return chunk->samples + static_cast<std::size_t>(frame) * channels_;
    }

    void readStage() {
        const int chunkFrames = pipeline_.chunkFrames;
        std::int64_t padding = delay_;
        std::int64_t total = 0;
        bool ended = false;
        for (;;) {
            Chunk* chunk = pipeline_.free->pop();
            if (!chunk) return;
            int frames = 0;
            while (!ended && frames < chunkFrames) {
                float* at = frameAt(chunk, frames);
                const int wanted = chunkFrames - frames;
                const int got = reader_.read(at, wanted);
                summary_.input.add(at, got);
                if (inLoudness_) inLoudness_->add(at, got);
                frames += got;
                total += got;
                ended = got < wanted;
            }
            // An empty file stays empty: there is nothing to line up.
            if (ended && total == 0) padding = 0;
            if (ended && padding > 0) {
                const int silence = static_cast<int>(std::min<std::int64_t>(padding, chunkFrames - frames));
                std::fill_n(frameAt(chunk, frames), static_cast<std::size_t>(silence) * channels_, 0.0f);
                frames += silence;
                padding -= silence;
            }
            chunk->frames = frames;
            chunk->last = ended && padding == 0;
            const bool last = chunk->last;
            pipeline_.filled->push(chunk);
            if (last) return;
        }
    }

    void chainStage() {
        for (;;) {
            Chunk* chunk = pipeline_.filled->pop();
            if (!chunk) return;
            chain_.process(chunk->samples, chunk->frames);
            const bool last = chunk->last;
            pipeline_.processed->push(chunk);
            if (last) return;
        }
    }

    void writeStage() {
        std::int64_t drop = delay_;
        std::int64_t overFullScale = 0;
        for (;;) {
            Chunk* chunk = pipeline_.processed->pop();
            if (!chunk) return;
            const int skip = static_cast<int>(std::min<std::int64_t>(drop, chunk->frames));
            drop -= skip;
            const int frames = chunk->frames - skip;
            float* at = frameAt(chunk, skip);
            // NaN and infinities from a plug-in become silence in the file.
            summary_.invalidSamples += zeroNonFinite(at, static_cast<std::size_t>(frames) * channels_, overFullScale);
            summary_.output.add(at, frames);
            if (outLoudness_) outLoudness_->add(at, frames);
            writer_.write(at, frames);
            progress_.frames.fetch_add(frames, std::memory_order_relaxed);
            const bool last = chunk->last;
            pipeline_.free->push(chunk);
            if (last) break;
        }
        if (clips_) summary_.clippedSamples = overFullScale;
    }

    AudioReader& reader_;
    PluginChain& chain_;
    AudioWriter& writer_;
    RenderSummary& summary_;
    RenderProgress& progress_;
    Pipeline pipeline_;
    std::unique_ptr<LoudnessMeter> inLoudness_, outLoudness_;
    const int channels_;
    const std::int64_t delay_;
    const bool clips_;
};

}  // namespace

RenderSummary renderFile(const ChainLibraries& libraries, const RenderSettings& settings, const FileJob& job,
                         RenderProgress& progress) {
    AudioReader reader(job.inputPath);
    const AudioFormat inFormat = reader.format();
    const int channels = inFormat.channels;

    ChainSetup setup;
    setup.sampleRate = static_cast<float>(inFormat.sampleRate);
    setup.channels = channels;
    setup.blockSize = settings.blockSize;
    setup.call = settings.call;
    setup.inputPath = job.inputPath;
    PluginChain chain(libraries, setup);
    for (const std::string& note : chain.notes())
        if (progress.note) progress.note(note);

    std::string note;
    AudioFormat outFormat = inFormat;
    outFormat.format =
        chooseOutputFormat(inFormat.format, job.outputPath, settings.container, settings.sampleType, note);
    if (!note.empty() && progress.note) progress.note(note);

    RenderSummary summary;
    summary.blockSize = settings.blockSize;
    summary.inputPath = job.inputPath;
    summary.outputPath = job.outputPath;
    summary.inputFormat = describeFormat(inFormat.format);
    summary.outputFormat = describeFormat(outFormat.format);
    summary.sampleRate = inFormat.sampleRate;
    summary.compensated = settings.compensate;
    summary.input = LevelStats(channels);
    summary.output = LevelStats(channels);

    AudioWriter writer(job.outputPath, outFormat, settings.replace);
    const auto start = std::chrono::steady_clock::now();
    chain.start();
    summary.delayFrames = chain.delayFrames();
    summary.chain = chain.stages();
    // Compensation runs the chain on the input followed by as much silence
    // as it delays, and drops as much from the start of its output.
    const std::int64_t delay = settings.compensate ? chain.delayFrames() : 0;
    FileRender render(reader, chain, writer, summary, progress, channels, settings.blockSize, delay,
                      integerFormat(outFormat.format));
    if (settings.loudness) render.measureLoudness(inFormat.sampleRate);
    render.run();
    chain.stop();
    writer.commit();
    summary.elapsedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return summary;
}

}  // namespace klv::render

// The render: one piece of code that wires the engine for "Process" and for `quorvin render`.
//
//   decoding stream of the source
//     -> the effect chain's gain, vocal remover, equalizer and sides heard (effects::ChainApplier)
//   [a second thread runs the above ahead into a ring]
//     -> decoding tempo channel with the chain's tempo and pitch (the window's PlayChannel once
//        the render has ended)
//     -> blocks of up to 20,000 bytes appended to a WAV file through WaveWriter
//   [by a third thread, writing behind the caller's].
//
// Every decision about how the audio is processed is taken here, so that the window and the
// command line, which only drive it, write the same bytes for the same settings; the chain goes on
// through the same ChainApplier as the play channel's, so a render sounds as playback does.
// Stretching runs on the thread that steps it, decoding and the effects on a second one. setChain()
// changes the chain while the render runs (the window's controls during "Process"): the blocks
// read from then on follow it.
//
// Driven block by block, by the command line on its own thread and by a window through a
// RenderThread, so that the window's thread never waits on the decoding or the stretching:
//
//   RenderPipeline r;
//   if (!r.open(source, workFile, settings)) show(r.error());
//   while (r.step() == RenderPipeline::Step::More) { show progress; }
//   r.finish();   // patches the header sizes with the bytes written and closes the file
//
// The header sizes are the number of PCM bytes written, not the channel's position (which counts
// source bytes and differs from the output at any tempo but 0); position() and length() are for
// progress displays. The engine must not be freed while step() runs. One thread drives it; while
// a RenderThread steps it, the thread that started that one may call setChain() and position().
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "effects/chain.h"
#include "engine/bass.h"
#include "files/open_error.h"
#include "files/wave_header.h"

namespace render {

namespace detail {
struct ReadAhead;
struct WriteBehind;
}  // namespace detail

struct RenderSettings {
    // What is heard: the vocal remover, the equalizer, tempo and pitch.
    effects::Chain chain;
    // Stretch with Rubber Band's finer engine instead of SoundTouch ("High quality render").
    bool highQuality = false;
    // The passage rendered, in seconds of the source: from `fromSeconds` to `toSeconds` (0: to
    // the end). position() and length() then count the passage's bytes.
    double fromSeconds = 0;
    double toSeconds = 0;
};

class RenderPipeline {
  public:
    static constexpr DWORD kBlockBytes = 20000;

    enum class Step {
        More,      // a block was processed; call step() again
        Finished,  // the channel has ended; call finish()
        Stopped,   // writing stopped (size limit reached, write failed): error() says why;
                   // call finish(), the file holds what was written
    };

    // `maxDataBytes`: where the file stops growing (the WAV format's limit unless a test wants a
    // smaller one).
    explicit RenderPipeline(uint32_t maxDataBytes = files::kMaxWaveDataBytes);
    ~RenderPipeline();  // finishes an open file; leaves the channels to the engine (see close())
    RenderPipeline(const RenderPipeline&) = delete;
    RenderPipeline& operator=(const RenderPipeline&) = delete;

    // Opens `source` as a decoding stream, attaches the effects, builds the tempo channel and
    // creates `output` with the header (both sizes 0). Refuses, with error() for the user, a
    // source that cannot be opened or holds no audio, an output that cannot be created and an
    // output that is the source file itself; then nothing is left open and no channel remains.
    bool open(const std::string& source, const std::string& output, const RenderSettings& settings);
    // The chain from the next block on (decoded ahead: the read-ahead's buffer, at most a few
    // seconds, keeps what it had). Kept until then and put on the channels by the thread that
    // steps, so that the caller never waits for a block under way.
    void setChain(const effects::Chain& chain);

    // Reads one block of up to kBlockBytes of processed audio and hands it to the writing
    // thread. A failed write is reported by a later step (at the latest the last one), once that
    // thread has met it; Finished means every block reached the file.
    Step step();
    // Patches the header sizes and closes the file. False when that failed, or when the source
    // ended with nothing decoded (error() says why).
    bool finish();
    // Frees the render's channels. The window instead keeps them (the tempo channel stays its
    // PlayChannel) until the engine is freed; the command line closes them.
    void close();

    // Progress: the tempo channel's position and the source's (or the passage's) length, in
    // source bytes.
    uint64_t position() const { return position_.load(std::memory_order_relaxed); }
    uint64_t length() const { return length_; }
    // PCM bytes written to the file so far (handed to the writing thread while it runs).
    uint32_t bytesWritten() const;
    const files::WaveHeader& header() const { return writer_.header(); }
    const std::string& error() const { return error_; }
    // What the user is told though the render goes on ("" when nothing): a setting that does not
    // apply to this source (from open() on), samples of the source that were not numbers,
    // rendered as silence, and samples the equalizer or the stretcher clipped (counted as they are
    // decoded: complete once the render has finished).
    std::string note() const;
    // Where the source's channels go (engine::speakerMask), for an encoder of the finished file,
    // whose header does not say; until close().
    uint32_t speakerMask() const;

    // The engine handles, for a window that acts on them during the render.
    HSTREAM sourceStream() const { return stream_; }
    HSTREAM tempoChannel() const { return tempo_; }

  private:
    // Ends the writing thread; false, with error(), when writing stopped short.
    bool stopWriting();

    files::WaveWriter writer_;
    std::unique_ptr<detail::WriteBehind> behind_;
    uint32_t handed_ = 0;
    std::vector<int16_t> block_;
    std::string error_, note_;
    std::string source_;
    std::shared_ptr<detail::ReadAhead> ahead_;
    HSTREAM stream_ = 0;
    HSTREAM aheadStream_ = 0;
    HSTREAM tempo_ = 0;
    effects::ChainApplier chain_;
    std::mutex pendingMutex_;
    std::optional<effects::Chain> pending_;  // from setChain, for the next step
    std::atomic<bool> chainPending_{false};
    std::atomic<uint64_t> position_{0};
    uint64_t length_ = 0;
    bool toEnd_ = true;  // the passage runs to the source's end
    bool ended_ = false;
};

// Steps an open pipeline on a thread of its own until its channel ends, writing stops or stop()
// is asked: a window's render, whose thread goes on drawing and answering meanwhile. The thread
// that started it may call the pipeline's setChain() and position() while it runs and nothing
// else of it until join() has returned.
class RenderThread {
  public:
    RenderThread() = default;
    ~RenderThread();  // stops and joins a render still running
    RenderThread(const RenderThread&) = delete;
    RenderThread& operator=(const RenderThread&) = delete;

    // `ended` runs on the render's thread after its last step (to wake the thread waiting).
    void start(RenderPipeline& pipeline, std::function<void()> ended);
    // Ends the render after the block under way. Any thread.
    void stop() { stop_.store(true); }
    // Waits for the render's thread to end: the last step's outcome (More when stopped).
    RenderPipeline::Step join();

  private:
    std::thread thread_;
    std::atomic<bool> stop_{false};
    RenderPipeline::Step outcome_ = RenderPipeline::Step::More;
};

// Words for the engine's last error code when a file cannot be opened.
using files::describeOpenError;

}  // namespace render

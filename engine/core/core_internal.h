// Inside the engine core: channels, the handle table, DSP chains and syncs. Not for callers
// outside engine/.
//
// Locking (see docs/threading.md):
// - tableMutex() guards the handle table only; it is never held while audio is processed.
// - Channel::lock (recursive) guards a channel's processing state. A tempo channel shares its
//   source's lock, so one lock covers the whole chain. It is held by whoever renders audio of the
//   channel (the caller of BASS_ChannelGetData, the decoder worker, a NullManual step) and by
//   control calls that change processing state. The output callback never takes it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "engine/bass.h"
#include "engine/engine_ext.h"

namespace engine::detail {

constexpr BOOL kTrue = 1;
constexpr BOOL kFalse = 0;

// Sets `code` and returns `value`: `return fail(BASS_ERROR_HANDLE, FALSE);`
template <class T>
T fail(int code, T value) {
    engine::setError(code);
    return value;
}
template <class T>
T ok(T value) {
    engine::setError(BASS_OK);
    return value;
}

// Runs the body of an engine call: an exception thrown inside (out of memory, a library's
// refusal, a procedure of the caller's) becomes an error code and `failure` is returned, so that
// no exception crosses the engine's boundary. The body sets its own code otherwise.
template <class T, class F>
T guarded(T failure, F&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return fail(BASS_ERROR_MEM, failure);
    } catch (...) {
        return fail(BASS_ERROR_UNKNOWN, failure);
    }
}

// An effect in a channel's DSP chain (peaking equalizer, gain).
class Effect {
  public:
    virtual ~Effect() = default;
    // Returns the number of samples clipped at full scale.
    virtual int64_t process(int16_t* samples, int64_t frames, int channels, int rate) = 0;
    virtual bool setParameters(const void* params) = 0;
    virtual bool getParameters(void* params) const = 0;
};
std::shared_ptr<Effect> makeEffect(int type);  // null for an unknown type

struct DspEntry {
    DWORD handle = 0;
    int priority = 0;
    uint64_t order = 0;  // equal priorities run in the order they were set
    DSPPROC* proc = nullptr;
    void* user = nullptr;
    int fxType = 0;  // for effects: BASS_FX_PEAKEQ, BASS_FX_GAIN
    std::shared_ptr<Effect> fx;
    int64_t latency = 0;  // frames the procedure's output lags its input
};

struct SyncEntry {
    DWORD handle = 0;
    DWORD type = 0;  // with the BASS_SYNC_ONETIME bit
    SYNCPROC* proc = nullptr;
    void* user = nullptr;
};

// What happened while audio was pulled; syncs for it are fired after the lock is released.
struct PullEvents {
    int ends = 0;            // the end was reached (each loop counts)
    bool readError = false;  // a Source read failed (CD read error)
    DWORD readErrorChannel = 0;
};

struct PlayState;  // output.cpp

// An A-B loop on a stream (loop.cpp): at `end` the stream continues from `start`; the `fade`
// frames before `end` are crossfaded with the `fade` frames before `start` (by a law chosen from
// how alike the two are, so the level holds), so the join is continuous. Immutable once set;
// replaced as a whole under the channel's lock.
struct LoopRegion {
    int64_t start = 0, end = 0;    // frames, start < end
    int64_t fade = 0;              // <= end - start
    std::vector<int16_t> preroll;  // the `fade` frames before `start`, interleaved (silence
                                   // before the stream's first frame)
    std::vector<float> gainOut, gainIn;

    // Frames that may be read from `pos` (at most `want`) without passing `end`.
    int64_t limit(int64_t pos, int64_t want) const;
    // Applies the crossfade to frames [pos, pos + n) held in `dst`.
    void crossfade(int16_t* dst, int64_t pos, int64_t n, int chans) const;
    // A timeline position that advanced from `before` to `after`, wrapped back into the loop when
    // it crossed `end`.
    double wrap(double before, double after) const;
};

class Channel : public std::enable_shared_from_this<Channel> {
  public:
    virtual ~Channel();

    DWORD handle = 0;
    DWORD flags = 0;
    DWORD ctype = BASS_CTYPE_STREAM;
    int rate = 44100;
    int chans = 2;
    uint32_t speakerMask = 0;  // Source::speakerMask of the stream read
    std::shared_ptr<std::recursive_mutex> lock = std::make_shared<std::recursive_mutex>();

    int64_t frameBytes() const { return int64_t(chans) * 2; }
    bool isDecode() const { return (flags & BASS_STREAM_DECODE) != 0; }
    bool loops() const { return (flags & BASS_SAMPLE_LOOP) != 0; }

    // The length and timeline position (frames) last read under `lock`: what a caller that finds
    // the lock held by a read under way is given (a slow drive can hold one for seconds), as if it
    // had asked just before that read. -1 before the first.
    std::atomic<int64_t> knownLength{-1}, knownPosition{-1};

    // --- processing (with `lock` held) ---
    virtual int64_t lengthFrames() const = 0;
    virtual int64_t positionFrames() const = 0;  // of the next frame to be delivered
    virtual bool seekFrames(int64_t frame) = 0;
    // Delivers up to `frames` frames before this channel's DSP chain; fewer (maybe 0) at the end,
    // which then sets atEnd().
    virtual int64_t readRaw(int16_t* dst, int64_t frames, PullEvents& ev) = 0;
    // The channel's last frame was delivered (including what a lagging procedure still held).
    bool atEnd() const { return ended && dspLag == 0; }
    // Source byte position of the next frame, for the mapping of output to the timeline.
    virtual double timelineFrames() const { return double(positionFrames()); }
    // Speed of output through the timeline: timeline frames per delivered frame.
    virtual double speed() const { return 1.0; }
    // The source channel freed with this one (a tempo channel made with BASS_FX_FREESOURCE).
    virtual DWORD ownedSource() const { return 0; }
    // The channel this one reads from (a tempo channel's source), or null.
    virtual std::shared_ptr<Channel> upstream() const { return nullptr; }

    // A-B loop of a stream (null: none). Read by a tempo channel over it to place its output.
    std::shared_ptr<const LoopRegion> loop;

    // Delivers up to `frames` frames with the DSP chain applied. Loops when the channel loops
    // (stopping at the loop point so a block never spans it: ev.ends counts the ends reached
    // after the frames returned). Returns 0 only at a real end.
    //
    // A chain whose procedures lag their input (dspLatency() > 0) is compensated here: after a
    // seek the chain is first fed that many frames whose output is dropped, and at the end it is
    // fed as many frames of silence, so the delivered frames line up with the source and the
    // length stays the same. Meanwhile the raw reading is dspLag frames ahead of the delivered.
    int64_t pull(int16_t* dst, int64_t frames, PullEvents& ev);
    void runDsp(int16_t* samples, int64_t frames);
    void primeLaggingChain(PullEvents& ev);
    int64_t dspLatency() const;
    // Frames read but not yet delivered by the lagging procedures.
    int64_t dspLag = 0;
    // Goes back to the first frame not yet delivered (a lagging procedure is leaving the chain).
    virtual void rewindRaw(int64_t frames) { (void)frames; }

    // --- DSP chain: copy on write so a procedure may change the chain while it runs ---
    std::shared_ptr<const std::vector<DspEntry>> dsp = std::make_shared<std::vector<DspEntry>>();
    // Room for the frames that fill a lagging chain after a seek (sized when such a procedure is
    // set, so that pulling never allocates).
    std::vector<int16_t> primeBuffer;
    void addDsp(DspEntry e);
    bool removeDsp(DWORD dspHandle);
    const DspEntry* findEffect(int type) const;  // in the current chain, or null
    // Samples the equalizer clipped at full scale, over the channel's life.
    std::atomic<int64_t> eqClipped{0};
    // Samples a tempo channel's stretcher gave beyond full scale (clamped), over its life.
    std::atomic<int64_t> stretchClipped{0};

    // --- syncs (guarded by syncMutex, not by `lock`) ---
    std::mutex syncMutex;
    std::vector<SyncEntry> syncs;
    void fireSyncs(DWORD type, DWORD data);
    void fireEvents(const PullEvents& ev);

    // --- attributes (atomics: the mixer reads them) ---
    std::atomic<int> freq{44100};
    std::atomic<float> volume{1.0f};  // 0..1
    std::atomic<float> pan{0.0f};     // -1..1

    // --- playback (output.cpp); made when the channel is registered, null for decoding ---
    std::shared_ptr<PlayState> play;

  protected:
    // After a seek: the next block does not continue the one before (the lag starts again).
    void discontinue() {
        dspLag = 0;
        freshBlock = true;
    }
    bool ended = false;
    bool freshBlock = true;  // the next block processed follows a seek (or is the first)
    int64_t emptyLoops = 0;  // guards a looping channel of length 0
    // Set by readRaw when the frames it read ended at an A-B loop's end and the channel went back
    // to the loop's start: that end (frames), for the DSP procedures of that block. -1 otherwise.
    int64_t wrappedFrom = -1;
};

// A stream over a Source.
class StreamChannel : public Channel {
  public:
    explicit StreamChannel(std::unique_ptr<Source> src);
    int64_t lengthFrames() const override { return length; }
    int64_t positionFrames() const override { return pos; }
    // What has been delivered: behind the reading by what a lagging procedure holds.
    double timelineFrames() const override { return deliveredFrames(dspLag); }
    bool seekFrames(int64_t frame) override;
    int64_t readRaw(int16_t* dst, int64_t frames, PullEvents& ev) override;
    // Sets (or, with end <= start, clears) the A-B loop; reads the crossfade's lead-in from the
    // source and returns to where the stream stood. false when the source cannot seek there.
    bool setLoop(int64_t start, int64_t end);

    std::unique_ptr<Source> source;
    void rewindRaw(int64_t frames) override;

  private:
    bool moveTo(int64_t frame);  // seekFrames without starting the DSP chain afresh
    double deliveredFrames(int64_t lag) const;
    int64_t length = 0;
    int64_t pos = 0;
};

// Handle table.
DWORD newHandle();  // a fresh handle for a channel, DSP, sync or effect
DWORD registerChannel(std::shared_ptr<Channel> ch);
std::shared_ptr<Channel> findChannel(DWORD handle);
// Removes the channel from the table (and stops it); frees a tempo channel's source when it owns
// it. Calls the free listeners. false when the handle is unknown.
bool freeChannel(DWORD handle);
void freeAllChannels();
std::vector<std::shared_ptr<Channel>> allChannels();

// Output side (output.cpp).
bool outputReady();  // BASS_Init succeeded and BASS_Free has not been called since
std::shared_ptr<PlayState> makePlayState();  // a channel's playback state, stopped
void detachFromOutput(Channel& ch);          // stop playing it (no wait on the worker's lock)
bool flushPlayback(Channel& ch, int64_t newPosFrames);  // after a seek of a playing channel
QWORD playedPositionBytes(Channel& ch, bool* valid);
// BASS_ChannelSetAttributes ends a running slide of the attributes it sets.
void cancelSlide(Channel& ch, bool freq, bool volume, bool pan);

// Output capture (capture.cpp). The output callback hands it the first `frames` frames of each
// mixed block (those mixed while a channel was playing); no lock, no allocation. With `mayWait`
// (nullOutputStep, faster than real time) it waits for the writer instead of losing frames.
void captureMixed(const float* stereo, int frames, bool mayWait);
// Waits until the capture's file holds everything handed over so far (BASS_Free).
void captureFlush();

}  // namespace engine::detail

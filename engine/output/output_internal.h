// The output's state shared by the mixer (mixer.cpp) and the rest of the output (output.cpp): the
// chunks a channel's ring carries, each playing channel's state, and the output itself. Internal
// to engine/output/. Threads: see output.cpp.
#pragma once

#include <portaudio.h>
#include <soxr.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/core/core_internal.h"
#include "engine/engine_ext.h"
#include "engine/spsc_ring.h"

namespace engine::detail {

constexpr int kOutRate = 44100;
constexpr int kChunkFrames = 512;  // output frames a chunk aims at
constexpr int kChunkCap = 1024;    // output frames a chunk can hold
constexpr int kRingChunks = 16;
constexpr int64_t kAheadFrames = 2048;  // output frames decoded ahead (46 ms)
constexpr int kSlots = 64;              // channels playing at once

struct Chunk {
    uint32_t gen = 0;
    int frames = 0;
    double startPos = 0, endPos = 0;  // timeline bytes at the first frame and after the last
    // An A-B loop wrapped inside the chunk: endPos runs on past the loop's end (wrapAt) by what
    // the wrap took back (wrapBy), and a position at or past wrapAt is that much less. 0: none.
    double wrapAt = 0, wrapBy = 0;
    int ends = 0;        // END events reached after this chunk
    bool final = false;  // the channel's last chunk
    float data[kChunkCap * 2];
};

enum PlayMode : int { kStopped = 0, kPlaying = 1, kPaused = 3 };

struct PlayState {
    SpscRing<Chunk> ring{kRingChunks};  // the worker (under the channel's lock) to the mixer
    std::atomic<uint32_t> gen{1};
    std::atomic<uint64_t> published{0};  // (gen << 48) | bytes consumed by the output
    std::atomic<uint64_t> seekBytes{0};  // position until the output consumes the new data
    std::atomic<int> mode{kStopped};
    std::atomic<bool> finished{false};
    std::atomic<int> pendingEnds{0}, pendingSlides{0};

    // Slide request: a sequence lock, written by control calls (any thread, one at a time), read
    // by the mixer without waiting (it retries on its next block when a write was under way).
    struct SlideRequest {
        int freq = -1;
        float vol = -1.0f, pan = -2.0f;
        int64_t frames = 0;
        int cancel = 0;  // bits 1 freq, 2 volume, 4 pan: end those slides
    };
    std::atomic<uint32_t> slideSeq{0};  // odd while a writer stores
    std::atomic<int> reqFreq{-1};
    std::atomic<float> reqVol{-1.0f}, reqPan{-2.0f};
    std::atomic<int64_t> reqFrames{0};
    std::atomic<int> reqCancel{0};

    // Each new datum is stored with release after the odd value, and loaded with acquire: a reader
    // that saw any of it also sees the odd (or a later) value when it reads the sequence again.
    void writeSlide(const SlideRequest& r) {
        uint32_t s = slideSeq.load(std::memory_order_relaxed);
        for (;;) {  // writers take turns: make the sequence odd from an even value
            if (!(s & 1) && slideSeq.compare_exchange_weak(s, s + 1, std::memory_order_acquire))
                break;
            if (s & 1) s = slideSeq.load(std::memory_order_relaxed);
        }
        reqFreq.store(r.freq, std::memory_order_release);
        reqVol.store(r.vol, std::memory_order_release);
        reqPan.store(r.pan, std::memory_order_release);
        reqFrames.store(r.frames, std::memory_order_release);
        reqCancel.store(r.cancel, std::memory_order_release);
        slideSeq.store(s + 2, std::memory_order_release);  // the data before the even value
    }
    // A request newer than `seen`, read whole; false when there is none or a write is under way.
    bool readSlide(uint32_t seen, uint32_t& seq, SlideRequest& r) const {
        seq = slideSeq.load(std::memory_order_acquire);
        if (seq == seen || (seq & 1)) return false;
        r.freq = reqFreq.load(std::memory_order_acquire);
        r.vol = reqVol.load(std::memory_order_acquire);
        r.pan = reqPan.load(std::memory_order_acquire);
        r.frames = reqFrames.load(std::memory_order_acquire);
        r.cancel = reqCancel.load(std::memory_order_acquire);
        return slideSeq.load(std::memory_order_relaxed) == seq;
    }

    // Mixer only.
    int rdOffset = 0;
    uint32_t seenSlideSeq = 0;
    int64_t slideLeft = 0;
    bool slideVol = false, slidePan = false, slideFreq = false;
    float volStep = 0, panStep = 0, volTarget = 0, panTarget = 0;
    double freqStep = 0, freqNow = 0;
    int freqTarget = 0;
    float lastL = -1, lastR = -1;
    uint32_t playedOutGen = 0;  // the generation whose last chunk the output consumed

    // Worker side, under the channel's lock.
    bool producedFinal = false;
    soxr_t soxr = nullptr;
    int soxrInRate = 0;
    std::vector<int16_t> pcm;
    std::vector<float> fin;
    // The gains of each channel into the left and the right, for `downmixChans` channels placed
    // by `downmixMask`.
    StereoDownmix downmix;
    int downmixChans = 0;
    uint32_t downmixMask = 0;

    ~PlayState() {
        if (soxr) soxr_delete(soxr);
    }
};

struct Output {
    std::mutex m;  // init/free, the playing list, the slots' writers
    bool ready = false;
    OutputKind kind = OutputKind::Device;
    OutputKind nextKind = OutputKind::Device;
    std::vector<std::shared_ptr<Channel>> playing;
    std::atomic<Channel*> slots[kSlots] = {};
    std::atomic<uint32_t> epoch{0};  // odd while a mix pass runs
    std::atomic<int64_t> framesPlayed{0};
    std::atomic<float> master{1.0f};
    std::atomic<bool> running{false};
    std::thread worker, clock;
    std::mutex wakeMutex;
    std::condition_variable wake;
    PaStream* pa = nullptr;
    std::vector<float> scratch;  // null outputs' mix buffer
};

Output& out();
// A published position: the generation and the timeline bytes consumed by the output.
uint64_t pack(uint32_t gen, double bytes);

// Mixes `frames` output frames of every playing channel into `dst` (interleaved stereo float).
// `manual`: run by nullOutputStep on a test's thread, which may wait (for the capture's writer).
void mix(float* dst, int frames, bool manual = false);
// Waits until no mix pass that may have seen a removed slot is running.
void waitMixPass();

}  // namespace engine::detail

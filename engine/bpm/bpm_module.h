// The BPM module's state: the taps on channels, the worker that analyses what they copy, and the
// results kept per handle. Internal to engine/bpm/ (the operations are in bpm_detect.cpp).
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "analysis/bpm_beats.h"
#include "analysis/bpm_tempo.h"
#include "analysis/mono_mix.h"
#include "engine/bass.h"
#include "engine/engine_ext.h"
#include "engine/spsc_ring.h"

namespace engine::bpm::detail {

using namespace analysis::bpm;

using Clock = std::chrono::steady_clock;

// A tapped block's end: ring frames written so far, and the timeline position there; `wrapped`
// when the block ended at an A-B loop's end (the next block starts at the loop's start).
struct Anchor {
    uint64_t frameEnd = 0;
    double posEnd = 0;
    bool wrapped = false;
};

// A jump of the timeline at ring frame `frame`: by `shift` seconds from where the audio before it
// led; `wrap` for an A-B loop going round (else a seek).
struct Cut {
    uint64_t frame = 0;
    double shift = 0;
    bool wrap = false;
};

constexpr size_t kRingFrames = size_t(1) << 18;  // about 6 s at 44.1 kHz
constexpr size_t kAnchorCap = size_t(1) << 12;
constexpr size_t kWorkBlock = 4096;

struct PeriodicConfig {
    BPMPROC* proc = nullptr;
    void* user = nullptr;
    double period = 0;
    TempoRange range;
    bool mult2 = false;
};

struct BeatConfig {
    BPMBEATPROC* proc = nullptr;
    void* user = nullptr;
};

// The tap on one channel and the analyses fed from it. A tempo channel is analysed on its
// source, before the stretcher: the tempo and the beats are then on the source's timeline, as the
// tempo channel's positions are, and the stretcher cannot blur the onsets. A second procedure on
// the tempo channel itself only counts the frames played, for the periods.
struct Tap {
    DWORD chan = 0;       // the handle the reports are for
    DWORD audioChan = 0;  // where the audio is tapped: a tempo channel's source, else chan
    HDSP dsp = 0;         // on audioChan
    HDSP clockDsp = 0;    // on chan, when audioChan is another channel
    int rate = 44100;     // of audioChan
    int chans = 2;
    std::unique_ptr<analysis::MonoMix> mixer;  // of audioChan's channels; the tap's thread only
    int playRate = 44100;                      // of chan
    int playChans = 2;
    SpscRing<float> ring{kRingFrames};
    SpscRing<Anchor> anchors{kAnchorCap};
    std::atomic<bool> enabled{true};
    std::atomic<uint64_t> played{0};  // frames of chan's output (with clockDsp)

    // Guarded by Module::mutex. A generation changes with every (re)setting, so that results of
    // an older setting are never delivered.
    std::optional<PeriodicConfig> periodic;
    std::optional<BeatConfig> beat;
    uint64_t periodicGen = 0, beatGen = 0;
    std::atomic<bool> resetPeriod{false};

    // Worker thread only.
    uint64_t consumed = 0;
    std::deque<Anchor> recent;
    double lastRatio = 1.0;
    uint64_t seenPeriodicGen = 0, seenBeatGen = 0;
    std::optional<PeriodicConfig> wPeriodic;
    bool wBeat = false;
    std::unique_ptr<OnsetEnvelope> env;
    uint64_t periodStart = 0;  // in played frames (with clockDsp) or ring frames
    std::unique_ptr<BeatTracker> tracker;
    uint64_t trackerOrigin = 0;
    // Where the timeline jumps (a seek, a loop): the jumps not yet analysed, and the ring frames
    // of those still within `recent`. The beat tracker starts again at a seek and goes on across
    // a loop's wrap; a beat is delivered only after the last one delivered since the jump, and
    // never one from before it.
    uint64_t anchoredEnd = 0;  // frameEnd of the last anchor taken
    bool haveAnchor = false;
    std::deque<Cut> cuts;
    std::deque<uint64_t> recentCuts;
    uint64_t lastCut = 0;  // ring frame of the last jump analysed
    double lastBeat = -1e300;
};

struct Kept {
    float bpm = 0;
    int rate = 44100;
    bool freeSource = false;
};

// A decode-time detection: the window of a decoding channel read by BASS_FX_BPM_DecodeGet, on
// the caller's thread or on the module's detection thread.
struct Detection {
    DWORD chan = 0;
    QWORD from = 0, to = 0;  // bytes
    int rate = 44100, chans = 1;
    TempoRange range;
    bool mult2 = false;
    bool background = false;  // on the detection thread
    BPMPROGRESSPROC* proc = nullptr;
    std::atomic<bool> cancelled{false};  // set under Module::mutex
    bool ended = false;  // its BPM is kept and its 100 on the way (guarded by Module::mutex)
};

// Reads the detection's window and keeps the BPM for its channel; `proc` from 0 to 100. Returns
// the BPM (0: none found); nothing when the channel could not be read (the engine's error code
// says why), was freed meanwhile, or the detection was cancelled (then nothing is kept and no 100
// is reported).
std::optional<float> runDetection(Detection& d);

struct Event {
    std::shared_ptr<Tap> tap;
    bool isBeat = false;
    uint64_t gen = 0;
    double value = 0;
};

void tapProc(HDSP, DWORD, void* buffer, DWORD length, void* user);
void clockProc(HDSP, DWORD, void* buffer, DWORD length, void* user);

class Module {
  public:
    Module() {
        // Look a handle up once, so that the engine's handle table exists before this module and
        // is still there when the destructor below removes its procedures.
        BASS_CHANNELINFO none;
        BASS_ChannelGetInfo(0, &none);
        engine::addChannelFreeListener([this](DWORD h) { channelFreed(h); });
    }
    // At the program's end: no procedure of ours may stay on a channel that outlives the module.
    ~Module() {
        {
            std::lock_guard g(mutex_);
            running_ = false;
            std::vector<std::shared_ptr<Tap>> all;
            for (auto& [h, t] : taps_) all.push_back(t);
            for (auto& t : all) {
                t->periodic.reset();
                t->beat.reset();
                dropTapIfIdle(t);
            }
        }
        wake_.notify_all();
        if (worker_.joinable()) worker_.join();
        {
            std::lock_guard g(mutex_);
            detecting_ = false;
            for (auto& d : detectQueue_) d->cancelled = true;
            detectQueue_.clear();
            if (detectRunning_) detectRunning_->cancelled = true;
        }
        detectWake_.notify_all();
        if (detector_.joinable()) detector_.join();
    }

    std::mutex& mutex() { return mutex_; }
    std::unordered_map<DWORD, Kept>& kept() { return kept_; }

    // --- taps (with mutex_ held) ---------------------------------------------------------

    std::shared_ptr<Tap> findTap(DWORD chan) {
        auto it = taps_.find(chan);
        return it == taps_.end() ? nullptr : it->second;
    }

    // The tap on `chan`, installed if needed. Null (error set) when the channel is not usable.
    std::shared_ptr<Tap> ensureTap(DWORD chan, const BASS_CHANNELINFO& info) {
        if (auto t = findTap(chan)) return t;
        auto t = std::make_shared<Tap>();
        t->chan = t->audioChan = chan;
        t->playRate = std::max<int>(1, int(info.freq));
        t->playChans = std::max<int>(1, int(info.chans));
        BASS_CHANNELINFO audio = info;
        if (info.ctype == BASS_CTYPE_STREAM_TEMPO) {
            const DWORD src = BASS_FX_TempoGetSource(chan);
            if (src && BASS_ChannelGetInfo(src, &audio)) t->audioChan = src;
        }
        t->rate = std::max<int>(1, int(audio.freq));
        t->chans = std::max<int>(1, int(audio.chans));
        t->mixer = std::make_unique<analysis::MonoMix>(t->chans);
        t->dsp = BASS_ChannelSetDSP(t->audioChan, &tapProc, t.get(), INT_MAX);
        if (!t->dsp) return nullptr;
        if (t->audioChan != chan) {
            t->clockDsp = BASS_ChannelSetDSP(chan, &clockProc, t.get(), INT_MIN);
            if (!t->clockDsp) {
                BASS_ChannelRemoveDSP(t->audioChan, t->dsp);
                return nullptr;
            }
        }
        taps_[chan] = t;
        startWorker();
        return t;
    }

    // Removes the tap when nothing reads it any more. The DSP is removed (the engine waits for a
    // call in progress), and the tap itself is kept a while longer before it is destroyed.
    // `gone`: a channel that was freed (its procedures went with it).
    void dropTapIfIdle(const std::shared_ptr<Tap>& t, DWORD gone = 0) {
        if (!gone && (t->periodic || t->beat)) return;
        t->enabled = false;
        if (t->dsp && t->audioChan != gone) BASS_ChannelRemoveDSP(t->audioChan, t->dsp);
        if (t->clockDsp && t->chan != gone) BASS_ChannelRemoveDSP(t->chan, t->clockDsp);
        taps_.erase(t->chan);
        graveyard_.push_back({Clock::now(), t});
    }

    // Waits until no procedure call is in progress (unless called from one).
    void waitForCallbacks() {
        if (std::this_thread::get_id() == workerId_.load()) return;
        std::lock_guard g(dispatch_);
    }

    void wakeWorker() { wake_.notify_all(); }

    bool waitIdle(int timeoutMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::unique_lock lk(mutex_);
        for (;;) {
            bool empty = true;
            for (auto& [h, t] : taps_)
                if (t->ring.readable() > 0 || t->resetPeriod.load()) empty = false;
            if (empty && !workerBusy_) return true;
            const uint64_t pass = passes_;
            lk.unlock();
            wake_.notify_all();
            lk.lock();
            if (!passDone_.wait_until(lk, deadline, [&] { return passes_ >= pass + 1; }))
                return false;
        }
    }

    // --- decode-time detections in the background --------------------------------------

    // Queues `d` behind the detection under way, if any.
    void startDetection(std::shared_ptr<Detection> d) {
        {
            std::lock_guard g(mutex_);
            detectQueue_.push_back(std::move(d));
            if (!detector_.joinable()) {
                detecting_ = true;
                detector_ = std::thread([this] { detectLoop(); });
                detectorId_ = detector_.get_id();
            }
        }
        detectWake_.notify_all();
    }

    // Cancels the detections of `chan` (with mutex_ held): none keeps its BPM any more.
    void cancelDetectionsLocked(DWORD chan) {
        for (auto& d : detectQueue_)
            if (d->chan == chan) d->cancelled = true;
        std::erase_if(detectQueue_, [&](auto& d) { return d->chan == chan; });
        if (detectRunning_ && detectRunning_->chan == chan) detectRunning_->cancelled = true;
    }

    // Waits until no detection of `chan` reads its channel or calls its procedure (unless called
    // on the detection thread): at most the reading of one block.
    void waitForDetection(DWORD chan) {
        if (std::this_thread::get_id() == detectorId_.load()) return;
        std::unique_lock lk(mutex_);
        detectIdle_.wait(lk, [&] { return !detectRunning_ || detectRunning_->chan != chan; });
    }

    // Whether a detection of `chan` is queued or running.
    bool detecting(DWORD chan) {
        std::lock_guard g(mutex_);
        return (detectRunning_ && detectRunning_->chan == chan && !detectRunning_->cancelled &&
                !detectRunning_->ended) ||
               std::any_of(detectQueue_.begin(), detectQueue_.end(),
                           [&](auto& d) { return d->chan == chan; });
    }

    // Cancels the detections of `chan` and waits for the one under way.
    void cancelDetections(DWORD chan) {
        {
            std::lock_guard g(mutex_);
            cancelDetectionsLocked(chan);
        }
        waitForDetection(chan);
    }

    void channelFreed(DWORD h) {
        {
            std::lock_guard g(mutex_);
            cancelDetectionsLocked(h);
            kept_.erase(h);
            std::vector<std::shared_ptr<Tap>> hit;
            for (auto& [c, t] : taps_)
                if (t->chan == h || t->audioChan == h) hit.push_back(t);
            for (auto& t : hit) {
                t->periodic.reset();
                t->beat.reset();
                ++t->periodicGen;
                ++t->beatGen;
                dropTapIfIdle(t, h);
            }
        }
        waitForDetection(h);
        waitForCallbacks();
    }

  private:
    void detectLoop() {
        std::unique_lock lk(mutex_);
        for (;;) {
            detectWake_.wait(lk, [&] { return !detecting_ || !detectQueue_.empty(); });
            if (!detecting_) return;
            detectRunning_ = detectQueue_.front();
            detectQueue_.pop_front();
            lk.unlock();
            try {
                runDetection(*detectRunning_);
            } catch (...) {  // out of memory, or a procedure that threw: this detection ends
            }
            lk.lock();
            detectRunning_.reset();
            detectIdle_.notify_all();
        }
    }

    void startWorker() {
        if (worker_.joinable()) return;
        running_ = true;
        worker_ = std::thread([this] { run(); });
        workerId_ = worker_.get_id();
    }

    void run() {
        std::vector<float> block(kWorkBlock);
        std::vector<double> beats;
        std::vector<Event> events;
        std::unique_lock lk(mutex_);
        while (running_) {
            wake_.wait_for(lk, std::chrono::milliseconds(5));
            if (!running_) break;
            // Snapshot the taps and their settings.
            std::vector<std::shared_ptr<Tap>> list;
            for (auto& [h, t] : taps_) {
                if (t->periodicGen != t->seenPeriodicGen) {
                    t->seenPeriodicGen = t->periodicGen;
                    t->wPeriodic = t->periodic;
                    t->env.reset();
                }
                if (t->beatGen != t->seenBeatGen) {
                    t->seenBeatGen = t->beatGen;
                    t->wBeat = t->beat.has_value();
                    t->tracker.reset();
                }
                list.push_back(t);
            }
            const auto now = Clock::now();
            std::erase_if(graveyard_,
                          [&](auto& g) { return now - g.first > std::chrono::seconds(2); });
            workerBusy_ = true;
            lk.unlock();

            events.clear();
            for (auto& t : list) analyse(*t, t, block, beats, events);
            deliver(events);

            lk.lock();
            workerBusy_ = false;
            ++passes_;
            passDone_.notify_all();
        }
    }

    // Moves the anchors written so far into the tap's recent list, keeping about 3 s of them.
    // A jump of the timeline between two anchors: the position moved back, or by clearly more
    // or less than the audio between them.
    static void takeAnchors(Tap& t) {
        Anchor a[64];
        size_t n;
        while ((n = t.anchors.read(a, 64)) > 0) {
            for (size_t i = 0; i < n; ++i) {
                if (t.haveAnchor && !t.recent.empty()) {
                    const Anchor& p = t.recent.back();
                    const double sec = double(a[i].frameEnd - p.frameEnd) / t.rate;
                    const double moved = a[i].posEnd - p.posEnd;
                    if (moved < -1e-3 || std::abs(moved - sec * t.lastRatio) > 0.1 + 0.25 * sec) {
                        t.cuts.push_back({p.frameEnd, moved - sec * t.lastRatio, p.wrapped});
                        t.recentCuts.push_back(p.frameEnd);
                    }
                }
                t.haveAnchor = true;
                t.anchoredEnd = a[i].frameEnd;
                t.recent.push_back(a[i]);
            }
        }
        const uint64_t keep = uint64_t(3 * t.rate);
        while (t.recent.size() > 2 && t.recent.front().frameEnd + keep < t.consumed)
            t.recent.pop_front();
        while (!t.recentCuts.empty() && !t.recent.empty() &&
               t.recentCuts.front() < t.recent.front().frameEnd)
            t.recentCuts.pop_front();
    }

    // Timeline seconds of ring frame `s`.
    static double positionOf(Tap& t, double s) {
        for (size_t i = 0; i < t.recent.size(); ++i) {
            const Anchor& a = t.recent[i];
            if (double(a.frameEnd) < s) continue;
            double ratio = t.lastRatio;
            const bool jump = i > 0 && std::find(t.recentCuts.begin(), t.recentCuts.end(),
                                                 t.recent[i - 1].frameEnd) != t.recentCuts.end();
            if (i > 0 && !jump) {
                const Anchor& p = t.recent[i - 1];
                const double sec = double(a.frameEnd - p.frameEnd) / t.rate;
                const double r = sec > 0 ? (a.posEnd - p.posEnd) / sec : 0;
                if (r > 0.05 && r < 20.0) ratio = t.lastRatio = r;
            }
            return a.posEnd - (double(a.frameEnd) - s) / t.rate * ratio;
        }
        if (t.recent.empty()) return s / t.rate;
        const Anchor& a = t.recent.back();
        return a.posEnd + (s - double(a.frameEnd)) / t.rate * t.lastRatio;
    }

    void analyse(Tap& t, const std::shared_ptr<Tap>& self, std::vector<float>& block,
                 std::vector<double>& beats, std::vector<Event>& events) {
        const bool clocked = t.clockDsp != 0;
        if (t.resetPeriod.exchange(false) && t.env) t.env.reset();
        if (t.wPeriodic && !t.env) {
            t.env = std::make_unique<OnsetEnvelope>(t.rate);
            t.periodStart = clocked ? t.played.load() : t.consumed;
        }
        if (t.wBeat && !t.tracker) {
            t.tracker = std::make_unique<BeatTracker>(t.rate);
            t.trackerOrigin = t.consumed;
        }
        for (;;) {
            takeAnchors(t);
            // Only audio whose anchor has arrived, so that a jump is known before the audio after
            // it is analysed (unless the anchors fell behind).
            size_t want = block.size();
            if (t.ring.readable() < kRingFrames / 2)
                want = size_t(
                    std::min<uint64_t>(want, t.anchoredEnd - std::min(t.anchoredEnd, t.consumed)));
            size_t n = t.ring.read(block.data(), want);
            if (n == 0) break;
            size_t off = 0;
            while (off < n) {
                while (!t.cuts.empty() && t.cuts.front().frame <= t.consumed) {
                    const Cut cut = t.cuts.front();
                    t.cuts.pop_front();
                    if (t.tracker && cut.wrap) {
                        // Same music, same tempo: the beats go on from what was found.
                        t.tracker->jump(cut.shift * t.rate / t.lastRatio);
                    } else if (t.tracker) {
                        t.tracker = std::make_unique<BeatTracker>(t.rate);
                        t.trackerOrigin = t.consumed;
                    }
                    t.lastCut = t.consumed;
                    t.lastBeat = -1e300;
                }
                size_t m = n - off;
                if (!t.cuts.empty())
                    m = size_t(std::min<uint64_t>(m, t.cuts.front().frame - t.consumed));
                if (t.env) {
                    // The period is playing time: frames the channel played (a tempo channel's
                    // source runs faster or slower), or, on a plain channel, the frames tapped, cut
                    // exactly at the period's end.
                    const uint64_t periodLen = std::max<uint64_t>(
                        1, uint64_t(std::llround(t.wPeriodic->period * t.playRate)));
                    if (!clocked)
                        m = size_t(std::min<uint64_t>(m, t.periodStart + periodLen - t.consumed));
                    t.env->push(block.data() + off, m);
                    const uint64_t now = clocked ? t.played.load() : t.consumed + m;
                    if (now - t.periodStart >= periodLen) {
                        const float bpm =
                            estimateTempo(*t.env, t.wPeriodic->range, t.wPeriodic->mult2);
                        events.push_back({self, false, t.seenPeriodicGen, bpm});
                        t.env->clearValues();
                        t.periodStart += periodLen;
                        if (now - t.periodStart >= periodLen) t.periodStart = now;  // fell behind
                    }
                }
                if (t.tracker) {
                    beats.clear();
                    t.tracker->push(block.data() + off, m, beats);
                    for (double b : beats) {
                        if (double(t.trackerOrigin) + b < double(t.lastCut)) continue;
                        const double pos = positionOf(t, double(t.trackerOrigin) + b);
                        if (pos <= t.lastBeat) continue;
                        t.lastBeat = pos;
                        events.push_back({self, true, t.seenBeatGen, pos});
                    }
                }
                t.consumed += m;
                off += m;
            }
        }
    }

    void deliver(const std::vector<Event>& events) {
        for (const Event& e : events) {
            std::lock_guard d(dispatch_);
            BPMPROC* bpmProc = nullptr;
            BPMBEATPROC* beatProc = nullptr;
            void* user = nullptr;
            {
                std::lock_guard g(mutex_);
                Tap& t = *e.tap;
                if (!e.isBeat && t.periodic && t.periodicGen == e.gen) {
                    bpmProc = t.periodic->proc;
                    user = t.periodic->user;
                    Kept& k = kept_[t.chan];
                    k.bpm = float(e.value);
                    k.rate = t.rate;
                } else if (e.isBeat && t.beat && t.beatGen == e.gen) {
                    beatProc = t.beat->proc;
                    user = t.beat->user;
                }
            }
            if (bpmProc) bpmProc(e.tap->chan, float(e.value), user);
            if (beatProc) beatProc(e.tap->chan, float(e.value), user);
        }
    }

    std::mutex mutex_;
    std::mutex dispatch_;  // held while a procedure runs
    std::condition_variable wake_, passDone_;
    std::thread worker_;
    std::atomic<std::thread::id> workerId_{};  // read without the mutex
    bool running_ = false;
    bool workerBusy_ = false;
    uint64_t passes_ = 0;
    std::unordered_map<DWORD, Kept> kept_;
    std::unordered_map<DWORD, std::shared_ptr<Tap>> taps_;
    // The detection thread, its queue and the detection it runs (guarded by mutex_).
    std::thread detector_;
    std::atomic<std::thread::id> detectorId_{};
    bool detecting_ = false;
    std::deque<std::shared_ptr<Detection>> detectQueue_;
    std::shared_ptr<Detection> detectRunning_;
    std::condition_variable detectWake_, detectIdle_;
    std::vector<std::pair<Clock::time_point, std::shared_ptr<Tap>>> graveyard_;
};

Module& module();

}  // namespace engine::bpm::detail

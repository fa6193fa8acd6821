// The output: PortAudio's default device or our null output, the decoder worker that
// fills each playing channel's ring buffer, playback control, attribute slides and syncs. The
// mixer the output callback runs is in mixer.cpp.
//
// Threads (docs/threading.md):
// - The output callback (PortAudio's thread, the null clock's thread, or the caller of
//   nullOutputStep) runs mix(): it reads ring buffers, volumes and pans, and writes atomics. It
//   takes no lock, allocates nothing and does no I/O.
// - The worker thread decodes, runs DSPs, stretches and resamples ahead of the output into the
//   rings (under each channel's lock), and fires END / SLIDE syncs and AUTOFREE.
// - Control calls (any thread) take the channel's lock and the output mutex; removing a channel
//   from the mixer waits for the running mix pass to end (a few milliseconds at most).
#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <portaudio.h>
#include <soxr.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <thread>

#include "engine/output/output_internal.h"

namespace engine::detail {

Output& out() {
    static Output o;
    return o;
}

uint64_t pack(uint32_t gen, double bytes) {
    return (uint64_t(gen & 0xFFFF) << 48) | (uint64_t(std::max(0.0, bytes)) & 0xFFFFFFFFFFFFull);
}

namespace {

// --- worker side -----------------------------------------------------------------------------

int64_t bufferedFrames(PlayState& ps) {
    int64_t n = 0;
    const uint32_t gen = ps.gen.load();
    ps.ring.forEachUnread([&](const Chunk& c) {
        if (c.gen == gen) n += c.frames;
    });
    return n;
}

// Decodes one chunk into the ring. With the channel's lock held. Returns false when nothing
// more can be written now (ring full, channel at its end).
bool produceChunk(Channel& ch, PlayState& ps, PullEvents& ev) {
    if (ps.producedFinal) return false;
    Chunk* slot = ps.ring.slot();
    if (!slot) return false;
    Chunk& c = *slot;
    const int inRate = std::max(1, ch.freq.load());
    const bool resample = inRate != kOutRate;
    const int64_t inFrames =
        resample ? std::max<int64_t>(1, int64_t(double(kChunkFrames) * inRate / kOutRate))
                 : kChunkFrames;
    ps.pcm.resize(size_t(inFrames * ch.chans));
    double start = ch.timelineFrames();
    const int64_t n = ch.pull(ps.pcm.data(), inFrames, ev);
    double end = ev.ends > 0 && ch.loops() ? double(ch.lengthFrames()) : ch.timelineFrames();
    const bool atEnd = ch.atEnd() && !ch.loops();
    bool final = atEnd;  // unless the resampler still holds output

    // To stereo float.
    float* stereo = c.data;
    if (resample) {
        ps.fin.resize(size_t(std::max<int64_t>(n, 1) * 2));
        stereo = ps.fin.data();
    }
    if (ch.chans <= 2) {
        for (int64_t i = 0; i < n; ++i) {
            const int16_t* f = ps.pcm.data() + i * ch.chans;
            stereo[2 * i] = float(f[0]) * (1.0f / 32768.0f);
            stereo[2 * i + 1] = float(f[ch.chans > 1 ? 1 : 0]) * (1.0f / 32768.0f);
        }
    } else {  // more channels than speakers: the downmix of engine_ext.h
        if (ps.downmixChans != ch.chans || ps.downmixMask != ch.speakerMask) {
            ps.downmix = stereoDownmix(ch.chans, ch.speakerMask);
            ps.downmixChans = ch.chans;
            ps.downmixMask = ch.speakerMask;
        }
        const StereoDownmix& m = ps.downmix;
        for (int64_t i = 0; i < n; ++i) {
            const int16_t* f = ps.pcm.data() + i * ch.chans;
            float l = 0, r = 0;
            for (int c = 0; c < ch.chans; ++c) {
                l += float(f[c]) * m.left[c];
                r += float(f[c]) * m.right[c];
            }
            stereo[2 * i] = l * (1.0f / 32768.0f);
            stereo[2 * i + 1] = r * (1.0f / 32768.0f);
        }
    }
    int64_t outFrames = n;
    if (resample) {
        if (!ps.soxr || ps.soxrInRate != inRate) {
            if (ps.soxr) soxr_delete(ps.soxr);
            soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
            soxr_quality_spec_t q = soxr_quality_spec(SOXR_MQ, 0);
            ps.soxr = soxr_create(inRate, kOutRate, 2, nullptr, &io, &q, nullptr);
            ps.soxrInRate = inRate;
        }
        size_t idone = 0, odone = 0;
        // The resampler holds some output back: the chunk covers the timeline up to what left it.
        if (ps.soxr) start -= soxr_delay(ps.soxr) * inRate / kOutRate;
        if (ps.soxr) {
            soxr_process(ps.soxr, n ? stereo : nullptr, size_t(n), &idone, c.data,
                         size_t(kChunkCap), &odone);
            if (atEnd) {
                // Drain the filter's tail; what does not fit goes into the next chunks, and the
                // last one is the one the resampler gave nothing more for.
                final = false;
                while (odone < size_t(kChunkCap)) {
                    size_t more = 0;
                    soxr_process(ps.soxr, nullptr, 0, nullptr, c.data + odone * 2,
                                 size_t(kChunkCap) - odone, &more);
                    if (more == 0) {
                        final = true;
                        break;
                    }
                    odone += more;
                }
            }
        }
        outFrames = int64_t(odone);
        if (ps.soxr && !final) end -= soxr_delay(ps.soxr) * inRate / kOutRate;
    }
    c.gen = ps.gen.load(std::memory_order_relaxed);
    c.frames = int(outFrames);
    // An A-B loop's wrap inside the chunk: the position the output publishes runs to the loop's
    // end and on from its start, never back through the loop.
    c.wrapAt = c.wrapBy = 0;
    if (end < start) {
        std::shared_ptr<const LoopRegion> loop = ch.loop;
        if (const auto up = loop ? nullptr : ch.upstream()) loop = up->loop;
        if (loop && loop->end > loop->start) {
            c.wrapAt = double(loop->end) * double(ch.frameBytes());
            c.wrapBy = double(loop->end - loop->start) * double(ch.frameBytes());
            end += double(loop->end - loop->start);
        }
    }
    c.startPos = start * double(ch.frameBytes());
    c.endPos = end * double(ch.frameBytes());
    c.ends = ev.ends;
    c.final = final;
    ev.ends = 0;  // reported through the chunk, when the output reaches it
    ps.producedFinal = final;
    ps.ring.publish();
    return !final;
}

// Fills a playing channel's ring up to `ahead` output frames.
void fill(Channel& ch, int64_t ahead) {
    PlayState* ps = ch.play.get();
    if (!ps) return;
    PullEvents ev;
    {
        std::lock_guard g(*ch.lock);
        if (ps->mode.load() == kStopped) return;
        while (bufferedFrames(*ps) < ahead)
            if (!produceChunk(ch, *ps, ev)) break;
    }
    if (ev.readError) ch.fireEvents(ev);
}

// As fill; a channel whose decoding throws (out of memory, a DSP procedure) stops playing instead
// of ending the program.
void fillOrStop(const std::shared_ptr<Channel>& ch, int64_t ahead) {
    try {
        fill(*ch, ahead);
    } catch (...) {
        detachFromOutput(*ch);
    }
}

std::vector<std::shared_ptr<Channel>> playingSnapshot() {
    std::lock_guard g(out().m);
    return out().playing;
}

// Fires the syncs the mixer recorded; stops (and maybe frees) channels that played out.
void dispatch(const std::shared_ptr<Channel>& ch) {
    PlayState* ps = ch->play.get();
    for (int n = ps->pendingEnds.exchange(0); n > 0; --n) ch->fireSyncs(BASS_SYNC_END, 0);
    for (int n = ps->pendingSlides.exchange(0); n > 0; --n) ch->fireSyncs(BASS_SYNC_SLIDE, 0);
    if (ps->finished.exchange(false)) {
        detachFromOutput(*ch);
        if (ch->flags & BASS_STREAM_AUTOFREE) freeChannel(ch->handle);
    }
}

void workerLoop() {
    Output& o = out();
    while (o.running.load()) {
        for (auto& ch : playingSnapshot()) {
            fillOrStop(ch, kAheadFrames);
            dispatch(ch);
        }
        std::unique_lock lk(o.wakeMutex);
        o.wake.wait_for(lk, std::chrono::milliseconds(3));
    }
}

void clockLoop() {
    Output& o = out();
    const auto t0 = std::chrono::steady_clock::now();
    int64_t done = 0;
    while (o.running.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const double sec =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        int64_t due = int64_t(sec * kOutRate) - done;
        while (due > 0) {
            const int n = int(std::min<int64_t>(due, int64_t(o.scratch.size() / 2)));
            mix(o.scratch.data(), n);
            done += n;
            due -= n;
        }
    }
}

int paCallback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
               PaStreamCallbackFlags, void*) {
    mix(static_cast<float*>(output), int(frames));
    return paContinue;
}

void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

// Runs `f` with stderr sent to /dev/null: JACK's client library prints when no server runs.
template <class F>
auto withoutStderr(F f) {
    std::fflush(stderr);
    const int saved = dup(2);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 2);
    auto r = f();
    std::fflush(stderr);
    if (saved >= 0) {
        dup2(saved, 2);
        close(saved);
    }
    if (null >= 0) close(null);
    return r;
}

bool openDevice() {
    Output& o = out();
    snd_lib_error_set_handler(quietAlsa);
    const PaError init = withoutStderr([] { return Pa_Initialize(); });
    if (init != paNoError) {
        setError(BASS_ERROR_DRIVER);
        return false;
    }
    const PaError open = withoutStderr([&] {
        return Pa_OpenDefaultStream(&o.pa, 0, 2, paFloat32, kOutRate, paFramesPerBufferUnspecified,
                                    paCallback, nullptr);
    });
    if (open != paNoError) {
        o.pa = nullptr;
        Pa_Terminate();
        setError(BASS_ERROR_DRIVER);
        return false;
    }
    if (Pa_StartStream(o.pa) != paNoError) {
        Pa_CloseStream(o.pa);
        o.pa = nullptr;
        Pa_Terminate();
        setError(BASS_ERROR_START);
        return false;
    }
    return true;
}

void closeDevice() {
    Output& o = out();
    if (!o.pa) return;
    Pa_StopStream(o.pa);
    Pa_CloseStream(o.pa);
    o.pa = nullptr;
    Pa_Terminate();
}

// Puts a channel into the mixer (with its lock held).
// False when the output or the channel was freed meanwhile (BASS_Free or BASS_StreamFree on
// another thread, while BASS_ChannelPlay decoded its first blocks): nothing to play, and a freed
// channel must not stay in the mixer. A free takes the channel out of the table before it takes
// it off the output, so the check here, under the output's lock, cannot miss it.
bool attach(const std::shared_ptr<Channel>& ch) {
    Output& o = out();
    std::lock_guard g(o.m);
    if (!o.ready || findChannel(ch->handle) != ch) return false;
    for (auto& p : o.playing)
        if (p == ch) return true;
    for (auto& slot : o.slots) {
        if (slot.load() == nullptr) {
            slot.store(ch.get(), std::memory_order_release);
            o.playing.push_back(ch);
            return true;
        }
    }
    return true;
}

// Drops what was decoded ahead and restarts the ring at the channel's position.
void resetRing(Channel& ch, PlayState& ps) {
    ps.gen.fetch_add(1);
    ps.seekBytes = uint64_t(std::floor(ch.timelineFrames() + 1e-6)) * uint64_t(ch.frameBytes());
    ps.producedFinal = false;
    ps.finished = false;
    ps.pendingEnds = 0;
    if (ps.soxr) soxr_clear(ps.soxr);
}

std::shared_ptr<Channel> playable(DWORD handle) {
    auto ch = findChannel(handle);
    if (!ch) return fail(BASS_ERROR_HANDLE, std::shared_ptr<Channel>());
    if (ch->isDecode()) return fail(BASS_ERROR_DECODE, std::shared_ptr<Channel>());
    return ch;
}

}  // namespace

bool outputReady() {
    std::lock_guard g(out().m);
    return out().ready;
}

std::shared_ptr<PlayState> makePlayState() {
    return std::make_shared<PlayState>();
}

void detachFromOutput(Channel& ch) {
    PlayState* ps = ch.play.get();
    if (!ps) return;
    Output& o = out();
    {
        std::lock_guard g(o.m);
        for (auto& slot : o.slots)
            if (slot.load() == &ch) slot.store(nullptr, std::memory_order_release);
        o.playing.erase(std::remove_if(o.playing.begin(), o.playing.end(),
                                       [&](auto& p) { return p.get() == &ch; }),
                        o.playing.end());
    }
    waitMixPass();
    ps->mode = kStopped;
}

bool flushPlayback(Channel& ch, int64_t) {
    if (ch.play) resetRing(ch, *ch.play);
    return true;
}

QWORD playedPositionBytes(Channel& ch, bool* valid) {
    PlayState* ps = ch.play.get();
    *valid = ps && ps->mode.load() != kStopped;
    if (!*valid) return 0;
    const uint64_t p = ps->published.load(std::memory_order_acquire);
    const uint32_t gen = ps->gen.load();
    const uint64_t bytes =
        (p >> 48) == (gen & 0xFFFF) ? (p & 0xFFFFFFFFFFFFull) : ps->seekBytes.load();
    return bytes / uint64_t(ch.frameBytes()) * uint64_t(ch.frameBytes());
}

void cancelSlide(Channel& ch, bool freq, bool volume, bool pan) {
    PlayState* ps = ch.play.get();
    if (!ps || !(freq || volume || pan)) return;
    PlayState::SlideRequest r;
    r.cancel = (freq ? 1 : 0) | (volume ? 2 : 0) | (pan ? 4 : 0);
    ps->writeSlide(r);
}

}  // namespace engine::detail

// --- engine calls ----------------------------------------------------------------------------

namespace engine {

using namespace detail;

void setOutputKind(OutputKind kind) {
    std::lock_guard g(out().m);
    out().nextKind = kind;
}

OutputKind outputKind() {
    std::lock_guard g(out().m);
    return out().nextKind;
}

int64_t nullOutputStep(int64_t frames) {
    return nullOutputRead(nullptr, frames);
}

int64_t nullOutputRead(float* dst, int64_t frames) {
    return guarded(int64_t(0), [&]() -> int64_t {
        {
            std::lock_guard g(out().m);
            if (!out().ready || out().kind != OutputKind::NullManual) return 0;
        }
        constexpr int kBlock = 256;
        float buf[kBlock * 2];
        int64_t done = 0;
        while (done < frames) {
            const int n = int(std::min<int64_t>(kBlock, frames - done));
            const auto list = playingSnapshot();
            for (auto& ch : list) fillOrStop(ch, n + kChunkCap);
            mix(buf, n, true);
            if (dst) std::copy(buf, buf + n * 2, dst + done * 2);
            for (auto& ch : list) dispatch(ch);
            done += n;
        }
        return done;
    });
}

int64_t outputFramesPlayed() {
    return out().framesPlayed.load();
}

}  // namespace engine

using namespace engine;
using namespace engine::detail;

BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, void* clsid) {
    return guarded(kFalse, [&]() -> BOOL {
        (void)freq, (void)flags, (void)win,
            (void)clsid;  // the mixer always runs at 44100 Hz stereo
        Output& o = out();
        std::lock_guard g(o.m);
        if (o.ready) return fail(BASS_ERROR_ALREADY, kFalse);
        if (device < -1 || device > 1) return fail(BASS_ERROR_DEVICE, kFalse);
        // Device 0 is "no sound": the clock-driven null output, asked for by the caller.
        o.kind = device == 0 ? OutputKind::NullClock : o.nextKind;
        o.framesPlayed = 0;
        if (o.kind == OutputKind::Device && !openDevice()) return kFalse;
        if (o.kind == OutputKind::Missing) return fail(BASS_ERROR_DRIVER, kFalse);
        o.running = true;
        if (o.kind != OutputKind::NullManual) o.worker = std::thread(workerLoop);
        if (o.kind == OutputKind::NullClock) {
            o.scratch.assign(2048 * 2, 0.0f);
            o.clock = std::thread(clockLoop);
        }
        o.ready = true;
        return ok(kTrue);
    });
}

BOOL BASS_Free() {
    return guarded(kFalse, [&]() -> BOOL {
        Output& o = out();
        bool wasReady;
        {
            std::lock_guard g(o.m);
            wasReady = o.ready;
            o.ready = false;
            o.running = false;
        }
        o.wake.notify_all();
        if (o.worker.joinable()) o.worker.join();
        if (o.clock.joinable()) o.clock.join();
        closeDevice();
        captureFlush();  // the capture's file complete up to the last frame played
        freeAllChannels();
        return wasReady ? ok(kTrue) : fail(BASS_ERROR_INIT, kFalse);
    });
}

BOOL BASS_Stop() {
    return guarded(kFalse, [&]() -> BOOL {
        if (!outputReady()) return fail(BASS_ERROR_INIT, kFalse);
        for (auto& ch : playingSnapshot()) BASS_ChannelStop(ch->handle);
        return ok(kTrue);
    });
}

int BASS_GetVolume() {
    if (!outputReady()) return fail(BASS_ERROR_INIT, -1);
    return ok(int(std::lround(out().master.load() * 100.0f)));
}

BOOL BASS_SetVolume(int volume) {
    if (!outputReady()) return fail(BASS_ERROR_INIT, kFalse);
    if (volume < 0 || volume > 100) return fail(BASS_ERROR_ILLPARAM, kFalse);
    out().master = float(volume) / 100.0f;
    return ok(kTrue);
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
    return guarded(kFalse, [&]() -> BOOL {
        auto ch = playable(handle);
        if (!ch) return kFalse;
        if (!outputReady()) return fail(BASS_ERROR_INIT, kFalse);
        // Going on from a pause reads nothing: not behind the channel's lock, which a read under
        // way (a slow drive's sector) holds for its whole length. The state was made by the Play
        // that paused.
        if (!restart) {
            if (PlayState* ps = ch->play.get()) {
                int paused = kPaused;
                if (ps->mode.compare_exchange_strong(paused, kPlaying)) return ok(kTrue);
            }
        }
        PullEvents ev;
        {
            std::lock_guard g(*ch->lock);
            PlayState& ps = *ch->play;  // made at the channel's registration
            const int mode = ps.mode.load();
            if (mode == kPlaying && !restart) return ok(kTrue);
            if (mode == kPaused && !restart) {
                ps.mode = kPlaying;
                return ok(kTrue);
            }
            if (restart || ch->atEnd()) ch->seekFrames(0);
            resetRing(*ch, ps);
            ps.mode = kPlaying;
            // Decode the first blocks here, so the output starts at once.
            try {
                while (bufferedFrames(ps) < kChunkFrames * 2)
                    if (!produceChunk(*ch, ps, ev)) break;
            } catch (...) {
                ps.mode = kStopped;  // not started
                throw;
            }
        }
        // A read that failed already is reported like one the output thread meets.
        if (ev.readError) ch->fireEvents(ev);
        if (!attach(ch)) {
            ch->play->mode = kStopped;
            return fail(outputReady() ? BASS_ERROR_HANDLE : BASS_ERROR_INIT, kFalse);
        }
        out().wake.notify_all();
        return ok(kTrue);
    });
}

BOOL BASS_ChannelStop(DWORD handle) {
    return guarded(kFalse, [&]() -> BOOL {
        auto ch = playable(handle);
        if (!ch) return kFalse;
        // A stream freed as it stops is not taken back to what was heard: that would wait for
        // a read under way (a slow drive's) for a position no one will ask for.
        if (ch->play && (ch->flags & BASS_STREAM_AUTOFREE)) {
            detachFromOutput(*ch);
        } else if (ch->play) {
            bool valid = false;
            const QWORD played = playedPositionBytes(*ch, &valid);
            detachFromOutput(*ch);
            std::lock_guard g(*ch->lock);
            // The decoder ran ahead of the output: go back to what was heard.
            if (valid && !ch->atEnd()) ch->seekFrames(int64_t(played / QWORD(ch->frameBytes())));
            resetRing(*ch, *ch->play);
        }
        if (ch->flags & BASS_STREAM_AUTOFREE) freeChannel(handle);
        return ok(kTrue);
    });
}

BOOL BASS_ChannelPause(DWORD handle) {
    auto ch = playable(handle);
    if (!ch) return kFalse;
    PlayState* ps = ch->play.get();
    if (!ps || ps->mode.load() != kPlaying) return fail(BASS_ERROR_NOTAVAIL, kFalse);
    ps->mode = kPaused;
    return ok(kTrue);
}

DWORD BASS_ChannelIsActive(DWORD handle) {
    auto ch = findChannel(handle);
    if (!ch) return fail(BASS_ERROR_HANDLE, BASS_ACTIVE_STOPPED);
    if (ch->isDecode()) {
        std::lock_guard g(*ch->lock);
        return ok(ch->atEnd() ? BASS_ACTIVE_STOPPED : BASS_ACTIVE_PLAYING);
    }
    PlayState* ps = ch->play.get();
    const int mode = ps ? ps->mode.load() : kStopped;
    return ok(mode == kPlaying  ? BASS_ACTIVE_PLAYING
              : mode == kPaused ? BASS_ACTIVE_PAUSED
                                : BASS_ACTIVE_STOPPED);
}

BOOL BASS_ChannelSlideAttributes(DWORD handle, int freq, int volume, int pan, DWORD time_ms) {
    return guarded(kFalse, [&]() -> BOOL {
        auto ch = findChannel(handle);
        if (!ch) return fail(BASS_ERROR_HANDLE, kFalse);
        if ((freq != -1 && (freq < 100 || freq > 200000)) ||
            (volume != -1 && (volume < 0 || volume > 100)) ||
            (pan != -101 && (pan < -100 || pan > 100)))
            return fail(BASS_ERROR_ILLPARAM, kFalse);
        if (freq == -1 && volume == -1 && pan == -101) return ok(kTrue);
        PlayState* ps = ch->play.get();
        if (!ps || ps->mode.load() == kStopped) {
            // Not in the output: nothing to glide through; take the values at once.
            if (freq != -1) ch->freq = freq;
            if (volume != -1) ch->volume = float(volume) / 100.0f;
            if (pan != -101) ch->pan = float(pan) / 100.0f;
            ch->fireSyncs(BASS_SYNC_SLIDE, 0);
            return ok(kTrue);
        }
        PlayState::SlideRequest r;
        r.freq = freq;
        r.vol = volume == -1 ? -1.0f : float(volume) / 100.0f;
        r.pan = pan == -101 ? -2.0f : float(pan) / 100.0f;
        r.frames = int64_t(time_ms) * kOutRate / 1000;
        ps->writeSlide(r);
        return ok(kTrue);
    });
}

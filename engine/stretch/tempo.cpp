// Tempo channels: SoundTouch (or, chosen per channel, Rubber Band's finer engine) over a decoding
// source channel, on the source's byte timeline.
//
// At tempo 0, pitch 0 and the source's own rate the source's samples pass through untouched (the
// stretcher is bypassed). SoundTouch compensates its start-up latency (its output begins with the
// source's first sample); Rubber Band is given its preferred start pad of silence and its start
// delay is dropped from its output, which aligns it the same way. At the source's end the stretcher
// is fed a mirrored copy of the last input (not silence, which would leave a silent tail) until it
// has produced input / ratio frames, and the output is cut there: it ends with the source's last
// sample.
//
// A change that restarts the stretcher on the way (the tempo reaching 0 or leaving it, Rubber
// Band's offline ratios, the other stretcher chosen) would jump from one waveform to another: the
// next 10 ms of what played before are made first and faded into the new output.
#include <algorithm>
#include <bit>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/core/core_internal.h"
#include "engine/stretch/stretcher.h"

namespace engine::detail {
namespace {

constexpr int64_t kTailFrames = 8192;  // input kept for the mirrored padding at the end

// 16-bit samples to the stretchers' floats (full scale 1.0) and back, rounding to the nearest and
// clamping. Four samples at a time where the processor has SSE2, with exactly the scalar results
// (a NaN, never made from real input, gives 0 either way).
void toFloat(const int16_t* in, float* out, int64_t n) {
    int64_t i = 0;
#if defined(__SSE2__)
    const __m128 scale = _mm_set1_ps(1.0f / 32768.0f);
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
        const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16);
        _mm_storeu_ps(out + i, _mm_mul_ps(_mm_cvtepi32_ps(lo), scale));
        _mm_storeu_ps(out + i + 4, _mm_mul_ps(_mm_cvtepi32_ps(hi), scale));
    }
#endif
    for (; i < n; ++i) out[i] = float(in[i]) * (1.0f / 32768.0f);
}

// Returns how many samples lay beyond full scale and were clamped (a NaN is not counted).
int64_t toInt16(const float* in, int16_t* out, int64_t n) {
    int64_t i = 0, clipped = 0;
#if defined(__SSE2__)
    const __m128 scale = _mm_set1_ps(32768.0f), lo = _mm_set1_ps(-32768.0f),
                 hi = _mm_set1_ps(32767.0f), over = _mm_set1_ps(32767.5f),
                 under = _mm_set1_ps(-32768.5f);
    auto convert = [&](const float* p) {
        const __m128 v = _mm_mul_ps(_mm_loadu_ps(p), scale);
        clipped += std::popcount(
            unsigned(_mm_movemask_ps(_mm_or_ps(_mm_cmpgt_ps(v, over), _mm_cmplt_ps(v, under)))));
        const __m128 c = _mm_and_ps(_mm_min_ps(_mm_max_ps(v, lo), hi), _mm_cmpord_ps(v, v));
        return _mm_cvtps_epi32(c);  // rounds to the nearest, as lrint does
    };
    for (; i + 8 <= n; i += 8)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_packs_epi32(convert(in + i), convert(in + i + 4)));
#endif
    for (; i < n; ++i) {
        const float v = in[i] * 32768.0f;
        clipped += v > 32767.5f || v < -32768.5f;
        out[i] = int16_t(std::lrint(std::clamp(v, -32768.0f, 32767.0f)));
    }
    return clipped;
}

class TempoChannel : public Channel {
  public:
    TempoChannel(std::shared_ptr<Channel> source, DWORD fl) : src(std::move(source)) {
        flags = fl;
        rate = src->rate;
        chans = src->chans;
        speakerMask = src->speakerMask;
        ctype = BASS_CTYPE_STREAM_TEMPO;
        lock = src->lock;  // one lock for the whole chain
        st = makeSoundTouchStretcher(rate, chans);
        srcPos = double(src->positionFrames());
        ended = src->atEnd();
    }

    int64_t lengthFrames() const override { return src->lengthFrames(); }
    int64_t positionFrames() const override { return int64_t(std::floor(srcPos + 1e-6)); }
    double timelineFrames() const override { return srcPos; }
    double speed() const override { return ratio(); }
    DWORD ownedSource() const override { return (flags & BASS_FX_FREESOURCE) ? src->handle : 0; }
    std::shared_ptr<Channel> upstream() const override { return src; }

    bool seekFrames(int64_t frame) override {
        if (!src->seekFrames(frame)) return false;
        leadLeft = leadAt = 0;  // a count-in under way was timed for the place left
        fadeFrames = fadeAt = 0;
        given = false;
        discontinue();
        restart();
        srcPos = double(src->positionFrames());
        ended = src->atEnd();
        return true;
    }

    int64_t readRaw(int16_t* dst, int64_t frames, PullEvents& ev) override {
        if (ended) return 0;
        if (leadLeft > 0) return readCountIn(dst, frames);
        // With something to do at the loop's wrap, a block ends exactly there.
        const std::shared_ptr<const LoopRegion> loop = src->loop;
        const bool atWrap =
            loop && (trainer.stepPercent > 0 || countIn.eachPass) && srcPos < double(loop->end);
        if (atWrap)
            frames = std::clamp<int64_t>(
                int64_t(std::ceil((double(loop->end) - srcPos) / ratio() - 1e-9)), 1, frames);
        const int64_t n = bypass ? readDirect(dst, frames, ev) : readStretched(dst, frames, ev);
        if (fadeAt < fadeFrames) fadeFromBefore(dst, n);
        given = given || n > 0;
        const double reached = srcPos + double(n) * ratio();
        double next = reached;
        if (loop) next = loop->wrap(srcPos, next);  // the source wrapped at the loop
        const bool wrapped = loop && srcPos < double(loop->end) && reached >= double(loop->end);
        srcPos = std::min(next, double(lengthFrames()));
        if (ended) srcPos = double(lengthFrames());
        if (wrapped && !ended) passDone();
        return n;
    }

    // The loop went round once more: the trainer's step, then the count-in before the next pass.
    void passDone() {
        ++wraps;
        if (trainer.stepPercent > 0 && trainer.everyPasses > 0 && wraps % trainer.everyPasses == 0)
            set(engine::trainerStep(tempo, trainer), 0.0f, -100.0f);
        if (countIn.eachPass) startCountIn(countIn.loopStartToBeat);
    }

    // The clicks of a count-in, from its start, at the tempo the channel has now: the first on
    // frame 0, then one a beat apart, the song going on so that its next beat falls where the
    // click after the last would.
    void startCountIn(double toBeat) {
        leadLeft = leadAt = 0;
        if (countIn.clicks <= 0 || !(countIn.beatSeconds > 0)) return;
        beatFrames = countIn.beatSeconds / ratio() * double(rate);
        const double lead = (double(countIn.clicks) * countIn.beatSeconds -
                             std::clamp(toBeat, 0.0, countIn.beatSeconds)) /
                            ratio() * double(rate);
        leadLeft = std::max<int64_t>(1, std::llround(lead));
    }

    int64_t readCountIn(int16_t* dst, int64_t frames) {
        const int64_t n = std::min(frames, leadLeft);
        for (int64_t i = 0; i < n; ++i) {
            const int64_t at = leadAt + i;
            const int64_t click = std::llround(std::floor(double(at) / beatFrames + 1e-9));
            const double t = (double(at) - std::round(double(click) * beatFrames)) / double(rate);
            const int16_t v = engine::countInClickSample(click == 0, t);
            for (int c = 0; c < chans; ++c) dst[i * chans + c] = v;
        }
        leadAt += n;
        leadLeft -= n;
        return n;
    }

    double ratio() const { return (1.0 + tempo / 100.0) * rateFactor(); }
    double rateFactor() const { return rateHz > 0 ? double(rateHz) / double(src->rate) : 1.0; }

    // tempo -100, rate 0, pitch -100 leave a value unchanged.
    bool set(float newTempo, float newRate, float newPitch) {
        if (newTempo != -100.0f) {
            if (!(newTempo >= -95.0f && newTempo <= 5000.0f)) return false;
        }
        if (newPitch != -100.0f && !(newPitch >= -60.0f && newPitch <= 60.0f)) return false;
        if (newRate != 0.0f) {
            const double f = double(newRate) / double(src->rate);
            if (!(f >= 0.05 && f <= 50.0)) return false;
        }
        if (newTempo != -100.0f) tempo = newTempo;
        if (newPitch != -100.0f) pitch = newPitch;
        if (newRate != 0.0f) rateHz = newRate;
        st->set(tempo, pitch, rateFactor());
        const bool wantBypass = tempo == 0.0f && pitch == 0.0f && rateFactor() == 1.0;
        const bool restarts = (st->wantsRestart() && !bypass) || wantBypass != bypass;
        // What played before goes on for the fade (a stretcher that restarts keeps its ratios
        // until then); the source goes back to where the output is.
        if (restarts && keepForFade()) src->seekFrames(positionFrames());
        if (st->wantsRestart() && !bypass) {
            if (!ended) src->seekFrames(positionFrames());
            restart();
        }
        if (wantBypass != bypass) {
            // Going to the stretcher: the source is where the output is, start it fresh.
            // Leaving it: the stretcher has read ahead; put the source back where the output is.
            if (wantBypass && !ended) src->seekFrames(positionFrames());
            restart();
            bypass = wantBypass;
        }
        return true;
    }

    // A new stretcher of that kind for this channel, set as it is now. Any thread, without the
    // lock but for reading the settings.
    std::unique_ptr<Stretcher> makeStretcher(engine::TempoStretcher kind) const {
        auto made = kind == engine::TempoStretcher::RubberBand
                        ? makeRubberBandStretcher(rate, chans, isDecode())
                        : makeSoundTouchStretcher(rate, chans);
        float t, p;
        double factor;
        {
            std::lock_guard g(*lock);
            t = tempo, p = pitch, factor = rateFactor();
        }
        made->set(t, p, factor);
        made->clear();  // primed for those settings
        return made;
    }

    // Changes the stretcher for `made` (of makeStretcher); the output goes on where it is.
    void setStretcher(engine::TempoStretcher kind, std::unique_ptr<Stretcher> made) {
        if (kind == stretcherKind) return;
        if (!bypass && keepForFade()) src->seekFrames(positionFrames());
        stretcherKind = kind;
        st = std::move(made);
        st->set(tempo, pitch, rateFactor());  // moved meanwhile, perhaps
        if (!bypass && !ended) src->seekFrames(positionFrames());
        restart(false);
    }

    float tempo = 0.0f, pitch = 0.0f, rateHz = 0.0f;
    engine::LoopTrainer trainer;
    engine::CountIn countIn;
    int64_t wraps = 0;                 // loop passes since the trainer or count-in was set
    int64_t leadLeft = 0, leadAt = 0;  // count-in frames still to play, and played
    double beatFrames = 1.0;           // a count-in's beat in output frames
    engine::TempoStretcher stretcherKind = engine::TempoStretcher::SoundTouch;
    std::shared_ptr<Channel> src;

  private:
    // The next kFadeSeconds of the output as it is now, to fade from once the stretcher restarts;
    // false when there is none (at the end, in a count-in) or nothing was given yet since the
    // start or a seek (nothing to go on from). The source has moved on by them.
    bool keepForFade() {
        fadeFrames = fadeAt = 0;
        if (ended || leadLeft > 0 || !given) return false;
        constexpr double kFadeSeconds = 0.01;
        const int64_t want = std::max<int64_t>(1, std::llround(kFadeSeconds * rate));
        fadeBuf.resize(size_t(want * chans));
        PullEvents ev;
        const int64_t n =
            bypass ? readDirect(fadeBuf.data(), want, ev) : readStretched(fadeBuf.data(), want, ev);
        ended = false;  // the new output reads those frames again
        fadeFrames = n;
        return true;
    }

    // Fades the new output `dst` (`n` frames) in over what was kept of the old.
    void fadeFromBefore(int16_t* dst, int64_t n) {
        const int64_t m = std::min(n, fadeFrames - fadeAt);
        for (int64_t i = 0; i < m; ++i) {
            const float w = float(double(fadeAt + i + 1) / double(fadeFrames + 1));
            for (int c = 0; c < chans; ++c) {
                const size_t k = size_t(i * chans + c);
                const float old = fadeBuf[size_t((fadeAt + i) * chans + c)];
                dst[k] = int16_t(std::lrint(old + w * (float(dst[k]) - old)));
            }
        }
        fadeAt += m;
    }

    // `clearStretcher` false: the stretcher is new and primed already.
    void restart(bool clearStretcher = true) {
        if (clearStretcher) st->clear();
        srcDone = false;
        expectedOut = 0;
        outCount = padFed = 0;
        tailAt = tailFrames = 0;
    }

    int64_t readDirect(int16_t* dst, int64_t frames, PullEvents& ev) {
        PullEvents srcEv;
        const int64_t n = src->pull(dst, frames, srcEv);
        forward(srcEv, ev);
        if (src->atEnd()) ended = true;
        return n;
    }

    int64_t readStretched(int16_t* dst, int64_t frames, PullEvents& ev) {
        int64_t produced = 0;
        while (produced < frames) {
            const int64_t target = std::llround(expectedOut);
            int64_t avail = st->available();
            if (srcDone) avail = std::min(avail, target - outCount);
            if (avail > 0) {
                const int64_t take = std::min({avail, frames - produced, kFeedFrames});
                fbuf.resize(size_t(take * chans));
                const int64_t got = st->receive(fbuf.data(), take);
                if (const int64_t over = toInt16(fbuf.data(), dst + produced * chans, got * chans))
                    stretchClipped.fetch_add(over, std::memory_order_relaxed);
                produced += got;
                outCount += got;
                if (got == 0) break;
                continue;
            }
            if (srcDone) {
                // The stretchers' delay is counted in frames, whatever the rate.
                if (outCount >= target ||
                    padFed > std::max<int64_t>(20 * int64_t(rate), 64 * kFeedFrames)) {
                    ended = true;
                    break;
                }
                feedPadding();
                continue;
            }
            ibuf.resize(size_t(kFeedFrames * chans));
            PullEvents srcEv;
            const int64_t n = src->pull(ibuf.data(), kFeedFrames, srcEv);
            forward(srcEv, ev);
            if (n > 0) {
                fbuf.resize(size_t(n * chans));
                toFloat(ibuf.data(), fbuf.data(), n * chans);
                st->put(fbuf.data(), n);
                expectedOut += double(n) / ratio();
                // Only the input near the end is needed for the padding.
                if (src->lengthFrames() - src->positionFrames() < kTailFrames + 2 * kFeedFrames ||
                    src->atEnd())
                    keepTail(fbuf.data(), n);
            }
            if (n == 0 || src->atEnd()) srcDone = true;
        }
        return produced;
    }

    // The last kTailFrames of input, in a ring (tailAt: where the next frame goes).
    void keepTail(const float* in, int64_t n) {
        if (tail.empty()) tail.assign(size_t(kTailFrames * chans), 0.0f);
        if (n > kTailFrames) {
            in += (n - kTailFrames) * chans;
            n = kTailFrames;
        }
        const int64_t first = std::min(n, kTailFrames - tailAt);
        std::copy(in, in + first * chans, tail.begin() + tailAt * chans);
        std::copy(in + first * chans, in + n * chans, tail.begin());
        tailAt = (tailAt + n) % kTailFrames;
        tailFrames = std::min(kTailFrames, tailFrames + n);
    }

    // Feeds the last input again, mirrored back and forth, so the stretcher's pipeline empties
    // with sound that continues the source instead of silence.
    void feedPadding() {
        const int64_t n = kFeedFrames;
        const int64_t oldest = (tailAt - tailFrames + kTailFrames) % kTailFrames;
        fbuf.assign(size_t(n * chans), 0.0f);
        if (tailFrames > 0) {
            for (int64_t i = 0; i < n; ++i) {
                const int64_t k = (padFed + i) % (2 * tailFrames);
                const int64_t age = k < tailFrames ? tailFrames - 1 - k : k - tailFrames;
                const int64_t frame = (oldest + age) % kTailFrames;
                for (int c = 0; c < chans; ++c)
                    fbuf[size_t(i * chans + c)] = tail[size_t(frame * chans + c)];
            }
        }
        st->put(fbuf.data(), n);
        padFed += n;
    }

    static void forward(const PullEvents& from, PullEvents& to) {
        if (from.readError) {
            to.readError = true;
            to.readErrorChannel = from.readErrorChannel;
        }
    }

    std::unique_ptr<Stretcher> st;
    bool bypass = true, srcDone = false;
    double srcPos = 0;
    double expectedOut = 0;  // input fed since the last restart / ratio
    int64_t outCount = 0, padFed = 0;
    std::vector<float> tail;
    int64_t tailAt = 0, tailFrames = 0;
    std::vector<int16_t> ibuf;
    std::vector<float> fbuf;
    std::vector<int16_t> fadeBuf;        // the old output faded from after a restart
    int64_t fadeFrames = 0, fadeAt = 0;  // its frames, and those faded so far
    bool given = false;                  // output given since the start or the last seek
};

std::shared_ptr<TempoChannel> findTempo(DWORD handle) {
    auto ch = std::dynamic_pointer_cast<TempoChannel>(findChannel(handle));
    if (!ch) engine::setError(BASS_ERROR_HANDLE);
    return ch;
}

}  // namespace
}  // namespace engine::detail

using namespace engine::detail;

static HSTREAM tempoCreate(DWORD chan, DWORD flags) {
    auto src = findChannel(chan);
    if (!src) return fail(BASS_ERROR_HANDLE, HSTREAM(0));
    if (!src->isDecode()) return fail(BASS_ERROR_DECODE, HSTREAM(0));
    if (!(flags & BASS_STREAM_DECODE) && !outputReady()) return fail(BASS_ERROR_INIT, HSTREAM(0));
    std::lock_guard g(*src->lock);
    auto ch =
        std::make_shared<TempoChannel>(src, flags & (BASS_STREAM_DECODE | BASS_SAMPLE_LOOP |
                                                     BASS_STREAM_AUTOFREE | BASS_FX_FREESOURCE));
    return ok(registerChannel(ch));
}

static BOOL tempoSet(DWORD chan, float tempo, float rate, float pitch) {
    auto ch = findTempo(chan);
    if (!ch) return kFalse;
    std::lock_guard g(*ch->lock);
    return ch->set(tempo, rate, pitch) ? ok(kTrue) : fail(BASS_ERROR_ILLPARAM, kFalse);
}

float BASS_FX_TempoGetRateRatio(DWORD chan) {
    auto ch = findTempo(chan);
    if (!ch) return 0.0f;
    std::lock_guard g(*ch->lock);
    return ok(float(ch->ratio()));
}

DWORD BASS_FX_TempoGetSource(DWORD chan) {
    auto ch = findTempo(chan);
    if (!ch) return 0;
    return ok(ch->src->handle);
}

float engine::trainerStep(float tempoPercent, const LoopTrainer& t) {
    if (tempoPercent < t.targetPercent)
        return std::min(tempoPercent + t.stepPercent, t.targetPercent);
    return std::max(tempoPercent - t.stepPercent, t.targetPercent);
}

int16_t engine::countInClickSample(bool accent, double t) {
    constexpr double kClickSeconds = 0.03, kDecaySeconds = 0.008, kLevel = 0.5 * 32767.0;
    if (t < 0 || t >= kClickSeconds) return 0;
    const double hz = accent ? 1600.0 : 1000.0;
    return int16_t(std::lrint(kLevel * std::sin(2.0 * 3.14159265358979323846 * hz * t) *
                              std::exp(-t / kDecaySeconds)));
}

bool engine::setLoopTrainer(DWORD tempoChannel, const LoopTrainer& trainer) {
    if (!(trainer.stepPercent >= 0) || trainer.everyPasses < 1 ||
        !(trainer.targetPercent >= -95 && trainer.targetPercent <= 5000))
        return fail(BASS_ERROR_ILLPARAM, false);
    auto ch = findTempo(tempoChannel);
    if (!ch) return false;
    std::lock_guard g(*ch->lock);
    ch->trainer = trainer;
    ch->wraps = 0;
    return ok(true);
}

bool engine::setCountIn(DWORD tempoChannel, const CountIn& countIn) {
    if (countIn.clicks < 0 || countIn.clicks > kMaxCountInClicks ||
        (countIn.clicks > 0 && !(countIn.beatSeconds > 0 && countIn.beatSeconds < 10)))
        return fail(BASS_ERROR_ILLPARAM, false);
    auto ch = findTempo(tempoChannel);
    if (!ch) return false;
    std::lock_guard g(*ch->lock);
    ch->countIn = countIn;
    if (countIn.startNow) ch->startCountIn(countIn.startToBeat);
    return ok(true);
}

bool engine::getLoopPractice(DWORD tempoChannel, LoopPractice* state) {
    auto ch = findTempo(tempoChannel);
    if (!ch) return false;
    std::lock_guard g(*ch->lock);
    if (state) *state = {ch->wraps, ch->tempo, ch->leadLeft > 0};
    return ok(true);
}

bool engine::setTempoStretcher(DWORD tempoChannel, TempoStretcher kind) {
    return guarded(false, [&] {
        auto ch = findTempo(tempoChannel);
        if (!ch) return false;
        // Made before the lock is taken: building Rubber Band's engine takes about as long as the
        // audio decoded ahead of the output lasts, which would run dry while the lock is held.
        {
            std::lock_guard g(*ch->lock);
            if (ch->stretcherKind == kind) return ok(true);
        }
        auto made = ch->makeStretcher(kind);
        std::lock_guard g(*ch->lock);
        ch->setStretcher(kind, std::move(made));
        return ok(true);
    });
}

// No exception (SoundTouch's, out of memory) leaves these calls.
HSTREAM BASS_FX_TempoCreate(DWORD chan, DWORD flags) {
    return guarded(HSTREAM(0), [&] { return tempoCreate(chan, flags); });
}
BOOL BASS_FX_TempoSet(DWORD chan, float tempo, float rate, float pitch) {
    return guarded(kFalse, [&] { return tempoSet(chan, tempo, rate, pitch); });
}

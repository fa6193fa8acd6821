// The BASS_FX_BPM_ operations: decode-time detection, periodic BPM and beat reporting on a
// channel's tap, translation of the kept BPM. See engine/bpm/bpm_detect.h for the behaviour and the
// threads.
#include "engine/bpm/bpm_detect.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "engine/bpm/bpm_module.h"

namespace engine::bpm {

using namespace detail;

bool detecting(DWORD chan) {
    return module().detecting(chan);
}

namespace {

bool validChannel(DWORD chan, BASS_CHANNELINFO& info) {
    return BASS_ChannelGetInfo(chan, &info) != 0;  // sets the error code when not
}

template <class T>
T failWith(int code, T value) {
    engine::setError(code);
    return value;
}

}  // namespace

bool waitForAnalysis(int timeoutMs) {
    return module().waitIdle(timeoutMs);
}

}  // namespace engine::bpm

using engine::bpm::detail::module;
using namespace engine::bpm::detail;

namespace engine::bpm::detail {

namespace {

// The detection's progress; false (and no call) once it was cancelled.
bool report(Detection& d, float percent) {
    if (d.cancelled.load()) return false;
    if (d.proc) d.proc(d.chan, percent);
    return true;
}

}  // namespace

std::optional<float> runDetection(Detection& d) {
    const QWORD frameBytes = QWORD(d.chans) * 2;
    const QWORD before = BASS_ChannelGetPosition(d.chan);
    // A channel freed meanwhile has left the handle table before its free listener cancels this
    // detection: its reads fail with BASS_ERROR_HANDLE, and the detection ends as a cancelled one.
    const auto gone = [] { return BASS_ErrorGetCode() == BASS_ERROR_HANDLE; };
    if (!BASS_ChannelSetPosition(d.chan, d.from)) {
        if (gone() || !d.background) return std::nullopt;  // the seek's error stays the call's
        {
            std::lock_guard g(module().mutex());
            d.ended = true;
        }
        report(d, 100.0f);  // ended without a BPM: the last one stays
        return std::nullopt;
    }
    float bpm = 0.0f;
    QWORD got = 0;
    bool freed = false;
    if (report(d, 0.0f)) {
        OnsetEnvelope env(d.rate);
        env.reserveSeconds(double(d.to - d.from) / double(frameBytes) / d.rate);
        constexpr size_t kFrames = 16384;
        std::vector<int16_t> pcm(kFrames * size_t(d.chans));
        std::vector<float> mono(kFrames);
        int shown = 0;
        analysis::MonoMix mixer(d.chans);
        while (d.from + got < d.to && !d.cancelled.load()) {
            const QWORD want = std::min<QWORD>(d.to - d.from - got, kFrames * frameBytes);
            const int n = BASS_ChannelGetData(d.chan, pcm.data(), DWORD(want));
            if (n <= 0) {
                freed = n < 0 && gone();
                break;
            }
            const size_t frames = size_t(n) / size_t(frameBytes);
            mixer.mix(pcm.data(), frames, mono.data());
            env.push(mono.data(), frames);
            got += QWORD(n);
            const int percent = int(99.0 * double(got) / double(d.to - d.from));
            if (percent > shown) {
                shown = percent;
                report(d, float(percent));
            }
        }
        if (got && !freed && !d.cancelled.load()) bpm = estimateTempo(env, d.range, d.mult2);
    }
    if (before != QWORD(-1) && !freed) BASS_ChannelSetPosition(d.chan, before);
    {
        std::lock_guard g(module().mutex());
        if (freed || d.cancelled.load()) return std::nullopt;
        Kept& k = module().kept()[d.chan];
        k.bpm = bpm;
        k.rate = d.rate;
        d.ended = true;
    }
    report(d, 100.0f);
    return bpm;
}

}  // namespace engine::bpm::detail

float BASS_FX_BPM_DecodeGet(DWORD chan, float startSec, float endSec, DWORD minMaxBPM, DWORD flags,
                            BPMPROGRESSPROC* proc) {
    using namespace engine::bpm;
    BASS_CHANNELINFO info{};
    if (!validChannel(chan, info)) return 0.0f;
    if (!(info.flags & BASS_STREAM_DECODE)) return failWith(BASS_ERROR_DECODE, 0.0f);
    if (std::isnan(startSec) || std::isnan(endSec)) return failWith(BASS_ERROR_ILLPARAM, 0.0f);
    const QWORD lengthBytes = BASS_ChannelGetLength(chan);
    if (lengthBytes == QWORD(-1)) return 0.0f;
    const double length = BASS_ChannelBytes2Seconds(chan, lengthBytes);
    const double start = std::max(0.0, double(startSec));
    const double end = std::min(double(endSec), length);
    if (start >= length) return failWith(BASS_ERROR_POSITION, 0.0f);
    if (!(end > start)) return failWith(BASS_ERROR_ILLPARAM, 0.0f);

    auto d = std::make_shared<Detection>();
    d->chan = chan;
    d->chans = std::max<int>(1, int(info.chans));
    d->rate = std::max<int>(1, int(info.freq));
    const QWORD frameBytes = QWORD(d->chans) * 2;
    d->from = QWORD(std::llround(start * d->rate)) * frameBytes;
    d->to = std::min(lengthBytes, QWORD(std::llround(end * d->rate)) * frameBytes);
    d->range = rangeFromMinMax(minMaxBPM);
    d->mult2 = (flags & BASS_FX_BPM_MULT2) != 0;
    d->proc = proc;
    d->background = (flags & BASS_FX_BPM_BKGRND) != 0;

    Module& m = module();
    // The detection of this channel under way gives way to this one.
    m.cancelDetections(chan);
    if (flags & BASS_FX_FREESOURCE) {
        std::lock_guard g(m.mutex());
        m.kept()[chan].freeSource = true;
    }
    if (d->background) {
        m.startDetection(std::move(d));
        engine::setError(BASS_OK);
        return 0.0f;
    }
    const std::optional<float> bpm = runDetection(*d);
    if (!bpm) return 0.0f;  // the channel could not be read: its error code stays
    if (!(*bpm > 0)) return failWith(BASS_ERROR_NOTAVAIL, 0.0f);
    engine::setError(BASS_OK);
    return *bpm;
}

BOOL BASS_FX_BPM_CallbackSet(DWORD handle, BPMPROC* proc, double period, DWORD minMaxBPM,
                             DWORD flags, void* user) {
    using namespace engine::bpm;
    BASS_CHANNELINFO info{};
    if (!validChannel(handle, info)) return 0;
    if (!proc || !(period > 0) || !std::isfinite(period)) return failWith(BASS_ERROR_ILLPARAM, 0);
    Module& m = module();
    {
        std::lock_guard g(m.mutex());
        auto t = m.ensureTap(handle, info);
        if (!t) return 0;
        t->periodic = PeriodicConfig{proc, user, period, rangeFromMinMax(minMaxBPM),
                                     (flags & BASS_FX_BPM_MULT2) != 0};
        ++t->periodicGen;
    }
    m.waitForCallbacks();
    m.wakeWorker();
    engine::setError(BASS_OK);
    return 1;
}

BOOL BASS_FX_BPM_CallbackReset(DWORD handle) {
    using namespace engine::bpm;
    Module& m = module();
    {
        std::lock_guard g(m.mutex());
        if (auto t = m.findTap(handle); t && t->periodic) {
            t->resetPeriod = true;
            engine::setError(BASS_OK);
            return 1;
        }
    }
    BASS_CHANNELINFO info{};
    if (!validChannel(handle, info)) return 0;
    return failWith(BASS_ERROR_NOTAVAIL, 0);
}

float BASS_FX_BPM_Translate(DWORD handle, float val2tran, int trans) {
    using namespace engine::bpm;
    Kept k;
    bool found = false;
    {
        std::lock_guard g(module().mutex());
        auto it = module().kept().find(handle);
        if (it != module().kept().end()) {
            k = it->second;
            found = true;
        }
    }
    if (!found) {
        BASS_CHANNELINFO info{};
        if (!validChannel(handle, info)) return 0.0f;
        return failWith(BASS_ERROR_NOTAVAIL, 0.0f);
    }
    if (!std::isfinite(val2tran)) return failWith(BASS_ERROR_ILLPARAM, 0.0f);
    if (trans < BASS_FX_BPM_TRAN_X2 || trans > BASS_FX_BPM_TRAN_PERCENT2)
        return failWith(BASS_ERROR_ILLPARAM, 0.0f);
    if (!(k.bpm > 0)) return failWith(BASS_ERROR_NOTAVAIL, 0.0f);
    float r = 0;
    switch (trans) {
        case BASS_FX_BPM_TRAN_X2:
            r = k.bpm * 2.0f;
            break;  // the BPM doubled
        case BASS_FX_BPM_TRAN_2FREQ:
            r = float(k.rate) * val2tran / k.bpm;
            break;  // BPM -> rate
        case BASS_FX_BPM_TRAN_FREQ2:
            r = k.bpm * val2tran / float(k.rate);
            break;  // rate -> BPM
        case BASS_FX_BPM_TRAN_2PERCENT:
            r = val2tran / k.bpm * 100.0f;
            break;  // BPM -> speed %
        case BASS_FX_BPM_TRAN_PERCENT2:
            r = k.bpm * val2tran / 100.0f;
            break;  // speed % -> BPM
    }
    engine::setError(BASS_OK);
    return r;
}

BOOL BASS_FX_BPM_Free(DWORD handle) {
    using namespace engine::bpm;
    Module& m = module();
    bool known = false, freeSource = false;
    {
        std::lock_guard g(m.mutex());
        m.cancelDetectionsLocked(handle);
        if (auto it = m.kept().find(handle); it != m.kept().end()) {
            known = true;
            freeSource = it->second.freeSource;
            m.kept().erase(it);
        }
        if (auto t = m.findTap(handle)) {
            known = true;
            if (t->periodic) {
                t->periodic.reset();
                ++t->periodicGen;
            }
            m.dropTapIfIdle(t);
        }
    }
    m.waitForDetection(handle);
    m.waitForCallbacks();
    if (freeSource && !BASS_StreamFree(handle)) BASS_MusicFree(handle);
    if (!known) {
        BASS_CHANNELINFO info{};
        if (!validChannel(handle, info)) return 0;
    }
    engine::setError(BASS_OK);
    return 1;
}

BOOL BASS_FX_BPM_BeatCallbackSet(DWORD handle, BPMBEATPROC* proc, void* user) {
    using namespace engine::bpm;
    BASS_CHANNELINFO info{};
    if (!validChannel(handle, info)) return 0;
    if (!proc) return failWith(BASS_ERROR_ILLPARAM, 0);
    Module& m = module();
    {
        std::lock_guard g(m.mutex());
        auto t = m.ensureTap(handle, info);
        if (!t) return 0;
        t->beat = BeatConfig{proc, user};
        ++t->beatGen;
    }
    m.waitForCallbacks();
    m.wakeWorker();
    engine::setError(BASS_OK);
    return 1;
}

BOOL BASS_FX_BPM_BeatFree(DWORD handle) {
    using namespace engine::bpm;
    Module& m = module();
    bool known = false;
    {
        std::lock_guard g(m.mutex());
        if (auto t = m.findTap(handle)) {
            known = true;
            if (t->beat) {
                t->beat.reset();
                ++t->beatGen;
            }
            m.dropTapIfIdle(t);
        }
    }
    m.waitForCallbacks();
    if (!known) {
        BASS_CHANNELINFO info{};
        if (!validChannel(handle, info)) return 0;
    }
    engine::setError(BASS_OK);
    return 1;
}

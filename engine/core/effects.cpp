// Effects in a channel's DSP chain: the peaking equalizer (many bands on one effect) and the gain
// effect with a soft limiter. Parameters change under the channel's lock, which the processing
// holds too.
// Threads: the BASS_FX_DSP_ calls from any controlling thread; process() on whichever thread
// renders the channel (the decoder worker when it plays, BASS_ChannelGetData's caller otherwise).
#include <algorithm>
#include <cmath>
#include <map>

#include "engine/core/core_internal.h"

namespace engine::detail {
namespace {

constexpr double kPi = 3.14159265358979323846;

inline int16_t toSample(float v) {
    return int16_t(std::lrintf(std::clamp(v, -32768.0f, 32767.0f)));
}

// As toSample, counting the values beyond full scale in `clipped`.
inline int16_t toSample(float v, int64_t& clipped) {
    clipped += v > 32767.5f || v < -32768.5f;
    return toSample(v);
}

// RBJ peaking biquads, one per band, in float, transposed direct form II per channel.
class PeakEq : public Effect {
  public:
    int64_t process(int16_t* samples, int64_t frames, int channels, int rate) override {
        active_.clear();
        for (auto& [index, band] : bands_) {
            if (band.p.fGain == 0.0f) {
                band.primed = false;
                continue;
            }
            if (band.designedRate != rate) design(band, rate);
            if (band.valid) active_.push_back(&band);
        }
        if (active_.empty()) return 0;  // all bands flat: untouched
        for (Band* b : active_)
            if (!b->primed) {
                std::fill(std::begin(b->z1), std::end(b->z1), 0.0f);
                std::fill(std::begin(b->z2), std::end(b->z2), 0.0f);
                b->primed = true;
            }
        // Up to eight bands at a time, the whole cascade per frame with its state in registers.
        int64_t clipped = 0;
        for (size_t first = 0; first < active_.size(); first += 8) {
            const size_t n = std::min<size_t>(8, active_.size() - first);
            Band** bands = active_.data() + first;
            if (channels == 2)
                cascade<2>(samples, frames, bands, n, clipped);
            else if (channels == 1)
                cascade<1>(samples, frames, bands, n, clipped);
            else  // every channel a stream may have (the engine refuses more)
                for (int c = 0; c < std::min(channels, kMaxChannels); ++c)
                    cascadeOne(samples + c, frames, channels, c, bands, n, clipped);
        }
        return clipped;
    }

    bool setParameters(const void* params) override {
        const auto* p = static_cast<const BASS_FX_DSPPEAKEQ*>(params);
        if (!p || p->lBand < 0 || !(p->fCenter > 0.0f) || !std::isfinite(p->fGain) ||
            !(p->fQ >= 0.0f) || !(p->fBandwidth >= 0.0f) ||
            (p->fQ == 0.0f && p->fBandwidth == 0.0f))
            return false;
        Band& b = bands_[p->lBand];
        b.p = *p;
        b.designedRate = 0;  // redesign at the next block
        return true;
    }

    bool getParameters(void* params) const override {
        auto* p = static_cast<BASS_FX_DSPPEAKEQ*>(params);
        if (!p) return false;
        auto it = bands_.find(p->lBand);
        if (it == bands_.end()) return false;
        *p = it->second.p;
        return true;
    }

  private:
    struct Band {
        BASS_FX_DSPPEAKEQ p{};
        int designedRate = 0;
        bool valid = false, primed = false;
        float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        float z1[kMaxChannels] = {}, z2[kMaxChannels] = {};
    };

    // A wavefront: in step t band k filters frame t - k, whose input band k - 1 made in step
    // t - 1, so the bands of one step are independent and share vectors of four lanes: two bands
    // of two channels, or four bands of one. The band count is rounded up with pass-through bands.
    template <int C, int N>
    static void cascadeN(int16_t* s, int64_t frames, Band** bands, int64_t& clipped) {
        static_assert(C == 1 || C == 2, "one or two channels; others go through cascadeOne");
        using V = float __attribute__((vector_size(16)));
        using M = int __attribute__((vector_size(16)));
        constexpr int P = 4 / C;            // bands per vector
        constexpr int K = (N + P - 1) / P;  // vectors
        // Lane l holds channel l % C of band l / C of its vector.
        V b0[K]{}, b1[K]{}, b2[K]{}, a1[K]{}, a2[K]{}, z1[K]{}, z2[K]{}, out[K]{};
        for (int j = 0; j < K; ++j)
            for (int l = 0; l < 4; ++l) {
                const int k = P * j + l / C;
                const Band* b = k < N ? bands[k] : nullptr;
                b0[j][l] = b ? b->b0 : 1.0f, b1[j][l] = b ? b->b1 : 0.0f;
                b2[j][l] = b ? b->b2 : 0.0f, a1[j][l] = b ? b->a1 : 0.0f;
                a2[j][l] = b ? b->a2 : 0.0f;
                z1[j][l] = b ? b->z1[l % C] : 0.0f, z2[j][l] = b ? b->z2[l % C] : 0.0f;
            }
        // The first band of a vector takes the previous vector's last band (or the frame); the
        // others the band before them in the same vector.
        // Shuffle indices: 0-3 the first operand's lanes, 4-7 the second's.
        constexpr auto lane = [](int l, int firstFrom) {
            return l < C ? firstFrom + l : 4 + l - C;
        };
        constexpr int F0 = lane(0, 0), F1 = lane(1, 0), F2 = lane(2, 0), F3 = lane(3, 0);
        constexpr int G0 = lane(0, 4 - C), G1 = lane(1, 4 - C), G2 = lane(2, 4 - C),
                      G3 = lane(3, 4 - C);
        constexpr int last = P * K - 1;  // the band whose output leaves the cascade
        auto step = [&]<bool edge>(int64_t t) __attribute__((always_inline)) {
            V in[K];
            V x{};
            if (t < frames)
                for (int c = 0; c < C; ++c) x[c] = float(s[t * C + c]);
#if defined(__clang__)  // the fuzzing build
            in[0] = __builtin_shufflevector(x, out[0], F0, F1, F2, F3);
            for (int j = 1; j < K; ++j)
                in[j] = __builtin_shufflevector(out[j - 1], out[j], G0, G1, G2, G3);
#else
            in[0] = __builtin_shuffle(x, out[0], M{F0, F1, F2, F3});
            // Unrolled, so that every band's state stays in a register: a loop over the arrays
            // keeps them in memory and puts a store and a load on each band's feedback path.
#pragma GCC unroll 8
            for (int j = 1; j < K; ++j)
                in[j] = __builtin_shuffle(out[j - 1], out[j], M{G0, G1, G2, G3});
#endif
#pragma GCC unroll 8
            for (int j = 0; j < K; ++j) {
                const V y = b0[j] * in[j] + z1[j];
                V n1 = b1[j] * in[j] - a1[j] * y + z2[j];
                V n2 = b2[j] * in[j] - a2[j] * y;
                if constexpr (edge) {  // bands outside the block keep their state
                    M keep;
                    for (int l = 0; l < 4; ++l) {
                        const int64_t f = t - (P * j + l / C);
                        keep[l] = f >= 0 && f < frames ? -1 : 0;
                    }
                    n1 = keep ? n1 : z1[j];
                    n2 = keep ? n2 : z2[j];
                }
                z1[j] = n1;
                z2[j] = n2;
                out[j] = y;
            }
            const int64_t f = t - last;
            if (f >= 0 && f < frames)
                for (int c = 0; c < C; ++c) s[f * C + c] = toSample(out[K - 1][4 - C + c], clipped);
        };
        const int64_t steps = frames + last;
        int64_t t = 0;
        for (; t < std::min<int64_t>(last, steps); ++t) step.template operator()<true>(t);
        for (; t < frames; ++t) step.template operator()<false>(t);
        for (; t < steps; ++t) step.template operator()<true>(t);
        for (int j = 0; j < K; ++j)
            for (int l = 0; l < 4; ++l)
                if (const int k = P * j + l / C; k < N) {
                    bands[k]->z1[l % C] = z1[j][l];
                    bands[k]->z2[l % C] = z2[j][l];
                }
    }

    template <int C>
    static void cascade(int16_t* s, int64_t frames, Band** bands, size_t n, int64_t& clipped) {
        switch (n) {
            case 1:
                return cascadeN<C, 1>(s, frames, bands, clipped);
            case 2:
                return cascadeN<C, 2>(s, frames, bands, clipped);
            case 3:
                return cascadeN<C, 3>(s, frames, bands, clipped);
            case 4:
                return cascadeN<C, 4>(s, frames, bands, clipped);
            case 5:
                return cascadeN<C, 5>(s, frames, bands, clipped);
            case 6:
                return cascadeN<C, 6>(s, frames, bands, clipped);
            case 7:
                return cascadeN<C, 7>(s, frames, bands, clipped);
            default:
                return cascadeN<C, 8>(s, frames, bands, clipped);
        }
    }

    // Any channel count: one channel of an interleaved block at a time.
    static void cascadeOne(int16_t* s, int64_t frames, int stride, int c, Band** bands, size_t n,
                           int64_t& clipped) {
        for (int64_t f = 0; f < frames; ++f) {
            float x = float(s[f * stride]);
            for (size_t k = 0; k < n; ++k) {
                Band& b = *bands[k];
                const float y = b.b0 * x + b.z1[c];
                b.z1[c] = b.b1 * x - b.a1 * y + b.z2[c];
                b.z2[c] = b.b2 * x - b.a2 * y;
                x = y;
            }
            s[f * stride] = toSample(x, clipped);
        }
    }

    static void design(Band& b, int rate) {
        b.designedRate = rate;
        const double f0 = b.p.fCenter;
        b.valid = rate > 0 && f0 > 0 && f0 < 0.5 * rate;
        if (!b.valid) return;
        const double A = std::pow(10.0, double(b.p.fGain) / 40.0);
        const double w0 = 2 * kPi * f0 / rate;
        const double sn = std::sin(w0), cs = std::cos(w0);
        const double alpha = b.p.fQ > 0
                                 ? sn / (2.0 * b.p.fQ)
                                 : sn * std::sinh(std::log(2.0) / 2.0 * b.p.fBandwidth * w0 / sn);
        const double a0 = 1 + alpha / A;
        b.b0 = float((1 + alpha * A) / a0);
        b.b1 = float(-2 * cs / a0);
        b.b2 = float((1 - alpha * A) / a0);
        b.a1 = float(-2 * cs / a0);
        b.a2 = float((1 - alpha / A) / a0);
    }

    std::map<int, Band> bands_;
    std::vector<Band*> active_;
};

// Gain: fAmp is the factor (1 unity, 0 silence, 10 = +20 dB). Levels above the knee are bent
// smoothly towards full scale instead of clipping or wrapping.
class Gain : public Effect {
  public:
    Gain() { p_.fAmp = 1.0f; }
    int64_t process(int16_t* samples, int64_t frames, int channels, int) override {
        const float amp = p_.fAmp;
        if (amp == 1.0f) return 0;
        const int64_t n = frames * channels;
        if (amp == 0.0f) {
            std::fill(samples, samples + n, int16_t(0));
            return 0;
        }
        constexpr float kKnee = 0.8f * 32767.0f, kRoom = 32767.0f - kKnee;
        for (int64_t i = 0; i < n; ++i) {
            const float y = float(samples[i]) * amp;
            const float m = std::fabs(y);
            if (m <= kKnee) {
                samples[i] = toSample(y);
            } else {
                const float bent = kKnee + kRoom * std::tanh((m - kKnee) / kRoom);
                samples[i] = toSample(y < 0 ? -bent : bent);
            }
        }
        return 0;  // bent below full scale, never clipped
    }
    bool setParameters(const void* params) override {
        const auto* p = static_cast<const BASS_FX_DSPGAIN*>(params);
        if (!p || !(p->fAmp >= 0.0f) || !std::isfinite(p->fAmp)) return false;
        p_ = *p;
        return true;
    }
    bool getParameters(void* params) const override {
        if (!params) return false;
        *static_cast<BASS_FX_DSPGAIN*>(params) = p_;
        return true;
    }

  private:
    BASS_FX_DSPGAIN p_{};
};

}  // namespace

std::shared_ptr<Effect> makeEffect(int type) {
    switch (type) {
        case BASS_FX_PEAKEQ:
            return std::make_shared<PeakEq>();
        case BASS_FX_GAIN:
            return std::make_shared<Gain>();
        default:
            return nullptr;
    }
}

}  // namespace engine::detail

using namespace engine::detail;

BOOL BASS_FX_DSP_Set(DWORD handle, int type, int priority) {
    return guarded(kFalse, [&]() -> BOOL {
        auto ch = findChannel(handle);
        if (!ch) return fail(BASS_ERROR_HANDLE, kFalse);
        std::lock_guard g(*ch->lock);
        if (ch->findEffect(type)) return ok(kTrue);  // already set: keep it and its parameters
        auto fx = makeEffect(type);
        if (!fx) return fail(BASS_ERROR_ILLTYPE, kFalse);
        DspEntry e;
        e.handle = newHandle();
        e.priority = priority;
        e.fxType = type;
        e.fx = std::move(fx);
        ch->addDsp(std::move(e));
        return ok(kTrue);
    });
}

BOOL BASS_FX_DSP_Remove(DWORD handle, int type) {
    return guarded(kFalse, [&]() -> BOOL {
        auto ch = findChannel(handle);
        if (!ch) return fail(BASS_ERROR_HANDLE, kFalse);
        std::lock_guard g(*ch->lock);
        const DspEntry* e = ch->findEffect(type);
        if (!e) return fail(BASS_ERROR_HANDLE, kFalse);
        ch->removeDsp(e->handle);
        return ok(kTrue);
    });
}

BOOL BASS_FX_DSP_SetParameters(DWORD handle, int type, const void* params) {
    return guarded(kFalse, [&]() -> BOOL {
        auto ch = findChannel(handle);
        if (!ch) return fail(BASS_ERROR_HANDLE, kFalse);
        std::lock_guard g(*ch->lock);
        const DspEntry* e = ch->findEffect(type);
        if (!e) return fail(BASS_ERROR_HANDLE, kFalse);
        return e->fx->setParameters(params) ? ok(kTrue) : fail(BASS_ERROR_ILLPARAM, kFalse);
    });
}

BOOL BASS_FX_DSP_GetParameters(DWORD handle, int type, void* params) {
    auto ch = findChannel(handle);
    if (!ch) return fail(BASS_ERROR_HANDLE, kFalse);
    std::lock_guard g(*ch->lock);
    const DspEntry* e = ch->findEffect(type);
    if (!e) return fail(BASS_ERROR_HANDLE, kFalse);
    return e->fx->getParameters(params) ? ok(kTrue) : fail(BASS_ERROR_ILLPARAM, kFalse);
}

// Effects in a channel's DSP chain: the peaking equalizer (many bands on one effect) and the gain
// effect with a soft limiter. Parameters change under the channel's lock, which the processing
// holds too.
// Threads: the BASS_FX_DSP_ calls from any controlling thread; process() on whichever thread
// renders the channel (the decoder worker when it plays, BASS_ChannelGetData's caller otherwise).
#include <algorithm>
#include <cmath>
#include <map>

#include "engine/core_internal.h"

namespace engine::detail {
namespace {

constexpr int kMaxChannels = 8;
constexpr double kPi = 3.14159265358979323846;

inline int16_t toSample(float v) {
    return int16_t(std::lrintf(std::clamp(v, -32768.0f, 32767.0f)));
}

// RBJ peaking biquads, one per band, in float, transposed direct form II per channel.
class PeakEq : public Effect {
  public:
    void process(int16_t* samples, int64_t frames, int channels, int rate) override {
        active_.clear();
        for (auto& [index, band] : bands_) {
            if (band.p.fGain == 0.0f) {
                band.primed = false;
                continue;
            }
            if (band.designedRate != rate) design(band, rate);
            if (band.valid) active_.push_back(&band);
        }
        if (active_.empty()) return;  // all bands flat: untouched
        for (Band* b : active_)
            if (!b->primed) {
                std::fill(std::begin(b->z1), std::end(b->z1), 0.0f);
                std::fill(std::begin(b->z2), std::end(b->z2), 0.0f);
                b->primed = true;
            }
        // Up to eight bands at a time, the whole cascade per frame with its state in registers.
        for (size_t first = 0; first < active_.size(); first += 8) {
            const size_t n = std::min<size_t>(8, active_.size() - first);
            Band** bands = active_.data() + first;
            if (channels == 2)
                cascade<2>(samples, frames, channels, bands, n);
            else if (channels == 1)
                cascade<1>(samples, frames, channels, bands, n);
            else
                for (int c = 0; c < std::min(channels, kMaxChannels); ++c)
                    cascadeOne(samples + c, frames, channels, c, bands, n);
        }
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

    template <int C, int N>
    static void cascadeN(int16_t* s, int64_t frames, Band** bands) {
        if constexpr (C == 2) {
            // A wavefront: in step t band k filters frame t - k, whose input band k - 1 made in
            // step t - 1, so the bands of one step are independent and two bands (both channels
            // each) share one vector. An odd band count gets a pass-through band at the end.
            using V = float __attribute__((vector_size(16)));
            using M = int __attribute__((vector_size(16)));
            constexpr int K = (N + 1) / 2;
            V b0[K]{}, b1[K]{}, b2[K]{}, a1[K]{}, a2[K]{}, z1[K]{}, z2[K]{}, out[K]{};
            for (int j = 0; j < K; ++j) {
                const Band* lo = bands[2 * j];
                const Band* hi = 2 * j + 1 < N ? bands[2 * j + 1] : nullptr;
                auto pair = [&](float Band::*f, float pad) {
                    return V{lo->*f, lo->*f, hi ? hi->*f : pad, hi ? hi->*f : pad};
                };
                b0[j] = pair(&Band::b0, 1.0f), b1[j] = pair(&Band::b1, 0.0f);
                b2[j] = pair(&Band::b2, 0.0f), a1[j] = pair(&Band::a1, 0.0f);
                a2[j] = pair(&Band::a2, 0.0f);
                z1[j] = V{lo->z1[0], lo->z1[1], hi ? hi->z1[0] : 0, hi ? hi->z1[1] : 0};
                z2[j] = V{lo->z2[0], lo->z2[1], hi ? hi->z2[0] : 0, hi ? hi->z2[1] : 0};
                out[j] = V{0, 0, 0, 0};
            }
            constexpr int last = 2 * K - 1;  // the band whose output leaves the cascade
            auto step = [&]<bool edge>(int64_t t) __attribute__((always_inline)) {
                V in[K];
                const V x = t < frames ? V{float(s[t * 2]), float(s[t * 2 + 1]), 0, 0} : V{};
#if defined(__clang__)  // the fuzzing build
                in[0] = __builtin_shufflevector(x, out[0], 0, 1, 4, 5);
                for (int j = 1; j < K; ++j)
                    in[j] = __builtin_shufflevector(out[j - 1], out[j], 2, 3, 4, 5);
#else
                in[0] = __builtin_shuffle(x, out[0], M{0, 1, 4, 5});
                // Unrolled, so that every band's state stays in a register: a loop over the arrays
                // keeps them in memory and puts a store and a load on each band's feedback path.
#pragma GCC unroll 8
                for (int j = 1; j < K; ++j)
                    in[j] = __builtin_shuffle(out[j - 1], out[j], M{2, 3, 4, 5});
#endif
#pragma GCC unroll 8
                for (int j = 0; j < K; ++j) {
                    const V y = b0[j] * in[j] + z1[j];
                    V n1 = b1[j] * in[j] - a1[j] * y + z2[j];
                    V n2 = b2[j] * in[j] - a2[j] * y;
                    if constexpr (edge) {  // bands outside the block keep their state
                        const int64_t flo = t - 2 * j, fhi = t - 2 * j - 1;
                        const int l = flo >= 0 && flo < frames ? -1 : 0;
                        const int h = fhi >= 0 && fhi < frames ? -1 : 0;
                        const M keep = M{l, l, h, h};
                        n1 = keep ? n1 : z1[j];
                        n2 = keep ? n2 : z2[j];
                    }
                    z1[j] = n1;
                    z2[j] = n2;
                    out[j] = y;
                }
                const int64_t f = t - last;
                if (f >= 0 && f < frames) {
                    s[f * 2] = toSample(out[K - 1][2]);
                    s[f * 2 + 1] = toSample(out[K - 1][3]);
                }
            };
            const int64_t steps = frames + last;
            int64_t t = 0;
            for (; t < std::min<int64_t>(last, steps); ++t) step.template operator()<true>(t);
            for (; t < frames; ++t) step.template operator()<false>(t);
            for (; t < steps; ++t) step.template operator()<true>(t);
            for (int j = 0; j < K; ++j) {
                Band* lo = bands[2 * j];
                lo->z1[0] = z1[j][0], lo->z1[1] = z1[j][1], lo->z2[0] = z2[j][0],
                lo->z2[1] = z2[j][1];
                if (2 * j + 1 < N) {
                    Band* hi = bands[2 * j + 1];
                    hi->z1[0] = z1[j][2], hi->z1[1] = z1[j][3];
                    hi->z2[0] = z2[j][2], hi->z2[1] = z2[j][3];
                }
            }
        } else if constexpr (C == 1) {
            // The same wavefront on one channel: four bands share one vector. Band count rounded
            // up to four with pass-through bands.
            using V = float __attribute__((vector_size(16)));
            using M = int __attribute__((vector_size(16)));
            constexpr int K = (N + 3) / 4;
            V b0[K]{}, b1[K]{}, b2[K]{}, a1[K]{}, a2[K]{}, z1[K]{}, z2[K]{}, out[K]{};
            for (int j = 0; j < K; ++j)
                for (int i = 0; i < 4; ++i) {
                    const Band* b = 4 * j + i < N ? bands[4 * j + i] : nullptr;
                    b0[j][i] = b ? b->b0 : 1.0f, b1[j][i] = b ? b->b1 : 0.0f;
                    b2[j][i] = b ? b->b2 : 0.0f, a1[j][i] = b ? b->a1 : 0.0f;
                    a2[j][i] = b ? b->a2 : 0.0f;
                    z1[j][i] = b ? b->z1[0] : 0.0f, z2[j][i] = b ? b->z2[0] : 0.0f;
                }
            constexpr int last = 4 * K - 1;  // the band whose output leaves the cascade
            auto step = [&]<bool edge>(int64_t t) __attribute__((always_inline)) {
                V in[K];
                const V x = t < frames ? V{float(s[t]), 0, 0, 0} : V{};
#if defined(__clang__)  // the fuzzing build
                in[0] = __builtin_shufflevector(x, out[0], 0, 4, 5, 6);
                for (int j = 1; j < K; ++j)
                    in[j] = __builtin_shufflevector(out[j - 1], out[j], 3, 4, 5, 6);
#else
                in[0] = __builtin_shuffle(x, out[0], M{0, 4, 5, 6});
#pragma GCC unroll 8
                for (int j = 1; j < K; ++j)
                    in[j] = __builtin_shuffle(out[j - 1], out[j], M{3, 4, 5, 6});
#endif
#pragma GCC unroll 8
                for (int j = 0; j < K; ++j) {
                    const V y = b0[j] * in[j] + z1[j];
                    V n1 = b1[j] * in[j] - a1[j] * y + z2[j];
                    V n2 = b2[j] * in[j] - a2[j] * y;
                    if constexpr (edge) {  // bands outside the block keep their state
                        M keep;
                        for (int i = 0; i < 4; ++i) {
                            const int64_t f = t - (4 * j + i);
                            keep[i] = f >= 0 && f < frames ? -1 : 0;
                        }
                        n1 = keep ? n1 : z1[j];
                        n2 = keep ? n2 : z2[j];
                    }
                    z1[j] = n1;
                    z2[j] = n2;
                    out[j] = y;
                }
                const int64_t f = t - last;
                if (f >= 0 && f < frames) s[f] = toSample(out[K - 1][3]);
            };
            const int64_t steps = frames + last;
            int64_t t = 0;
            for (; t < std::min<int64_t>(last, steps); ++t) step.template operator()<true>(t);
            for (; t < frames; ++t) step.template operator()<false>(t);
            for (; t < steps; ++t) step.template operator()<true>(t);
            for (int j = 0; j < K; ++j)
                for (int i = 0; i < 4 && 4 * j + i < N; ++i) {
                    bands[4 * j + i]->z1[0] = z1[j][i];
                    bands[4 * j + i]->z2[0] = z2[j][i];
                }
        } else {
            static_assert(C == 1 || C == 2, "one or two channels; others go through cascadeOne");
        }
    }

    template <int C>
    static void cascade(int16_t* s, int64_t frames, int, Band** bands, size_t n) {
        switch (n) {
            case 1:
                return cascadeN<C, 1>(s, frames, bands);
            case 2:
                return cascadeN<C, 2>(s, frames, bands);
            case 3:
                return cascadeN<C, 3>(s, frames, bands);
            case 4:
                return cascadeN<C, 4>(s, frames, bands);
            case 5:
                return cascadeN<C, 5>(s, frames, bands);
            case 6:
                return cascadeN<C, 6>(s, frames, bands);
            case 7:
                return cascadeN<C, 7>(s, frames, bands);
            default:
                return cascadeN<C, 8>(s, frames, bands);
        }
    }

    // Any channel count: one channel of an interleaved block at a time.
    static void cascadeOne(int16_t* s, int64_t frames, int stride, int c, Band** bands, size_t n) {
        for (int64_t f = 0; f < frames; ++f) {
            float x = float(s[f * stride]);
            for (size_t k = 0; k < n; ++k) {
                Band& b = *bands[k];
                const float y = b.b0 * x + b.z1[c];
                b.z1[c] = b.b1 * x - b.a1 * y + b.z2[c];
                b.z2[c] = b.b2 * x - b.a2 * y;
                x = y;
            }
            s[f * stride] = toSample(x);
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
    void process(int16_t* samples, int64_t frames, int channels, int) override {
        const float amp = p_.fAmp;
        if (amp == 1.0f) return;
        const int64_t n = frames * channels;
        if (amp == 0.0f) {
            std::fill(samples, samples + n, int16_t(0));
            return;
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

// Effects in a channel's DSP chain: the peaking equalizer (many bands on one effect) and the gain
// effect with a soft limiter. Parameters change under the channel's lock, which the processing
// holds too.
#include <algorithm>
#include <cmath>
#include <map>

#include "engine/core_internal.h"

namespace engine::detail {
namespace {

constexpr int kMaxChannels = 8;
constexpr double kPi = 3.14159265358979323846;

inline int16_t toSample(float v) {
    return int16_t(std::lrint(std::clamp(v, -32768.0f, 32767.0f)));
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
        const int chans = std::min(channels, kMaxChannels);
        for (Band* b : active_)
            if (!b->primed) {
                std::fill(std::begin(b->z1), std::end(b->z1), 0.0f);
                std::fill(std::begin(b->z2), std::end(b->z2), 0.0f);
                b->primed = true;
            }
        for (int64_t f = 0; f < frames; ++f) {
            int16_t* frame = samples + f * channels;
            for (int c = 0; c < chans; ++c) {
                float x = float(frame[c]);
                for (Band* b : active_) {
                    const float y = b->b0 * x + b->z1[c];
                    b->z1[c] = b->b1 * x - b->a1 * y + b->z2[c];
                    b->z2[c] = b->b2 * x - b->a2 * y;
                    x = y;
                }
                frame[c] = toSample(x);
            }
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
}

BOOL BASS_FX_DSP_Remove(DWORD handle, int type) {
    auto ch = findChannel(handle);
    if (!ch) return fail(BASS_ERROR_HANDLE, kFalse);
    std::lock_guard g(*ch->lock);
    const DspEntry* e = ch->findEffect(type);
    if (!e) return fail(BASS_ERROR_HANDLE, kFalse);
    ch->removeDsp(e->handle);
    return ok(kTrue);
}

BOOL BASS_FX_DSP_SetParameters(DWORD handle, int type, const void* params) {
    auto ch = findChannel(handle);
    if (!ch) return fail(BASS_ERROR_HANDLE, kFalse);
    std::lock_guard g(*ch->lock);
    const DspEntry* e = ch->findEffect(type);
    if (!e) return fail(BASS_ERROR_HANDLE, kFalse);
    return e->fx->setParameters(params) ? ok(kTrue) : fail(BASS_ERROR_ILLPARAM, kFalse);
}

BOOL BASS_FX_DSP_GetParameters(DWORD handle, int type, void* params) {
    auto ch = findChannel(handle);
    if (!ch) return fail(BASS_ERROR_HANDLE, kFalse);
    std::lock_guard g(*ch->lock);
    const DspEntry* e = ch->findEffect(type);
    if (!e) return fail(BASS_ERROR_HANDLE, kFalse);
    return e->fx->getParameters(params) ? ok(kTrue) : fail(BASS_ERROR_ILLPARAM, kFalse);
}

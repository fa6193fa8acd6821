#include "effects/stereo_remover.h"

#include <algorithm>
#include <cmath>

#include "effects/vocal_remover.h"
#include "engine/engine_ext.h"

namespace effects {

namespace {

// About 46 ms at any rate, a power of two.
int frameLength(double rate) {
    int n = 2048;
    while (n < 16384 && double(n) < rate * 0.04) n *= 2;
    return n;
}

// 0 at `from`, 1 at `to` (either order), a raised-cosine step between.
float step(float x, float from, float to) {
    float t = (x - from) / (to - from);
    t = std::clamp(t, 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

constexpr double kSmoothingSeconds = 0.02;  // the statistics' time constant

}  // namespace

StereoRemover::StereoRemover(double sampleRate, int channels)
    : rate_(sampleRate > 0 ? sampleRate : 44100.0),
      channels_(std::max(channels, 1)),
      size_(frameLength(rate_)),
      hop_(size_ / 4),
      fft_(size_) {
    window_.resize(size_t(size_));
    for (int j = 0; j < size_; ++j)
        window_[size_t(j)] = float(std::sqrt(0.5 - 0.5 * std::cos(2.0 * M_PI * j / size_)));
    for (int c = 0; c < 2; ++c) {
        input_[c].assign(size_t(size_), 0.0f);
        output_[c].assign(size_t(size_), 0.0f);
        spectrum_[c].assign(size_t(size_), 0.0f);
    }
    const size_t bins = size_t(size_ / 2 + 1);
    for (auto* v : {&powerL_, &powerR_, &crossRe_, &crossIm_, &gain_}) v->assign(bins, 0.0f);
    if (channels_ > 2) delayed_.assign(size_t(size_) * size_t(channels_ - 2), 0);
}

void StereoRemover::setStrength(float strength) {
    strength_ = std::clamp(strength, 0.0f, 1.0f);
}

void StereoRemover::setRange(float lowHz, float highHz) {
    lowHz_ = lowHz;
    highHz_ = highHz;
}

void StereoRemover::reset() {
    filled_ = 0;
    for (int c = 0; c < 2; ++c) {
        std::fill(input_[c].begin(), input_[c].end(), 0.0f);
        std::fill(output_[c].begin(), output_[c].end(), 0.0f);
    }
    for (auto* v : {&powerL_, &powerR_, &crossRe_, &crossIm_})
        std::fill(v->begin(), v->end(), 0.0f);
    std::fill(delayed_.begin(), delayed_.end(), int16_t(0));
    delayAt_ = 0;
}

void StereoRemover::process(int16_t* frames, size_t count) {
    if (channels_ < 2) return;
    const size_t extra = size_t(channels_ - 2);
    const size_t tail = size_t(size_ - hop_);
    int64_t clipped = 0;
    for (size_t i = 0; i < count; ++i, frames += channels_) {
        const size_t k = size_t(filled_);
        for (int c = 0; c < 2; ++c) {
            input_[c][tail + k] = float(frames[c]);
            const float v = output_[c][k];
            clipped += v > 32767.0f || v < -32768.0f;
            frames[c] = int16_t(std::lrint(std::clamp(v, -32768.0f, 32767.0f)));
        }
        if (extra) {
            int16_t* line = delayed_.data() + delayAt_ * extra;
            for (size_t c = 0; c < extra; ++c) std::swap(line[c], frames[2 + c]);
            delayAt_ = (delayAt_ + 1) % size_t(size_);
        }
        if (++filled_ == hop_) {
            analyseAndResynthesise();
            filled_ = 0;
        }
    }
    if (clipped) clipped_.fetch_add(clipped, std::memory_order_relaxed);
}

void StereoRemover::analyseAndResynthesise() {
    const int n = size_;
    const int half = n / 2;
    for (int c = 0; c < 2; ++c) {
        float* in = fft_.input();
        for (int j = 0; j < n; ++j) in[j] = input_[c][size_t(j)] * window_[size_t(j)];
        const float* packed = fft_.packed();
        std::copy(packed, packed + n, spectrum_[c].begin());
    }
    const float* l = spectrum_[0].data();
    const float* r = spectrum_[1].data();
    const auto im = [&](const float* s, int bin) {
        return bin > 0 && bin < half ? s[n - bin] : 0.0f;
    };

    const float keep = float(std::exp(-double(hop_) / (rate_ * kSmoothingSeconds)));
    for (int b = 0; b <= half; ++b) {
        const float lr = l[b], li = im(l, b), rr = r[b], ri = im(r, b);
        const size_t k = size_t(b);
        powerL_[k] = keep * powerL_[k] + (1 - keep) * (lr * lr + li * li);
        powerR_[k] = keep * powerR_[k] + (1 - keep) * (rr * rr + ri * ri);
        crossRe_[k] = keep * crossRe_[k] + (1 - keep) * (lr * rr + li * ri);
        crossIm_[k] = keep * crossIm_[k] + (1 - keep) * (li * rr - lr * ri);
    }

    const float strength = strength_.load(std::memory_order_relaxed);
    const float hzPerBin = float(rate_ / n);
    const float low = lowHz_.load(std::memory_order_relaxed);
    const float high = highHz_.load(std::memory_order_relaxed);
    for (int b = 0; b <= half; ++b) {
        // A quarter octave's soft edge at either end of the range.
        const float hz = float(b) * hzPerBin;
        const float inRange = step(hz, low * 0.84f, low) * (1.0f - step(hz, high, high * 1.19f));
        float g = 0.0f;
        if (strength > 0 && inRange > 0) {
            double pl = 0, pr = 0, cr = 0;
            for (int m = std::max(b - 1, 0); m <= std::min(b + 1, half); ++m) {
                pl += powerL_[size_t(m)];
                pr += powerR_[size_t(m)];
                cr += crossRe_[size_t(m)];
            }
            const double total = pl + pr;
            if (total > 1e-3) {
                // In phase and alike (1 for one source in both channels, 0 for unrelated ones or
                // opposite phase), and where between the channels it sits (0 centre, 1 one side).
                const float alike = float(cr / std::sqrt(pl * pr + 1e-9));
                const float side = float(std::abs(pl - pr) / total);
                g = strength * inRange * step(alike, 0.4f, 0.8f) * (1.0f - step(side, 0.55f, 0.8f));
            }
        }
        gain_[size_t(b)] = 1.0f - g;
    }

    // The output of this frame covers the last `n` samples; the hop before it is now complete.
    const float scale = float(hop_) * 2.0f / float(n);  // sqrt-Hann squared sums to n / (2 hop)
    for (int c = 0; c < 2; ++c) {
        const float* s = spectrum_[c].data();
        float* out = fft_.spectrum();
        for (int b = 0; b <= half; ++b) out[b] = s[b] * gain_[size_t(b)];
        for (int b = 1; b < half; ++b) out[n - b] = s[n - b] * gain_[size_t(b)];
        const float* back = fft_.inverse();
        auto& acc = output_[c];
        std::copy(acc.begin() + hop_, acc.end(), acc.begin());
        std::fill(acc.end() - hop_, acc.end(), 0.0f);
        for (int j = 0; j < n; ++j) acc[size_t(j)] += back[j] * window_[size_t(j)] * scale;
        auto& in = input_[c];
        std::copy(in.begin() + hop_, in.end(), in.begin());
    }
}

void StereoRemover::dsp(HDSP, DWORD, void* buffer, DWORD length, void* user) {
    auto* self = static_cast<StereoRemover*>(user);
    if (engine::dspBlockFollowsSeek()) self->reset();
    self->process(static_cast<int16_t*>(buffer), length / (2 * DWORD(self->channels_)));
}

HDSP StereoRemover::attach(DWORD channel) {
    BASS_CHANNELINFO info{};
    if (!BASS_ChannelGetInfo(channel, &info)) return 0;
    // A mono channel passes as it is (as with the plain remover).
    if (info.chans < 2 || int(info.chans) != channels_) return attachVocalRemover(channel);
    reset();
    return engine::setLaggingDsp(channel, &StereoRemover::dsp, this, 0, latency());
}

}  // namespace effects

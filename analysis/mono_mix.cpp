#include "analysis/mono_mix.h"

#include <algorithm>
#include <cmath>

namespace analysis {

namespace {

constexpr size_t kStep = 512;       // frames between looks at the correlation
constexpr double kDecay = 0.97;     // per step: at 44.1 kHz the sums fall to 1/e in 0.4 s
constexpr double kFlip = -0.5;      // the correlation below which a channel is turned over
constexpr double kFlipBack = -0.3;  // and above which it is turned back

}  // namespace

MonoMix::MonoMix(int channels)
    : channels_(std::max(1, channels)),
      cross_(size_t(channels_)),
      power_(size_t(channels_)),
      sign_(size_t(channels_), 1.0f),
      from_(size_t(channels_), 1.0f) {}

void MonoMix::mix(const int16_t* pcm, size_t frames, float* mono) {
    const size_t n = size_t(channels_);
    const float scale = 1.0f / (32768.0f * float(channels_));
    for (size_t from = 0; from < frames; from += kStep) {
        const size_t to = std::min(frames, from + kStep);
        const size_t count = to - from;
        if (n > 1) {
            // The correlation so far decides this step's signs, a change faded in over the step
            // so that it does not click; this step's samples join the correlation.
            for (size_t c = 1; c < n; ++c) {
                const double norm = std::sqrt(power_[c] * firstPower_);
                const double r = norm > 0 ? cross_[c] / norm : 0.0;
                from_[c] = sign_[c];
                if (r < kFlip) sign_[c] = -1.0f;
                if (r > kFlipBack) sign_[c] = 1.0f;
                cross_[c] *= kDecay;
                power_[c] *= kDecay;
            }
            firstPower_ *= kDecay;
            for (size_t i = from; i < to; ++i) {
                const double first = pcm[i * n];
                firstPower_ += first * first;
                for (size_t c = 1; c < n; ++c) {
                    const double v = pcm[i * n + c];
                    cross_[c] += v * first;
                    power_[c] += v * v;
                }
            }
        }
        for (size_t i = from; i < to; ++i) {
            float sum = pcm[i * n];
            for (size_t c = 1; c < n; ++c) {
                float g = sign_[c];
                if (from_[c] != g) g = from_[c] + (g - from_[c]) * float(i - from) / float(count);
                sum += g * float(pcm[i * n + c]);
            }
            mono[i] = sum * scale;
        }
    }
}

}  // namespace analysis

#include "engine/decode/conformer.h"

#include <algorithm>
#include <cmath>

#include "engine/engine_ext.h"

namespace engine {

FormatConformer::FormatConformer(int rate, int channels) : rate_(rate), channels_(channels) {}

FormatConformer::~FormatConformer() {
    if (soxr_) soxr_delete(soxr_);
}

bool FormatConformer::push(const float* samples, size_t frames, int rate, int channels) {
    if (rate != inRate_) {
        dropResampler();
        inRate_ = rate;
    }
    if (channels == channels_ && rate == rate_) {
        append(samples, frames);
        return true;
    }
    const size_t out = size_t(channels_), in = size_t(channels);
    mix_.assign(frames * out, 0.0f);
    if (channels == channels_) {
        std::copy_n(samples, frames * out, mix_.begin());
    } else if (channels == 1) {
        for (size_t f = 0; f < frames; ++f)
            std::fill_n(mix_.begin() + std::ptrdiff_t(f * out), out, samples[f]);
    } else if (channels_ == 1) {
        for (size_t f = 0; f < frames; ++f) {
            float sum = 0;
            for (size_t c = 0; c < in; ++c) sum += samples[f * in + c];
            mix_[f] = sum / float(in);
        }
    } else if (channels_ == 2) {
        const StereoDownmix d = stereoDownmix(channels);
        for (size_t f = 0; f < frames; ++f)
            for (size_t c = 0; c < in; ++c) {
                mix_[2 * f] += d.left[c] * samples[f * in + c];
                mix_[2 * f + 1] += d.right[c] * samples[f * in + c];
            }
    } else {
        for (size_t f = 0; f < frames; ++f)
            for (size_t c = 0; c < std::min(in, out); ++c) mix_[f * out + c] = samples[f * in + c];
    }
    if (rate == rate_) {
        append(mix_.data(), frames);
        return true;
    }
    if (!soxr_) {
        soxr_error_t err = nullptr;
        const soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
        soxr_ = soxr_create(double(rate), double(rate_), unsigned(channels_), &err, nullptr, &q,
                            nullptr);
        if (err || !soxr_) {
            soxr_ = nullptr;
            return false;
        }
    }
    resample(mix_.data(), frames);
    return true;
}

void FormatConformer::finish() {
    dropResampler();
}

size_t FormatConformer::take(int16_t* dst, size_t frames) {
    const size_t n = std::min(frames, ready());
    std::copy_n(out_.begin() + std::ptrdiff_t(outAt_), n * size_t(channels_), dst);
    outAt_ += n * size_t(channels_);
    if (outAt_ == out_.size()) {
        out_.clear();
        outAt_ = 0;
    }
    return n;
}

void FormatConformer::reset() {
    if (soxr_) soxr_delete(soxr_);
    soxr_ = nullptr;
    inRate_ = 0;
    out_.clear();
    outAt_ = 0;
}

void FormatConformer::resample(const float* in, size_t frames) {
    constexpr size_t kBlock = 8192;
    res_.resize(kBlock * size_t(channels_));
    for (;;) {
        size_t used = 0, made = 0;
        soxr_process(soxr_, in, frames, &used, res_.data(), kBlock, &made);
        append(res_.data(), made);
        if (in) {
            in += used * size_t(channels_);
            frames -= used;
            if ((frames == 0 && made < kBlock) || (used == 0 && made == 0)) return;
        } else if (made == 0) {
            return;
        }
    }
}

void FormatConformer::dropResampler() {
    if (!soxr_) return;
    resample(nullptr, 0);
    soxr_delete(soxr_);
    soxr_ = nullptr;
}

void FormatConformer::append(const float* v, size_t frames) {
    for (size_t i = 0, n = frames * size_t(channels_); i < n; ++i)
        out_.push_back(int16_t(std::lrint(std::clamp(v[i] * 32768.0f, -32768.0f, 32767.0f))));
}

}  // namespace engine

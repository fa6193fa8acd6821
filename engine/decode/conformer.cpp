#include "engine/decode/conformer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <initializer_list>

#include "engine/engine_ext.h"

namespace engine {

namespace {

// The gains that put a part of `in` channels into `out` channels by the usual speaker places of
// the two counts (`out` rows of `in`): each channel to its own speaker where the stream has one;
// else a centre to the front pair at -3 dB, a back channel to the side of its side or a side one
// to the back (else to the front of its side at -3 dB), the back centre to the back pair, the
// side pair or the front pair at -3 dB, a front of centre to the front of its side; an LFE the
// stream has none of is left out. Past eight channels, which have no usual places, channel by
// channel.
std::vector<float> placeGains(int in, int out) {
    std::vector<float> gains(size_t(in) * size_t(out), 0.0f);
    const uint32_t from = usualSpeakerMask(in), to = usualSpeakerMask(out);
    if (!from || !to) {
        for (int c = 0; c < std::min(in, out); ++c) gains[size_t(c) * size_t(in) + size_t(c)] = 1;
        return gains;
    }
    auto slot = [to](int bit) {
        return to >> bit & 1 ? std::popcount(to & ((1u << bit) - 1)) : -1;
    };
    const float half = std::sqrt(0.5f);
    uint32_t left = from;
    for (int c = 0; c < in; ++c) {
        const int bit = std::countr_zero(left);
        left &= left - 1;
        auto put = [&](std::initializer_list<int> bits, float gain) {
            for (const int b : bits)
                if (slot(b) < 0) return false;
            for (const int b : bits) gains[size_t(slot(b)) * size_t(in) + size_t(c)] = gain;
            return true;
        };
        if (put({bit}, 1.0f)) continue;
        switch (bit) {
            case FrontCentre:
                put({FrontLeft, FrontRight}, half);
                break;
            case BackLeft:
                put({SideLeft}, 1.0f) || put({FrontLeft}, half);
                break;
            case BackRight:
                put({SideRight}, 1.0f) || put({FrontRight}, half);
                break;
            case SideLeft:
                put({BackLeft}, 1.0f) || put({FrontLeft}, half);
                break;
            case SideRight:
                put({BackRight}, 1.0f) || put({FrontRight}, half);
                break;
            case BackCentre:
                put({BackLeft, BackRight}, half) || put({SideLeft, SideRight}, half) ||
                    put({FrontLeft, FrontRight}, half);
                break;
            case FrontLeftOfCentre:
                put({FrontLeft}, 1.0f);
                break;
            case FrontRightOfCentre:
                put({FrontRight}, 1.0f);
                break;
            default:  // the LFE
                break;
        }
    }
    return gains;
}

}  // namespace

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
    } else if (channels == 1 && channels_ == 2) {
        for (size_t f = 0; f < frames; ++f) mix_[2 * f] = mix_[2 * f + 1] = samples[f];
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
        if (placedFrom_ != channels) {
            place_ = placeGains(channels, channels_);
            placedFrom_ = channels;
        }
        for (size_t f = 0; f < frames; ++f)
            for (size_t o = 0; o < out; ++o) {
                float sum = 0;
                for (size_t c = 0; c < in; ++c) {
                    sum += place_[o * in + c] * samples[f * in + c];
                }
                mix_[f * out + o] = sum;
            }
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

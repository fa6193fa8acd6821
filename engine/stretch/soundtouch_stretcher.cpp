#include <SoundTouch.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/stretch/stretcher.h"

namespace engine::detail {
namespace {

// SoundTouch takes fewer than 16 channels in one instance (its filter asserts it): more channels
// run in groups (16 channels: two of eight), each its own instance with the same settings. The
// instances take and give the same frame counts, so the groups stay aligned frame for frame;
// channel pairs stay in one group, which keeps a stereo pair's image. Each instance picks its
// splice points by correlating the channels it holds, so that every group picks the same ones,
// each also carries a guide channel: the mean of all channels, loud enough (kGuideGain) to
// outweigh the rest in that correlation. Without it a sound present in two groups came out
// shifted by up to 6 ms between them. The guide is dropped from the output.
//
// Timing. Within one of SoundTouch's sequences the sound plays at its own speed, so a beat drifts
// from where the tempo puts it by up to the sequence's length times |1 - 1/tempo|, and is pulled
// back at the next splice: the library's own windows (80-90 ms at slow tempo) spread a click
// train's beats over 17 ms at tempo -30 and play a third of them twice. Sequences of 20 ms at
// strong tempo changes, up to 40 ms near unity, keep every click within 5 ms and once; the seek
// window is widened to 25 ms instead, so that the splices still find a matching phase for a 40 Hz
// bass, and the quick seek keeps that wider search faster than the library's default. A pitch
// change alone keeps the 40 ms sequences: shorter ones roughen a tone shifted by an octave.
struct Windows {
    int sequenceMs, seekMs, overlapMs;
};

Windows windowsFor(double tempoFactor) {
    const double drift = std::abs(1.0 - 1.0 / tempoFactor);
    const int sequence = int(std::lround(std::clamp(5.0 / std::max(drift, 1e-3), 20.0, 40.0)));
    return {sequence, 25, 8};
}

class SoundTouchStretcher : public Stretcher {
  public:
    static constexpr int kMaxAlone = 15;  // channels in one instance
    static constexpr float kGuideGain = 1024.0f;

    SoundTouchStretcher(int rate, int chans) : chans(chans) {
        int size = chans;
        if (chans > kMaxAlone) {
            const int groups = (chans + kMaxAlone - 2) / (kMaxAlone - 1);  // a guide in each
            size = (chans + groups - 1) / groups;
            size += size % 2;  // even, so that pairs are not split
        }
        const bool guided = size < chans;
        for (int first = 0; first < chans; first += size) {
            Group g;
            g.first = first;
            g.count = std::min(size, chans - first);
            g.width = g.count + (guided ? 1 : 0);
            g.st = std::make_unique<soundtouch::SoundTouch>();
            g.st->setSampleRate(uint(rate));
            g.st->setChannels(uint(g.width));
            groups_.push_back(std::move(g));
        }
    }
    void set(double tempoPercent, double pitch, double rateFactor) override {
        const Windows w = windowsFor(1.0 + tempoPercent / 100.0);
        for (auto& g : groups_) {
            g.st->setTempoChange(tempoPercent);
            g.st->setPitchSemiTones(pitch);
            g.st->setRate(rateFactor);
            g.st->setSetting(SETTING_SEQUENCE_MS, w.sequenceMs);
            g.st->setSetting(SETTING_SEEKWINDOW_MS, w.seekMs);
            g.st->setSetting(SETTING_OVERLAP_MS, w.overlapMs);
            g.st->setSetting(SETTING_USE_QUICKSEEK, 1);
        }
    }
    void put(const float* in, int64_t frames) override {
        if (groups_.size() == 1) {
            groups_[0].st->putSamples(in, uint(frames));
            return;
        }
        guide.resize(size_t(frames));
        for (int64_t i = 0; i < frames; ++i) {
            float sum = 0.0f;
            for (int c = 0; c < chans; ++c) sum += in[i * chans + c];
            guide[size_t(i)] = sum * (kGuideGain / float(chans));
        }
        for (auto& g : groups_) {
            part.resize(size_t(frames * g.width));
            for (int64_t i = 0; i < frames; ++i) {
                std::copy_n(in + i * chans + g.first, g.count, part.data() + i * g.width);
                part[size_t(i * g.width + g.count)] = guide[size_t(i)];
            }
            g.st->putSamples(part.data(), uint(frames));
        }
    }
    int64_t available() override {
        int64_t a = std::numeric_limits<int64_t>::max();
        for (auto& g : groups_) a = std::min<int64_t>(a, g.st->numSamples());
        return a;
    }
    int64_t receive(float* out, int64_t frames) override {
        if (groups_.size() == 1) return groups_[0].st->receiveSamples(out, uint(frames));
        frames = std::min(frames, available());
        for (auto& g : groups_) {
            part.resize(size_t(frames * g.width));
            const int64_t got = g.st->receiveSamples(part.data(), uint(frames));
            for (int64_t i = 0; i < got; ++i)
                std::copy_n(part.data() + i * g.width, g.count, out + i * chans + g.first);
        }
        return frames;
    }
    void clear() override {
        for (auto& g : groups_) g.st->clear();
    }

  private:
    struct Group {
        int first = 0, count = 0, width = 0;  // width: count and the guide, if any
        std::unique_ptr<soundtouch::SoundTouch> st;
    };
    int chans;
    std::vector<Group> groups_;
    std::vector<float> part, guide;
};

}  // namespace

std::unique_ptr<Stretcher> makeSoundTouchStretcher(int rate, int chans) {
    return std::make_unique<SoundTouchStretcher>(rate, chans);
}

}  // namespace engine::detail

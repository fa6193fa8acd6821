#include <SoundTouch.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <tuple>
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

void configure(soundtouch::SoundTouch& st, double tempoPercent, double pitch, double rateFactor) {
    const Windows w = windowsFor(1.0 + tempoPercent / 100.0);
    st.setTempoChange(tempoPercent);
    st.setPitchSemiTones(pitch);
    st.setRate(rateFactor);
    st.setSetting(SETTING_SEQUENCE_MS, w.sequenceMs);
    st.setSetting(SETTING_SEEKWINDOW_MS, w.seekMs);
    st.setSetting(SETTING_OVERLAP_MS, w.overlapMs);
    st.setSetting(SETTING_USE_QUICKSEEK, 1);
}

// Where SoundTouch's output starts against where the tempo puts the source's first frame, in
// output frames (negative: early). The library skips input at its start to make up for its own
// delay, but not by the right amount for these windows: at tempo -60 every sound came 52 ms
// early (and the lost time came back as a repeat at the end), at pitch -8 up to 15 ms late.
// Measured once per setting on a probe of its own (noise bursts, each burst's onset found in the
// output within the sequence's drift of its place, the mean taken over ten), and kept.
double startOffset(int rate, double tempoPercent, double pitch, double rateFactor) {
    struct Key {
        int rate;
        double tempo, pitch, factor;
        bool operator<(const Key& o) const {
            return std::tie(rate, tempo, pitch, factor) <
                   std::tie(o.rate, o.tempo, o.pitch, o.factor);
        }
    };
    static std::mutex mutex;
    static std::map<Key, double> known;
    const Key key{rate, tempoPercent, pitch, rateFactor};
    {
        std::lock_guard lock(mutex);
        if (auto it = known.find(key); it != known.end()) return it->second;
    }
    constexpr int kBursts = 10;
    std::vector<float> probe(size_t(rate * (0.1 + 0.2 * kBursts + 0.2)), 0.0f);
    std::minstd_rand noise(7);
    std::uniform_real_distribution<float> level(-0.5f, 0.5f);
    for (int b = 0; b < kBursts; ++b)
        for (int i = 0, at = int((0.1 + 0.2 * b) * rate); i < rate / 50; ++i)
            probe[size_t(at + i)] = level(noise);
    soundtouch::SoundTouch st;
    st.setSampleRate(uint(rate));
    st.setChannels(1);
    configure(st, tempoPercent, pitch, rateFactor);
    const double ratio = (1.0 + tempoPercent / 100.0) * rateFactor;
    std::vector<float> out(size_t(double(probe.size()) * 1.2 / ratio) + size_t(rate));
    size_t n = 0;
    // Taken out as it comes: SoundTouch moves all it holds on every put.
    const auto take = [&] {
        for (uint got;
             n < out.size() && (got = st.receiveSamples(out.data() + n, uint(out.size() - n))) > 0;)
            n += got;
    };
    for (size_t at = 0; at < probe.size(); at += 4096) {
        st.putSamples(probe.data() + at, uint(std::min<size_t>(4096, probe.size() - at)));
        take();
    }
    st.flush();
    take();
    const int64_t reach = rate * 6 / 100;  // 60 ms: within half the bursts' spacing
    double sum = 0.0;
    int found = 0;
    for (int b = 0; b < kBursts; ++b) {
        const int64_t ideal = std::llround((0.1 + 0.2 * b) * rate / ratio);
        for (int64_t i = std::max<int64_t>(0, ideal - reach);
             i < std::min<int64_t>(int64_t(n), ideal + reach); ++i)
            if (std::abs(out[size_t(i)]) > 0.2f) {
                sum += double(i - ideal);
                ++found;
                break;
            }
    }
    const double offset = found ? sum / found : 0.0;
    std::lock_guard lock(mutex);
    if (known.size() > 256) known.clear();
    known[key] = offset;
    return offset;
}

class SoundTouchStretcher : public Stretcher {
  public:
    static constexpr int kMaxAlone = 15;  // channels in one instance
    static constexpr float kGuideGain = 1024.0f;

    SoundTouchStretcher(int rate, int chans) : chans(chans), rate_(rate) {
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
        for (auto& g : groups_) configure(*g.st, tempoPercent, pitch, rateFactor);
        tempo_ = tempoPercent;
        pitch_ = pitch;
        factor_ = rateFactor;
    }
    // At its start (and after clear) the stretcher is aligned: input its start skips goes in
    // before the source's first frame (the first frames mirrored, so that what the splices
    // overlap continues the sound), or output it gives late is dropped.
    void put(const float* in, int64_t frames) override {
        if (fresh_ && frames > 0) {
            fresh_ = false;
            const double ratio = (1.0 + tempo_ / 100.0) * factor_;
            const double offset = startOffset(rate_, tempo_, pitch_, factor_);
            dropLeft_ = offset > 0.0 ? std::llround(offset) : 0;
            const int64_t lead = offset < 0.0 ? std::llround(-offset * ratio) : 0;
            if (lead > 0) {
                std::vector<float> mirrored(size_t(lead * chans));
                for (int64_t i = 0; i < lead; ++i) {
                    const int64_t from = std::min(lead - i, frames - 1);
                    std::copy_n(in + from * chans, chans, mirrored.data() + i * chans);
                }
                feed(mirrored.data(), lead);
            }
        }
        feed(in, frames);
    }
    int64_t available() override {
        dropLate();
        return rawAvailable();
    }
    int64_t receive(float* out, int64_t frames) override {
        dropLate();
        return rawReceive(out, frames);
    }
    void clear() override {
        for (auto& g : groups_) g.st->clear();
        fresh_ = true;
        dropLeft_ = 0;
    }

  private:
    void dropLate() {
        while (dropLeft_ > 0) {
            const int64_t n = std::min({dropLeft_, rawAvailable(), int64_t(4096)});
            if (n <= 0) return;
            scratch_.resize(size_t(n * chans));
            dropLeft_ -= rawReceive(scratch_.data(), n);
        }
    }
    void feed(const float* in, int64_t frames) {
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
    int64_t rawAvailable() {
        int64_t a = std::numeric_limits<int64_t>::max();
        for (auto& g : groups_) a = std::min<int64_t>(a, g.st->numSamples());
        return a;
    }
    int64_t rawReceive(float* out, int64_t frames) {
        if (groups_.size() == 1) return groups_[0].st->receiveSamples(out, uint(frames));
        frames = std::min(frames, rawAvailable());
        for (auto& g : groups_) {
            part.resize(size_t(frames * g.width));
            const int64_t got = g.st->receiveSamples(part.data(), uint(frames));
            for (int64_t i = 0; i < got; ++i)
                std::copy_n(part.data() + i * g.width, g.count, out + i * chans + g.first);
        }
        return frames;
    }

    struct Group {
        int first = 0, count = 0, width = 0;  // width: count and the guide, if any
        std::unique_ptr<soundtouch::SoundTouch> st;
    };
    int chans;
    int rate_;
    std::vector<Group> groups_;
    std::vector<float> part, guide, scratch_;
    double tempo_ = 0.0, pitch_ = 0.0, factor_ = 1.0;
    bool fresh_ = true;
    int64_t dropLeft_ = 0;  // output frames still to drop at the start
};

// At a low sample rate a sample is a large step of a tone's period, and the short sequences above,
// spliced on whole samples, bend the pitch: a 440 Hz tone at 8 kHz came out 6.4 cents flat at
// tempo -60 and pitch +8 (4.7 at pitch 0), 1-2 cents sharp at 11.025 and 22.05 kHz, under half a
// cent at 44.1 (the library's own longer sequences bend it less).
// Below 32 kHz the stretch runs at a whole multiple of the rate that reaches it, between two of
// soxr's resamplers (which keep the timeline: the output lines up with the input).
class OversampledStretcher : public Stretcher {
  public:
    OversampledStretcher(int rate, int chans, int factor)
        : chans_(chans), inner_(std::make_unique<SoundTouchStretcher>(rate * factor, chans)) {
        const soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
        up_ = soxr_create(double(rate), double(rate * factor), unsigned(chans), nullptr, nullptr,
                          &q, nullptr);
        down_ = soxr_create(double(rate * factor), double(rate), unsigned(chans), nullptr, nullptr,
                            &q, nullptr);
    }
    ~OversampledStretcher() override {
        if (up_) soxr_delete(up_);
        if (down_) soxr_delete(down_);
    }
    OversampledStretcher(const OversampledStretcher&) = delete;
    OversampledStretcher& operator=(const OversampledStretcher&) = delete;
    bool ready() const { return up_ && down_; }

    void set(double tempoPercent, double pitch, double rateFactor) override {
        inner_->set(tempoPercent, pitch, rateFactor);
    }
    void put(const float* in, int64_t frames) override {
        while (frames > 0) {
            size_t used = 0, made = 0;
            buf_.resize(kBlock * size_t(chans_));
            soxr_process(up_, in, size_t(frames), &used, buf_.data(), kBlock, &made);
            // Taken out at once: SoundTouch moves all it holds on every put.
            if (made > 0) {
                inner_->put(buf_.data(), int64_t(made));
                pump();
            }
            in += used * size_t(chans_);
            frames -= int64_t(used);
            if (used == 0 && made == 0) break;
        }
    }
    int64_t available() override {
        pump();
        return int64_t((out_.size() - outAt_) / size_t(chans_));
    }
    int64_t receive(float* out, int64_t frames) override {
        pump();
        const int64_t n = std::min(frames, int64_t((out_.size() - outAt_) / size_t(chans_)));
        std::copy_n(out_.begin() + std::ptrdiff_t(outAt_), size_t(n) * size_t(chans_), out);
        outAt_ += size_t(n) * size_t(chans_);
        if (outAt_ == out_.size()) {
            out_.clear();
            outAt_ = 0;
        }
        return n;
    }
    void clear() override {
        inner_->clear();
        soxr_clear(up_);
        soxr_clear(down_);
        out_.clear();
        outAt_ = 0;
    }

  private:
    static constexpr size_t kBlock = 4096;
    // What the stretcher has made, brought down to the rate.
    void pump() {
        for (int64_t n; (n = std::min<int64_t>(inner_->available(), int64_t(kBlock))) > 0;) {
            stretched_.resize(size_t(n) * size_t(chans_));
            n = inner_->receive(stretched_.data(), n);
            const float* in = stretched_.data();
            for (size_t left = size_t(n); left > 0;) {
                size_t used = 0, made = 0;
                lowered_.resize(kBlock * size_t(chans_));
                soxr_process(down_, in, left, &used, lowered_.data(), kBlock, &made);
                out_.insert(out_.end(), lowered_.begin(),
                            lowered_.begin() + std::ptrdiff_t(made * chans_));
                in += used * size_t(chans_);
                left -= used;
                if (used == 0 && made == 0) break;
            }
        }
    }

    int chans_;
    std::unique_ptr<SoundTouchStretcher> inner_;
    soxr_t up_ = nullptr, down_ = nullptr;
    std::vector<float> buf_, stretched_, lowered_, out_;
    size_t outAt_ = 0;
};

}  // namespace

std::unique_ptr<Stretcher> makeSoundTouchStretcher(int rate, int chans) {
    constexpr int kLowestRate = 32000;
    if (rate > 0 && rate < kLowestRate) {
        const int factor = (kLowestRate + rate - 1) / rate;
        auto over = std::make_unique<OversampledStretcher>(rate, chans, factor);
        if (over->ready()) return over;
    }
    return std::make_unique<SoundTouchStretcher>(rate, chans);
}

}  // namespace engine::detail

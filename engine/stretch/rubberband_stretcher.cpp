#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "engine/stretch/stretcher.h"

namespace engine::detail {
namespace {

// Rubber Band's R3 ("finer") engine. A channel that plays runs it in its real-time mode, so that
// it streams: after a restart it is fed its preferred start pad of silence and the first
// getStartDelay() frames it returns are dropped, so that its output begins with the source's first
// sample. A decoding channel, which is pulled by its caller's thread and never by the output (a
// render), runs it in its offline mode instead, as the `rubberband` command does: about an eighth
// less work, and the library aligns the start itself (the end is padded as for any stretcher,
// since the offline mode's own ending stops short of input / ratio). Its ratios are fixed once it
// has been fed, so a change then restarts it where the output is (tempo channel, set()). One
// stretcher over all channels, which it analyses together: stretched apart, left and right drift
// in phase and the stereo image collapses.
// The library's messages go to standard error unprefixed, where a command's own messages are its
// only words; its one message in use (a rate below 8000 Hz "unsupported", which it stretches
// right all the same) tells the user nothing to do.
struct QuietLogger : RubberBand::RubberBandStretcher::Logger {
    void log(const char*) override {}
    void log(const char*, double) override {}
    void log(const char*, double, double) override {}
};

class RubberBandStretcher : public Stretcher {
  public:
    // `decoding`: offline mode.
    RubberBandStretcher(int rate, int chans, bool decoding) : chans(chans), offline(decoding) {
        using RB = RubberBand::RubberBandStretcher;
        rb = std::make_unique<RB>(size_t(rate), size_t(chans), std::make_shared<QuietLogger>(),
                                  (offline ? RB::OptionProcessOffline : RB::OptionProcessRealTime) |
                                      RB::OptionEngineFiner | RB::OptionChannelsTogether);
        rb->setMaxProcessSize(size_t(kFeedFrames));
        planar.assign(size_t(chans), std::vector<float>(size_t(kFeedFrames)));
        ptrs.resize(size_t(chans));
        for (int c = 0; c < chans; ++c) ptrs[size_t(c)] = planar[size_t(c)].data();
        start();
    }
    void set(double tempoPercent, double pitch, double rateFactor) override {
        timeRatio = 1.0 / ((1.0 + tempoPercent / 100.0) * rateFactor);
        pitchScale = std::pow(2.0, pitch / 12.0) * rateFactor;
        if (offline && fed) {
            restartWanted = timeRatio != rb->getTimeRatio() || pitchScale != rb->getPitchScale();
            return;
        }
        applyRatios();
    }
    bool wantsRestart() const override { return restartWanted; }
    void put(const float* in, int64_t frames) override {
        while (frames > 0) {
            const int64_t n = std::min(frames, kFeedFrames);
            for (int c = 0; c < chans; ++c) {
                float* p = planar[size_t(c)].data();
                for (int64_t i = 0; i < n; ++i) p[i] = in[i * chans + c];
            }
            rb->process(ptrs.data(), size_t(n), false);
            fed = true;
            in += n * chans;
            frames -= n;
        }
    }
    int64_t available() override {
        dropDelay();
        return toDrop > 0 ? 0 : std::max(0, rb->available());
    }
    int64_t receive(float* out, int64_t frames) override {
        frames = std::min({frames, kFeedFrames, available()});
        const int64_t got = int64_t(rb->retrieve(ptrs.data(), size_t(frames)));
        for (int c = 0; c < chans; ++c) {
            const float* p = planar[size_t(c)].data();
            for (int64_t i = 0; i < got; ++i) out[i * chans + c] = p[i];
        }
        return got;
    }
    void clear() override {
        rb->reset();
        fed = restartWanted = false;
        applyRatios();
        start();
    }

  private:
    void applyRatios() {
        if (timeRatio != rb->getTimeRatio()) rb->setTimeRatio(timeRatio);
        if (pitchScale != rb->getPitchScale()) rb->setPitchScale(pitchScale);
    }
    void start() {
        toDrop = 0;
        if (offline) return;  // the library pads and aligns the start itself
        toDrop = int64_t(rb->getStartDelay());
        for (auto& p : planar) std::fill(p.begin(), p.end(), 0.0f);
        for (int64_t pad = int64_t(rb->getPreferredStartPad()); pad > 0; pad -= kFeedFrames)
            rb->process(ptrs.data(), size_t(std::min(pad, kFeedFrames)), false);
    }
    void dropDelay() {
        while (toDrop > 0) {
            const int a = rb->available();
            if (a <= 0) return;
            const int64_t n = std::min({toDrop, int64_t(a), kFeedFrames});
            toDrop -= int64_t(rb->retrieve(ptrs.data(), size_t(n)));
        }
    }

    int chans;
    bool offline;
    bool fed = false, restartWanted = false;
    double timeRatio = 1.0, pitchScale = 1.0;
    std::unique_ptr<RubberBand::RubberBandStretcher> rb;
    std::vector<std::vector<float>> planar;
    std::vector<float*> ptrs;
    int64_t toDrop = 0;
};

}  // namespace

std::unique_ptr<Stretcher> makeRubberBandStretcher(int rate, int chans, bool decoding) {
    return std::make_unique<RubberBandStretcher>(rate, chans, decoding);
}

}  // namespace engine::detail

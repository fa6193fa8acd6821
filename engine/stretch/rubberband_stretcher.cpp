#include <rubberband/RubberBandStretcher.h>

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

// Rubber Band's R3 ("finer") engine. A channel that plays runs it in its real-time mode, so that
// it streams: after a restart it is fed its preferred start pad of silence and the first
// getStartDelay() frames it returns are dropped, so that its output begins with the source's first
// sample. A decoding channel, which is pulled by its caller's thread and never by the output (a
// render), runs it in its offline mode instead, as the `rubberband` command does: about an eighth
// less work, and the library aligns the start itself (the end is padded as for any stretcher,
// since the offline mode's own ending stops short of input / ratio). Its ratios are fixed once it
// has been fed, so a change then restarts it where the output is (tempo channel, set()). One
// stretcher per channel (the library's default keeps channels apart anyway); on a decoding
// channel the channels after the first are stretched on a helper thread at the same time as the
// first.
class RubberBandStretcher : public Stretcher {
  public:
    // `decoding`: offline mode, and the channels after the first on a helper thread.
    RubberBandStretcher(int rate, int chans, bool decoding) : chans(chans), offline(decoding) {
        using RB = RubberBand::RubberBandStretcher;
        for (int c = 0; c < chans; ++c) {
            rbs.push_back(std::make_unique<RB>(
                size_t(rate), 1,
                (offline ? RB::OptionProcessOffline : RB::OptionProcessRealTime) |
                    RB::OptionEngineFiner));
            rbs.back()->setMaxProcessSize(size_t(kFeedFrames));
        }
        planar.assign(size_t(chans), std::vector<float>(size_t(kFeedFrames)));
        toDrop.assign(size_t(chans), 0);
        if (decoding && chans > 1) helper = std::thread([this] { helperLoop(); });
        start();
    }
    ~RubberBandStretcher() override {
        if (!helper.joinable()) return;
        {
            std::lock_guard g(m);
            quit = true;
        }
        cv.notify_all();
        helper.join();
    }
    void set(double tempoPercent, double pitch, double rateFactor) override {
        timeRatio = 1.0 / ((1.0 + tempoPercent / 100.0) * rateFactor);
        pitchScale = std::pow(2.0, pitch / 12.0) * rateFactor;
        if (offline && fed) {
            restartWanted =
                timeRatio != rbs[0]->getTimeRatio() || pitchScale != rbs[0]->getPitchScale();
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
            processAll(n);
            fed = true;
            in += n * chans;
            frames -= n;
        }
    }
    int64_t available() override {
        int64_t a = std::numeric_limits<int64_t>::max();
        for (int c = 0; c < chans; ++c) {
            dropDelay(c);
            a = std::min<int64_t>(
                a, toDrop[size_t(c)] > 0 ? 0 : std::max(0, rbs[size_t(c)]->available()));
        }
        return a;
    }
    int64_t receive(float* out, int64_t frames) override {
        frames = std::min({frames, kFeedFrames, available()});
        for (int c = 0; c < chans; ++c) {
            float* p = planar[size_t(c)].data();
            const int64_t got = int64_t(rbs[size_t(c)]->retrieve(&p, size_t(frames)));
            for (int64_t i = 0; i < got; ++i) out[i * chans + c] = p[i];
        }
        return frames;
    }
    void clear() override {
        for (auto& rb : rbs) rb->reset();
        fed = restartWanted = false;
        applyRatios();
        start();
    }

  private:
    void process(int c, int64_t n) {
        const float* p = planar[size_t(c)].data();
        rbs[size_t(c)]->process(&p, size_t(n), false);
    }
    // The first channel here, the others on the helper when there is one.
    void processAll(int64_t n) {
        if (!helper.joinable()) {
            for (int c = 0; c < chans; ++c) process(c, n);
            return;
        }
        {
            std::lock_guard g(m);
            jobFrames = n;
            jobDone = false;
        }
        cv.notify_all();
        process(0, n);
        std::unique_lock lk(m);
        cv.wait(lk, [&] { return jobDone; });
    }
    void helperLoop() {
        std::unique_lock lk(m);
        for (;;) {
            cv.wait(lk, [&] { return quit || jobFrames > 0; });
            if (quit) return;
            const int64_t n = jobFrames;
            lk.unlock();
            for (int c = 1; c < chans; ++c) process(c, n);
            lk.lock();
            jobFrames = 0;
            jobDone = true;
            cv.notify_all();
        }
    }
    void applyRatios() {
        for (auto& rb : rbs) {
            if (timeRatio != rb->getTimeRatio()) rb->setTimeRatio(timeRatio);
            if (pitchScale != rb->getPitchScale()) rb->setPitchScale(pitchScale);
        }
    }
    void start() {
        std::fill(toDrop.begin(), toDrop.end(), 0);
        if (offline) return;  // the library pads and aligns the start itself
        for (int c = 0; c < chans; ++c)
            toDrop[size_t(c)] = int64_t(rbs[size_t(c)]->getStartDelay());
        for (auto& p : planar) std::fill(p.begin(), p.end(), 0.0f);
        for (int64_t pad = int64_t(rbs[0]->getPreferredStartPad()); pad > 0; pad -= kFeedFrames)
            processAll(std::min(pad, kFeedFrames));
    }
    void dropDelay(int c) {
        auto& rb = *rbs[size_t(c)];
        int64_t& left = toDrop[size_t(c)];
        while (left > 0) {
            const int a = rb.available();
            if (a <= 0) return;
            const int64_t n = std::min({left, int64_t(a), kFeedFrames});
            float* p = scratch.data();
            left -= int64_t(rb.retrieve(&p, size_t(n)));
        }
    }

    int chans;
    bool offline;
    bool fed = false, restartWanted = false;
    double timeRatio = 1.0, pitchScale = 1.0;
    std::vector<std::unique_ptr<RubberBand::RubberBandStretcher>> rbs;
    std::vector<std::vector<float>> planar;
    std::vector<float> scratch = std::vector<float>(size_t(kFeedFrames));
    std::vector<int64_t> toDrop;
    std::thread helper;
    std::mutex m;
    std::condition_variable cv;
    int64_t jobFrames = 0;
    bool jobDone = false, quit = false;
};

}  // namespace

std::unique_ptr<Stretcher> makeRubberBandStretcher(int rate, int chans, bool decoding) {
    return std::make_unique<RubberBandStretcher>(rate, chans, decoding);
}

}  // namespace engine::detail

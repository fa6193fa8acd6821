#include "player/beat_grid.h"

#include <QThreadPool>
#include <algorithm>
#include <cmath>

#include "analysis/bpm_beats.h"
#include "analysis/mono_mix.h"
#include "engine/engine_ext.h"
#include "platform/window_thread.h"

namespace player {

double BeatGrid::toBeat(double seconds) const {
    if (!known()) return 0.0;
    const auto it = std::lower_bound(beats.begin(), beats.end(), seconds - 1e-6);
    if (it != beats.end() && *it - seconds <= period + 1e-9) return std::max(0.0, *it - seconds);
    // Before the first beat found (the tracker needs a few seconds), in a gap, or past the last
    // one: the grid goes on at its period from the nearest beat found after, else before.
    const double from = it == beats.end() ? beats.back() : *it;
    const double k = std::ceil((seconds - from) / period - 1e-9);
    return std::max(0.0, from + k * period - seconds);
}

BeatGrid fileBeatGrid(const std::string& utf8Path, const std::atomic<bool>* cancel,
                      double maxSeconds) {
    const engine::OpenCancelScope stopping(cancel);
    const std::unique_ptr<engine::Source> source = engine::openFileSource(utf8Path);
    if (!source || source->rate() <= 0) return {};
    const int rate = source->rate();
    const int channels = std::max(1, source->channels());
    analysis::bpm::BeatTracker tracker(rate);
    constexpr int64_t kFrames = 8192;
    std::vector<int16_t> pcm(static_cast<size_t>(kFrames * channels));
    std::vector<float> mono(static_cast<size_t>(kFrames));
    std::vector<double> found;
    analysis::MonoMix mixer(channels);
    const int64_t limit = static_cast<int64_t>(maxSeconds * rate);
    for (int64_t done = 0; done < limit;) {
        if (cancel && cancel->load()) return {};
        const int64_t frames = source->read(pcm.data(), std::min(kFrames, limit - done));
        if (frames <= 0) break;
        mixer.mix(pcm.data(), size_t(frames), mono.data());
        tracker.push(mono.data(), size_t(frames), found);
        done += frames;
    }
    BeatGrid grid;
    for (double sample : found) grid.beats.push_back(sample / rate);
    if (grid.beats.size() < 4) return {};
    // The period the beats keep: the median of their spacing.
    std::vector<double> gaps;
    for (size_t i = 1; i < grid.beats.size(); ++i)
        gaps.push_back(grid.beats[i] - grid.beats[i - 1]);
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    grid.period = gaps[gaps.size() / 2];
    if (!(grid.period > 0)) return {};
    return grid;
}

void BeatGridWorker::start(const std::string& utf8Path, Done done) {
    cancel();
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    cancel_ = cancelled;
    QThreadPool::globalInstance()->start([utf8Path, cancelled, done = std::move(done)] {
        BeatGrid grid = fileBeatGrid(utf8Path, cancelled.get());
        if (cancelled->load()) return;
        platform::postToWindowThread([cancelled, grid = std::move(grid), done] {
            if (!cancelled->load()) done(grid);
        });
    });
}

void BeatGridWorker::cancel() {
    if (cancel_) cancel_->store(true);
    cancel_.reset();
}

}  // namespace player

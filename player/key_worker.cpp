#include "player/key_worker.h"

#include <QThreadPool>
#include <algorithm>
#include <vector>

#include "engine/engine_ext.h"
#include "platform/window_thread.h"

namespace player {

std::optional<Harmony> estimateFileHarmony(const std::string& utf8Path,
                                           const std::atomic<bool>* cancel) {
    const std::unique_ptr<engine::Source> source = engine::openFileSource(utf8Path);
    if (!source || source->rate() <= 0) return std::nullopt;
    const int channels = std::max(1, source->channels());
    analysis::key::KeyAnalyser analyser(source->rate());
    analysis::chords::ChordAnalyser chords(source->rate());
    constexpr int64_t kFrames = 16384;
    std::vector<int16_t> pcm(static_cast<size_t>(kFrames * channels));
    std::vector<float> mono(static_cast<size_t>(kFrames));
    const float scale = 1.0f / (32768.0f * float(channels));
    for (;;) {
        if (cancel && cancel->load()) return std::nullopt;
        const int64_t frames = source->read(pcm.data(), kFrames);
        if (frames <= 0) break;  // the end, or a read error: the key of what was read
        for (int64_t i = 0; i < frames; ++i) {
            int sum = 0;
            for (int c = 0; c < channels; ++c) sum += pcm[size_t(i * channels + c)];
            mono[size_t(i)] = float(sum) * scale;
        }
        analyser.push(mono.data(), size_t(frames));
        chords.push(mono.data(), size_t(frames));
    }
    if (cancel && cancel->load()) return std::nullopt;
    return Harmony{analyser.estimate(), chords.spans()};
}

void KeyWorker::start(const std::string& utf8Path, Done done) {
    cancel();
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    cancel_ = cancelled;
    QThreadPool::globalInstance()->start([utf8Path, cancelled, done = std::move(done)] {
        auto harmony = estimateFileHarmony(utf8Path, cancelled.get());
        if (cancelled->load()) return;
        platform::postToWindowThread([cancelled, harmony = std::move(harmony), done] {
            if (!cancelled->load()) done(harmony);
        });
    });
}

void KeyWorker::cancel() {
    if (cancel_) cancel_->store(true);
    cancel_.reset();
}

}  // namespace player

#include "player/key_worker.h"

#include <QThreadPool>
#include <algorithm>
#include <vector>

#include "analysis/mono_mix.h"
#include "engine/engine_ext.h"
#include "platform/window_thread.h"

namespace player {

std::optional<Harmony> estimateFileHarmony(const std::string& utf8Path,
                                           const std::atomic<bool>* cancel) {
    const engine::OpenCancelScope stopping(cancel);
    const std::unique_ptr<engine::Source> source = engine::openFileSource(utf8Path);
    if (!source || source->rate() <= 0) return std::nullopt;
    const int channels = std::max(1, source->channels());
    analysis::key::KeyAnalyser analyser(source->rate());
    analysis::chords::ChordAnalyser chords(source->rate());
    constexpr int64_t kFrames = 16384;
    std::vector<int16_t> pcm(static_cast<size_t>(kFrames * channels));
    std::vector<float> mono(static_cast<size_t>(kFrames));
    analysis::MonoMix mixer(channels);
    for (;;) {
        if (cancel && cancel->load()) return std::nullopt;
        const int64_t frames = source->read(pcm.data(), kFrames);
        if (frames <= 0) break;  // the end, or a read error: the key of what was read
        mixer.mix(pcm.data(), size_t(frames), mono.data());
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

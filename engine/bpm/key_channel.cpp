#include "engine/bpm/key_channel.h"

#include "analysis/mono_mix.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace engine {

using analysis::key::ProgressFn;

namespace {

// The rate of a decoding channel; 0 when `chan` is not one.
int decodeRate(DWORD chan) {
    BASS_CHANNELINFO info{};
    if (!BASS_ChannelGetInfo(chan, &info) || !(info.flags & BASS_STREAM_DECODE)) return 0;
    return int(info.freq);
}

// Decodes `chan` from its position to its end into `sink`, as mono blocks; false when cancelled.
bool feedMono(DWORD chan, std::atomic<bool>* cancel, const ProgressFn& progress,
              const std::function<void(const float*, size_t)>& sink) {
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(chan, &info);
    const int chans = std::max<int>(1, int(info.chans));
    const QWORD length = BASS_ChannelGetLength(chan);
    const QWORD start = BASS_ChannelGetPosition(chan);
    const bool known = length != QWORD(-1) && start != QWORD(-1) && length > start;
    constexpr size_t kFrames = 16384;
    std::vector<int16_t> pcm(kFrames * size_t(chans));
    std::vector<float> mono(kFrames);
    analysis::MonoMix mixer(chans);
    QWORD got = 0;
    int shown = -1;
    if (progress) progress(0.0f);
    for (;;) {
        if (cancel && cancel->load()) return false;
        const int n = BASS_ChannelGetData(chan, pcm.data(), DWORD(pcm.size() * 2));
        if (n <= 0) break;
        const size_t frames = size_t(n) / (2 * size_t(chans));
        mixer.mix(pcm.data(), frames, mono.data());
        sink(mono.data(), frames);
        got += QWORD(n);
        if (progress && known) {
            const int percent = int(99.0 * double(got) / double(length - start));
            if (percent > shown) {
                shown = percent;
                progress(float(std::min(percent, 99)));
            }
        }
    }
    if (cancel && cancel->load()) return false;
    if (progress) progress(100.0f);
    return true;
}

}  // namespace

std::optional<analysis::key::KeyEstimate> estimateKey(DWORD chan, std::atomic<bool>* cancel,
                                                      const ProgressFn& progress) {
    const int rate = decodeRate(chan);
    if (rate <= 0) return std::nullopt;
    analysis::key::KeyAnalyser a(rate);
    if (!feedMono(chan, cancel, progress, [&](const float* m, size_t n) { a.push(m, n); }))
        return std::nullopt;
    return a.estimate();
}

std::optional<std::vector<analysis::chords::ChordSpan>> estimateChords(
    DWORD chan, std::atomic<bool>* cancel, const ProgressFn& progress,
    std::optional<analysis::key::KeyEstimate>* key) {
    const int rate = decodeRate(chan);
    if (rate <= 0) return std::nullopt;
    analysis::chords::ChordAnalyser a(rate);
    std::optional<analysis::key::KeyAnalyser> k;
    if (key) k.emplace(rate);
    if (!feedMono(chan, cancel, progress, [&](const float* m, size_t n) {
            a.push(m, n);
            if (k) k->push(m, n);
        }))
        return std::nullopt;
    if (key) *key = k->estimate();
    return a.spans();
}

std::optional<analysis::key::KeyEstimate> estimateKey(const std::string& utf8Path,
                                                      std::atomic<bool>* cancel,
                                                      const ProgressFn& progress) {
    const HSTREAM s = BASS_StreamCreateFile(0, utf8Path.c_str(), 0, 0, BASS_STREAM_DECODE);
    if (!s) return std::nullopt;
    auto k = estimateKey(s, cancel, progress);
    BASS_StreamFree(s);
    return k;
}

}  // namespace engine

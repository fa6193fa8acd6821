#include "engine/bpm/key_channel.h"

#include <algorithm>
#include <vector>

namespace engine {

using analysis::key::ProgressFn;

std::optional<analysis::key::KeyEstimate> estimateKey(DWORD chan, std::atomic<bool>* cancel,
                                                      const ProgressFn& progress) {
    BASS_CHANNELINFO info{};
    if (!BASS_ChannelGetInfo(chan, &info)) return std::nullopt;
    if (!(info.flags & BASS_STREAM_DECODE)) return std::nullopt;
    const int chans = std::max<int>(1, int(info.chans));
    const QWORD length = BASS_ChannelGetLength(chan);
    const QWORD start = BASS_ChannelGetPosition(chan);
    const bool known = length != QWORD(-1) && start != QWORD(-1) && length > start;
    analysis::key::KeyAnalyser a(int(info.freq));
    constexpr size_t kFrames = 16384;
    std::vector<int16_t> pcm(kFrames * size_t(chans));
    std::vector<float> mono(kFrames);
    const float scale = 1.0f / (32768.0f * float(chans));
    QWORD got = 0;
    int shown = -1;
    if (progress) progress(0.0f);
    for (;;) {
        if (cancel && cancel->load()) return std::nullopt;
        const int n = BASS_ChannelGetData(chan, pcm.data(), DWORD(pcm.size() * 2));
        if (n <= 0) break;
        const size_t frames = size_t(n) / (2 * size_t(chans));
        for (size_t i = 0; i < frames; ++i) {
            int sum = 0;
            for (int c = 0; c < chans; ++c) sum += pcm[i * size_t(chans) + size_t(c)];
            mono[i] = float(sum) * scale;
        }
        a.push(mono.data(), frames);
        got += QWORD(n);
        if (progress && known) {
            const int percent = int(99.0 * double(got) / double(length - start));
            if (percent > shown) {
                shown = percent;
                progress(float(std::min(percent, 99)));
            }
        }
    }
    if (cancel && cancel->load()) return std::nullopt;
    auto k = a.estimate();
    if (progress) progress(100.0f);
    return k;
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

// The vocal remover's cost per second of audio against a plain copy of each block, the
// seven-band equalizer's speed on one core against plain decoding of the same file, and what the
// remover that keeps the bass does to centred tones and to the bass of a mix.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "effects/equalizer.h"
#include "effects/vocal_remover.h"
#include "engine/bass.h"
#include "tests/support/audio_fixtures.h"

namespace {

using Clock = std::chrono::steady_clock;
// Called through a volatile pointer, so that every copy is really made.
void* (*volatile plainCopy)(void*, const void*, size_t) = std::memcpy;

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// Best of `runs` timings of `f`.
template <class F>
double best(int runs, F&& f) {
    double t = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto a = Clock::now();
        f();
        t = std::min(t, seconds(a, Clock::now()));
    }
    return t;
}

// The engine hands the procedure a block it has just decoded, so the block is in the cache:
// each measurement walks a cache-sized window of audio again and again until 60 seconds of audio
// have gone through, once in the procedure and once through a plain copy of each block.
void benchRemover() {
    const double audioSeconds = 60.0;
    const size_t totalBytes = size_t(audioSeconds * 44100) * 4;
    std::vector<int16_t> window(64 * 1024);  // 128 KB
    std::mt19937 rng(3);
    std::vector<char> scratch(20000);
    for (DWORD block : {DWORD(20000), DWORD(4096)}) {
        auto* base = reinterpret_cast<char*>(window.data());
        const size_t blocksInWindow = window.size() * 2 / block;
        auto walk = [&](auto&& perBlock) {
            for (size_t done = 0, k = 0; done < totalBytes;
                 done += block, k = (k + 1) % blocksInWindow)
                perBlock(base + k * block);
        };
        for (auto& s : window) s = int16_t(rng());
        const double copy =
            best(7, [&] { walk([&](char* b) { plainCopy(scratch.data(), b, block); }); });
        const double remover =
            best(7, [&] { walk([&](char* b) { VocalRemoverDSP(0, 0, b, block, nullptr); }); });
        std::printf(
            "dsp: vocal remover, %5u-byte blocks: %.4f ms per audio second, plain copy %.4f ms, "
            "ratio %.2f (goal <= 3)\n",
            unsigned(block), remover / audioSeconds * 1e3, copy / audioSeconds * 1e3,
            remover / copy);
    }
}

double decodeAll(const std::string& path, bool eq) {
    return best(3, [&] {
        const HSTREAM s = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        if (eq) {
            BASS_FX_DSPPEAKEQ params{};
            effects::equalizerOn(s, params, {-10, -7, -3, 2, 1, -7, -7});
        }
        std::vector<char> block(20000);
        while (BASS_ChannelGetData(s, block.data(), DWORD(block.size())) > 0) {
        }
        BASS_StreamFree(s);
    });
}

void benchEqualizer() {
    fixtures::TempDir tmp;
    const double audioSeconds = 60.0;
    const std::string path = tmp.file("music.wav");
    fixtures::writeWav(path, fixtures::drumTrack(120, audioSeconds));
    const double plain = decodeAll(path, false);
    const double withEq = decodeAll(path, true);
    const double eqOnly = std::max(withEq - plain, 1e-9);
    std::printf(
        "dsp: seven-band equalizer: %.0fx realtime on one core (decode alone %.0fx, decode + "
        "equalizer %.0fx) (goal > 500x)\n",
        audioSeconds / eqOnly, audioSeconds / plain, audioSeconds / withEq);
}

// The level of `samples` (one channel of 44.1 kHz audio) below `hz`, through a 4th-order
// Butterworth low pass run forwards (sox's `lowpass` twice would do the same), in dB.
double levelBelowDb(const std::vector<double>& samples, double hz) {
    const double w = 2 * M_PI * hz / 44100, alpha = std::sin(w) / std::sqrt(2.0), c = std::cos(w);
    const double a0 = 1 + alpha, k = (1 - c) / 2;
    const double b0 = k / a0, b1 = 2 * k / a0, b2 = k / a0, a1 = -2 * c / a0, a2 = (1 - alpha) / a0;
    double z[2][2] = {};
    double sum = 0;
    for (double x : samples) {
        for (auto& s : z) {
            const double y = b0 * x + s[0];
            s[0] = b1 * x - a1 * y + s[1];
            s[1] = b2 * x - a2 * y;
            x = y;
        }
        sum += x * x;
    }
    return 10 * std::log10(sum / double(samples.size()) + 1e-30);
}

void benchKeepBass() {
    // Everything centred: a 1 kHz tone must fall by >= 40 dB, a 50 Hz tone stay within 1 dB.
    for (double hz : {50.0, 1000.0}) {
        auto tone = fixtures::sine(hz, 2.0);
        std::vector<double> before, after;
        for (size_t i = 4410 * 2; i < tone.samples.size(); i += 2)
            before.push_back(tone.samples[i]);
        effects::KeepBassRemover remover(44100);
        remover.process(tone.samples.data(), tone.samples.size() / 2);
        for (size_t i = 4410 * 2; i < tone.samples.size(); i += 2) after.push_back(tone.samples[i]);
        double eb = 0, ea = 0;
        for (size_t i = 0; i < before.size(); ++i)
            eb += before[i] * before[i], ea += after[i] * after[i];
        std::printf("dsp: keep-bass remover, centred %.0f Hz tone: %+.2f dB (goal %s)\n", hz,
                    10 * std::log10((ea + 1e-30) / eb), hz < 100 ? "within 1 dB" : "<= -40 dB");
    }
    // A mix: the level below 80 Hz against the source's mid signal.
    auto mix = fixtures::drumTrack(110, 20.0, 6);
    std::vector<double> mid;
    for (size_t i = 0; i + 1 < mix.samples.size(); i += 2)
        mid.push_back((double(mix.samples[i]) + mix.samples[i + 1]) / 2);
    effects::KeepBassRemover remover(44100);
    remover.process(mix.samples.data(), mix.samples.size() / 2);
    std::vector<double> out;
    for (size_t i = 0; i < mix.samples.size(); i += 2) out.push_back(mix.samples[i]);
    std::printf(
        "dsp: keep-bass remover on a mix: level below 80 Hz %+.2f dB against the source's mid "
        "signal (goal within 1.5 dB)\n",
        levelBelowDb(out, 80) - levelBelowDb(mid, 80));
}

}  // namespace

int main() {
    benchRemover();
    benchEqualizer();
    benchKeepBass();
    return 0;
}

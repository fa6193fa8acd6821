// Makes the demo clip: a 20-second stereo song at 112 BPM with drums panned left, a bass line
// panned right and a lead melody exactly in the centre, so that the vocal remover has something
// to remove. Deterministic; written as a 16-bit 44.1 kHz WAV file.
//
//   quorvin-demo-clip OUT.wav
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <vector>

#include "files/file_io.h"
#include "files/wave_header.h"

namespace {

constexpr int kRate = 44100;
constexpr double kSeconds = 20.0;
constexpr double kBpm = 112.0;
constexpr double kPi = 3.14159265358979323846;

double noteHz(int midi) {
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

struct Song {
    std::vector<double> drums, bass, lead;
};

Song compose() {
    const size_t n = size_t(kSeconds * kRate);
    Song s{std::vector<double>(n), std::vector<double>(n), std::vector<double>(n)};
    const double beat = 60.0 / kBpm * kRate;  // samples per beat
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);

    auto addAt = [&](std::vector<double>& v, double at, double seconds, auto&& voice) {
        const size_t start = size_t(at), len = size_t(seconds * kRate);
        for (size_t k = 0; k < len && start + k < n; ++k) v[start + k] += voice(double(k) / kRate);
    };

    // Drums: kick on every beat, snare on 2 and 4, closed hi-hat on every eighth.
    for (int b = 0; double(b) * beat < double(n); ++b) {
        addAt(s.drums, b * beat, 0.35, [](double t) {
            const double f = 50 + 90 * std::exp(-t * 30);
            return 0.9 * std::exp(-t * 9) * std::sin(2 * kPi * f * t);
        });
        if (b % 2 == 1)
            addAt(s.drums, b * beat, 0.2, [&](double t) {
                return std::exp(-t * 22) * (0.45 * noise(rng) + 0.3 * std::sin(2 * kPi * 190 * t));
            });
        for (int e = 0; e < 2; ++e)
            addAt(s.drums, b * beat + e * beat / 2, 0.05,
                  [&](double t) { return 0.18 * std::exp(-t * 90) * noise(rng); });
    }

    // Bass: the chord roots (A minor, F, C, G), one bar each, in eighths.
    const int roots[4] = {45, 41, 48, 43};
    for (int e = 0; double(e) * beat / 2 < double(n); ++e) {
        const int root = roots[(e / 8) % 4] - 12 + ((e % 8 == 6) ? 12 : 0);
        const double hz = noteHz(root);
        addAt(s.bass, e * beat / 2, 0.25, [hz](double t) {
            const double env = std::min(1.0, t * 400) * std::exp(-t * 6);
            return env * (0.8 * std::sin(2 * kPi * hz * t) + 0.25 * std::sin(4 * kPi * hz * t));
        });
    }

    // Lead: a two-bar phrase in A minor pentatonic, repeated with a variation; -1 is a rest.
    const int phrase[2][16] = {{69, -1, 72, 74, 76, -1, 74, 72, 69, -1, 67, 69, 72, -1, -1, -1},
                               {76, -1, 79, 76, 74, -1, 72, 74, 76, -1, 74, 72, 69, -1, -1, -1}};
    for (int e = 0; double(e) * beat / 2 < double(n); ++e) {
        const int note = phrase[(e / 16) % 2][e % 16];
        if (note < 0 || e < 16) continue;  // the first two bars are drums and bass only
        const double hz = noteHz(note);
        addAt(s.lead, e * beat / 2, beat / 2 / kRate * 0.95, [hz](double t) {
            const double env = std::min(1.0, t * 80) * std::exp(-t * 2.5);
            const double vib = 1.0 + 0.004 * std::sin(2 * kPi * 5.5 * t);
            double v = 0;  // a soft, voice-like tone: a few odd and even harmonics
            for (int h = 1; h <= 5; ++h) v += std::sin(2 * kPi * hz * h * vib * t) / (h * h);
            return env * v;
        });
    }
    return s;
}

int16_t toSample(double v) {
    return int16_t(std::lround(std::clamp(v, -1.0, 1.0) * 32767.0));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorvin-demo-clip OUT.wav\n");
        return 2;
    }
    const std::string out = argv[1];
    std::error_code ec;
    const auto folder = files::pathFromUtf8(out).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);

    const Song s = compose();
    std::vector<int16_t> pcm(s.drums.size() * 2);
    for (size_t i = 0; i < s.drums.size(); ++i) {
        // The lead is quantised once and added to both channels, so that it cancels exactly.
        const int lead = toSample(0.22 * s.lead[i]);
        const int left = toSample(0.42 * s.drums[i] + 0.08 * s.bass[i]) + lead;
        const int right = toSample(0.10 * s.drums[i] + 0.38 * s.bass[i]) + lead;
        pcm[2 * i] = int16_t(std::clamp(left, -32768, 32767));
        pcm[2 * i + 1] = int16_t(std::clamp(right, -32768, 32767));
    }
    files::WaveWriter writer;
    if (!writer.create(out, files::WaveHeader::forFormat(2, kRate, false)) ||
        !writer.append(pcm.data(), pcm.size() * 2) || !writer.finish()) {
        std::fprintf(stderr, "quorvin-demo-clip: %s\n", writer.error().c_str());
        return 1;
    }
    return 0;
}

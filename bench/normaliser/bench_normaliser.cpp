// Normalising a 4-minute 44.1 kHz stereo WAV (goal: >= 200x realtime), as a ratio to
// `sox --norm` on the same file in the same run (skipped, with a note, when sox is missing); and
// loudness normalisation to -23, -16 and -3 LUFS of speech-like, fading, music, sine and clipped
// sources, the result measured independently by `ffmpeg -af ebur128=peak=true` (goal: within 0.2
// LU, true peak
// <= -1 dBTP).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "components/normaliser_component.h"
#include "tests/support/audio_fixtures.h"

namespace {

double seconds(const std::chrono::steady_clock::time_point& since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

template <class F>
double best(int runs, F&& f) {
    double b = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto t = std::chrono::steady_clock::now();
        if (!f()) return -1;
        b = std::min(b, seconds(t));
    }
    return b;
}

// ffmpeg's integrated loudness and true peak of `path`; false when it cannot tell.
bool ffmpegLoudness(const std::string& path, double& lufs, double& truePeak) {
    const std::string cmd = "ffmpeg -nostats -hide_banner -i '" + path +
                            "' -af ebur128=peak=true -f null - 2>&1 | tail -n 12";
    std::unique_ptr<FILE, int (*)(FILE*)> p(popen(cmd.c_str(), "r"), pclose);
    if (!p) return false;
    char line[512];
    bool gotI = false, gotPeak = false;
    while (std::fgets(line, sizeof line, p.get())) {
        if (std::sscanf(line, " I: %lf LUFS", &lufs) == 1) gotI = true;
        if (std::sscanf(line, " Peak: %lf dBFS", &truePeak) == 1) gotPeak = true;
    }
    return gotI && gotPeak;
}

// The true peak as sox reads it with its best filter at 16x the rate (ffmpeg's meter, at 192 kHz,
// reads clipped sound lower); NaN when sox is missing.
double soxTruePeak(const std::string& path) {
    const auto out = fixtures::capture("sox", "'" + path + "' -n rate -v 705600 stats");
    double db = NAN;
    if (out && out->find("Pk lev dB") != std::string::npos)
        std::sscanf(out->c_str() + out->find("Pk lev dB") + 9, "%lf", &db);
    return db;
}

void benchLoudness(const fixtures::TempDir& dir) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) {
        std::printf("normaliser: ffmpeg not installed, loudness not measured\n");
        return;
    }
    fixtures::Pcm speech = fixtures::sine(180, 20.0, 44100, 1, 0.3);
    for (int64_t i = 0; i < speech.frames(); ++i) {
        const double t = double(i) / 44100;
        const double syllables = std::max(0.0, std::sin(2 * M_PI * 2.5 * t)) * (int(t) % 3 != 2);
        speech.samples[size_t(i)] = int16_t(speech.samples[size_t(i)] * syllables);
    }
    // A quiet note dying away: the gain lifts its tail over the absolute gate.
    fixtures::Pcm fade = fixtures::sine(220, 20.0, 44100, 1, 0.02);
    for (int64_t i = 0; i < fade.frames(); ++i)
        fade.samples[size_t(i)] =
            int16_t(fade.samples[size_t(i)] * std::pow(1.0 - double(i) / double(fade.frames()), 3));
    // Noise clipped hard: its peaks between the samples pass full scale by most.
    fixtures::Pcm clipped = fixtures::noise(20.0, 44100, 2, 1.0);
    for (int16_t& v : clipped.samples) v = int16_t(std::clamp(v * 3, -32767, 32767));
    const std::pair<const char*, fixtures::Pcm> sources[] = {
        {"speech-like", speech},
        {"fade", fade},
        {"music", fixtures::drumTrack(120, 20.0, 5)},
        {"sine", fixtures::sine(997, 20.0, 44100, 2, 0.05)},
        {"clipped noise", clipped}};
    for (const auto& [name, pcm] : sources)
        for (double target : {-23.0, -16.0, -3.0}) {
            const std::string in = dir.file("loud-in.wav"), out = dir.file("loud-out.wav");
            fixtures::writeWav(in, pcm);
            NormaliseOptions o;
            o.target = NormaliseOptions::Target::Loudness;
            o.lufs = target;
            const NormaliseResult r = NormaliserComponent::normalise(in, out, o, nullptr);
            double lufs = 0, peak = 0;
            if (!r.error.empty() || !ffmpegLoudness(out, lufs, peak)) {
                std::printf("normaliser: loudness of %s: FAILED %s\n", name, r.error.c_str());
                continue;
            }
            std::printf(
                "normaliser: %s to %.0f LUFS: ffmpeg measures %.1f LUFS (%+.1f LU), true peak %.1f "
                "dBTP, sox at 16x %.2f dBTP (goal within 0.2 LU, <= -1 dBTP)%s%s\n",
                name, target, lufs, lufs - target, peak, soxTruePeak(out),
                r.note.empty() ? "" : "; ", r.note.c_str());
        }
}

}  // namespace

int main() {
    fixtures::TempDir dir;
    const double lengthSec = 240.0;
    const std::string in = dir.file("in.wav"), out = dir.file("out.wav"),
                      soxOut = dir.file("sox.wav");
    fixtures::writeWav(in, fixtures::drumTrack(120, lengthSec, 3));
    benchLoudness(dir);

    const double ours =
        best(3, [&] { return NormaliserComponent::normalizeFile(in, out, 90.0, nullptr).empty(); });
    if (ours < 0) {
        std::printf("normaliser: FAILED\n");
        return 1;
    }
    std::printf("normaliser: 4-minute WAV to 90 %%: %.3f s, %.0fx realtime (goal >= 200x)\n", ours,
                lengthSec / ours);

    if (std::system("command -v sox >/dev/null 2>&1") != 0) {
        std::printf("normaliser: sox not installed, no comparison\n");
        return 0;
    }
    // 90 % of full scale is -0.915 dBFS.
    const std::string cmd = "sox --norm=" + std::to_string(20 * std::log10(0.9)) + " '" + in +
                            "' '" + soxOut + "' 2>/dev/null";
    const double sox = best(3, [&] { return std::system(cmd.c_str()) == 0; });
    if (sox < 0) {
        std::printf("normaliser: sox failed, no comparison\n");
        return 0;
    }
    std::printf("normaliser: sox --norm: %.3f s, %.0fx realtime; ours is %.2fx the speed of sox\n",
                sox, lengthSec / sox, sox / ours);
    return 0;
}

// What the vocal removers do to generated scenes, and what the stereo one costs.
//
// Each scene is a harmonic voice with vibrato (eight harmonics of 200 Hz) over a plucked
// instrument panned 70 % left (odd partials of 310 Hz), so that the two parts sit in bands of their
// own and each part's level can be read from the mix's spectrum. The scenes: the voice in the
// centre, panned 15 % and 30 %, in the centre with a wide reverb, and doubled (two takes, a little
// apart in pitch and time, 20 % left and right). For the stereo remover, the plain remover (half
// of right minus left in both channels) and `sox … oops` (the same difference, not halved), it
// prints how far the voice went down (with its reverb), how the instrument's level changed on
// its loud side and overall, and its left/right balance before and after. Then the stereo
// remover's speed against the plain one's on 60 s of audio.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "effects/chain.h"
#include "effects/stereo_remover.h"
#include "effects/vocal_remover.h"
#include "engine/bass.h"
#include "tests/support/audio_fixtures.h"
#include "tests/support/band_power.h"
#include "tests/support/channel_reader.h"

namespace {

constexpr int kRate = 44100;
constexpr double kSeconds = 10.0;
constexpr double kVoiceHz = 200, kInstrumentHz = 310;

struct Gains {
    double left, right;
};
// Constant-power pan; `p` from -1 (left) to 1 (right).
Gains pan(double p) {
    const double theta = (1.0 + p) * M_PI / 4;
    return {std::cos(theta), std::sin(theta)};
}

// A voice of eight harmonics with 1 % vibrato at 5.5 Hz, `cents` off 200 Hz, `delay` s late.
std::vector<double> voice(double cents, double delay, double vibratoPhase) {
    std::vector<double> v(size_t(kSeconds * kRate), 0.0);
    const double f0 = kVoiceHz * std::pow(2.0, cents / 1200);
    double phase = 0;
    for (size_t f = size_t(delay * kRate); f < v.size(); ++f) {
        const double t = double(f) / kRate;
        phase += 2 * M_PI * f0 * (1 + 0.01 * std::sin(2 * M_PI * 5.5 * t + vibratoPhase)) / kRate;
        for (int h = 1; h <= 8; ++h) v[f] += 0.3 / h * std::sin(h * phase);
    }
    return v;
}

std::vector<double> instrument() {
    std::vector<double> s(size_t(kSeconds * kRate), 0.0);
    for (size_t f = 0; f < s.size(); ++f) {
        const double t = double(f) / kRate;
        for (int k : {1, 3, 5}) s[f] += 0.5 / k * std::sin(2 * M_PI * kInstrumentHz * k * t);
        s[f] *= std::exp(-std::fmod(t, 0.5) / 0.3);
    }
    return s;
}

// A simple wide reverb: per channel four feedback combs and two all-passes of their own lengths,
// so that the two channels' tails are unrelated.
std::vector<double> reverb(const std::vector<double>& in, int channel) {
    const int combs[2][4] = {{1116, 1188, 1277, 1356}, {1139, 1211, 1300, 1379}};
    const int allpasses[2][2] = {{556, 441}, {579, 464}};
    std::vector<double> out(in.size(), 0.0);
    for (int len : combs[channel]) {
        std::vector<double> buf(size_t(len), 0.0);
        for (size_t i = 0, k = 0; i < in.size(); ++i, k = (k + 1) % size_t(len)) {
            const double y = buf[k];
            buf[k] = in[i] + 0.84 * y;
            out[i] += y * 0.25;
        }
    }
    for (int len : allpasses[channel]) {
        std::vector<double> buf(size_t(len), 0.0);
        for (size_t i = 0, k = 0; i < out.size(); ++i, k = (k + 1) % size_t(len)) {
            const double b = buf[k];
            buf[k] = out[i] + 0.5 * b;
            out[i] = b - out[i];
        }
    }
    return out;
}

struct Scene {
    const char* name;
    fixtures::Pcm mix, voiceOnly, instrumentOnly;
};

fixtures::Pcm toPcm(const std::vector<double>& l, const std::vector<double>& r) {
    fixtures::Pcm p{kRate, 2, std::vector<int16_t>(l.size() * 2)};
    for (size_t f = 0; f < l.size(); ++f) {
        p.samples[2 * f] = int16_t(std::lrint(std::clamp(l[f] * 12000, -32768.0, 32767.0)));
        p.samples[2 * f + 1] = int16_t(std::lrint(std::clamp(r[f] * 12000, -32768.0, 32767.0)));
    }
    return p;
}

Scene makeScene(const char* name, double voicePan, bool withReverb, bool doubled) {
    const size_t n = size_t(kSeconds * kRate);
    std::vector<double> vl(n, 0.0), vr(n, 0.0), il(n), ir(n);
    const auto add = [&](const std::vector<double>& v, Gains g) {
        for (size_t i = 0; i < n; ++i) {
            vl[i] += v[i] * g.left;
            vr[i] += v[i] * g.right;
        }
    };
    if (doubled) {
        add(voice(0, 0, 0), pan(-0.2));
        add(voice(7, 0.025, 1.3), pan(0.2));
    } else {
        add(voice(0, 0, 0), pan(voicePan));
    }
    if (withReverb) {
        std::vector<double> dry(n);
        for (size_t i = 0; i < n; ++i) dry[i] = (vl[i] + vr[i]) * 0.5;
        const auto wl = reverb(dry, 0), wr = reverb(dry, 1);
        for (size_t i = 0; i < n; ++i) {
            vl[i] += 0.3 * wl[i];
            vr[i] += 0.3 * wr[i];
        }
    }
    const auto s = instrument();
    const Gains g = pan(-0.7);
    for (size_t i = 0; i < n; ++i) {
        il[i] = s[i] * g.left;
        ir[i] = s[i] * g.right;
    }
    std::vector<double> ml(n), mr(n);
    for (size_t i = 0; i < n; ++i) {
        ml[i] = vl[i] + il[i];
        mr[i] = vr[i] + ir[i];
    }
    return {name, toPcm(ml, mr), toPcm(vl, vr), toPcm(il, ir)};
}

// Power (dB) of one channel in the voice's harmonic bands or the instrument's partial bands.
double partDb(const fixtures::Pcm& p, int channel, bool ofVoice) {
    std::vector<std::pair<double, double>> bands;
    if (ofVoice)
        for (int h = 1; h <= 8; ++h) bands.emplace_back(kVoiceHz * h, kVoiceHz * h * 0.016 + 8);
    else
        for (int k : {1, 3, 5}) bands.emplace_back(kInstrumentHz * k, 8);
    return fixtures::bandPowerDb(p, channel, bands);
}

double bothDb(const fixtures::Pcm& p, bool ofVoice) {
    return 10 * std::log10(std::pow(10, partDb(p, 0, ofVoice) / 10) +
                           std::pow(10, partDb(p, 1, ofVoice) / 10));
}

fixtures::Pcm throughChain(const std::string& path, effects::Remover mode) {
    const HSTREAM stream = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    const HSTREAM tempo = BASS_FX_TempoCreate(stream, BASS_STREAM_DECODE | BASS_FX_FREESOURCE);
    effects::ChainApplier applier;
    applier.bind(stream, tempo);
    effects::Chain chain;
    chain.remover = mode;
    applier.apply(chain);
    fixtures::Pcm out = fixtures::readChannel(tempo);
    applier.detach();
    BASS_StreamFree(tempo);
    return out;
}

fixtures::Pcm throughSox(const std::string& in, const std::string& out) {
    const std::string cmd = "sox -q '" + in + "' '" + out + "' oops 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) return {};
    return fixtures::readAudio(out);
}

void benchScenes() {
    fixtures::TempDir tmp;
    const Scene scenes[] = {
        makeScene("voice centred", 0.0, false, false),
        makeScene("voice 15 % right", 0.15, false, false),
        makeScene("voice 30 % right", 0.30, false, false),
        makeScene("voice centred, reverb", 0.0, true, false),
        makeScene("voice doubled", 0.0, false, true),
    };
    std::printf(
        "dsp: removers on generated scenes (instrument 70 %% left); voice: its bands' change in "
        "dB, instrument: change on the left / both channels, balance: left minus right before -> "
        "after\n");
    std::printf("  %-22s %-8s %8s %18s %18s\n", "scene", "remover", "voice", "instrument",
                "balance");
    for (const Scene& s : scenes) {
        const std::string in = tmp.file("scene.wav");
        fixtures::writeWav(in, s.mix);
        const double voiceIn = bothDb(s.voiceOnly, true);
        const double instLeft = partDb(s.instrumentOnly, 0, false);
        const double instBoth = bothDb(s.instrumentOnly, false);
        const double balanceIn = instLeft - partDb(s.instrumentOnly, 1, false);
        struct Run {
            const char* name;
            fixtures::Pcm out;
        };
        const Run runs[] = {{"stereo", throughChain(in, effects::Remover::Stereo)},
                            {"plain", throughChain(in, effects::Remover::Full)},
                            {"sox oops", throughSox(in, tmp.file("oops.wav"))}};
        for (const Run& r : runs) {
            if (r.out.frames() == 0) {
                std::printf("  %-22s %-8s (not run)\n", s.name, r.name);
                continue;
            }
            const double left = partDb(r.out, 0, false);
            std::printf("  %-22s %-8s %+8.1f %+8.1f / %+7.1f %7.1f -> %+6.1f\n", s.name, r.name,
                        bothDb(r.out, true) - voiceIn, left - instLeft,
                        bothDb(r.out, false) - instBoth, balanceIn, left - partDb(r.out, 1, false));
        }
    }
}

// Median processor time of `runs` calls, in milliseconds: the machine is shared, and wall time
// would count the other programs' turns.
template <class F>
double medianCpuMs(int runs, F&& f) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const std::clock_t a = std::clock();
        f();
        t.push_back(double(std::clock() - a) * 1000.0 / CLOCKS_PER_SEC);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

void benchSpeed() {
    const fixtures::Pcm noise = fixtures::noise(60.0, kRate, 2, 0.3);
    std::vector<int16_t> work(noise.samples.size());
    const size_t block = 4410;  // 100 ms blocks, as the engine's decoder hands them
    effects::StereoRemover stereo(kRate, 2);
    const double stereoMs = medianCpuMs(5, [&] {
        work = noise.samples;
        for (size_t at = 0; at < work.size(); at += block * 2)
            stereo.process(work.data() + at, std::min(block, (work.size() - at) / 2));
    });
    const double plainMs = medianCpuMs(5, [&] {
        work = noise.samples;
        for (size_t at = 0; at < work.size(); at += block * 2)
            VocalRemoverDSP(0, 0, work.data() + at,
                            DWORD(std::min(block, (work.size() - at) / 2) * 4), nullptr);
    });
    const double copyMs = medianCpuMs(5, [&] { work = noise.samples; });
    std::printf(
        "dsp: stereo remover %.2f ms of processor time per audio second (%.0fx realtime), plain "
        "remover %.3f ms, ratio %.0f (the copy of the input, %.3f ms, counted in both)\n",
        stereoMs / 60, 60000 / stereoMs, plainMs / 60, stereoMs / plainMs, copyMs / 60);
}

}  // namespace

int main() {
    benchScenes();
    benchSpeed();
    return 0;
}

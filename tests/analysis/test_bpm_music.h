// Music-like tracks for measuring tempo detection: drums, bass and chords in several styles
// (four-on-the-floor, rock, swing, funk, ballad, bossa), with humanised timing and velocity,
// random timbres and a random start phase. Deterministic for a given style, tempo and seed.
// Used by the BPM tests and the BPM benchmark.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/support/audio_fixtures.h"

namespace bpmtest {

enum class Style { FourOnFloor, Rock, Swing, Funk, Ballad, Bossa };
constexpr int kStyles = 6;

inline const char* styleName(Style s) {
    switch (s) {
        case Style::FourOnFloor:
            return "four-on-floor";
        case Style::Rock:
            return "rock";
        case Style::Swing:
            return "swing";
        case Style::Funk:
            return "funk";
        case Style::Ballad:
            return "ballad";
        case Style::Bossa:
            return "bossa";
    }
    return "?";
}

struct Track {
    fixtures::Pcm pcm;          // stereo 16-bit
    std::vector<double> beats;  // beat times in seconds
};

namespace detail {

constexpr double kPi = 3.14159265358979323846;

class Synth {
  public:
    Synth(int rate, double seconds, unsigned seed)
        : rate_(rate),
          n_(int64_t(std::llround(seconds * rate))),
          rng_(seed),
          l_(size_t(n_), 0.0),
          r_(size_t(n_), 0.0) {}

    double uni(double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng_); }
    double gauss(double sd) { return std::normal_distribution<double>(0.0, sd)(rng_); }
    bool chance(double p) { return uni(0, 1) < p; }
    float noise() {
        noiseState_ ^= noiseState_ << 13;
        noiseState_ ^= noiseState_ >> 17;
        noiseState_ ^= noiseState_ << 5;
        return float(int32_t(noiseState_)) * (1.0f / 2147483648.0f);
    }
    int rate() const { return rate_; }

    // Adds f(k) (k = samples from the start) for `len` samples at time t, panned (-1..1).
    template <typename F>
    void add(double t, double len, double gain, double pan, F f) {
        const int64_t start = int64_t(std::llround(t * rate_));
        const int64_t count = int64_t(len * rate_);
        const double gl = gain * std::sqrt(0.5 * (1.0 - pan));
        const double gr = gain * std::sqrt(0.5 * (1.0 + pan));
        for (int64_t k = std::max<int64_t>(0, -start); k < count && start + k < n_; ++k) {
            const double v = f(k);
            l_[size_t(start + k)] += gl * v;
            r_[size_t(start + k)] += gr * v;
        }
    }

    fixtures::Pcm finish() {
        double peak = 1e-9;
        for (int64_t i = 0; i < n_; ++i)
            peak = std::max({peak, std::abs(l_[size_t(i)]), std::abs(r_[size_t(i)])});
        const double g = 0.89 / peak;
        fixtures::Pcm p{rate_, 2, {}};
        p.samples.resize(size_t(n_ * 2));
        for (int64_t i = 0; i < n_; ++i) {
            p.samples[size_t(2 * i)] = int16_t(std::lround(l_[size_t(i)] * g * 32767));
            p.samples[size_t(2 * i + 1)] = int16_t(std::lround(r_[size_t(i)] * g * 32767));
        }
        return p;
    }

  private:
    int rate_;
    int64_t n_;
    std::mt19937 rng_;
    std::vector<double> l_, r_;
    uint32_t noiseState_ = 2463534242u;
};

// A sine oscillator by rotation (much cheaper than std::sin per sample).
struct Osc {
    double c = 1, s = 0, cr = 1, sr = 0;
    Osc() = default;
    Osc(double hz, int rate)
        : cr(std::cos(2 * kPi * hz / rate)), sr(std::sin(2 * kPi * hz / rate)) {}
    double next() {
        const double out = s;
        const double nc = c * cr - s * sr;
        s = s * cr + c * sr;
        c = nc;
        return out;
    }
};

// Instruments with per-track timbres.
struct Kit {
    Synth& s;
    double kickHi, kickLo, kickDecay, snareTone, snareDecay, hatDecay, mix[8];

    explicit Kit(Synth& synth) : s(synth) {
        kickHi = s.uni(90, 160);
        kickLo = s.uni(42, 60);
        kickDecay = s.uni(0.04, 0.09);
        snareTone = s.uni(160, 240);
        snareDecay = s.uni(0.05, 0.1);
        hatDecay = s.uni(0.006, 0.02);
        for (double& m : mix) m = s.uni(0.6, 1.3);
    }

    void kick(double t, double v) {
        const double r = s.rate(), hi = kickHi, lo = kickLo, dec = kickDecay;
        double ph = 0;
        s.add(t, dec * 6, 0.8 * v * mix[0], 0, [&](int64_t k) {
            const double x = double(k) / r;
            ph += 2 * kPi * (lo + (hi - lo) * std::exp(-x / 0.03)) / r;
            return std::exp(-x / dec) * std::sin(ph);
        });
    }
    void snare(double t, double v) {
        const double r = s.rate(), tone = snareTone, dec = snareDecay;
        float last = 0;
        Osc o(tone, s.rate());
        const double dn = std::exp(-1.0 / (r * dec)), dt = std::exp(-1.0 / (r * 0.03));
        double en = 1, et = 1;
        s.add(t, dec * 5, 0.45 * v * mix[1], 0.1, [&](int64_t) {
            const float w = s.noise();
            const double hp = w - 0.6 * last;
            last = w;
            en *= dn;
            et *= dt;
            return en * hp * 0.8 + et * o.next();
        });
    }
    void clap(double t, double v) {
        const double r = s.rate();
        s.add(t, 0.3, 0.4 * v * mix[1], -0.1, [&](int64_t k) {
            const double x = double(k) / r;
            double e = std::exp(-x / 0.06);
            if (x < 0.025) e = std::exp(-std::fmod(x, 0.0083) / 0.003);
            return e * s.noise();
        });
    }
    void hat(double t, double v, bool open) {
        const double r = s.rate(), dec = open ? 0.12 : hatDecay;
        float last = 0;
        const double d = std::exp(-1.0 / (r * dec));
        double e = 1;
        s.add(t, dec * 5, 0.22 * v * mix[2], 0.5, [&](int64_t) {
            const float w = s.noise();
            const double hp = w - last;
            last = w;
            e *= d;
            return e * hp;
        });
    }
    void ride(double t, double v) {
        const double r = s.rate();
        static constexpr double partials[5] = {3120, 4380, 5230, 6710, 7890};
        Osc o[5];
        for (int i = 0; i < 5; ++i) o[i] = Osc(partials[i], s.rate());
        const double d1 = std::exp(-1.0 / (r * 0.35)), d2 = std::exp(-1.0 / (r * 0.02));
        double e1 = 1, e2 = 1;
        s.add(t, 1.2, 0.06 * v * mix[3], -0.4, [&](int64_t) {
            double a = 0;
            for (Osc& x : o) a += x.next();
            e1 *= d1;
            e2 *= d2;
            return e1 * (a * 0.3 + 0.5 * s.noise() * e2);
        });
    }
    void shaker(double t, double v) {
        const double r = s.rate();
        float last = 0;
        s.add(t, 0.08, 0.08 * v * mix[4], 0.3, [&](int64_t k) {
            const double x = double(k) / r;
            const float w = s.noise();
            const double hp = w - last;
            last = w;
            return std::min(1.0, x / 0.01) * std::exp(-x / 0.025) * hp;
        });
    }
    void rim(double t, double v) {
        const double r = s.rate();
        s.add(t, 0.05, 0.3 * v * mix[4], -0.2, [&](int64_t k) {
            const double x = double(k) / r;
            return std::exp(-x / 0.008) * std::sin(2 * kPi * 1700 * x);
        });
    }
    void bass(double t, double len, double hz, double v) {
        const double r = s.rate();
        Osc o1(hz, s.rate()), o2(2 * hz, s.rate());
        const double d = std::exp(-1.0 / (r * 0.35));
        double e = 1;
        s.add(t, len, 0.4 * v * mix[5], -0.1, [&](int64_t k) {
            const double x = double(k) / r;
            e *= d;
            const double env = std::min(1.0, x / 0.006) * e * std::min(1.0, (len - x) / 0.01);
            return env * (o1.next() + 0.35 * o2.next());
        });
    }
    // A chord of three notes with harmonics; `attack` 0.003 plucks, 0.15 swells.
    void chord(double t, double len, double root, bool minor, double attack, double v) {
        const double r = s.rate();
        const double notes[3] = {root, root * (minor ? 1.1892 : 1.2599), root * 1.4983};
        Osc o[9];
        for (int i = 0; i < 9; ++i) o[i] = Osc(notes[i / 3] * (i % 3 + 1), s.rate());
        const double d = attack < 0.01 ? std::exp(-1.0 / (r * 0.6)) : 1.0;
        double e = 1;
        s.add(t, len, 0.12 * v * mix[6], 0.2, [&](int64_t k) {
            const double x = double(k) / r;
            e *= d;
            const double env = std::min(1.0, x / attack) * std::min(1.0, (len - x) / 0.05) * e;
            double a = 0;
            for (int i = 0; i < 9; ++i) a += o[i].next() / (i % 3 + 1);
            return env * a;
        });
    }
    void piano(double t, double hz, double v) {
        const double r = s.rate();
        Osc o[5];
        for (int h = 0; h < 5; ++h) o[h] = Osc(hz * (h + 1), s.rate());
        const double d = std::exp(-1.0 / (r * 0.5));
        double e = 1;
        s.add(t, 1.5, 0.15 * v * mix[7], -0.3, [&](int64_t k) {
            double a = 0;
            for (int h = 0; h < 5; ++h) a += o[h].next() / ((h + 1) * (h + 1));
            e *= d;
            return std::min(1.0, double(k) / r / 0.002) * e * a;
        });
    }
};

}  // namespace detail

// A track in `style` at `bpm` for `seconds`. The first beat falls in the first beat period.
inline Track musicTrack(Style style, double bpm, double seconds, unsigned seed, int rate = 44100) {
    using detail::Kit;
    using detail::Synth;
    Synth s(rate, seconds, seed * 7919u + unsigned(bpm * 10) + unsigned(style) * 131u);
    Kit kit(s);
    Track tr;
    // Bossa is counted in half notes (cut time), as it is written: its quarter notes run at twice
    // the tempo.
    const bool cutTime = style == Style::Bossa;
    const double beat = 60.0 / bpm / (cutTime ? 2 : 1);
    const double offset = s.uni(0.0, beat);
    const double jitter = 0.002;
    const double swing =
        style == Style::Swing ? 2.0 / 3.0 : (style == Style::Funk ? s.uni(0.5, 0.58) : 0.5);
    // Beat positions within a bar (4 beats) to seconds, with swung off-beats and humanising.
    auto at = [&](int bar, double pos) {
        double whole = std::floor(pos), frac = pos - whole;
        if (std::abs(frac - 0.5) < 1e-9)
            frac = swing;
        else if (std::abs(frac - 0.25) < 1e-9)
            frac = swing / 2;
        else if (std::abs(frac - 0.75) < 1e-9)
            frac = 0.5 + swing / 2;
        return offset + (bar * 4 + whole + frac) * beat + s.gauss(jitter);
    };
    auto vel = [&](double v) { return v * s.uni(0.85, 1.15); };
    const double roots[4][4] = {{110.0, 87.31, 130.81, 98.0},
                                {146.83, 116.54, 174.61, 130.81},
                                {98.0, 130.81, 110.0, 146.83},
                                {123.47, 164.81, 110.0, 82.41}};
    const int prog = int(s.uni(0, 4));
    const int bars = int(seconds / (4 * beat)) + 1;
    const int funkKicks = int(s.uni(0, 3));
    for (int b = 0; b < bars; ++b) {
        const double root = roots[prog][b % 4];
        const bool minor = (b % 4) == 0 || (b % 4) == 3;
        switch (style) {
            case Style::FourOnFloor:
                for (int i = 0; i < 4; ++i) kit.kick(at(b, i), vel(1.0));
                kit.clap(at(b, 1), vel(0.8));
                kit.clap(at(b, 3), vel(0.8));
                for (int i = 0; i < 4; ++i) kit.hat(at(b, i + 0.5), vel(0.6), true);
                for (int i = 0; i < 16; ++i)
                    if (s.chance(0.7)) kit.hat(at(b, i * 0.25), vel(0.3), false);
                for (int i = 0; i < 4; ++i)
                    kit.bass(at(b, i + 0.5), beat * 0.45, root / 2, vel(0.6));
                kit.chord(at(b, 0), beat * 4, root * 2, minor, 0.15, vel(0.7));
                break;
            case Style::Rock: {
                kit.kick(at(b, 0), vel(1.0));
                kit.kick(at(b, 2), vel(0.95));
                if (s.chance(0.4)) kit.kick(at(b, 2.5), vel(0.7));
                if (s.chance(0.25)) kit.kick(at(b, 1.5), vel(0.6));
                kit.snare(at(b, 1), vel(1.0));
                kit.snare(at(b, 3), vel(1.0));
                for (int i = 0; i < 8; ++i) kit.hat(at(b, i * 0.5), vel(i % 2 ? 0.5 : 0.8), false);
                for (int i = 0; i < 8; ++i)
                    kit.bass(at(b, i * 0.5), beat * 0.45, root / 2, vel(0.8));
                kit.chord(at(b, 0), beat * 2, root, false, 0.003, vel(1.0));
                kit.chord(at(b, 2), beat * 2, root, false, 0.003, vel(0.9));
                break;
            }
            case Style::Swing: {
                for (int i = 0; i < 4; ++i) kit.ride(at(b, i), vel(i % 2 ? 0.9 : 0.7));
                kit.ride(at(b, 1.5), vel(0.5));
                kit.ride(at(b, 3.5), vel(0.5));
                kit.hat(at(b, 1), vel(0.5), false);
                kit.hat(at(b, 3), vel(0.5), false);
                for (int i = 0; i < 4; ++i) {
                    static constexpr double steps[6] = {1.0, 1.122, 1.26, 1.335, 1.498, 0.891};
                    kit.bass(at(b, i), beat * 0.9, root / 2 * steps[int(s.uni(0, 6))], vel(0.9));
                    kit.kick(at(b, i), vel(0.15));
                }
                for (int i = 0; i < 2; ++i) {
                    static constexpr double comp[5] = {0.5, 1.5, 2.0, 2.5, 3.5};
                    kit.chord(at(b, comp[int(s.uni(0, 5))]), beat * 0.6, root * 2, minor, 0.003,
                              vel(0.6));
                }
                if (s.chance(0.3)) kit.snare(at(b, 3.5), vel(0.3));
                break;
            }
            case Style::Funk: {
                static constexpr double kicks[3][3] = {
                    {0, 0.75, 2.5}, {0, 1.75, 2.25}, {0, 0.5, 2.75}};
                for (double p : kicks[funkKicks]) kit.kick(at(b, p), vel(1.0));
                kit.snare(at(b, 1), vel(1.0));
                kit.snare(at(b, 3), vel(1.0));
                for (int i = 0; i < 16; ++i) {
                    kit.hat(at(b, i * 0.25), vel(i % 2 ? 0.35 : 0.7), false);
                    if (i % 4 && s.chance(0.15)) kit.snare(at(b, i * 0.25), vel(0.2));
                }
                for (double p : kicks[funkKicks])
                    kit.bass(at(b, p), beat * 0.3, root / 2, vel(1.0));
                if (s.chance(0.5)) kit.bass(at(b, 3.5), beat * 0.2, root, vel(0.7));
                kit.chord(at(b, 0.5), beat * 0.2, root * 2, minor, 0.003, vel(0.7));
                kit.chord(at(b, 1.75), beat * 0.2, root * 2, minor, 0.003, vel(0.6));
                break;
            }
            case Style::Ballad: {
                kit.kick(at(b, 0), vel(0.7));
                kit.kick(at(b, 2.5), vel(0.5));
                kit.snare(at(b, 1), vel(0.6));
                kit.snare(at(b, 3), vel(0.6));
                kit.rim(at(b, 1), vel(0.7));
                kit.rim(at(b, 3), vel(0.7));
                static constexpr double arp[8] = {1, 1.5, 2, 3, 4, 3, 2, 1.5};
                for (int i = 0; i < 8; ++i)
                    kit.piano(at(b, i * 0.5), root * 2 * arp[i], vel(i % 2 ? 0.5 : 0.9));
                kit.bass(at(b, 0), beat * 2, root / 2, vel(0.8));
                kit.bass(at(b, 2), beat * 2, root / 2 * 1.498, vel(0.7));
                kit.chord(at(b, 0), beat * 4, root, minor, 0.2, vel(0.6));
                break;
            }
            case Style::Bossa: {
                // Kick and bass on 1 and 3 with softer anticipations, the hi-hat foot on 2 and 4,
                // a 3-2 clave on the rim, shaker sixteenths, syncopated guitar chords.
                kit.kick(at(b, 0), vel(0.9));
                kit.kick(at(b, 2), vel(0.9));
                kit.kick(at(b, 1.5), vel(0.4));
                kit.kick(at(b, 3.5), vel(0.4));
                kit.hat(at(b, 1), vel(0.7), false);
                kit.hat(at(b, 3), vel(0.7), false);
                kit.rim(at(b, 1), vel(0.8));  // cross-stick
                kit.rim(at(b, 3), vel(0.8));
                static constexpr double clave[2][3] = {{0, 1.5, 3}, {1, 2, -1}};
                for (double p : clave[b % 2])
                    if (p >= 0) kit.rim(at(b, p), vel(0.6));
                for (int i = 0; i < 16; ++i) kit.shaker(at(b, i * 0.25), vel(i % 4 ? 0.4 : 0.9));
                kit.bass(at(b, 0), beat * 1.4, root / 2, vel(0.9));
                kit.bass(at(b, 1.5), beat * 0.45, root / 2 * 1.498, vel(0.5));
                kit.bass(at(b, 2), beat * 1.4, root / 2 * 1.498, vel(0.9));
                kit.bass(at(b, 3.5), beat * 0.45, root / 2, vel(0.5));
                for (double p : {0.0, 1.0, 1.5, 2.5, 3.0})
                    kit.chord(at(b, p), beat * 0.4, root * 2, minor, 0.003, vel(0.4));
                break;
            }
        }
    }
    for (double t = offset; t < seconds; t += 60.0 / bpm) tr.beats.push_back(t);
    tr.pcm = s.finish();
    return tr;
}

// Mono float mix of an interleaved 16-bit PCM.
inline std::vector<float> monoOf(const fixtures::Pcm& p) {
    std::vector<float> m(size_t(p.frames()));
    for (size_t i = 0; i < m.size(); ++i) {
        float a = 0;
        for (int c = 0; c < p.channels; ++c) a += p.samples[i * size_t(p.channels) + size_t(c)];
        m[i] = a / (32768.0f * float(p.channels));
    }
    return m;
}

// Whether the set holds `style` at `bpm`: bossa from 70 to 95 half notes a minute (140 to 190
// quarter notes), the others over the whole range.
inline bool inSet(Style style, double bpm) {
    return style != Style::Bossa || bpm <= 95;
}

// The tempos of the measurement set: 70 to 180 BPM.
inline std::vector<double> setTempos(double step) {
    std::vector<double> v;
    for (double b = 70.0; b <= 180.0 + 1e-9; b += step) v.push_back(b);
    return v;
}

}  // namespace bpmtest

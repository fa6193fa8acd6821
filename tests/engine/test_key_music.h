// Tracks in a known key for measuring key estimation: a chord progression of the key (piano or
// sustained chords), a bass line on the chord roots, a melody on the key's scale (the harmonic
// minor's leading tone over the dominant), optionally drums, and a tuning offset in cents (the
// whole track resynthesised sharp or flat). Deterministic for a given key and seed.
#pragma once

#include <cmath>
#include <vector>

#include "tests/analysis/test_bpm_music.h"

namespace keytest {

struct KeyTrack {
    int tonic = 0;  // 0 = C
    bool minor = false;
    bool drums = false;
    double cents = 0;
};

// A chord of a track: from `start` seconds to the next one's start.
struct ChordAt {
    double start;
    int root;  // 0 = C
    bool minor;
};

// `chords`, when given, receives the track's chords (one a bar).
inline fixtures::Pcm keyTrack(const KeyTrack& k, double seconds, unsigned seed, int rate = 44100,
                              std::vector<ChordAt>* chords = nullptr) {
    using bpmtest::detail::Kit;
    using bpmtest::detail::Synth;
    Synth s(rate, seconds,
            seed * 65537u + unsigned(k.tonic) * 17u + (k.minor ? 5u : 0u) + (k.drums ? 3u : 0u));
    Kit kit(s);
    // Chords as (semitones above the tonic, minor triad).
    struct Chord {
        int step;
        bool minor;
    };
    static const std::vector<std::vector<Chord>> majorProgs = {
        {{0, false}, {5, false}, {7, false}, {0, false}},
        {{0, false}, {9, true}, {5, false}, {7, false}},
        {{0, false}, {7, false}, {9, true}, {5, false}},
        {{2, true}, {7, false}, {0, false}, {0, false}},
        {{0, false}, {4, true}, {5, false}, {7, false}}};
    static const std::vector<std::vector<Chord>> minorProgs = {
        {{0, true}, {5, true}, {7, false}, {0, true}},
        {{0, true}, {8, false}, {3, false}, {10, false}},
        {{0, true}, {10, false}, {8, false}, {7, false}},
        {{0, true}, {5, true}, {10, false}, {3, false}},
        {{0, true}, {8, false}, {5, true}, {7, false}}};
    const auto& progs = k.minor ? minorProgs : majorProgs;
    const auto& prog = progs[size_t(s.uni(0, double(progs.size())))];
    static constexpr int kMajorScale[7] = {0, 2, 4, 5, 7, 9, 11};
    static constexpr int kMinorScale[7] = {0, 2, 3, 5, 7, 8, 10};
    const int* scale = k.minor ? kMinorScale : kMajorScale;
    const double tune = std::pow(2.0, k.cents / 1200.0);
    // The tonic's pitch between E2 and D#3 (bass), so every key sits in a like register.
    const double tonicHz = 82.41 * std::pow(2.0, ((k.tonic - 4 + 12) % 12) / 12.0) * tune;
    auto hz = [&](double base, int semis) { return base * std::pow(2.0, semis / 12.0); };
    const double bpm = s.uni(80, 140), beat = 60.0 / bpm;
    const bool sustained = s.chance(0.5);
    int degree = 0;  // melody, scale degree above the tonic
    for (int bar = 0; bar * 4 * beat < seconds; ++bar) {
        const Chord c = prog[size_t(bar % 4)];
        const double t0 = bar * 4 * beat;
        const double root = hz(tonicHz, c.step);
        if (chords) chords->push_back({t0, (k.tonic + c.step) % 12, c.minor});
        kit.bass(t0, beat * 1.9, root, 0.9);
        kit.bass(t0 + 2 * beat, beat * 1.9, hz(root, 7), 0.7);
        if (sustained)
            kit.chord(t0, beat * 4, root * 2, c.minor, 0.1, 0.9);
        else
            for (int i = 0; i < 4; ++i)
                for (int n : {0, c.minor ? 3 : 4, 7})
                    kit.piano(t0 + i * beat, hz(root * 2, n), 0.6);
        for (int i = 0; i < 8; ++i) {
            degree = std::clamp(degree + int(s.uni(-2, 3)), 0, 13);
            int semis = scale[degree % 7] + 12 * (degree / 7);
            if (k.minor && c.step == 7 && degree % 7 == 6) semis += 1;  // leading tone
            kit.piano(t0 + i * beat / 2, hz(tonicHz * 4, semis), i % 2 ? 0.5 : 0.8);
        }
        if (k.drums) {
            kit.kick(t0, 1.0);
            kit.kick(t0 + 2 * beat, 0.9);
            kit.snare(t0 + beat, 1.0);
            kit.snare(t0 + 3 * beat, 1.0);
            for (int i = 0; i < 8; ++i) kit.hat(t0 + i * beat / 2, 0.7, false);
        }
    }
    return s.finish();
}

// The test matrix for one seed: every tonic, both modes, with and without drums, in tune and
// off by 20..45 cents (sharp or flat by seed).
inline std::vector<KeyTrack> keySet(unsigned seed) {
    std::vector<KeyTrack> v;
    const double cents = (seed % 2 ? 1 : -1) * (20.0 + 25.0 * ((seed * 7) % 10) / 10.0);
    for (int tonic = 0; tonic < 12; ++tonic)
        for (bool minor : {false, true})
            for (bool drums : {false, true})
                for (double c : {0.0, cents}) v.push_back({tonic, minor, drums, c});
    return v;
}

}  // namespace keytest

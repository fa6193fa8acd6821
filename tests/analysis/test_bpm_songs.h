// Song-like tracks for measuring tempo detection beyond the steady four-beat styles of
// test_bpm_music.h: fast drum patterns (metal, punk, polka), meters of 3, 5 and 6 beats and 6/8,
// a drum machine with swung sixteenths, big-band swing, music without drums (strings, piano),
// and a live band whose tempo drifts, with jittered timing and changing dynamics (a quiet
// breakdown without drums). Deterministic for a given genre, tempo and seed.
//
// `beatBpm` is the tempo a listener taps: the quarter note, except in 6/8 (the dotted quarter).
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "tests/analysis/test_bpm_music.h"

namespace bpmtest {

enum class Genre {
    Metal,
    Punk,
    Polka,
    DrumMachine,
    BigBand,
    Waltz,
    FiveFour,
    SixFour,
    SixEight,
    Strings,
    Piano,
    LiveRock
};
constexpr int kGenres = 12;

inline const char* genreName(Genre g) {
    static constexpr const char* names[kGenres] = {
        "metal", "punk", "polka 2/2", "drum machine", "big band", "waltz 3/4",
        "5/4",   "6/4",  "6/8",       "strings",      "piano",    "live rock"};
    return names[int(g)];
}

// The tempos (taps per minute) a genre is played at.
inline void genreRange(Genre g, double& lo, double& hi) {
    switch (g) {
        case Genre::Metal:
            lo = 150, hi = 200;
            break;
        case Genre::Punk:
            lo = 160, hi = 200;
            break;
        case Genre::Polka:
            lo = 160, hi = 200;
            break;
        case Genre::DrumMachine:
            lo = 80, hi = 130;
            break;
        case Genre::BigBand:
            lo = 110, hi = 200;
            break;
        case Genre::Waltz:
            lo = 90, hi = 180;
            break;
        case Genre::FiveFour:
            lo = 90, hi = 170;
            break;
        case Genre::SixFour:
            lo = 80, hi = 170;
            break;
        case Genre::SixEight:
            lo = 64, hi = 100;
            break;
        case Genre::Strings:
            lo = 64, hi = 140;
            break;
        case Genre::Piano:
            lo = 64, hi = 150;
            break;
        case Genre::LiveRock:
            lo = 80, hi = 190;
            break;
    }
}

// A track of `genre` at `bpm` for `seconds`.
inline Track songTrack(Genre genre, double bpm, double seconds, unsigned seed, int rate = 44100) {
    using detail::Kit;
    using detail::Synth;
    Synth s(rate, seconds, seed * 104729u + unsigned(bpm * 10) + unsigned(genre) * 977u);
    Kit kit(s);
    Track tr;
    const bool live = genre == Genre::LiveRock || genre == Genre::Strings ||
                      genre == Genre::Piano || genre == Genre::BigBand;
    // Beat times: a tempo that drifts slowly (live players: up to about 3 %), as a table.
    const double period = 60.0 / bpm;
    const double drift = live ? s.uni(0.01, 0.03) : 0.0;
    const double driftCycle = s.uni(20, 50), driftPhase = s.uni(0, 6.28);
    std::vector<double> beatAt;
    double t = s.uni(0.0, period);
    while (t < seconds + 2 * period) {
        beatAt.push_back(t);
        t += period / (1.0 + drift * std::sin(2 * detail::kPi * t / driftCycle + driftPhase));
    }
    const double jitter = live ? s.uni(0.006, 0.014) : 0.0015;
    const int meter = genre == Genre::Waltz      ? 3
                      : genre == Genre::FiveFour ? 5
                      : genre == Genre::SixFour  ? 6
                      : genre == Genre::SixEight ? 2
                                                 : 4;
    double swing = genre == Genre::BigBand ? 2.0 / 3.0 : 0.5;
    if (genre == Genre::DrumMachine) swing = s.uni(0.54, 0.62);
    // In 6/8 a beat holds three eighths; elsewhere off-beats (x.5) and sixteenths swing.
    auto at = [&](int bar, double pos) {
        double whole = std::floor(pos), frac = pos - whole;
        if (genre != Genre::SixEight) {
            if (std::abs(frac - 0.5) < 1e-9)
                frac = swing;
            else if (std::abs(frac - 0.25) < 1e-9)
                frac = swing / 2;
            else if (std::abs(frac - 0.75) < 1e-9)
                frac = 0.5 + swing / 2;
        }
        const size_t i = std::min(beatAt.size() - 2, size_t(bar * meter + int(whole)));
        return beatAt[i] + frac * (beatAt[i + 1] - beatAt[i]) + s.gauss(jitter);
    };
    const int bars = int(beatAt.size()) / meter;
    // Dynamics: a slow swell, and for the live band an eight-bar breakdown without drums.
    const double swellCycle = s.uni(15, 40);
    const int breakAt = live ? int(s.uni(6, std::max(7, bars - 10))) : -100;
    auto vel = [&](int bar, double v) {
        const double sw =
            0.75 + 0.25 * std::sin(2 * detail::kPi * bar * meter * period / swellCycle);
        return v * sw * s.uni(0.85, 1.15);
    };
    const double roots[4] = {110.0, 146.83, 98.0, 130.81};
    const int shift = int(s.uni(0, 4));
    for (int b = 0; b < bars; ++b) {
        const double root = roots[(b + shift) % 4];
        const bool minor = b % 2 == 1;
        const bool drums = !(genre == Genre::LiveRock && b >= breakAt && b < breakAt + 8);
        auto v = [&](double x) { return vel(b, x); };
        switch (genre) {
            case Genre::Metal:
                // Double kick in sixteenths or eighths, snare on 2 and 4, crash/ride on beats,
                // palm-muted eighth-note guitar chords.
                for (int i = 0; i < 16; ++i)
                    if (bpm < 175 || i % 2 == 0) kit.kick(at(b, i * 0.25), v(i % 4 ? 0.6 : 0.9));
                kit.snare(at(b, 1), v(1.2));
                kit.snare(at(b, 3), v(1.2));
                for (int i = 0; i < 4; ++i) kit.ride(at(b, i), v(1.0));
                for (int i = 0; i < 8; ++i)
                    kit.chord(at(b, i * 0.5), period * 0.4, root / 2, false, 0.003, v(0.8));
                break;
            case Genre::Punk:
                kit.kick(at(b, 0), v(1.0));
                kit.kick(at(b, 2), v(1.0));
                if (s.chance(0.5)) kit.kick(at(b, 2.5), v(0.7));
                kit.snare(at(b, 1), v(1.1));
                kit.snare(at(b, 3), v(1.1));
                for (int i = 0; i < 8; ++i) kit.hat(at(b, i * 0.5), v(0.7), i % 2 == 1);
                for (int i = 0; i < 8; ++i) {
                    kit.chord(at(b, i * 0.5), period * 0.45, root, false, 0.003, v(0.9));
                    kit.bass(at(b, i * 0.5), period * 0.45, root / 2, v(0.8));
                }
                break;
            case Genre::Polka:
                // Oom-pah in cut time: bass and kick on 1 and 3, chord and snare on 2 and 4.
                for (int i = 0; i < 4; i += 2) {
                    kit.bass(at(b, i), period * 0.8, root / 2 * (i ? 1.498 : 1.0), v(1.0));
                    kit.kick(at(b, i), v(0.8));
                    kit.chord(at(b, i + 1), period * 0.5, root * 2, minor, 0.003, v(0.8));
                    kit.snare(at(b, i + 1), v(0.6));
                }
                kit.hat(at(b, 1), v(0.4), false);
                kit.hat(at(b, 3), v(0.4), false);
                break;
            case Genre::DrumMachine:
                // A programmed pattern with swung sixteenths and a syncopated kick.
                kit.kick(at(b, 0), v(1.0));
                kit.kick(at(b, 1.75), v(0.8));
                kit.kick(at(b, 2.5), v(0.9));
                kit.clap(at(b, 1), v(1.0));
                kit.clap(at(b, 3), v(1.0));
                for (int i = 0; i < 16; ++i) kit.hat(at(b, i * 0.25), v(i % 2 ? 0.35 : 0.6), false);
                kit.bass(at(b, 0), period * 0.7, root / 2, v(0.9));
                kit.bass(at(b, 2.5), period * 0.4, root / 2 * 1.335, v(0.8));
                kit.chord(at(b, 0.5), period * 1.5, root * 2, minor, 0.05, v(0.5));
                break;
            case Genre::BigBand: {
                for (int i = 0; i < 4; ++i) kit.ride(at(b, i), v(i % 2 ? 0.9 : 0.7));
                kit.ride(at(b, 1.5), v(0.5));
                kit.ride(at(b, 3.5), v(0.5));
                kit.hat(at(b, 1), v(0.5), false);
                kit.hat(at(b, 3), v(0.5), false);
                for (int i = 0; i < 4; ++i) {
                    static constexpr double steps[6] = {1.0, 1.122, 1.26, 1.335, 1.498, 0.891};
                    kit.bass(at(b, i), period * 0.9, root / 2 * steps[int(s.uni(0, 6))], v(0.9));
                }
                // Horn section stabs, loud and syncopated.
                static constexpr double stabs[4][2] = {
                    {0.5, 2.5}, {1.5, 3.0}, {0.0, 2.5}, {1.5, 3.5}};
                const auto& st = stabs[int(s.uni(0, 4))];
                for (double p : st)
                    kit.chord(at(b, p), period * 0.5, root * 2, minor, 0.01, v(1.1));
                if (s.chance(0.4)) kit.snare(at(b, 3.5), v(0.5));
                break;
            }
            case Genre::Waltz:
                kit.kick(at(b, 0), v(0.9));
                kit.bass(at(b, 0), period * 0.9, root / 2, v(1.0));
                for (int i = 1; i < 3; ++i) {
                    kit.chord(at(b, i), period * 0.5, root * 2, minor, 0.003, v(0.6));
                    kit.hat(at(b, i), v(0.5), false);
                }
                if (s.chance(0.5)) kit.piano(at(b, 0), root * 4, v(0.8));
                break;
            case Genre::FiveFour:
                // 3 + 2: kick on 1 and 4, snare on 3 and 5 (0-based 2 and 4), hats on eighths.
                kit.kick(at(b, 0), v(1.0));
                kit.kick(at(b, 3), v(0.9));
                kit.snare(at(b, 2), v(1.0));
                kit.snare(at(b, 4), v(1.0));
                for (int i = 0; i < 10; ++i) kit.hat(at(b, i * 0.5), v(i % 2 ? 0.4 : 0.7), false);
                kit.bass(at(b, 0), period * 2.8, root / 2, v(0.9));
                kit.bass(at(b, 3), period * 1.8, root / 2 * 1.498, v(0.8));
                for (int i = 0; i < 5; ++i)
                    kit.piano(at(b, i), root * 2 * (i % 2 ? 1.26 : 1.498), v(0.6));
                break;
            case Genre::SixFour:
                // Two halves of three quarters: kick on 1, snare on 4, a kick pickup before the
                // snare; bass in dotted halves; hats and a chord comp on every quarter (the comp
                // makes the quarter the pulse a listener taps; with sustained dotted-half chords
                // and quiet hats alone the track only said its half bar).
                kit.kick(at(b, 0), v(1.0));
                if (s.chance(0.6)) kit.kick(at(b, 2.5), v(0.7));
                kit.snare(at(b, 3), v(1.0));
                if (s.chance(0.5)) kit.kick(at(b, 4.5), v(0.6));
                for (int i = 0; i < 6; ++i) kit.hat(at(b, i), v(i % 3 ? 0.6 : 0.8), false);
                kit.bass(at(b, 0), period * 2.8, root / 2, v(1.0));
                kit.bass(at(b, 3), period * 2.8, root / 2 * 1.335, v(0.9));
                for (int i = 0; i < 6; ++i)
                    kit.chord(at(b, i), period * 0.5, root * 2, i < 3 ? minor : !minor, 0.003,
                              v(i % 3 ? 0.6 : 0.8));
                break;
            case Genre::SixEight:
                // Two dotted-quarter beats of three eighths each.
                kit.kick(at(b, 0), v(1.0));
                kit.snare(at(b, 1), v(0.9));
                for (int i = 0; i < 6; ++i) kit.hat(at(b, i / 3.0), v(i % 3 ? 0.4 : 0.7), false);
                for (int i = 0; i < 6; ++i)
                    kit.piano(at(b, i / 3.0),
                              root * 2 *
                                  (i % 3 == 0   ? 1.0
                                   : i % 3 == 1 ? 1.26
                                                : 1.498),
                              v(i % 3 ? 0.5 : 0.9));
                kit.bass(at(b, 0), period * 1.8, root / 2, v(0.9));
                break;
            case Genre::Strings:
                // A bowed ensemble: a chord changing every two beats with soft attacks, and an
                // eighth-note ostinato accented on the beat.
                kit.chord(at(b, 0), period * 2.1, root, minor, 0.12, v(0.9));
                kit.chord(at(b, 2), period * 2.1, root * 1.335, !minor, 0.12, v(0.8));
                for (int i = 0; i < 8; ++i)
                    kit.bass(at(b, i * 0.5), period * 0.45, root * (i % 2 ? 1.498 : 1.0),
                             v(i % 2 ? 0.35 : 0.7));
                break;
            case Genre::Piano:
                // Block chords on every beat (the first loudest), a bass note on 1 and 3.
                for (int i = 0; i < 4; ++i) {
                    const double f = root * 2 * (i % 2 ? 1.26 : 1.0);
                    for (double m : {1.0, 1.26, 1.498})
                        kit.piano(at(b, i), f * m, v(i ? 0.6 : 1.0));
                }
                kit.piano(at(b, 0), root / 2, v(1.0));
                kit.piano(at(b, 2), root / 2 * 1.498, v(0.8));
                break;
            case Genre::LiveRock:
                if (drums) {
                    kit.kick(at(b, 0), v(1.0));
                    kit.kick(at(b, 2), v(0.95));
                    if (s.chance(0.4)) kit.kick(at(b, 2.5), v(0.7));
                    kit.snare(at(b, 1), v(1.0));
                    kit.snare(at(b, 3), v(1.0));
                    for (int i = 0; i < 8; ++i)
                        kit.hat(at(b, i * 0.5), v(i % 2 ? 0.5 : 0.8), false);
                    for (int i = 0; i < 8; ++i)
                        kit.bass(at(b, i * 0.5), period * 0.45, root / 2, v(0.8));
                    kit.chord(at(b, 0), period * 2, root, false, 0.003, v(1.0));
                    kit.chord(at(b, 2), period * 2, root, false, 0.003, v(0.9));
                } else {
                    kit.chord(at(b, 0), period * 4, root, minor, 0.1, v(0.5));
                    for (int i = 0; i < 4; ++i) kit.piano(at(b, i), root * 2, v(0.5));
                }
                break;
        }
    }
    for (double bt : beatAt)
        if (bt < seconds) tr.beats.push_back(bt);
    tr.pcm = s.finish();
    return tr;
}

// The tempos of a genre for one seed: every 10 BPM across its range, each moved by up to ±4 BPM
// (differently for every seed), so that two seeds never share a tempo.
inline std::vector<double> genreTempos(Genre g, unsigned seed) {
    double lo, hi;
    genreRange(g, lo, hi);
    std::mt19937 rng(seed * 31u + unsigned(g));
    std::vector<double> v;
    for (double b = lo; b <= hi + 1e-9; b += 10) {
        const double x = std::clamp(b + std::uniform_real_distribution<double>(-4, 4)(rng), lo, hi);
        v.push_back(std::round(x * 10) / 10);
    }
    return v;
}

}  // namespace bpmtest

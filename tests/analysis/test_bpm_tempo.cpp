// The tempo estimator and the beat tracker on plain audio (no engine handles).
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "analysis/bpm_beats.h"
#include "analysis/bpm_tempo.h"
#include "tests/analysis/test_bpm_music.h"
#include "tests/analysis/test_bpm_songs.h"
#include "tests/support/audio_fixtures.h"

namespace {

using analysis::bpm::detectTempo;

float tempoOf(const fixtures::Pcm& p,
              analysis::bpm::TempoRange range = analysis::bpm::kDefaultRange, bool mult2 = true) {
    const auto mono = bpmtest::monoOf(p);
    return detectTempo(mono.data(), mono.size(), p.rate, range, mult2);
}

TEST(BpmTempo, ClickAndDrumTracksWithinTwoPercentFrom80To180) {
    std::vector<std::string> misses;
    for (double bpm = 80; bpm <= 180; bpm += 5) {
        const float click = tempoOf(fixtures::clickTrack(bpm, 30, 44100, 2, 0.11));
        const float drum = tempoOf(fixtures::drumTrack(bpm, 30, unsigned(bpm)));
        if (std::abs(click - bpm) > 0.02 * bpm)
            misses.push_back("click " + std::to_string(bpm) + " -> " + std::to_string(click));
        if (std::abs(drum - bpm) > 0.02 * bpm)
            misses.push_back("drum " + std::to_string(bpm) + " -> " + std::to_string(drum));
    }
    EXPECT_TRUE(misses.empty()) << ::testing::PrintToString(misses);
}

// A reduced run of the benchmark's set: every style at 70..180 BPM in steps of 10.
TEST(BpmTempo, MusicLikeSetWithinFourPercent) {
    int hits = 0, total = 0;
    std::vector<std::string> misses;
    for (double bpm : bpmtest::setTempos(10))
        for (int st = 0; st < bpmtest::kStyles; ++st) {
            const auto style = bpmtest::Style(st);
            if (!bpmtest::inSet(style, bpm)) continue;
            const float found = tempoOf(bpmtest::musicTrack(style, bpm, 30, 3).pcm);
            ++total;
            if (std::abs(found - bpm) <= 0.04 * bpm)
                ++hits;
            else
                misses.push_back(std::string(bpmtest::styleName(style)) + " " +
                                 std::to_string(int(bpm)) + " -> " + std::to_string(found));
        }
    EXPECT_GE(hits, int(std::ceil(0.95 * total))) << ::testing::PrintToString(misses);
}

// Bowed strings without drums: soft attacks and a drifting tempo leave the whole envelope barely
// periodic, and the beat in the bow's attacks. Tracks that had read at 3/2 or 7/5 of their tempo.
TEST(BpmTempo, DrumlessStringsStayInTheirTempoFamily) {
    std::vector<std::string> misses;
    for (auto [seed, bpm] : {std::pair{13u, 122.3}, {15u, 90.2}, {21u, 125.7}, {52u, 137.5}}) {
        const float found = tempoOf(bpmtest::songTrack(bpmtest::Genre::Strings, bpm, 30, seed).pcm);
        bool inFamily = false;
        for (double m : {1.0, 2.0, 0.5, 3.0, 1.0 / 3.0})
            inFamily = inFamily || std::abs(found - bpm * m) <= 0.04 * bpm * m;
        if (!inFamily) misses.push_back(std::to_string(bpm) + " -> " + std::to_string(found));
    }
    EXPECT_TRUE(misses.empty()) << ::testing::PrintToString(misses);
}

// Figures of 3 + 3 + 2 sixteenths, whose dotted eighths (four thirds of the tempo) had read as the
// beat: a bass figure each half bar with a shaker on every third sixteenth across the bar lines;
// and, without drums, a riff of dotted eighths alone (3 + 3 + 3 + 3 + 4 sixteenths a bar) on the
// root of chords that change every bar, where only the harmony tells the beat.
TEST(BpmTempo, DottedEighthFiguresAreNoBeat) {
    const int rate = 44100;
    const double roots[] = {130.8, 110.0, 174.6, 196.0};  // C, A, F, G
    for (bool drumless : {false, true})
        for (double bpm : {90.0, 110.0}) {
            std::vector<float> mono(size_t(30 * rate));
            std::mt19937 rng(3);
            std::normal_distribution<float> noise(0, 0.2f);
            const double sixteenth = 60.0 / bpm / 4;
            for (int i = 0; i * sixteenth < 29.5; ++i) {
                const size_t at = size_t(i * sixteenth * rate);
                const int inBar = i % 16;
                const bool bass = drumless ? inBar % 3 == 0 && inBar < 13
                                           : i % 8 == 0 || i % 8 == 3 || i % 8 == 6;
                const bool shaker = !drumless && i % 3 == 0;
                const double root = drumless ? roots[(i / 16) % 4] : 82.4;
                for (size_t k = 0; k < size_t(0.25 * rate); ++k) {
                    const double t = double(k) / rate, decay = std::exp(-6 * t);
                    if (bass)
                        for (int h = 1; h <= 3; ++h)
                            mono[at + k] += float(std::sin(2 * M_PI * root * h * t) * decay / h);
                    if (shaker) mono[at + k] += noise(rng) * float(std::exp(-80 * t));
                }
            }
            const float found = detectTempo(mono.data(), mono.size(), rate);
            EXPECT_TRUE(std::abs(found - bpm) <= 0.04 * bpm ||
                        std::abs(found - 2 * bpm) <= 0.08 * bpm)
                << (drumless ? "without drums " : "") << bpm << " -> " << found;
        }
}

TEST(BpmTempo, RangeAndDoubling) {
    const auto slow = fixtures::clickTrack(70, 20);
    // Inside the default range as it is.
    EXPECT_NEAR(tempoOf(slow), 70, 1.4);
    // A range above it: doubled into the range with the flag, found below it without.
    EXPECT_NEAR(tempoOf(slow, {100, 150}, true), 140, 2.8);
    EXPECT_NEAR(tempoOf(slow, {100, 150}, false), 70, 1.4);
    // A custom range holding the double.
    EXPECT_NEAR(tempoOf(fixtures::clickTrack(150, 20), {60, 200}, true), 150, 3);

    EXPECT_FLOAT_EQ(analysis::bpm::rangeFromMinMax(0).min, 60);
    EXPECT_FLOAT_EQ(analysis::bpm::rangeFromMinMax(0).max, 180);
    const auto r = analysis::bpm::rangeFromMinMax((200u << 16) | 90u);
    EXPECT_FLOAT_EQ(r.min, 90);
    EXPECT_FLOAT_EQ(r.max, 200);
    const auto swapped = analysis::bpm::rangeFromMinMax((90u << 16) | 200u);
    EXPECT_FLOAT_EQ(swapped.min, 90);
    EXPECT_FLOAT_EQ(swapped.max, 200);
}

TEST(BpmTempo, NothingToFindGivesZero) {
    std::vector<float> silence(44100 * 10, 0.0f);
    EXPECT_EQ(detectTempo(silence.data(), silence.size(), 44100), 0.0f);
    const auto shortClicks = bpmtest::monoOf(fixtures::clickTrack(120, 1.5));
    EXPECT_EQ(detectTempo(shortClicks.data(), shortClicks.size(), 44100), 0.0f);
    EXPECT_EQ(detectTempo(nullptr, 0, 44100), 0.0f);
}

TEST(BpmTempo, OtherSampleRatesAndBlockSizes) {
    // 22.05 and 48 kHz input, fed in odd blocks: the same tempo.
    for (int rate : {22050, 48000}) {
        const auto mono = bpmtest::monoOf(fixtures::drumTrack(128, 20, 5, rate));
        analysis::bpm::OnsetEnvelope env(rate);
        for (size_t off = 0; off < mono.size(); off += 997)
            env.push(mono.data() + off, std::min<size_t>(997, mono.size() - off));
        EXPECT_NEAR(analysis::bpm::estimateTempo(env.values(), env.frameRate(),
                                                 analysis::bpm::kDefaultRange, true),
                    128, 2.56)
            << rate;
        // With its parts of the spectrum, frame by frame with the whole.
        for (auto band : {analysis::bpm::OnsetBand::Low, analysis::bpm::OnsetBand::High,
                          analysis::bpm::OnsetBand::Harmonic})
            EXPECT_EQ(env.bandValues(band).size(), env.values().size()) << rate;
        EXPECT_NEAR(analysis::bpm::estimateTempo(env, analysis::bpm::kDefaultRange, true), 128,
                    2.56)
            << rate;
    }
}

// Beats of the tracker against the true beat times, after it settled (5 s).
struct BeatScore {
    int reported = 0, expected = 0, within = 0;
    double worst = 0;
};

BeatScore scoreBeats(const fixtures::Pcm& pcm, const std::vector<double>& truth, double tol) {
    const auto mono = bpmtest::monoOf(pcm);
    analysis::bpm::BeatTracker tracker(pcm.rate);
    std::vector<double> beats;
    for (size_t off = 0; off < mono.size(); off += 1024)
        tracker.push(mono.data() + off, std::min<size_t>(1024, mono.size() - off), beats);
    const double seconds = double(mono.size()) / pcm.rate;
    BeatScore s;
    for (double t : truth)
        if (t >= 5 && t < seconds - 0.3) ++s.expected;
    for (double b : beats) {
        const double t = b / pcm.rate;
        if (t < 5) continue;
        ++s.reported;
        double best = 1e9;
        for (double x : truth) best = std::min(best, std::abs(x - t));
        s.worst = std::max(s.worst, best);
        if (best <= tol) ++s.within;
    }
    return s;
}

TEST(BpmBeats, ClickAndDrumBeatsWithinTwelveMilliseconds) {
    for (double bpm : {80.0, 104.0, 128.0, 150.0}) {
        std::vector<double> clicks;
        for (double t = 0.37; t < 20; t += 60 / bpm) clicks.push_back(t);
        const auto c = scoreBeats(fixtures::clickTrack(bpm, 20, 44100, 2, 0.37), clicks, 0.012);
        EXPECT_GE(c.reported, c.expected - 1) << "clicks " << bpm;
        EXPECT_LE(c.reported, c.expected + 1) << "clicks " << bpm;
        EXPECT_EQ(c.within, c.reported) << "clicks " << bpm << " worst " << c.worst;

        std::vector<double> kicks;
        for (double t = 0; t < 20; t += 60 / bpm) kicks.push_back(t);
        const auto d = scoreBeats(fixtures::drumTrack(bpm, 20, 2), kicks, 0.012);
        EXPECT_GE(d.reported, d.expected - 1) << "drums " << bpm;
        EXPECT_GE(d.within, d.reported * 9 / 10) << "drums " << bpm << " worst " << d.worst;
    }
}

TEST(BpmBeats, MusicLikeTracksOnTheBeat) {
    for (int st = 0; st < bpmtest::kStyles; ++st) {
        const auto style = bpmtest::Style(st);
        const auto tr = bpmtest::musicTrack(style, 112, 20, 4);
        const auto s = scoreBeats(tr.pcm, tr.beats, 0.03);
        EXPECT_GE(s.within, s.expected * 8 / 10) << bpmtest::styleName(style);
        EXPECT_LE(s.reported, s.expected + 2) << bpmtest::styleName(style);
    }
}

}  // namespace

// quorvin bpm, quorvin key and quorvin chords on generated music.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "analysis/chord_detect.h"
#include "tests/cli/run_quorvin.h"
#include "tests/engine/test_key_music.h"

using clitest::quorvin;

TEST(QuorvinBpm, PrintsBothValues) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("beat.wav");
    fixtures::writeWav(in, fixtures::drumTrack(128, 40.0, 3));
    const auto r = quorvin({"bpm", in}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    double first = 0, whole = 0;
    ASSERT_EQ(std::sscanf(r.out.c_str(), "bpm 0-30 s: %lf\nbpm whole file: %lf\n", &first, &whole),
              2)
        << r.out;
    EXPECT_NEAR(first, 128, 128 * 0.04);
    EXPECT_NEAR(whole, 128, 128 * 0.04);

    const auto bad = quorvin({"bpm", tmp.file("nothing.mp3")}, tmp);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("nothing.mp3"), std::string::npos) << bad.err;
    EXPECT_EQ(quorvin({"bpm"}, tmp).status, 2);
}

TEST(QuorvinKey, PrintsKeyAndTuning) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("song.wav");
    fixtures::writeWav(in, keytest::keyTrack({9, true, true, 0}, 12, 5));
    const auto r = quorvin({"key", in}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Key: A minor\nTuning: +0 cents\n");

    const auto bad = quorvin({"key", tmp.file("nothing.mp3")}, tmp);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("nothing.mp3"), std::string::npos) << bad.err;
    EXPECT_EQ(quorvin({"key"}, tmp).status, 2);
}

// A stereo file whose sides are in opposite phase (a recording wired wrongly) is analysed as its
// in-phase twin, not as the silence the two sides' mean is.
TEST(QuorvinAnalyses, HearSidesInOppositePhaseAsTheirTwinInPhase) {
    fixtures::TempDir tmp;
    const fixtures::Pcm music = keytest::keyTrack({9, true, true, 0}, 12, 5);
    fixtures::Pcm same = music, opposite = music;
    for (size_t f = 0; f < size_t(music.frames()); ++f)
        for (size_t c = 0; c < size_t(music.channels); ++c) {
            const int16_t v = std::max<int16_t>(music.samples[f * size_t(music.channels)], -32767);
            same.samples[f * size_t(music.channels) + c] = v;
            opposite.samples[f * size_t(music.channels) + c] = c % 2 ? int16_t(-v) : v;
        }
    fixtures::writeWav(tmp.file("same.wav"), same);
    fixtures::writeWav(tmp.file("opposite.wav"), opposite);
    for (const char* command : {"key", "chords"}) {
        const auto want = quorvin({command, tmp.file("same.wav")}, tmp);
        ASSERT_EQ(want.status, 0) << command << ": " << want.err;
        EXPECT_EQ(quorvin({command, tmp.file("opposite.wav")}, tmp).out, want.out) << command;
    }
    // The tempo within a tenth of a percent: the first few milliseconds, before the sides'
    // phase is known, are silent.
    const auto bpm = [&](const char* file) {
        return std::atof(quorvin({"bpm", tmp.file(file)}, tmp).out.substr(12).c_str());
    };
    EXPECT_GT(bpm("same.wav"), 0.0);
    EXPECT_NEAR(bpm("opposite.wav"), bpm("same.wav"), bpm("same.wav") * 0.001);
}

// The chords of an MP3 (its encoder delay taken out) at the times the progression plays them, and
// with --pitch the same times with every chord moved. (How often the chords are right is the
// estimator's test; a line late by a tenth of the bar would cost this one a tenth.)
TEST(QuorvinChords, PrintsEachChangeAtItsTimeAndMovesThemWithThePitch) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("song.mp3");
    std::vector<keytest::ChordAt> truth;
    fixtures::writeMp3(in, keytest::keyTrack({7, false, true, 0}, 16, 5, 44100, &truth), 192);
    std::map<std::string, keytest::ChordAt> byName;
    for (int state = 0; state < 24; ++state)
        for (const auto spelling :
             {analysis::chords::Spelling::Usual, analysis::chords::Spelling::Sharps,
              analysis::chords::Spelling::Flats})
            byName[analysis::chords::chordName(state % 12, state >= 12, spelling)] = {0, state % 12,
                                                                                      state >= 12};
    // The share of the time from 0.5 s to 15.5 s whose chord printed is the one played moved by
    // `shift` semitones.
    auto agreement = [&](const std::string& out, int shift) {
        std::vector<keytest::ChordAt> printed;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) {
            int minutes = 0;
            double seconds = 0;
            char name[16] = {};
            EXPECT_EQ(std::sscanf(line.c_str(), "%d:%lf  %15s", &minutes, &seconds, name), 3)
                << line;
            const auto it = byName.find(name);
            printed.push_back({minutes * 60 + seconds, it == byName.end() ? -1 : it->second.root,
                               it != byName.end() && it->second.minor});
        }
        int right = 0, n = 0;
        for (double t = 0.5; t < 15.5; t += 0.1, ++n) {
            auto at = [t](const std::vector<keytest::ChordAt>& v) {
                auto i = v.begin();
                while (i + 1 != v.end() && (i + 1)->start <= t) ++i;
                return *i;
            };
            const keytest::ChordAt played = at(truth), shown = at(printed);
            right += shown.root == (played.root + shift + 12) % 12 && shown.minor == played.minor;
        }
        return double(right) / n;
    };
    const auto r = quorvin({"chords", in}, tmp);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_GE(agreement(r.out, 0), 0.8) << r.out;
    const auto down = quorvin({"chords", in, "--pitch", "-3"}, tmp);
    ASSERT_EQ(down.status, 0) << down.err;
    EXPECT_GE(agreement(down.out, -3), 0.8) << down.out;

    // Sharps or flats as the key heard writes them: C major moved up a tritone is F# major, whose
    // fifth is C#, not Db.
    fixtures::writeWav(tmp.file("c.wav"), keytest::keyTrack({0, false, false, 0}, 16, 5));
    const auto sharp = quorvin({"chords", tmp.file("c.wav"), "--pitch", "6"}, tmp);
    EXPECT_NE(sharp.out.find("  C#\n"), std::string::npos) << sharp.out;
    EXPECT_EQ(sharp.out.find("b"), std::string::npos) << sharp.out;

    // One note alone is no chord, though every triad that holds it would match it.
    fixtures::writeWav(tmp.file("a.wav"), fixtures::sine(440, 6.0));
    EXPECT_EQ(quorvin({"chords", tmp.file("a.wav")}, tmp).out, "0:00.0  N.C.\n");
    // Audio too short for a frame is not called no audio.
    fixtures::writeWav(tmp.file("blip.wav"), fixtures::sine(440, 0.05));
    const auto blip = quorvin({"chords", tmp.file("blip.wav")}, tmp);
    EXPECT_EQ(blip.status, 1);
    EXPECT_NE(blip.err.find("or too little (under 0.09 s at 44100 Hz)"), std::string::npos)
        << blip.err;
    fixtures::writeWav(tmp.file("100hz.wav"), fixtures::sine(20, 5.0, 100));
    EXPECT_NE(quorvin({"chords", tmp.file("100hz.wav")}, tmp).err.find("(under 10.24 s at 100 Hz)"),
              std::string::npos);

    EXPECT_EQ(quorvin({"chords", in, "--pitch", "9"}, tmp).status, 2);
    const auto bad = quorvin({"chords", tmp.file("nothing.mp3")}, tmp);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("nothing.mp3"), std::string::npos) << bad.err;
}

// The key estimator on generated chord progressions, as files and through the engine's pitch
// shift, and the key names.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>

#include "analysis/chord_detect.h"
#include "analysis/key_detect.h"
#include "engine/bass.h"
#include "engine/bpm/key_channel.h"
#include "tests/engine/test_key_music.h"
#include "tests/support/audio_fixtures.h"

namespace {

using analysis::key::keyName;
using engine::estimateKey;

struct KeyCase {
    keytest::KeyTrack track;
    int pitchShift;  // semitones, through a decoding tempo channel
};

class KeyOfTrack : public ::testing::TestWithParam<KeyCase> {
  protected:
    fixtures::TempDir dir;
};

// Seeds 5 and 6 belong to neither benchmark part.
TEST_P(KeyOfTrack, FoundInTuneDetunedAndPitchShifted) {
    const KeyCase c = GetParam();
    const std::string path = dir.file("song.wav");
    fixtures::writeWav(path, keytest::keyTrack(c.track, 16, 5));
    const std::string truth = keyName(c.track.tonic, c.track.minor);

    const auto k = estimateKey(path);
    ASSERT_TRUE(k);
    EXPECT_EQ(keyName(*k), truth);
    EXPECT_NEAR(k->tuningCents, c.track.cents, 5.0);
    EXPECT_GT(k->confidence, 0.5f);

    if (c.pitchShift == 0) return;
    const DWORD src = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    const DWORD tempo = BASS_FX_TempoCreate(src, BASS_STREAM_DECODE | BASS_FX_FREESOURCE);
    ASSERT_NE(tempo, 0u);
    ASSERT_TRUE(BASS_FX_TempoSet(tempo, 0.0f, 0.0f, float(c.pitchShift)));
    const auto shifted = estimateKey(tempo, nullptr);
    BASS_StreamFree(tempo);
    ASSERT_TRUE(shifted);
    EXPECT_EQ(keyName(*shifted), keyName(analysis::key::transposed(*k, c.pitchShift)))
        << "from " << truth << " shifted by " << c.pitchShift;
}

INSTANTIATE_TEST_SUITE_P(
    Progressions, KeyOfTrack,
    ::testing::Values(KeyCase{{0, false, false, 0}, 3}, KeyCase{{9, true, true, 0}, -2},
                      KeyCase{{6, false, true, 35}, 0}, KeyCase{{3, true, false, -30}, 5},
                      KeyCase{{10, false, true, -20}, 0}, KeyCase{{4, true, true, 25}, 0}));

// The chords of generated progressions (a chord a bar) through a decoding channel, in tune and off,
// with and without drums, at two rates: right for nearly all of their time, and the silence before
// them is no chord.
TEST(ChordEstimate, FollowsAProgressionAfterSilence) {
    fixtures::TempDir dir;
    const std::string path = dir.file("song.wav");
    for (const auto& [k, rate] :
         std::vector<std::pair<keytest::KeyTrack, int>>{{{0, false, false, 0}, 44100},
                                                        {{9, true, true, 0}, 48000},
                                                        {{6, false, true, 35}, 22050},
                                                        {{3, true, false, -30}, 44100}}) {
        std::vector<keytest::ChordAt> truth;
        fixtures::Pcm pcm = keytest::keyTrack(k, 16, 5, rate, &truth);
        constexpr double kSilence = 2.0;
        pcm.samples.insert(pcm.samples.begin(), size_t(kSilence * rate) * size_t(pcm.channels), 0);
        fixtures::writeWav(path, pcm);
        const HSTREAM s = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        const auto spans = engine::estimateChords(s, nullptr);
        BASS_StreamFree(s);
        ASSERT_TRUE(spans && !spans->empty());
        const std::string what = keyName(k.tonic, k.minor) + " at " + std::to_string(rate);
        EXPECT_EQ(spans->front().root, -1) << what;
        EXPECT_NEAR(spans->front().end, kSilence, 0.3) << what;
        EXPECT_NEAR(spans->back().end, kSilence + 16, 0.05) << what;
        int right = 0, n = 0;
        for (double t = kSilence + 0.5; t < kSilence + 15.5; t += 0.05, ++n) {
            size_t i = 0;
            while (i + 1 < truth.size() && truth[i + 1].start <= t - kSilence) ++i;
            const auto* c = analysis::chords::chordAt(*spans, t);
            right += c && c->root == truth[i].root && c->minor == truth[i].minor;
        }
        EXPECT_GE(double(right) / n, 0.9) << what;
    }
}

// Chords of four notes (semitones above C3), a bar of four 0.5-s beats each, on a piano over a
// bass walking through their notes, written to `path`.
void writeCadence(const std::string& path, const std::vector<std::vector<int>>& chords,
                  double seconds) {
    using bpmtest::detail::Kit;
    using bpmtest::detail::Synth;
    Synth s(44100, seconds, 9);
    Kit kit(s);
    auto hz = [](int semis) { return 130.81 * std::pow(2.0, semis / 12.0); };  // from C3
    const double beat = 0.5;
    for (int bar = 0; bar * 4 * beat < seconds; ++bar) {
        const auto& c = chords[size_t(bar) % chords.size()];
        for (int i = 0; i < 4; ++i) {
            const double t = (bar * 4 + i) * beat;
            kit.bass(t, beat * 0.95, hz(c[size_t(i)] - 12), 0.9);
            for (int n : c) kit.piano(t, hz(n + 12), 0.5);
        }
    }
    fixtures::writeWav(path, s.finish());
}

// ii7 V7 V7 Imaj7 in C over a walking bass: the chords sound the G, B and D of a G major chord
// most, and the profiles then fit G major, a fifth up; the F of its chords is in no G major scale.
TEST(KeyEstimate, ASeventhChordCadenceIsInItsTonicsKey) {
    fixtures::TempDir dir;
    const std::string path = dir.file("cadence.wav");
    writeCadence(path, {{2, 5, 9, 12}, {7, 11, 14, 17}, {7, 11, 14, 17}, {0, 4, 7, 11}}, 16.0);
    const auto k = estimateKey(path);
    ASSERT_TRUE(k);
    EXPECT_EQ(keyName(*k), "C major");
}

// Sevenths are named where they sound, and a triad (its root doubled) gets none: Dm7 G7 Cmaj7 C,
// read in the middle of each bar.
TEST(ChordEstimate, NamesTheSeventhsThatSound) {
    fixtures::TempDir dir;
    const std::string path = dir.file("sevenths.wav");
    writeCadence(path, {{2, 5, 9, 12}, {7, 11, 14, 17}, {0, 4, 7, 11}, {0, 4, 7, 12}}, 16.0);
    const HSTREAM s = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    const auto spans = engine::estimateChords(s, nullptr);
    BASS_StreamFree(s);
    ASSERT_TRUE(spans);
    const char* expected[] = {"Dm7", "G7", "Cmaj7", "C"};
    for (int bar = 0; bar < 8; ++bar) {
        const auto* c = analysis::chords::chordAt(*spans, bar * 2.0 + 1.0);
        ASSERT_NE(c, nullptr) << bar;
        EXPECT_EQ(analysis::chords::chordName(*c), expected[bar % 4]) << "bar " << bar;
    }
}

TEST(KeyEstimate, NamesTranspositionAndNothingToFind) {
    EXPECT_EQ(keyName(9, true), "A minor");
    EXPECT_EQ(keyName(6, false), "F# major");
    EXPECT_EQ(keyName(10, false), "Bb major");
    EXPECT_EQ(keyName(3, true), "Eb minor");
    EXPECT_EQ(keyName(8, true), "G# minor");
    EXPECT_EQ(keyName(1, false), "Db major");
    const auto up = analysis::key::transposed({11, true, 0.7f, 12.0f}, 3);
    EXPECT_EQ(up.tonic, 2);
    EXPECT_TRUE(up.minor);
    EXPECT_EQ(analysis::key::transposed({2, false, 0, 0}, -5).tonic, 9);

    fixtures::TempDir dir;
    EXPECT_FALSE(estimateKey(dir.file("missing.wav")));
    const std::string silent = dir.file("silent.wav");
    fixtures::writeWav(silent, fixtures::Pcm{44100, 2, std::vector<int16_t>(44100 * 2 * 3, 0)});
    EXPECT_FALSE(estimateKey(silent));
    // Noise has no key: loud, and the dither of a silent 16-bit recording.
    for (const auto& [seconds, level] : {std::pair{10.0, 0.3}, {10.0, 0.00005}, {0.5, 0.3}}) {
        const std::string noise = dir.file("noise.wav");
        for (unsigned seed = 1; seed <= (seconds < 1 ? 10u : 1u); ++seed) {
            fixtures::writeWav(noise, fixtures::noise(seconds, 44100, 2, level, seed));
            EXPECT_FALSE(estimateKey(noise)) << seconds << " s at " << level << ", seed " << seed;
        }
    }
    // A second of one clean note has a key (a guess, but a pitched one).
    const std::string note = dir.file("note.wav");
    fixtures::writeWav(note, fixtures::sine(440, 1.0));
    EXPECT_TRUE(estimateKey(note));
    // Cancelled before it starts: nothing, and progress never reaches 100.
    const std::string song = dir.file("song.wav");
    fixtures::writeWav(song, keytest::keyTrack({0, false, false, 0}, 8, 6));
    std::atomic<bool> cancel{true};
    float last = -1;
    EXPECT_FALSE(estimateKey(song, &cancel, [&](float p) { last = p; }));
    EXPECT_LT(last, 100.0f);
    // Not cancelled: progress ends at 100.
    cancel = false;
    EXPECT_TRUE(estimateKey(song, &cancel, [&](float p) { last = p; }));
    EXPECT_EQ(last, 100.0f);
}

}  // namespace

// The practice tools on a tempo channel: the speed trainer's steps land on the loop's wrap, and
// the count-in's clicks lie on the song's beat grid.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "engine/bass.h"
#include "engine/engine_ext.h"
#include "tests/engine/null_output_test.h"
#include "tests/support/audio_fixtures.h"
#include "tests/support/practice_measure.h"

namespace {

DWORD decodingTempo(const std::string& path) {
    const DWORD s = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    return BASS_FX_TempoCreate(s, BASS_STREAM_DECODE | BASS_FX_FREESOURCE);
}

struct TrainerCase {
    float start, step;
    int every;
    float target;
};

}  // namespace

class Trainer : public NullOutputTest, public ::testing::WithParamInterface<TrainerCase> {};

// Every `every` passes the tempo moves by the step towards the target, on the very frame the
// loop wraps, and stays at the target; it never changes inside a pass.
TEST_P(Trainer, StepsLandOnTheWrap) {
    const TrainerCase c = GetParam();
    const DWORD t = decodingTempo(write("song.wav", fixtures::drumTrack(120, 4.0)));
    ASSERT_TRUE(BASS_FX_TempoSet(t, c.start, 0, 0));
    const int64_t a = 22050, b = 44100;  // half a second
    ASSERT_TRUE(BASS_ChannelSetPosition(t, QWORD(a * 4)));
    ASSERT_TRUE(engine::setLoop(t, QWORD(a * 4), QWORD(b * 4)));
    ASSERT_TRUE(engine::setLoopTrainer(t, {c.step, c.every, c.target}));
    const practice::TrainerRun run = practice::runTrainer(t, 44100 * 6);
    ASSERT_GE(run.wraps.size(), 6u);

    float tempo = c.start;
    size_t step = 0;
    for (size_t pass = 1; pass <= run.wraps.size(); ++pass) {
        if (pass % size_t(c.every) != 0 || tempo == c.target) continue;
        tempo = engine::trainerStep(tempo, {c.step, c.every, c.target});
        ASSERT_LT(step, run.tempoSteps.size()) << "pass " << pass;
        EXPECT_EQ(run.tempoSteps[step], run.wraps[pass - 1]) << "pass " << pass;
        EXPECT_EQ(run.tempos[step], tempo) << "pass " << pass;
        ++step;
    }
    EXPECT_EQ(step, run.tempoSteps.size());  // no change anywhere else
    EXPECT_EQ(tempo, c.target);
}

INSTANTIATE_TEST_SUITE_P(Plans, Trainer,
                         ::testing::Values(TrainerCase{-30, 10, 1, 0}, TrainerCase{-20, 5, 2, -10},
                                           TrainerCase{20, 15, 1, -10}));

using CountIn = NullOutputTest;

// The clicks come a beat apart at the tempo set (within 10 ms of the grid) and the song's own
// beats follow on the same grid, whether playback starts on a beat or between two; with a loop, the
// clicks come again before each pass, on the grid of the loop's start.
TEST_F(CountIn, ClicksFallOnTheBeatGrid) {
    const double bpm = 120, first = 0.1, beat = 60.0 / bpm;
    const DWORD rate = 44100;
    const std::string song = write("clicks.wav", fixtures::clickTrack(bpm, 12.0, rate, 2, first));
    const auto toBeat = [&](double at) {
        return std::fmod(first - std::fmod(at, beat) + beat, beat);
    };
    for (const auto& [clicks, tempo, start, looped] :
         std::vector<std::tuple<int, float, double, bool>>{{4, 0.0f, 0.0, false},
                                                           {1, -20.0f, 1.35, false},
                                                           {8, 25.0f, 2.1, false},
                                                           {2, -10.0f, 3.0, true}}) {
        const DWORD t = decodingTempo(song);
        ASSERT_TRUE(BASS_FX_TempoSet(t, tempo, 0, 0));
        ASSERT_TRUE(BASS_ChannelSetPosition(t, BASS_ChannelSeconds2Bytes(t, float(start))));
        const double a = start, b = start + 1.3;
        if (looped) {
            ASSERT_TRUE(engine::setLoop(t, BASS_ChannelSeconds2Bytes(t, float(a)),
                                        BASS_ChannelSeconds2Bytes(t, float(b))));
        }
        engine::CountIn c;
        c.clicks = clicks;
        c.beatSeconds = beat;
        c.startToBeat = toBeat(start);
        c.loopStartToBeat = toBeat(a);
        c.eachPass = looped;
        ASSERT_TRUE(engine::setCountIn(t, c));
        const double ratio = BASS_FX_TempoGetRateRatio(t);
        const double period = beat / ratio * rate;  // output frames per beat
        const int64_t frames = int64_t(period * (clicks + 6) * (looped ? 2 : 1));
        std::vector<int16_t> out(size_t(frames * 2));
        ASSERT_EQ(BASS_ChannelGetData(t, out.data(), DWORD(frames * 4)), int(frames * 4));
        const std::vector<int64_t> heard = practice::onsets(out, 2, 3000, int64_t(0.1 * rate));

        // Each run of clicks starts a grid that the song's beats go on with.
        const double lead = (clicks * beat - toBeat(a)) / ratio * rate;
        const double passFrames = lead + (b - a) / ratio * rate;
        // The song's own beats through the stretcher move by up to its splicing (about 25 ms).
        const double songSlack = tempo == 0.0f ? 0.010 : 0.025;
        int counted = 0;
        for (int64_t o : heard) {
            const double from = looped ? std::floor(double(o) / passFrames) * passFrames : 0.0;
            const double k = std::round((double(o) - from) / period);
            const bool click = k < clicks;
            EXPECT_NEAR(double(o), from + k * period, (click ? 0.010 : songSlack) * rate)
                << clicks << " clicks from " << start << " s: onset " << o;
            counted += click;
        }
        int passes = 1;  // the passes whose clicks were all heard
        while (looped && passes * passFrames + clicks * period < double(frames)) ++passes;
        EXPECT_EQ(counted, clicks * passes) << clicks << " clicks from " << start;
        BASS_StreamFree(t);
    }
}

// A seek while the clicks sound ends the count-in: they were timed for the place left, and the
// song goes on from the new place at once.
TEST_F(CountIn, ASeekEndsTheCountInUnderWay) {
    const DWORD t =
        decodingTempo(write("clicks.wav", fixtures::clickTrack(120, 8.0, 44100, 2, 0.1)));
    engine::CountIn c;
    c.clicks = 4;
    c.beatSeconds = 0.5;
    ASSERT_TRUE(engine::setCountIn(t, c));
    std::vector<int16_t> out(4410 * 2);
    ASSERT_EQ(BASS_ChannelGetData(t, out.data(), 4410 * 4), 4410 * 4);
    engine::LoopPractice state;
    ASSERT_TRUE(engine::getLoopPractice(t, &state));
    EXPECT_TRUE(state.countingIn);
    ASSERT_TRUE(BASS_ChannelSetPosition(t, BASS_ChannelSeconds2Bytes(t, 4.0f)));
    ASSERT_TRUE(engine::getLoopPractice(t, &state));
    EXPECT_FALSE(state.countingIn);
    BASS_StreamFree(t);
}

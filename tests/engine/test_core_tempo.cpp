// Tempo channels and effects on decoding channels: duration and pitch, the timeline, pass-through,
// the equalizer and the gain effect.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

#include "engine/bass.h"
#include "engine/engine_ext.h"
#include "tests/support/audio_fixtures.h"
#include "tests/support/channel_reader.h"
#include "tests/support/click_timing.h"

namespace {

using fixtures::Pcm;

Pcm readAll(DWORD handle, DWORD block = 20000) {
    return fixtures::readChannel(handle, block);
}

Pcm slice(const Pcm& p, int64_t from, int64_t frames) {
    Pcm s = p;
    s.samples.assign(p.samples.begin() + from * p.channels,
                     p.samples.begin() + std::min(p.frames(), from + frames) * p.channels);
    return s;
}

class Tempo : public ::testing::Test {
  protected:
    void TearDown() override { BASS_Free(); }
    // A decoding tempo channel over a decoding stream of `path`.
    DWORD open(const std::string& path, DWORD flags = BASS_STREAM_DECODE) {
        source = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        EXPECT_NE(source, 0u);
        const DWORD t = BASS_FX_TempoCreate(source, flags);
        EXPECT_NE(t, 0u);
        return t;
    }
    std::string write(const std::string& name, const Pcm& pcm) {
        const std::string path = dir.file(name);
        fixtures::writeWav(path, pcm);
        return path;
    }
    fixtures::TempDir dir;
    DWORD source = 0;
};

TEST_F(Tempo, TempoChangesTheDurationByItsFactorAndKeepsThePitch) {
    const Pcm src = fixtures::sine(440, 2.0);
    const std::string path = write("sine.wav", src);
    for (float tempo : {-60.f, -35.f, -10.f, 15.f, 40.f, 60.f}) {
        const DWORD t = open(path);
        ASSERT_TRUE(BASS_FX_TempoSet(t, tempo, 0, -100));
        EXPECT_FLOAT_EQ(BASS_FX_TempoGetRateRatio(t), 1.0f + tempo / 100.0f);
        // The timeline stays the source's, whatever the tempo.
        EXPECT_EQ(BASS_ChannelGetLength(t), QWORD(src.samples.size() * 2));
        const Pcm out = readAll(t, 4 * 1013);  // odd block size
        const double expected = double(src.frames()) / (1.0 + tempo / 100.0);
        EXPECT_NEAR(double(out.frames()), expected, 2.0) << "tempo " << tempo;
        EXPECT_NEAR(fixtures::dominantFrequency(slice(out, 4410, 44100), 0), 440.0, 4.0)
            << "tempo " << tempo;
        EXPECT_EQ(BASS_ChannelGetPosition(t), BASS_ChannelGetLength(t)) << "tempo " << tempo;
        EXPECT_EQ(BASS_ChannelIsActive(t), BASS_ACTIVE_STOPPED);
        BASS_StreamFree(t);
    }
}

TEST_F(Tempo, PitchMovesASineByItsRatioAndKeepsTheDuration) {
    const Pcm src = fixtures::sine(440, 1.5);
    const std::string path = write("sine.wav", src);
    for (float pitch : {-8.f, -5.f, -2.f, 3.f, 8.f}) {
        for (float tempo : {0.f, 20.f}) {
            const DWORD t = open(path);
            ASSERT_TRUE(BASS_FX_TempoSet(t, tempo, 0, pitch));
            EXPECT_FLOAT_EQ(BASS_FX_TempoGetRateRatio(t), 1.0f + tempo / 100.0f)
                << "pitch leaves the speed";
            const Pcm out = readAll(t, 4 * 777);
            EXPECT_NEAR(double(out.frames()), src.frames() / (1.0 + tempo / 100.0), 2.0);
            const double want = 440.0 * std::pow(2.0, pitch / 12.0);
            EXPECT_NEAR(fixtures::dominantFrequency(slice(out, 4410, 44100), 1), want, want * 0.01)
                << "pitch " << pitch << " tempo " << tempo;
            BASS_StreamFree(t);
        }
    }
}

TEST_F(Tempo, SetLeavesWhatIsMarkedUnchanged) {
    const DWORD t = open(write("s.wav", fixtures::sine(440, 0.3)));
    ASSERT_TRUE(BASS_FX_TempoSet(t, 30, 0, 4));
    ASSERT_TRUE(BASS_FX_TempoSet(t, -100, 0, -100));
    EXPECT_FLOAT_EQ(BASS_FX_TempoGetRateRatio(t), 1.3f);
    ASSERT_TRUE(BASS_FX_TempoSet(t, -100, 0, 0));
    EXPECT_FLOAT_EQ(BASS_FX_TempoGetRateRatio(t), 1.3f) << "pitch change left the tempo";
    EXPECT_EQ(BASS_FX_TempoGetSource(t), source);
    EXPECT_FALSE(BASS_FX_TempoSet(source, 10, 0, -100)) << "not a tempo channel";
    EXPECT_EQ(BASS_FX_TempoGetRateRatio(source), 0.0f);
}

TEST_F(Tempo, UnityIsBitExactAndTheOutputStartsWithTheFirstSample) {
    const Pcm src = fixtures::noise(1.0);
    const std::string path = write("noise.wav", src);
    {
        const DWORD t = open(path);
        EXPECT_EQ(readAll(t, 4 * 333).samples, src.samples);
        // Back to unity after a change: a seek gives the source's samples again.
        BASS_FX_TempoSet(t, 25, 0, 3);
        BASS_FX_TempoSet(t, 0, 0, 0);
        ASSERT_TRUE(BASS_ChannelSetPosition(t, 4000));
        std::vector<int16_t> buf(2000);
        ASSERT_EQ(BASS_ChannelGetData(t, buf.data(), 4000), 4000);
        EXPECT_TRUE(std::equal(buf.begin(), buf.end(), src.samples.begin() + 2000));
        BASS_StreamFree(t);
    }
    // A tone that starts at the first frame: no leading silence at any setting.
    const std::string tone = write("tone.wav", fixtures::sine(300, 1.0, 44100, 2, 0.5));
    for (float tempo : {-60.f, -20.f, 0.f, 20.f, 60.f}) {
        for (float pitch : {-8.f, 0.f, 8.f}) {
            const DWORD t = open(tone);
            BASS_FX_TempoSet(t, tempo, 0, pitch);
            const Pcm out = readAll(t);
            EXPECT_GT(fixtures::rmsDb(slice(out, 0, 256), 0), -16.0)
                << "tempo " << tempo << " pitch " << pitch;
            EXPECT_GT(fixtures::rmsDb(slice(out, out.frames() - 256, 256), 0), -16.0)
                << "tempo " << tempo << " pitch " << pitch << ": ends with the source's end";
            BASS_StreamFree(t);
        }
    }
}

TEST_F(Tempo, AnOnsetLandsWhereTheTempoPutsIt) {
    Pcm src = fixtures::sine(1000, 2.0);
    for (int64_t i = 0; i < 44100 * 2; ++i)  // silence, then the tone from 1.0 s
        if (i < 44100) src.samples[size_t(i * 2)] = src.samples[size_t(i * 2 + 1)] = 0;
    const std::string path = write("onset.wav", src);
    for (float tempo : {-30.f, 25.f}) {
        const DWORD t = open(path);
        BASS_FX_TempoSet(t, tempo, 0, -100);
        const Pcm out = readAll(t);
        int64_t onset = -1;
        for (int64_t i = 0; i < out.frames() && onset < 0; ++i)
            if (std::abs(out.samples[size_t(i * 2)]) > 3000) onset = i;
        const double expected = 44100.0 / (1.0 + tempo / 100.0);
        EXPECT_NEAR(double(onset), expected, 0.03 * 44100) << "tempo " << tempo;
        BASS_StreamFree(t);
    }
}

TEST_F(Tempo, RubberBandIsExactAtUnityAndLinesUpWithSoundTouch) {
    const Pcm noise = fixtures::noise(1.0);
    const DWORD unity = open(write("noise.wav", noise));
    ASSERT_TRUE(engine::setTempoStretcher(unity, engine::TempoStretcher::RubberBand));
    EXPECT_EQ(readAll(unity, 4 * 333).samples, noise.samples);
    BASS_StreamFree(unity);
    EXPECT_FALSE(engine::setTempoStretcher(source, engine::TempoStretcher::RubberBand));

    // A 1 kHz tone from 1.0 s: where it starts, its pitch and the length against SoundTouch's.
    Pcm src = fixtures::sine(1000, 2.5);
    for (int64_t i = 0; i < 44100; ++i)
        src.samples[size_t(i * 2)] = src.samples[size_t(i * 2 + 1)] = 0;
    const std::string path = write("onset.wav", src);
    for (auto [tempo, pitch] : {std::pair{-10.f, 0.f}, {20.f, -2.f}, {-30.f, 5.f}}) {
        SCOPED_TRACE(testing::Message() << "tempo " << tempo << " pitch " << pitch);
        int64_t frames[2] = {};
        for (auto kind : {engine::TempoStretcher::SoundTouch, engine::TempoStretcher::RubberBand}) {
            const DWORD t = open(path);
            BASS_FX_TempoSet(t, tempo, 0, pitch);
            ASSERT_TRUE(engine::setTempoStretcher(t, kind));
            const Pcm out = readAll(t);
            frames[int(kind)] = out.frames();
            int64_t onset = -1;
            for (int64_t i = 0; i < out.frames() && onset < 0; ++i)
                if (std::abs(out.samples[size_t(i * 2)]) > 3000) onset = i;
            EXPECT_NEAR(double(onset), 44100.0 / (1.0 + tempo / 100.0), 0.05 * 44100)
                << "stretcher " << int(kind);
            EXPECT_NEAR(fixtures::dominantFrequency(slice(out, out.frames() / 2, 22050), 0),
                        1000.0 * std::pow(2.0, pitch / 12.0), 8.0);
            BASS_StreamFree(t);
        }
        EXPECT_LE(std::abs(frames[0] - frames[1]), 5000);  // one render block
        // Both end with the source's last sample: the input over the ratio, to the frame.
        EXPECT_NEAR(double(frames[1]), double(src.frames()) / (1.0 + tempo / 100.0), 2.0);
    }
    // At the lowest rate taken (100 Hz), where the stretcher's delay is many seconds long: the
    // whole length still comes out.
    const std::string low = write("low.wav", fixtures::sine(12, 20.0, 100));
    for (auto [tempo, pitch] : {std::pair{60.f, 0.f}, {0.f, -8.f}}) {
        const DWORD t = open(low);
        BASS_FX_TempoSet(t, tempo, 0, pitch);
        ASSERT_TRUE(engine::setTempoStretcher(t, engine::TempoStretcher::RubberBand));
        EXPECT_NEAR(double(readAll(t).frames()), 2000.0 / (1 + tempo / 100), 2.0) << tempo;
        BASS_StreamFree(t);
    }
}

// A full-scale tone overshoots a little in the stretchers: the output is clamped at full scale,
// never wrapped round to the other sign, and keeps its level.
TEST_F(Tempo, AFullScaleToneIsClampedNotWrapped) {
    const std::string path = write("loud.wav", fixtures::sine(200, 1.0, 44100, 2, 1.0));
    for (auto kind : {engine::TempoStretcher::SoundTouch, engine::TempoStretcher::RubberBand})
        for (auto [tempo, pitch] : {std::pair{-30.f, 3.f}, {25.f, -2.f}}) {
            SCOPED_TRACE(testing::Message() << "stretcher " << int(kind) << " tempo " << tempo);
            const DWORD t = open(path);
            BASS_FX_TempoSet(t, tempo, 0, pitch);
            ASSERT_TRUE(engine::setTempoStretcher(t, kind));
            const Pcm out = readAll(t);
            int jump = 0, peak = 0;
            for (size_t i = 2; i < out.samples.size(); ++i) {
                jump = std::max(jump, std::abs(out.samples[i] - out.samples[i - 2]));
                peak = std::max(peak, std::abs(int(out.samples[i])));
            }
            EXPECT_LT(jump, 4000);
            EXPECT_GT(peak, 30000);
            BASS_StreamFree(t);
        }
}

// A render's stretcher fixes its ratios once fed: a change on the way must still be heard, from
// where the output is, for both the length and the pitch.
TEST_F(Tempo, RubberBandOnADecodingChannelFollowsChangesOnTheWay) {
    const Pcm src = fixtures::sine(1000, 4.0);
    const DWORD t = open(write("s.wav", src));
    BASS_FX_TempoSet(t, 25, 0, 0);
    ASSERT_TRUE(engine::setTempoStretcher(t, engine::TempoStretcher::RubberBand));
    std::vector<int16_t> buf(2 * 44100);
    ASSERT_EQ(BASS_ChannelGetData(t, buf.data(), 44100 * 4), 44100 * 4);  // 1.25 s of the source
    ASSERT_TRUE(BASS_FX_TempoSet(t, -20, 0, 3));
    const Pcm rest = readAll(t);
    EXPECT_NEAR(double(rest.frames()), 2.75 * 44100 / 0.8, 0.01 * 44100);
    EXPECT_NEAR(fixtures::dominantFrequency(slice(rest, rest.frames() / 2, 22050), 0),
                1000.0 * std::pow(2.0, 3 / 12.0), 8.0);
}

// The tempo moved to 0 on the way, where the stretcher steps aside, and away from it again, and
// the other stretcher chosen on the way: the tone goes on without a step (a click), its largest
// change from one sample to the next no larger than the tone's own.
class TempoRestarts
    : public Tempo,
      public ::testing::WithParamInterface<std::tuple<engine::TempoStretcher, float>> {};

TEST_P(TempoRestarts, LeaveNoStepInTheTone) {
    const auto [stretcher, away] = GetParam();
    const Pcm src = fixtures::sine(1000, 3.0);
    const DWORD t = open(write("s.wav", src));
    ASSERT_TRUE(engine::setTempoStretcher(t, stretcher));
    const auto other = stretcher == engine::TempoStretcher::SoundTouch
                           ? engine::TempoStretcher::RubberBand
                           : engine::TempoStretcher::SoundTouch;
    std::vector<int16_t> out, buf(2 * 4410);
    // Then, away from 0, the other stretcher chosen and this one again.
    for (int change = 0; change < 5; ++change) {
        if (change < 3)
            ASSERT_TRUE(BASS_FX_TempoSet(t, change == 1 ? 0.0f : away, 0, 0));
        else
            ASSERT_TRUE(engine::setTempoStretcher(t, change == 3 ? other : stretcher));
        for (int block = 0; block < 4; ++block) {  // 0.4 s
            const DWORD got = BASS_ChannelGetData(t, buf.data(), DWORD(buf.size() * 2));
            ASSERT_NE(got, DWORD(-1));
            out.insert(out.end(), buf.begin(), buf.begin() + got / 2);
        }
    }
    const double peak = *std::max_element(src.samples.begin(), src.samples.end());
    const double own = peak * 2 * 3.14159265358979 * 1000 / 44100;
    int step = 0;
    for (size_t i = 2; i < out.size(); i += 2)
        step = std::max(step, std::abs(int(out[i]) - int(out[i - 2])));
    EXPECT_LT(step, own * 1.1);
}
INSTANTIATE_TEST_SUITE_P(BothStretchers, TempoRestarts,
                         ::testing::Combine(::testing::Values(engine::TempoStretcher::SoundTouch,
                                                              engine::TempoStretcher::RubberBand),
                                            ::testing::Values(-20.0f, 15.0f)));

// High quality stretches left and right together: a mix keeps its width and its centre.
TEST_F(Tempo, RubberBandKeepsTheStereoImage) {
    const Pcm mix = fixtures::wideMix(4.0);
    const auto [corrIn, sideIn] = fixtures::stereoImage(mix);
    const DWORD t = open(write("mix.wav", mix));
    BASS_FX_TempoSet(t, 20, 0, 0);
    ASSERT_TRUE(engine::setTempoStretcher(t, engine::TempoStretcher::RubberBand));
    const auto [corrOut, sideOut] = fixtures::stereoImage(readAll(t));
    EXPECT_NEAR(corrOut, corrIn, 0.1);
    EXPECT_NEAR(sideOut, sideIn, 1.0);
}

TEST_F(Tempo, PositionFollowsTheSourceAndSeeksFlushTheStretcher) {
    const Pcm src = fixtures::sine(440, 4.0);
    const DWORD t = open(write("s.wav", src));
    BASS_FX_TempoSet(t, 25, 0, -100);
    std::vector<int16_t> buf(2 * 44100);
    // One second of output covers 1.25 s of the source.
    ASSERT_EQ(BASS_ChannelGetData(t, buf.data(), 44100 * 4), 44100 * 4);
    EXPECT_NEAR(double(BASS_ChannelGetPosition(t)), 1.25 * 176400, 8);
    ASSERT_TRUE(BASS_ChannelSetPosition(t, 3 * 176400));
    EXPECT_EQ(BASS_ChannelGetPosition(t), QWORD(3 * 176400));
    const Pcm rest = readAll(t);
    EXPECT_NEAR(double(rest.frames()), 44100 / 1.25, 2) << "the rest of the source, stretched";
    EXPECT_FALSE(BASS_ChannelSetPosition(t, 5 * 176400));
}

void countEnd(HSYNC, DWORD, DWORD, void* user) {
    ++*static_cast<int*>(user);
}

TEST_F(Tempo, ALoopingChannelRestartsAndFiresItsEndSyncs) {
    const Pcm src = fixtures::noise(0.25);
    const DWORD t = open(write("n.wav", src), BASS_STREAM_DECODE | BASS_SAMPLE_LOOP);
    int ends = 0, once = 0;
    BASS_ChannelSetSync(t, BASS_SYNC_END, 0, countEnd, &ends);
    BASS_ChannelSetSync(t, BASS_SYNC_END | BASS_SYNC_ONETIME, 0, countEnd, &once);
    std::vector<int16_t> buf(size_t(src.frames() * 5 / 2 * 2));
    ASSERT_EQ(BASS_ChannelGetData(t, buf.data(), DWORD(buf.size() * 2)), int(buf.size() * 2));
    EXPECT_EQ(ends, 2);
    EXPECT_EQ(once, 1);
    EXPECT_TRUE(std::equal(buf.begin() + src.samples.size() * 2, buf.end(), src.samples.begin()))
        << "the third pass starts at the first sample again";
    EXPECT_EQ(BASS_ChannelIsActive(t), BASS_ACTIVE_PLAYING);
}

TEST_F(Tempo, FreeSourceFreesTheSourceWithTheTempoChannel) {
    const std::string path = write("s.wav", fixtures::sine(440, 0.2));
    const DWORD keep = open(path);
    const DWORD keptSource = source;
    const DWORD owned = open(path, BASS_STREAM_DECODE | BASS_FX_FREESOURCE);
    const DWORD ownedSource = source;
    BASS_StreamFree(keep);
    BASS_StreamFree(owned);
    EXPECT_NE(BASS_ChannelGetLength(keptSource), QWORD(-1));
    EXPECT_EQ(BASS_ChannelGetLength(ownedSource), QWORD(-1));
}

TEST_F(Tempo, SourceDspRunsBeforeTheStretcherAndTempoDspAfter) {
    const std::string path = write("mix.wav", fixtures::stereoMix(500, 700, 900, 1.0));
    const DWORD t = open(path);
    // Silences the left channel of the source; the tempo channel must never see it.
    BASS_ChannelSetDSP(
        source,
        [](HDSP, DWORD, void* b, DWORD len, void*) {
            auto* s = static_cast<int16_t*>(b);
            for (DWORD i = 0; i < len / 2; i += 2) s[i] = 0;
        },
        nullptr, 0);
    BASS_FX_TempoSet(t, 20, 0, -2);
    const Pcm out = readAll(t);
    EXPECT_LT(fixtures::rmsDb(out, 0), -60.0);
    EXPECT_GT(fixtures::rmsDb(out, 1), -20.0);
}

// --- effects -----------------------------------------------------------------------------------

BASS_FX_DSPPEAKEQ band(int index, float centre, float gain) {
    return BASS_FX_DSPPEAKEQ{index, 44100, 2.5f, 1.0f, centre, gain};
}

Pcm tones(std::initializer_list<double> freqs) {
    Pcm mix = fixtures::sine(*freqs.begin(), 1.0, 44100, 2, 0.1);
    for (auto it = freqs.begin() + 1; it != freqs.end(); ++it) {
        const Pcm t = fixtures::sine(*it, 1.0, 44100, 2, 0.1);
        for (size_t i = 0; i < mix.samples.size(); ++i)
            mix.samples[i] = int16_t(mix.samples[i] + t.samples[i]);
    }
    return mix;
}

TEST_F(Tempo, PeakingEqualizerRaisesItsBandsAndLeavesDistantOnesAlone) {
    const Pcm src = tones({80, 1500, 12000});
    const std::string path = write("tones.wav", src);
    const DWORD h = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    EXPECT_FALSE(BASS_FX_DSP_SetParameters(h, BASS_FX_PEAKEQ, nullptr));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE) << "no effect yet";
    for (int i = 0; i < 7; ++i) ASSERT_TRUE(BASS_FX_DSP_Set(h, BASS_FX_PEAKEQ, 0));
    const float centres[7] = {80, 200, 1500, 4000, 7500, 10000, 12000};
    for (int i = 0; i < 7; ++i) {
        auto p = band(i, centres[i], 0);
        ASSERT_TRUE(BASS_FX_DSP_SetParameters(h, BASS_FX_PEAKEQ, &p));
    }
    // All bands flat: untouched.
    EXPECT_EQ(readAll(h).samples, src.samples);

    auto p = band(0, 80, 10);
    BASS_FX_DSP_SetParameters(h, BASS_FX_PEAKEQ, &p);
    p = band(6, 12000, -7);
    BASS_FX_DSP_SetParameters(h, BASS_FX_PEAKEQ, &p);
    BASS_FX_DSP_Set(h, BASS_FX_PEAKEQ, 0);  // again: keeps the bands
    BASS_FX_DSPPEAKEQ back{};
    back.lBand = 6;
    ASSERT_TRUE(BASS_FX_DSP_GetParameters(h, BASS_FX_PEAKEQ, &back));
    EXPECT_EQ(back.fGain, -7.0f);
    EXPECT_EQ(back.fCenter, 12000.0f);
    EXPECT_EQ(back.lFreq, 44100u);

    BASS_ChannelSetPosition(h, 0);
    const Pcm out = readAll(h);
    for (int c = 0; c < 2; ++c) {
        EXPECT_NEAR(fixtures::toneLevelDb(out, c, 80) - fixtures::toneLevelDb(src, c, 80), 10, 1);
        EXPECT_NEAR(fixtures::toneLevelDb(out, c, 12000) - fixtures::toneLevelDb(src, c, 12000), -7,
                    1);
        EXPECT_NEAR(fixtures::toneLevelDb(out, c, 1500) - fixtures::toneLevelDb(src, c, 1500), 0,
                    0.5);
    }
    // The filters carry their state across blocks: any block size gives the same samples.
    auto freshSevenBands = [&] {
        BASS_ChannelSetPosition(h, 0);
        BASS_FX_DSP_Remove(h, BASS_FX_PEAKEQ);
        BASS_FX_DSP_Set(h, BASS_FX_PEAKEQ, 0);
        for (int i = 0; i < 7; ++i) {
            const float gains[7] = {6, -8, -7, 3, -5, -4, 2};
            auto b = band(i, centres[i], gains[i]);
            BASS_FX_DSP_SetParameters(h, BASS_FX_PEAKEQ, &b);
        }
    };
    freshSevenBands();
    const Pcm whole = readAll(h, 20000);
    for (DWORD block : {4u, 12u, 4u * 37}) {
        freshSevenBands();
        EXPECT_EQ(readAll(h, block).samples, whole.samples) << "block " << block;
    }
    // Q 0: the bandwidth in octaves shapes the band instead.
    freshSevenBands();
    p = BASS_FX_DSPPEAKEQ{2, 44100, 1.0f, 0.0f, 1500, 6};
    BASS_FX_DSP_SetParameters(h, BASS_FX_PEAKEQ, &p);
    for (int i = 0; i < 7; ++i) {
        if (i == 2) continue;
        auto b = band(i, centres[i], 0);
        BASS_FX_DSP_SetParameters(h, BASS_FX_PEAKEQ, &b);
    }
    BASS_ChannelSetPosition(h, 0);
    const Pcm out2 = readAll(h);
    EXPECT_NEAR(fixtures::toneLevelDb(out2, 0, 1500) - fixtures::toneLevelDb(src, 0, 1500), 6, 1);
    EXPECT_TRUE(BASS_FX_DSP_Remove(h, BASS_FX_PEAKEQ));
    EXPECT_FALSE(BASS_FX_DSP_GetParameters(h, BASS_FX_PEAKEQ, &back));
}

TEST_F(Tempo, GainEffectScalesAndLimitsSoftly) {
    const Pcm quiet = fixtures::sine(440, 0.5, 44100, 2, 0.05);
    const Pcm loud = fixtures::sine(440, 0.5, 44100, 2, 0.9);
    const std::string qpath = write("q.wav", quiet), lpath = write("l.wav", loud);
    auto withGain = [&](const std::string& path, float amp, int priority = 0) {
        const DWORD h = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        BASS_FX_DSP_Set(h, BASS_FX_GAIN, priority);
        BASS_FX_DSPGAIN g{};
        BASS_FX_DSP_GetParameters(h, BASS_FX_GAIN, &g);
        g = BASS_FX_DSPGAIN{10, 10, 10, amp, 1000, g.lReserved};
        EXPECT_TRUE(BASS_FX_DSP_SetParameters(h, BASS_FX_GAIN, &g));
        BASS_FX_DSPGAIN back{};
        BASS_FX_DSP_GetParameters(h, BASS_FX_GAIN, &back);
        EXPECT_EQ(back.fParam1, 10.0f);
        EXPECT_EQ(back.fParam5, 1000.0f);
        EXPECT_EQ(back.fAmp, amp);
        return h;
    };
    EXPECT_EQ(readAll(withGain(qpath, 1.0f)).samples, quiet.samples) << "unity";
    EXPECT_NEAR(fixtures::toneLevelDb(readAll(withGain(qpath, 2.0f)), 0, 440) -
                    fixtures::toneLevelDb(quiet, 0, 440),
                6.02, 0.2);
    EXPECT_LT(fixtures::rmsDb(readAll(withGain(qpath, 0.0f)), 0), -199.0) << "silence";
    // +20 dB on a loud tone: no wrap-around, the waveform keeps its sign, peaks stay in range.
    const Pcm hot = readAll(withGain(lpath, 10.0f));
    ASSERT_EQ(hot.samples.size(), loud.samples.size());
    for (size_t i = 0; i < hot.samples.size(); ++i) {
        ASSERT_GE(int(hot.samples[i]) * int(loud.samples[i]), 0) << "wrapped at " << i;
        if (std::abs(loud.samples[i]) > 3000) {
            ASSERT_GT(std::abs(hot.samples[i]), 26000);
        }
    }
    // A procedure and an effect share the chain: the gain (priority 1) runs first.
    const DWORD h = withGain(qpath, 2.0f, 1);
    static int16_t seen = 0;
    BASS_ChannelSetDSP(
        h, [](HDSP, DWORD, void* b, DWORD, void*) { seen = static_cast<int16_t*>(b)[20]; }, nullptr,
        0);
    int16_t buf[64];
    BASS_ChannelGetData(h, buf, sizeof buf);
    EXPECT_EQ(seen, buf[20]);
    EXPECT_NEAR(seen, 2 * quiet.samples[20], 1);
}

// Every channel count a file may have: channel c holds a tone of its own, (c + 1) * 250 Hz.
class ManyChannels : public Tempo, public ::testing::WithParamInterface<int> {
  protected:
    Pcm tonesPerChannel() const {
        Pcm p;
        p.channels = GetParam();
        const int64_t frames = 44100;
        p.samples.resize(size_t(frames * p.channels));
        for (int64_t f = 0; f < frames; ++f)
            for (int c = 0; c < p.channels; ++c)
                p.samples[size_t(f * p.channels + c)] =
                    int16_t(3000 * std::sin(2 * M_PI * (c + 1) * 250.0 * double(f) / 44100));
        return p;
    }
};

// Both ways of aligning the stretcher's start: input put before the source (+25 %, +3) and
// output dropped (+20 %, -3).
TEST_P(ManyChannels, TempoAndPitchMoveEveryChannel) {
    const Pcm src = tonesPerChannel();
    for (const auto& [tempo, pitch] : {std::pair{25, 3}, std::pair{20, -3}}) {
        const DWORD t = open(write("many.wav", src));
        ASSERT_TRUE(BASS_FX_TempoSet(t, float(tempo), 0, float(pitch)));
        const Pcm out = readAll(t, 4 * 1000);
        EXPECT_NEAR(double(out.frames()), double(src.frames()) / (1 + tempo / 100.0), 2.0);
        for (int c = 0; c < src.channels; ++c) {
            const double want = (c + 1) * 250.0 * std::pow(2.0, pitch / 12.0);
            EXPECT_NEAR(fixtures::dominantFrequency(slice(out, 4410, 22050), c), want, want * 0.01)
                << "channel " << c << " at " << tempo << " %, " << pitch;
        }
    }
}

TEST_P(ManyChannels, TheEqualizerFiltersEveryChannel) {
    const Pcm src = fixtures::sine(1000, 1.0, 44100, GetParam(), 0.1);
    const DWORD h =
        BASS_StreamCreateFile(0, write("many.wav", src).c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_TRUE(BASS_FX_DSP_Set(h, BASS_FX_PEAKEQ, 0));
    auto b = band(0, 1000, 9);
    ASSERT_TRUE(BASS_FX_DSP_SetParameters(h, BASS_FX_PEAKEQ, &b));
    const Pcm out = readAll(h);
    for (int c = 0; c < src.channels; ++c)
        EXPECT_NEAR(fixtures::toneLevelDb(out, c, 1000) - fixtures::toneLevelDb(src, c, 1000), 9,
                    0.5)
            << "channel " << c;
}

// Sixteen channels stretch in more than one group: a sound in channels of different groups
// stays aligned between them, whatever else the groups hold.
TEST_F(Tempo, SixteenChannelsStayAlignedAcrossTheirGroups) {
    const Pcm drums = fixtures::drumTrack(120, 3.0, 4);
    const Pcm hiss = fixtures::noise(3.0, 44100, 16, 0.2);
    Pcm p;
    p.channels = 16;
    p.samples.resize(size_t(drums.frames() * 16));
    for (int64_t f = 0; f < drums.frames(); ++f)
        for (int c = 0; c < 16; ++c)
            p.samples[size_t(f * 16 + c)] = c == 0 || c == 8
                                                ? drums.samples[size_t(f * 2)]
                                                : int16_t(drums.samples[size_t(f * 2)] / 2 +
                                                          hiss.samples[size_t(f * 16 + c)] / 2);
    const DWORD t = open(write("sixteen.wav", p));
    ASSERT_TRUE(BASS_FX_TempoSet(t, -25, 0, 2));
    const Pcm out = readAll(t);
    ASSERT_GT(out.frames(), 100000);
    int64_t worst = 0;
    for (int64_t f = 0; f < out.frames(); ++f)
        worst = std::max<int64_t>(
            worst, std::abs(out.samples[size_t(f * 16)] - out.samples[size_t(f * 16 + 8)]));
    EXPECT_LE(worst, 2);
}

INSTANTIATE_TEST_SUITE_P(OneToSixteen, ManyChannels, ::testing::Values(1, 2, 6, 9, 15, 16));

// A click track stretched by the default stretcher stays playable along: every click once, each
// within a few milliseconds of where the tempo puts it.
class ClickTiming : public Tempo, public ::testing::WithParamInterface<float> {};

TEST_P(ClickTiming, EveryClickComesOnceAndOnTime) {
    const float tempo = GetParam();
    const Pcm src = fixtures::clickTrack(120, 15.0, 44100, 2, 0.013);
    const DWORD t = open(write("clicks.wav", src));
    ASSERT_TRUE(BASS_FX_TempoSet(t, tempo, 0, -100));
    const auto timing =
        fixtures::clickTiming(src, readAll(t), 44100 * 0.5, 1.0 + double(tempo) / 100.0);
    EXPECT_GE(timing.clicks, 28);
    EXPECT_EQ(timing.missing, 0);
    EXPECT_EQ(timing.doubled, 0);
    EXPECT_LE(timing.spreadMs, 5.0);
    EXPECT_LE(std::abs(timing.meanOffsetMs), 3.0);  // all of them, not early or late together
}

INSTANTIATE_TEST_SUITE_P(SlowAndFast, ClickTiming, ::testing::Values(-60.f, -40.f, -30.f, 20.f));

// At low sample rates the default stretcher keeps a tone's pitch as finely as at 44.1 kHz (its
// splices, on whole samples, once bent it by up to 6.4 cents at 8 kHz).
class LowRates : public Tempo, public ::testing::WithParamInterface<int> {};

TEST_P(LowRates, ATonesPitchStaysWithinACent) {
    const int rate = GetParam();
    const DWORD t = open(write("tone.wav", fixtures::sine(440, 8.0, rate, 1)));
    ASSERT_TRUE(BASS_FX_TempoSet(t, -60, 0, 8));
    Pcm out = readAll(t);
    out.rate = rate;
    EXPECT_NEAR(double(out.frames()), 8.0 * rate / 0.4, 2.0);
    const double cents = 1200.0 * std::log2(fixtures::dominantFrequency(out, 0) / 440.0) - 800.0;
    EXPECT_LT(std::abs(cents), 1.0) << rate << " Hz";
}

INSTANTIATE_TEST_SUITE_P(EightToTwentyTwoKilohertz, LowRates,
                         ::testing::Values(8000, 11025, 22050));

}  // namespace

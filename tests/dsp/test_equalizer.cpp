// The seven-band equalizer set up on engine channels, measured on generated tones.
#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "effects/equalizer.h"
#include "engine/bass.h"
#include "tests/support/audio_fixtures.h"
#include "tests/support/channel_reader.h"

namespace {

// Decodes `path` with the equalizer on at the given slider values.
fixtures::Pcm decodeWithEq(const std::string& path,
                           const std::array<int, effects::kEqBands>* sliders) {
    const HSTREAM stream = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    EXPECT_NE(stream, 0u) << BASS_ErrorGetCode();
    BASS_FX_DSPPEAKEQ params{};
    if (sliders) effects::equalizerOn(stream, params, *sliders);
    fixtures::Pcm out = fixtures::readChannel(stream, 16384);
    BASS_StreamFree(stream);
    return out;
}

}  // namespace

TEST(Equalizer, SwitchingOnWritesEveryBandFromTheTable) {
    fixtures::TempDir tmp;
    const std::string path = tmp.file("tone48k.wav");
    fixtures::writeWav(path, fixtures::sine(1000, 0.2, 48000));
    const HSTREAM stream = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(stream, 0u);
    BASS_FX_DSPPEAKEQ params{};
    const std::array<int, effects::kEqBands> sliders = effects::kEqRemCurve;
    effects::equalizerOn(stream, params, sliders);
    for (int band = 0; band < effects::kEqBands; ++band) {
        BASS_FX_DSPPEAKEQ got{};
        got.lBand = band;
        ASSERT_TRUE(BASS_FX_DSP_GetParameters(stream, BASS_FX_PEAKEQ, &got)) << band;
        EXPECT_EQ(got.lFreq, 48000u);
        EXPECT_EQ(got.fBandwidth, 2.5f);
        EXPECT_EQ(got.fQ, 1.0f);
        EXPECT_EQ(got.fCenter, effects::kEqCentres[size_t(band)]);
        EXPECT_EQ(got.fGain, -float(sliders[size_t(band)]));
    }
    // A later slider change reaches only its own band.
    effects::equalizerSetBand(stream, params, 4, -6);
    BASS_FX_DSPPEAKEQ got{};
    got.lBand = 4;
    BASS_FX_DSP_GetParameters(stream, BASS_FX_PEAKEQ, &got);
    EXPECT_EQ(got.fGain, 6.0f);
    EXPECT_EQ(got.fCenter, 7500.0f);
    got.lBand = 5;
    BASS_FX_DSP_GetParameters(stream, BASS_FX_PEAKEQ, &got);
    EXPECT_EQ(got.fGain, 7.0f);

    // Off removes the effect; a slider change then asks for a band that is not there, harmlessly.
    effects::equalizerOff(stream);
    EXPECT_FALSE(BASS_FX_DSP_GetParameters(stream, BASS_FX_PEAKEQ, &got));
    effects::equalizerSetBand(stream, params, 2, 3);
    BASS_StreamFree(stream);

    EXPECT_EQ(effects::eqGainForSlider(10), -10.0f);
    EXPECT_EQ(effects::eqGainForSlider(-10), 10.0f);
}

TEST(Equalizer, ABandAtPlusTenRaisesAToneAtItsCentre) {
    fixtures::TempDir tmp;
    for (int band : {1, 3, 5}) {
        const double hz = effects::kEqCentres[size_t(band)];
        const std::string path = tmp.file("tone" + std::to_string(band) + ".wav");
        const auto tone = fixtures::sine(hz, 1.0, 44100, 2, 0.05);
        fixtures::writeWav(path, tone);
        std::array<int, effects::kEqBands> sliders{};
        sliders[size_t(band)] = -10;  // the top of the slider: +10 dB
        const auto boosted = decodeWithEq(path, &sliders);
        sliders[size_t(band)] = 10;
        const auto cut = decodeWithEq(path, &sliders);
        SCOPED_TRACE(hz);
        const double base = fixtures::toneLevelDb(tone, 0, hz);
        EXPECT_NEAR(fixtures::toneLevelDb(boosted, 0, hz) - base, 10.0, 1.0);
        EXPECT_NEAR(fixtures::toneLevelDb(boosted, 1, hz) - base, 10.0, 1.0);
        EXPECT_NEAR(fixtures::toneLevelDb(cut, 0, hz) - base, -10.0, 1.0);
    }
}

TEST(Equalizer, AllSlidersAtZeroLeaveTheSoundUnchanged) {
    fixtures::TempDir tmp;
    const std::string path = tmp.file("music.wav");
    const auto music = fixtures::drumTrack(120, 3.0);
    fixtures::writeWav(path, music);
    const std::array<int, effects::kEqBands> zero{};
    const auto plain = decodeWithEq(path, nullptr);
    const auto flat = decodeWithEq(path, &zero);
    ASSERT_EQ(plain.samples.size(), music.samples.size());
    ASSERT_EQ(flat.samples.size(), plain.samples.size());
    if (flat.samples != plain.samples) {
        for (int ch = 0; ch < 2; ++ch)
            EXPECT_NEAR(fixtures::rmsDb(flat, ch), fixtures::rmsDb(plain, ch), 0.01);
    }
}

TEST(Equalizer, OneChannelIsFilteredExactlyAsEachOfTwoEqualChannels) {
    // Mono and stereo run different cascades; from one to seven bands they must agree sample for
    // sample, block edges included.
    fixtures::TempDir tmp;
    const auto music = fixtures::drumTrack(120, 2.0);
    fixtures::Pcm mono{music.rate, 1, {}}, twin = music;
    for (int64_t f = 0; f < music.frames(); ++f) {
        mono.samples.push_back(music.samples[size_t(2 * f)]);
        twin.samples[size_t(2 * f + 1)] = music.samples[size_t(2 * f)];
    }
    fixtures::writeWav(tmp.file("mono.wav"), mono);
    fixtures::writeWav(tmp.file("twin.wav"), twin);
    for (const std::array<int, effects::kEqBands>& sliders :
         {std::array<int, effects::kEqBands>{0, 0, -8, 0, 0, 0, 0},
          {10, 7, 3, 0, -1, 7, 7},
          {-10, 5, 3, 2, -1, 7, -7}}) {
        const auto one = decodeWithEq(tmp.file("mono.wav"), &sliders);
        const auto two = decodeWithEq(tmp.file("twin.wav"), &sliders);
        ASSERT_EQ(one.samples.size() * 2, two.samples.size());
        size_t differ = 0;
        for (size_t i = 0; i < one.samples.size(); ++i)
            differ +=
                one.samples[i] != two.samples[2 * i] || one.samples[i] != two.samples[2 * i + 1];
        EXPECT_EQ(differ, 0u) << sliders[0] << "," << sliders[2];
    }
}

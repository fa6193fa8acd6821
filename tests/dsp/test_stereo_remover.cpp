// The remover that keeps the stereo picture, through the engine and the effect chain.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "effects/chain.h"
#include "engine/bass.h"
#include "engine/engine_ext.h"
#include "tests/support/audio_fixtures.h"
#include "tests/support/band_power.h"
#include "tests/support/channel_reader.h"

namespace {

constexpr int kRate = 44100;
constexpr double kVoiceHz = 200, kInstrumentHz = 310;

// A centred voice (eight harmonics, 1 % vibrato at 5.5 Hz) and a plucked instrument panned 70 %
// left (odd partials decaying over 0.3 s, struck every half second). Either part can be left out.
fixtures::Pcm scene(bool voice, bool instrument, double seconds = 4.0) {
    fixtures::Pcm p{kRate, 2, std::vector<int16_t>(size_t(seconds * kRate) * 2)};
    const double theta = (1.0 - 0.7) * M_PI / 4;  // constant-power pan
    double phase = 0;
    for (size_t f = 0; f < p.samples.size() / 2; ++f) {
        const double t = double(f) / kRate;
        phase += 2 * M_PI * kVoiceHz * (1 + 0.01 * std::sin(2 * M_PI * 5.5 * t)) / kRate;
        double v = 0, s = 0;
        for (int h = 1; h <= 8; ++h) v += 0.3 / h * std::sin(h * phase);
        const double since = std::fmod(t, 0.5);
        for (int k : {1, 3, 5}) s += 0.5 / k * std::sin(2 * M_PI * kInstrumentHz * k * t);
        s *= std::exp(-since / 0.3);
        const double l = (voice ? v * 0.7 : 0) + (instrument ? s * std::cos(theta) : 0);
        const double r = (voice ? v * 0.7 : 0) + (instrument ? s * std::sin(theta) : 0);
        p.samples[2 * f] = int16_t(std::lrint(l * 12000));
        p.samples[2 * f + 1] = int16_t(std::lrint(r * 12000));
    }
    return p;
}

// Power (dB) of one channel in the bands around the voice's harmonics, or the instrument's
// partials: an averaged spectrum over the whole signal.
double partDb(const fixtures::Pcm& p, int channel, bool voice) {
    std::vector<std::pair<double, double>> bands;
    if (voice)
        for (int h = 1; h <= 8; ++h) bands.emplace_back(kVoiceHz * h, kVoiceHz * h * 0.012 + 8);
    else
        for (int k : {1, 3, 5}) bands.emplace_back(kInstrumentHz * k, 8);
    return fixtures::bandPowerDb(p, channel, bands);
}

struct Reading {
    double seekSeconds = 0;
    double loopFrom = 0, loopTo = 0;  // an A-B loop (seconds) when loopTo > 0
    int64_t frames = -1;              // everything when -1
    int64_t offAfter = -1;            // the remover switched off after so many frames
};

// What a decoding stream of `path` delivers through the tempo channel with `chain` applied;
// `position`, when given, gets the stream's position after the reading.
fixtures::Pcm render(const std::string& path, const effects::Chain& chain, Reading how = {},
                     int64_t* position = nullptr) {
    const HSTREAM stream = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    const HSTREAM tempo = BASS_FX_TempoCreate(stream, BASS_STREAM_DECODE | BASS_FX_FREESOURCE);
    effects::ChainApplier applier;
    applier.bind(stream, tempo);
    applier.apply(chain);
    if (how.seekSeconds > 0)
        BASS_ChannelSetPosition(tempo, BASS_ChannelSeconds2Bytes(tempo, float(how.seekSeconds)));
    if (how.loopTo > 0)
        engine::setLoop(tempo, BASS_ChannelSeconds2Bytes(tempo, float(how.loopFrom)),
                        BASS_ChannelSeconds2Bytes(tempo, float(how.loopTo)));
    fixtures::Pcm out;
    if (how.frames < 0) {
        out = fixtures::readChannel(tempo, 7004 * 4);
    } else {
        BASS_CHANNELINFO info{};
        BASS_ChannelGetInfo(tempo, &info);
        out = {int(info.freq), int(info.chans), {}};
        out.samples.resize(size_t(how.frames * info.chans));
        // Odd block sizes, so that blocks and the remover's frames never line up.
        for (int64_t got = 0; got < how.frames;) {
            if (how.offAfter >= 0 && got >= how.offAfter) applier.apply(effects::Chain{});
            const int64_t want = std::min<int64_t>(how.frames - got, 3001);
            const int n = BASS_ChannelGetData(tempo, out.samples.data() + got * info.chans,
                                              DWORD(want * 2 * info.chans));
            if (n <= 0) break;
            got += n / (2 * int(info.chans));
        }
    }
    if (position) *position = int64_t(BASS_ChannelGetPosition(stream) / QWORD(2 * out.channels));
    applier.detach();
    BASS_StreamFree(tempo);
    return out;
}

effects::Chain stereoChain(float strength = 1.0f, float tempo = 0.0f) {
    effects::Chain c;
    c.remover = effects::Remover::Stereo;
    c.removerGainSlider = 9;  // gain 1
    c.stereoStrength = strength;
    c.tempoPercent = tempo;
    return c;
}

}  // namespace

TEST(StereoRemover, TakesOutTheCentredVoiceAndLeavesThePannedInstrumentInPlace) {
    fixtures::TempDir tmp;
    const std::string path = tmp.file("scene.wav");
    const fixtures::Pcm mix = scene(true, true), voice = scene(true, false),
                        instrument = scene(false, true);
    fixtures::writeWav(path, mix);
    const fixtures::Pcm out = render(path, stereoChain());
    ASSERT_EQ(out.frames(), mix.frames());
    for (int ch = 0; ch < 2; ++ch) {
        EXPECT_LE(partDb(out, ch, true) - partDb(voice, ch, true), -25.0) << "channel " << ch;
        EXPECT_NEAR(partDb(out, ch, false), partDb(instrument, ch, false), 1.5) << "channel " << ch;
    }
    EXPECT_GE(partDb(out, 0, false) - partDb(out, 1, false), 5.0);
}

// The spectral frames lag the input; the engine makes up for it, so that a strength of 0 gives
// the sound without the remover, frame for frame and at the same position, from the start, after a
// seek, through an A-B loop and when it is switched off, for any channel count; and the output
// has the plain remover's length at any tempo.
TEST(StereoRemover, LinesUpWithTheSoundWithoutItAndKeepsItsLength) {
    fixtures::TempDir tmp;
    for (int channels : {1, 2, 6}) {
        const std::string path = tmp.file("n" + std::to_string(channels) + ".wav");
        fixtures::writeWav(path, fixtures::noise(1.3, kRate, channels, 0.3));
        // Shorter than the remover's frames.
        const std::string shortPath = tmp.file("s" + std::to_string(channels) + ".wav");
        fixtures::writeWav(shortPath, fixtures::noise(0.03, kRate, channels, 0.3));
        const std::pair<std::string, Reading> readings[] = {
            {path, {}},
            {path, {0.5}},
            {path, {0, 0.2, 0.6, int64_t(1.5 * kRate)}},
            {path, {1.27}},  // fewer frames left than the remover's
            {path, {0, 0, 0, 50000, 20000}},
            {shortPath, {}},
        };
        for (const auto& [file, how] : readings) {
            const std::string where = file + ", " + std::to_string(channels) + " channels, seek " +
                                      std::to_string(how.seekSeconds) + ", loop to " +
                                      std::to_string(how.loopTo) + ", off after " +
                                      std::to_string(how.offAfter);
            int64_t plainAt = 0, stereoAt = 0;
            const fixtures::Pcm plain = render(file, effects::Chain{}, how, &plainAt);
            const fixtures::Pcm out = render(file, stereoChain(0.0f), how, &stereoAt);
            ASSERT_EQ(out.frames(), plain.frames()) << where;
            EXPECT_EQ(stereoAt, plainAt) << where;
            int worst = 0;
            for (size_t i = 0; i < out.samples.size(); ++i)
                worst = std::max(worst, std::abs(out.samples[i] - plain.samples[i]));
            EXPECT_LE(worst, 1) << where;
        }
        effects::Chain plain = stereoChain(1.0f, 20.0f);
        const int64_t stereoLength = render(path, plain).frames();
        plain.remover = effects::Remover::Full;
        EXPECT_EQ(stereoLength, render(path, plain).frames()) << channels << " channels";
    }
}

// The window's "Process" and `quorvin render` write the same bytes: the pipeline driven block by
// block as the window drives it against the command line's output file, on a music-like mix.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/render_pipeline.h"
#include "tests/cli/run_quorvin.h"
#include "tests/support/audio_fixtures.h"

namespace {

// Drums and bass from the shared fixture, a voice-like part in the centre (a sung melody: a
// harmonic-rich tone with vibrato) and two parts panned to the sides.
fixtures::Pcm musicMix(double seconds) {
    fixtures::Pcm mix = fixtures::drumTrack(112, seconds, 3);
    const double notes[] = {220.0, 246.9, 261.6, 293.7, 329.6, 293.7, 261.6, 246.9};
    double phase = 0;
    for (int64_t f = 0; f < mix.frames(); ++f) {
        const double t = double(f) / mix.rate;
        const double note = notes[int64_t(t / 0.5) % 8];
        phase += 2 * M_PI * note * (1.0 + 0.01 * std::sin(2 * M_PI * 5.5 * t)) / mix.rate;
        double voice = 0;
        for (int h = 1; h <= 6; ++h) voice += std::sin(h * phase) / h;
        const double left = 0.5 * std::sin(2 * M_PI * 659.3 * t) * (0.6 + 0.4 * std::sin(t));
        const double right = 0.5 * std::sin(2 * M_PI * 523.3 * t * (1 + (int64_t(t * 4) % 3)));
        for (int c = 0; c < 2; ++c) {
            const double v =
                mix.samples[size_t(2 * f + c)] + 5000.0 * voice + 4000.0 * (c ? right : left);
            mix.samples[size_t(2 * f + c)] = int16_t(std::lrint(std::clamp(v, -32768.0, 32767.0)));
        }
    }
    return mix;
}

// The render as the window runs it: settings from the sliders and check boxes, then step() until
// the channel ends, then finish().
std::vector<uint8_t> renderAsTheWindowDoes(const std::string& in, const std::string& out,
                                           const render::RenderSettings& s) {
    render::RenderPipeline p;
    EXPECT_TRUE(p.open(in, out, s)) << p.error();
    while (p.step() == render::RenderPipeline::Step::More) {
    }
    EXPECT_TRUE(p.finish());
    p.close();
    return fixtures::readBytes(out);
}

}  // namespace

TEST(RenderSameAsCommandLine, ProcessAndQuorvinRenderWriteTheSameBytes) {
    fixtures::TempDir tmp;
    const std::string in = tmp.file("song.wav");
    fixtures::writeWav(in, musicMix(6.0));
    struct Case {
        std::vector<std::string> args;
        render::RenderSettings settings;
    };
    render::RenderSettings remover;
    remover.chain.tempoPercent = -10;
    remover.chain.remover = effects::Remover::Full;
    remover.chain.removerGainSlider = 7;  // "Gain Audio" moved: a level of 3
    render::RenderSettings keepBassEq = remover;
    keepBassEq.chain.removerGainSlider = 9;
    keepBassEq.chain.tempoPercent = 20;
    keepBassEq.chain.pitchSemitones = -2;
    keepBassEq.chain.remover = effects::Remover::KeepBass;
    keepBassEq.chain.equalizer = true;
    keepBassEq.chain.eqSliders = {-3, 0, 2, 0, 0, 0, 1};
    render::RenderSettings stereo;
    stereo.chain.tempoPercent = 10;
    stereo.chain.remover = effects::Remover::Stereo;
    stereo.chain.stereoStrength = 0.7f;
    stereo.chain.stereoLowHz = 150;
    stereo.chain.stereoHighHz = 6000;
    render::RenderSettings highQuality;
    highQuality.chain.tempoPercent = -10;
    highQuality.chain.pitchSemitones = 1;
    highQuality.highQuality = true;
    for (const Case& c :
         {Case{{"--tempo", "-10", "--vocal-remover", "--remover-gain", "3"}, remover},
          Case{{"--tempo", "20", "--pitch", "-2", "--vocal-remover=keep-bass", "--eq",
                "3,0,-2,0,0,0,-1"},
               keepBassEq},
          Case{{"--tempo", "10", "--vocal-remover=stereo", "--remover-strength", "0.7",
                "--remover-range", "150,6000"},
               stereo},
          Case{{"--tempo", "-10", "--pitch", "1", "--quality", "high"}, highQuality}}) {
        std::vector<std::string> args = {"render", in, tmp.file("cli.wav")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto run = clitest::quorvin(args, tmp);
        ASSERT_EQ(run.status, 0) << run.err;
        const auto window = renderAsTheWindowDoes(in, tmp.file("newwave.wav"), c.settings);
        EXPECT_GT(window.size(), 44u + 4 * 44100u);
        EXPECT_TRUE(fixtures::readBytes(tmp.file("cli.wav")) == window) << c.args[1];
    }
}

TEST(RenderSameAsCommandLine, TheRemoverOnAMonoFileSaysSoAndRendersItUnchanged) {
    fixtures::TempDir tmp;
    const auto stereo = musicMix(1.0);
    fixtures::Pcm mono{44100, 1, {}};
    for (int64_t f = 0; f < stereo.frames(); ++f)
        mono.samples.push_back(stereo.samples[size_t(2 * f)]);
    const std::string in = tmp.file("mono.wav");
    fixtures::writeWav(in, mono);
    for (const char* flag :
         {"--vocal-remover", "--vocal-remover=keep-bass", "--vocal-remover=stereo"}) {
        const auto run =
            clitest::quorvin({"render", in, tmp.file("out.wav"), flag, "--remover-gain", "0"}, tmp);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find("stereo sources only"), std::string::npos) << run.err;
        const auto got = fixtures::readAudio(tmp.file("out.wav"));
        EXPECT_EQ(got.channels, 1);
        EXPECT_TRUE(got.samples == mono.samples) << flag;
    }
}

// What is heard is what is saved: the window's effect chain, set before Play or changed while it
// plays, sounds on the output as "Process" writes it; and the faults where the two parted.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <atomic>
#include <cmath>

#include "player/waveform/waveform_view.h"
#include "tests/app/window_fixture.h"
#include "tests/support/held_write.h"

namespace {

// A centred "voice" at 440 Hz, 220 Hz on the left, 880 Hz on the right.
fixtures::Pcm mix(double seconds = 4.0) {
    return fixtures::stereoMix(440, 220, 880, seconds);
}

enum class Remover { Off, Full, KeepBass, KeepStereo };
enum class When { BeforePlay, DuringPlay };

struct ChainCase {
    Remover remover;
    bool equalizer;
    int tempo;
    When when;
};

std::string caseName(const testing::TestParamInfo<ChainCase>& info) {
    const ChainCase& c = info.param;
    const char* remover[] = {"NoRemover", "Remover", "KeepBass", "KeepStereo"};
    return std::string(remover[int(c.remover)]) + (c.equalizer ? "Eq" : "NoEq") + "Tempo" +
           std::to_string(c.tempo) + (c.when == When::BeforePlay ? "Before" : "During");
}

std::vector<ChainCase> allCases() {
    std::vector<ChainCase> cases;
    for (Remover r : {Remover::Off, Remover::Full, Remover::KeepBass, Remover::KeepStereo})
        for (bool eq : {false, true})
            for (int tempo : {0, 20})
                for (When when : {When::BeforePlay, When::DuringPlay})
                    cases.push_back({r, eq, tempo, when});
    return cases;
}

// The level of a tone through a stretcher: each splice may shift its phase, which a measure over
// the whole signal reads as a loss that depends on how many splices it spans. The level is taken
// in 100 ms blocks and their powers averaged.
double levelDb(const fixtures::Pcm& p, int channel, double hz) {
    const int64_t block = p.rate / 10;
    fixtures::Pcm part{p.rate, p.channels, {}};
    double power = 0;
    int blocks = 0;
    for (int64_t at = 0; at + block <= p.frames(); at += block, ++blocks) {
        part.samples.assign(p.samples.begin() + at * p.channels,
                            p.samples.begin() + (at + block) * p.channels);
        power += std::pow(10.0, fixtures::toneLevelDb(part, channel, hz) / 10);
    }
    return blocks ? 10 * std::log10(power / blocks) : -200;
}

}  // namespace

class ChainWindow : public WindowTest {
  protected:
    // What the output plays in the next `seconds`, as 16-bit stereo.
    fixtures::Pcm hear(double seconds) {
        std::vector<float> out(size_t(seconds * 44100) * 2);
        engine::nullOutputRead(out.data(), int64_t(out.size() / 2));
        fixtures::Pcm pcm;
        pcm.samples.reserve(out.size());
        for (float v : out)
            pcm.samples.push_back(
                int16_t(std::lrint(std::clamp(v * 32768.0f, -32768.0f, 32767.0f))));
        return pcm;
    }
    void setEffects(const ChainCase& c) {
        if (c.remover == Remover::KeepBass) w->ui().chkKeepBass->setChecked(true);
        if (c.remover == Remover::KeepStereo) w->ui().chkKeepStereo->setChecked(true);
        if (c.remover != Remover::Off) w->ui().Chkrem->click();
        if (c.equalizer) {
            w->ui().CEq->click();  // with the remover too: both are heard
            userMove(w->ui().sldEQ[1], -8);
        }
    }
    fixtures::Pcm process(const std::string& out) {
        w->ui().CmdStop->click();
        desk->saveAnswers.push_back(out);
        w->ui().btnConvert->click();
        return fixtures::readAudio(out);
    }
};

class ChainMatrix : public ChainWindow, public testing::WithParamInterface<ChainCase> {};

TEST_P(ChainMatrix, WhatPlaysIsWhatProcessWrites) {
    const ChainCase c = GetParam();
    const fixtures::Pcm source = mix();
    load(wav("mix.wav", source));
    if (c.when == When::BeforePlay) setEffects(c);
    w->ui().CmdPlay->click();
    if (c.when == When::DuringPlay) {
        hear(0.5);
        setEffects(c);
    }
    userMove(w->ui().sldTempo[0], c.tempo);  // Play sets the tempo to 0: moved after it
    userMove(w->ui().sldVolume, 0);          // full volume
    const double left = (c.when == When::DuringPlay ? 3.5 : 4.0) / (1 + c.tempo / 100.0);
    // The first half second after a change is what the play channel had buffered already.
    const double settle = c.when == When::DuringPlay ? 0.5 : 0.0;
    hear(settle);
    const fixtures::Pcm heard = hear(left - settle - 0.05);
    const fixtures::Pcm saved = process(sources.file("saved.wav"));
    ASSERT_EQ(saved.channels, 2);

    if (c.tempo == 0 && c.when == When::BeforePlay) {
        // The same samples, from the first one.
        ASSERT_LE(heard.samples.size(), saved.samples.size());
        const std::vector<int16_t> head(saved.samples.begin(),
                                        saved.samples.begin() + long(heard.samples.size()));
        EXPECT_TRUE(head == heard.samples);
        return;
    }
    for (int channel : {0, 1})
        for (double hz : {220.0, 440.0, 880.0}) {
            const double want = levelDb(saved, channel, hz);
            // A tone the chain took out is below -50 dB in both: what is left of it (the splices'
            // residue, 45 dB under the tone) differs with where the stretcher started.
            if (want < -50) {
                EXPECT_LT(levelDb(heard, channel, hz), -50) << channel << " " << hz;
                continue;
            }
            EXPECT_NEAR(levelDb(heard, channel, hz), want, 0.5) << channel << " " << hz;
        }
}

INSTANTIATE_TEST_SUITE_P(Chains, ChainMatrix, testing::ValuesIn(allCases()), caseName);

// The sides heard, chosen before Play or while it plays, with the remover on or off: the output
// plays what "Process" writes, both sides alike, with the side that was not chosen gone.
struct SidesCase {
    int choice;  // the list's row: 1 left, 2 right, 3 mono
    When when;
    bool remover;
};

class SidesHeard : public ChainWindow, public testing::WithParamInterface<SidesCase> {};

TEST_P(SidesHeard, AreWhatProcessWrites) {
    const SidesCase c = GetParam();
    load(wav("mix.wav", mix()));
    const auto choose = [&] {
        w->ui().cboChannels->setCurrentIndex(c.choice);
        emit w->ui().cboChannels->activated(c.choice);
        if (!c.remover) return;
        w->ui().chkKeepStereo->setChecked(true);
        w->ui().Chkrem->click();
    };
    if (c.when == When::BeforePlay) choose();
    w->ui().CmdPlay->click();
    userMove(w->ui().sldVolume, 0);
    hear(0.5);
    if (c.when == When::DuringPlay) {
        choose();
        hear(0.5);  // what was buffered before the change
    }
    const fixtures::Pcm heard = hear(2.5);
    const fixtures::Pcm saved = process(sources.file("saved.wav"));
    // 220 Hz is on the left, 880 Hz on the right, the voice (440 Hz) in the centre.
    const bool left = c.choice != 2, right = c.choice != 1;
    for (const fixtures::Pcm* p : {&heard, &saved})
        for (int channel : {0, 1}) {
            const std::string what =
                (p == &heard ? "heard, " : "saved, ") + std::to_string(channel);
            EXPECT_EQ(levelDb(*p, channel, 220) > -50, left) << what;
            EXPECT_EQ(levelDb(*p, channel, 880) > -50, right) << what;
            EXPECT_EQ(levelDb(*p, channel, 440) > -50, !c.remover) << what;
            EXPECT_NEAR(levelDb(*p, channel, c.choice == 2 ? 880 : 220),
                        levelDb(*p, 1 - channel, c.choice == 2 ? 880 : 220), 0.1)
                << what;
        }
    EXPECT_NEAR(levelDb(heard, 0, c.choice == 2 ? 880 : 220),
                levelDb(saved, 0, c.choice == 2 ? 880 : 220), 0.5);
}

std::string sidesName(const testing::TestParamInfo<SidesCase>& info) {
    const char* side[] = {"", "Left", "Right", "Mono"};
    return std::string(side[info.param.choice]) +
           (info.param.when == When::BeforePlay ? "Before" : "During") +
           (info.param.remover ? "Remover" : "");
}

INSTANTIATE_TEST_SUITE_P(Sides, SidesHeard,
                         testing::Values(SidesCase{1, When::BeforePlay, false},
                                         SidesCase{2, When::DuringPlay, false},
                                         SidesCase{3, When::BeforePlay, true},
                                         SidesCase{1, When::DuringPlay, true}),
                         sidesName);

// The cents are heard and saved alike: a 440 Hz tone at -2 semitones -50 cents, set while it
// plays, sounds and is written at 440 * 2^(-2.5/12) = 380.8 Hz.
TEST_F(ChainWindow, CentsArePlayedAndProcessedAlike) {
    load(wav("a440.wav", fixtures::sine(440, 4.0)));
    w->ui().CmdPlay->click();
    hear(0.3);
    userMove(w->ui().sldTempo[2], -2);
    w->ui().spnCents->setValue(-50);
    userMove(w->ui().sldVolume, 0);
    hear(0.5);  // what was buffered before the change
    const double want = 440.0 * std::pow(2.0, -2.5 / 12.0);
    const auto cents = [&](const fixtures::Pcm& pcm) {
        return 1200.0 * std::log2(fixtures::dominantFrequency(pcm, 0) / want);
    };
    // 1.2 s of played sound holds a few of the stretcher's splices, each of which may move the
    // phase: the mean frequency is only that precise there. Missing cents would be 50 off.
    EXPECT_NEAR(cents(hear(1.5)), 0.0, 0.5);
    EXPECT_NEAR(cents(process(sources.file("saved.wav"))), 0.0, 0.2);
}

// "Keep stereo"'s strength and band, changed while it plays: at strength 0, or with the voice
// (440 Hz) below the band, the voice is heard again, and Process writes it as it is heard.
class StereoSettings : public ChainWindow, public testing::WithParamInterface<bool> {};

TEST_P(StereoSettings, ReachWhatPlaysAndWhatProcessWrites) {
    const bool strength = GetParam();
    load(wav("mix.wav", mix()));
    EXPECT_FALSE(w->ui().spnStereoStrength->isEnabled());
    w->ui().chkKeepStereo->setChecked(true);
    EXPECT_TRUE(w->ui().spnStereoFrom->isEnabled());
    w->ui().Chkrem->click();
    w->ui().CmdPlay->click();
    userMove(w->ui().sldVolume, 0);
    hear(0.5);
    EXPECT_LT(levelDb(hear(0.5), 0, 440), -40);
    if (strength)
        w->ui().spnStereoStrength->setValue(0);
    else
        w->ui().spnStereoFrom->setValue(600);
    hear(0.5);  // what was buffered before the change
    const fixtures::Pcm heard = hear(1.5);
    const fixtures::Pcm saved = process(sources.file("saved.wav"));
    const double source = levelDb(mix(), 0, 440);
    EXPECT_NEAR(levelDb(heard, 0, 440), source, 1.0);
    EXPECT_NEAR(levelDb(saved, 0, 440), source, 1.0);
}

INSTANTIATE_TEST_SUITE_P(StrengthOrBand, StereoSettings, testing::Bool());

TEST_F(ChainWindow, HighQualityPlaybackRemovesTheVoiceBeforeStretching) {
    w->ui().mnuHighQualityPlayback->setChecked(true);
    load(wav("mix.wav", mix(3.0)));
    w->ui().Chkrem->click();
    w->ui().CmdPlay->click();
    userMove(w->ui().sldTempo[0], 20);
    hear(0.5);
    const fixtures::Pcm heard = hear(1.5);
    EXPECT_LT(fixtures::toneLevelDb(heard, 0, 440), fixtures::toneLevelDb(heard, 0, 220) - 40);
}

TEST_F(ChainWindow, KeepBassChangesOnlyTheRemover) {
    load(wav("mix.wav", mix(2.0)));
    w->ui().chkEqualizer->setChecked(true);
    w->ui().Chkrem->click();  // the remover with its curve, applied
    w->ui().CmdPlay->click();
    w->ui().chkKeepBass->click();
    EXPECT_TRUE(w->ui().chkEqualizer->isChecked());
    EXPECT_TRUE(w->session().chain.equalizer);
    BASS_FX_DSPPEAKEQ band{};
    EXPECT_TRUE(BASS_FX_DSP_GetParameters(BASS_FX_TempoGetSource(w->session().PlayChannel),
                                          BASS_FX_PEAKEQ, &band));
}

TEST_F(ChainWindow, SwitchingTheRemoverOffDuringARenderReachesTheRestOfTheFile) {
    load(wav("mix.wav", fixtures::stereoMix(440, 220, 880, 20.0)));
    w->ui().Chkrem->click();
    w->ui().CmdPlay->click();
    w->ui().CmdStop->click();
    // The render's writer waits at its second block of audio until the user has switched the
    // remover off, from the window, which answers while the render runs on.
    std::atomic<bool> switched{false};
    fixtures::HeldWrite held(3, [&] { return switched.load(); });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!held.waiting() || switched) return;
        w->ui().Chkrem->click();
        switched = true;
    });
    poll.start(1);
    desk->saveAnswers.push_back(sources.file("out.wav"));
    w->ui().btnConvert->click();
    EXPECT_TRUE(switched);
    const fixtures::Pcm out = fixtures::readAudio(sources.file("out.wav"));
    fixtures::Pcm tail = out;
    // The second quarter: the switch lands within a second of where the render was.
    tail.samples.assign(out.samples.begin() + long(out.samples.size() / 8) * 2,
                        out.samples.begin() + long(out.samples.size() / 4) * 2);
    EXPECT_GT(fixtures::toneLevelDb(tail, 0, 440), -20);  // the voice is back
    EXPECT_GT(std::abs(fixtures::toneLevelDb(tail, 0, 880) - fixtures::toneLevelDb(tail, 1, 880)),
              20);  // and left and right differ
}

TEST_F(ChainWindow, SwitchingTheRemoverOnNeverLetsItsGainSilenceTheSound) {
    load(wav("mix.wav", mix(1.0)));
    w->ui().Chkrem->click();
    w->ui().Chkrem->click();  // off: the gain slider goes to 10
    std::vector<int> gains;   // the gain slider of every chain applied with the remover on
    w->session().renderChain = [&](const effects::Chain& c) {
        if (c.remover != effects::Remover::Off) gains.push_back(c.removerGainSlider);
    };
    w->ui().Chkrem->click();
    w->session().renderChain = nullptr;
    ASSERT_FALSE(gains.empty());
    EXPECT_EQ(std::count(gains.begin(), gains.end(), 9), long(gains.size()));
}

TEST_F(ChainWindow, LoadAfterAMonoFileSaysNothingBeforeTheDialog) {
    load(wav("mono.wav", fixtures::sine(440, 1.0, 44100, 1)));
    w->ui().Chkrem->click();
    ASSERT_EQ(desk->messages.size(), 1u);  // "Only Stereo "
    load(wav("mix.wav", mix(1.0)));
    EXPECT_EQ(desk->messages.size(), 1u);
    EXPECT_FALSE(w->ui().Chkrem->isChecked());
}

TEST_F(ChainWindow, PeriodicBpmShowsTheDecodedOneUntilItsFirstPeriodEnds) {
    load(wav("drums.wav", fixtures::drumTrack(120, 12.0)));
    w->ui().chkBPMCallback->setChecked(true);
    w->ui().CmdPlay->click();
    ASSERT_TRUE(processUntil([&] { return !w->bpm().detecting(); }, 10000));
    userMove(w->ui().sldTempo[0], 10);
    EXPECT_NE(w->ui().lblBPM->text(), "BPM: 0.00");
}

TEST_F(ChainWindow, ALoopDraggedBeforePlayIsPlayedFromItsStart) {
    load(wav("mix.wav", mix(4.0)));
    emit w->ui().wavOverview->loopSelected(0.7, 2.0);  // 0.7 s is a whole frame, not in float
    w->ui().CmdPlay->click();
    QWORD a = 0, b = 0;
    ASSERT_TRUE(engine::getLoop(w->session().PlayChannel, &a, &b));
    EXPECT_EQ(BASS_ChannelGetPosition(w->session().PlayChannel), a);  // not a frame before it
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(w->session().PlayChannel, a), 0.7, 0.01);
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(w->session().PlayChannel, b), 2.0, 0.01);
    EXPECT_NEAR(w->transport().loopStart(), 0.7, 0.01);
    hear(0.1);
    const double at = BASS_ChannelBytes2Seconds(w->session().PlayChannel,
                                                BASS_ChannelGetPosition(w->session().PlayChannel));
    EXPECT_GE(at, 0.7);
    EXPECT_LT(at, 2.0);
}

TEST_F(ChainWindow, EveryControlHasItsOwnAccessibleName) {
    const QStringList names = {"Play",
                               "Stop",
                               "Process",
                               "Tempo",
                               "Pitch",
                               "Volume",
                               "Play position",
                               "A",
                               "B",
                               "Equalizer on / off",
                               "Peaking Equalizer",
                               "Vocal remover on / off",
                               "Keep bass",
                               "Sides heard",
                               "80 Hz",
                               "200 Hz",
                               "1.5 kHz",
                               "4 kHz",
                               "7.5 kHz",
                               "10 kHz",
                               "12 kHz",
                               "Pause",
                               "Pitch cents",
                               "Recording's A in Hz",
                               "Loops",
                               "Markers",
                               "Speed trainer",
                               "Count-in clicks"};
    QStringList found;
    for (QWidget* c : w->findChildren<QWidget*>())
        if (!c->accessibleName().isEmpty()) found << c->accessibleName();
    for (const QString& name : names) EXPECT_EQ(found.count(name), 1) << name.toStdString();
    EXPECT_EQ(w->ui().btnLoadFile->text(), "Load Audio File");

    // Tab reads the window as it is laid out: each row before the next, every frame whole.
    const app::MainControls& c = w->ui();
    QList<QWidget*> chain;
    for (QWidget* at = c.btnLoadFile->nextInFocusChain(); at != c.btnLoadFile;
         at = at->nextInFocusChain())
        chain << at;
    const QObject* rows[] = {c.CmdPause,    c.chkProcessLoop, c.cboLoops,         c.cmdLoopDelete,
                             c.sldPosition, c.lblTempo,       c.spnReferenceA,    c.sldVolume,
                             c.cmdBpmTap,   c.chkTrainer,     c.spnTrainerTarget, c.Chkrem,
                             c.sldEQ[6],    c.Combo2};
    for (size_t i = 1; i < std::size(rows); ++i)
        EXPECT_LT(chain.indexOf(rows[i - 1]), chain.indexOf(rows[i]))
            << rows[i - 1]->objectName().toStdString();
}

TEST_F(ChainWindow, AFileThePlayerCannotTakeIsRefusedAtLoad) {
    fixtures::Pcm wide;
    wide.channels = 17;
    wide.samples.assign(17 * 4410, 0);
    load(wav("wide.wav", wide));
    ASSERT_EQ(desk->messages.size(), 1u);
    EXPECT_NE(desk->messages[0].text.find("wide.wav"), std::string::npos);
    EXPECT_FALSE(w->ui().CmdPlay->isEnabled());
    EXPECT_EQ(w->ui().btnLoadFile->text(), "Load Audio File");
}

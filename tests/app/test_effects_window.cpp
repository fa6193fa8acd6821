// The vocal remover and equalizer switches in the window: the order of their steps, what they do
// to each other and to the sliders, and what reaches the engine.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <atomic>

#include "effects/chain.h"
#include "tests/app/window_fixture.h"
#include "tests/support/held_write.h"

namespace {

std::array<int, 7> eqSliders(const app::frmWriteWave& w) {
    std::array<int, 7> v{};
    for (int i = 0; i < 7; ++i) v[i] = w.ui().sldEQ[i]->value();
    return v;
}

// Where the window's effects sit: on the stream the play channel's stretcher reads.
DWORD effectsOf(app::frmWriteWave& w) {
    return BASS_FX_TempoGetSource(w.session().PlayChannel);
}

// The gain the engine holds for a band of the equalizer on `channel`; nothing when it is off.
std::optional<float> bandGain(DWORD channel, int band) {
    BASS_FX_DSPPEAKEQ p{};
    p.lBand = band;
    if (!BASS_FX_DSP_GetParameters(channel, BASS_FX_PEAKEQ, &p)) return std::nullopt;
    return p.fGain;
}

std::optional<float> gainAmp(DWORD channel) {
    BASS_FX_DSPGAIN g{};
    if (!BASS_FX_DSP_GetParameters(channel, BASS_FX_GAIN, &g)) return std::nullopt;
    return g.fAmp;
}

constexpr std::array<int, 7> kCurve = {-10, -7, -3, 0, 1, -7, -7};
constexpr std::array<int, 7> kFlat = {};

}  // namespace

class EffectsWindow : public WindowTest {
  protected:
    void playStereo() { loadAndPlay(wav("mix.wav", fixtures::stereoMix(440, 220, 880, 3.0))); }
};

TEST_F(EffectsWindow, RemoverOnClearsTheEqualizerButtonAndLoadsItsCurve) {
    playStereo();
    w->ui().CEq->setChecked(true);
    EXPECT_FALSE(w->ui().Label5->isHidden());
    EXPECT_TRUE(bandGain(effectsOf(*w), 0).has_value());

    w->ui().Chkrem->click();
    EXPECT_TRUE(w->ui().Chkrem->isChecked());
    EXPECT_FALSE(w->ui().CEq->isChecked());
    EXPECT_TRUE(w->ui().Label5->isHidden());
    EXPECT_TRUE(w->ui().LblRem->isEnabled());
    EXPECT_EQ(eqSliders(*w), kCurve);
    // "Peaking Equalizer" is clear: the curve is shown but not applied.
    EXPECT_FALSE(bandGain(effectsOf(*w), 0).has_value());
    EXPECT_EQ(w->ui().vcompr[0]->value(), 9);
    EXPECT_EQ(gainAmp(effectsOf(*w)), 1.0f);
    EXPECT_EQ(w->session().chain.remover, effects::Remover::Full);

    userMove(w->ui().vcompr[0], 4);
    EXPECT_EQ(gainAmp(effectsOf(*w)), 6.0f);
    EXPECT_TRUE(desk->messages.empty());
}

TEST_F(EffectsWindow, RemoverOnWithPeakingEqualizerAppliesTheCurve) {
    playStereo();
    w->ui().chkEqualizer->setChecked(true);
    w->ui().Chkrem->click();
    for (int band = 0; band < 7; ++band)
        EXPECT_EQ(bandGain(effectsOf(*w), band), effects::eqGainForSlider(kCurve[band])) << band;
    // The equalizer's own button on and off again leaves it on with the remover.
    w->ui().CEq->click();
    w->ui().CEq->click();
    EXPECT_TRUE(w->ui().Label5->isHidden());
    for (int band = 0; band < 7; ++band)
        EXPECT_EQ(bandGain(effectsOf(*w), band), effects::eqGainForSlider(kCurve[band])) << band;
}

// The curve's bass boost makes up for the bass the full remover takes: with the bass kept it
// would only boost it, so the curve leaves the bass bands flat, however the modes are reached.
TEST_F(EffectsWindow, KeepingTheBassLeavesTheCurvesBassBandsFlat) {
    playStereo();
    std::array<int, 7> kept = kCurve;
    kept[0] = kept[1] = 0;
    w->ui().chkEqualizer->setChecked(true);
    w->ui().chkKeepBass->setChecked(true);
    w->ui().Chkrem->click();
    EXPECT_EQ(eqSliders(*w), kept);
    for (int band : {0, 1}) EXPECT_EQ(bandGain(effectsOf(*w), band), 0.0f) << band;
    w->ui().chkKeepBass->click();
    EXPECT_EQ(eqSliders(*w), kCurve);
    w->ui().chkKeepBass->click();
    EXPECT_EQ(eqSliders(*w), kept);
    for (int band : {0, 1}) EXPECT_EQ(bandGain(effectsOf(*w), band), 0.0f) << band;
}

TEST_F(EffectsWindow, RemoverOffResetsSlidersGainAndEffects) {
    playStereo();
    w->ui().chkEqualizer->setChecked(true);
    w->ui().Chkrem->click();
    userMove(w->ui().vcompr[0], 2);
    w->ui().Chkrem->click();
    EXPECT_FALSE(w->ui().Chkrem->isChecked());
    EXPECT_FALSE(w->ui().LblRem->isEnabled());
    EXPECT_EQ(eqSliders(*w), kFlat);
    EXPECT_EQ(w->ui().vcompr[0]->value(), 10);
    EXPECT_FALSE(gainAmp(effectsOf(*w)).has_value());
    EXPECT_FALSE(bandGain(effectsOf(*w), 0).has_value());
}

TEST_F(EffectsWindow, MonoFileRefusesTheRemoverWhicheverWayTheClickTurns) {
    loadAndPlay(wav("mono.wav", fixtures::sine(440, 2.0, 44100, 1)));
    w->ui().Chkrem->click();
    ASSERT_EQ(desk->messages.size(), 1u);
    EXPECT_EQ(desk->messages[0].text, "Only Stereo ");
    EXPECT_EQ(desk->messages[0].title, "Quorvin Audio Tools ");
    EXPECT_EQ(desk->messages[0].icon, platform::Icon::Critical);
    EXPECT_TRUE(w->ui().Chkrem->isChecked());  // the box keeps what the click gave it
    EXPECT_EQ(eqSliders(*w), kFlat);
    EXPECT_FALSE(gainAmp(effectsOf(*w)).has_value());
    w->ui().Chkrem->click();
    EXPECT_EQ(desk->messages.size(), 2u);
    EXPECT_EQ(desk->messages[1].text, "Only Stereo ");
    EXPECT_FALSE(w->ui().Chkrem->isChecked());
}

TEST_F(EffectsWindow, EqualizerButtonAndBandSliders) {
    playStereo();
    w->ui().CEq->click();
    EXPECT_FALSE(w->ui().Label5->isHidden());
    for (int band = 0; band < 7; ++band) EXPECT_EQ(bandGain(effectsOf(*w), band), 0.0f);

    userMove(w->ui().sldEQ[2], 3);
    EXPECT_EQ(w->ui().sldEQ[2]->toolTip(), "-3");
    EXPECT_EQ(bandGain(effectsOf(*w), 2), -3.0f);
    userMove(w->ui().sldEQ[5], -7);
    EXPECT_EQ(w->ui().sldEQ[5]->toolTip(), "7");
    EXPECT_EQ(bandGain(effectsOf(*w), 5), 7.0f);
    w->ui().sldEQ[6]->setValue(10);  // from code: the change reaches the engine, the tip stays
    EXPECT_EQ(bandGain(effectsOf(*w), 6), -10.0f);
    EXPECT_EQ(w->ui().sldEQ[6]->toolTip(), "");
    // "Peaking Equalizer" ticked and cleared meanwhile: the button still says on, and so it is.
    w->ui().chkEqualizer->click();
    w->ui().chkEqualizer->click();
    EXPECT_EQ(bandGain(effectsOf(*w), 5), 7.0f);

    w->ui().CEq->click();
    EXPECT_TRUE(w->ui().Label5->isHidden());
    EXPECT_FALSE(bandGain(effectsOf(*w), 0).has_value());
    EXPECT_EQ(w->ui().sldEQ[2]->value(), 3);  // the sliders keep their values while it is off
}

TEST_F(EffectsWindow, LoadSwitchesBothOff) {
    playStereo();
    w->ui().Chkrem->click();
    w->ui().CmdStop->click();
    load(std::nullopt);
    EXPECT_FALSE(w->ui().Chkrem->isChecked());
    EXPECT_FALSE(w->ui().LblRem->isEnabled());
    EXPECT_EQ(eqSliders(*w), kFlat);
    EXPECT_EQ(w->ui().vcompr[0]->value(), 10);

    load(sources.file("mix.wav"));
    w->ui().CmdPlay->click();
    w->ui().CEq->click();
    userMove(w->ui().sldEQ[1], -5);
    w->ui().CmdStop->click();
    load(sources.file("mix.wav"));
    EXPECT_FALSE(w->ui().CEq->isChecked());
    EXPECT_TRUE(w->ui().Label5->isHidden());
    EXPECT_EQ(eqSliders(*w), kFlat);
    EXPECT_TRUE(desk->messages.empty());
}

TEST_F(EffectsWindow, StereoFileAfterAMonoOneTakesTheRemover) {
    loadAndPlay(wav("mono.wav", fixtures::sine(440, 2.0, 44100, 1)));
    w->ui().Chkrem->click();
    w->ui().Chkrem->click();  // refused both ways: the switch is off again
    ASSERT_EQ(desk->messages.size(), 2u);
    w->ui().CmdStop->click();

    load(wav("mix.wav", fixtures::stereoMix(440, 220, 880, 3.0)));
    w->ui().Chkrem->click();  // before Play: the loaded file decides, not the last channel
    EXPECT_EQ(desk->messages.size(), 2u);
    EXPECT_TRUE(w->ui().LblRem->isEnabled());
    EXPECT_EQ(eqSliders(*w), kCurve);
}

TEST_F(EffectsWindow, PlayReinstallsTheRemoverOnTheNewChannel) {
    playStereo();
    w->ui().Chkrem->click();
    w->ui().CmdStop->click();
    load(sources.file("mix.wav"));  // Load switches it off ...
    w->ui().Chkrem->click();        // ... the user switches it on before playing
    w->ui().CmdPlay->click();
    EXPECT_TRUE(w->ui().Chkrem->isChecked());
    EXPECT_EQ(gainAmp(effectsOf(*w)), 1.0f);
    EXPECT_EQ(eqSliders(*w), kCurve);
}

TEST_F(EffectsWindow, WhatTheEqualizerClipsIsCountedInPlaybackAndInProcess) {
    loadAndPlay(wav("loud.wav", fixtures::sine(200, 3.0, 44100, 2, 0.7)));
    EXPECT_TRUE(w->ui().lblClipped->isHidden());
    w->ui().CEq->click();
    userMove(w->ui().sldEQ[1], -10);  // +10 dB at 200 Hz
    playFor(0.5);
    ASSERT_TRUE(processUntil([&] { return !w->ui().lblClipped->isHidden(); }));
    const qlonglong clipped = engine::equalizerClippedSamples(w->session().PlayChannel);
    EXPECT_GT(clipped, 0);
    EXPECT_TRUE(processUntil([&] {
        return w->ui().lblClipped->text() == QString("Clipped: %1").arg(clipped);
    })) << w->ui().lblClipped->text().toStdString();

    w->ui().CmdStop->click();
    bool ticked = false;  // the window's follow timer has run since Stop
    QTimer::singleShot(600, [&] { ticked = true; });
    ASSERT_TRUE(processUntil([&] { return ticked; }));
    EXPECT_EQ(w->ui().lblClipped->text(), QString("Clipped: %1").arg(clipped))
        << "what the last playback clipped stays";
    EXPECT_FALSE(w->ui().lblClipped->isHidden());

    // A render counts what it clips while it runs.
    std::atomic<bool> shownDuring{false};
    fixtures::HeldWrite held(3, [&] { return shownDuring.load(); });
    QTimer poll;
    const QString played = w->ui().lblClipped->text();
    QObject::connect(&poll, &QTimer::timeout, [&] {
        shownDuring = held.waiting() && !w->ui().lblClipped->isHidden() &&
                      w->ui().lblClipped->text() != played;
    });
    poll.start(1);
    desk->saveAnswers.push_back(sources.file("out.wav"));
    w->ui().btnConvert->click();
    EXPECT_TRUE(shownDuring);
    EXPECT_FALSE(w->ui().lblClipped->isHidden()) << "and once it has ended";
}

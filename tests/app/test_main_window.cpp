// The main window as a user meets it: the controls it starts with, start-up and shutdown, and
// the button states through load, cancel, play, stop and reload.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <filesystem>

#include "tests/app/window_fixture.h"

namespace {

struct ButtonStates {
    bool load, play, stop, process, tools, remover;
    bool operator==(const ButtonStates&) const = default;
};

void PrintTo(const ButtonStates& s, std::ostream* os) {
    *os << "load " << s.load << " play " << s.play << " stop " << s.stop << " process " << s.process
        << " tools " << s.tools << " remover " << s.remover;
}

ButtonStates states(const frmWriteWave& w) {
    return {w.btnLoadFile->isEnabled(),
            w.CmdPlay->isEnabled(),
            w.CmdStop->isEnabled(),
            w.btnConvert->isEnabled(),
            w.cvmenu->menuAction()->isEnabled(),
            w.Chkrem->isEnabled()};
}

}  // namespace

using MainWindow = WindowTest;

TEST_F(MainWindow, ControlsOnceBelowTheWindowCanBeSeenAndReached) {
    w->show();
    QApplication::processEvents();
    const QRect area = w->rect();
    for (QWidget* c :
         std::initializer_list<QWidget*>{w->chkBPMCallback, w->chkBeat, w->txtPeriod, w->lblBeat,
                                         w->pbProcess, w->chkEqualizer, w->prog}) {
        EXPECT_TRUE(c->isVisible()) << c->objectName().toStdString();
        const QRect r(c->mapTo(w.get(), QPoint(0, 0)), c->size());
        EXPECT_TRUE(area.contains(r)) << c->objectName().toStdString();
    }
    EXPECT_TRUE(w->mnuconf->menuAction()->isVisible());
    EXPECT_TRUE(w->mnuconf->menuAction()->isEnabled());
}

TEST_F(MainWindow, ButtonStatesThroughLoadCancelPlayStopAndReload) {
    const std::string song = wav("song.wav", fixtures::sine(440, 3.0));

    EXPECT_EQ(states(*w), (ButtonStates{true, false, false, false, true, false}));
    load(std::nullopt);  // cancelled before any file
    EXPECT_EQ(states(*w), (ButtonStates{true, false, false, false, true, false}));
    EXPECT_EQ(w->btnLoadFile->text(), "Load Audio File");

    load(song);
    EXPECT_EQ(states(*w), (ButtonStates{true, true, false, false, true, true}));
    EXPECT_EQ(w->btnLoadFile->text(), "song.wav");
    ASSERT_FALSE(desk->openDialogs.empty());
    EXPECT_EQ(desk->openDialogs.back().title, "Select a file to Convert");
    EXPECT_EQ(desk->openDialogs.back().filter, "Mp3 Files (*.mp3)|*.MP3|Wav File (*.wav)|*.WAV");
    EXPECT_EQ(desk->openDialogs.back().flags, 0x81004u);

    w->CmdPlay->click();
    EXPECT_EQ(states(*w), (ButtonStates{false, false, true, false, false, true}));
    EXPECT_NE(w->PlayChannel, 0u);
    EXPECT_EQ(BASS_ChannelIsActive(w->PlayChannel), BASS_ACTIVE_PLAYING);

    w->CmdStop->click();
    EXPECT_EQ(states(*w), (ButtonStates{true, false, false, true, true, true}));
    EXPECT_EQ(BASS_ChannelIsActive(w->PlayChannel), BASS_ACTIVE_STOPPED);

    load(std::nullopt);  // cancelling keeps the states and the chosen file
    EXPECT_EQ(states(*w), (ButtonStates{true, false, false, true, true, true}));
    EXPECT_EQ(w->btnLoadFile->text(), "song.wav");

    load(song);  // the same file again makes Play available
    EXPECT_EQ(states(*w), (ButtonStates{true, true, false, false, true, true}));
    w->CmdPlay->click();
    EXPECT_EQ(states(*w), (ButtonStates{false, false, true, false, false, true}));
    EXPECT_TRUE(desk->messages.empty());
}

TEST_F(MainWindow, LoadResetsTempoPitchAndDeletesWorkFilesEvenWhenCancelled) {
    loadAndPlay(wav("song.wav", fixtures::sine(440, 3.0)));
    userMove(w->sldTempo[0], 30);
    userMove(w->sldTempo[2], -4);
    w->CmdStop->click();
    const auto folder = programDir.path();
    fixtures::writeBytes((folder / "newwave.wav").string(), {1, 2, 3});
    fixtures::writeBytes((folder / "newnorm.wav").string(), {1, 2, 3});
    fixtures::writeBytes((folder / "keep.wav").string(), {1, 2, 3});

    load(std::nullopt);
    EXPECT_EQ(w->sldTempo[0]->value(), 0);
    EXPECT_EQ(w->sldTempo[2]->value(), 0);
    EXPECT_EQ(w->lblTempo->text(), "0");
    EXPECT_EQ(w->lblPitch->text(), "0");
    EXPECT_FALSE(std::filesystem::exists(folder / "newwave.wav"));
    EXPECT_FALSE(std::filesystem::exists(folder / "newnorm.wav"));
    EXPECT_TRUE(std::filesystem::exists(folder / "keep.wav"));
    EXPECT_EQ(w->btnLoadFile->text(), "song.wav");
}

TEST_F(MainWindow, PositionMaximumIsTheLengthRoundedHalfToEven) {
    // Mono 8 kHz keeps the files small; 200.5 s rounds down to 200, 201.5 s up to 202.
    loadAndPlay(wav("a.wav", fixtures::sine(300, 200.5, 8000, 1, 0.1)));
    EXPECT_EQ(w->sldPosition->maximum(), 200);
    EXPECT_EQ(w->sldPosition->value(), 0);
    EXPECT_EQ(w->lblPos->text(), "Playing position: 00:00 / 03:20");
    EXPECT_EQ(w->sldPosition->toolTip(), "00:00 / 03:20");
    w->CmdStop->click();
    loadAndPlay(wav("b.wav", fixtures::sine(300, 201.5, 8000, 1, 0.1)));
    EXPECT_EQ(w->sldPosition->maximum(), 202);
}

TEST_F(MainWindow, PositionTextIsTimeAtTheCurrentSpeed) {
    loadAndPlay(wav("song.wav", fixtures::sine(440, 2.0)));
    userMove(w->sldTempo[0], 25);
    ASSERT_FLOAT_EQ(BASS_FX_TempoGetRateRatio(w->PlayChannel), 1.25f);
    {
        const QSignalBlocker quiet(w->sldPosition);
        w->sldPosition->setMaximum(200);
        w->sldPosition->setValue(100);
    }
    w->ShowPlayPosition();
    EXPECT_EQ(w->lblPos->text(), "Playing position: 01:20 / 02:40");
    EXPECT_EQ(w->sldPosition->toolTip(), "01:20 / 02:40");

    w->lblTempo_Click();
    {
        const QSignalBlocker quiet(w->sldPosition);
        w->sldPosition->setMaximum(6000);
        w->sldPosition->setValue(0);
    }
    w->ShowPlayPosition();
    EXPECT_EQ(w->lblPos->text(), "Playing position: 00:00 / 100:00");
}

TEST_F(MainWindow, PositionFollowsPlaybackWithoutSeeking) {
    loadAndPlay(wav("song.wav", fixtures::sine(440, 20.0)));
    int changes = 0;
    QObject::connect(w->sldPosition, &QSlider::valueChanged, [&] { ++changes; });
    playFor(5.3);
    w->followPlayback();
    EXPECT_EQ(w->sldPosition->value(), 5);
    EXPECT_EQ(w->lblPos->text(), "Playing position: 00:05 / 00:20");
    EXPECT_EQ(changes, 0);  // the change handler (seek, BPM) did not run
    const float at =
        BASS_ChannelBytes2Seconds(w->PlayChannel, BASS_ChannelGetPosition(w->PlayChannel));
    EXPECT_NEAR(at, 5.3, 0.2);

    // The same from the window's own timer.
    playFor(3.0);
    EXPECT_TRUE(processUntil([&] { return w->sldPosition->value() == 8; }));
    EXPECT_EQ(changes, 0);

    // A user's move seeks there.
    w->sldPosition->setValue(15);
    const float moved =
        BASS_ChannelBytes2Seconds(w->PlayChannel, BASS_ChannelGetPosition(w->PlayChannel));
    EXPECT_NEAR(moved, 15.0, 0.2);
}

TEST_F(MainWindow, PositionSliderDoesNothingWhileNothingPlays) {
    load(wav("song.wav", fixtures::sine(440, 20.0)));
    w->sldPosition->setValue(7);  // before Play: no channel, no effect, no message
    EXPECT_TRUE(desk->messages.empty());
    w->CmdPlay->click();
    EXPECT_EQ(w->sldPosition->value(), 0);
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(w->PlayChannel, BASS_ChannelGetPosition(w->PlayChannel)),
                0.0, 0.05);
}

TEST_F(MainWindow, TempoPitchAndVolumeLabels) {
    loadAndPlay(wav("song.wav", fixtures::sine(440, 3.0)));
    userMove(w->sldTempo[0], -15);
    EXPECT_EQ(w->lblTempo->text(), "-15%");
    EXPECT_EQ(w->sldTempo[0]->toolTip(), "-15%");
    EXPECT_FLOAT_EQ(BASS_FX_TempoGetRateRatio(w->PlayChannel), 0.85f);

    userMove(w->sldTempo[2], -3);
    EXPECT_EQ(w->lblPitch->text(), "-3");
    EXPECT_FLOAT_EQ(BASS_FX_TempoGetRateRatio(w->PlayChannel), 0.85f);  // tempo untouched

    w->lblTempo->clicked();
    EXPECT_EQ(w->sldTempo[0]->value(), 0);
    EXPECT_EQ(w->lblTempo->text(), "0%");
    EXPECT_FLOAT_EQ(BASS_FX_TempoGetRateRatio(w->PlayChannel), 1.0f);
    w->lblPitch->clicked();
    EXPECT_EQ(w->sldTempo[2]->value(), 0);
    EXPECT_EQ(w->lblPitch->text(), "0");

    // Setting a tempo slider from code is not a user's move: nothing is applied.
    w->sldTempo[0]->setValue(40);
    EXPECT_EQ(w->lblTempo->text(), "0%");
    EXPECT_FLOAT_EQ(BASS_FX_TempoGetRateRatio(w->PlayChannel), 1.0f);

    userMove(w->sldVolume, 0);
    EXPECT_EQ(w->sldVolume->toolTip(), "100%");
    DWORD volume = 0;
    BASS_ChannelGetAttributes(w->PlayChannel, nullptr, &volume, nullptr);
    EXPECT_EQ(volume, 100u);
    userMove(w->sldVolume, 30);
    EXPECT_EQ(w->sldVolume->toolTip(), "70%");
    BASS_ChannelGetAttributes(w->PlayChannel, nullptr, &volume, nullptr);
    EXPECT_EQ(volume, 70u);
}

TEST_F(MainWindow, PlayKeepsTheSettingsTheSlidersShow) {
    load(wav("song.wav", fixtures::sine(440, 3.0)));
    w->sldTempo[2]->setValue(3);
    w->sldVolume->setValue(80);
    w->CmdPlay->click();
    EXPECT_EQ(w->lblPitch->text(), "3");  // pitch applied to the new channel
    EXPECT_EQ(w->lblTempo->text(), "0%");
    DWORD volume = 0;
    BASS_ChannelGetAttributes(w->PlayChannel, nullptr, &volume, nullptr);
    EXPECT_EQ(volume, 20u);
}

TEST_F(MainWindow, FileTheEngineCannotOpenIsReportedAndPlayStaysAvailable) {
    const std::string fake = sources.file("broken.mp3");
    fixtures::writeBytes(fake, std::vector<uint8_t>(4000, 0x5a));
    loadAndPlay(fake);
    ASSERT_EQ(desk->messages.size(), 1u);
    EXPECT_NE(desk->messages[0].text.find(fake), std::string::npos);
    EXPECT_NE(desk->messages[0].text.find("format"), std::string::npos);
    EXPECT_EQ(states(*w), (ButtonStates{true, true, false, false, true, true}));
    EXPECT_EQ(w->PlayChannel, 0u);

    // A file removed after it was chosen.
    const std::string gone = wav("gone.wav", fixtures::sine(440, 1.0));
    load(gone);
    std::filesystem::remove(gone);
    w->CmdPlay->click();
    ASSERT_EQ(desk->messages.size(), 2u);
    EXPECT_NE(desk->messages[1].text.find(gone), std::string::npos);
    EXPECT_NE(desk->messages[1].text.find("cannot be opened"), std::string::npos);
    EXPECT_EQ(states(*w), (ButtonStates{true, true, false, false, true, true}));

    // An empty WAV file.
    const std::string empty = sources.file("empty.wav");
    fixtures::writeBytes(empty, {});
    loadAndPlay(empty);
    EXPECT_EQ(desk->messages.size(), 3u);
    EXPECT_EQ(states(*w), (ButtonStates{true, true, false, false, true, true}));
}

TEST_F(MainWindow, WrongEngineVersionEndsTheProgramWithItsMessage) {
    for (DWORD version : {0x02040000u, 0x02020000u, 0x00000203u}) {
        frmWriteWave::engineVersionSource() = [version] { return version; };
        desk->messages.clear();
        desk->exitCode.reset();
        frmWriteWave other;
        EXPECT_FALSE(other.Form_Load()) << std::hex << version;
        ASSERT_EQ(desk->messages.size(), 1u);
        EXPECT_EQ(desk->messages[0].text, "An incorrect version of BASS.DLL was loaded");
        EXPECT_EQ(desk->messages[0].title, "Quorvin Audio Tools 1.0");
        EXPECT_EQ(desk->messages[0].icon, platform::Icon::Critical);
        EXPECT_EQ(desk->exitCode, 1);
    }
    frmWriteWave::engineVersionSource() = [] { return DWORD(0x0203FFFF); };
    desk->messages.clear();
    frmWriteWave other;
    EXPECT_TRUE(other.Form_Load());
    EXPECT_TRUE(desk->messages.empty());
}

TEST_F(MainWindow, MissingOutputDeviceIsFatalWithTheEngineError) {
    engine::setOutputKind(engine::OutputKind::Device);
    if (BASS_Init(-1, 44100, 0, nullptr, nullptr)) {
        BASS_Free();
        GTEST_SKIP() << "this machine has an output device";
    }
    load(wav("song.wav", fixtures::sine(440, 1.0)));
    w->CmdPlay->click();
    ASSERT_EQ(desk->messages.size(), 1u);
    EXPECT_EQ(desk->messages[0].title, "Error");
    EXPECT_EQ(desk->messages[0].icon, platform::Icon::Exclamation);
    EXPECT_EQ(desk->messages[0].text,
              "Can't initialize device\n\nError Code : " + std::to_string(BASS_ErrorGetCode()));
    EXPECT_EQ(desk->exitCode, 1);
}

TEST_F(MainWindow, ClosingTheWindowEndsQuietly) {
    w->show();
    w->close();
    EXPECT_EQ(desk->exitCode, 0);
    EXPECT_TRUE(desk->messages.empty());
}

TEST_F(MainWindow, ExitDuringPlaybackEndsQuietly) {
    loadAndPlay(wav("song.wav", fixtures::sine(440, 3.0)));
    w->Mnuexit->trigger();
    EXPECT_EQ(desk->exitCode, 0);
    EXPECT_TRUE(desk->messages.empty());
    EXPECT_EQ(BASS_ChannelIsActive(w->PlayChannel), BASS_ACTIVE_STOPPED);
}

TEST_F(MainWindow, MenuCommandsAndLinks) {
    loadAndPlay(wav("song.wav", fixtures::sine(440, 1.0)));
    w->CmdStop->click();
    ASSERT_TRUE(w->btnConvert->isEnabled());
    // Each tool opens its window modally; Process stays off until the next Stop.
    const std::pair<QAction*, QString> tools[] = {
        {w->Snorma, "Form11"}, {w->wavp3, "Form1"}, {w->cdripper, "frmDemo"}};
    for (const auto& [item, window] : tools) {
        QString shown;
        closeNextModal(&shown);
        item->trigger();
        EXPECT_EQ(shown, window);
        EXPECT_FALSE(w->btnConvert->isEnabled());
    }

    w->Combo2->setVisible(true);
    w->Combo2->activated(w->Combo2->findText("256"));
    EXPECT_EQ(w->Mp3BitRate, 256000);
    EXPECT_TRUE(w->Combo2->isHidden());
    ASSERT_FALSE(desk->messages.empty());
    EXPECT_EQ(desk->messages.back().text, "Mp3 Setup");
    desk->messages.clear();

    w->Mmp3->trigger();
    EXPECT_FALSE(w->Combo2->isHidden());

    desk->mixerAvailable = false;
    w->Comout->click();
    EXPECT_EQ(desk->messages.size(), 1u);  // no mixer on this desktop: said, not silent
}

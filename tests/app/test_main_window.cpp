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
#include <QTimer>
#include <filesystem>

#include <sndfile.h>

#include "player/waveform/waveform_view.h"
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

ButtonStates states(const app::frmWriteWave& w) {
    return {w.ui().btnLoadFile->isEnabled(),
            w.ui().CmdPlay->isEnabled(),
            w.ui().CmdStop->isEnabled(),
            w.ui().btnConvert->isEnabled(),
            w.ui().cvmenu->menuAction()->isEnabled(),
            w.ui().Chkrem->isEnabled()};
}

}  // namespace

using MainWindow = WindowTest;

TEST_F(MainWindow, ControlsOnceBelowTheWindowCanBeSeenAndReached) {
    w->show();
    QApplication::processEvents();
    const QRect area = w->rect();
    for (QWidget* c : std::initializer_list<QWidget*>{
             w->ui().chkBPMCallback, w->ui().chkBeat, w->ui().txtPeriod, w->ui().lblBeat,
             w->ui().pbProcess, w->ui().chkEqualizer, w->ui().prog, w->ui().wavOverview,
             w->ui().cmdLoopA, w->ui().cmdLoopB, w->ui().cmdLoopClear}) {
        EXPECT_TRUE(c->isVisible()) << c->objectName().toStdString();
        const QRect r(c->mapTo(w.get(), QPoint(0, 0)), c->size());
        EXPECT_TRUE(area.contains(r)) << c->objectName().toStdString();
    }
    EXPECT_TRUE(w->ui().mnuconf->menuAction()->isVisible());
    EXPECT_TRUE(w->ui().mnuconf->menuAction()->isEnabled());
}

TEST_F(MainWindow, ButtonStatesThroughLoadCancelPlayStopAndReload) {
    const std::string song = wav("song.wav", fixtures::sine(440, 3.0));

    EXPECT_EQ(states(*w), (ButtonStates{true, false, false, false, true, false}));
    load(std::nullopt);  // cancelled before any file
    EXPECT_EQ(states(*w), (ButtonStates{true, false, false, false, true, false}));
    EXPECT_EQ(w->ui().btnLoadFile->text(), "Load Audio File");

    load(song);
    EXPECT_EQ(states(*w), (ButtonStates{true, true, false, false, true, true}));
    EXPECT_EQ(w->ui().btnLoadFile->text(), "song.wav");
    ASSERT_FALSE(desk->openDialogs.empty());
    EXPECT_EQ(desk->openDialogs.back().title, "Select a file to Convert");
    // Every type the decoder reads first, then the MP3 and WAV filters.
    const std::string filter = desk->openDialogs.back().filter;
    EXPECT_EQ(filter.rfind("Audio Files|*.mp3;*.wav;*.flac;", 0), 0u) << filter;
    EXPECT_TRUE(filter.ends_with("|Mp3 Files (*.mp3)|*.MP3|Wav File (*.wav)|*.WAV")) << filter;
    EXPECT_EQ(desk->openDialogs.back().flags, 0x81004u);

    w->ui().CmdPlay->click();
    EXPECT_EQ(states(*w), (ButtonStates{false, false, true, false, false, true}));
    EXPECT_NE(w->session().PlayChannel, 0u);
    EXPECT_EQ(BASS_ChannelIsActive(w->session().PlayChannel), BASS_ACTIVE_PLAYING);

    w->ui().CmdStop->click();
    EXPECT_EQ(states(*w), (ButtonStates{true, false, false, true, true, true}));
    EXPECT_EQ(BASS_ChannelIsActive(w->session().PlayChannel), BASS_ACTIVE_STOPPED);

    load(std::nullopt);  // cancelling keeps the states and the chosen file
    EXPECT_EQ(states(*w), (ButtonStates{true, false, false, true, true, true}));
    EXPECT_EQ(w->ui().btnLoadFile->text(), "song.wav");

    load(song);  // the same file again makes Play available
    EXPECT_EQ(states(*w), (ButtonStates{true, true, false, false, true, true}));
    w->ui().CmdPlay->click();
    EXPECT_EQ(states(*w), (ButtonStates{false, false, true, false, false, true}));
    EXPECT_TRUE(desk->messages.empty());
}

TEST_F(MainWindow, LoadResetsTempoPitchAndDeletesWorkFilesEvenWhenCancelled) {
    loadAndPlay(wav("song.wav", fixtures::sine(440, 3.0)));
    userMove(w->ui().sldTempo[0], 30);
    userMove(w->ui().sldTempo[2], -4);
    w->ui().CmdStop->click();
    const auto folder = programDir.path();
    fixtures::writeBytes((folder / "newwave.wav").string(), {1, 2, 3});
    fixtures::writeBytes((folder / "newnorm.wav").string(), {1, 2, 3});
    fixtures::writeBytes((folder / "keep.wav").string(), {1, 2, 3});

    load(std::nullopt);
    EXPECT_EQ(w->ui().sldTempo[0]->value(), 0);
    EXPECT_EQ(w->ui().sldTempo[2]->value(), 0);
    EXPECT_EQ(w->ui().lblTempo->text(), "0");
    EXPECT_EQ(w->ui().lblPitch->text(), "0");
    EXPECT_FALSE(std::filesystem::exists(folder / "newwave.wav"));
    EXPECT_FALSE(std::filesystem::exists(folder / "newnorm.wav"));
    EXPECT_TRUE(std::filesystem::exists(folder / "keep.wav"));
    EXPECT_EQ(w->ui().btnLoadFile->text(), "song.wav");
}

TEST_F(MainWindow, PositionMaximumIsTheLengthRoundedHalfToEven) {
    // Mono 8 kHz keeps the files small; 200.5 s rounds down to 200, 201.5 s up to 202.
    loadAndPlay(wav("a.wav", fixtures::sine(300, 200.5, 8000, 1, 0.1)));
    EXPECT_EQ(w->ui().sldPosition->maximum(), 200);
    EXPECT_EQ(w->ui().sldPosition->value(), 0);
    EXPECT_EQ(w->ui().lblPos->text(), "Playing position: 00:00 / 03:20");
    EXPECT_EQ(w->ui().sldPosition->toolTip(), "00:00 / 03:20");
    w->ui().sldPosition->setValue(150);
    w->ui().CmdStop->click();
    load(wav("b.wav", fixtures::sine(300, 201.5, 8000, 1, 0.1)));  // the last file's place goes
    EXPECT_EQ(w->ui().sldPosition->value(), 0);
    EXPECT_EQ(w->ui().lblPos->text(), " 00:00 / 00:00");
    w->ui().CmdPlay->click();
    EXPECT_EQ(w->ui().sldPosition->maximum(), 202);
}

TEST_F(MainWindow, PositionTextIsTimeAtTheCurrentSpeed) {
    loadAndPlay(wav("song.wav", fixtures::sine(440, 2.0)));
    userMove(w->ui().sldTempo[0], 25);
    ASSERT_FLOAT_EQ(BASS_FX_TempoGetRateRatio(w->session().PlayChannel), 1.25f);
    {
        const QSignalBlocker quiet(w->ui().sldPosition);
        w->ui().sldPosition->setMaximum(200);
        w->ui().sldPosition->setValue(100);
    }
    w->transport().ShowPlayPosition();
    EXPECT_EQ(w->ui().lblPos->text(), "Playing position: 01:20 / 02:40");
    EXPECT_EQ(w->ui().sldPosition->toolTip(), "01:20 / 02:40");

    w->tempoPitch().lblTempo_Click();
    {
        const QSignalBlocker quiet(w->ui().sldPosition);
        w->ui().sldPosition->setMaximum(6000);
        w->ui().sldPosition->setValue(0);
    }
    w->transport().ShowPlayPosition();
    EXPECT_EQ(w->ui().lblPos->text(), "Playing position: 00:00 / 100:00");
}

TEST_F(MainWindow, PositionFollowsPlaybackWithoutSeeking) {
    loadAndPlay(wav("song.wav", fixtures::sine(440, 20.0)));
    int changes = 0;
    QObject::connect(w->ui().sldPosition, &QSlider::valueChanged, [&] { ++changes; });
    playFor(5.3);
    w->transport().followPlayback();
    EXPECT_EQ(w->ui().sldPosition->value(), 5);
    EXPECT_EQ(w->ui().lblPos->text(), "Playing position: 00:05 / 00:20");
    EXPECT_EQ(changes, 0);  // the change handler (seek, BPM) did not run
    const float at = BASS_ChannelBytes2Seconds(w->session().PlayChannel,
                                               BASS_ChannelGetPosition(w->session().PlayChannel));
    EXPECT_NEAR(at, 5.3, 0.2);

    // The same from the window's own timer.
    playFor(3.0);
    EXPECT_TRUE(processUntil([&] { return w->ui().sldPosition->value() == 8; }));
    EXPECT_EQ(changes, 0);

    // A user's move seeks there.
    w->ui().sldPosition->setValue(15);
    const float moved = BASS_ChannelBytes2Seconds(
        w->session().PlayChannel, BASS_ChannelGetPosition(w->session().PlayChannel));
    EXPECT_NEAR(moved, 15.0, 0.2);

    // Paused, at the slider's last second, past the end of a file of 5.6 s (rounded to 6): the
    // end, and the text follows.
    w->ui().CmdStop->click();
    loadAndPlay(wav("short.wav", fixtures::sine(440, 5.6)));
    w->ui().CmdPause->click();
    w->ui().sldPosition->setValue(6);
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(w->session().PlayChannel,
                                          BASS_ChannelGetPosition(w->session().PlayChannel)),
                5.6, 0.05);
    EXPECT_EQ(w->ui().lblPos->text(), "Playing position: 00:06 / 00:06");
}

TEST_F(MainWindow, PositionSliderDoesNothingWhileNothingPlays) {
    load(wav("song.wav", fixtures::sine(440, 20.0)));
    w->ui().sldPosition->setValue(7);  // before Play: no channel, no effect, no message
    EXPECT_TRUE(desk->messages.empty());
    w->ui().CmdPlay->click();
    EXPECT_EQ(w->ui().sldPosition->value(), 0);
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(w->session().PlayChannel,
                                          BASS_ChannelGetPosition(w->session().PlayChannel)),
                0.0, 0.05);
}

TEST_F(MainWindow, TempoPitchAndVolumeLabels) {
    loadAndPlay(wav("song.wav", fixtures::sine(440, 3.0)));
    userMove(w->ui().sldTempo[0], -15);
    EXPECT_EQ(w->ui().lblTempo->text(), "-15%");
    EXPECT_EQ(w->ui().sldTempo[0]->toolTip(), "-15%");
    EXPECT_FLOAT_EQ(BASS_FX_TempoGetRateRatio(w->session().PlayChannel), 0.85f);

    userMove(w->ui().sldTempo[2], -3);
    EXPECT_EQ(w->ui().lblPitch->text(), "-3");
    EXPECT_FLOAT_EQ(BASS_FX_TempoGetRateRatio(w->session().PlayChannel), 0.85f);  // tempo untouched

    w->ui().lblTempo->clicked();
    EXPECT_EQ(w->ui().sldTempo[0]->value(), 0);
    EXPECT_EQ(w->ui().lblTempo->text(), "0%");
    EXPECT_FLOAT_EQ(BASS_FX_TempoGetRateRatio(w->session().PlayChannel), 1.0f);
    w->ui().lblPitch->clicked();
    EXPECT_EQ(w->ui().sldTempo[2]->value(), 0);
    EXPECT_EQ(w->ui().lblPitch->text(), "0");

    // Setting a tempo slider from code is not a user's move: the label stays, but the sound
    // follows the slider, as a render would.
    w->ui().sldTempo[0]->setValue(40);
    EXPECT_EQ(w->ui().lblTempo->text(), "0%");
    EXPECT_FLOAT_EQ(BASS_FX_TempoGetRateRatio(w->session().PlayChannel), 1.4f);

    userMove(w->ui().sldVolume, 0);
    EXPECT_EQ(w->ui().sldVolume->toolTip(), "100%");
    DWORD volume = 0;
    BASS_ChannelGetAttributes(w->session().PlayChannel, nullptr, &volume, nullptr);
    EXPECT_EQ(volume, 100u);
    userMove(w->ui().sldVolume, 30);
    EXPECT_EQ(w->ui().sldVolume->toolTip(), "70%");
    BASS_ChannelGetAttributes(w->session().PlayChannel, nullptr, &volume, nullptr);
    EXPECT_EQ(volume, 70u);
}

TEST_F(MainWindow, PlayKeepsTheSettingsTheSlidersShow) {
    load(wav("song.wav", fixtures::sine(440, 3.0)));
    w->ui().sldTempo[2]->setValue(3);
    w->ui().sldVolume->setValue(80);
    w->ui().CmdPlay->click();
    EXPECT_EQ(w->ui().lblPitch->text(), "3");  // pitch applied to the new channel
    EXPECT_EQ(w->ui().lblTempo->text(), "0%");
    DWORD volume = 0;
    BASS_ChannelGetAttributes(w->session().PlayChannel, nullptr, &volume, nullptr);
    EXPECT_EQ(volume, 20u);
}

TEST_F(MainWindow, FileTheEngineCannotOpenIsReportedAtLoadOrPlay) {
    // Not audio: refused at Load, nothing to play.
    const std::string fake = sources.file("broken.mp3");
    fixtures::writeBytes(fake, std::vector<uint8_t>(4000, 0x5a));
    loadAndPlay(fake);
    ASSERT_EQ(desk->messages.size(), 1u);
    EXPECT_NE(desk->messages[0].text.find(fake), std::string::npos);
    EXPECT_NE(desk->messages[0].text.find("format"), std::string::npos);
    EXPECT_EQ(states(*w), (ButtonStates{true, false, false, false, true, false}));
    EXPECT_EQ(w->session().PlayChannel, 0u);

    // A file removed after it was chosen: Play says so and stays available.
    const std::string gone = wav("gone.wav", fixtures::sine(440, 1.0));
    load(gone);
    std::filesystem::remove(gone);
    w->ui().CmdPlay->click();
    ASSERT_EQ(desk->messages.size(), 2u);
    EXPECT_NE(desk->messages[1].text.find(gone), std::string::npos);
    EXPECT_NE(desk->messages[1].text.find("cannot be opened"), std::string::npos);
    EXPECT_EQ(states(*w), (ButtonStates{true, true, false, false, true, true}));

    // An empty WAV file: refused at Load, as a cancelled dialog leaves the window.
    const std::string empty = sources.file("empty.wav");
    fixtures::writeBytes(empty, {});
    load(empty);
    EXPECT_EQ(desk->messages.size(), 3u);
    EXPECT_EQ(states(*w), (ButtonStates{true, true, false, false, true, true}));
}

// A file whose length is found only by reading it through (a FLAC whose header gives none, as
// one written to a pipe has it): Play opens it while the window answers, and it plays.
TEST_F(MainWindow, PlayReadsAFileThroughWhileTheWindowAnswers) {
    const std::string flac = sources.file("piped.flac");
    fixtures::writeSound(flac, fixtures::sine(440, 30.0), SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    std::vector<uint8_t> bytes = fixtures::readBytes(flac);
    // STREAMINFO's count of samples: the low 36 bits of the file's bytes 18 to 25.
    bytes[21] &= 0xF0;
    std::fill(bytes.begin() + 22, bytes.begin() + 26, uint8_t(0));
    fixtures::writeBytes(flac, bytes);
    load(flac);
    bool answered = false;
    QTimer::singleShot(0, [&] { answered = true; });
    w->ui().CmdPlay->click();
    EXPECT_TRUE(answered);
    ASSERT_NE(w->session().PlayChannel, 0u);
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(w->session().PlayChannel,
                                          BASS_ChannelGetLength(w->session().PlayChannel)),
                30.0, 0.01);
    EXPECT_TRUE(w->ui().CmdStop->isEnabled());
}

TEST_F(MainWindow, WrongEngineVersionEndsTheProgramWithItsMessage) {
    for (DWORD version : {0x02040000u, 0x02020000u, 0x00000203u}) {
        app::frmWriteWave::engineVersionSource() = [version] { return version; };
        desk->messages.clear();
        desk->exitCode.reset();
        app::frmWriteWave other;
        EXPECT_FALSE(other.Form_Load()) << std::hex << version;
        ASSERT_EQ(desk->messages.size(), 1u);
        EXPECT_EQ(desk->messages[0].text, "An incorrect version of BASS.DLL was loaded");
        EXPECT_EQ(desk->messages[0].title, "Quorvin Audio Tools 1.0");
        EXPECT_EQ(desk->messages[0].icon, platform::Icon::Critical);
        EXPECT_EQ(desk->exitCode, 1);
    }
    app::frmWriteWave::engineVersionSource() = [] { return DWORD(0x0203FFFF); };
    desk->messages.clear();
    app::frmWriteWave other;
    EXPECT_TRUE(other.Form_Load());
    EXPECT_TRUE(desk->messages.empty());
}

// Ends the program the way the desktop does: the windows are closed first, and a window that asks
// to end again while it closes ends the process there, with its own status.
class DesktopExit : public platform::ScriptedPlatform {
  public:
    std::vector<int> requests;
    void exitProgram(int code) override {
        requests.push_back(code);
        if (requests.size() == 1) QApplication::closeAllWindows();
    }
    int status() const { return requests.back(); }
};

TEST_F(MainWindow, FatalErrorsEndWithStatusOneWhileTheWindowsClose) {
    auto exiting = std::make_unique<DesktopExit>();
    exiting->folder = programDir.path().string();
    DesktopExit* desktop = exiting.get();
    const auto fixtureDesk = platform::Platform::install(std::move(exiting));

    {  // the wrong engine version, on a window that is already shown
        app::frmWriteWave::engineVersionSource() = [] { return DWORD(0x02040000); };
        app::frmWriteWave other;
        other.show();
        EXPECT_FALSE(other.Form_Load());
        ASSERT_FALSE(desktop->requests.empty());
        EXPECT_EQ(desktop->status(), 1);
        app::frmWriteWave::engineVersionSource() = [] { return BASS_GetVersion(); };
    }
}

TEST_F(MainWindow, ClosingTheWindowEndsQuietly) {
    w->show();
    w->close();
    EXPECT_EQ(desk->exitCode, 0);
    EXPECT_TRUE(desk->messages.empty());
}

TEST_F(MainWindow, ExitDuringPlaybackEndsQuietly) {
    loadAndPlay(wav("song.wav", fixtures::sine(440, 3.0)));
    w->ui().Mnuexit->trigger();
    EXPECT_EQ(desk->exitCode, 0);
    EXPECT_TRUE(desk->messages.empty());
    EXPECT_EQ(BASS_ChannelIsActive(w->session().PlayChannel), BASS_ACTIVE_STOPPED);
}

TEST_F(MainWindow, MenuCommandsAndLinks) {
    loadAndPlay(wav("song.wav", fixtures::sine(440, 1.0)));
    w->ui().CmdStop->click();
    ASSERT_TRUE(w->ui().btnConvert->isEnabled());
    // Each tool opens its window modally; Process stays off until the next Stop.
    const std::pair<QAction*, QString> tools[] = {
        {w->ui().Snorma, "Form11"}, {w->ui().wavp3, "Form1"}, {w->ui().cdripper, "frmDemo"}};
    for (const auto& [item, window] : tools) {
        QString shown;
        closeNextModal(&shown);
        item->trigger();
        EXPECT_EQ(shown, window);
        EXPECT_FALSE(w->ui().btnConvert->isEnabled());
    }

    w->ui().Combo2->setVisible(true);
    w->ui().Combo2->activated(w->ui().Combo2->findText("256"));
    EXPECT_EQ(w->session().Mp3BitRate, 256000);
    EXPECT_TRUE(w->ui().Combo2->isHidden());
    ASSERT_FALSE(desk->messages.empty());
    EXPECT_EQ(desk->messages.back().text, "Mp3 Setup");
    desk->messages.clear();

    w->ui().Mmp3->trigger();
    EXPECT_FALSE(w->ui().Combo2->isHidden());

    desk->mixerAvailable = false;
    w->ui().Comout->click();
    EXPECT_EQ(desk->messages.size(), 1u);  // no mixer on this desktop: said, not silent
}

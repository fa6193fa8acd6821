// The BPM and beat display: the period box, the number format, the engine's procedures posting
// to the window thread, and detection on real audio.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QToolButton>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "player/bpm_display.h"
#include "player/bpm_panel.h"
#include "tests/app/window_fixture.h"

// The period reads the same under a language whose decimal separator is a comma (strtod would
// take "2.5" for 2 there).
TEST(PeriodText, ReadsTheSameUnderACommaLocale) {
    const fixtures::TempDir dir;
    if (std::system(("localedef -i de_DE -f UTF-8 '" + dir.file("de_DE.UTF-8") + "' 2>/dev/null")
                        .c_str()) != 0)
        GTEST_SKIP() << "localedef cannot make a German locale here";
    setenv("LOCPATH", dir.path().c_str(), 1);
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    EXPECT_EQ(player::leadingNumber("2.5"), 2.5);
    EXPECT_EQ(player::leadingNumber("1e2"), 100);
    std::setlocale(LC_NUMERIC, before.c_str());
    unsetenv("LOCPATH");
}

TEST(PeriodText, LeadingNumberIsRead) {
    using player::leadingNumber;
    EXPECT_EQ(leadingNumber("10"), 10);
    EXPECT_EQ(leadingNumber("10 s"), 10);
    EXPECT_EQ(leadingNumber("abc"), 0);
    EXPECT_EQ(leadingNumber(""), 0);
    EXPECT_EQ(leadingNumber("  1 5 seconds"), 15);  // blanks inside are skipped
    EXPECT_EQ(leadingNumber("2.5"), 2.5);
    EXPECT_EQ(leadingNumber(".5"), 0.5);
    EXPECT_EQ(leadingNumber("-4x"), -4);
    EXPECT_EQ(leadingNumber("+7"), 7);
    EXPECT_EQ(leadingNumber("1.2.3"), 1.2);
    EXPECT_EQ(leadingNumber("1e2"), 100);
    EXPECT_EQ(leadingNumber("1D2"), 100);
    EXPECT_EQ(leadingNumber("3e"), 3);  // an exponent without digits is not part of it
    EXPECT_EQ(leadingNumber("&H1F"), 31);
    EXPECT_EQ(leadingNumber("&o17"), 15);
    EXPECT_EQ(leadingNumber("-"), 0);
    EXPECT_EQ(leadingNumber("s10"), 0);
}

TEST(BpmText, TwoDecimals) {
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(player::twoDecimals(0), "0.00");
    EXPECT_EQ(player::twoDecimals(127.956), "127.96");
    EXPECT_EQ(player::twoDecimals(0.5), "0.50");
    EXPECT_EQ(player::twoDecimals(12345.678), "12345.68");  // no grouping
}

using BpmDisplay = WindowTest;

TEST_F(BpmDisplay, PeriodComesFromTheBox) {
    w->ui().txtPeriod->setText("10 s");
    EXPECT_EQ(w->bpm().period(), 10.0f);
    w->ui().txtPeriod->setText("abc");
    EXPECT_EQ(w->bpm().period(), 0.0f);
}

TEST_F(BpmDisplay, EngineProceduresPostToTheWindowThread) {
    loadAndPlay(wav("song.wav", fixtures::sine(440, 3.0)));
    QApplication::processEvents();
    w->ui().pbProcess->setValue(0);
    std::thread engineThread([&] {
        player::BpmPanel::BeatProc(w->session().PlayChannel, 1.5f, nullptr);
        player::BpmPanel::BpmProgressProc(w->session().BpmChannel, 42.4f);
        player::BpmPanel::BpmProc(w->session().PlayChannel, 120.0f, nullptr);
    });
    engineThread.join();
    // Nothing was touched from the engine's thread ...
    EXPECT_EQ(w->ui().lblBeat->text(), "Beat pos: 0.00");
    EXPECT_EQ(w->ui().pbProcess->value(), 0);
    w->ui().lblBPM->setText("marker");
    // ... the changes arrive through the window's event queue.
    EXPECT_TRUE(processUntil([&] { return w->ui().lblBeat->text() == "Beat pos: 1.50"; }));
    EXPECT_EQ(w->ui().pbProcess->value(), 42);
    EXPECT_TRUE(w->ui().lblBPM->text().startsWith("BPM: "));
}

TEST_F(BpmDisplay, DetectsTheTempoAtPlayAndFollowsTheTempoSlider) {
    loadAndPlay(wav("clicks.wav", fixtures::clickTrack(120, 20)));
    const double bpm = w->ui().lblBPM->text().mid(5).toDouble();
    EXPECT_NEAR(bpm, 120.0, 1.5) << w->ui().lblBPM->text().toStdString();
    EXPECT_TRUE(processUntil([&] { return w->ui().pbProcess->value() == 100; }));

    userMove(w->ui().sldTempo[0], 10);  // the BPM text is translated to 110 % speed
    EXPECT_NEAR(w->ui().lblBPM->text().mid(5).toDouble(), bpm * 1.1, 0.02);
    userMove(w->ui().sldTempo[2], 2);  // pitch leaves the speed alone
    EXPECT_NEAR(w->ui().lblBPM->text().mid(5).toDouble(), bpm * 1.1, 0.02);
}

// Play leaves the detection to the engine's thread; another file loaded and played before it has
// ended shows its own BPM, never the first one's.
TEST_F(BpmDisplay, TheBpmDetectedAtPlayArrivesLaterAndOnlyForTheFilePlaying) {
    load(wav("clicks.wav", fixtures::clickTrack(120, 30)));
    w->ui().CmdPlay->click();
    EXPECT_TRUE(w->bpm().detecting());
    // Its BPM is kept, and its report waits in the window's queue, when the next file comes.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (BASS_FX_BPM_Translate(w->session().BpmChannel, 100, BASS_FX_BPM_TRAN_PERCENT2) <= 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    w->ui().CmdStop->click();
    // Waits for the second detection's end, posted after anything of the first.
    loadAndPlay(wav("other.wav", fixtures::clickTrack(100, 20)));
    EXPECT_NEAR(w->ui().lblBPM->text().mid(5).toDouble(), 100.0, 1.5)
        << w->ui().lblBPM->text().toStdString();
}

TEST_F(BpmDisplay, BeatsAreShownWhileTheBoxIsChecked) {
    loadAndPlay(wav("clicks.wav", fixtures::clickTrack(120, 20)));
    w->ui().chkBeat->setChecked(true);
    playFor(4.0);
    EXPECT_TRUE(processUntil([&] { return w->ui().lblBeat->text() != "Beat pos: 0.00"; }));
    const QString last = w->ui().lblBeat->text();
    w->ui().chkBeat->setChecked(false);  // the last text stays
    playFor(4.0);
    QApplication::processEvents();
    EXPECT_EQ(w->ui().lblBeat->text(), last);
}

TEST_F(BpmDisplay, PeriodicBpmReportsFromThePlayingChannel) {
    load(wav("clicks.wav", fixtures::clickTrack(100, 30)));
    w->ui().txtPeriod->setText("5 s");
    w->ui().chkBPMCallback->setChecked(
        true);  // before Play: Play switches it on for the new channel
    w->ui().CmdPlay->click();
    ASSERT_TRUE(processUntil([&] { return !w->bpm().detecting(); }, 10000));
    w->ui().lblBPM->setText("BPM: 0.00");
    // Half a second of playback at a time, as the output would consume it.
    bool reported = false;
    for (int i = 0; i < 50 && !reported; ++i) {
        playFor(0.5);
        reported = processUntil([&] { return w->ui().lblBPM->text() != "BPM: 0.00"; }, 100);
    }
    ASSERT_TRUE(reported);
    EXPECT_NEAR(w->ui().lblBPM->text().mid(5).toDouble(), 100.0, 2.0)
        << w->ui().lblBPM->text().toStdString();
}

TEST_F(BpmDisplay, HalfAndDoubleCorrectTheOctaveShownAndTheSongKeepsIt) {
    const std::string clicks = wav("clicks.wav", fixtures::clickTrack(120, 20));
    loadAndPlay(clicks);
    const auto shown = [&] { return w->ui().lblBPM->text().mid(5).toDouble(); };
    const double bpm = shown();
    ASSERT_GT(bpm, 0.0);
    w->ui().cmdBpmHalf->click();
    EXPECT_NEAR(shown(), bpm / 2, 0.01);
    userMove(w->ui().sldTempo[0], 10);  // the corrected BPM follows the tempo too
    EXPECT_NEAR(shown(), bpm / 2 * 1.1, 0.02);
    userMove(w->ui().sldTempo[0], 0);
    w->ui().cmdBpmDouble->click();
    w->ui().cmdBpmDouble->click();
    w->ui().cmdBpmDouble->click();
    EXPECT_NEAR(shown(), bpm * 4, 0.04);
    EXPECT_FALSE(w->ui().cmdBpmDouble->isEnabled()) << "four times at most";

    // Kept once the song's lookup has ended ...
    const std::filesystem::path songs = songsFolder();
    EXPECT_TRUE(processUntil([&] {
        std::error_code ec;
        return std::filesystem::exists(songs, ec) && !std::filesystem::is_empty(songs, ec);
    }));
    // ... another file starts at the BPM detected; this one comes back with its octave.
    w->ui().CmdStop->click();
    loadAndPlay(wav("other.wav", fixtures::clickTrack(100, 20)));
    EXPECT_NEAR(shown(), 100.0, 1.5);
    EXPECT_TRUE(w->ui().cmdBpmDouble->isEnabled());
    w->ui().CmdStop->click();
    loadAndPlay(clicks);
    EXPECT_TRUE(processUntil([&] { return std::abs(shown() - bpm * 4) < 0.04; }))
        << w->ui().lblBPM->text().toStdString();
}

TEST_F(BpmDisplay, TapsSetTheOctaveNearestTheBeatTapped) {
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    const std::string clicks = wav("clicks.wav", fixtures::clickTrack(120, 20));
    loadAndPlay(clicks);
    const auto shown = [&] { return w->ui().lblBPM->text().mid(5).toDouble(); };
    const double bpm = shown();
    ASSERT_GT(bpm, 0.0);
    w->setFocus();  // no box that takes the key
    double now = 100.0;
    w->bpm().tapClock = [&] { return now; };
    // Taps by the key, or by the button when `button`.
    const auto tapEvery = [&](double seconds, int taps, bool button = false) {
        for (int i = 0; i < taps; ++i) {
            now += seconds;
            if (button)
                w->ui().cmdBpmTap->click();
            else
                QTest::keyClick(w.get(), Qt::Key_T);
        }
    };

    tapEvery(1.0, 3);  // a beat of 60: three taps are too few
    EXPECT_NEAR(shown(), bpm, 0.01);
    tapEvery(1.0, 1);
    EXPECT_NEAR(shown(), bpm / 2, 0.01);
    EXPECT_TRUE(w->ui().lblBPM->toolTip().contains("Tapped: 60.00 BPM"))
        << w->ui().lblBPM->toolTip().toStdString();
    tapEvery(1.4, 1);  // one late tap does not move the median
    EXPECT_TRUE(w->ui().lblBPM->toolTip().contains("Tapped: 60.00 BPM"));

    // After a pause the taps start over: four at 240 give twice the BPM, kept with the song.
    now += 5.0;
    tapEvery(0.25, 4, true);
    EXPECT_NEAR(shown(), bpm * 2, 0.02);
    // Another file forgets the taps; taps before its BPM is shown set the octave once it is.
    w->ui().CmdStop->click();
    load(wav("other.wav", fixtures::clickTrack(100, 20)));
    EXPECT_FALSE(w->ui().lblBPM->toolTip().contains("Tapped"));
    tapEvery(0.3, 4);
    w->ui().CmdPlay->click();
    EXPECT_TRUE(processUntil([&] { return !w->bpm().detecting(); }, 10000));
    EXPECT_NEAR(shown(), 200.0, 3.0);
    w->ui().CmdStop->click();
    loadAndPlay(clicks);
    EXPECT_TRUE(processUntil([&] { return std::abs(shown() - bpm * 2) < 0.02; }))
        << w->ui().lblBPM->toolTip().toStdString();
}

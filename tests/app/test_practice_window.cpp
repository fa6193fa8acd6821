// Practising with the main window: the waveform in the Play Position frame, the A-B loop, beat
// positions that belong to the file and the run that plays, and the key label.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <QTest>
#include <QThreadPool>
#include <QToolButton>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>
#include <tuple>

#include "files/fault_injection.h"
#include "platform/window_thread.h"
#include "player/practice_panel.h"
#include "player/transport_panel.h"
#include "player/waveform/waveform_view.h"
#include "songs/song_store.h"
#include "tests/app/window_fixture.h"
#include "tests/support/practice_measure.h"

namespace {

double playSeconds(DWORD chan) {
    return BASS_ChannelBytes2Seconds(chan, BASS_ChannelGetPosition(chan));
}

// A drag with the mouse over the waveform from x0 to x1.
void drag(QWidget* view, int x0, int x1) {
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(x0, 5));
    QTest::mouseMove(view, QPoint((x0 + x1) / 2, 5));
    QTest::mouseMove(view, QPoint(x1, 5));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(x1, 5));
}

}  // namespace

class PracticeWindow : public WindowTest {
  protected:
    // Shows the window and plays `path`, its waveform drawn; the play channel.
    DWORD playShown(const std::string& path) {
        w->show();
        loadAndPlay(path);
        EXPECT_TRUE(processUntil([&] { return w->ui().wavOverview->overview() != nullptr; }, 5000));
        return w->session().PlayChannel;
    }
};

// A and B mark where the play head is; playback then wraps between them at any tempo and pitch
// until the loop is cleared; a drag behind the head loops and goes back to its start; a click on
// the waveform seeks where the slider would.
TEST_F(PracticeWindow, LoopMarksThePlayHeadAndWrapsUntilCleared) {
    const DWORD chan = playShown(wav("song.wav", fixtures::drumTrack(120, 12)));
    const app::MainControls& c = w->ui();
    EXPECT_TRUE(c.cmdLoopA->isEnabled());

    playFor(2.0);
    const double a = playSeconds(chan);
    c.cmdLoopA->click();
    EXPECT_TRUE(c.cmdLoopA->isChecked());
    QWORD from = 0, to = 0;
    EXPECT_FALSE(engine::getLoop(chan, &from, &to));  // A alone is no loop yet
    playFor(1.5);
    const double b = playSeconds(chan);
    c.cmdLoopB->click();
    ASSERT_TRUE(engine::getLoop(chan, &from, &to));
    EXPECT_EQ(from, BASS_ChannelSeconds2Bytes(chan, float(a)));
    EXPECT_EQ(to, BASS_ChannelSeconds2Bytes(chan, float(b)));
    EXPECT_DOUBLE_EQ(c.wavOverview->loopStart(), a);  // drawn where it acts
    EXPECT_DOUBLE_EQ(c.wavOverview->loopEnd(), b);

    // Tempo and pitch change; the loop holds.
    userMove(c.sldTempo[0], -30);
    userMove(c.sldTempo[2], 3);
    for (int i = 0; i < 12; ++i) {
        playFor(0.5);
        const double at = playSeconds(chan);
        EXPECT_GE(at, a - 0.01) << i;
        EXPECT_LE(at, b + 0.01) << i;
    }
    EXPECT_TRUE(engine::getLoop(chan, &from, &to));

    // A drag over a passage before the head: looped, and playback goes back to its start.
    drag(c.wavOverview, c.wavOverview->xAt(0.5), c.wavOverview->xAt(1.5));
    const double dragA = c.wavOverview->loopStart(), dragB = c.wavOverview->loopEnd();
    EXPECT_NEAR(dragA, 0.5, 0.1);
    EXPECT_NEAR(dragB, 1.5, 0.1);
    EXPECT_NEAR(playSeconds(chan), dragA, 0.01);
    playFor(3.0);
    EXPECT_LE(playSeconds(chan), dragB + 0.01);

    // A loop of the list without ends chosen: nothing loops until A and B mark it.
    c.cmdLoopAdd->click();  // the passage dragged
    c.cmdLoopClear->click();
    c.cmdLoopAdd->click();  // no ends, the last of the list
    emit c.cboLoops->activated(0);
    ASSERT_TRUE(engine::getLoop(chan, &from, &to));
    emit c.cboLoops->activated(c.cboLoops->count() - 1);
    EXPECT_FALSE(engine::getLoop(chan, &from, &to));
    EXPECT_GE(c.wavOverview->loopStart(), c.wavOverview->loopEnd());

    c.cmdLoopClear->click();
    EXPECT_FALSE(engine::getLoop(chan, &from, &to));
    EXPECT_FALSE(c.cmdLoopA->isChecked());
    EXPECT_GE(c.wavOverview->loopStart(), c.wavOverview->loopEnd());
    // The list keeps its loops, and none is the one the next A and B mark (nor rendered).
    const std::vector<songs::Loop> kept = w->practice().record().loops;
    EXPECT_EQ(c.cboLoops->currentIndex(), -1);
    EXPECT_FALSE(c.chkProcessLoop->isEnabled());
    playFor(3.0);
    EXPECT_GT(playSeconds(chan), dragB + 0.5);

    // A click on the waveform goes where the slider goes for the same second.
    c.sldPosition->setValue(7);
    const double bySlider = playSeconds(chan);
    QTest::mouseClick(c.wavOverview, Qt::LeftButton, {}, QPoint(c.wavOverview->xAt(7.0), 5));
    const double perPixel = 12.0 / (c.wavOverview->width() - 1);
    EXPECT_NEAR(playSeconds(chan), bySlider, perPixel);
    EXPECT_EQ(c.sldPosition->value(), int(playSeconds(chan)));
    EXPECT_NEAR(c.wavOverview->position(), playSeconds(chan), 1e-3);

    // The keys: [ marks A, ] marks B, \ clears (each clicks its button); a set loop goes with Stop.
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    auto looped = [&] { return bool(engine::getLoop(chan, &from, &to)); };
    QTest::keyClick(w.get(), '[');
    EXPECT_TRUE(processUntil([&] { return c.cmdLoopA->isChecked(); }));
    playFor(0.5);
    QTest::keyClick(w.get(), ']');
    EXPECT_TRUE(processUntil(looped));
    QTest::keyClick(w.get(), '\\');
    EXPECT_TRUE(processUntil([&] { return !looped(); }));
    c.cmdLoopA->click();
    playFor(0.5);
    c.cmdLoopB->click();
    ASSERT_TRUE(looped());
    const std::vector<songs::Loop> now = w->practice().record().loops;
    ASSERT_EQ(now.size(), kept.size() + 2);  // the keys' loop, then this one after its clear
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), now.begin()));
    c.CmdStop->click();
    EXPECT_FALSE(c.cmdLoopA->isChecked());
    EXPECT_FALSE(c.cmdLoopA->isEnabled());
    EXPECT_GE(c.wavOverview->loopStart(), c.wavOverview->loopEnd());
}

// A loop dragged to the waveform's right edge ends at the file's last frame, not at the position
// slider's whole second before it.
TEST_F(PracticeWindow, ALoopToTheEndEndsAtTheLastFrame) {
    const DWORD chan = playShown(wav("song.wav", fixtures::drumTrack(120, 6.6)));
    const app::MainControls& c = w->ui();
    drag(c.wavOverview, c.wavOverview->xAt(5.0), c.wavOverview->width() - 1);
    QWORD from = 0, to = 0;
    ASSERT_TRUE(engine::getLoop(chan, &from, &to));
    EXPECT_EQ(to, BASS_ChannelGetLength(chan));
}

// A marker chosen, or a place clicked on the waveform, after Load and before Play is where Play
// starts.
TEST_F(PracticeWindow, AMarkerChosenBeforePlayIsWherePlayStarts) {
    w->show();
    const std::string song = wav("song.wav", fixtures::drumTrack(120, 8));
    loadAndPlay(song);
    const app::MainControls& c = w->ui();
    playFor(2.0);
    w->practice().cmdMarker_Click();
    ASSERT_EQ(w->practice().record().markers.size(), 1u);
    const double marker = w->practice().record().markers[0].at;
    ASSERT_GT(marker, 1.0);
    c.CmdStop->click();
    load(song);
    ASSERT_TRUE(processUntil([&] { return c.cboMarkers->findText("Marker 1") >= 0; }, 5000));
    emit c.cboMarkers->activated(c.cboMarkers->findText("Marker 1"));
    c.CmdPlay->click();
    EXPECT_NEAR(playSeconds(w->session().PlayChannel), marker, 0.01);
    c.CmdStop->click();
    load(song);
    emit c.wavOverview->seekRequested(5.0);
    c.CmdPlay->click();
    EXPECT_NEAR(playSeconds(w->session().PlayChannel), 5.0, 0.01);
}

// Left and Right jump 5 s back and on while playing; inside a loop the jump stays in it, a jump
// to the end does nothing, and a focused slider keeps its arrows.
TEST_F(PracticeWindow, ArrowsJumpBackAndOnWithinTheLoop) {
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    loadAndPlay(wav("song.wav", fixtures::drumTrack(120, 20)));
    const app::MainControls& c = w->ui();
    const DWORD chan = w->session().PlayChannel;
    c.CmdStop->setFocus();
    playFor(8.0);
    const double at = playSeconds(chan);
    QTest::keyClick(w.get(), Qt::Key_Right);
    EXPECT_NEAR(playSeconds(chan), at + 5, 0.01);
    QTest::keyClick(w.get(), Qt::Key_Left);
    QTest::keyClick(w.get(), Qt::Key_Left);
    EXPECT_NEAR(playSeconds(chan), at - 5, 0.01);
    QTest::keyClick(w.get(), Qt::Key_Left);
    EXPECT_NEAR(playSeconds(chan), 0, 0.01);

    c.sldTempo[0]->setFocus();
    const int tempo = c.sldTempo[0]->value();
    playFor(1.0);
    const double beforeSlider = playSeconds(chan);
    QTest::keyClick(c.sldTempo[0], Qt::Key_Left);
    QTest::keyClick(c.sldTempo[0], Qt::Key_Left, Qt::KeypadModifier);
    EXPECT_EQ(std::abs(c.sldTempo[0]->value() - tempo), 2);  // both reached it
    EXPECT_NEAR(playSeconds(chan), beforeSlider, 0.01);

    c.CmdStop->setFocus();
    c.cmdLoopA->click();
    const double a = playSeconds(chan);
    playFor(2.0);
    c.cmdLoopB->click();
    playFor(1.0);
    QTest::keyClick(w.get(), Qt::Key_Left);
    EXPECT_NEAR(playSeconds(chan), a, 0.01);
    QTest::keyClick(w.get(), Qt::Key_Right);
    EXPECT_NEAR(playSeconds(chan), a, 0.01);
    c.cmdLoopClear->click();

    c.sldPosition->setValue(17);
    const double nearEnd = playSeconds(chan);
    QTest::keyClick(w.get(), Qt::Key_Right);
    EXPECT_NEAR(playSeconds(chan), nearEnd, 0.01);
}

// Beat positions only move forward within a play run (a seek starts a new one), and a report of
// a channel that no longer plays never reaches the display, nor does the previous file's value.
TEST_F(PracticeWindow, BeatsMoveForwardAndBelongToTheChannelThatPlays) {
    const app::MainControls& c = w->ui();
    loadAndPlay(wav("one.wav", fixtures::sine(440, 8.0)));
    const DWORD first = w->session().PlayChannel;
    auto beat = [&](DWORD chan, float at) {
        std::thread engineThread([&] { player::BpmPanel::BeatProc(chan, at, nullptr); });
        engineThread.join();
        QApplication::processEvents();
        return c.lblBeat->text();
    };
    EXPECT_EQ(beat(first, 4.0f), "Beat pos: 4.00");
    EXPECT_EQ(beat(first, 3.5f), "Beat pos: 4.00");  // late: not shown
    c.sldPosition->setValue(1);
    EXPECT_EQ(beat(first, 1.5f), "Beat pos: 1.50");

    c.CmdStop->click();
    EXPECT_EQ(beat(first, 6.0f), "Beat pos: 1.50");  // stopped
    load(wav("two.wav", fixtures::sine(330, 8.0)));
    EXPECT_EQ(c.lblBeat->text(), "Beat pos: 0.00");
    c.CmdPlay->click();
    ASSERT_NE(w->session().PlayChannel, first);
    EXPECT_EQ(beat(first, 7.0f), "Beat pos: 0.00");
    EXPECT_EQ(beat(w->session().PlayChannel, 0.5f), "Beat pos: 0.50");
}

// The key label: "Key: …" from Load until the estimate arrives (Load and Play do not wait for
// it), then the file's key, and the key heard as the pitch slider moves; a new file never shows
// the previous one's key, and a file without a key says so.
TEST_F(PracticeWindow, KeyLabelNamesTheFilesKeyAndFollowsThePitchSlider) {
    const app::MainControls& c = w->ui();
    auto keyKnown = [&] { return c.lblKey->text() != "Key: …"; };
    load(wav("a-minor.wav", fixtures::chordProgression(9, true, 8.0)));
    EXPECT_EQ(c.lblKey->text(), "Key: …");
    c.CmdPlay->click();
    ASSERT_TRUE(processUntil(keyKnown, 20000));
    EXPECT_EQ(c.lblKey->text(), "Key: A minor");

    for (const auto& [semitones, text] :
         std::vector<std::pair<int, QString>>{{-2, "Key: A minor → G minor (−2)"},
                                              {3, "Key: A minor → C minor (+3)"},
                                              {0, "Key: A minor"},
                                              {8, "Key: A minor → F minor (+8)"}}) {
        userMove(c.sldTempo[2], semitones);
        EXPECT_EQ(c.lblKey->text(), text) << semitones;
    }
    // The cents count: the key heard is the one nearest the whole shift. The recording's A sets
    // semitones and cents (A = 415 Hz: one semitone up, and a cent).
    userMove(c.sldTempo[2], -2);
    c.spnCents->setValue(-50);
    EXPECT_EQ(c.lblKey->text(), "Key: A minor → F# minor (−2 −50 cents)");
    EXPECT_FLOAT_EQ(w->session().chain.pitchShift(), -2.5f);
    c.spnReferenceA->setValue(415);
    EXPECT_EQ(c.sldTempo[2]->value(), 1);
    EXPECT_EQ(c.spnCents->value(), 1);
    EXPECT_EQ(c.lblKey->text(), "Key: A minor → Bb minor (+1 +1 cents)");
    QTest::mouseClick(c.lblPitch, Qt::LeftButton);  // back to 0 from the label, cents and all
    EXPECT_EQ(c.lblKey->text(), "Key: A minor");
    EXPECT_EQ(c.spnReferenceA->value(), 440);

    c.CmdStop->click();
    load(wav("e-flat.wav", fixtures::chordProgression(3, false, 8.0)));
    EXPECT_EQ(c.lblKey->text(), "Key: …");  // not A minor while Eb major is estimated
    ASSERT_TRUE(processUntil(keyKnown, 20000));
    EXPECT_EQ(c.lblKey->text(), "Key: Eb major");

    // A file is loaded while the previous one's estimate runs: only the last one's key shows.
    load(wav("first.wav", fixtures::chordProgression(2, false, 30.0)));
    load(wav("silence.wav", fixtures::noise(3.0, 44100, 2, 0.0)));
    ASSERT_TRUE(processUntil(keyKnown, 20000));
    EXPECT_EQ(c.lblKey->text(), "Key: unknown");
    // Every estimate has ended and what they posted is delivered: still the last file's answer.
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(20000));
    QApplication::processEvents();
    EXPECT_EQ(c.lblKey->text(), "Key: unknown");
}

// The chord label names the chord at the place playing, as playback goes on, after a seek and at
// another tempo, and the chord heard as the pitch moves; a new file starts with "Chord: …", then
// its first chord. The waveform marks every change and names the chords heard where they fit.
TEST_F(PracticeWindow, ChordLabelFollowsThePlacePlayingAndThePitch) {
    const app::MainControls& c = w->ui();
    // A minor, D minor, E major, A minor: a second each.
    load(wav("a-minor.wav", fixtures::chordProgression(9, true, 8.0)));
    EXPECT_EQ(c.lblChord->text(), "Chord: …");
    ASSERT_TRUE(processUntil([&] { return c.lblChord->text() != "Chord: …"; }, 20000));
    EXPECT_EQ(c.lblChord->text(), "Chord: Am");  // the start's, before Play
    // The waveform's top: a tick at each change, and the names where they fit.
    w->show();
    ASSERT_TRUE(processUntil([&] { return c.wavOverview->overview() != nullptr; }, 5000));
    auto shown = [&] {
        QStringList names;
        int ticks = 0, lastX = -1;
        for (const auto& l : c.wavOverview->chordLabels()) {
            ++ticks;
            EXPECT_GT(l.x, lastX);
            lastX = l.x;
            if (!l.name.isEmpty()) names << l.name;
        }
        return std::make_pair(ticks, names.join(' '));
    };
    EXPECT_EQ(shown(), std::make_pair(7, QString("Am Dm E Am Dm E Am")));
    c.CmdPlay->click();
    playFor(2.5);
    ASSERT_TRUE(processUntil([&] { return c.lblChord->text() == "Chord: E"; }))
        << c.lblChord->text().toStdString();
    userMove(c.sldTempo[2], 2);
    EXPECT_EQ(c.lblChord->text(), "Chord: E → F#");
    EXPECT_EQ(shown(), std::make_pair(7, QString("Bm Em F# Bm Em F# Bm")));
    c.wavOverview->resize(40, c.wavOverview->height());  // no room for a name: the ticks stay
    EXPECT_EQ(shown(), std::make_pair(7, QString()));
    c.spnCents->setValue(-50);  // 1.5 semitones: the nearest whole one
    EXPECT_EQ(c.lblChord->text(), "Chord: E → F#");
    QTest::mouseClick(c.wavOverview, Qt::LeftButton, {}, QPoint(c.wavOverview->xAt(5.5), 5));
    EXPECT_EQ(c.lblChord->text(), "Chord: Dm → Em");
    // At half the tempo two seconds of playing are one of the song: at 6.5 s, E.
    userMove(c.sldTempo[0], -50);
    playFor(2.0);
    ASSERT_TRUE(processUntil([&] { return c.lblChord->text() != "Chord: Dm → Em"; }))
        << c.lblChord->text().toStdString();
    EXPECT_EQ(c.lblChord->text(), "Chord: E → F#");

    c.CmdStop->click();
    load(wav("e-flat.wav", fixtures::chordProgression(3, false, 8.0)));
    EXPECT_EQ(c.lblChord->text(), "Chord: …");
}

// Pause (the button and P) holds playback where it is and goes on from there with the tempo,
// pitch, cents, effects and loop it had; Stop still stops.
TEST_F(PracticeWindow, PauseHoldsThePlaceAndEverythingSet) {
    w->show();
    loadAndPlay(wav("song.wav", fixtures::drumTrack(120, 12)));
    const app::MainControls& c = w->ui();
    const DWORD chan = w->session().PlayChannel;
    userMove(c.sldTempo[0], -25);
    userMove(c.sldTempo[2], 2);
    c.spnCents->setValue(-30);
    c.CEq->click();
    playFor(1.0);
    c.cmdLoopA->click();
    playFor(2.0);
    c.cmdLoopB->click();
    const effects::Chain chain = w->session().chain;
    QWORD from = 0, to = 0;
    ASSERT_TRUE(engine::getLoop(chan, &from, &to));
    const float ratio = BASS_FX_TempoGetRateRatio(chan);

    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    for (bool byKey : {false, true}) {
        playFor(0.7);
        if (byKey)
            QTest::keyClick(w.get(), 'P');
        else
            c.CmdPause->click();
        ASSERT_TRUE(processUntil([&] { return c.CmdPause->isChecked(); })) << byKey;
        const double held = playSeconds(chan);
        playFor(1.0);
        EXPECT_DOUBLE_EQ(playSeconds(chan), held) << byKey;
        if (byKey)
            QTest::keyClick(w.get(), 'P');
        else
            c.CmdPause->click();
        ASSERT_TRUE(processUntil([&] { return !c.CmdPause->isChecked(); })) << byKey;
        EXPECT_EQ(w->session().PlayChannel, chan);
        EXPECT_EQ(w->session().chain, chain);
        EXPECT_FLOAT_EQ(BASS_FX_TempoGetRateRatio(chan), ratio);
        QWORD f = 0, t = 0;
        EXPECT_TRUE(engine::getLoop(chan, &f, &t));
        EXPECT_EQ(f, from);
        EXPECT_EQ(t, to);
        // On from there: 0.2 s at the tempo set, wrapping at the loop's end.
        playFor(0.2);
        const double a = BASS_ChannelBytes2Seconds(chan, from),
                     b = BASS_ChannelBytes2Seconds(chan, to);
        double want = held + 0.2 * ratio;
        if (want > b) want -= b - a;
        EXPECT_NEAR(playSeconds(chan), want, 0.03) << byKey;
    }
    c.CmdStop->click();
    EXPECT_FALSE(c.CmdPause->isEnabled());
    EXPECT_TRUE(c.btnLoadFile->isEnabled());
    EXPECT_EQ(BASS_ChannelIsActive(chan), BASS_ACTIVE_STOPPED);
}

// A loop set with [ and ] and a marker are kept with the song: after the program is closed, the
// same song under another name brings them back, and Play plays the loop. A damaged store file is
// ignored with a note.
TEST_F(PracticeWindow, LoopsAndMarkersComeBackWithTheSong) {
    w->show();
    const std::string song = wav("song.wav", fixtures::drumTrack(120, 12));
    loadAndPlay(song);
    const app::MainControls* c = &w->ui();
    ASSERT_TRUE(processUntil([&] { return c->wavOverview->overview() != nullptr; }, 5000));
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    playFor(1.0);
    QTest::keyClick(w.get(), '[');
    ASSERT_TRUE(processUntil([&] { return c->cmdLoopA->isChecked(); }));
    playFor(2.0);
    QTest::keyClick(w.get(), ']');
    ASSERT_TRUE(processUntil([&] { return c->cmdLoopB->isChecked(); }));
    const double a = w->transport().loopStart(), b = w->transport().loopEnd();
    QTest::keyClick(w.get(), 'M');
    ASSERT_TRUE(processUntil([&] { return w->practice().record().markers.size() == 1; }));
    const double marker = w->practice().record().markers[0].at;
    c->CmdStop->click();
    w->close();  // the program ends
    w = std::make_unique<app::frmWriteWave>();
    ASSERT_TRUE(w->Form_Load());
    c = &w->ui();

    const std::string moved = sources.file("renamed.wav");
    std::filesystem::copy_file(song, moved);
    // Another file loaded before the song's lookup ends: the song's loops stay away, and the BPM
    // octave set meanwhile is kept with the song all the same.
    load(moved);
    w->practice().setBpmOctave(1);
    load(wav("other.wav", fixtures::sine(440, 3.0)));
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(20000));
    QApplication::processEvents();
    EXPECT_EQ(c->cboLoops->count(), 0);

    load(moved);
    ASSERT_TRUE(processUntil([&] { return c->cboLoops->count() > 0; }, 5000));
    EXPECT_EQ(c->cboLoops->count(), 1);
    EXPECT_EQ(c->cboLoops->currentText(), "Loop 1");
    EXPECT_EQ(w->practice().record().bpmOctave, 1);
    ASSERT_EQ(w->practice().record().markers.size(), 1u);
    EXPECT_DOUBLE_EQ(w->practice().record().markers[0].at, marker);
    EXPECT_EQ(c->cboMarkers->count(), 2);  // where playback stopped, and the marker
    EXPECT_DOUBLE_EQ(c->wavOverview->loopStart(), a);
    EXPECT_DOUBLE_EQ(c->wavOverview->loopEnd(), b);
    EXPECT_DOUBLE_EQ(c->wavOverview->position(), a);  // where Play starts
    c->CmdPlay->click();
    const DWORD chan = w->session().PlayChannel;
    QWORD from = 0, to = 0;
    ASSERT_TRUE(engine::getLoop(chan, &from, &to));
    EXPECT_EQ(from, QWORD(std::llround(a * 44100)) * 4);  // the frame a render of it starts at
    EXPECT_NEAR(playSeconds(chan), a, 0.01);
    c->CmdStop->click();
    // A loop dragged between two frames, nearer the later: heard from the frame "Loop only"
    // saves from.
    load(moved);
    ASSERT_TRUE(processUntil([&] { return c->cboLoops->count() > 0; }, 5000));
    emit c->wavOverview->loopSelected(2.000015, 3.000015);
    c->CmdPlay->click();
    ASSERT_TRUE(engine::getLoop(w->session().PlayChannel, &from, &to));
    EXPECT_EQ(from, QWORD(88201) * 4);
    EXPECT_EQ(to, QWORD(132301) * 4);
    c->CmdStop->click();

    // The song's store file damaged: the song loads as new, with a note, and plays.
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(20000));  // the last save has landed
    const auto folder = songsFolder();
    ASSERT_TRUE(std::filesystem::exists(folder));
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        std::ofstream(entry.path(), std::ios::binary | std::ios::trunc) << "{\"format\": [";
    load(moved);
    ASSERT_TRUE(processUntil([&] { return !c->lblPracticeNote->text().isEmpty(); }, 5000));
    EXPECT_EQ(c->cboLoops->count(), 0);
    c->CmdPlay->click();
    EXPECT_FALSE(engine::getLoop(w->session().PlayChannel, &from, &to));
    EXPECT_TRUE(c->CmdStop->isEnabled());
}

// The song store is written off the window thread and in order: while its worker is held, what
// the user makes reaches no file; the song loaded again is read after those writes and has it; a
// write that fails says so in the window.
TEST_F(PracticeWindow, TheSongIsKeptOffTheWindowThreadInOrder) {
    const std::string song = wav("song.wav", fixtures::drumTrack(120, 6));
    load(song);
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(20000));
    QApplication::processEvents();  // the song is found
    const app::MainControls& c = w->ui();
    const auto folder = songsFolder();
    auto stored = [&] {
        return std::filesystem::exists(folder) && !std::filesystem::is_empty(folder);
    };

    std::promise<void> release;
    platform::runInOrderOffWindowThread([held = release.get_future().share()] { held.wait(); });
    c.cmdLoopAdd->click();
    c.cmdMarker->click();
    EXPECT_FALSE(stored());
    load(song);
    // Every other worker done (the song's key found): its record waits for the writes.
    ASSERT_TRUE(processUntil([] { return QThreadPool::globalInstance()->activeThreadCount() == 1; },
                             20000));
    EXPECT_EQ(c.cboLoops->count(), 0);
    release.set_value();
    ASSERT_TRUE(processUntil([&] { return c.cboLoops->count() == 1; }, 5000));
    EXPECT_EQ(w->practice().record().markers.size(), 1u);
    EXPECT_TRUE(stored());

    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(20000));
    files::armFault(files::Fault::Write, 1, ENOSPC);
    c.cmdMarker->click();
    EXPECT_TRUE(processUntil([&] { return !c.lblPracticeNote->text().isEmpty(); }, 5000));
    files::disarmFaults();
}

// Another running copy of the program that kept something for the song meanwhile loses nothing
// to this one's next write.
TEST_F(PracticeWindow, WhatAnotherCopyKeptMeanwhileStays) {
    const std::string song = wav("song.wav", fixtures::drumTrack(120, 6));
    load(song);
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(20000));
    QApplication::processEvents();  // the song is found
    w->ui().cmdLoopAdd->click();
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(20000));
    const songs::SongStore other(songsFolder().parent_path().string());
    const songs::SongKey key = songs::songKey(song);
    songs::SongRecord theirs = other.load(key).record;
    ASSERT_EQ(theirs.loops.size(), 1u);
    theirs.markers.push_back({"Theirs", 1.0});
    ASSERT_TRUE(other.save(key, theirs));
    w->ui().cmdMarker->click();
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(20000));
    const songs::SongRecord kept = other.load(key).record;
    EXPECT_EQ(kept.loops.size(), 1u);
    EXPECT_EQ(kept.markers.size(), 2u);  // theirs, and the one made here
}

// A marker chosen in the list can be taken out of it, and out of the song's record.
TEST_F(PracticeWindow, AMarkerChosenCanBeDeleted) {
    const std::string song = wav("song.wav", fixtures::drumTrack(120, 6));
    load(song);
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(20000));
    QApplication::processEvents();  // the song is found
    const app::MainControls& c = w->ui();
    c.cmdMarker->click();
    EXPECT_FALSE(c.cmdMarkerDelete->isEnabled());
    c.cboMarkers->setCurrentIndex(c.cboMarkers->findText("Marker 1"));
    emit c.cboMarkers->activated(c.cboMarkers->currentIndex());
    ASSERT_TRUE(c.cmdMarkerDelete->isEnabled());
    c.cmdMarkerDelete->click();
    EXPECT_EQ(c.cboMarkers->findText("Marker 1"), -1);
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(20000));
    const songs::SongStore store(songsFolder().parent_path().string());
    EXPECT_TRUE(store.load(songs::songKey(song)).record.markers.empty());
}

// The first change to a song loaded again is kept as made: a loop deleted stays deleted.
TEST_F(PracticeWindow, TheFirstChangeAfterLoadingIsKeptAsMade) {
    const std::string song = wav("song.wav", fixtures::drumTrack(120, 6));
    for (int pass = 0; pass < 2; ++pass) {
        load(song);
        ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(20000));
        QApplication::processEvents();  // the song is found
        if (pass == 0) w->ui().cmdLoopAdd->click();
    }
    ASSERT_EQ(w->ui().cboLoops->count(), 1);
    w->ui().cmdLoopDelete->click();
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(20000));
    const songs::SongStore store(songsFolder().parent_path().string());
    EXPECT_TRUE(store.load(songs::songKey(song)).record.loops.empty());
}

// The speed trainer on a loop: the tempo starts at its start, and the slider and its label show
// each step as the loop comes round, up to the target, where it stays; numbers changed while it
// runs take over from the tempo reached, at the next wrap.
TEST_F(PracticeWindow, TrainerStepsShowOnTheTempoSlider) {
    loadAndPlay(wav("song.wav", fixtures::drumTrack(120, 12)));
    const app::MainControls& c = w->ui();
    const DWORD chan = w->session().PlayChannel;
    playFor(1.0);
    c.cmdLoopA->click();
    playFor(1.0);
    c.cmdLoopB->click();
    c.spnTrainerStart->setValue(-30);
    c.spnTrainerStep->setValue(15);
    c.spnTrainerEvery->setValue(1);
    c.spnTrainerTarget->setValue(0);
    c.chkTrainer->click();
    EXPECT_EQ(c.sldTempo[0]->value(), -30);
    EXPECT_FLOAT_EQ(BASS_FX_TempoGetRateRatio(chan), 0.7f);
    for (int tempo : {-15, 0, 0}) {
        playFor(1.0 / 0.7);  // a pass at the slowest tempo at least
        ASSERT_TRUE(processUntil([&] { return c.sldTempo[0]->value() == tempo; })) << tempo;
        EXPECT_EQ(c.lblTempo->text(), QString::number(tempo) + "%");
        EXPECT_EQ(w->session().chain.tempoPercent, float(tempo));
        EXPECT_FLOAT_EQ(BASS_FX_TempoGetRateRatio(chan), 1.0f + tempo / 100.0f);
    }
    // A new step and target while it runs: one step from the tempo reached at each wrap.
    c.spnTrainerStep->setValue(10);
    c.spnTrainerTarget->setValue(20);
    EXPECT_EQ(c.sldTempo[0]->value(), 0);
    engine::LoopPractice state;
    for (int tempo : {10, 20}) {
        const float before = w->session().chain.tempoPercent;
        for (int i = 0; i < 60; ++i) {
            playFor(0.025);
            engine::getLoopPractice(chan, &state);
            if (state.tempoPercent != before) break;
        }
        EXPECT_EQ(state.tempoPercent, float(tempo));
        if (tempo == 10) {  // the pitch moved before the window shows the step: the step stays
            userMove(c.sldTempo[2], 1);
            EXPECT_FLOAT_EQ(BASS_FX_TempoGetRateRatio(chan), 1.1f);
        }
        ASSERT_TRUE(processUntil([&] { return c.sldTempo[0]->value() == tempo; })) << tempo;
    }
}

// The count-in on a click track at 120 BPM whose first beat is at 0.1 s, with what it sounds
// like: the onsets of the next `seconds` of output, in seconds.
class CountIn : public PracticeWindow {
  protected:
    void loadClicks() {
        load(wav("clicks.wav", fixtures::clickTrack(120, 20.0, 44100, 2, 0.1)));
        ASSERT_TRUE(processUntil([&] { return w->practice().beatGrid().known(); }, 10000));
    }
    static std::vector<double> heard(double seconds) {
        std::vector<float> out(size_t(seconds * 44100) * 2);
        engine::nullOutputRead(out.data(), int64_t(out.size() / 2));
        std::vector<int16_t> pcm;
        for (float v : out) pcm.push_back(int16_t(std::lrint(v * 32767.0f)));
        std::vector<double> at;
        for (int64_t i : practice::onsets(pcm, 2, 3000, 4410)) at.push_back(double(i) / 44100);
        return at;
    }
};

// With a count-in, Play first clicks at the song's tempo on the beat grid the tracker found in
// the file: the clicks a beat apart, then the song's own first beat where the next click would be.
// The beat is the one the BPM shows: at its octave as the user set it (½ or ×2 here). A loop
// marked before Play (as one restored with the song) is counted in from its start, from the
// first click on.
// With the speed trainer on the loop, the count-in goes at the trainer's starting tempo.
// (octave, a loop from 1.85 s, a quarter of a beat before the song's beat at 2.1 s, the trainer
// starting at -20 %)
class CountInAtOctave : public CountIn,
                        public ::testing::WithParamInterface<std::tuple<int, bool, bool>> {};

TEST_P(CountInAtOctave, ClicksOnTheSongsBeatGridBeforePlay) {
    const app::MainControls& c = w->ui();
    loadClicks();
    const auto [octave, looped, trainer] = GetParam();
    for (int k = 0; k < std::abs(octave); ++k)
        (octave < 0 ? c.cmdBpmHalf : c.cmdBpmDouble)->click();
    c.spnCountIn->setValue(3);
    if (looped) w->transport().selectLoop(1.85, 4.0);
    if (trainer) {
        c.spnTrainerStart->setValue(-20);
        c.chkTrainer->setChecked(true);
    }
    c.CmdPlay->click();
    userMove(c.sldVolume, 0);
    const double beat = 0.5 * std::ldexp(1.0, -octave) / (trainer ? 0.8 : 1.0);
    const std::vector<double> at = heard(4 * beat + 0.3);
    ASSERT_GE(at.size(), 4u);
    for (int k = 0; k < 4; ++k)  // three clicks, then the song's beat (of 0.1 s or 2.1 s)
        EXPECT_NEAR(at[size_t(k)], k * beat, 0.010) << k;
}
INSTANTIATE_TEST_SUITE_P(Octaves, CountInAtOctave,
                         ::testing::Values(std::tuple{0, false, false},
                                           std::tuple{-1, false, false},
                                           std::tuple{1, false, false}, std::tuple{0, true, false},
                                           std::tuple{0, true, true}));

// The octave set while a loop plays: its next passes are counted in at the new beat.
TEST_F(CountIn, OfEachPassFollowsAnOctaveSetWhilePlaying) {
    const app::MainControls& c = w->ui();
    loadClicks();
    c.spnCountIn->setValue(2);
    c.chkCountInLoop->setChecked(true);
    c.CmdPlay->click();
    userMove(c.sldVolume, 0);
    auto clicksAt240 = [](const std::vector<double>& at) {  // a quarter of a second apart
        for (size_t k = 1; k < at.size(); ++k)
            if (std::abs(at[k] - at[k - 1] - 0.25) < 0.01) return true;
        return false;
    };
    EXPECT_FALSE(clicksAt240(heard(2.0)));
    c.cmdLoopA->click();
    EXPECT_FALSE(clicksAt240(heard(1.2)));
    c.cmdLoopB->click();
    c.cmdBpmDouble->click();
    EXPECT_TRUE(clicksAt240(heard(3.0)));
}

// Play before the beat grid is found (its worker held): once it is, the loop's next passes are
// counted in. The loop ends 0.4 s after a beat and starts 0.25 s before one; without the two
// clicks the wrap would leave 0.65 s between beats.
TEST_F(CountIn, OfEachPassBeginsWhenTheGridIsFoundAfterPlay) {
    const app::MainControls& c = w->ui();
    std::promise<void> release;
    const std::shared_future<void> held = release.get_future().share();
    for (int k = 0; k < QThreadPool::globalInstance()->maxThreadCount(); ++k)
        QThreadPool::globalInstance()->start([held] { held.wait(); });
    load(wav("clicks.wav", fixtures::clickTrack(120, 20.0, 44100, 2, 0.1)));
    c.spnCountIn->setValue(2);
    c.chkCountInLoop->setChecked(true);
    w->transport().selectLoop(1.85, 3.0);
    c.CmdPlay->click();
    userMove(c.sldVolume, 0);
    ASSERT_FALSE(w->practice().beatGrid().known());
    release.set_value();
    ASSERT_TRUE(processUntil([&] { return w->practice().beatGrid().known(); }, 10000));
    const std::vector<double> at = heard(2.6);
    ASSERT_GE(at.size(), 5u);
    for (size_t k = 1; k < at.size(); ++k) EXPECT_NEAR(at[k] - at[k - 1], 0.45, 0.06) << k;
}

// The waveform takes at least half the height the window gains.
TEST_F(PracticeWindow, TheWaveformGrowsWithTheWindow) {
    w->show();
    w->resize(1000, 700);
    QApplication::processEvents();
    const int before = w->ui().wavOverview->height();
    w->resize(1000, 1000);
    QApplication::processEvents();
    EXPECT_GE(w->ui().wavOverview->height() - before, 150);
}

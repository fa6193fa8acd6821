// The transport panel: "Load Audio File", Play, Stop, the play position slider with its time
// text, the file's waveform (wavOverview), the A-B loop buttons, and the volume slider. Play
// builds Session::PlayChannel (a tempo channel over the loaded file) and starts the BPM
// detection; a timer of the main window calls followPlayback a few times a second, which moves
// the slider and the waveform's play head.
//
// The A-B loop: cmdLoopA and cmdLoopB mark the play position as the loop's start and end (or a
// drag over the waveform marks both; a drag before Play marks the loop Play then sets, and
// playback starts at A); while both are set the play channel wraps from B to A (engine::setLoop
// on its source, so tempo and pitch changes keep it). cmdLoopClear, Stop and a new file clear it.
//
// Pause (CmdPause, checked while paused) holds the play channel where it is and goes on from there
// with everything it had: tempo, pitch, effects and the loop. Stop keeps its meaning.
// Window thread only.
#pragma once

#include <QKeySequence>
#include <functional>
#include <string>
#include <vector>

#include "player/session.h"

class QLabel;
class QPushButton;

namespace platform {
class Slider;
}  // namespace platform

namespace player {

class BpmPanel;
class TempoPitchPanel;
class WaveformView;

// "Load Audio File" from anywhere in the window (a shortcut of the window's own, not the
// button's: the button's text changes to the file's name).
inline const QKeySequence kLoadKey{Qt::CTRL | Qt::Key_O};

struct TransportWidgets {
    QPushButton* btnLoadFile;
    QPushButton* CmdPlay;
    QPushButton* CmdStop;
    QPushButton* btnConvert;  // "Process": available after Stop, not after Load
    platform::Slider* sldPosition;
    QLabel* lblPos;
    platform::Slider* sldVolume;
    WaveformView* wavOverview;
    QPushButton* cmdLoopA;
    QPushButton* cmdLoopB;
    QPushButton* cmdLoopClear;
    QPushButton* CmdPause;  // checked while paused
};

// What the panel asks of the rest of the window.
struct TransportHooks {
    // Frees the engine and opens the output again; false when none was opened.
    std::function<bool()> restartEngine;
    // The "Tools" menu on or off (off while a file plays).
    std::function<void(bool)> setToolsEnabled;
    // Load, before the dialog: the equalizer and the vocal remover go off.
    std::function<void()> resetEffects;
    // Load, once a file was chosen: the effects are available for it.
    std::function<void()> fileLoaded;
    // Play, once the new channel is built and before it sounds: the effects that are on are set
    // on it.
    std::function<void()> playStarted;
    // The loop's marks were set (a drag, A and B, a loop chosen from the list): a < b, seconds.
    std::function<void(double, double)> loopChanged;
    // The user ended the loop (A–B ✕, or A after the loop's end): the next marks are a new loop.
    std::function<void()> loopCleared;
    // Stop, before the channel goes: where playback was, in seconds (-1 when unknown).
    std::function<void(double)> stopping;
    // The window was closed (while Play opened the file off the window thread).
    std::function<bool()> closing;
};

// The extensions of the files the decoder reads (MP3 through libmpg123, the rest through
// libsndfile), lower case without the dot.
const std::vector<std::string>& audioExtensions();
// A name with one of those extensions (in any case).
bool isAudioFileName(const std::string& path);
// Load's dialog filter: every type the decoder reads first, then MP3 and WAV.
std::string loadDialogFilter();

class TransportPanel {
  public:
    TransportPanel(Session& session, const TransportWidgets& widgets, TempoPitchPanel& tempoPitch,
                   BpmPanel& bpm, TransportHooks hooks);

    // "Load Audio File": resets tempo, pitch and effects, deletes the work files, asks for a file.
    void btnLoadFile_Click();
    // The same steps with `path` instead of the dialog's answer (a file named on the command line
    // or dropped on the window).
    void loadFile(const std::string& path);
    void CmdPlay_Click();
    void CmdStop_Click();
    void sldPosition_Change();
    void sldVolume_Scroll();
    void ShowPlayPosition();
    // Moves the position slider, its text and the waveform's play head to where playback is,
    // without running the slider's change handler.
    void followPlayback();
    // A click on the waveform at `seconds`: the seek the position slider makes, to that point.
    void wavOverview_Seek(double seconds);
    // The keys Left and Right: back or forward by `seconds` (negative: back) from the place
    // playing. Inside a loop that plays the jump stays in it (to the loop's start where it would
    // leave it); a jump forward to the end of the file or a jump while nothing plays does nothing.
    void jump(double seconds);
    // A drag over the waveform from `a` to `b` seconds: the loop's start and end.
    void wavOverview_LoopSelected(double a, double b);
    void cmdLoopA_Click();
    void cmdLoopB_Click();
    // A–B ✕: no loop, and the loop the list held is no longer the one marked (loopCleared).
    void cmdLoopClear_Click();
    // No loop plays or is marked; the list's loop stays the one A and B mark next.
    void clearLoop();
    // Pause, or go on from where playback was paused.
    void CmdPause_Click();
    bool paused() const;
    // A loop from elsewhere (the list of loops): set on the play channel while it plays, else
    // marked for the next Play (which then starts at `a`), as a drag over the waveform is.
    void selectLoop(double a, double b);
    // A place from elsewhere (the markers list, a click on the waveform): sought while playing,
    // else where the next Play starts (a loop marked before Play then plays from there when it
    // holds it).
    void selectPlace(double seconds);
    // Where Play made playback start (a place chosen, a loop's start, else 0), for the count-in.
    double playStartSeconds() const { return playStart_; }
    // Where the play channel is, in seconds on the file's timeline (-1 when unknown).
    double playSeconds() const;
    // The play channel plays (or is paused) on the output; never while Process renders.
    bool playing() const;
    // The loop set on the play channel, in seconds (a >= b: none).
    double loopStart() const { return loopA_; }
    double loopEnd() const { return loopB_; }

  private:
    // PlayChannel is a channel of the output (not the render's decoding channel).
    bool onOutput() const;
    // The play channel's length in seconds, exactly (the position slider's is whole seconds).
    double lengthSeconds() const;
    // Where `seconds` lies in the play channel, in bytes: the nearest frame.
    QWORD bytesAt(double seconds) const;
    void prepareLoad();
    void fileChosen(const std::string& path);
    // sldPosition_Change's seek, to any point in seconds.
    void seekTo(double seconds);
    // Play, before the channel sounds: puts it at `seconds`, with the slider and the waveform.
    void placeBeforePlay(double seconds);
    // Before Play, a loop from `a` to `b` marked: the place chosen for Play goes unless inside it,
    // and the cursor shows where Play will start.
    void keepCueIn(double a, double b);
    // Sets the loop on the play channel; seeks to `a` when playback is already past `b`.
    void applyLoop(double a, double b);
    // Forgets the loop (the channel's is gone or is cleared separately) and the marks.
    void forgetLoop();
    void showLoopMarks();

    Session& s_;
    TransportWidgets w_;
    TempoPitchPanel& tempoPitch_;
    BpmPanel& bpm_;
    TransportHooks hooks_;
    // The marks of the loop; a set loop has both, and loopA_ < loopB_.
    double loopA_ = 0.0, loopB_ = 0.0;
    bool markA_ = false, markB_ = false;
    double playStart_ = 0.0;
    double cued_ = -1.0;  // where the next Play starts, chosen before it (-1: none)
};

}  // namespace player

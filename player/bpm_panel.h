// The BPM panel: the BPM and beat texts, periodic BPM ("BPM by period of seconds:" with its
// period box), beat reporting, and the progress of the decode-time detection (pbProcess).
// Decode-time detection runs on Session::BpmChannel; periodic detection and beats on
// Session::PlayChannel.
//
// Beats and periodic BPM are shown only from the channel that plays now: a report of a channel
// that is no longer Session::PlayChannel (a stopped run, the previous file) is dropped on
// arrival, and beat positions only move forward within a play run (BeatRun).
//
// Threads: every method runs on the window thread, except the engine procedures BpmProc,
// BeatProc and BpmProgressProc, which the BPM worker (or the caller of BASS_FX_BPM_DecodeGet)
// calls; they only post their change to the window thread (platform/window_thread.h).
#pragma once

#include "engine/bass.h"
#include "player/bpm_display.h"
#include "player/session.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;

namespace player {

// The widgets the panel drives; built by the main window.
struct BpmWidgets {
    QLabel* lblBPM;
    QLabel* lblBeat;
    QCheckBox* chkBPMCallback;
    QLineEdit* txtPeriod;
    QCheckBox* chkBeat;
    QProgressBar* pbProcess;
};

class BpmPanel {
  public:
    BpmPanel(Session& session, const BpmWidgets& widgets);
    ~BpmPanel();
    BpmPanel(const BpmPanel&) = delete;
    BpmPanel& operator=(const BpmPanel&) = delete;

    // The BPM `handle` measured, translated to the tempo the play channel runs at.
    float CurrentBPM(DWORD handle);
    // Detects the BPM between the two times; `reopen` opens BpmChannel on the loaded file first.
    void DetectBPM(bool reopen, float startSec, float endSec);
    void chkBPMCallback_Click();
    void chkBeat_Click();
    // The period in seconds typed in txtPeriod.
    float period() const;
    // "BPM: " with the BPM of the periodic detection when it is on, else of the decode-time one.
    void showCurrentBpm();
    // "BPM: 0.00" (after a render).
    void clearBpm();
    // Stops the BPM and beat reporting on the session's channels (a new file is loaded).
    void releaseChannels();
    // A new file: "Beat pos: 0.00" and a new beat run.
    void fileLoaded();
    // Play or a seek: the beats that follow start a new run.
    void restartBeats();
    // The A-B loop the play channel wraps in, in seconds (a >= b: none).
    void setBeatLoop(double a, double b);

    // Engine procedures: the engine's threads call them.
    static void BpmProc(DWORD chan, float bpm, void* user);
    static void BeatProc(DWORD chan, float beatpos, void* user);
    static void BpmProgressProc(DWORD chan, float percent);

  private:
    void showBeat(DWORD chan, float beatpos);

    Session& s_;
    BpmWidgets w_;
    BeatRun beats_;
};

}  // namespace player

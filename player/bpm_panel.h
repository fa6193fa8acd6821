// The BPM panel: the BPM and beat texts, periodic BPM ("BPM by period of seconds:" with its
// period box), beat reporting, and the progress of the decode-time detection (pbProcess).
// Decode-time detection runs on Session::BpmChannel; periodic detection and beats on
// Session::PlayChannel.
//
// The key label (lblKey) shows the loaded file's key, estimated by a KeyWorker off the window
// thread once the file is chosen, and the key heard with the pitch slider's shift. The chord
// label (lblChord) shows the chord at the place playing, from the same worker's chords.
//
// Beats and periodic BPM are shown only from the channel that plays now: a report of a channel
// that is no longer Session::PlayChannel (a stopped run, the previous file) is dropped on
// arrival, and beat positions only move forward within a play run (BeatRun).
//
// Threads: every method runs on the window thread, except the engine procedures BpmProc,
// BeatProc and BpmProgressProc, which the engine's BPM worker and detection thread call; they
// only post their change to the window thread (platform/window_thread.h). The window thread never
// waits for the decode-time detection: the label changes when its progress reaches 100.
#pragma once

#include <functional>
#include <vector>

#include "engine/bass.h"
#include "player/bpm_display.h"
#include "player/key_worker.h"
#include "player/session.h"

class QAbstractButton;
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
    QLabel* lblKey;
    QLabel* lblChord;
    QAbstractButton* cmdBpmHalf;    // the BPM shown halved: the detector found the double
    QAbstractButton* cmdBpmDouble;  // the BPM shown doubled: the detector found the half
    QAbstractButton* cmdBpmTap;     // tapped along with the beat: the octave nearest the taps
};

class BpmPanel {
  public:
    BpmPanel(Session& session, const BpmWidgets& widgets);
    ~BpmPanel();
    BpmPanel(const BpmPanel&) = delete;
    BpmPanel& operator=(const BpmPanel&) = delete;

    // The BPM `handle` measured, translated to the tempo the play channel runs at.
    float CurrentBPM(DWORD handle);
    // Detects the BPM between the two times, on the engine's thread; `reopen` opens BpmChannel on
    // the loaded file first. The label shows the BPM once the detection has ended (a detection
    // still under way gives way to this one).
    void DetectBPM(bool reopen, float startSec, float endSec);
    // The stream DetectBPM(true, ...) opens on `file` (a decoding stream, else a music module); 0
    // when neither opens. Any thread: Play opens it off the window thread.
    static DWORD openBpmChannel(const std::string& file);
    // A BPM detection started by DetectBPM has not ended yet.
    bool detecting() const { return detecting_; }
    void chkBPMCallback_Click();
    void chkBeat_Click();
    // The period in seconds typed in txtPeriod.
    float period() const;
    // "BPM: " with the BPM of the periodic detection when it is on, else of the decode-time one.
    void showCurrentBpm();
    // "BPM: 0.00" (after a render); the octave buttons then correct nothing until a BPM is shown.
    void clearBpm();
    // Stops the BPM and beat reporting on the session's channels (a new file is loaded); the
    // detection stream goes with it.
    void releaseChannels();
    // The engine was started again (Play, Process): the detection stream and its detection are
    // gone, and what they would have reported is not shown.
    void channelsGone();
    // A new file at `path`: "Beat pos: 0.00", a new beat run, and its key ("Key: …" until it is
    // known; the previous file's estimate is cancelled).
    void fileLoaded(const std::string& path);
    // The pitch moved the sound by `semitones` (the slider's and the cents): the key and chord
    // labels name the key and chord heard.
    void setKeyPitch(double semitones);
    // The place playing (seconds on the file's timeline): the chord label shows its chord.
    void showChordAt(double seconds);
    // Play or a seek: the beats that follow start a new run.
    void restartBeats();
    // The A-B loop the play channel wraps in, in seconds (a >= b: none).
    void setBeatLoop(double a, double b);
    // The BPM shown from now on is half or twice the one detected (again: a quarter, four
    // times), for the file loaded: the detector may count a song's beat at its double or half.
    // Both buttons together bring it back; a new file starts at the BPM detected, or at the
    // octave kept with it (restoreOctave).
    void cmdBpmHalf_Click();
    void cmdBpmDouble_Click();
    // A tap along with the beat heard: from the fourth tap on (see TapTempo), the BPM shown is
    // the detected one at the octave nearest the tapped tempo, kept with the song as the buttons'
    // is, and the label's tip says the tempo tapped. Taps made before a BPM is shown set its
    // octave once it is.
    void cmdBpmTap_Click();
    // The clock of the taps, in seconds (a steady clock unless a test drives it).
    std::function<double()> tapClock;
    // The octave kept with the song (the label changes only once a BPM was shown).
    void restoreOctave(int octave);
    // Called with the octave the user set by the buttons.
    std::function<void(int)> octaveChanged;
    // Called with the loaded file's chords (none until they are known) and the whole semitones
    // they are heard away, whenever either changes.
    std::function<void(const std::vector<analysis::chords::ChordSpan>&, int,
                       analysis::chords::Spelling)>
        chordsChanged;

    // Engine procedures: the engine's threads call them.
    static void BpmProc(DWORD chan, float bpm, void* user);
    static void BeatProc(DWORD chan, float beatpos, void* user);
    static void BpmProgressProc(DWORD chan, float percent);

  private:
    void showBeat(DWORD chan, float beatpos);
    void showKey();
    void showChord();
    void chordsOrPitchChanged();
    // "BPM: " and `bpm` times the octave the user chose.
    void showBpm(float bpm);
    // The detection on `chan` has ended: the label shows its BPM, if `chan` is still BpmChannel.
    void bpmDetected(DWORD chan);
    // The buttons and the label's tip for `octave`; the label itself when `show`.
    void setOctave(int octave, bool show);

    Session& s_;
    BpmWidgets w_;
    BeatRun beats_;
    KeyWorker keyWorker_;
    bool keyEstimating_ = false;
    std::optional<analysis::key::KeyEstimate> key_;
    std::vector<analysis::chords::ChordSpan> chords_;
    double chordSeconds_ = -1.0;  // the place the chord label shows; < 0: no file yet
    double keyPitch_ = 0.0;
    int octave_ = 0;  // the BPM shown is the detected one times 2^octave_ (-2..2)
    TapTempo taps_;
    double tapped_ = 0.0;      // the BPM tapped last for this file; 0: none
    bool tapPending_ = false;  // tapped_ waits for a BPM to set the octave of
    float lastBpm_ = 0.0f;     // the detected BPM shown last
    bool detecting_ = false;   // a detection of DetectBPM is under way
};

}  // namespace player

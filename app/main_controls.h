// The main window's controls and menus: built, laid out and named in one place (the window
// hands them to its panels). Window thread only.
#pragma once

#include <QKeySequence>
#include <array>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QToolButton;

namespace platform {
class ClickLabel;
class Slider;
}  // namespace platform
namespace components {
class Mp3Encoder;
}  // namespace components
namespace player {
class WaveformView;
}  // namespace player

namespace app {

// Plays, or stops while playing.
extern const QKeySequence kPlayStopKey;
// The A-B loop's start, end, and clearing.
extern const QKeySequence kLoopAKey, kLoopBKey, kLoopClearKey;
// Pause and go on; a marker at the play position.
extern const QKeySequence kPauseKey, kMarkerKey, kTapKey;
// Back and forward by kJumpSeconds while playing (a focused slider, box or list keeps its arrows).
extern const QKeySequence kJumpBackKey, kJumpForwardKey;
constexpr double kJumpSeconds = 5.0;

// The contact address under the controls.
inline constexpr const char* kContact = "info@quorvin-audio.example";

// Every control and menu item of the main window (docs/names.md says what each one is).
struct MainControls {
    QPushButton* btnLoadFile;  // "Load Audio File"; then the loaded file's name
    QPushButton* CmdPlay;
    QPushButton* CmdStop;
    QPushButton* btnConvert;                      // "Process"
    QCheckBox* chkProcessLoop;                    // "Loop only": Process renders the chosen loop
    QPushButton* Comout;                          // opens the desktop's volume mixer
    std::array<platform::Slider*, 3> sldTempo{};  // 0 tempo, 2 pitch; there is no 1
    platform::ClickLabel* lblTempo;
    platform::ClickLabel* lblPitch;
    QLabel* LblTm;
    QLabel* LblPh;
    platform::Slider* sldVolume;
    QLabel* lblVolPitch;
    platform::Slider* sldPosition;
    QGroupBox* Frame3;  // "Play Position"
    QLabel* lblPos;
    QLabel* lblTime;
    QLabel* lblStrFile;
    player::WaveformView* wavOverview;  // the file's waveform in the "Play Position" frame
    QPushButton* cmdLoopA;              // "A": the loop's start at the play position
    QPushButton* cmdLoopB;              // "B": its end
    QPushButton* cmdLoopClear;          // "A–B ✕": no loop
    QLabel* lblBPM;
    QLabel* lblBeat;
    QToolButton* cmdBpmHalf;    // "½": the BPM shown halved
    QToolButton* cmdBpmDouble;  // "×2": the BPM shown doubled
    QToolButton* cmdBpmTap;     // "Tap": the octave of the BPM shown from beats tapped (T)
    QLabel* lblKey;    // "Key: " and the loaded file's key (and the key heard at the pitch set)
    QLabel* lblChord;  // "Chord: " and the chord at the place playing (and the chord heard)
    QCheckBox* chkBPMCallback;
    QLineEdit* txtPeriod;
    QCheckBox* chkBeat;
    QProgressBar* pbProcess;  // progress of the BPM detection
    QPushButton* Chkrem;      // the vocal remover's switch
    QGroupBox* Frame2;        // "Vocal Remover"
    QLabel* LblRem;
    std::array<platform::Slider*, 1> vcompr{};  // the vocal remover's gain
    QCheckBox* chkKeepBass;                     // the remover leaves the bass below 150 Hz
    QCheckBox* chkKeepStereo;                   // the remover keeps the stereo picture
    QSpinBox* spnStereoStrength;  // how much of the centre the stereo remover takes, in %
    QSpinBox* spnStereoFrom;      // the band the stereo remover works in: its lower edge in Hz
    QSpinBox* spnStereoTo;        // and its upper edge
    QComboBox* cboChannels;       // the sides heard: both, left, right, mono
    QPushButton* CEq;             // the equalizer's switch
    QLabel* Label5;
    QLabel* lblClipped;  // shown while playback clips at full scale after the equalizer
    QCheckBox* chkEqualizer;
    std::array<platform::Slider*, 7> sldEQ{};
    QGroupBox* Frame1;  // the band frequencies
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QProgressBar* Pbregg;           // progress of a render
    QPushButton* cmdCancelProcess;  // "Cancel" beside Pbregg: stops the render under way
    QProgressBar* prog;             // progress bar of the window's bottom row
    QComboBox* Combo2;              // "&Mp3 Setup" bit rates
    components::Mp3Encoder* MEnc1;
    QGroupBox* Frame5;             // "Player Audio WinMixer"
    platform::ClickLabel* Label6;  // the contact address
    QLabel* lblNoSound;            // shown while the program plays without a sound device

    QMenu* cvmenu;  // "Tools"
    QAction* cdripper;
    QAction* wavp3;
    QAction* Snorma;
    QMenu* mnuRecent;  // "Recent &Files": the files loaded last
    QAction* Mnuexit;
    QMenu* mnuconf;  // "&Options"
    QAction* Mmp3;
    QAction* Savec;
    QAction* mnuHighQuality;          // "High quality render": Process stretches with Rubber Band
    QAction* mnuHighQualityPlayback;  // "High quality playback": Play stretches with Rubber Band
    QAction* Shelp;
    QAction* Sabout;

    // The practice tools (player/practice_panel.h, the tempo and pitch panel's fine pitch).
    QPushButton* CmdPause;         // checked while paused
    QSpinBox* spnCents;            // cents on top of the pitch slider
    QSpinBox* spnReferenceA;       // the recording's A, Hz
    QComboBox* cboLoops;           // the song's named loops
    QPushButton* cmdLoopAdd;       // a new loop in the list
    QPushButton* cmdLoopDelete;    // the current loop out of the list
    QComboBox* cboMarkers;         // the last position and the song's markers
    QPushButton* cmdMarker;        // a marker at the play position
    QPushButton* cmdMarkerDelete;  // the marker chosen out of the list
    QCheckBox* chkTrainer;         // the speed trainer on the loop
    QSpinBox* spnTrainerStart;
    QSpinBox* spnTrainerStep;
    QSpinBox* spnTrainerEvery;
    QSpinBox* spnTrainerTarget;
    QSpinBox* spnCountIn;       // count-in clicks, 0: none
    QCheckBox* chkCountInLoop;  // a count-in before each pass of the loop too
    QLabel* lblPracticeNote;    // what the song store had to say
};

// Builds every control of `window`, lays them out as its central widget and builds its menus.
MainControls buildMainControls(QMainWindow* window);

}  // namespace app

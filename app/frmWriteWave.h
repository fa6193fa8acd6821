// The main window: player, tempo and pitch, BPM and beat display, vocal remover, equalizer,
// rendering, and the menus that open the other windows.
//
// Every control is a member named as the program knows it (control arrays by index: sldTempo[0]
// and sldTempo[2], sldEQ[0..6], vcompr[0]); each widget's objectName is that name, with "_index"
// for array items ("sldTempo_2"). The event handlers live with their subsystem:
//   app/frmWriteWave.cpp           start-up, layout, menus, Error_, shutdown
//   player/transport.cpp           Load, Play, Stop, position and volume sliders, ShowPlayPosition
//   player/tempo_pitch.cpp         tempo and pitch sliders and their label clicks
//   player/bpm_display.cpp         CurrentBPM, DetectBPM, periodic BPM, beats, progress
//   dsp/vocal_remover_handlers.cpp Chkrem, default, vcompr
//   dsp/equalizer_handlers.cpp     CEq, chkEqualizer, sldEQ, EqRem, EqDef, CeqDef
//   render/render_handlers.cpp     Process, EndProcess, SaveWave
//
// Setting a check box or slider from code raises the same handler as a user change (handlers are
// wired to toggled / valueChanged); "scroll" handlers run only for the user's own moves. The one
// exception is the position display that follows playback, which moves sldPosition silently.
#pragma once

#include <QMainWindow>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/bass.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;

namespace app {
class Slider;
class ClickLabel;
}  // namespace app
namespace render {
class RenderPipeline;
}  // namespace render
namespace components {
class Mp3Encoder;
}  // namespace components

class frmWriteWave : public QMainWindow {
    Q_OBJECT
  public:
    explicit frmWriteWave(QWidget* parent = nullptr);
    ~frmWriteWave() override;

    // The window shown at start-up, for the engine procedures that report to it (null when none).
    static frmWriteWave* instance();

    // ---- start-up and shutdown (app/frmWriteWave.cpp)
    // Program folder as current directory, engine version test, Mp3BitRate. False when the
    // program has to end (the message has been shown and the platform asked to end it).
    bool Form_Load();
    // Ends the run: EndProcess, engine freed, program ended. Closing the window and Exit run it.
    void Form_Unload();
    // Where the engine version comes from (BASS_GetVersion unless replaced, e.g. by a test).
    static std::function<DWORD()>& engineVersionSource();
    // The engine error box: the message, a blank line and "Error Code : " with the last error.
    void Error_(const std::string& message);
    // Frees the engine and opens the output again (Play, Process). When no device can be opened
    // the program ends after "Can't initialize device"; false then.
    bool restartEngine();

    // ---- player (player/transport.cpp)
    void btnLoadFile_Click();
    void CmdPlay_Click();
    void CmdStop_Click();
    void sldPosition_Change();
    void sldVolume_Scroll();
    void ShowPlayPosition();
    // Moves the position slider and text to where playback is, without running the slider's
    // change handler. Runs a few times a second while a file plays.
    void followPlayback();

    // ---- tempo and pitch (player/tempo_pitch.cpp)
    void sldTempo_Scroll(int index);
    void lblTempo_Click();
    void lblPitch_Click();

    // ---- BPM and beats (player/bpm_display.cpp)
    float CurrentBPM(DWORD handle);
    void DetectBPM(bool reopen, float startSec, float endSec);
    void chkBPMCallback_Click();
    void chkBeat_Click();
    static void BpmProc(DWORD chan, float bpm, void* user);
    static void BeatProc(DWORD chan, float beatpos, void* user);
    static void BpmProgressProc(DWORD chan, float percent);
    // The period in seconds typed in txtPeriod.
    float period() const;

    // ---- vocal remover (dsp/vocal_remover_handlers.cpp)
    void Chkrem_Click();
    // Switches the vocal remover off (the program calls this procedure `default`).
    void default_();
    void vcompr_Change(int index);

    // ---- equalizer (dsp/equalizer_handlers.cpp)
    void CEq_Click();
    void chkEqualizer_Click();
    void sldEQ_Change(int index);
    void sldEQ_Scroll(int index);
    void EqRem();
    void EqDef();
    void CeqDef();

    // ---- rendering (render/render_handlers.cpp)
    void btnConvert_Click();
    // Patches the work file's header with the audio written and closes it; after a finished
    // render says "Done!" and saves the result. Harmless when no render ran.
    void EndProcess();
    void SaveWave();
    // Encodes the work file to an MP3 the user names (render/save_mp3_handlers.cpp).
    void SaveAsMp3();
    // A choice in the "&Mp3 Setup" list.
    void Combo2_Click(int index);
    // The work file: "newwave.wav" in the program folder.
    std::string workFile() const;

    // ---- controls
    QPushButton* btnLoadFile;
    QPushButton* CmdPlay;
    QPushButton* CmdStop;
    QPushButton* btnConvert;
    QPushButton* Comout;
    std::array<app::Slider*, 3> sldTempo{};  // 0 tempo, 2 pitch; there is no 1
    app::ClickLabel* lblTempo;
    app::ClickLabel* lblPitch;
    QLabel* LblTm;
    QLabel* LblPh;
    app::Slider* sldVolume;
    QLabel* lblVolPitch;
    app::Slider* sldPosition;
    QGroupBox* Frame3;
    QLabel* lblPos;
    QLabel* lblTime;
    QLabel* lblStrFile;
    QLabel* lblBPM;
    QLabel* lblBeat;
    QCheckBox* chkBPMCallback;
    QLineEdit* txtPeriod;
    QCheckBox* chkBeat;
    QProgressBar* pbProcess;
    QPushButton* Chkrem;
    QGroupBox* Frame2;
    QLabel* LblRem;
    std::array<app::Slider*, 1> vcompr{};
    QPushButton* CEq;
    QLabel* Label5;
    QCheckBox* chkEqualizer;
    std::array<app::Slider*, 7> sldEQ{};
    QGroupBox* Frame1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QProgressBar* Pbregg;
    QProgressBar* prog;
    QComboBox* Combo2;
    components::Mp3Encoder* MEnc1;
    QGroupBox* Frame5;
    app::ClickLabel* Label6;

    // Menus.
    QMenu* cvmenu;  // "Tools"
    QAction* cdripper;
    QAction* wavp3;
    QAction* Snorma;
    QAction* Mnuexit;
    QMenu* mnuconf;  // "&Options"
    QAction* Mmp3;
    QAction* Savec;
    QAction* Shelp;
    QAction* Sabout;

    // ---- state
    HSTREAM PlayChannel = 0;  // the tempo channel that sounds (or the render's channel)
    HSTREAM BpmChannel = 0;   // decoding stream of the same file for BPM detection
    int32_t Mp3BitRate = 0;
    std::string SourceFileName;  // the source of the last MP3 save
    // The file chosen with the open dialog: full path and title (name without folder).
    std::string CmdFileName;
    std::string CmdFileTitle;
    // The program folder (current directory from start-up on); no trailing separator.
    std::string programFolder;
    HDSP VocalRemoverDsp = 0;        // the vocal remover's attachment, for detaching it
    BASS_CHANNELINFO ChannelInfo{};  // last channel information read by the vocal remover
    BASS_FX_DSPPEAKEQ EqParams{};    // the equalizer's parameter record, reused for every band
    // Render state.
    bool rendering = false;       // a render's block loop is running
    bool finished = false;        // a render has just completed; EndProcess says "Done!"
    uint64_t renderPosition = 0;  // the render channel's position, in source bytes
    DWORD outputRate = 0;
    // Where a render's work file stops growing (the WAV limit; tests lower it).
    uint32_t renderMaxDataBytes;

    static constexpr const char* kAppTitle = "Quorvin Audio Tools 1.0";
    static constexpr const char* kTitle = "Quorvin Audio Tools";
    static constexpr const char* kContact = "info@quorvin-audio.example";

  protected:
    void closeEvent(QCloseEvent* e) override;

  private:
    void buildControls();
    void buildLayout();
    void buildMenus();
    void connectHandlers();
    void setToolsEnabled(bool enabled);
    void openToolWindow(QAction* item);
    void openMixer();
    void mailContact();

    std::unique_ptr<render::RenderPipeline> render_;
    QTimer* positionTimer_;
    bool following_ = false;  // the position display follows playback
    bool unloading_ = false;
    // The window was closed while an MP3 save was encoding: the shutdown finishes once the
    // stopped encoder has returned.
    bool closeWhenEncoderReturns_ = false;
};

// The main window: it builds the controls, lays them out, builds the menus, runs start-up and
// shutdown, and wires the panels together. What each control does lives with its subsystem:
//   player::TransportPanel     Load, Play, Stop, position and volume     (player/transport_panel)
//   player::TempoPitchPanel    tempo and pitch sliders and labels        (player/tempo_pitch_panel)
//   player::BpmPanel           BPM and beat display, periodic BPM        (player/bpm_panel)
//   player::PracticePanel      loops, markers, speed trainer, count-in   (player/practice_panel)
//   dsp::VocalRemoverPanel     Chkrem, `default`, vcompr                 (dsp/vocal_remover_panel)
//   dsp::EqualizerPanel        CEq, chkEqualizer, sldEQ                  (dsp/equalizer_panel)
//   render::ProcessPanel       Process, saving as WAV or MP3, Mp3 Setup  (render/process_panel)
// They share one player::Session (the loaded file and its channels). docs/names.md lists every
// control and menu name with the panel that drives it.
//
// Every control is named as the program knows it (control arrays by index: sldTempo[0] and
// sldTempo[2], sldEQ[0..6], vcompr[0]); each widget's objectName is that name, with "_index" for
// array items ("sldTempo_2"). Setting a check box or slider from code raises the same handler as
// a user change (handlers are wired to toggled / valueChanged); "scroll" handlers run only for
// the user's own moves. The one exception is the position display that follows playback, which
// moves sldPosition silently.
//
// Threads: window thread only. Engine procedures never reach the window directly; they post to
// the window thread (platform/window_thread.h).
#pragma once

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/main_controls.h"
#include "engine/bass.h"
#include "player/session.h"

class QAction;
class QMimeData;
class QTimer;

namespace player {
class BpmPanel;
class PracticePanel;
class TempoPitchPanel;
class TransportPanel;
}  // namespace player
namespace dsp {
class EqualizerPanel;
class VocalRemoverPanel;
}  // namespace dsp
namespace render {
class ProcessPanel;
}  // namespace render

namespace app {

class RecentFiles;

class frmWriteWave : public QMainWindow {
    Q_OBJECT
  public:
    explicit frmWriteWave(QWidget* parent = nullptr);
    ~frmWriteWave() override;

    // The work folder (work files an earlier run left there removed), engine version test,
    // Mp3BitRate. False when the
    // program has to end (the message has been shown and the platform asked to end it).
    bool Form_Load();
    // Ends the run: EndProcess, engine freed, work files removed, program ended with status 0.
    // Closing the window and Exit run it.
    void Form_Unload();
    // Where the engine version comes from (BASS_GetVersion unless replaced, e.g. by a test).
    static std::function<DWORD()>& engineVersionSource();
    // The engine error box: the message, a blank line and "Error Code : " with the last error.
    void Error_(const std::string& message);
    // Frees the engine and opens the output again (Play, Process). When no device can be opened:
    // "Can't initialize device", then the choice to go on without sound (the window then shows
    // lblNoSound), to try again, or to cancel (false; the program goes on).
    bool restartEngine();

    // Loads `path` as if it had been chosen with "Load Audio File" (a file named on the command
    // line, or dropped on the window). False, and nothing done, while Load is not available.
    bool openFile(const std::string& path);
    // "Save Configuration": writes what the program remembers (window positions, folders, the
    // "&Mp3 Setup" bit rate, the sound options) at once.
    void saveConfiguration();

    // The controls, the shared session and the panels, for the window's tests.
    const MainControls& ui() const { return c_; }
    player::Session& session() { return session_; }
    player::TransportPanel& transport() { return *transport_; }
    player::TempoPitchPanel& tempoPitch() { return *tempoPitch_; }
    player::BpmPanel& bpm() { return *bpm_; }
    dsp::VocalRemoverPanel& vocalRemover() { return *vocalRemover_; }
    dsp::EqualizerPanel& equalizer() { return *equalizer_; }
    render::ProcessPanel& process() { return *process_; }
    RecentFiles& recentFiles() { return *recent_; }
    player::PracticePanel& practice() { return *practice_; }

  protected:
    void closeEvent(QCloseEvent* e) override;
    // Space is the window's Play / Stop key only where the focused control does not take it.
    bool eventFilter(QObject* watched, QEvent* e) override;
    // An audio file dragged over the window while Load is available is accepted; anything else
    // is refused (the pointer says so).
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

  private:
    void buildControls();
    void buildLayout();
    void buildMenus();
    void buildPanels();
    void connectHandlers();
    void connectPractice();
    // Ends the program with status 1 after a fatal message.
    void endAfterFatalError();
    void setToolsEnabled(bool enabled);
    // "High quality render", "High quality playback" and "Keep bass" into the settings (read back
    // by Form_Load).
    void saveSoundOptions();
    // The playing channel stretches with Rubber Band when "High quality playback" is set, else
    // with SoundTouch.
    void applyPlaybackStretcher();
    void openToolWindow(QAction* item);
    void openMixer();
    void mailContact();
    // The local audio file a drag carries, or "" when it carries anything else.
    std::string droppedAudioFile(const QMimeData* data) const;

    MainControls c_{};
    player::Session session_;
    std::unique_ptr<player::BpmPanel> bpm_;
    std::unique_ptr<player::TempoPitchPanel> tempoPitch_;
    std::unique_ptr<player::TransportPanel> transport_;
    std::unique_ptr<dsp::EqualizerPanel> equalizer_;
    std::unique_ptr<dsp::VocalRemoverPanel> vocalRemover_;
    std::unique_ptr<render::ProcessPanel> process_;
    RecentFiles* recent_ = nullptr;
    std::unique_ptr<player::PracticePanel> practice_;
    QTimer* positionTimer_ = nullptr;
    bool unloading_ = false;
    bool closingAfterNormalise_ = false;  // closed while a normalisation stops
};

}  // namespace app

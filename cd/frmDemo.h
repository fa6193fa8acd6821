// The CD window "CD Ripping": drives and their capabilities, the door, the track list with
// CD-Text, playback with fade-out, volume and balance, extraction to WAV and WMA, and ripping the
// whole disc.
//
// The window builds its controls (cd_controls.h) and hands them to its panels: DrivesPanel,
// TrackListPanel, PlaybackPanel, ExtractPanel and RipPanel; it runs the load, the 50 ms timer,
// the buttons and the closing. Message boxes and file dialogs go through platform::Platform.
#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "cd/cd_controls.h"
#include "cd/cd_session.h"
#include "engine/bass.h"

namespace cd {

class DrivesPanel;
class ExtractPanel;
class PlaybackPanel;
class TrackListPanel;

class frmDemo : public QDialog {
    Q_OBJECT
  public:
    // Builds the window and runs its load: the engine is initialised again with this window as
    // owner, the drives are listed and the first one is selected.
    explicit frmDemo(QWidget* parent = nullptr);
    ~frmDemo() override;

    static constexpr int kNarrowTwips = cd::kNarrowTwips;
    static constexpr int kWideTwips = cd::kWideTwips;

    // --- the window's routines ---
    void RefreshDriveInfo();
    void LoadTrackList();
    void LoadTrackListFromCDText(const char* block, int tracks);
    void PlayTrack(int track);
    void PlayNextTrack(int current);
    void CDError();
    void FadeOutTrack();
    void ExtractAudioTrack(int track);
    void ExtractAudioTrackToWMA(int track, int bitrate);
    void SaveFile();
    void KILLTRACK();
    void LoadWMAEncoderRates();
    void SetTrackListTabStops();
    void ReportRoutineError(const std::string& module, const std::string& routine, int number,
                            const std::string& description);
    void ReportEngineError(const std::string& text, int code);
    // One tick of tmrPlaybackPosition.
    void tick();

    // --- state, for the program and its tests ---
    bool loadSucceeded() const { return loaded_; }
    int currentDrive() const { return session_.currentDrive; }
    DWORD currentChannel() const { return session_.currentChannel; }
    // Tracks asked to play that are still being opened off the window thread.
    int playsPending() const;
    int lastDriveIndex() const;
    // The window width in twips (7515 or 11490).
    int widthTwips() const { return widthTwips_; }
    int twipsToPixels(int twips) const;
    std::string scratchTrackFile() const;
    const std::vector<std::string>& wmaTagNames() const;

    void done(int result) override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void wirePanels();
    void Form_Load();
    void cmdButton_Click(int index);
    void toggleDriveInfo();
    void applyWidth();
    // Ends the window's work; false (and nothing done yet) while a rip still has to stop, in which
    // case the window closes with `result` when it has.
    bool closeWindow(int result);

    CdControls c_;
    CdSession session_;
    // Children of the window.
    DrivesPanel* drives_ = nullptr;
    TrackListPanel* tracks_ = nullptr;
    PlaybackPanel* playback_ = nullptr;
    ExtractPanel* extract_ = nullptr;

    int widthTwips_ = kNarrowTwips;
    bool loaded_ = false;
    // The result to close with once the rip or the extraction has stopped; -1: none asked.
    int closeResult_ = -1;
    bool inTick_ = false;
};

}  // namespace cd

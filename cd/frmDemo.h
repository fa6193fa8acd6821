// The CD window "CD Ripping": drives and their capabilities, the door, the track list with
// CD-Text, playback with fade-out, volume and balance, and extraction to WAV and WMA.
//
// Controls carry their names as object names (arrays as name_index: cmdButton_3, chkRWFlags_14,
// txtWMATags_0). Message boxes and file dialogs go through platform::Platform. The engine's sync
// procedures run on the engine's threads; they only post their work to the window thread.
#pragma once

#include <cstdint>

#include <QDialog>
#include <QString>
#include <array>
#include <string>
#include <vector>

#include "engine/bass.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimer;
class QWidget;

namespace cd {

class RipPanel;
class TrackListDelegate;

class frmDemo : public QDialog {
    Q_OBJECT
  public:
    // Builds the window and runs its load: the engine is initialised again with this window as
    // owner, the drives are listed and the first one is selected.
    explicit frmDemo(QWidget* parent = nullptr);
    ~frmDemo() override;

    static constexpr int kNarrowTwips = 7515;
    static constexpr int kWideTwips = 11490;

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
    int currentDrive() const { return currentDrive_; }
    DWORD currentChannel() const { return currentChannel_; }
    int lastDriveIndex() const { return lastDriveIndex_; }
    // The window width in twips (7515 or 11490).
    int widthTwips() const { return widthTwips_; }
    int twipsToPixels(int twips) const;
    std::string scratchTrackFile() const;
    const std::vector<std::string>& wmaTagNames() const { return wmaTagNames_; }

    void done(int result) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildControls();
    void load();
    void onButton(int index);
    void onDriveSelected(int row);
    // Lists the drives that are present; returns the number of drive indexes.
    int fillDriveList();
    void refreshDriveList();
    void onTrackSelectionChanged();
    void onVolumeChanged(int value);
    void onBalanceChanged(int value);
    void onExtractModeChanged();
    void toggleDriveInfo();
    void applyWidth();
    void showVolumeLabel(int value);
    void updatePositionLabel();
    // Ends the window's work; false (and nothing done yet) while a rip still has to stop, in which
    // case the window closes with `result` when it has.
    bool closeWindow(int result);
    int selectedTrackRow() const;
    QString rowText(const std::string& utf8) const;

    // Sync procedures handed to the engine.
    static void TrackEndSync(HSYNC handle, DWORD channel, DWORD data, void* user);
    static void CDErrorSync(HSYNC handle, DWORD channel, DWORD data, void* user);

    // Controls.
    QComboBox* cmbCDDrives_ = nullptr;
    QListWidget* lstTracks_ = nullptr;
    TrackListDelegate* trackDelegate_ = nullptr;
    QLineEdit* txtCDArtist_ = nullptr;
    QLineEdit* txtCDAlbum_ = nullptr;
    std::array<QPushButton*, 10> cmdButton_{};
    QSlider* SliderVolume_ = nullptr;
    QLabel* lblVolume_ = nullptr;
    QSlider* SliderBalance_ = nullptr;
    QLabel* lblBalance_ = nullptr;
    QSlider* SliderPosition_ = nullptr;
    QLabel* lblTrackPosition_ = nullptr;
    QTimer* tmrPlaybackPosition_ = nullptr;
    std::array<QRadioButton*, 2> optExtractMode_{};
    QWidget* picWMAExtractOptions_ = nullptr;
    QCheckBox* chkWMAFileTags_ = nullptr;
    QComboBox* cmbWMAEncodingBitrate_ = nullptr;
    std::array<QLineEdit*, 8> txtWMATags_{};
    std::array<QLabel*, 8> lblWMATag_{};
    QGroupBox* frameDriveInfo_ = nullptr;
    std::array<QCheckBox*, 15> chkRWFlags_{};
    QLabel* lblMaxReadSpeed_ = nullptr;
    QLabel* lblCacheSize_ = nullptr;
    std::array<QWidget*, 2> picVUMeter_{};
    RipPanel* ripPanel_ = nullptr;  // "Extract All..." (rip_panel.h)

    // State.
    int currentDrive_ = 0;
    DWORD currentChannel_ = 0;
    DWORD failedChannel_ = 0;  // the stream whose read error was reported
    int lastDriveIndex_ = -1;
    uint64_t driveListGeneration_ = 0;
    std::vector<std::string> wmaTagNames_;
    int widthTwips_ = kNarrowTwips;
    std::string lastSaveName_;
    bool loaded_ = false;
    bool closed_ = false;
    int closeResult_ = -1;  // the result to close with once the rip has stopped; -1: none asked
    bool inTick_ = false;
    // A disc whose track list failed (track count or CD-Text) is not asked again by the timer
    // until the door has been seen open or another drive is chosen.
    bool trackListFailed_ = false;
    int rowBeforePress_ = -1;
};

}  // namespace cd

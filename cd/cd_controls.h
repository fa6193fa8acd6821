// The CD window's controls: built, placed and named in one place (the window hands them to its
// panels). Controls carry their names as object names (arrays as name_index: cmdButton_3,
// chkRWFlags_14, txtWMATags_0) and an accessible name each. Window thread only.
#pragma once

#include <array>

class QCheckBox;
class QComboBox;
class QDialog;
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

// The indexes of cmdButton.
enum CdButton {
    kPlay = 0,
    kPauseResume,
    kStop,
    kLock,
    kUnlock,
    kOpen,
    kClose,
    kExtract,
    kFadeOut,
    kDriveInfo
};

// The window's width in twips: without and with the "Drive Info" frame.
inline constexpr int kNarrowTwips = 7515;
inline constexpr int kWideTwips = 11490;

// Every control of the CD window (docs/names.md says what each one is).
struct CdControls {
    QComboBox* cmbCDDrives;
    QPushButton* cmdOpenImage;  // adds a disc image as a drive
    QListWidget* lstTracks;
    TrackListDelegate* trackDelegate;
    QLineEdit* txtCDArtist;
    QLineEdit* txtCDAlbum;
    std::array<QPushButton*, 10> cmdButton{};
    QSlider* SliderVolume;
    QLabel* lblVolume;
    QSlider* SliderBalance;
    QLabel* lblBalance;
    QSlider* SliderPosition;  // shown, never moved
    QLabel* lblTrackPosition;
    QLabel* lblNoSound;  // shown while the program plays without a sound device
    QTimer* tmrPlaybackPosition;
    std::array<QRadioButton*, 2> optExtractMode{};
    QWidget* picWMAExtractOptions;
    QCheckBox* chkWMAFileTags;
    QComboBox* cmbWMAEncodingBitrate;
    std::array<QLineEdit*, 8> txtWMATags{};
    std::array<QLabel*, 8> lblWMATag{};
    QGroupBox* frameDriveInfo;
    std::array<QCheckBox*, 15> chkRWFlags{};
    QLabel* lblMaxReadSpeed;
    QLabel* lblCacheSize;
    std::array<QWidget*, 2> picVUMeter{};
    RipPanel* ripPanel;  // "Extract All..."
};

// `twips` in pixels of `w`'s screen, halves to even.
int twipsToPixels(const QWidget* w, int twips);

// Builds every control of `window` and gives the window its height.
CdControls buildCdControls(QDialog* window);

}  // namespace cd

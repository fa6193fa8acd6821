// The drives panel of the CD window: the drive list (drives and disc images; a drive plugged in
// or removed later is followed), the "Drive Info" frame with what the selected drive can do, and
// the door buttons Lock, Unlock, Open and Close, and "Image..." that adds a disc image. Window
// thread only.
#pragma once

#include <QObject>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "cd/cd_session.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace cd {

struct DrivesWidgets {
    QComboBox* cmbCDDrives;
    QPushButton* cmdOpenImage;
    std::array<QCheckBox*, 15> chkRWFlags;
    QLabel* lblMaxReadSpeed;
    QLabel* lblCacheSize;
    QPushButton* cmdLock;
    QPushButton* cmdUnlock;
    QPushButton* cmdOpen;
    QPushButton* cmdClose;
};

// What the panel asks of the rest of the window.
struct DrivesHooks {
    // Another drive was selected (CdSession::currentDrive is it already): its tracks are read.
    std::function<void()> driveChanged;
    // The selected drive went away: its playback stops and its track list empties.
    std::function<void()> driveGone;
};

class DrivesPanel : public QObject {
    Q_OBJECT
  public:
    DrivesPanel(CdSession& session, const DrivesWidgets& widgets, DrivesHooks hooks,
                QObject* parent);
    ~DrivesPanel() override;

    // Lists the drives present and selects the first one; returns the number of drive indexes.
    int loadDrives();
    // A click on cmbCDDrives (or the program selecting a row).
    void cmbCDDrives_Click(int row);
    // "Image...": a disc image chosen in a file dialog becomes a drive and is selected. The image
    // is checked (a FLAC's header read) on a worker; a refused one is said with its reason.
    void cmdOpenImage_Click();
    void RefreshDriveInfo();
    // Door buttons.
    void LockDoor();
    void UnlockDoor();
    void OpenDoor();
    void CloseDoor();
    // The timer's part: follows drives plugged in or removed and shows whether the selected
    // drive's door is open and locked. Returns whether it is open.
    bool followDrives();
    // Unlocks every drive's door (the window is closing).
    void unlockAll();

    int lastDriveIndex() const { return lastDriveIndex_; }

  private:
    int fillDriveList();
    void refreshDriveList();
    // The worker's answer for the image `path`: its drive, or -1 and why.
    void imageAdded(const std::string& path, int drive, const std::string& why, bool readAgain);

    CdSession& session_;
    DrivesWidgets w_;
    DrivesHooks hooks_;
    bool loaded_ = false;
    int lastDriveIndex_ = -1;
    uint64_t driveListGeneration_ = 0;
    // False once the panel is gone: an image's answer posted after that is dropped. Read and
    // written on the window thread only.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace cd

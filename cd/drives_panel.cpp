#include "cd/drives_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QThreadPool>

#include "cd/cd_messages.h"
#include "disc/basscd.h"
#include "disc/cd_ext.h"
#include "platform/platform.h"
#include "platform/window_thread.h"
#include "rip/track_list.h"

namespace cd {

namespace {

// The capability bit behind boxes 0..10.
const DWORD kFlagBits[11] = {
    BASS_CD_RWFLAG_READCDR,  BASS_CD_RWFLAG_READCDRW,    BASS_CD_RWFLAG_READCDRW2,
    BASS_CD_RWFLAG_READDVD,  BASS_CD_RWFLAG_READDVDR,    BASS_CD_RWFLAG_READDVDRAM,
    BASS_CD_RWFLAG_READM2F1, BASS_CD_RWFLAG_READM2F2,    BASS_CD_RWFLAG_READMULTI,
    BASS_CD_RWFLAG_READCDDA, BASS_CD_RWFLAG_READCDDASIA,
};

void setCheck(QCheckBox* box, int value) {
    box->setCheckState(value == 2 ? Qt::PartiallyChecked : value ? Qt::Checked : Qt::Unchecked);
}

}  // namespace

DrivesPanel::DrivesPanel(CdSession& session, const DrivesWidgets& widgets, DrivesHooks hooks,
                         QObject* parent)
    : QObject(parent), session_(session), w_(widgets), hooks_(std::move(hooks)) {
    connect(w_.cmbCDDrives, &QComboBox::currentIndexChanged, this, &DrivesPanel::cmbCDDrives_Click);
    connect(w_.cmdOpenImage, &QPushButton::clicked, this, &DrivesPanel::cmdOpenImage_Click);
}

void DrivesPanel::cmdOpenImage_Click() {
    platform::FileDialog dialog;
    dialog.title = CdText::tr("Open a Disc Image").toStdString();
    dialog.filter =
        CdText::tr("Disc images (*.cue;*.toc;*.nrg)|*.cue;*.toc;*.nrg|All files (*.*)|*.*")
            .toStdString();
    dialog.flags = platform::kDialogFileMustExist | platform::kDialogHideReadOnly;
    const std::optional<std::string> path = platform::Platform::instance().openFile(dialog);
    if (!path || path->empty()) return;
    w_.cmdOpenImage->setEnabled(false);
    QThreadPool::globalInstance()->start([path = *path, alive = alive_, panel = this] {
        std::string why;
        bool readAgain = false;
        const int drive = engine::cdAddImage(path, &why, &readAgain);
        platform::postToWindowThread([alive, panel, path, drive, why, readAgain] {
            if (*alive) panel->imageAdded(path, drive, why, readAgain);
        });
    });
}

DrivesPanel::~DrivesPanel() {
    *alive_ = false;
}

void DrivesPanel::imageAdded(const std::string& path, int drive, const std::string& why,
                             bool readAgain) {
    // Enabled as the drive list is, the window's own state aside (an extraction under way).
    w_.cmdOpenImage->setEnabled(w_.cmbCDDrives->isEnabledTo(w_.cmbCDDrives->window()));
    if (drive < 0) {
        platform::message(CdText::tr("Cannot open the disc image \"%1\": %2.")
                              .arg(QString::fromStdString(path),
                                   QString::fromStdString(why.empty() ? "it cannot be read" : why))
                              .toStdString(),
                          CdText::tr("Error").toStdString(), platform::Icon::Critical);
        return;
    }
    refreshDriveList();
    const int row = w_.cmbCDDrives->findData(drive);
    if (row < 0 || !w_.cmbCDDrives->isEnabledTo(w_.cmbCDDrives->window())) return;
    // The image shown chosen again: read again when it changed on disk, its list is read afresh,
    // as for a disc put in again; unchanged, what plays plays on.
    if (drive != session_.currentDrive || w_.cmbCDDrives->currentIndex() != row)
        w_.cmbCDDrives->setCurrentIndex(row);
    else if (readAgain)
        hooks_.driveChanged();
}

int DrivesPanel::loadDrives() {
    const int drives = fillDriveList();
    w_.cmbCDDrives->setCurrentIndex(-1);
    loaded_ = true;
    // None selected until one is shown: the first image added is then chosen as a drive is.
    session_.currentDrive = -1;
    if (w_.cmbCDDrives->count() > 0) w_.cmbCDDrives->setCurrentIndex(0);  // selects drive 0
    lastDriveIndex_ = drives - 1;
    return drives;
}

int DrivesPanel::fillDriveList() {
    driveListGeneration_ = engine::cdDriveListGeneration();
    w_.cmbCDDrives->blockSignals(true);
    w_.cmbCDDrives->clear();
    int drives = 0;
    for (DWORD i = 0; const char* description = BASS_CD_GetDriveDescription(i); ++i) {
        ++drives;
        if (!engine::cdDrivePresent(i)) continue;  // unplugged
        const DWORD letter = BASS_CD_GetDriveLetter(i);
        QString head = letter < 26 ? QString(QChar(char16_t(65 + letter)))
                                   : QString::fromUtf8(engine::cdDriveShortName(i));
        w_.cmbCDDrives->addItem(head + ": " + QString::fromUtf8(description), int(i));
    }
    w_.cmbCDDrives->blockSignals(false);
    return drives;
}

// A drive was plugged in or removed: the list follows; the selected drive stays selected while
// it is there, otherwise its playback stops and the first drive is selected.
void DrivesPanel::refreshDriveList() {
    const int selected = session_.currentDrive;
    lastDriveIndex_ = fillDriveList() - 1;
    const int row = w_.cmbCDDrives->findData(selected);
    if (row >= 0) {
        w_.cmbCDDrives->blockSignals(true);
        w_.cmbCDDrives->setCurrentIndex(row);
        w_.cmbCDDrives->blockSignals(false);
        return;
    }
    hooks_.driveGone();
    w_.cmbCDDrives->setCurrentIndex(-1);
    if (w_.cmbCDDrives->count() > 0) w_.cmbCDDrives->setCurrentIndex(0);
}

void DrivesPanel::cmbCDDrives_Click(int row) {
    if (!loaded_ || row < 0) return;
    session_.currentDrive = w_.cmbCDDrives->itemData(row).toInt();
    RefreshDriveInfo();
    hooks_.driveChanged();
}

void DrivesPanel::RefreshDriveInfo() {
    BASS_CD_INFO info{};
    if (!BASS_CD_GetInfo(DWORD(session_.currentDrive), &info)) info = BASS_CD_INFO{};
    for (int i = 0; i < 11; ++i)
        setCheck(w_.chkRWFlags[size_t(i)], (info.flags & kFlagBits[i]) ? 1 : 0);
    setCheck(w_.chkRWFlags[11], info.canopen ? 1 : 0);
    setCheck(w_.chkRWFlags[12], info.canlock ? 1 : 0);
    w_.cmdOpen->setEnabled(info.canopen != 0);
    w_.cmdClose->setEnabled(info.canopen != 0);
    if (info.canlock) {
        setCheck(w_.chkRWFlags[13], BASS_CD_DoorIsLocked(DWORD(session_.currentDrive)) ? 1 : 0);
        w_.cmdLock->setEnabled(true);
        w_.cmdUnlock->setEnabled(true);
    } else {
        setCheck(w_.chkRWFlags[13], 2);
        w_.cmdLock->setEnabled(false);
        w_.cmdUnlock->setEnabled(false);
    }
    const std::string separator = QLocale().groupSeparator().toStdString();
    w_.lblMaxReadSpeed->setText(QString::fromUtf8(formatKbps(info.maxspeed, separator)));
    w_.lblCacheSize->setText(QString::fromUtf8(formatKbps(info.cache, separator)));
}

void DrivesPanel::LockDoor() {
    BASS_CD_Door(DWORD(session_.currentDrive), BASS_CD_DOOR_LOCK);
}

void DrivesPanel::UnlockDoor() {
    BASS_CD_Door(DWORD(session_.currentDrive), BASS_CD_DOOR_UNLOCK);
}

void DrivesPanel::OpenDoor() {
    BASS_CD_Door(DWORD(session_.currentDrive), BASS_CD_DOOR_OPEN);
}

void DrivesPanel::CloseDoor() {
    BASS_CD_Door(DWORD(session_.currentDrive), BASS_CD_DOOR_CLOSE);
    RefreshDriveInfo();
}

bool DrivesPanel::followDrives() {
    if (engine::cdDriveListGeneration() != driveListGeneration_) refreshDriveList();
    const DWORD drive = DWORD(session_.currentDrive);
    const bool open = BASS_CD_DoorIsOpen(drive);
    setCheck(w_.chkRWFlags[14], open ? 1 : 0);
    setCheck(w_.chkRWFlags[13], BASS_CD_DoorIsLocked(drive) ? 1 : 0);
    return open;
}

void DrivesPanel::unlockAll() {
    for (int i = 0; i <= lastDriveIndex_; ++i) BASS_CD_Door(DWORD(i), BASS_CD_DOOR_UNLOCK);
}

}  // namespace cd

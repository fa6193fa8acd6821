#include "cd/frmDemo.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <system_error>
#include <utility>

#include "cd/cd_messages.h"
#include "cd/drives_panel.h"
#include "cd/extract_panel.h"
#include "cd/playback_panel.h"
#include "cd/rip_panel.h"
#include "cd/track_list_panel.h"
#include "disc/basscd.h"
#include "files/file_io.h"
#include "platform/platform.h"
#include "platform/widgets.h"
#include "player/sound_output.h"

namespace cd {

// --- building and loading ------------------------------------------------------------------

frmDemo::frmDemo(QWidget* parent) : QDialog(parent) {
    setObjectName("frmDemo");
    setWindowTitle(tr("CD Ripping"));
    c_ = buildCdControls(this);
    // A small screen (or a large scale) scrolls the controls rather than cutting them off.
    platform::scrollWhenTooBig(this, QSize(twipsToPixels(kNarrowTwips), height()));
    wirePanels();
    applyWidth();
    Form_Load();
}

frmDemo::~frmDemo() {
    if (loaded_ && !session_.closed) {
        c_.ripPanel->stopAndWait();  // the program is ending: the rip stops after one read
        closeWindow(QDialog::Rejected);
    }
}

int frmDemo::twipsToPixels(int twips) const {
    return cd::twipsToPixels(this, twips);
}

void frmDemo::wirePanels() {
    tracks_ = new TrackListPanel(
        session_, {c_.lstTracks, c_.trackDelegate, c_.txtCDArtist, c_.txtCDAlbum},
        [this](int row) { playback_->PlayTrack(row); }, this);
    playback_ = new PlaybackPanel(
        session_,
        {c_.SliderVolume, c_.lblVolume, c_.SliderBalance, c_.lblBalance, c_.lblTrackPosition},
        *tracks_, this);
    extract_ = new ExtractPanel(session_,
                                {c_.optExtractMode, c_.picWMAExtractOptions, c_.chkWMAFileTags,
                                 c_.cmbWMAEncodingBitrate, c_.txtWMATags},
                                this);
    DrivesHooks hooks;
    hooks.driveChanged = [this] {
        // The last drive's track stops: its end would start a track of the new list.
        playback_->StopTrack();
        tracks_->forgetFailure();  // another drive: its list is read afresh
        c_.ripPanel->setDrive(session_.currentDrive);
        tracks_->LoadTrackList();
    };
    hooks.driveGone = [this] {
        playback_->StopTrack();
        tracks_->clear();
    };
    drives_ = new DrivesPanel(
        session_,
        {c_.cmbCDDrives, c_.cmdOpenImage, c_.chkRWFlags, c_.lblMaxReadSpeed, c_.lblCacheSize,
         c_.cmdButton[kLock], c_.cmdButton[kUnlock], c_.cmdButton[kOpen], c_.cmdButton[kClose]},
        std::move(hooks), this);

    for (int i = 0; i < int(c_.cmdButton.size()); ++i)
        connect(c_.cmdButton[size_t(i)], &QPushButton::clicked, this,
                [this, i] { cmdButton_Click(i); });

    // While the disc is ripped, the position label shows how far the track being read is.
    connect(c_.ripPanel, &RipPanel::trackProgress, this,
            [this](qint64 done, qint64 total) { playback_->showProgress(done, total); });
    connect(c_.ripPanel, &RipPanel::runningChanged, this, [this](bool running) {
        // The disc ripped is the current drive's: a track playing from it stops (its end would
        // start the next one beside the rip's reads).
        if (running) playback_->StopTrack();
        for (int b : {kPlay, kExtract}) c_.cmdButton[size_t(b)]->setEnabled(!running);
        c_.cmbCDDrives->setEnabled(!running);
        c_.cmdOpenImage->setEnabled(!running);
        tracks_->setEnabled(!running);
        // Asked to close while the rip ran: it has stopped now.
        if (!running && closeResult_ >= 0)
            QMetaObject::invokeMethod(
                this, [this] { done(std::exchange(closeResult_, -1)); }, Qt::QueuedConnection);
    });
    connect(c_.tmrPlaybackPosition, &QTimer::timeout, this, &frmDemo::tick);
}

void frmDemo::Form_Load() {
    auto& platform = platform::Platform::instance();
    KILLTRACK();

    if ((BASS_GetVersion() >> 16) != BASSVERSION) {
        platform::message("An incorrect version of BASS.DLL was loaded", kAppTitle,
                          platform::Icon::Critical);
        platform.exitProgram(1);
        return;
    }
    const bool opened = player::openSoundOutput([] {
        platform::message(CdText::tr("Error: Couldn't Initialize Digital Output").toStdString(),
                          CdText::tr("Digital output").toStdString(), platform::Icon::Critical);
    });
    if (!opened) {
        // Cancelled: the window closes, the program goes on.
        QMetaObject::invokeMethod(
            this, [this] { reject(); }, Qt::QueuedConnection);
        return;
    }

    c_.lblNoSound->setVisible(player::playingWithoutSound());
    loaded_ = true;
    drives_->loadDrives();
    extract_->LoadWMAEncoderRates();
    playback_->showEngineVolume(BASS_GetVolume());
    widthTwips_ = kNarrowTwips;
    applyWidth();
    SetTrackListTabStops();
    c_.tmrPlaybackPosition->start();
}

// --- the window's width --------------------------------------------------------------------

void frmDemo::toggleDriveInfo() {
    widthTwips_ = widthTwips_ == kWideTwips ? kNarrowTwips : kWideTwips;
    applyWidth();
    c_.cmdButton[kDriveInfo]->setText(widthTwips_ == kWideTwips ? tr("&Drive Info <<")
                                                                : tr("&Drive Info >>"));
}

void frmDemo::applyWidth() {
    platform::setScrolledWidth(this, twipsToPixels(widthTwips_));
}

// --- buttons -------------------------------------------------------------------------------

void frmDemo::cmdButton_Click(int index) {
    const int row = tracks_->selectedRow();
    if (row < 0) return;  // no button acts without a selected track
    switch (index) {
        case kPlay:
            playback_->PlayTrack(row);
            break;
        case kPauseResume:
            playback_->PauseResume();
            break;
        case kStop:
            playback_->StopTrack();
            break;
        case kLock:
            drives_->LockDoor();
            break;
        case kUnlock:
            drives_->UnlockDoor();
            break;
        case kOpen:
            tracks_->clear();
            playback_->StopTrack();
            drives_->OpenDoor();
            tracks_->forgetFailure();
            break;
        case kClose:
            tracks_->forgetFailure();
            drives_->CloseDoor();
            break;
        case kExtract:
            extract_->Extract(row);
            // Asked to close while the track was read: it has stopped now.
            if (closeResult_ >= 0)
                QMetaObject::invokeMethod(
                    this, [this] { done(std::exchange(closeResult_, -1)); }, Qt::QueuedConnection);
            break;
        case kFadeOut:
            playback_->FadeOutTrack();
            break;
        case kDriveInfo:
            toggleDriveInfo();
            break;
        default:
            break;
    }
}

// --- the timer -----------------------------------------------------------------------------

void frmDemo::tick() {
    if (inTick_ || session_.closed) return;  // a message box of this tick is still open
    inTick_ = true;
    const bool open = drives_->followDrives();
    if (open) tracks_->forgetFailure();  // the disc may be another one when the door closes
    const bool hasRows = tracks_->count() > 0;
    if (hasRows || open) {
        if (hasRows && open) {
            playback_->StopTrack();
            tracks_->clear();
        }
    } else if (!tracks_->failed()) {
        tracks_->LoadTrackList();
    }
    if (!c_.ripPanel->running()) playback_->updatePositionLabel();
    inTick_ = false;
}

// --- the routines, for the program and its tests ---------------------------------------------

void frmDemo::RefreshDriveInfo() {
    drives_->RefreshDriveInfo();
}
void frmDemo::LoadTrackList() {
    tracks_->LoadTrackList();
}
void frmDemo::LoadTrackListFromCDText(const char* block, int tracks) {
    tracks_->LoadTrackListFromCDText(block, tracks);
}
void frmDemo::SetTrackListTabStops() {
    tracks_->SetTrackListTabStops();
}
void frmDemo::PlayTrack(int track) {
    playback_->PlayTrack(track);
}
int frmDemo::playsPending() const {
    return playback_->pending();
}
void frmDemo::PlayNextTrack(int current) {
    playback_->PlayNextTrack(current);
}
void frmDemo::CDError() {
    playback_->CDError();
}
void frmDemo::FadeOutTrack() {
    playback_->FadeOutTrack();
}
void frmDemo::ExtractAudioTrack(int track) {
    extract_->ExtractAudioTrack(track);
}
void frmDemo::ExtractAudioTrackToWMA(int track, int bitrate) {
    extract_->ExtractAudioTrackToWMA(track, bitrate);
}
void frmDemo::SaveFile() {
    extract_->SaveFile();
}
void frmDemo::KILLTRACK() {
    extract_->KILLTRACK();
}
void frmDemo::LoadWMAEncoderRates() {
    extract_->LoadWMAEncoderRates();
}
std::string frmDemo::scratchTrackFile() const {
    return extract_->scratchTrackFile();
}
const std::vector<std::string>& frmDemo::wmaTagNames() const {
    return extract_->wmaTagNames();
}
int frmDemo::lastDriveIndex() const {
    return drives_->lastDriveIndex();
}
void frmDemo::ReportRoutineError(const std::string& module, const std::string& routine, int number,
                                 const std::string& description) {
    cd::ReportRoutineError(module, routine, number, description);
}
void frmDemo::ReportEngineError(const std::string& text, int code) {
    cd::ReportEngineError(text, code);
}

// --- closing -------------------------------------------------------------------------------

bool frmDemo::closeWindow(int result) {
    // A rip stops after the read under way; the window thread does not wait for it, the window
    // closes when the rip says it has stopped.
    if (c_.ripPanel->stopForClose()) {
        closeResult_ = result;
        setEnabled(false);
        return false;
    }
    // A track being extracted stops after the block under way; the window closes when
    // "&Extract" has returned (cmdButton_Click).
    if (extract_->stopForClose()) {
        closeResult_ = result;
        return false;
    }
    session_.closed = true;
    ++*session_.playRequest;  // a track still being opened does not start
    c_.tmrPlaybackPosition->stop();
    c_.ripPanel->stopAndWait();  // the rip has ended: nothing to wait for
    drives_->unlockAll();
    BASS_Stop();
    BASS_Free();
    return true;
}

void frmDemo::done(int result) {
    if (loaded_ && !session_.closed && !closeWindow(result)) return;
    QDialog::done(result);
}

void frmDemo::closeEvent(QCloseEvent* event) {
    if (loaded_ && !session_.closed && !closeWindow(QDialog::Rejected)) {
        event->ignore();
        return;
    }
    event->accept();
    QDialog::closeEvent(event);
}

}  // namespace cd

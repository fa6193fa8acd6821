#include "cd/frmDemo.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <system_error>
#include <utility>

#include "cd/extract.h"
#include "cd/rip_panel.h"
#include "cd/track_list.h"
#include "cd/track_list_delegate.h"
#include "engine/basscd.h"
#include "engine/cd_ext.h"
#include "encode/basswma.h"
#include "platform/platform.h"
#include "platform/window_thread.h"
#include "files/file_io.h"
#include "files/safe_copy.h"

namespace cd {

namespace {

constexpr const char* kAppTitle = "Quorvin Audio Tools 1.0";
constexpr const char* kModule = "frmDemo";
constexpr int kDesignDpi = 96;
constexpr int kDesignHeight = 600;
constexpr int kRipPanelHeight = 124;  // "Extract All..." below the extraction group

const char* const kButtonCaptions[10] = {
    "&Play", "P&ause/Resume", "&Stop",    "&Lock",     "&Unlock",
    "&Open", "&Close",        "&Extract", "&Fade Out", "&Drive Info >>",
};

const char* const kFlagCaptions[15] = {
    "Drive can read CD-R media",
    "Drive can read CD-RW media",
    "Drive can read CD-R/RW media \"method 2\"",
    "Drive can read DVD-ROM media",
    "Drive can read DVD-R media",
    "Drive can read DVD-RAM media",
    "Drive can read in \"mode 2 form 1\" format",
    "Drive can read in \"mode 2 form 2\" format",
    "Drive can read multi-session discs",
    "Drive can read CD audio",
    "Drive supports \"stream is accurate\"",
    "Drive can be opened / closed",
    "Drive can be locked",
    "Drive is locked",
    "Drive is open",
};

// The capability bit behind boxes 0..10.
const DWORD kFlagBits[11] = {
    BASS_CD_RWFLAG_READCDR,  BASS_CD_RWFLAG_READCDRW,    BASS_CD_RWFLAG_READCDRW2,
    BASS_CD_RWFLAG_READDVD,  BASS_CD_RWFLAG_READDVDR,    BASS_CD_RWFLAG_READDVDRAM,
    BASS_CD_RWFLAG_READM2F1, BASS_CD_RWFLAG_READM2F2,    BASS_CD_RWFLAG_READMULTI,
    BASS_CD_RWFLAG_READCDDA, BASS_CD_RWFLAG_READCDDASIA,
};

const char* const kTagLabels[8] = {"Title",  "Artist",    "Album Title", "Description",
                                   "Rating", "Copyright", "Genre",       "Year"};

enum Button {
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

// The window the engine's syncs report to (one CD window at a time).
QPointer<frmDemo> gWindow;

std::string fromQt(const QString& s) {
    return s.toUtf8().toStdString();
}

// A file in the program's folder, as a UTF-8 path.
std::string inProgramFolder(const std::string& name) {
    const auto p = files::pathFromUtf8(platform::Platform::instance().programFolder()) / name;
    const auto u8 = p.u8string();
    return std::string(u8.begin(), u8.end());
}

void setCheck(QCheckBox* box, int value) {
    box->setCheckState(value == 2 ? Qt::PartiallyChecked : value ? Qt::Checked : Qt::Unchecked);
}

}  // namespace

// --- building and loading ------------------------------------------------------------------

frmDemo::frmDemo(QWidget* parent) : QDialog(parent) {
    setObjectName("frmDemo");
    setWindowTitle("CD Ripping");
    buildControls();
    gWindow = this;
    load();
}

frmDemo::~frmDemo() {
    if (loaded_ && !closed_) {
        ripPanel_->stopAndWait();  // the program is ending: the rip stops after one read
        closeWindow(QDialog::Rejected);
    }
}

int frmDemo::twipsToPixels(int twips) const {
    return int(roundHalfEven(double(twips) * logicalDpiX() / 1440.0));
}

void frmDemo::buildControls() {
    const double scale = double(logicalDpiX()) / kDesignDpi;
    auto place = [scale](QWidget* w, int x, int y, int width, int height) {
        w->setGeometry(int(x * scale), int(y * scale), int(width * scale), int(height * scale));
    };
    // `w` named `name` and placed: the one way every named control is made.
    auto placed = [&place](auto* w, const QString& name, int x, int y, int width, int height) {
        w->setObjectName(name);
        place(w, x, y, width, height);
        return w;
    };
    auto label = [&](QWidget* parent, const char* text, int x, int y, int w, int h) {
        auto* l = new QLabel(QString::fromUtf8(text), parent);
        place(l, x, y, w, h);
        return l;
    };

    label(this, "Select CD Drive : ", 8, 10, 105, 20);
    cmbCDDrives_ = placed(new QComboBox(this), "cmbCDDrives", 115, 8, 378, 24);

    label(this, "Artist", 8, 40, 40, 20);
    txtCDArtist_ = placed(new QLineEdit(this), "txtCDArtist", 50, 38, 190, 22);
    label(this, "Album", 250, 40, 40, 20);
    txtCDAlbum_ = placed(new QLineEdit(this), "txtCDAlbum", 293, 38, 200, 22);

    label(this, "Click Track to Play", 8, 66, 200, 18);
    lstTracks_ = new QListWidget(this);
    lstTracks_->setObjectName("lstTracks");
    lstTracks_->setSelectionMode(QAbstractItemView::SingleSelection);
    trackDelegate_ = new TrackListDelegate(lstTracks_);
    lstTracks_->setItemDelegate(trackDelegate_);
    lstTracks_->viewport()->installEventFilter(this);
    lstTracks_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    place(lstTracks_, 8, 86, 410, 210);

    for (int i = 0; i < 2; ++i) {
        picVUMeter_[size_t(i)] =
            placed(new QWidget(this), QString("picVUMeter_%1").arg(i), 426 + 9 * i, 86, 6, 150);
    }
    SliderVolume_ = new QSlider(Qt::Vertical, this);
    SliderVolume_->setObjectName("SliderVolume");
    SliderVolume_->setRange(-100, 0);
    SliderVolume_->setValue(0);
    SliderVolume_->setInvertedAppearance(true);  // -100 at the top
    place(SliderVolume_, 448, 86, 30, 150);
    lblVolume_ = placed(new QLabel("Volume", this), "lblVolume", 422, 242, 78, 18);

    for (int i = 0; i < 10; ++i) {
        auto* b = new QPushButton(QString::fromUtf8(kButtonCaptions[i]), this);
        b->setObjectName(QString("cmdButton_%1").arg(i));
        b->setAutoDefault(false);
        cmdButton_[size_t(i)] = b;
        connect(b, &QPushButton::clicked, this, [this, i] { onButton(i); });
    }
    const int row1[] = {kPlay, kPauseResume, kStop, kFadeOut, kExtract};
    const int row2[] = {kLock, kUnlock, kOpen, kClose, kDriveInfo};
    for (int c = 0; c < 5; ++c) {
        place(cmdButton_[size_t(row1[c])], 8 + 98 * c, 304, 92, 26);
        place(cmdButton_[size_t(row2[c])], 8 + 98 * c, 334, 92, 26);
    }

    label(this, "Balance", 8, 372, 50, 20);
    SliderBalance_ = new QSlider(Qt::Horizontal, this);
    SliderBalance_->setObjectName("SliderBalance");
    SliderBalance_->setRange(-100, 100);
    SliderBalance_->setValue(0);
    place(SliderBalance_, 60, 370, 170, 24);
    lblBalance_ = placed(new QLabel("0", this), "lblBalance", 235, 372, 40, 20);

    label(this, "Track Position", 280, 366, 110, 16);
    SliderPosition_ =
        placed(new QSlider(Qt::Horizontal, this), "SliderPosition", 280, 382, 130, 22);
    lblTrackPosition_ = placed(new QLabel(this), "lblTrackPosition", 412, 384, 88, 18);
    {
        // An hour-long track's position ("01:00:00 / 01:14:02") fits: the slider gives up room.
        const QRect label = lblTrackPosition_->geometry();
        const int needed =
            lblTrackPosition_->fontMetrics().horizontalAdvance("00:00:00 / 00:00:00") + 4;
        const int extra = std::min(needed - label.width(), SliderPosition_->width() / 2);
        if (extra > 0) {
            lblTrackPosition_->setGeometry(label.x() - extra, label.y(), label.width() + extra,
                                           label.height());
            SliderPosition_->resize(SliderPosition_->width() - extra, SliderPosition_->height());
        }
    }

    auto* extraction = new QGroupBox("CD Extraction", this);
    place(extraction, 8, 410, 485, 182);
    const char* modes[2] = {"&WAV File", "W&MA File"};
    for (int i = 0; i < 2; ++i) {
        auto* o = new QRadioButton(modes[i], extraction);
        o->setObjectName(QString("optExtractMode_%1").arg(i));
        place(o, 10 + 110 * i, 20, 100, 20);
        optExtractMode_[size_t(i)] = o;
        connect(o, &QRadioButton::clicked, this, [this] { onExtractModeChanged(); });
    }
    optExtractMode_[0]->setChecked(true);
    picWMAExtractOptions_ =
        placed(new QWidget(extraction), "picWMAExtractOptions", 8, 44, 469, 132);
    chkWMAFileTags_ = new QCheckBox("WMA File Tags", picWMAExtractOptions_);
    chkWMAFileTags_->setObjectName("chkWMAFileTags");
    chkWMAFileTags_->setChecked(true);
    place(chkWMAFileTags_, 0, 0, 140, 20);
    label(picWMAExtractOptions_, "WMA Encoding Bitrate", 150, 2, 140, 18);
    cmbWMAEncodingBitrate_ =
        placed(new QComboBox(picWMAExtractOptions_), "cmbWMAEncodingBitrate", 295, 0, 170, 22);
    for (int i = 0; i < 8; ++i) {
        const int x = (i % 2) * 236, y = 28 + (i / 2) * 25;
        auto* l = label(picWMAExtractOptions_, kTagLabels[i], x, y + 2, 75, 20);
        l->setObjectName(QString("lblWMATag_%1").arg(i));
        lblWMATag_[size_t(i)] = l;
        auto* t = new QLineEdit(QString::fromUtf8(kTagLabels[i]), picWMAExtractOptions_);
        t->setObjectName(QString("txtWMATags_%1").arg(i));
        place(t, x + 78, y, 150, 22);
        txtWMATags_[size_t(i)] = t;
    }
    picWMAExtractOptions_->setEnabled(false);

    ripPanel_ = new RipPanel(this);
    place(ripPanel_, 8, 598, 485, 118);
    // While the disc is ripped, the position label shows how far the track being read is.
    connect(ripPanel_, &RipPanel::trackProgress, this, [this](qint64 done, qint64 total) {
        lblTrackPosition_->setText(QString::fromUtf8(Seconds2HMS(lengthSeconds(done)) + " / " +
                                                     Seconds2HMS(lengthSeconds(total))));
    });
    connect(ripPanel_, &RipPanel::runningChanged, this, [this](bool running) {
        for (int b : {kPlay, kExtract}) cmdButton_[size_t(b)]->setEnabled(!running);
        cmbCDDrives_->setEnabled(!running);
        lstTracks_->setEnabled(!running);
        // Asked to close while the rip ran: it has stopped now.
        if (!running && closeResult_ >= 0)
            QMetaObject::invokeMethod(
                this, [this] { done(std::exchange(closeResult_, -1)); }, Qt::QueuedConnection);
    });

    frameDriveInfo_ = new QGroupBox("Drive Info", this);
    frameDriveInfo_->setObjectName("frameDriveInfo");
    // 7560 twips from the left, 3705 wide: hidden by the narrow window, whole in the wide one.
    frameDriveInfo_->setGeometry(twipsToPixels(7560), int(8 * scale), twipsToPixels(3705),
                                 int(584 * scale));
    auto* flags = new QWidget(frameDriveInfo_);
    QFont small = flags->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);  // the long captions fit the panel
    flags->setFont(small);
    place(flags, 6, 20, 235, 370);
    flags->setEnabled(false);  // display only
    for (int i = 0; i < 15; ++i) {
        auto* c = new QCheckBox(QString::fromUtf8(kFlagCaptions[i]), flags);
        c->setObjectName(QString("chkRWFlags_%1").arg(i));
        c->setTristate(i == 13);
        place(c, 0, i * 24, 235, 22);
        chkRWFlags_[size_t(i)] = c;
    }
    label(frameDriveInfo_, "Maximum read speed", 6, 400, 130, 18);
    lblMaxReadSpeed_ = placed(new QLabel(frameDriveInfo_), "lblMaxReadSpeed", 140, 400, 100, 18);
    label(frameDriveInfo_, "Drive's cache size", 6, 424, 130, 18);
    lblCacheSize_ = placed(new QLabel(frameDriveInfo_), "lblCacheSize", 140, 424, 100, 18);

    tmrPlaybackPosition_ = new QTimer(this);
    tmrPlaybackPosition_->setObjectName("tmrPlaybackPosition");
    tmrPlaybackPosition_->setInterval(50);
    connect(tmrPlaybackPosition_, &QTimer::timeout, this, &frmDemo::tick);

    connect(cmbCDDrives_, &QComboBox::currentIndexChanged, this, &frmDemo::onDriveSelected);
    connect(lstTracks_, &QListWidget::itemSelectionChanged, this,
            &frmDemo::onTrackSelectionChanged);
    connect(lstTracks_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        // A click on the row already selected starts it again.
        const int row = lstTracks_->row(item);
        if (row >= 0 && row == rowBeforePress_) PlayTrack(row);
    });
    connect(SliderVolume_, &QSlider::valueChanged, this, &frmDemo::onVolumeChanged);
    connect(SliderBalance_, &QSlider::valueChanged, this, &frmDemo::onBalanceChanged);

    setFixedHeight(int((kDesignHeight + kRipPanelHeight) * scale));
    applyWidth();
}

void frmDemo::load() {
    auto& platform = platform::Platform::instance();
    const std::string folder = platform.programFolder();
    std::error_code ec;
    std::filesystem::current_path(files::pathFromUtf8(folder), ec);
    KILLTRACK();

    if ((BASS_GetVersion() >> 16) != BASSVERSION) {
        platform::message("An incorrect version of BASS.DLL was loaded", kAppTitle,
                          platform::Icon::Critical);
        platform.exitProgram(1);
        return;
    }
    BASS_Free();
    if (!BASS_Init(-1, 44100, 0, this, nullptr)) {
        platform::message("Error: Couldn't Initialize Digital Output", "Digital output",
                          platform::Icon::Critical);
        platform.exitProgram(1);
        return;
    }

    int drives = fillDriveList();
    cmbCDDrives_->setCurrentIndex(-1);
    loaded_ = true;
    if (cmbCDDrives_->count() > 0) cmbCDDrives_->setCurrentIndex(0);  // selects drive 0
    lastDriveIndex_ = drives - 1;
    LoadWMAEncoderRates();
    wmaTagNames_ = cd::wmaTagNames();
    SliderVolume_->setValue(-BASS_GetVolume());
    // Sliders show no value tip while dragged.
    SliderBalance_->setToolTip(QString());
    SliderVolume_->setToolTip(QString());
    widthTwips_ = kNarrowTwips;
    applyWidth();
    SetTrackListTabStops();
    tmrPlaybackPosition_->start();
}

// --- drives and the panel ------------------------------------------------------------------

int frmDemo::fillDriveList() {
    driveListGeneration_ = engine::cdDriveListGeneration();
    cmbCDDrives_->blockSignals(true);
    cmbCDDrives_->clear();
    int drives = 0;
    for (DWORD i = 0; const char* description = BASS_CD_GetDriveDescription(i); ++i) {
        ++drives;
        if (!engine::cdDrivePresent(i)) continue;  // unplugged
        const DWORD letter = BASS_CD_GetDriveLetter(i);
        QString head = letter < 26 ? QString(QChar(char16_t(65 + letter)))
                                   : QString::fromUtf8(engine::cdDriveShortName(i));
        cmbCDDrives_->addItem(head + ": " + QString::fromUtf8(description), int(i));
    }
    cmbCDDrives_->blockSignals(false);
    return drives;
}

// A drive was plugged in or removed: the list follows; the selected drive stays selected while
// it is there, otherwise its playback stops and the first drive is selected.
void frmDemo::refreshDriveList() {
    const int selected = currentDrive_;
    lastDriveIndex_ = fillDriveList() - 1;
    const int row = cmbCDDrives_->findData(selected);
    if (row >= 0) {
        cmbCDDrives_->blockSignals(true);
        cmbCDDrives_->setCurrentIndex(row);
        cmbCDDrives_->blockSignals(false);
        return;
    }
    BASS_ChannelStop(currentChannel_);
    lstTracks_->clear();
    cmbCDDrives_->setCurrentIndex(-1);
    if (cmbCDDrives_->count() > 0) cmbCDDrives_->setCurrentIndex(0);
}

void frmDemo::onDriveSelected(int row) {
    if (!loaded_ || row < 0) return;
    currentDrive_ = cmbCDDrives_->itemData(row).toInt();
    trackListFailed_ = false;  // another drive: its list is read afresh
    ripPanel_->setDrive(currentDrive_);
    RefreshDriveInfo();
    LoadTrackList();
}

void frmDemo::RefreshDriveInfo() {
    BASS_CD_INFO info{};
    if (!BASS_CD_GetInfo(DWORD(currentDrive_), &info)) info = BASS_CD_INFO{};
    for (int i = 0; i < 11; ++i)
        setCheck(chkRWFlags_[size_t(i)], (info.flags & kFlagBits[i]) ? 1 : 0);
    setCheck(chkRWFlags_[11], info.canopen ? 1 : 0);
    setCheck(chkRWFlags_[12], info.canlock ? 1 : 0);
    cmdButton_[kOpen]->setEnabled(info.canopen != 0);
    cmdButton_[kClose]->setEnabled(info.canopen != 0);
    if (info.canlock) {
        setCheck(chkRWFlags_[13], BASS_CD_DoorIsLocked(DWORD(currentDrive_)) ? 1 : 0);
        cmdButton_[kLock]->setEnabled(true);
        cmdButton_[kUnlock]->setEnabled(true);
    } else {
        setCheck(chkRWFlags_[13], 2);
        cmdButton_[kLock]->setEnabled(false);
        cmdButton_[kUnlock]->setEnabled(false);
    }
    const std::string separator = fromQt(QLocale().groupSeparator());
    lblMaxReadSpeed_->setText(QString::fromUtf8(formatKbps(info.maxspeed, separator)));
    lblCacheSize_->setText(QString::fromUtf8(formatKbps(info.cache, separator)));
}

void frmDemo::toggleDriveInfo() {
    widthTwips_ = widthTwips_ == kWideTwips ? kNarrowTwips : kWideTwips;
    applyWidth();
    cmdButton_[kDriveInfo]->setText(widthTwips_ == kWideTwips ? "&Drive Info <<"
                                                              : "&Drive Info >>");
}

void frmDemo::applyWidth() {
    setFixedWidth(twipsToPixels(widthTwips_));
}

// --- buttons -------------------------------------------------------------------------------

int frmDemo::selectedTrackRow() const {
    const auto selected = lstTracks_->selectedItems();
    return selected.isEmpty() ? -1 : lstTracks_->row(selected.front());
}

void frmDemo::onButton(int index) {
    const int row = selectedTrackRow();
    if (row < 0) return;  // no button acts without a selected track
    const DWORD drive = DWORD(currentDrive_);
    switch (index) {
        case kPlay:
            PlayTrack(row);
            break;
        case kPauseResume:
            if (BASS_ChannelIsActive(currentChannel_) == BASS_ACTIVE_PAUSED)
                BASS_ChannelPlay(currentChannel_, 0);
            else
                BASS_ChannelPause(currentChannel_);
            break;
        case kStop:
            BASS_ChannelStop(currentChannel_);
            break;
        case kLock:
            BASS_CD_Door(drive, BASS_CD_DOOR_LOCK);
            break;
        case kUnlock:
            BASS_CD_Door(drive, BASS_CD_DOOR_UNLOCK);
            break;
        case kOpen:
            lstTracks_->clear();
            BASS_ChannelStop(currentChannel_);
            BASS_CD_Door(drive, BASS_CD_DOOR_OPEN);
            trackListFailed_ = false;
            break;
        case kClose:
            BASS_CD_Door(drive, BASS_CD_DOOR_CLOSE);
            trackListFailed_ = false;
            RefreshDriveInfo();
            break;
        case kExtract: {
            BASS_ChannelStop(currentChannel_);
            platform::Platform::instance().setBusy(true);
            if (optExtractMode_[0]->isChecked()) {
                ExtractAudioTrack(row);
            } else {
                const int i = cmbWMAEncodingBitrate_->currentIndex();
                ExtractAudioTrackToWMA(row,
                                       i < 0 ? 0 : cmbWMAEncodingBitrate_->itemData(i).toInt());
            }
            break;
        }
        case kFadeOut:
            FadeOutTrack();
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
    if (inTick_ || closed_) return;  // a message box of this tick is still open
    inTick_ = true;
    if (engine::cdDriveListGeneration() != driveListGeneration_) refreshDriveList();
    const DWORD drive = DWORD(currentDrive_);
    const bool open = BASS_CD_DoorIsOpen(drive);
    setCheck(chkRWFlags_[14], open ? 1 : 0);
    setCheck(chkRWFlags_[13], BASS_CD_DoorIsLocked(drive) ? 1 : 0);
    if (open) trackListFailed_ = false;  // the disc may be another one when the door closes
    const bool hasRows = lstTracks_->count() > 0;
    if (hasRows || open) {
        if (hasRows && open) {
            BASS_ChannelStop(currentChannel_);
            lstTracks_->clear();
        }
    } else if (!trackListFailed_) {
        LoadTrackList();
    }
    if (!ripPanel_->running()) updatePositionLabel();
    inTick_ = false;
}

void frmDemo::updatePositionLabel() {
    const DWORD length = DWORD(BASS_ChannelGetLength(currentChannel_));
    const DWORD position = DWORD(BASS_ChannelGetPosition(currentChannel_));
    const float lengthSec = BASS_ChannelBytes2Seconds(currentChannel_, length);
    const float positionSec = BASS_ChannelBytes2Seconds(currentChannel_, position);
    const QString text = QString::fromUtf8(Seconds2HMS(int32_t(roundHalfEven(positionSec))) +
                                           " / " + Seconds2HMS(int32_t(roundHalfEven(lengthSec))));
    if (lblTrackPosition_->text() != text) lblTrackPosition_->setText(text);
}

// --- the track list ------------------------------------------------------------------------

QString frmDemo::rowText(const std::string& utf8) const {
    return QString::fromUtf8(utf8);
}

void frmDemo::LoadTrackList() {
    lstTracks_->clear();
    TrackListing list = readTrackList(currentDrive_);
    switch (list.outcome) {
        case TrackListing::Outcome::NotReady:
            return;
        case TrackListing::Outcome::TrackCountFailed:
            trackListFailed_ = true;  // before the box: the timer must not ask again meanwhile
            platform::message("Error retreiving number of tracks.", kAppTitle);
            return;
        case TrackListing::Outcome::CdTextFailed:
            trackListFailed_ = true;
            ReportRoutineError(kModule, "LoadTrackListFromCDText", list.error.number,
                               list.error.description);
            return;
        case TrackListing::Outcome::Listed:
            break;
    }
    txtCDArtist_->setText(QString::fromUtf8(list.artist));
    txtCDAlbum_->setText(QString::fromUtf8(list.album));
    for (const std::string& row : list.rows) lstTracks_->addItem(rowText(row));
}

void frmDemo::LoadTrackListFromCDText(const char* block, int tracks) {
    CdTextTables tables;
    RoutineError error;
    if (!parseCdText(block, tracks, tables, error)) {
        trackListFailed_ = true;
        ReportRoutineError(kModule, "LoadTrackListFromCDText", error.number, error.description);
        return;
    }
    txtCDArtist_->setText(QString::fromUtf8(tables.performers[0]));
    txtCDAlbum_->setText(QString::fromUtf8(tables.titles[0]));
    const DWORD drive = DWORD(currentDrive_);
    for (const std::string& row : buildRows(tracks, &tables, [drive](int i) {
             return int64_t(BASS_CD_GetTrackLength(drive, DWORD(i)));
         }))
        lstTracks_->addItem(rowText(row));
}

void frmDemo::SetTrackListTabStops() {
    trackDelegate_->setTabStops({});
    trackDelegate_->setTabStops({15, -235});
    lstTracks_->viewport()->update();
}

void frmDemo::onTrackSelectionChanged() {
    const int row = selectedTrackRow();
    if (row >= 0) PlayTrack(row);
}

bool frmDemo::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lstTracks_->viewport() && event->type() == QEvent::MouseButtonPress)
        rowBeforePress_ = selectedTrackRow();
    return QDialog::eventFilter(watched, event);
}

// --- playback ------------------------------------------------------------------------------

void frmDemo::PlayTrack(int track) {
    BASS_ChannelStop(currentChannel_);
    currentChannel_ =
        BASS_CD_StreamCreate(DWORD(currentDrive_), DWORD(track), BASS_STREAM_AUTOFREE);
    BASS_ChannelSetAttributes(currentChannel_, -1, -SliderVolume_->value(), -101);
    // The syncs come before playback starts: a read that fails at once is reported too.
    void* user = reinterpret_cast<void*>(intptr_t(track));
    BASS_ChannelSetSync(currentChannel_, BASS_SYNC_CD_ERROR | BASS_SYNC_ONETIME, 0, CDErrorSync,
                        nullptr);
    BASS_ChannelSetSync(currentChannel_, BASS_SYNC_END | BASS_SYNC_ONETIME, 0, TrackEndSync, user);
    BASS_ChannelSetSync(currentChannel_, BASS_SYNC_SLIDE | BASS_SYNC_ONETIME, 0, TrackEndSync,
                        user);
    BASS_ChannelPlay(currentChannel_, 1);
}

void frmDemo::PlayNextTrack(int current) {
    const int count = lstTracks_->count();
    if (count == 0) return;  // the list was emptied (door opened, read error): nothing to play
    const int next = current >= count - 1 ? 0 : current + 1;
    lstTracks_->blockSignals(true);
    lstTracks_->setCurrentRow(next);
    lstTracks_->blockSignals(false);
    PlayTrack(next);
}

void frmDemo::CDError() {
    BASS_ChannelStop(currentChannel_);
    BASS_StreamFree(currentChannel_);
    platform::message(
        "There was an error playing back and Audio CD stream. Most probable cause is the CD "
        "drive was opened.",
        "Error", platform::Icon::Critical);
    lstTracks_->clear();
}

void frmDemo::FadeOutTrack() {
    BASS_ChannelSlideAttributes(currentChannel_, -1, 0, -101, 5000);
}

// The engine calls these on its own threads: the work is posted to the window thread, where it
// runs only if the sync's stream is still the window's current one (a stream replaced in the
// meantime does not move the playback on).
void frmDemo::TrackEndSync(HSYNC, DWORD channel, DWORD, void* user) {
    const int track = int(reinterpret_cast<intptr_t>(user));
    platform::postToWindowThread([channel, track] {
        // A stream that failed also ends: that end does not move playback on.
        if (frmDemo* w = gWindow.data();
            w && !w->closed_ && w->currentChannel_ == channel && w->failedChannel_ != channel)
            w->PlayNextTrack(track);
    });
}

void frmDemo::CDErrorSync(HSYNC, DWORD channel, DWORD, void*) {
    platform::postToWindowThread([channel] {
        if (frmDemo* w = gWindow.data();
            w && !w->closed_ && w->currentChannel_ == channel && w->failedChannel_ != channel) {
            w->failedChannel_ = channel;
            w->CDError();
        }
    });
}

void frmDemo::showVolumeLabel(int value) {
    lblVolume_->setText(QString("Volume : %1").arg(roundHalfEven(std::abs(value) / 10.0)));
}

void frmDemo::onVolumeChanged(int value) {
    BASS_ChannelSetAttributes(currentChannel_, -1, std::abs(value), -101);
    showVolumeLabel(value);
}

void frmDemo::onBalanceChanged(int value) {
    BASS_ChannelSetAttributes(currentChannel_, -1, -1, value);
    lblBalance_->setText(QString::number(value));
}

// --- extraction ----------------------------------------------------------------------------

std::string frmDemo::scratchTrackFile() const {
    return inProgramFolder("TRACK.WAV");
}

void frmDemo::KILLTRACK() {
    std::error_code ec;
    std::filesystem::remove(files::pathFromUtf8(scratchTrackFile()), ec);
}

void frmDemo::onExtractModeChanged() {
    picWMAExtractOptions_->setEnabled(optExtractMode_[1]->isChecked());
}

void frmDemo::ExtractAudioTrack(int track) {
    auto& platform = platform::Platform::instance();
    ExtractHooks hooks;
    hooks.onStream = [this](HSTREAM s) {
        currentChannel_ = s;
        setEnabled(false);
    };
    hooks.progress = [](uint64_t, uint64_t) { QCoreApplication::processEvents(); };
    const ExtractResult r = extractTrackToWav(currentDrive_, track, scratchTrackFile(), hooks);
    switch (r.status) {
        case ExtractResult::Status::StreamFailed:
            platform::message("Unable to Create CD Stream!", kAppTitle);
            platform.setBusy(false);
            return;
        case ExtractResult::Status::Done:
            platform.setBusy(false);
            platform::message("WAV File Encoded.", "Quorvin Audio tools");
            SaveFile();
            break;
        case ExtractResult::Status::ReadFailed:
            // The file is whole (its header matches the audio in it) but holds part of the track;
            // the message says so before it is offered.
            ReportRoutineError(kModule, "ExtractAudioTrack", BASS_ERROR_CDREAD, r.message);
            SaveFile();
            break;
        default:
            // Nothing usable was written: nothing is offered.
            ReportRoutineError(kModule, "ExtractAudioTrack", BASS_ERROR_CREATE, r.message);
            break;
    }
    platform.setBusy(false);
    setEnabled(true);
}

void frmDemo::SaveFile() {
    platform::FileDialog dialog;
    dialog.title = "Save WAVE File As";
    dialog.filter = "File Wave (*.wav)|*.wav";
    dialog.flags = platform::kDialogOverwritePrompt;
    dialog.initialName = lastSaveName_;
    auto& platform = platform::Platform::instance();
    const auto chosen = platform.saveFile(dialog);
    if (!chosen) return;
    lastSaveName_ = *chosen;
    platform.setBusy(true);
    const files::CopyResult copied = files::copyFileSafely(scratchTrackFile(), *chosen);
    if (!copied.ok) {
        platform.setBusy(false);
        platform::message(copied.message, kAppTitle, platform::Icon::Exclamation);
    }
}

void frmDemo::LoadWMAEncoderRates() {
    const DWORD* rates = BASS_WMA_EncodeGetRates(44100, 2, 0);
    if (!rates) {
        ReportEngineError("Error: Can't find a codec", BASS_ErrorGetCode());
        return;
    }
    const std::string separator = fromQt(QLocale().groupSeparator());
    for (const DWORD* r = rates; *r; ++r)
        cmbWMAEncodingBitrate_->addItem(QString::fromUtf8(formatBitrateRow(*r, separator)),
                                        int(*r));
    if (cmbWMAEncodingBitrate_->count() > 0) cmbWMAEncodingBitrate_->setCurrentIndex(0);
}

void frmDemo::ExtractAudioTrackToWMA(int track, int bitrate) {
    auto& platform = platform::Platform::instance();
    if (bitrate <= 0) {
        platform.setBusy(false);
        platform::message(
            "No WMA bit rate can be chosen because no WMA encoder was found, so the "
            "track cannot be extracted to WMA.",
            kAppTitle, platform::Icon::Exclamation);
        return;
    }
    std::vector<std::pair<std::string, std::string>> tags;
    if (chkWMAFileTags_->isChecked())
        for (size_t i = 0; i < txtWMATags_.size(); ++i)
            tags.emplace_back(wmaTagNames_[i], fromQt(txtWMATags_[i]->text()));
    const std::string path = inProgramFolder("TRACK" + std::to_string(track + 1) + ".WMA");
    ExtractHooks hooks;
    hooks.onStream = [this](HSTREAM s) {
        currentChannel_ = s;
        setEnabled(false);
    };
    hooks.progress = [](uint64_t, uint64_t) { QCoreApplication::processEvents(); };
    const ExtractResult r =
        extractTrackToWma(currentDrive_, track, uint32_t(bitrate), path, tags, hooks);
    switch (r.status) {
        case ExtractResult::Status::StreamFailed:
            ReportEngineError("Unable to Create CD Stream!", r.engineError);
            break;
        case ExtractResult::Status::EncoderFailed:
            ReportEngineError(r.message, r.engineError);
            break;
        case ExtractResult::Status::ReadFailed:
            ReportRoutineError(kModule, "ExtractAudioTrackToWMA", BASS_ERROR_CDREAD, r.message);
            break;
        case ExtractResult::Status::Done: {
            const std::string took = formatTenths(r.seconds, fromQt(QLocale().decimalPoint()));
            platform::message("WMA File Encoded. Encoding took " + took + " seconds.",
                              "WMA Encoding");
            break;
        }
        default:
            ReportRoutineError(kModule, "ExtractAudioTrackToWMA", 0, r.message);
            break;
    }
    platform.setBusy(false);
    setEnabled(true);
}

// --- messages ------------------------------------------------------------------------------

void frmDemo::ReportRoutineError(const std::string& module, const std::string& routine, int number,
                                 const std::string& description) {
    platform::message("Error in routine : " + routine + "in module : " + module + "\r\nError #" +
                          std::to_string(number) + "\r\n" + description,
                      kAppTitle);
}

void frmDemo::ReportEngineError(const std::string& text, int code) {
    std::string message = text;
    if (code != -1) message += "\r\n\r\nError Code : " + std::to_string(code);
    platform::message(message, "Error", platform::Icon::Critical);
}

// --- closing -------------------------------------------------------------------------------

bool frmDemo::closeWindow(int result) {
    // A rip stops after the read under way; the window thread does not wait for it, the window
    // closes when the rip says it has stopped.
    if (ripPanel_->stopForClose()) {
        closeResult_ = result;
        setEnabled(false);
        return false;
    }
    closed_ = true;
    tmrPlaybackPosition_->stop();
    ripPanel_->stopAndWait();  // the rip has ended: nothing to wait for
    for (int i = 0; i <= lastDriveIndex_; ++i) BASS_CD_Door(DWORD(i), BASS_CD_DOOR_UNLOCK);
    BASS_Stop();
    BASS_Free();
    return true;
}

void frmDemo::done(int result) {
    if (loaded_ && !closed_ && !closeWindow(result)) return;
    QDialog::done(result);
}

void frmDemo::closeEvent(QCloseEvent* event) {
    if (loaded_ && !closed_ && !closeWindow(QDialog::Rejected)) {
        event->ignore();
        return;
    }
    event->accept();
    QDialog::closeEvent(event);
}

}  // namespace cd

#include "cd/rip_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <utility>

#include "disc/basscd.h"
#include "platform/platform.h"

namespace cd {

namespace {

constexpr const char* kExtractAll = QT_TRANSLATE_NOOP("cd::RipPanel", "E&xtract All\u2026");
constexpr const char* kStopRip = QT_TRANSLATE_NOOP("cd::RipPanel", "Stop R&ip");
constexpr const char* kTitle = QT_TRANSLATE_NOOP("cd::RipPanel", "Extract All");
std::string title() {
    return RipPanel::tr(kTitle).toStdString();
}
constexpr int kProgressSteps = 1000;

QString trackLine(const TrackRip& t) {
    QString line = QString("%1  ").arg(t.number, 2, 10, QChar('0'));
    switch (t.status) {
        case TrackRip::Status::Ripped:
            // A test and copy mismatch is said after the checksums.
            switch (t.problem()) {
                case TrackRip::Problem::SkippedReads:
                    line += RipPanel::tr("SKIPPED READS (not an exact copy)");
                    break;
                case TrackRip::Problem::CutShort:
                    line += RipPanel::tr("CUT SHORT (the image ends inside the track)");
                    break;
                case TrackRip::Problem::TestMismatch:
                case TrackRip::Problem::None:
                    line += RipPanel::tr("OK");
                    break;
            }
            break;
        case TrackRip::Status::DataTrack:
            return line + RipPanel::tr("data track, skipped");
        case TrackRip::Status::ReadFailed:
            return line + RipPanel::tr("READ FAILED: ") + QString::fromStdString(t.message);
        case TrackRip::Status::WriteFailed:
            return line + RipPanel::tr("WRITE FAILED: ") + QString::fromStdString(t.message);
        case TrackRip::Status::Stopped:
            return line + RipPanel::tr("stopped");
        case TrackRip::Status::NotReached:
            return line + RipPanel::tr("not ripped");
    }
    line += QString("  CRC32 %1  AR v1 %2  v2 %3")
                .arg(t.crc32, 8, 16, QChar('0'))
                .arg(t.accurateRipV1, 8, 16, QChar('0'))
                .arg(t.accurateRipV2, 8, 16, QChar('0'))
                .toUpper();
    if (t.tested)
        line += t.testMismatch() ? RipPanel::tr("  TEST AND COPY MISMATCH")
                                 : RipPanel::tr("  test and copy: match");
    if (t.accurateRip.kind != AccurateRipVerdict::Kind::NotChecked)
        line +=
            RipPanel::tr("  AccurateRip: ") + QString::fromStdString(verdictText(t.accurateRip));
    return line;
}

}  // namespace

RipPanel::RipPanel(QWidget* parent) : QWidget(parent) {
    setObjectName("ripPanel");
    setAccessibleName(tr("Whole disc"));
    cmdExtractAll_ = new QPushButton(tr(kExtractAll), this);
    cmdExtractAll_->setObjectName("cmdExtractAll");
    cmdExtractAll_->setAutoDefault(false);
    cmdExtractAll_->setGeometry(0, 0, 110, 26);
    connect(cmdExtractAll_, &QPushButton::clicked, this, [this] {
        if (running())
            stop();
        else
            extractAll();
    });

    cmbRipFormat_ = new QComboBox(this);
    cmbRipFormat_->setObjectName("cmbRipFormat");
    for (RipFormat f : allRipFormats()) cmbRipFormat_->addItem(ripFormatName(f), int(f));
    cmbRipFormat_->setCurrentIndex(cmbRipFormat_->findData(int(RipFormat::Flac)));
    cmbRipFormat_->setGeometry(116, 0, 100, 26);

    txtRipName_ = new QLineEdit(QString::fromUtf8(kDefaultNameTemplate), this);
    txtRipName_->setObjectName("txtRipName");
    txtRipName_->setToolTip(
        tr("File names: %N track number (01), %n (1), %t title, %a artist, %A album artist, "
           "%d album, %y year, %% a percent sign; '/' makes folders"));
    txtRipName_->setGeometry(222, 0, 120, 26);

    auto* offsetLabel = new QLabel(tr("Read offset"), this);
    offsetLabel->setGeometry(348, 4, 70, 18);
    spnOffset_ = new QSpinBox(this);
    spnOffset_->setObjectName("spnOffset");
    spnOffset_->setRange(-3000, 3000);
    spnOffset_->setToolTip(tr("The drive's read offset in samples; remembered for this drive"));
    spnOffset_->setGeometry(418, 0, 67, 26);
    connect(spnOffset_, &QSpinBox::valueChanged, this, [this](int value) {
        if (drive_ >= 0) QSettings("Quorvin", "Quorvin Audio Tools").setValue(offsetKey(), value);
    });

    txtAccurateRipDb_ = new QLineEdit(this);
    txtAccurateRipDb_->setObjectName("txtAccurateRipDb");
    txtAccurateRipDb_->setPlaceholderText(
        tr("AccurateRip database file (dBAR-\u2026.bin) to verify with"));
    txtAccurateRipDb_->setToolTip(
        tr("A database file downloaded from the address in a rip log: every track is verified "
           "against it. Empty: no verification"));
    txtAccurateRipDb_->setGeometry(0, 30, 370, 24);

    chkTestAndCopy_ = new QCheckBox(tr("&Test and copy"), this);
    chkTestAndCopy_->setObjectName("chkTestAndCopy");
    chkTestAndCopy_->setToolTip(tr("Read every track twice and compare the two CRCs"));
    chkTestAndCopy_->setGeometry(376, 30, 109, 24);

    prgDisc_ = new QProgressBar(this);
    prgDisc_->setObjectName("prgDisc");
    prgDisc_->setRange(0, kProgressSteps);
    prgDisc_->setValue(0);
    prgDisc_->setGeometry(0, 60, 485, 18);

    lblRipStatus_ = new QLabel(this);
    lblRipStatus_->setObjectName("lblRipStatus");
    lblRipStatus_->setGeometry(0, 80, 485, 18);

    lstRipTracks_ = new QListWidget(this);
    lstRipTracks_->setObjectName("lstRipTracks");
    lstRipTracks_->setGeometry(0, 100, 485, 46);

    const std::pair<QWidget*, const char*> names[] = {
        {cmdExtractAll_, QT_TR_NOOP("Extract All")},
        {cmbRipFormat_, QT_TR_NOOP("Rip format")},
        {txtRipName_, QT_TR_NOOP("Rip file names")},
        {spnOffset_, QT_TR_NOOP("Read offset")},
        {txtAccurateRipDb_, QT_TR_NOOP("AccurateRip database file")},
        {chkTestAndCopy_, QT_TR_NOOP("Test and copy")},
        {prgDisc_, QT_TR_NOOP("Rip progress")},
        {lblRipStatus_, QT_TR_NOOP("Rip status")},
        {lstRipTracks_, QT_TR_NOOP("Ripped tracks")},
    };
    for (const auto& [widget, name] : names) widget->setAccessibleName(tr(name));
}

RipPanel::~RipPanel() {
    stopAndWait();
}

QString RipPanel::offsetKey() const {
    const std::string name = engine::cdDriveName(DWORD(drive_));
    return "readOffset/" + QString::fromLatin1(QByteArray::fromStdString(name).toPercentEncoding());
}

void RipPanel::setDrive(int drive) {
    if (running()) return;
    // The last rip's results are another disc's (another drive, or the disc exchanged).
    lstRipTracks_->clear();
    lblRipStatus_->clear();
    prgDisc_->setValue(0);
    drive_ = drive;
    const int remembered =
        QSettings("Quorvin", "Quorvin Audio Tools").value(offsetKey(), 0).toInt();
    const QSignalBlocker quiet(spnOffset_);
    spnOffset_->setValue(remembered);
}

void RipPanel::extractAll() {
    if (running() || drive_ < 0) return;
    std::string why;
    if (!validNameTemplate(txtRipName_->text().toStdString(), &why)) {
        platform::message(tr("The file-name template cannot be used: ").toStdString() + why + ".",
                          title(), platform::Icon::Exclamation);
        return;
    }
    std::shared_ptr<AccurateRipDb> db;
    const std::string dbPath = txtAccurateRipDb_->text().trimmed().toStdString();
    if (!dbPath.empty()) {
        db = std::make_shared<AccurateRipDb>();
        if (!readAccurateRipDb(dbPath, *db, why)) {
            platform::message(tr("The tracks cannot be verified: ").toStdString() + why + ".",
                              title(), platform::Icon::Exclamation);
            return;
        }
    }
    platform::FileDialog dialog;
    dialog.title = tr("Extract All Tracks To").toStdString();
    dialog.initialDir = lastFolder_;
    auto folder = platform::Platform::instance().chooseFolder(dialog);
    if (!folder) return;
    lastFolder_ = *folder;
    start(*folder, std::move(db));
}

std::vector<QWidget*> RipPanel::settings() const {
    return {cmbRipFormat_, txtRipName_, spnOffset_, txtAccurateRipDb_, chkTestAndCopy_};
}

void RipPanel::start(const std::string& folder, std::shared_ptr<const AccurateRipDb> db) {
    if (worker_.joinable()) worker_.join();  // a finished worker: returns at once
    RipOptions options;
    options.folder = folder;
    options.format = RipFormat(cmbRipFormat_->currentData().toInt());
    options.nameTemplate = txtRipName_->text().toStdString();
    options.readOffset = spnOffset_->value();
    options.accurateRipDbName = txtAccurateRipDb_->text().trimmed().toStdString();
    options.accurateRipDb = std::move(db);
    options.testAndCopy = chkTestAndCopy_->isChecked();
    stop_ = false;
    finished_ = false;
    done_ = 0;
    total_ = 0;
    prgDisc_->setValue(0);
    lstRipTracks_->clear();
    lblRipStatus_->setText(tr("Ripping\u2026"));
    cmdExtractAll_->setText(tr(kStopRip));
    for (QWidget* w : settings()) w->setEnabled(false);
    emit runningChanged(true);

    const int drive = drive_;
    worker_ = std::thread([this, drive, options] {
        BASS_CD_Door(DWORD(drive), BASS_CD_DOOR_LOCK);
        RipHooks hooks;
        hooks.trackProgress = [this](uint64_t done, uint64_t total) {
            trackDone_ = done;
            trackTotal_ = total;
        };
        hooks.progress = [this](uint64_t done, uint64_t total) {
            done_ = done;
            total_ = total;
            if (!progressPosted_.exchange(true))
                QMetaObject::invokeMethod(
                    this, [this] { showProgress(); }, Qt::QueuedConnection);
        };
        hooks.trackDone = [this](const TrackRip& t) {
            QMetaObject::invokeMethod(
                this, [this, t] { showTrack(t); }, Qt::QueuedConnection);
        };
        auto rip = std::make_shared<DiscRip>(ripDisc(drive, options, hooks, &stop_));
        BASS_CD_Door(DWORD(drive), BASS_CD_DOOR_UNLOCK);
        QMetaObject::invokeMethod(
            this, [this, rip] { finish(std::move(*rip)); }, Qt::QueuedConnection);
    });
}

void RipPanel::showProgress() {
    progressPosted_ = false;
    const uint64_t total = total_;
    if (total > 0) prgDisc_->setValue(int(done_.load() * kProgressSteps / total));
    emit trackProgress(qint64(trackDone_.load()), qint64(trackTotal_.load()));
}

void RipPanel::showTrack(const TrackRip& t) {
    lstRipTracks_->addItem(trackLine(t));
}

void RipPanel::stop() {
    stop_ = true;
}

bool RipPanel::stopForClose() {
    closing_ = true;  // the window is closing: no message box for the stopped rip
    if (!running()) return false;
    stop_ = true;
    lblRipStatus_->setText(tr("Stopping\u2026"));
    return true;
}

void RipPanel::stopAndWait() {
    closing_ = true;  // the window is closing: no message box for the stopped rip
    stop_ = true;
    if (worker_.joinable()) worker_.join();
}

void RipPanel::finish(DiscRip rip) {
    if (worker_.joinable()) worker_.join();  // its last act was to post this
    finished_ = true;
    showProgress();
    lastRip_ = std::move(rip);
    cmdExtractAll_->setText(tr(kExtractAll));
    for (QWidget* w : settings()) w->setEnabled(true);
    emit runningChanged(false);

    const DiscRip& r = lastRip_;
    if (r.status == DiscRip::Status::NoDisc || r.status == DiscRip::Status::NoFolder) {
        lblRipStatus_->setText(QString::fromStdString(r.message));
        if (closing_) return;
        platform::message(r.message, title(), platform::Icon::Exclamation);
        return;
    }
    if (r.status == DiscRip::Status::Done) prgDisc_->setValue(kProgressSteps);
    int ripped = 0;
    for (const TrackRip& t : r.tracks)
        if (t.status == TrackRip::Status::Ripped) ++ripped;
    const std::string faults = ripFaultSummary(r);
    QString line = (ripped == 1 ? tr("%1 track ripped to %2.") : tr("%1 tracks ripped to %2."))
                       .arg(QString::number(ripped), QString::fromStdString(lastFolder_));
    if (r.status == DiscRip::Status::Stopped) line = tr("Stopped. ") + line;
    if (!faults.empty())
        line += " " + QString::fromStdString(faults);
    else if (r.allClean())
        line += tr(" Every track was read without skips.");
    if (!r.accurateRipDbName.empty())
        line += r.allAccurate() ? tr(" Every track is accurate in AccurateRip.")
                                : tr(" NOT every track is accurate in AccurateRip.");
    line += r.logPath.empty() ? tr(" The log could not be written.")
                              : tr(" Log: ") + QString::fromStdString(r.logPath);
    const std::string text = line.toStdString();
    lblRipStatus_->setText(QString::fromStdString(text));
    if (closing_) return;
    const bool verifiedBad = !r.accurateRipDbName.empty() && !r.allAccurate();
    platform::message(
        text, title(),
        faults.empty() && !verifiedBad ? platform::Icon::Information : platform::Icon::Exclamation);
}

}  // namespace cd

// "Extract All...": the CD window's controls for ripping the whole disc (format, file-name
// template, the drive's read offset, an AccurateRip database file to verify against, test and
// copy, one progress bar for the disc and each track's result and AccurateRip verdict).
// The rip runs on a worker thread; its progress and results are posted to the window thread,
// which never waits on the drive. The read offset is remembered per drive (QSettings).
#pragma once

#include <QWidget>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/bass.h"
#include "rip/rip_disc.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace cd {

class RipPanel : public QWidget {
    Q_OBJECT
  public:
    explicit RipPanel(QWidget* parent = nullptr);
    // Stops a running rip and waits for the read under way to end (the window never closes with
    // a rip running: see stopForClose()).
    ~RipPanel() override;

    // The drive the next rip reads (another drive, or its disc exchanged: the last rip's results
    // go); its remembered read offset goes into spnOffset.
    void setDrive(int drive);
    // Asks for a folder (platform::Platform) and starts ripping into it; while a rip runs, the
    // same button stops it.
    void extractAll();
    // Ends the rip after the read under way; the finished tracks stay.
    void stop();
    // For closing the window: stop() without the message box of the stopped rip. True when a rip
    // was running: the window closes once runningChanged(false) comes, after the read under way.
    bool stopForClose();
    // stop(), then waits for the worker (a few milliseconds: one read). For the panel's end.
    void stopAndWait();
    bool running() const { return worker_.joinable() && !finished_; }
    // The last finished rip (empty before the first).
    const DiscRip& lastRip() const { return lastRip_; }

  signals:
    void runningChanged(bool running);
    // How far the track being read is: bytes read and its length (the window's position
    // display shows it in place of a playing track's position).
    void trackProgress(qint64 done, qint64 total);

  private:
    void start(const std::string& folder, std::shared_ptr<const AccurateRipDb> db);
    // The controls that set up a rip, disabled while it runs.
    std::vector<QWidget*> settings() const;
    void finish(DiscRip rip);
    void showProgress();
    void showTrack(const TrackRip& t);
    QString offsetKey() const;

    QPushButton* cmdExtractAll_ = nullptr;
    QComboBox* cmbRipFormat_ = nullptr;
    QLineEdit* txtRipName_ = nullptr;
    QSpinBox* spnOffset_ = nullptr;
    QLineEdit* txtAccurateRipDb_ = nullptr;
    QCheckBox* chkTestAndCopy_ = nullptr;
    QProgressBar* prgDisc_ = nullptr;
    QLabel* lblRipStatus_ = nullptr;
    QListWidget* lstRipTracks_ = nullptr;

    int drive_ = -1;
    std::thread worker_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{true};
    std::atomic<uint64_t> done_{0}, total_{0}, trackDone_{0}, trackTotal_{0};
    std::atomic<bool> progressPosted_{false};
    bool closing_ = false;
    DiscRip lastRip_;
    std::string lastFolder_;
};

}  // namespace cd

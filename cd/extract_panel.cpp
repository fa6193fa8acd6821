#include "cd/extract_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>

#include "cd/cd_messages.h"
#include "disc/basscd.h"
#include "encode/basswma.h"
#include "files/file_io.h"
#include "files/safe_copy.h"
#include "platform/platform.h"
#include "platform/window_thread.h"
#include "rip/extract.h"
#include "rip/rip_names.h"
#include "rip/track_list.h"

namespace cd {

namespace {

std::string fromQt(const QString& s) {
    return s.toUtf8().toStdString();
}

// A file in the program's folder, as a UTF-8 path.
std::string inProgramFolder(const std::string& name) {
    const auto p = files::pathFromUtf8(platform::Platform::instance().programFolder()) / name;
    const auto u8 = p.u8string();
    return std::string(u8.begin(), u8.end());
}

}  // namespace

ExtractPanel::ExtractPanel(CdSession& session, const ExtractWidgets& widgets, QWidget* window)
    : QObject(window),
      session_(session),
      w_(widgets),
      window_(window),
      wmaTagNames_(cd::wmaTagNames()) {
    for (QRadioButton* o : w_.optExtractMode)
        connect(o, &QRadioButton::clicked, this, [this] { optExtractMode_Click(); });
}

std::string ExtractPanel::scratchTrackFile() const {
    return inProgramFolder("TRACK.WAV");
}

void ExtractPanel::KILLTRACK() {
    std::error_code ec;
    std::filesystem::remove(files::pathFromUtf8(scratchTrackFile()), ec);
}

void ExtractPanel::optExtractMode_Click() {
    w_.picWMAExtractOptions->setEnabled(w_.optExtractMode[1]->isChecked());
}

void ExtractPanel::Extract(int track) {
    session_.stopPlaying();
    platform::Platform::instance().setBusy(true);
    if (w_.optExtractMode[0]->isChecked()) {
        ExtractAudioTrack(track);
    } else {
        const int i = w_.cmbWMAEncodingBitrate->currentIndex();
        ExtractAudioTrackToWMA(track, i < 0 ? 0 : w_.cmbWMAEncodingBitrate->itemData(i).toInt());
    }
}

ExtractHooks ExtractPanel::offWindowHooks() {
    ExtractHooks hooks;
    // The window shows the stream's position while it is read.
    hooks.onStream = [this](HSTREAM s) {
        platform::postToWindowThread([this, s] { session_.currentChannel = s; });
    };
    hooks.stop = [stop = stop_] { return stop->load(); };
    return hooks;
}

bool ExtractPanel::stopForClose() {
    if (!extracting_) return false;
    stop_->store(true);
    return true;
}

ExtractResult ExtractPanel::readOffWindowThread(const std::function<ExtractResult()>& extract) {
    // The drive is read on a thread of its own (a scratched disc can hold a read for seconds),
    // while the window, disabled, goes on drawing itself and showing the position.
    window_->setEnabled(false);
    stop_->store(false);
    extracting_ = true;
    ExtractResult r;
    platform::waitOffWindowThread([&] { r = extract(); });
    extracting_ = false;
    QCoreApplication::sendPostedEvents();  // the stream the window showed, before it is gone
    if (r.status == ExtractResult::Status::Stopped) {
        // The window is closing: nothing to say or offer.
        platform::Platform::instance().setBusy(false);
        window_->setEnabled(true);
    }
    return r;
}

void ExtractPanel::ExtractAudioTrack(int track) {
    auto& platform = platform::Platform::instance();
    const ExtractResult r = readOffWindowThread(
        [&, drive = session_.currentDrive, to = scratchTrackFile(), hooks = offWindowHooks()] {
            return extractTrackToWav(drive, track, to, hooks);
        });
    switch (r.status) {
        case ExtractResult::Status::Stopped:
            return;
        case ExtractResult::Status::StreamFailed:
            platform::message(CdText::tr("Unable to Create CD Stream!").toStdString(), kAppTitle);
            platform.setBusy(false);
            window_->setEnabled(true);
            return;
        case ExtractResult::Status::Done:
            platform.setBusy(false);
            platform::message(CdText::tr("WAV File Encoded.").toStdString(),
                              CdText::tr("Quorvin Audio tools").toStdString());
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
    window_->setEnabled(true);
}

void ExtractPanel::SaveFile() {
    platform::FileDialog dialog;
    dialog.title = CdText::tr("Save WAVE File As").toStdString();
    dialog.filter = CdText::tr("File Wave (*.wav)").toStdString() + "|*.wav";
    dialog.flags = platform::kDialogOverwritePrompt;
    dialog.initialName = lastSaveName_;
    auto& platform = platform::Platform::instance();
    const auto chosen = platform.saveFile(dialog);
    if (!chosen) return;
    lastSaveName_ = *chosen;
    platform.setBusy(true);
    // Off the window thread, which goes on drawing the window (disabled while the track is saved).
    files::CopyResult copied;
    platform::waitOffWindowThread(
        [&, from = scratchTrackFile(), to = *chosen] { copied = files::copyFileSafely(from, to); });
    if (!copied.ok) {
        platform.setBusy(false);
        platform::message(copied.message, kAppTitle, platform::Icon::Exclamation);
        return;
    }
    // The user's file holds it now (unless the user chose the work file itself).
    std::error_code ec;
    if (!std::filesystem::equivalent(files::pathFromUtf8(scratchTrackFile()),
                                     files::pathFromUtf8(*chosen), ec) &&
        !ec)
        KILLTRACK();
}

void ExtractPanel::LoadWMAEncoderRates() {
    const DWORD* rates = BASS_WMA_EncodeGetRates(44100, 2, 0);
    if (!rates) {
        ReportEngineError(CdText::tr("Error: Can't find a codec").toStdString(),
                          BASS_ErrorGetCode());
        return;
    }
    const std::string separator = fromQt(QLocale().groupSeparator());
    for (const DWORD* r = rates; *r; ++r)
        w_.cmbWMAEncodingBitrate->addItem(QString::fromUtf8(formatBitrateRow(*r, separator)),
                                          int(*r));
    if (w_.cmbWMAEncodingBitrate->count() > 0) w_.cmbWMAEncodingBitrate->setCurrentIndex(0);
}

void ExtractPanel::ExtractAudioTrackToWMA(int track, int bitrate) {
    auto& platform = platform::Platform::instance();
    if (bitrate <= 0) {
        platform.setBusy(false);
        platform::message(
            CdText::tr("No WMA bit rate can be chosen because no WMA encoder was found, so the "
                       "track cannot be extracted to WMA.")
                .toStdString(),
            kAppTitle, platform::Icon::Exclamation);
        return;
    }
    std::vector<std::pair<std::string, std::string>> tags;
    if (w_.chkWMAFileTags->isChecked())
        for (size_t i = 0; i < w_.txtWMATags.size(); ++i)
            tags.emplace_back(wmaTagNames_[i], fromQt(w_.txtWMATags[i]->text()));
    // In the user's music folder: the program's own folder is a work folder that goes when the
    // program ends. A file of the name already there is kept: the next free name is taken.
    std::set<std::string> taken;
    const std::string path =
        uniquePath(platform.musicFolder(), "TRACK" + std::to_string(track + 1), ".WMA", taken);
    const ExtractResult r =
        readOffWindowThread([&, drive = session_.currentDrive, hooks = offWindowHooks()] {
            return extractTrackToWma(drive, track, uint32_t(bitrate), path, tags, hooks);
        });
    switch (r.status) {
        case ExtractResult::Status::Stopped:
            return;
        case ExtractResult::Status::StreamFailed:
            ReportEngineError(CdText::tr("Unable to Create CD Stream!").toStdString(),
                              r.engineError);
            break;
        case ExtractResult::Status::EncoderFailed:
            // The system's reason where the file could not be made or written (a full disk).
            ReportEngineError(r.reason.empty() ? r.message : r.message + "\n" + r.reason,
                              r.engineError);
            break;
        case ExtractResult::Status::ReadFailed:
            ReportRoutineError(kModule, "ExtractAudioTrackToWMA", BASS_ERROR_CDREAD, r.message);
            break;
        case ExtractResult::Status::Done: {
            const std::string took = formatTenths(r.seconds, fromQt(QLocale().decimalPoint()));
            platform::message(
                CdText::tr("WMA File Encoded. Encoding took %1 seconds.")
                        .arg(QString::fromStdString(took))
                        .toStdString() +
                    "\n\n" +
                    CdText::tr("Saved as \"%1\".").arg(QString::fromStdString(path)).toStdString(),
                CdText::tr("WMA Encoding").toStdString());
            break;
        }
        default:
            ReportRoutineError(kModule, "ExtractAudioTrackToWMA", 0, r.message);
            break;
    }
    platform.setBusy(false);
    window_->setEnabled(true);
}

}  // namespace cd

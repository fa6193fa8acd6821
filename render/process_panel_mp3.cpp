#include "render/process_panel.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <filesystem>
#include <system_error>

#include "components/mp3_encoder.h"
#include "encode/formats.h"
#include "files/file_io.h"
#include "files/safe_copy.h"
#include "files/temporary_file.h"
#include "mp3/mp3_save.h"
#include "mp3/mp3routines.h"
#include "platform/platform.h"
#include "platform/window_thread.h"

namespace render {

namespace {
// The main window's texts, through the translation.
struct Text {
    Q_DECLARE_TR_FUNCTIONS(frmWriteWave)
};
}  // namespace

namespace {

// The source's header record, kept between saves.
mp3::Mp3FileInfo& sourceInfo() {
    static mp3::Mp3FileInfo info;
    return info;
}

// The source's tags into the saved MP3, on a copy put in place once tagged, so that a failure
// leaves the saved file as it was.
void tagSavedMp3(const std::string& path, const encode::Tags& tags) {
    if (tags.title.empty() && tags.artist.empty() && tags.album.empty()) return;
    files::TemporaryFile copy;
    if (copy.create(path) && copy.closeStream() && files::copyFileSafely(path, copy.path()) &&
        encode::tagMp3(copy.path(), tags))
        copy.commit();
}

}  // namespace

void ProcessPanel::SaveAsMp3() {
    SourceFileName = s_.CmdFileName;
    BASS_Free();
    render_.reset();

    w_.btnConvert->setEnabled(false);
    enableDuringSave(false);
    // The source's rate, from its header (which may mean reading through the file).
    int32_t rate = s_.Mp3BitRate;
    runSaveStep([&rate, source = SourceFileName, &info = sourceInfo()] {
        rate = mp3::ChooseMp3BitRate(source, rate, info);
    });
    s_.Mp3BitRate = rate;
    if (closeWhenSaveReturns_) {
        hooks_.closeNow();
        return;
    }

    platform::Platform& desk = platform::Platform::instance();
    platform::FileDialog dialog;
    dialog.title = Text::tr("Save MP3 File As").toStdString();
    dialog.filter = saveDialogFilter(Text::tr("File MP3 (*.MP3)").toStdString() + "|*.MP3",
                                     encode::Format::Mp3);
    dialog.folderKey = "mp3";  // remembered as before the other formats were offered

    dialog.flags = platform::kDialogOverwritePrompt;
    dialog.initialName = "";
    const std::optional<std::string> chosen = desk.saveFile(dialog);
    if (!chosen) {
        platform::message(Text::tr("Annullato!").toStdString(), player::kAppTitle);
        desk.setBusy(false);
        enableDuringSave(true);
        return;
    }
    // A name ending in another format's extension is saved in that format; any other as MP3.
    if (const std::optional<encode::Format> typed = savedFormatOf(*chosen);
        typed && *typed != encode::Format::Mp3) {
        saveRenderAs(*chosen, *typed);
        return;
    }
    encodeMp3To(*chosen);
}

void ProcessPanel::encodeMp3To(const std::string& to) {
    platform::Platform& desk = platform::Platform::instance();
    desk.setBusy(true);
    // The source's own rate, else (a WAV source saved under an .mp3 name) the "&Mp3 Setup" choice.
    w_.MEnc1->setBitRate(s_.Mp3BitRate > 0 ? s_.Mp3BitRate : mp3::kDefaultMp3BitRate);
    w_.MEnc1->setChannelMode(0);
    w_.MEnc1->setOutputFile(QString::fromStdString(to));
    w_.MEnc1->setInputFile(QString::fromStdString(s_.workFile()));
    w_.MEnc1->setSpeakerMask(speakerMask_);  // the work file's header keeps no speaker places
    w_.MEnc1->setChannelMode(0);
    // The source's tags are read before the encoding, whose file may replace the source itself.
    encode::Tags tags;
    runSaveStep([&tags, source = SourceFileName] { tags = encode::readTags(source); });
    const bool encoded = !closeWhenSaveReturns_ && w_.MEnc1->Encode();
    if (encoded && !closeWhenSaveReturns_)
        runSaveStep([mp3 = to, tags] { tagSavedMp3(mp3, tags); });
    desk.setBusy(false);
    if (closeWhenSaveReturns_) {
        hooks_.closeNow();
        return;
    }
    enableDuringSave(true);
    if (encoded) {
        // The user's file holds it now: the work file is not kept until the next load.
        std::error_code ignored;
        std::filesystem::remove(files::pathFromUtf8(s_.workFile()), ignored);
    }
    // What MP3 could not hold as it was (a rate, more than two channels) is said.
    if (encoded && !w_.MEnc1->noteText().isEmpty())
        platform::message("The MP3 file was made.\n" + w_.MEnc1->noteText().toStdString() + ".",
                          player::kTitle, platform::Icon::Information);
    // A failed encoding is said, not passed over: the user's result would be missing.
    if (!encoded)
        platform::message("The MP3 file \"" + to + "\" could not be written:\n" +
                              w_.MEnc1->errorText().toStdString(),
                          player::kTitle, platform::Icon::Exclamation);
}

void ProcessPanel::Combo2_Click(int index) {
    const std::optional<int32_t> rate =
        mp3::Mp3SetupBitRate(w_.Combo2->itemText(index).toStdString());
    if (rate) s_.Mp3BitRate = *rate;
    platform::message(Text::tr("Mp3 Setup").toStdString(), player::kTitle,
                      platform::Icon::Question);
    w_.Combo2->setVisible(false);
}

bool ProcessPanel::stopEncodingForClose() {
    if (rendering) {
        // The render stops after its block; its work file goes, and the window closes then.
        closeWhenSaveReturns_ = true;
        renderThread_.stop();
        return true;
    }
    if (savingFile_) {
        // A copy or tagging goes on: the user's file is whole when the window closes. An encoding
        // into FLAC, Ogg or Opus stops after its block, leaving the user's file as it was.
        closeWhenSaveReturns_ = true;
        stopEncoding_ = true;
        return true;
    }
    if (!w_.MEnc1 || !w_.MEnc1->isEncoding()) return false;
    // The save is encoding on a thread: stop it, so that no partial MP3 is left, and close once
    // its Encode has returned.
    closeWhenSaveReturns_ = true;
    w_.MEnc1->StopEncoding();
    return true;
}

void ProcessPanel::enableDuringSave(bool on) {
    w_.btnLoadFile->setEnabled(on);
    w_.mnuconf->setEnabled(on);
    hooks_.setToolsEnabled(on);
    w_.Mnuexit->setEnabled(on);
}

void ProcessPanel::runSaveStep(const std::function<void()>& step) {
    savingFile_ = true;
    platform::waitOffWindowThread(step);
    savingFile_ = false;
}

}  // namespace render

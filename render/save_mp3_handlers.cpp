// Saving a render as MP3: the bit rate from the source's own header (else the "&Mp3 Setup"
// choice), a save dialog, and the encoder component MEnc1 encoding the work file.
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>

#include "app/frmWriteWave.h"
#include "components/mp3_encoder.h"
#include "mp3/mp3_save.h"
#include "mp3/mp3routines.h"
#include "platform/platform.h"
#include "render/render_pipeline.h"

namespace {

// The source's header record, kept between saves.
mp3::Mp3FileInfo& sourceInfo() {
    static mp3::Mp3FileInfo info;
    return info;
}

}  // namespace

void frmWriteWave::SaveAsMp3() {
    SourceFileName = CmdFileName;
    Mp3BitRate = mp3::ChooseMp3BitRate(SourceFileName, Mp3BitRate, sourceInfo(),
                                       [] { QApplication::processEvents(); });
    BASS_Free();
    render_.reset();

    btnConvert->setEnabled(false);
    btnLoadFile->setEnabled(false);
    mnuconf->menuAction()->setEnabled(false);
    setToolsEnabled(false);
    Mnuexit->setEnabled(false);
    auto enableAgain = [this] {
        btnLoadFile->setEnabled(true);
        mnuconf->menuAction()->setEnabled(true);
        setToolsEnabled(true);
        Mnuexit->setEnabled(true);
    };

    platform::Platform& desk = platform::Platform::instance();
    platform::FileDialog dialog;
    dialog.title = "Save MP3 File As";
    dialog.filter = "File MP3 (*.MP3)|*.MP3";
    dialog.flags = 2;
    dialog.initialName = "";
    const std::optional<std::string> chosen = desk.saveFile(dialog);
    if (!chosen) {
        platform::message("Annullato!", kAppTitle);
        desk.setBusy(false);
        enableAgain();
        return;
    }

    desk.setBusy(true);
    MEnc1->setBitRate(Mp3BitRate);
    MEnc1->setChannelMode(0);
    MEnc1->setOutputFile(QString::fromStdString(*chosen));
    MEnc1->setInputFile(QString::fromStdString(workFile()));
    MEnc1->setChannelMode(0);
    const bool encoded = MEnc1->Encode();
    desk.setBusy(false);
    if (closeWhenEncoderReturns_) {
        Form_Unload();
        return;
    }
    enableAgain();
    // A failed encoding is said, not passed over: the user's result would be missing.
    if (!encoded)
        platform::message("The MP3 file \"" + *chosen + "\" could not be written:\n" +
                              MEnc1->errorText().toStdString(),
                          kTitle, platform::Icon::Exclamation);
}

void frmWriteWave::Combo2_Click(int index) {
    const std::optional<int32_t> rate = mp3::Mp3SetupBitRate(Combo2->itemText(index).toStdString());
    if (rate) Mp3BitRate = *rate;
    platform::message("Mp3 Setup", kTitle, platform::Icon::Question);
    Combo2->setVisible(false);
}

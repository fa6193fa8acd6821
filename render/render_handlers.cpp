// The main window's render: "Process" renders the loaded file with the current tempo, pitch,
// vocal remover and equalizer into the work file, EndProcess finishes it, SaveWave saves it.
// The engine wiring is render::RenderPipeline, shared with the command line.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "app/frmWriteWave.h"
#include "app/widgets.h"
#include "mp3/mp3_save.h"
#include "platform/platform.h"
#include "files/file_io.h"
#include "files/paths.h"
#include "render/render_pipeline.h"
#include "files/safe_copy.h"

namespace {

constexpr double kProgressUnit = 1e6;  // the progress bar counts millions of source bytes

}  // namespace

std::string frmWriteWave::workFile() const {
    return files::RPP(programFolder) + "newwave.wav";
}

void frmWriteWave::btnConvert_Click() {
    setToolsEnabled(false);
    btnConvert->setEnabled(false);
    following_ = false;

    if (!restartEngine()) return;
    outputRate = 44100;

    render::RenderSettings settings;
    settings.tempoPercent = static_cast<float>(sldTempo[0]->value());
    settings.pitchSemitones = static_cast<float>(sldTempo[2]->value());
    settings.vocalRemover = Chkrem->isChecked();
    settings.equalizer = Chkrem->isChecked() ? chkEqualizer->isChecked() : CEq->isChecked();
    for (int i = 0; i < 7; ++i) settings.eqSliders[i] = sldEQ[i]->value();

    const std::string output = workFile();
    if (files::FileExists(output)) {
        std::error_code ignored;
        std::filesystem::remove(files::pathFromUtf8(output), ignored);
    }
    render_ = std::make_unique<render::RenderPipeline>(renderMaxDataBytes);
    if (!render_->open(CmdFileName, output, settings)) {
        // Nothing rendered: back to where the user was before "Process".
        const std::string why = render_->error();
        render_.reset();
        PlayChannel = 0;
        setToolsEnabled(true);
        btnConvert->setEnabled(true);
        platform::message(why, kTitle, platform::Icon::Exclamation);
        return;
    }
    PlayChannel = render_->tempoChannel();
    if (settings.vocalRemover) VocalRemoverDsp = render_->vocalRemoverDsp();
    if (!settings.vocalRemover && settings.equalizer) Label5->setVisible(true);

    Pbregg->setVisible(true);
    Pbregg->setMaximum(std::max(1, static_cast<int>(std::ceil(render_->length() / kProgressUnit))));
    Pbregg->setValue(0);
    rendering = true;

    btnLoadFile->setEnabled(false);
    std::string stoppedBecause;
    while (rendering) {
        const render::RenderPipeline::Step step = render_->step();
        if (step == render::RenderPipeline::Step::Finished) break;
        renderPosition = render_->position();
        lblPos->setText("Pos: " + QString::number(renderPosition));
        QApplication::processEvents();
        if (unloading_) return;  // closed meanwhile: EndProcess has finished the file
        const int progress = static_cast<int>(std::nearbyint(renderPosition / kProgressUnit));
        Pbregg->setValue(std::min(progress, Pbregg->maximum()));
        if (step == render::RenderPipeline::Step::Stopped) {
            stoppedBecause = render_->error();
            break;
        }
    }

    finished = true;
    rendering = false;
    btnLoadFile->setEnabled(true);
    btnConvert->setText("Process");
    if (!stoppedBecause.empty())
        platform::message(stoppedBecause, kTitle, platform::Icon::Exclamation);
    EndProcess();
    renderPosition = 0;
    BASS_ChannelSetPosition(PlayChannel, 0);
    setToolsEnabled(true);
}

void frmWriteWave::EndProcess() {
    bool closed = true;
    std::string why;
    if (render_) {
        closed = render_->finish();
        why = render_->error();
    }
    rendering = false;
    if (!finished) return;
    finished = false;
    if (!closed) {
        // The header could not be completed: the file is not a valid result to save.
        platform::message(why, kTitle, platform::Icon::Exclamation);
        Pbregg->setValue(0);
        Pbregg->setVisible(false);
        return;
    }
    platform::message("Done!", kTitle);
    Pbregg->setValue(0);
    Pbregg->setVisible(false);
    lblPos->setText(" 00:00 / 00:00");
    lblBPM->setText("BPM: 0.00");
    if (mp3::SavesAsMp3(CmdFileName))
        SaveAsMp3();
    else
        SaveWave();
}

void frmWriteWave::SaveWave() {
    platform::FileDialog dialog;
    dialog.title = "Save WAVE File As";
    dialog.filter = "File Wave (*.wav)|*.wav";
    dialog.flags = 2;
    dialog.initialName = "";
    const std::optional<std::string> chosen = platform::Platform::instance().saveFile(dialog);
    platform::Platform& desk = platform::Platform::instance();
    if (!chosen) {
        platform::message("Annullato!", kTitle);
        desk.setBusy(false);
        setToolsEnabled(true);
        return;
    }
    BASS_Free();
    render_.reset();
    desk.setBusy(true);
    const files::CopyResult copied = files::copyFileSafely(workFile(), *chosen);
    desk.setBusy(false);
    if (!copied.ok) platform::message(copied.message, kTitle, platform::Icon::Exclamation);
}

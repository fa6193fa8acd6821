#include "render/process_panel.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "encode/encode_wav_file.h"
#include "encode/formats.h"
#include "files/file_io.h"
#include "files/paths.h"
#include "files/safe_copy.h"
#include "files/temporary_file.h"
#include "mp3/mp3_save.h"
#include "platform/platform.h"

namespace render {

namespace {
// The main window's texts, through the translation.
struct Text {
    Q_DECLARE_TR_FUNCTIONS(frmWriteWave)
};
}  // namespace

namespace {

constexpr double kProgressUnit = 1e6;  // the progress bar counts millions of source bytes
constexpr int kProgressMs = 40;        // how often the position and the bar follow the render

// The formats a save writes: every one of the table but WMA, whose encoder needs FFmpeg at run
// time (as `quorvin render`).
bool savesIn(encode::Format format) {
    return format != encode::Format::Wma;
}

// Encodes the work file `work` into `to` in `format` through a temporary beside `to`, put in place
// only when complete: a failure leaves `to` as it was.
files::Result encodeThroughTemporary(const std::string& work, encode::Format format,
                                     const std::string& to, const encode::Tags& tags,
                                     const std::atomic<bool>* stop, uint32_t speakerMask) {
    if (files::Result r = files::checkReplaceable(to); !r) return r;
    files::TemporaryFile encoded;
    files::Result r = encoded.create(to);
    if (r) r = encoded.closeStream();
    if (r) r = encode::encodeWavFile(work, format, encoded.path(), tags, stop, {}, speakerMask);
    if (!r) return files::Result::failure(files::namingDestination(r.message, encoded.path(), to));
    return encoded.commit();
}

}  // namespace

std::string saveDialogFilter(const std::string& own, encode::Format ownFormat) {
    std::string filter = own;
    for (const encode::FormatInfo& row : encode::formatTable()) {
        if (row.format == ownFormat || !savesIn(row.format)) continue;
        const std::string pattern = std::string("*") + row.extension;
        filter += "|" + std::string(row.name) + " (" + pattern + ")|" + pattern;
    }
    return filter;
}

std::optional<encode::Format> savedFormatOf(const std::string& name) {
    const std::optional<encode::Format> format = encode::formatOfName(name);
    if (format && savesIn(*format)) return format;
    return std::nullopt;
}

ProcessPanel::ProcessPanel(player::Session& session, const ProcessWidgets& widgets,
                           ProcessHooks hooks)
    : s_(session), w_(widgets), hooks_(std::move(hooks)) {}

ProcessPanel::~ProcessPanel() = default;

void ProcessPanel::btnConvert_Click() {
    hooks_.setToolsEnabled(false);
    w_.btnConvert->setEnabled(false);
    s_.following = false;

    if (!hooks_.restartEngine()) {
        hooks_.setToolsEnabled(true);
        w_.btnConvert->setEnabled(true);
        return;
    }

    const RenderSettings settings = hooks_.settings();
    const std::string output = s_.workFile();
    if (files::FileExists(output)) {
        std::error_code ignored;
        std::filesystem::remove(files::pathFromUtf8(output), ignored);
    }
    render_ = std::make_unique<RenderPipeline>(renderMaxDataBytes_);
    if (!render_->open(s_.CmdFileName, output, settings)) {
        // Nothing rendered: back to where the user was before "Process".
        const std::string why = render_->error();
        render_.reset();
        s_.PlayChannel = 0;
        hooks_.setToolsEnabled(true);
        w_.btnConvert->setEnabled(true);
        platform::message(why, player::kTitle, platform::Icon::Exclamation);
        return;
    }
    // The render's channel becomes the play channel once the render has ended: meanwhile the
    // player's panels, which ask the play channel for its place and ratio, would wait for the
    // render's blocks (and the player's controls must not reach the render).
    s_.PlayChannel = 0;
    // The controls change the render from the next block on while it runs.
    RenderPipeline* running = render_.get();
    s_.renderChain = [running](const effects::Chain& chain) { running->setChain(chain); };
    hooks_.started(settings);

    w_.Pbregg->setVisible(true);
    w_.Pbregg->setMaximum(
        std::max(1, static_cast<int>(std::ceil(render_->length() / kProgressUnit))));
    w_.Pbregg->setValue(0);
    w_.cmdCancelProcess->setVisible(true);
    cancelled_ = false;
    rendering = true;

    w_.btnLoadFile->setEnabled(false);
    const RenderPipeline::Step ended = runRender();
    s_.renderChain = nullptr;
    if (hooks_.ended) hooks_.ended();
    if (hooks_.closing()) return;  // closed meanwhile: EndProcess has finished the file
    w_.cmdCancelProcess->setVisible(false);
    if (cancelled_ || closeWhenSaveReturns_) {
        // Nothing of the render stays: no work file, no "Done!", no save.
        rendering = false;
        render_->finish();
        render_.reset();
        BASS_Free();
        s_.PlayChannel = 0;
        std::error_code ignored;
        std::filesystem::remove(files::pathFromUtf8(s_.workFile()), ignored);
        renderPosition = 0;
        w_.Pbregg->setValue(0);
        w_.Pbregg->setVisible(false);
        w_.lblPos->setText(" 00:00 / 00:00");
        w_.btnLoadFile->setEnabled(true);
        w_.btnConvert->setEnabled(true);
        hooks_.setToolsEnabled(true);
        if (closeWhenSaveReturns_) hooks_.closeNow();  // the window was closed meanwhile
        return;
    }
    s_.PlayChannel = render_->tempoChannel();
    showProgress();
    const std::string stoppedBecause =
        ended == RenderPipeline::Step::Stopped ? render_->error() : std::string();
    // Cut at the WAV size limit: tags would take the saved WAV past it.
    cutAtLimit_ = ended == RenderPipeline::Step::Stopped;
    finished = true;
    rendering = false;
    w_.btnLoadFile->setEnabled(true);
    w_.btnConvert->setText(Text::tr("Process"));
    if (!stoppedBecause.empty())
        platform::message(stoppedBecause, player::kTitle, platform::Icon::Exclamation);
    said_ = stoppedBecause;
    EndProcess();
    said_.clear();
    renderPosition = 0;
    BASS_ChannelSetPosition(s_.PlayChannel, 0);
    hooks_.setToolsEnabled(true);
}

RenderPipeline::Step ProcessPanel::runRender() {
    QEventLoop loop;
    QTimer progress;
    progress.setInterval(kProgressMs);
    QObject::connect(&progress, &QTimer::timeout, [this] { showProgress(); });
    renderThread_.start(*render_, [&loop] {
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    progress.start();
    loop.exec();
    // The program's end quits every loop at once: the render stops after its block.
    renderThread_.stop();
    return renderThread_.join();
}

void ProcessPanel::showProgress() {
    renderPosition = render_->position();
    w_.lblPos->setText(Text::tr("Pos: ") + QString::number(renderPosition));
    const int progress = static_cast<int>(std::nearbyint(renderPosition / kProgressUnit));
    w_.Pbregg->setValue(std::min(progress, w_.Pbregg->maximum()));
}

void ProcessPanel::cmdCancelProcess_Click() {
    if (!rendering) return;
    cancelled_ = true;
    renderThread_.stop();
}

void ProcessPanel::EndProcess() {
    bool closed = true;
    std::string why, note;
    if (render_) {
        speakerMask_ = render_->speakerMask();
        closed = render_->finish();
        why = render_->error();
        note = render_->note();
    }
    rendering = false;
    if (!finished) return;
    finished = false;
    if (!closed) {
        // The header could not be completed (or a write failed): the file is not a valid result
        // to save, and goes; said once, when the render's stop has said it already.
        if (why != said_) platform::message(why, player::kTitle, platform::Icon::Exclamation);
        std::error_code ignored;
        std::filesystem::remove(files::pathFromUtf8(s_.workFile()), ignored);
        w_.btnConvert->setEnabled(true);  // nothing was saved: Process can be tried again
        w_.Pbregg->setValue(0);
        w_.Pbregg->setVisible(false);
        w_.lblPos->setText(" 00:00 / 00:00");
        return;
    }
    if (note.empty()) {
        platform::message(Text::tr("Done!").toStdString(), player::kTitle);
    } else {
        // A setting that did not apply to this file: say so with the result.
        note[0] = char(std::toupper(static_cast<unsigned char>(note[0])));
        platform::message(Text::tr("Done!").toStdString() + "\n\n" + note + ".", player::kTitle);
    }
    w_.Pbregg->setValue(0);
    w_.Pbregg->setVisible(false);
    w_.lblPos->setText(" 00:00 / 00:00");
    if (hooks_.clearBpm) hooks_.clearBpm();
    if (mp3::SavesAsMp3(s_.CmdFileName))
        SaveAsMp3();
    else
        SaveWave();
}

void ProcessPanel::SaveWave() {
    platform::FileDialog dialog;
    dialog.title = Text::tr("Save WAVE File As").toStdString();
    dialog.filter = saveDialogFilter(Text::tr("File Wave (*.wav)").toStdString() + "|*.wav",
                                     encode::Format::Wav);
    dialog.folderKey = "wav";  // remembered as before the other formats were offered

    dialog.flags = platform::kDialogOverwritePrompt;
    dialog.initialName = "";
    const std::optional<std::string> chosen = platform::Platform::instance().saveFile(dialog);
    platform::Platform& desk = platform::Platform::instance();
    if (!chosen) {
        platform::message(Text::tr("Annullato!").toStdString(), player::kTitle);
        desk.setBusy(false);
        hooks_.setToolsEnabled(true);
        return;
    }
    // A name ending in another format's extension is saved in that format; any other as WAV.
    saveRenderAs(*chosen, savedFormatOf(*chosen).value_or(encode::Format::Wav));
}

void ProcessPanel::saveRenderAs(const std::string& to, encode::Format format) {
    platform::Platform& desk = platform::Platform::instance();
    BASS_Free();
    render_.reset();
    if (format == encode::Format::Mp3) {
        SourceFileName = s_.CmdFileName;
        enableDuringSave(false);
        encodeMp3To(to);
        return;
    }
    desk.setBusy(true);
    enableDuringSave(false);
    stopEncoding_ = false;
    files::CopyResult copied;
    runSaveStep([&, work = s_.workFile(), source = s_.CmdFileName, dest = to, format,
                 cutAtLimit = cutAtLimit_, mask = speakerMask_] {
        // The source's title, artist and album go with the result (a WAV file that cannot be
        // tagged is still saved whole).
        const encode::Tags tags = encode::readTags(source);
        if (format == encode::Format::Wav) {
            if (!cutAtLimit) encode::tagWav(work, tags);
            copied = files::copyFileSafely(work, dest);
        } else {
            copied = encodeThroughTemporary(work, format, dest, tags, &stopEncoding_, mask);
        }
    });
    desk.setBusy(false);
    enableDuringSave(true);
    if (closeWhenSaveReturns_ && stopEncoding_ && format != encode::Format::Wav) {
        // The encoding stopped for the close: nothing to say, the user's file is as it was.
        hooks_.closeNow();
        return;
    }
    if (!copied.ok) platform::message(copied.message, player::kTitle, platform::Icon::Exclamation);
    if (closeWhenSaveReturns_) {
        hooks_.closeNow();
        return;
    }
    if (!copied.ok) return;
    // The user's file holds it now: the work file is not kept until the next load.
    // (Unless the user chose the work file itself.)
    const auto work = files::pathFromUtf8(s_.workFile());
    std::error_code ec;
    if (!std::filesystem::equivalent(work, files::pathFromUtf8(to), ec) && !ec)
        std::filesystem::remove(work, ec);
}

}  // namespace render

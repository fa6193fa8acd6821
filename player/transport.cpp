// Loading and transport: choosing the file, building and playing the tempo channel, Stop, the
// position slider with its time text, and the volume slider.
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "app/frmWriteWave.h"
#include "app/widgets.h"
#include "platform/platform.h"

namespace {

// Why the engine could not open a file, in words.
std::string openFailureReason(int code) {
    switch (code) {
        case BASS_ERROR_FILEOPEN:
            return "the file cannot be opened (it is missing, or you may not read it)";
        case BASS_ERROR_FORMAT:
        case BASS_ERROR_FILEFORM:
            return "it is not an MP3 or WAV file the program can decode (unknown or damaged "
                   "format)";
        case BASS_ERROR_MEM:
            return "there is not enough memory";
        default:
            return "the audio engine reported error code " + std::to_string(code);
    }
}

// Minutes and seconds of whole seconds, each at least two digits ("01:05", "100:00").
QString minutesSeconds(float seconds) {
    const long whole = static_cast<long>(seconds);  // the fraction is dropped
    return QString("%1:%2").arg(whole / 60, 2, 10, QChar('0')).arg(whole % 60, 2, 10, QChar('0'));
}

}  // namespace

void frmWriteWave::btnLoadFile_Click() {
    // Tempo and pitch back to 0 without touching the engine.
    sldTempo[0]->setValue(0);
    sldTempo[2]->setValue(0);
    lblTempo->setText("0");
    lblPitch->setText("0");

    // Work files of the previous source go (a missing file is no error).
    std::error_code ignored;
    const std::filesystem::path folder = std::filesystem::u8path(programFolder);
    std::filesystem::remove(folder / "newwave.wav", ignored);
    std::filesystem::remove(folder / "newnorm.wav", ignored);

    CEq->setChecked(false);
    CeqDef();
    default_();

    platform::FileDialog dialog;
    dialog.title = "Select a file to Convert";
    dialog.filter = "Mp3 Files (*.mp3)|*.MP3|Wav File (*.wav)|*.WAV";
    dialog.flags = 0x81004;
    if (!CmdFileName.empty())
        dialog.initialDir =
            QFileInfo(QString::fromStdString(CmdFileName)).absolutePath().toStdString();
    const std::optional<std::string> chosen = platform::Platform::instance().openFile(dialog);
    if (!chosen) return;

    QDir::setCurrent(QString::fromStdString(programFolder));
    CmdFileName = *chosen;
    CmdFileTitle = QFileInfo(QString::fromStdString(CmdFileName)).fileName().toStdString();
    btnLoadFile->setText(QString::fromStdString(CmdFileTitle));
    btnConvert->setEnabled(false);

    BASS_FX_BPM_Free(PlayChannel);
    BASS_FX_BPM_Free(BpmChannel);
    BASS_FX_BPM_BeatFree(PlayChannel);
    following_ = false;

    CmdPlay->setEnabled(true);
    Chkrem->setEnabled(true);
    CmdStop->setEnabled(false);
    default_();
}

void frmWriteWave::CmdPlay_Click() {
    if (!restartEngine()) return;
    setToolsEnabled(false);
    BASS_StreamFree(PlayChannel);  // already gone with the engine; harmless

    const HSTREAM stream = BASS_StreamCreateFile(0, CmdFileName.c_str(), 0, 0, BASS_STREAM_DECODE);
    const HSTREAM tempo =
        stream ? BASS_FX_TempoCreate(stream, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP) : 0;
    if (tempo == 0) {
        // Nothing can sound: say so, and stay where the user was after choosing the file.
        const int code = BASS_ErrorGetCode();
        if (stream) BASS_StreamFree(stream);
        PlayChannel = 0;
        setToolsEnabled(true);
        platform::message("Can't play \"" + CmdFileName + "\":\n" + openFailureReason(code) + ".",
                          kTitle, platform::Icon::Exclamation);
        return;
    }
    PlayChannel = tempo;

    const QWORD length = BASS_ChannelGetLength(PlayChannel);
    const float seconds =
        length == QWORD(-1) ? 0.0f : BASS_ChannelBytes2Seconds(PlayChannel, length);
    sldPosition->setMaximum(seconds > 0 ? static_cast<int>(std::nearbyint(seconds)) : 0);
    sldPosition->setValue(0);

    lblTempo_Click();
    // The new channel starts at pitch 0: give it what the pitch slider shows.
    sldTempo_Scroll(2);
    sldVolume_Scroll();
    ShowPlayPosition();
    BASS_ChannelPlay(PlayChannel, 0);
    chkBPMCallback_Click();
    chkBeat_Click();
    DetectBPM(true, 0, 30);

    btnLoadFile->setEnabled(false);
    CmdPlay->setEnabled(false);
    CmdStop->setEnabled(true);
    following_ = true;
    if (Chkrem->isChecked()) Chkrem_Click();
}

void frmWriteWave::CmdStop_Click() {
    following_ = false;
    btnConvert->setEnabled(true);
    btnLoadFile->setEnabled(true);
    setToolsEnabled(true);
    CmdStop->setEnabled(false);
    BASS_StreamFree(PlayChannel);
    BASS_MusicFree(PlayChannel);
}

void frmWriteWave::sldPosition_Change() {
    if (BASS_ChannelIsActive(PlayChannel) == BASS_ACTIVE_STOPPED) return;
    const float at = static_cast<float>(sldPosition->value());
    BASS_ChannelSetPosition(PlayChannel, BASS_ChannelSeconds2Bytes(PlayChannel, at));
    BASS_FX_BPM_CallbackReset(PlayChannel);
    DetectBPM(false, at - period(), at);
}

void frmWriteWave::ShowPlayPosition() {
    const float ratio = BASS_FX_TempoGetRateRatio(PlayChannel);
    if (ratio == 0.0f) return;
    const float total = static_cast<float>(sldPosition->maximum()) / ratio;
    const float position = static_cast<float>(sldPosition->value()) / ratio;
    const QString text = minutesSeconds(position) + " / " + minutesSeconds(total);
    sldPosition->setToolTip(text);
    lblPos->setText("Playing position: " + text);
}

void frmWriteWave::followPlayback() {
    if (!following_ || sldPosition->isSliderDown()) return;
    if (BASS_ChannelIsActive(PlayChannel) != BASS_ACTIVE_PLAYING) return;
    const QWORD bytes = BASS_ChannelGetPosition(PlayChannel);
    if (bytes == QWORD(-1)) return;
    const float seconds = BASS_ChannelBytes2Seconds(PlayChannel, bytes);
    if (!(seconds >= 0)) return;
    const int value = std::min(static_cast<int>(seconds), sldPosition->maximum());
    {
        // A display update, not a user's move: the change handler would seek and re-detect.
        const QSignalBlocker quiet(sldPosition);
        sldPosition->setValue(value);
    }
    ShowPlayPosition();
}

void frmWriteWave::sldVolume_Scroll() {
    const int volume = 100 - sldVolume->value();
    BASS_ChannelSetAttributes(PlayChannel, -1, volume, -101);
    sldVolume->setToolTip(QString::number(volume) + "%");
}

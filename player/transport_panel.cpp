#include "player/transport_panel.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "engine/engine_ext.h"
#include "files/open_error.h"
#include "platform/platform.h"
#include "platform/widgets.h"
#include "platform/window_thread.h"
#include "player/bpm_panel.h"
#include "player/tempo_pitch_panel.h"
#include "player/waveform/waveform_view.h"

namespace player {

namespace {

// Minutes and seconds of whole seconds, each at least two digits ("01:05", "100:00").
QString minutesSeconds(float seconds) {
    const long whole = static_cast<long>(seconds);  // the fraction is dropped
    return QString("%1:%2").arg(whole / 60, 2, 10, QChar('0')).arg(whole % 60, 2, 10, QChar('0'));
}

// The Load button shows at most this many average characters of a file name.
constexpr int kCaptionChars = 28;

// A loop shorter than this is taken for a slip of the hand and not set.
constexpr double kShortestLoopSeconds = 0.05;
// A play head this close to the loop's end counts as at it (the end went through float seconds).
constexpr double kLoopEndSlack = 0.01;

}  // namespace

const std::vector<std::string>& audioExtensions() {
    static const std::vector<std::string> extensions = {"mp3",  "wav", "flac", "ogg",  "oga",
                                                        "opus", "aif", "aiff", "aifc", "au",
                                                        "snd",  "caf", "w64"};
    return extensions;
}

bool isAudioFileName(const std::string& path) {
    const std::string suffix =
        QFileInfo(QString::fromStdString(path)).suffix().toLower().toStdString();
    const auto& all = audioExtensions();
    return std::find(all.begin(), all.end(), suffix) != all.end();
}

std::string loadDialogFilter() {
    std::string patterns;
    for (const std::string& e : audioExtensions())
        patterns += (patterns.empty() ? "*." : ";*.") + e;
    return QCoreApplication::translate("frmWriteWave", "Audio Files").toStdString() + "|" +
           patterns + "|" +
           QCoreApplication::translate("frmWriteWave", "Mp3 Files (*.mp3)").toStdString() +
           "|*.MP3|" +
           QCoreApplication::translate("frmWriteWave", "Wav File (*.wav)").toStdString() + "|*.WAV";
}

TransportPanel::TransportPanel(Session& session, const TransportWidgets& widgets,
                               TempoPitchPanel& tempoPitch, BpmPanel& bpm, TransportHooks hooks)
    : s_(session), w_(widgets), tempoPitch_(tempoPitch), bpm_(bpm), hooks_(std::move(hooks)) {}

void TransportPanel::prepareLoad() {
    // Tempo and pitch back to 0 without touching the engine.
    tempoPitch_.resetSliders();

    // Work files of the previous source go.
    s_.removeWorkFiles();

    hooks_.resetEffects();
}

void TransportPanel::btnLoadFile_Click() {
    prepareLoad();
    platform::FileDialog dialog;
    dialog.title =
        QCoreApplication::translate("frmWriteWave", "Select a file to Convert").toStdString();
    dialog.filter = loadDialogFilter();
    dialog.flags =
        platform::kDialogExplorer | platform::kDialogFileMustExist | platform::kDialogHideReadOnly;
    if (!s_.CmdFileName.empty())
        dialog.initialDir =
            QFileInfo(QString::fromStdString(s_.CmdFileName)).absolutePath().toStdString();
    const std::optional<std::string> chosen = platform::Platform::instance().openFile(dialog);
    if (!chosen) return;
    fileChosen(*chosen);
}

void TransportPanel::loadFile(const std::string& path) {
    prepareLoad();
    fileChosen(path);
}

void TransportPanel::fileChosen(const std::string& path) {
    // A look at the header only (an MP3's full scan happens once, on the waveform's or the key's
    // thread): the channel count decides what the vocal remover may do, and a file the player
    // cannot play (more channels or a higher rate than it takes, not audio) is refused now
    // rather than at Play.
    int code = BASS_OK;
    const std::unique_ptr<engine::Source> probe =
        engine::openFileSource(path, &code, engine::FileOpen::HeaderOnly);
    if (!probe) {
        platform::message(files::cannotOpenMessage(path, code), kTitle,
                          platform::Icon::Exclamation);
        return;
    }
    s_.CmdFileName = path;
    s_.CmdFileTitle =
        QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).fileName().toStdString();
    s_.fileChannels = probe->channels();
    // A long name is shortened in the middle so that the window keeps its size; the tip holds the
    // whole path.
    // The name as it is: a '&' is no mnemonic.
    const QFontMetrics metrics = w_.btnLoadFile->fontMetrics();
    const QString shown =
        metrics.elidedText(QString::fromStdString(s_.CmdFileTitle), Qt::ElideMiddle,
                           metrics.averageCharWidth() * kCaptionChars);
    w_.btnLoadFile->setText(QString(shown).replace('&', "&&"));
    w_.btnLoadFile->setAccessibleName(shown);
    w_.btnLoadFile->setToolTip(QFile::decodeName(QByteArray::fromStdString(path)) + " (" +
                               kLoadKey.toString(QKeySequence::NativeText) + ")");
    w_.btnConvert->setEnabled(false);

    bpm_.releaseChannels();
    bpm_.fileLoaded(path);
    s_.following = false;
    forgetLoop();
    cued_ = -1.0;
    w_.wavOverview->loadFile(path);
    placeBeforePlay(0);  // the last file's place goes with it
    w_.sldPosition->setToolTip({});
    w_.lblPos->setText(" 00:00 / 00:00");

    w_.CmdPlay->setEnabled(true);
    w_.CmdStop->setEnabled(false);
    w_.CmdPause->setEnabled(false);
    w_.CmdPause->setChecked(false);
    hooks_.fileLoaded();
}

void TransportPanel::CmdPlay_Click() {
    // Play disabled hands the focus to the next control, which would take the next Space (a tick
    // of "Loop only", a letter in a loop's name): from the keyboard, Stop takes it instead.
    const bool keyed = w_.CmdPlay->hasFocus();
    if (!hooks_.restartEngine()) return;
    hooks_.setToolsEnabled(false);
    BASS_StreamFree(s_.PlayChannel);  // already gone with the engine; harmless

    // The open may read the whole file (a length found only by reading it through, as in a FLAC
    // written to a pipe, or MP3 audio in a WAV): off the window thread, which answers meanwhile.
    // No second Play or Load until it is done.
    w_.CmdPlay->setEnabled(false);
    w_.btnLoadFile->setEnabled(false);
    // The BPM detection's own stream of the file opens there too.
    HSTREAM stream = 0;
    DWORD bpmStream = 0;
    int code = BASS_OK;
    platform::waitOffWindowThread([&stream, &bpmStream, &code, path = s_.CmdFileName] {
        stream = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
        code = BASS_ErrorGetCode();  // the engine's error is the calling thread's
        if (stream) bpmStream = BpmPanel::openBpmChannel(path);
    });
    if (hooks_.closing && hooks_.closing()) {  // the window went meanwhile
        if (stream) BASS_StreamFree(stream);
        if (bpmStream) BASS_StreamFree(bpmStream);
        return;
    }
    const HSTREAM tempo =
        stream ? BASS_FX_TempoCreate(stream, BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP) : 0;
    if (tempo == 0) {
        // Nothing can sound: say so, and stay where the user was after choosing the file.
        if (stream) {
            code = BASS_ErrorGetCode();
            BASS_StreamFree(stream);
        }
        if (bpmStream) BASS_StreamFree(bpmStream);
        s_.PlayChannel = 0;
        w_.CmdPlay->setEnabled(true);
        w_.btnLoadFile->setEnabled(true);
        if (keyed) w_.CmdPlay->setFocus(Qt::OtherFocusReason);
        hooks_.setToolsEnabled(true);
        platform::message(files::cannotOpenMessage(s_.CmdFileName, code), kTitle,
                          platform::Icon::Exclamation);
        return;
    }
    s_.PlayChannel = tempo;
    // The chain the controls show goes on the new channels: every effect switched on since Load,
    // not only the remover.
    s_.playEffects.bind(stream, tempo);
    s_.applyChain();

    const double seconds = lengthSeconds();
    w_.sldPosition->setMaximum(seconds > 0 ? static_cast<int>(std::nearbyint(seconds)) : 0);
    // A loop dragged over the waveform before Play becomes the channel's loop, played from A.
    const bool dragged = markA_ && markB_;
    const double draggedA = loopA_, draggedB = loopB_;
    forgetLoop();  // the new channel has none yet
    bpm_.restartBeats();

    tempoPitch_.lblTempo_Click();
    // The new channel starts at pitch 0: give it what the pitch slider shows.
    tempoPitch_.sldTempo_Scroll(2);
    sldVolume_Scroll();
    // The loop and the place playback starts at go on the channel before the count-in is armed
    // and the first blocks are decoded: a seek after them would drop the count-in's first clicks.
    double start = 0.0;
    if (dragged) {
        applyLoop(draggedA, std::min(draggedB, lengthSeconds()));
        if (markA_ && markB_) start = draggedA;
    }
    if (cued_ >= 0) start = std::min(cued_, lengthSeconds());  // a marker chosen
    cued_ = -1.0;
    placeBeforePlay(start);
    ShowPlayPosition();
    playStart_ = start;
    // The effects that are on go on the channel before it sounds (the first buffer included).
    hooks_.playStarted();
    BASS_ChannelPlay(s_.PlayChannel, 0);
    bpm_.chkBPMCallback_Click();
    bpm_.chkBeat_Click();
    s_.BpmChannel = bpmStream;  // as DetectBPM(true, ...) would open it, but off this thread
    bpm_.DetectBPM(false, 0, 30);
    // As a seek there would: the BPM of the passage before the start.
    if (start > 0)
        bpm_.DetectBPM(false, static_cast<float>(start) - bpm_.period(), static_cast<float>(start));

    w_.btnLoadFile->setEnabled(false);
    w_.CmdPlay->setEnabled(false);
    w_.CmdStop->setEnabled(true);
    if (keyed) w_.CmdStop->setFocus(Qt::OtherFocusReason);
    w_.CmdPause->setEnabled(true);
    w_.CmdPause->setChecked(false);
    for (QPushButton* b : {w_.cmdLoopA, w_.cmdLoopB, w_.cmdLoopClear}) b->setEnabled(true);
    s_.following = true;
}

void TransportPanel::placeBeforePlay(double seconds) {
    if (seconds > 0) {
        BASS_ChannelSetPosition(s_.PlayChannel, bytesAt(seconds));
        bpm_.showChordAt(seconds);
    }
    {
        const QSignalBlocker quiet(w_.sldPosition);
        w_.sldPosition->setValue(static_cast<int>(seconds));
    }
    w_.wavOverview->setPosition(seconds);
}

void TransportPanel::CmdStop_Click() {
    // From the keyboard the focus goes to Load, not on to Process, where the next Space would
    // start a render.
    const bool keyed = w_.CmdStop->hasFocus();
    if (hooks_.stopping) hooks_.stopping(playSeconds());
    w_.CmdPause->setEnabled(false);
    w_.CmdPause->setChecked(false);
    s_.following = false;
    w_.btnConvert->setEnabled(true);
    w_.btnLoadFile->setEnabled(true);
    hooks_.setToolsEnabled(true);
    w_.CmdStop->setEnabled(false);
    if (keyed) w_.btnLoadFile->setFocus(Qt::OtherFocusReason);
    BASS_StreamFree(s_.PlayChannel);
    BASS_MusicFree(s_.PlayChannel);
    forgetLoop();  // went with the channel
}

void TransportPanel::CmdPause_Click() {
    if (paused()) {
        BASS_ChannelPlay(s_.PlayChannel, 0);  // on from where it was held
    } else if (onOutput() && BASS_ChannelIsActive(s_.PlayChannel) == BASS_ACTIVE_PLAYING) {
        BASS_ChannelPause(s_.PlayChannel);
    }
    w_.CmdPause->setChecked(paused());
}

bool TransportPanel::paused() const {
    return onOutput() && BASS_ChannelIsActive(s_.PlayChannel) == BASS_ACTIVE_PAUSED;
}

void TransportPanel::selectLoop(double a, double b) {
    if (!(a < b)) return;
    if (playing()) {
        applyLoop(a, std::min(b, lengthSeconds()));
        // A loop chosen elsewhere plays from its start.
        if (markA_ && markB_ && (playSeconds() < a || playSeconds() > b)) wavOverview_Seek(a);
        return;
    }
    if (s_.CmdFileName.empty() || b - a < kShortestLoopSeconds) return;
    loopA_ = a;
    loopB_ = b;
    markA_ = markB_ = true;
    keepCueIn(a, b);
    showLoopMarks();
}

void TransportPanel::selectPlace(double seconds) {
    if (!(seconds >= 0)) return;
    if (playing()) {
        wavOverview_Seek(seconds);
        return;
    }
    if (s_.CmdFileName.empty()) return;
    cued_ = seconds;
    w_.wavOverview->setPosition(seconds);
}

void TransportPanel::keepCueIn(double a, double b) {
    if (cued_ >= a && cued_ < b) return;
    // Play starts at the loop's start: the cursor shows it there.
    cued_ = -1.0;
    w_.wavOverview->setPosition(a);
}

bool TransportPanel::playing() const {
    return onOutput() && BASS_ChannelIsActive(s_.PlayChannel) != BASS_ACTIVE_STOPPED;
}

bool TransportPanel::onOutput() const {
    // After Process, PlayChannel is the render's decoding channel, which no player control acts
    // on (during the render it is none).
    BASS_CHANNELINFO info{};
    return s_.PlayChannel && BASS_ChannelGetInfo(s_.PlayChannel, &info) &&
           !(info.flags & BASS_STREAM_DECODE);
}

void TransportPanel::sldPosition_Change() {
    if (!playing()) return;
    // The slider's last second may lie past the end (its maximum is the length rounded).
    seekTo(std::min(static_cast<double>(w_.sldPosition->value()), lengthSeconds()));
    ShowPlayPosition();  // paused, no timer moves the text
}

void TransportPanel::seekTo(double seconds) {
    const float at = static_cast<float>(seconds);
    BASS_ChannelSetPosition(s_.PlayChannel, bytesAt(seconds));
    BASS_FX_BPM_CallbackReset(s_.PlayChannel);
    bpm_.restartBeats();
    bpm_.showChordAt(seconds);
    w_.wavOverview->setPosition(seconds);
    bpm_.DetectBPM(false, at - bpm_.period(), at);
}

void TransportPanel::wavOverview_Seek(double seconds) {
    if (!playing() || !(seconds >= 0)) return;
    seconds = std::min(seconds, lengthSeconds());
    {
        // The slider shows the whole second; the seek goes to the point clicked.
        const QSignalBlocker quiet(w_.sldPosition);
        w_.sldPosition->setValue(static_cast<int>(seconds));
    }
    seekTo(seconds);
    ShowPlayPosition();
}

void TransportPanel::jump(double seconds) {
    const double now = playSeconds();
    if (!playing() || now < 0) return;
    double to = std::max(0.0, now + seconds);
    if (markA_ && markB_ && (to < loopA_ || to >= loopB_) && now >= loopA_ && now < loopB_)
        to = loopA_;
    else if (to >= lengthSeconds())
        return;
    wavOverview_Seek(to);
}

double TransportPanel::lengthSeconds() const {
    const QWORD length = BASS_ChannelGetLength(s_.PlayChannel);
    if (length == QWORD(-1)) return 0.0;
    return std::max(0.0, static_cast<double>(BASS_ChannelBytes2Seconds(s_.PlayChannel, length)));
}

double TransportPanel::playSeconds() const {
    const QWORD bytes = BASS_ChannelGetPosition(s_.PlayChannel);
    if (bytes == QWORD(-1)) return -1;
    const double seconds = BASS_ChannelBytes2Seconds(s_.PlayChannel, bytes);
    return seconds >= 0 ? seconds : -1;
}

QWORD TransportPanel::bytesAt(double seconds) const {
    // The frame nearest the seconds, as a render of a passage ("Loop only") takes it: a loop, and
    // a start or a seek to its first second, begin on the frame that is saved first.
    BASS_CHANNELINFO info{};
    if (!BASS_ChannelGetInfo(s_.PlayChannel, &info) || info.freq == 0)
        return BASS_ChannelSeconds2Bytes(s_.PlayChannel, static_cast<float>(seconds));
    const QWORD frameBytes = 2 * QWORD(std::max<DWORD>(1, info.chans));
    return QWORD(std::llround(std::max(0.0, seconds) * info.freq)) * frameBytes;
}

void TransportPanel::applyLoop(double a, double b) {
    if (b - a < kShortestLoopSeconds) return;
    const QWORD from = bytesAt(a);
    QWORD to = bytesAt(b);
    // A loop to the end ends at the last frame.
    const QWORD length = BASS_ChannelGetLength(s_.PlayChannel);
    if (length != QWORD(-1) &&
        (to > length || b >= BASS_ChannelBytes2Seconds(s_.PlayChannel, length)))
        to = length;
    if (!engine::setLoop(s_.PlayChannel, from, to)) return;  // beyond the end: nothing changes
    loopA_ = a;
    loopB_ = b;
    markA_ = markB_ = true;
    bpm_.setBeatLoop(a, b);
    showLoopMarks();
    if (hooks_.loopChanged) hooks_.loopChanged(a, b);
    // At or past the end (B marked where the head is): on from the start at once.
    if (playSeconds() + kLoopEndSlack >= b) wavOverview_Seek(a);
}

void TransportPanel::forgetLoop() {
    loopA_ = loopB_ = 0.0;
    markA_ = markB_ = false;
    bpm_.setBeatLoop(0, 0);
    showLoopMarks();
    if (!s_.following)
        for (QPushButton* b : {w_.cmdLoopA, w_.cmdLoopB, w_.cmdLoopClear}) b->setEnabled(false);
}

void TransportPanel::showLoopMarks() {
    w_.cmdLoopA->setChecked(markA_);
    w_.cmdLoopB->setChecked(markB_);
    if (markA_ && markB_)
        w_.wavOverview->setLoop(loopA_, loopB_);
    else
        w_.wavOverview->clearLoop();
}

void TransportPanel::wavOverview_LoopSelected(double a, double b) {
    if (a > b) std::swap(a, b);
    a = std::max(a, 0.0);
    if (playing()) {
        applyLoop(a, std::min(b, lengthSeconds()));
        showLoopMarks();  // a drag refused (too short) shows the loop that plays again
        return;
    }
    // Before Play: the marks wait for the channel Play builds (CmdPlay_Click sets them on it).
    if (s_.CmdFileName.empty() || b - a < kShortestLoopSeconds) {
        showLoopMarks();
        return;
    }
    loopA_ = a;
    loopB_ = b;
    markA_ = markB_ = true;
    keepCueIn(a, b);
    showLoopMarks();
    if (hooks_.loopChanged) hooks_.loopChanged(a, b);
}

void TransportPanel::cmdLoopA_Click() {
    const double at = playSeconds();
    if (!playing() || at < 0) {
        showLoopMarks();  // the click changes nothing
        return;
    }
    if (markB_ && at < loopB_) {
        applyLoop(at, loopB_);
        showLoopMarks();
        return;
    }
    // A new start after the end: the old loop goes, B is to be marked again.
    if (markA_ && markB_) {
        engine::clearLoop(s_.PlayChannel);
        if (hooks_.loopCleared) hooks_.loopCleared();
    }
    bpm_.setBeatLoop(0, 0);
    loopA_ = at;
    markA_ = true;
    markB_ = false;
    showLoopMarks();
}

void TransportPanel::cmdLoopB_Click() {
    const double at = playSeconds();
    if (!playing() || at < 0) {
        showLoopMarks();
        return;
    }
    const double a = markA_ ? loopA_ : 0.0;  // B alone loops from the start
    if (at > a)
        applyLoop(a, at);
    else
        applyLoop(at, a);  // marked before A: the passage between them
    showLoopMarks();
}

void TransportPanel::cmdLoopClear_Click() {
    clearLoop();
    if (hooks_.loopCleared) hooks_.loopCleared();
}

void TransportPanel::clearLoop() {
    if (markA_ && markB_) engine::clearLoop(s_.PlayChannel);
    forgetLoop();
}

void TransportPanel::ShowPlayPosition() {
    const float ratio = BASS_FX_TempoGetRateRatio(s_.PlayChannel);
    if (ratio == 0.0f) return;
    const float total = static_cast<float>(w_.sldPosition->maximum()) / ratio;
    const float position = static_cast<float>(w_.sldPosition->value()) / ratio;
    const QString text = minutesSeconds(position) + " / " + minutesSeconds(total);
    w_.sldPosition->setToolTip(text);
    w_.lblPos->setText(QCoreApplication::translate("frmWriteWave", "Playing position: ") + text);
}

void TransportPanel::followPlayback() {
    if (!s_.following || w_.sldPosition->isSliderDown()) return;
    if (BASS_ChannelIsActive(s_.PlayChannel) != BASS_ACTIVE_PLAYING) return;
    const QWORD bytes = BASS_ChannelGetPosition(s_.PlayChannel);
    if (bytes == QWORD(-1)) return;
    const float seconds = BASS_ChannelBytes2Seconds(s_.PlayChannel, bytes);
    if (!(seconds >= 0)) return;
    w_.wavOverview->setPosition(seconds);
    bpm_.showChordAt(seconds);
    const int value = std::min(static_cast<int>(seconds), w_.sldPosition->maximum());
    {
        // A display update, not a user's move: the change handler would seek and re-detect.
        const QSignalBlocker quiet(w_.sldPosition);
        w_.sldPosition->setValue(value);
    }
    ShowPlayPosition();
}

void TransportPanel::sldVolume_Scroll() {
    const int volume = 100 - w_.sldVolume->value();
    BASS_ChannelSetAttributes(s_.PlayChannel, -1, volume, -101);
    w_.sldVolume->setToolTip(QString::number(volume) + "%");
}

}  // namespace player

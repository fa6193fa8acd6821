#include "player/bpm_panel.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "engine/bpm/bpm_detect.h"
#include "platform/window_thread.h"
#include "player/bpm_display.h"

namespace player {

namespace {

// The panel the engine procedures report to; read and written on the window thread only.
BpmPanel* g_live = nullptr;

}  // namespace

BpmPanel::BpmPanel(Session& session, const BpmWidgets& widgets) : s_(session), w_(widgets) {
    g_live = this;
    tapClock = [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
}

BpmPanel::~BpmPanel() {
    if (g_live == this) g_live = nullptr;
}

float BpmPanel::period() const {
    return static_cast<float>(leadingNumber(w_.txtPeriod->text().toStdString()));
}

float BpmPanel::CurrentBPM(DWORD handle) {
    const float ratio = BASS_FX_TempoGetRateRatio(s_.PlayChannel);
    const float percent = ratio * 100.0f;
    return BASS_FX_BPM_Translate(handle, percent, BASS_FX_BPM_TRAN_PERCENT2);
}

DWORD BpmPanel::openBpmChannel(const std::string& file) {
    const DWORD chan = BASS_StreamCreateFile(0, file.c_str(), 0, 0, BASS_STREAM_DECODE);
    if (chan) return chan;
    return BASS_MusicLoad(0, file.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_MUSIC_PRESCAN, 0);
}

void BpmPanel::DetectBPM(bool reopen, float startSec, float endSec) {
    if (reopen) s_.BpmChannel = openBpmChannel(s_.CmdFileName);
    BASS_FX_BPM_DecodeGet(s_.BpmChannel, startSec, endSec, 0,
                          BASS_FX_BPM_BKGRND | BASS_FX_BPM_MULT2 | BASS_FX_FREESOURCE,
                          &BpmPanel::BpmProgressProc);
    // Under way on the engine's thread: its progress of 100 shows the BPM (BpmProgressProc).
    if (BASS_ErrorGetCode() == BASS_OK)
        detecting_ = true;
    else if (!detecting_)  // no window to read, and no detection under way to wait for
        showBpm(CurrentBPM(s_.BpmChannel));
}

void BpmPanel::bpmDetected(DWORD chan) {
    // The 100 of a detection that a newer one of the channel replaced: the newer one's comes.
    if (engine::bpm::detecting(chan)) return;
    detecting_ = false;
    showBpm(CurrentBPM(s_.BpmChannel));
}

void BpmPanel::channelsGone() {
    s_.BpmChannel = 0;
    detecting_ = false;
}

void BpmPanel::chkBPMCallback_Click() {
    if (w_.chkBPMCallback->isChecked())
        BASS_FX_BPM_CallbackSet(s_.PlayChannel, &BpmPanel::BpmProc, period(), 0, BASS_FX_BPM_MULT2,
                                nullptr);
    else
        BASS_FX_BPM_Free(s_.PlayChannel);
}

void BpmPanel::chkBeat_Click() {
    if (w_.chkBeat->isChecked())
        BASS_FX_BPM_BeatCallbackSet(s_.PlayChannel, &BpmPanel::BeatProc, nullptr);
    else
        BASS_FX_BPM_BeatFree(s_.PlayChannel);
}

void BpmPanel::showCurrentBpm() {
    // The periodic BPM once its first period has ended; until then the decode-time one.
    float bpm = w_.chkBPMCallback->isChecked() ? CurrentBPM(s_.PlayChannel) : 0.0f;
    if (!(bpm > 0.0f)) bpm = CurrentBPM(s_.BpmChannel);
    if (!(bpm > 0.0f) && detecting_) return;  // the label waits for the BPM under way
    showBpm(bpm);
}

void BpmPanel::showBpm(float bpm) {
    lastBpm_ = bpm;
    if (tapPending_ && bpm > 0.0f) {  // tapped before there was a BPM to correct
        tapPending_ = false;
        setOctave(octaveToward(bpm, tapped_), false);
        if (octaveChanged) octaveChanged(octave_);
    }
    w_.lblBPM->setText(QCoreApplication::translate("frmWriteWave", "BPM: ") +
                       twoDecimals(bpm * std::ldexp(1.0f, octave_)));
}

void BpmPanel::setOctave(int octave, bool show) {
    octave_ = std::clamp(octave, -2, 2);
    w_.cmdBpmHalf->setEnabled(octave_ > -2);
    w_.cmdBpmDouble->setEnabled(octave_ < 2);
    QStringList tip;
    if (octave_ != 0)
        tip << QCoreApplication::translate("frmWriteWave", "The detected BPM times %1")
                   .arg(double(std::ldexp(1.0f, octave_)));
    if (tapped_ > 0.0)
        tip << QCoreApplication::translate("frmWriteWave", "Tapped: %1 BPM")
                   .arg(twoDecimals(tapped_));
    w_.lblBPM->setToolTip(tip.join('\n'));
    if (show) showBpm(lastBpm_);
}

void BpmPanel::cmdBpmHalf_Click() {
    setOctave(octave_ - 1, true);
    if (octaveChanged) octaveChanged(octave_);
}

void BpmPanel::cmdBpmDouble_Click() {
    setOctave(octave_ + 1, true);
    if (octaveChanged) octaveChanged(octave_);
}

void BpmPanel::cmdBpmTap_Click() {
    const double tapped = taps_.tap(tapClock());
    if (!(tapped > 0.0)) return;
    tapped_ = tapped;
    if (!(lastBpm_ > 0.0f)) {
        tapPending_ = true;
        setOctave(octave_, false);
        return;
    }
    const int octave = octaveToward(lastBpm_, tapped);
    setOctave(octave, true);
    if (octaveChanged) octaveChanged(octave_);
}

void BpmPanel::restoreOctave(int octave) {
    setOctave(octave, lastBpm_ > 0.0f);
}

void BpmPanel::clearBpm() {
    lastBpm_ = 0.0f;
    detecting_ = false;
    w_.lblBPM->setText(QCoreApplication::translate("frmWriteWave", "BPM: 0.00"));
}

void BpmPanel::releaseChannels() {
    BASS_FX_BPM_Free(s_.PlayChannel);
    BASS_FX_BPM_Free(s_.BpmChannel);  // with its detection, and the stream it reads
    BASS_FX_BPM_BeatFree(s_.PlayChannel);
    channelsGone();
}

void BpmPanel::fileLoaded(const std::string& path) {
    lastBpm_ = 0.0f;
    taps_.restart();
    tapped_ = 0.0;
    tapPending_ = false;
    setOctave(0, false);  // the label keeps what it shows until the new file's BPM
    beats_.restart();
    beats_.setLoop(0, 0);
    w_.lblBeat->setText(QCoreApplication::translate("frmWriteWave", "Beat pos: ") + twoDecimals(0));
    w_.pbProcess->setValue(0);  // the last file's detection
    key_.reset();
    chords_.clear();
    chordSeconds_ = 0.0;  // a file is loaded at its start
    keyEstimating_ = true;
    showKey();
    showChord();
    chordsOrPitchChanged();
    keyWorker_.start(path, [this](std::optional<Harmony> harmony) {
        key_ = harmony ? harmony->key : std::nullopt;
        if (harmony) chords_ = std::move(harmony->chords);
        keyEstimating_ = false;
        showKey();
        showChord();
        chordsOrPitchChanged();
    });
}

void BpmPanel::setKeyPitch(double semitones) {
    const bool heardMoved = std::lround(semitones) != std::lround(keyPitch_);
    keyPitch_ = semitones;
    showKey();
    showChord();
    if (heardMoved) chordsOrPitchChanged();
}

void BpmPanel::showChordAt(double seconds) {
    chordSeconds_ = seconds;
    showChord();
}

void BpmPanel::showKey() {
    // No file, no key to be unknown.
    w_.lblKey->setText(s_.CmdFileName.empty() && !keyEstimating_
                           ? QCoreApplication::translate("frmWriteWave", "Key:")
                           : keyText(keyEstimating_, key_, keyPitch_));
}

void BpmPanel::showChord() {
    const QString text = chordText(keyEstimating_, chords_, chordSeconds_, keyPitch_, key_);
    if (w_.lblChord->text() != text) w_.lblChord->setText(text);
}

void BpmPanel::chordsOrPitchChanged() {
    const int heard = static_cast<int>(std::lround(keyPitch_));
    if (chordsChanged) chordsChanged(chords_, heard, analysis::chords::spellingOf(key_, heard));
}

void BpmPanel::restartBeats() {
    beats_.restart();
}

void BpmPanel::setBeatLoop(double a, double b) {
    beats_.setLoop(a, b);
}

void BpmPanel::showBeat(DWORD chan, float beatpos) {
    if (chan != s_.PlayChannel || !s_.following) return;
    if (!beats_.accept(beatpos)) return;
    w_.lblBeat->setText(QCoreApplication::translate("frmWriteWave", "Beat pos: ") +
                        twoDecimals(beatpos));
}

void BpmPanel::BpmProc(DWORD chan, float, void*) {
    platform::postToWindowThread([chan] {
        BpmPanel* p = g_live;
        if (!p || chan != p->s_.PlayChannel) return;
        p->showBpm(p->CurrentBPM(chan));
    });
}

void BpmPanel::BeatProc(DWORD chan, float beatpos, void*) {
    platform::postToWindowThread([chan, beatpos] {
        if (BpmPanel* p = g_live) p->showBeat(chan, beatpos);
    });
}

void BpmPanel::BpmProgressProc(DWORD chan, float percent) {
    if (!std::isfinite(percent)) return;
    const int value = static_cast<int>(std::nearbyint(std::clamp(percent, 0.0f, 100.0f)));
    platform::postToWindowThread([chan, value] {
        BpmPanel* p = g_live;
        // Only the detection stream of the file playing (not one freed or replaced since).
        if (!p || chan == 0 || chan != p->s_.BpmChannel) return;
        p->w_.pbProcess->setValue(value);
        if (value == 100) p->bpmDetected(chan);
    });
}

}  // namespace player

// BPM and beat display: decode-time detection on BpmChannel, periodic detection and beat
// reporting on PlayChannel, and the procedures the engine calls with their results. The engine
// calls those procedures from its own threads; they only post their change to the window thread.
#include "player/bpm_display.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMetaObject>
#include <QProgressBar>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/frmWriteWave.h"

namespace player {

double leadingNumber(const std::string& text) {
    std::string s;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') s += c;
    size_t i = 0;
    if (s.size() >= 2 && s[0] == '&') {
        const char kind = char(std::toupper(static_cast<unsigned char>(s[1])));
        const int base = kind == 'H' ? 16 : kind == 'O' ? 8 : 0;
        if (base == 0) return 0;
        double v = 0;
        for (i = 2; i < s.size(); ++i) {
            const char c = char(std::toupper(static_cast<unsigned char>(s[i])));
            int d = -1;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            if (d < 0 || d >= base) break;
            v = v * base + d;
        }
        return v;
    }
    std::string num;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) num += s[i++];
    bool digits = false, point = false;
    for (; i < s.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(s[i]))) {
            num += s[i];
            digits = true;
        } else if (s[i] == '.' && !point) {
            num += '.';
            point = true;
        } else {
            break;
        }
    }
    if (!digits) return 0;
    // An exponent counts only when digits follow it.
    if (i < s.size() && std::strchr("eEdD", s[i])) {
        size_t j = i + 1;
        std::string exp = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) exp += s[j++];
        const size_t first = j;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) exp += s[j++];
        if (j > first) num += exp;
    }
    return std::strtod(num.c_str(), nullptr);
}

QString twoDecimals(double value) {
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'f', 2);
}

}  // namespace player

float frmWriteWave::period() const {
    return static_cast<float>(player::leadingNumber(txtPeriod->text().toStdString()));
}

float frmWriteWave::CurrentBPM(DWORD handle) {
    const float ratio = BASS_FX_TempoGetRateRatio(PlayChannel);
    const float percent = ratio * 100.0f;
    return BASS_FX_BPM_Translate(handle, percent, BASS_FX_BPM_TRAN_PERCENT2);
}

void frmWriteWave::DetectBPM(bool reopen, float startSec, float endSec) {
    if (reopen) {
        const char* file = CmdFileName.c_str();
        BpmChannel = BASS_StreamCreateFile(0, file, 0, 0, BASS_STREAM_DECODE);
        if (BpmChannel == 0)
            BpmChannel = BASS_MusicLoad(0, file, 0, 0, BASS_STREAM_DECODE | BASS_MUSIC_PRESCAN, 0);
    }
    BASS_FX_BPM_DecodeGet(BpmChannel, startSec, endSec, 0,
                          BASS_FX_BPM_BKGRND | BASS_FX_BPM_MULT2 | BASS_FX_FREESOURCE,
                          &frmWriteWave::BpmProgressProc);
    lblBPM->setText("BPM: " + player::twoDecimals(CurrentBPM(BpmChannel)));
}

void frmWriteWave::chkBPMCallback_Click() {
    if (chkBPMCallback->isChecked())
        BASS_FX_BPM_CallbackSet(PlayChannel, &frmWriteWave::BpmProc, period(), 0, BASS_FX_BPM_MULT2,
                                nullptr);
    else
        BASS_FX_BPM_Free(PlayChannel);
}

void frmWriteWave::chkBeat_Click() {
    if (chkBeat->isChecked())
        BASS_FX_BPM_BeatCallbackSet(PlayChannel, &frmWriteWave::BeatProc, nullptr);
    else
        BASS_FX_BPM_BeatFree(PlayChannel);
}

void frmWriteWave::BpmProc(DWORD chan, float, void*) {
    frmWriteWave* w = instance();
    if (!w) return;
    QMetaObject::invokeMethod(
        w, [w, chan] { w->lblBPM->setText("BPM: " + player::twoDecimals(w->CurrentBPM(chan))); },
        Qt::QueuedConnection);
}

void frmWriteWave::BeatProc(DWORD, float beatpos, void*) {
    frmWriteWave* w = instance();
    if (!w) return;
    QMetaObject::invokeMethod(
        w, [w, beatpos] { w->lblBeat->setText("Beat pos: " + player::twoDecimals(beatpos)); },
        Qt::QueuedConnection);
}

void frmWriteWave::BpmProgressProc(DWORD, float percent) {
    frmWriteWave* w = instance();
    if (!w || !std::isfinite(percent)) return;
    const int value = static_cast<int>(std::nearbyint(std::clamp(percent, 0.0f, 100.0f)));
    QMetaObject::invokeMethod(
        w, [w, value] { w->pbProcess->setValue(value); }, Qt::QueuedConnection);
}

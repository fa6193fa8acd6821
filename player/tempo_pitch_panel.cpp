#include "player/tempo_pitch_panel.h"

#include "platform/widgets.h"
#include "player/bpm_panel.h"

namespace player {

TempoPitchPanel::TempoPitchPanel(Session& session, const TempoPitchWidgets& widgets, BpmPanel& bpm,
                                 std::function<void()> positionChanged)
    : s_(session), w_(widgets), bpm_(bpm), positionChanged_(std::move(positionChanged)) {}

void TempoPitchPanel::sldTempo_Scroll(int index) {
    if (index == 0) {
        const int v = w_.sldTempo[0]->value();
        BASS_FX_TempoSet(s_.PlayChannel, static_cast<float>(v), 0, -100);
        const QString text = QString::number(v) + "%";
        w_.lblTempo->setText(text);
        w_.sldTempo[0]->setToolTip(text);
    } else if (index == 2) {
        const int v = w_.sldTempo[2]->value();
        BASS_FX_TempoSet(s_.PlayChannel, -100, 0, static_cast<float>(v));
        w_.lblPitch->setText(QString::number(v));
    }
    bpm_.showCurrentBpm();
    positionChanged_();
}

void TempoPitchPanel::lblTempo_Click() {
    w_.sldTempo[0]->setValue(0);
    sldTempo_Scroll(0);
}

void TempoPitchPanel::lblPitch_Click() {
    w_.sldTempo[2]->setValue(0);
    sldTempo_Scroll(2);
}

void TempoPitchPanel::resetSliders() {
    w_.sldTempo[0]->setValue(0);
    w_.sldTempo[2]->setValue(0);
    w_.lblTempo->setText("0");
    w_.lblPitch->setText("0");
}

int TempoPitchPanel::tempoPercent() const {
    return w_.sldTempo[0]->value();
}

int TempoPitchPanel::pitchSemitones() const {
    return w_.sldTempo[2]->value();
}

}  // namespace player

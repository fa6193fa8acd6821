#include "player/tempo_pitch_panel.h"

#include "platform/widgets.h"
#include "player/bpm_panel.h"

namespace player {

TempoPitchPanel::TempoPitchPanel(Session& session, const TempoPitchWidgets& widgets, BpmPanel& bpm,
                                 std::function<void()> positionChanged)
    : s_(session), w_(widgets), bpm_(bpm), positionChanged_(std::move(positionChanged)) {}

void TempoPitchPanel::sldTempo_Change(int index) {
    // The sound follows the slider however it moved (the user, a key, the program).
    if (index == 0) s_.chain.tempoPercent = static_cast<float>(w_.sldTempo[0]->value());
    if (index == 2) s_.chain.pitchSemitones = static_cast<float>(w_.sldTempo[2]->value());
    s_.applyChain();
}

void TempoPitchPanel::sldTempo_Scroll(int index) {
    if (index == 0) {
        const int v = w_.sldTempo[0]->value();
        s_.chain.tempoPercent = static_cast<float>(v);
        s_.applyChain();
        const QString text = QString::number(v) + "%";
        w_.lblTempo->setText(text);
        w_.sldTempo[0]->setToolTip(text);
    } else if (index == 2) {
        const int v = w_.sldTempo[2]->value();
        s_.chain.pitchSemitones = static_cast<float>(v);
        s_.applyChain();
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
    s_.chain.tempoPercent = s_.chain.pitchSemitones = 0.0f;
}

}  // namespace player

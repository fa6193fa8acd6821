#include "dsp/equalizer_panel.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "platform/widgets.h"

namespace dsp {

EqualizerPanel::EqualizerPanel(player::Session& session, const EqualizerWidgets& widgets)
    : s_(session), w_(widgets) {}

std::array<int, kEqBands> EqualizerPanel::sliderValues() const {
    std::array<int, kEqBands> values{};
    for (int i = 0; i < kEqBands; ++i) values[i] = w_.sldEQ[i]->value();
    return values;
}

bool EqualizerPanel::buttonOn() const {
    return w_.CEq->isChecked();
}

bool EqualizerPanel::peakingOn() const {
    return w_.chkEqualizer->isChecked();
}

void EqualizerPanel::showActive() {
    w_.Label5->setVisible(true);
}

void EqualizerPanel::CEq_Click() {
    if (w_.CEq->isChecked()) {
        w_.Label5->setVisible(true);
        equalizerOn(s_.PlayChannel, EqParams, sliderValues());
    } else {
        w_.Label5->setVisible(false);
        equalizerOff(s_.PlayChannel);
    }
}

void EqualizerPanel::chkEqualizer_Click() {
    if (w_.chkEqualizer->isChecked())
        equalizerOn(s_.PlayChannel, EqParams, sliderValues());
    else
        equalizerOff(s_.PlayChannel);
}

void EqualizerPanel::sldEQ_Change(int index) {
    equalizerSetBand(s_.PlayChannel, EqParams, index, w_.sldEQ[index]->value());
}

void EqualizerPanel::sldEQ_Scroll(int index) {
    sldEQ_Change(index);
    w_.sldEQ[index]->setToolTip(QString::number(-w_.sldEQ[index]->value()));
}

void EqualizerPanel::EqRem() {
    for (int i = 0; i < kEqBands; ++i) w_.sldEQ[i]->setValue(kEqRemCurve[i]);
}

void EqualizerPanel::EqDef() {
    for (int i = 0; i < kEqBands; ++i) w_.sldEQ[i]->setValue(0);
}

void EqualizerPanel::CeqDef() {
    EqDef();
}

void EqualizerPanel::buttonOff() {
    if (!w_.CEq->isChecked()) return;
    w_.CEq->setChecked(false);  // its handler hides Label5 and removes the equalizer
    BASS_FX_DSP_Remove(s_.PlayChannel, BASS_FX_PEAKEQ);
}

void EqualizerPanel::reset() {
    w_.CEq->setChecked(false);
    CeqDef();
}

}  // namespace dsp

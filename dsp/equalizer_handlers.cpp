// The equalizer's switches (CEq, chkEqualizer), its seven band sliders and the slider curves.
// The engine steps are in dsp/equalizer, shared with the render.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "app/frmWriteWave.h"
#include "app/widgets.h"
#include "dsp/equalizer.h"

namespace {

std::array<int, dsp::kEqBands> sliderValues(const std::array<app::Slider*, 7>& sliders) {
    std::array<int, dsp::kEqBands> values{};
    for (int i = 0; i < dsp::kEqBands; ++i) values[i] = sliders[i]->value();
    return values;
}

}  // namespace

void frmWriteWave::CEq_Click() {
    if (CEq->isChecked()) {
        Label5->setVisible(true);
        dsp::equalizerOn(PlayChannel, EqParams, sliderValues(sldEQ));
    } else {
        Label5->setVisible(false);
        dsp::equalizerOff(PlayChannel);
    }
}

void frmWriteWave::chkEqualizer_Click() {
    if (chkEqualizer->isChecked())
        dsp::equalizerOn(PlayChannel, EqParams, sliderValues(sldEQ));
    else
        dsp::equalizerOff(PlayChannel);
}

void frmWriteWave::sldEQ_Change(int index) {
    dsp::equalizerSetBand(PlayChannel, EqParams, index, sldEQ[index]->value());
}

void frmWriteWave::sldEQ_Scroll(int index) {
    sldEQ_Change(index);
    sldEQ[index]->setToolTip(QString::number(-sldEQ[index]->value()));
}

void frmWriteWave::EqRem() {
    for (int i = 0; i < dsp::kEqBands; ++i) sldEQ[i]->setValue(dsp::kEqRemCurve[i]);
}

void frmWriteWave::EqDef() {
    for (int i = 0; i < dsp::kEqBands; ++i) sldEQ[i]->setValue(0);
}

void frmWriteWave::CeqDef() {
    EqDef();
}

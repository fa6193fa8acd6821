#include "dsp/equalizer_panel.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

#include "engine/engine_ext.h"
#include "platform/widgets.h"

namespace dsp {

EqualizerPanel::EqualizerPanel(player::Session& session, const EqualizerWidgets& widgets)
    : s_(session), w_(widgets) {}

void EqualizerPanel::showActive() {
    w_.Label5->setVisible(true);
}

void EqualizerPanel::setOn(bool on) {
    s_.chain.equalizer = on;
    s_.applyChain();
}

// Cleared while the remover runs with "Peaking Equalizer" set, the equalizer stays on: the box
// still shows it on, and a render applies it.
void EqualizerPanel::CEq_Click() {
    w_.Label5->setVisible(w_.CEq->isChecked());
    setOn(w_.CEq->isChecked() ||
          (w_.chkEqualizer->isChecked() && s_.chain.remover != effects::Remover::Off));
}

// "Peaking Equalizer" goes with the remover; cleared while the equalizer's own button is on (and
// shows "Actived"), it leaves the equalizer on.
void EqualizerPanel::chkEqualizer_Click() {
    setOn(w_.chkEqualizer->isChecked() || w_.CEq->isChecked());
}

void EqualizerPanel::sldEQ_Change(int index) {
    s_.chain.eqSliders[size_t(index)] = w_.sldEQ[size_t(index)]->value();
    s_.applyChain();
}

void EqualizerPanel::sldEQ_Scroll(int index) {
    sldEQ_Change(index);
    w_.sldEQ[size_t(index)]->setToolTip(QString::number(-w_.sldEQ[size_t(index)]->value()));
}

void EqualizerPanel::EqRem(bool keepBass) {
    for (int i = 0; i < effects::kEqBands; ++i)
        w_.sldEQ[size_t(i)]->setValue(
            keepBass && i < effects::kEqRemKeptBands ? 0 : effects::kEqRemCurve[size_t(i)]);
}

void EqualizerPanel::EqRemBass(bool keepBass) {
    for (int i = 0; i < effects::kEqRemKeptBands; ++i) {
        const int curve = effects::kEqRemCurve[size_t(i)];
        platform::Slider* s = w_.sldEQ[size_t(i)];
        if (s->value() == (keepBass ? curve : 0)) s->setValue(keepBass ? 0 : curve);
    }
}

void EqualizerPanel::EqRemStereo(bool keepStereo, bool keepBass) {
    for (int i = 0; i < effects::kEqBands; ++i) {
        const int curve =
            keepBass && i < effects::kEqRemKeptBands ? 0 : effects::kEqRemCurve[size_t(i)];
        platform::Slider* s = w_.sldEQ[size_t(i)];
        if (s->value() == (keepStereo ? curve : 0)) s->setValue(keepStereo ? 0 : curve);
    }
}

void EqualizerPanel::EqDef() {
    for (int i = 0; i < effects::kEqBands; ++i) w_.sldEQ[size_t(i)]->setValue(0);
}

void EqualizerPanel::CeqDef() {
    EqDef();
}

void EqualizerPanel::buttonOff() {
    if (!w_.CEq->isChecked()) return;
    w_.CEq->setChecked(false);  // its handler hides Label5 and switches the equalizer off
    setOn(false);
}

void EqualizerPanel::reset() {
    w_.CEq->setChecked(false);
    w_.Label5->setVisible(false);  // a render may have shown it with the button already off
    CeqDef();
    countClipping(0);
}

void EqualizerPanel::countClipping(DWORD channel) {
    clippedChannel_ = channel;
    clippedShown_ = 0;
    w_.lblClipped->setVisible(false);
}

void EqualizerPanel::stopCounting() {
    followClipping();
    clippedChannel_ = 0;
}

void EqualizerPanel::followClipping() {
    // A channel freed since (Stop) counts nothing more: what it clipped stays shown.
    if (!clippedChannel_) return;
    const int64_t clipped = engine::equalizerClippedSamples(clippedChannel_);
    if (clipped <= clippedShown_) return;
    clippedShown_ = clipped;
    w_.lblClipped->setText(
        QCoreApplication::translate("frmWriteWave", "Clipped: %1").arg(qlonglong(clipped)));
    w_.lblClipped->setVisible(true);
}

}  // namespace dsp

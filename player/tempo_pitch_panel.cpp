#include "player/tempo_pitch_panel.h"

#include <QSignalBlocker>
#include <QSpinBox>
#include <cmath>

#include "platform/widgets.h"
#include "player/bpm_panel.h"

namespace player {

namespace {

constexpr double kConcertA = 440.0;

}  // namespace

PitchShift shiftForReference(double referenceHz) {
    if (!(referenceHz > 0)) return {};
    const double cents = 1200.0 * std::log2(kConcertA / referenceHz);
    const double semitones = std::round(cents / 100.0);
    return {static_cast<float>(semitones), static_cast<float>(cents - 100.0 * semitones)};
}

TempoPitchPanel::TempoPitchPanel(Session& session, const TempoPitchWidgets& widgets, BpmPanel& bpm,
                                 std::function<void()> positionChanged)
    : s_(session), w_(widgets), bpm_(bpm), positionChanged_(std::move(positionChanged)) {}

void TempoPitchPanel::sldTempo_Change(int index) {
    // The sound follows the slider however it moved (the user, a key, the program).
    if (index == 0) s_.chain.tempoPercent = static_cast<float>(w_.sldTempo[0]->value());
    if (index == 2) s_.chain.pitchSemitones = static_cast<float>(w_.sldTempo[2]->value());
    s_.applyChain();
    if (index == 2) bpm_.setKeyPitch(s_.chain.pitchShift());
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
        showPitch();
    }
    bpm_.showCurrentBpm();
    positionChanged_();
}

void TempoPitchPanel::showTempo(float percent) {
    {
        const QSignalBlocker quiet(w_.sldTempo[0]);
        w_.sldTempo[0]->setValue(static_cast<int>(std::lround(percent)));
    }
    s_.chain.tempoPercent = percent;
    s_.applyChain();
    const QString text = QString::number(static_cast<double>(percent)) + "%";
    w_.lblTempo->setText(text);
    w_.sldTempo[0]->setToolTip(text);
    bpm_.showCurrentBpm();
    positionChanged_();
}

void TempoPitchPanel::lblTempo_Click() {
    w_.sldTempo[0]->setValue(0);
    sldTempo_Scroll(0);
}

void TempoPitchPanel::lblPitch_Click() {
    {
        const QSignalBlocker quiet(w_.spnReferenceA), quietCents(w_.spnCents);
        w_.spnReferenceA->setValue(static_cast<int>(kConcertA));
        w_.spnCents->setValue(0);
    }
    s_.chain.pitchCents = 0.0f;
    w_.sldTempo[2]->setValue(0);
    sldTempo_Scroll(2);
}

void TempoPitchPanel::spnCents_Change() {
    s_.chain.pitchCents = static_cast<float>(w_.spnCents->value());
    s_.applyChain();
    showPitch();
}

void TempoPitchPanel::spnReferenceA_Change() {
    const PitchShift shift = shiftForReference(w_.spnReferenceA->value());
    {
        const QSignalBlocker quiet(w_.sldTempo[2]), quietCents(w_.spnCents);
        w_.sldTempo[2]->setValue(static_cast<int>(shift.semitones));
        w_.spnCents->setValue(static_cast<int>(std::lround(shift.cents)));
    }
    s_.chain.pitchSemitones = shift.semitones;
    s_.chain.pitchCents = shift.cents;
    s_.applyChain();
    showPitch();
    bpm_.showCurrentBpm();
    positionChanged_();
}

void TempoPitchPanel::showPitch() {
    // The label shows the semitones the slider has; the cents are beside it in their own box.
    w_.lblPitch->setText(QString::number(w_.sldTempo[2]->value()));
    bpm_.setKeyPitch(s_.chain.pitchShift());
}

void TempoPitchPanel::resetSliders() {
    w_.sldTempo[0]->setValue(0);
    w_.sldTempo[2]->setValue(0);
    w_.lblTempo->setText("0");
    w_.lblPitch->setText("0");
    {
        const QSignalBlocker quiet(w_.spnReferenceA), quietCents(w_.spnCents);
        w_.spnReferenceA->setValue(static_cast<int>(kConcertA));
        w_.spnCents->setValue(0);
    }
    s_.chain.tempoPercent = s_.chain.pitchSemitones = s_.chain.pitchCents = 0.0f;
    bpm_.setKeyPitch(0.0);
}

}  // namespace player

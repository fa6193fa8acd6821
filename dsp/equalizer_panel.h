// The equalizer panel: the equalizer button (CEq) with its "Actived" label (Label5), the
// "Peaking Equalizer" box the vocal remover uses, and the seven band sliders sldEQ[0..6]
// (80 Hz .. 12 kHz; gain = -value dB). The engine steps are in dsp/equalizer, shared with the
// render. Acts on Session::PlayChannel. Window thread only.
#pragma once

#include <array>

#include "dsp/equalizer.h"
#include "player/session.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace platform {
class Slider;
}  // namespace platform

namespace dsp {

struct EqualizerWidgets {
    QPushButton* CEq;
    QLabel* Label5;
    QCheckBox* chkEqualizer;
    std::array<platform::Slider*, kEqBands> sldEQ;
};

class EqualizerPanel {
  public:
    EqualizerPanel(player::Session& session, const EqualizerWidgets& widgets);

    void CEq_Click();
    void chkEqualizer_Click();
    void sldEQ_Change(int index);
    void sldEQ_Scroll(int index);
    // The vocal remover's curve, and flat.
    void EqRem();
    void EqDef();
    void CeqDef();
    // Switches the equalizer button off and takes the equalizer off the play channel.
    void buttonOff();
    // Load: the button off and the sliders flat.
    void reset();
    // The equalizer button is on; the "Peaking Equalizer" box is on.
    bool buttonOn() const;
    bool peakingOn() const;
    std::array<int, kEqBands> sliderValues() const;
    // Shows "Actived" (a render with the equalizer button on).
    void showActive();

  private:
    player::Session& s_;
    EqualizerWidgets w_;
    BASS_FX_DSPPEAKEQ EqParams{};  // the parameter record, reused for every band
};

}  // namespace dsp

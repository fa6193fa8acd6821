// The equalizer panel: the equalizer button (CEq) with its "Actived" label (Label5), the
// "Peaking Equalizer" box the vocal remover uses, and the seven band sliders sldEQ[0..6]
// (80 Hz .. 12 kHz; gain = -value dB). The panel changes the equalizer of the session's effect
// chain (Session::chain) and applies it; the engine steps are in effects/equalizer. Window thread
// only.
#pragma once

#include <array>

#include "effects/equalizer.h"
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
    std::array<platform::Slider*, effects::kEqBands> sldEQ;
    QLabel* lblClipped;  // "Clipped: N", shown once playback clipped
};

class EqualizerPanel {
  public:
    EqualizerPanel(player::Session& session, const EqualizerWidgets& widgets);

    void CEq_Click();
    void chkEqualizer_Click();
    void sldEQ_Change(int index);
    void sldEQ_Scroll(int index);
    // The vocal remover's curve (its bass bands flat when the remover keeps the bass), and flat.
    void EqRem(bool keepBass);
    // The remover switched between keeping the bass and not: the curve's bass bands follow, unless
    // the user moved them.
    void EqRemBass(bool keepBass);
    // "Keep stereo" changed while the remover is on: the bands still at the remover's curve go
    // flat (the stereo remover needs no curve), or the flat ones take the curve again.
    void EqRemStereo(bool keepStereo, bool keepBass);
    void EqDef();
    void CeqDef();
    // Switches the equalizer button off, and with it the equalizer.
    void buttonOff();
    // Load: the button off and the sliders flat.
    void reset();
    // Shows "Actived" (a render with the equalizer on).
    void showActive();
    // "Clipped: N" counts what the equalizer of `channel` clips from now on (Play, or the source
    // of a render): hidden until it clips.
    void countClipping(DWORD channel);
    // Called by the window's timer: the samples clipped since countClipping, shown once there are
    // any. What the last playback or render clipped stays until the next one, or Load.
    void followClipping();
    // The channel counted goes (a render ends): its count stays shown.
    void stopCounting();

  private:
    // The equalizer of the chain on or off, and applied.
    void setOn(bool on);

    player::Session& s_;
    EqualizerWidgets w_;
    DWORD clippedChannel_ = 0;  // the channel lblClipped counts for; 0: none
    int64_t clippedShown_ = 0;
};

}  // namespace dsp

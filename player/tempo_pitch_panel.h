// The tempo and pitch panel: the two sliders (sldTempo[0] tempo -60..+60 %, sldTempo[2] pitch
// -8..+8 semitones) and the labels under them, which set their slider back to 0 when clicked;
// beside the pitch, the cents (spnCents, -50..+50 on top of the semitones) and the recording's A
// (spnReferenceA, 415..466 Hz), which sets semitones and cents so that it sounds at 440 Hz.
// Both set the session's effect chain and apply it; after each change the BPM text (at the new
// speed) and the position text are recomputed. The playback rate is never changed. Window thread
// only.
#pragma once

#include <array>
#include <functional>

#include "player/session.h"

class QSpinBox;

namespace platform {
class ClickLabel;
class Slider;
}  // namespace platform

namespace player {

class BpmPanel;

struct TempoPitchWidgets {
    std::array<platform::Slider*, 3> sldTempo;  // 0 tempo, 2 pitch; there is no 1
    platform::ClickLabel* lblTempo;
    platform::ClickLabel* lblPitch;
    QSpinBox* spnCents;       // cents on top of the pitch slider's semitones
    QSpinBox* spnReferenceA;  // the A the recording is tuned to, in Hz
};

// The pitch shift that brings a recording tuned to A = `referenceHz` to A = 440 Hz: whole
// semitones (the nearest) and the cents left over (-50..+50).
struct PitchShift {
    float semitones = 0.0f;
    float cents = 0.0f;
};
PitchShift shiftForReference(double referenceHz);

class TempoPitchPanel {
  public:
    // `positionChanged` shows the play position again (the time text depends on the tempo).
    TempoPitchPanel(Session& session, const TempoPitchWidgets& widgets, BpmPanel& bpm,
                    std::function<void()> positionChanged);

    // Any change of a slider's value: the chain's tempo or pitch follows it.
    void sldTempo_Change(int index);
    // The user's move: the same, and the labels, the BPM and position texts follow.
    void sldTempo_Scroll(int index);
    void lblTempo_Click();
    // The tempo set from elsewhere (the speed trainer): the slider, its label and the chain show
    // it; the BPM and position texts follow.
    void showTempo(float percent);
    // "Pitch to 0": the semitones, the cents and the recording's A (440 Hz) back to none.
    void lblPitch_Click();
    // The cents control's change: the chain's cents follow it.
    void spnCents_Change();
    // The recording's A: the pitch slider and the cents take the shift that brings it to 440 Hz.
    void spnReferenceA_Change();
    // Both sliders, labels, the cents and the chain's tempo and pitch back to 0, applied at the
    // next Play (a new file is loaded).
    void resetSliders();

  private:
    void showPitch();

    Session& s_;
    TempoPitchWidgets w_;
    BpmPanel& bpm_;
    std::function<void()> positionChanged_;
};

}  // namespace player

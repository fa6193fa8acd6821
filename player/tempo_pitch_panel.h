// The tempo and pitch panel: the two sliders (sldTempo[0] tempo -60..+60 %, sldTempo[2] pitch
// -8..+8 semitones) and the labels under them, which set their slider back to 0 when clicked.
// Both set the session's effect chain and apply it; after each change the BPM text (at the new
// speed) and the position text are recomputed. The playback rate is never changed. Window thread
// only.
#pragma once

#include <array>
#include <functional>

#include "player/session.h"

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
};

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
    void lblPitch_Click();
    // Both sliders, labels and the chain's tempo and pitch back to 0, applied at the next Play
    // (a new file is loaded).
    void resetSliders();

  private:
    Session& s_;
    TempoPitchWidgets w_;
    BpmPanel& bpm_;
    std::function<void()> positionChanged_;
};

}  // namespace player

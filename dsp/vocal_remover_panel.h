// The vocal remover panel: its switch (Chkrem) with the "Actived" label (LblRem), the reset the
// program calls `default`, and the gain slider vcompr[0]. Switching it on loads the equalizer
// curve that goes with it. The remover works on stereo files only: the loaded file's channel
// count (Session::fileChannels, read at Load) decides, and a non-stereo channel never gets the
// remover. The DSP procedure is in dsp/vocal_remover. Acts on Session::PlayChannel.
// Window thread only.
#pragma once

#include <array>

#include "player/session.h"

class QLabel;
class QPushButton;

namespace platform {
class Slider;
}  // namespace platform

namespace dsp {

class EqualizerPanel;

struct VocalRemoverWidgets {
    QPushButton* Chkrem;
    QLabel* LblRem;
    std::array<platform::Slider*, 1> vcompr;
};

class VocalRemoverPanel {
  public:
    VocalRemoverPanel(player::Session& session, const VocalRemoverWidgets& widgets,
                      EqualizerPanel& equalizer);

    void Chkrem_Click();
    // Switches the vocal remover off (the program calls this procedure `default`).
    void default_();
    void vcompr_Change(int index);
    // A file was loaded: the switch is available, and off.
    void fileLoaded();
    // A new play channel sounds: the remover goes on it when the switch is on.
    void playStarted();
    // The switch is on and the loaded file is stereo: a render runs the remover.
    bool active() const;

  private:
    player::Session& s_;
    VocalRemoverWidgets w_;
    EqualizerPanel& equalizer_;
};

}  // namespace dsp

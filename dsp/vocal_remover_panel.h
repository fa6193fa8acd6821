// The vocal remover panel: its switch (Chkrem) with the "Actived" label (LblRem), the reset the
// program calls `default`, and the gain slider vcompr[0]. Switching it on loads the equalizer
// curve that goes with it. The remover works on stereo files only: the loaded file's channel
// count (Session::fileChannels, read at Load) decides, and a non-stereo channel never gets the
// remover. The DSP procedure is in dsp/vocal_remover. Acts on Session::PlayChannel.
//
// "Keep bass" (chkKeepBass) chooses the remover that leaves everything below 150 Hz in place (the
// kick drum and the bass) instead of taking out the centre everywhere. It is a preference, not
// part of the remover's state: `default` leaves it alone, and it is available whenever the switch
// is. Changing it while the remover sounds swaps the remover on the play channel.
// Window thread only.
#pragma once

#include <array>
#include <memory>

#include "player/session.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace platform {
class Slider;
}  // namespace platform

namespace dsp {

class EqualizerPanel;
class KeepBassRemover;

struct VocalRemoverWidgets {
    QPushButton* Chkrem;
    QLabel* LblRem;
    std::array<platform::Slider*, 1> vcompr;
    QCheckBox* chkKeepBass;
};

class VocalRemoverPanel {
  public:
    VocalRemoverPanel(player::Session& session, const VocalRemoverWidgets& widgets,
                      EqualizerPanel& equalizer);
    ~VocalRemoverPanel();

    void Chkrem_Click();
    // Switches the vocal remover off (the program calls this procedure `default`).
    void default_();
    void vcompr_Change(int index);
    // "Keep bass" changed: a sounding remover is replaced by the chosen one.
    void chkKeepBass_Click();
    // A file was loaded: the switch is available, and off.
    void fileLoaded();
    // A new play channel sounds: the remover goes on it when the switch is on.
    void playStarted();
    // The switch is on and the loaded file is stereo: a render runs the remover.
    bool active() const;
    // "Keep bass" is set: the remover leaves the band below 150 Hz alone.
    bool keepBass() const;

  private:
    // Attaches the chosen remover to PlayChannel and keeps its handle in the session.
    void attachRemover();

    player::Session& s_;
    VocalRemoverWidgets w_;
    EqualizerPanel& equalizer_;
    // The keep-bass remover attached to PlayChannel (its filters live here while it is).
    std::unique_ptr<KeepBassRemover> keepBassRemover_;
};

}  // namespace dsp

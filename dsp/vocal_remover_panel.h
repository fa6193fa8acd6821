// The vocal remover panel: its switch (Chkrem) with the "Actived" label (LblRem), the reset the
// program calls `default`, and the gain slider vcompr[0]. Switching it on loads the equalizer
// curve that goes with it. The remover works on stereo files only: the loaded file's channel
// count (Session::fileChannels, read at Load) decides, and a non-stereo channel never gets the
// remover. The panel changes the session's effect chain (Session::chain) and applies it; the DSP
// procedures are in effects/vocal_remover.
//
// "Keep bass" (chkKeepBass) chooses the remover that leaves everything below 150 Hz in place (the
// kick drum and the bass) instead of taking out the centre everywhere. It is a preference, not
// part of the remover's state: `default` leaves it alone, and it is available whenever the switch
// is. Changing it while the remover is on changes only the remover's mode. "Keep stereo"
// (chkKeepStereo) is a preference of the same kind: the remover then takes out only what sounds
// from the centre, bin by bin, between 120 Hz and 8 kHz (effects/stereo_remover), and leaves the
// instruments panned to a side where they are; it needs no equalizer curve, so the curve's bands
// stay flat while it is chosen. Its strength (spnStereoStrength, 0..100 %) and band
// (spnStereoFrom, spnStereoTo) can be set while it is chosen, and reach the chain at once.
//
// Addition: the list of the sides heard (cboChannels) chooses what is heard of a stereo file: both
// sides as recorded, the left or the right one alone, or the two mixed to mono; it is part of the
// chain, after the remover and the equalizer, and a file that is not stereo passes as it is. Window
// thread only.
#pragma once

#include <array>

#include "player/session.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace platform {
class Slider;
}  // namespace platform

namespace dsp {

class EqualizerPanel;

struct VocalRemoverWidgets {
    QPushButton* Chkrem;
    QLabel* LblRem;
    std::array<platform::Slider*, 1> vcompr;
    QCheckBox* chkKeepBass;
    QCheckBox* chkKeepStereo;
    QComboBox* cboChannels;
    QSpinBox* spnStereoStrength;
    QSpinBox* spnStereoFrom;
    QSpinBox* spnStereoTo;
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
    // "Keep bass" changed: a remover that is on takes the chosen mode.
    void chkKeepBass_Click();
    // "Keep stereo" changed: a remover that is on takes the chosen mode.
    void chkKeepStereo_Click();
    // The stereo remover's strength or band changed: the chain takes them; the band's edges keep
    // the lower below the upper.
    void spnStereo_Change();
    // A choice in the sides heard: both, left, right or mono (effects::Channels' order).
    void cboChannels_Click(int index);
    // A file was loaded: the switch is available, and off.
    void fileLoaded();
    // A new play channel sounds: the switch's steps run again when it is on.
    void playStarted();
    // "Keep bass" is set: the remover leaves the band below 150 Hz alone.
    bool keepBass() const;

  private:
    // The remover's mode the switch and "Keep bass" ask for.
    effects::Remover wantedMode() const;
    // The loaded file is one the mode asked for works on ("Keep stereo": two channels or more;
    // else stereo), or none is loaded yet.
    bool takesFile() const;
    // Says that the remover works on stereo files.
    void onlyStereo();
    // The stereo remover's settings are available while "Keep stereo" is.
    void enableStereoSettings();

    player::Session& s_;
    VocalRemoverWidgets w_;
    EqualizerPanel& equalizer_;
    // `default` is clearing the switch: its handler takes the "off" steps without judging the
    // file (the file may be the next one's predecessor).
    bool resetting_ = false;
};

}  // namespace dsp

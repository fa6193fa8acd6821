#include "dsp/vocal_remover_panel.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include "dsp/equalizer_panel.h"
#include "platform/platform.h"
#include "platform/widgets.h"

namespace dsp {

namespace {
// The main window's texts, through the translation.
struct Text {
    Q_DECLARE_TR_FUNCTIONS(frmWriteWave)
};
}  // namespace

VocalRemoverPanel::VocalRemoverPanel(player::Session& session, const VocalRemoverWidgets& widgets,
                                     EqualizerPanel& equalizer)
    : s_(session), w_(widgets), equalizer_(equalizer) {}

VocalRemoverPanel::~VocalRemoverPanel() = default;

bool VocalRemoverPanel::keepBass() const {
    return w_.chkKeepBass->isChecked();
}

effects::Remover VocalRemoverPanel::wantedMode() const {
    if (w_.chkKeepStereo->isChecked()) return effects::Remover::Stereo;
    return keepBass() ? effects::Remover::KeepBass : effects::Remover::Full;
}

void VocalRemoverPanel::chkKeepBass_Click() {
    if (s_.chain.remover == effects::Remover::Off) return;
    s_.chain.remover = wantedMode();
    s_.applyChain();
    if (!w_.chkKeepStereo->isChecked()) equalizer_.EqRemBass(keepBass());
}

void VocalRemoverPanel::chkKeepStereo_Click() {
    enableStereoSettings();
    if (s_.chain.remover == effects::Remover::Off) return;
    if (!takesFile()) {  // the plain remover again, on a file of more than two channels
        onlyStereo();
        default_();
        equalizer_.EqDef();
        return;
    }
    s_.chain.remover = wantedMode();
    s_.applyChain();
    equalizer_.EqRemStereo(w_.chkKeepStereo->isChecked(), keepBass());
}

void VocalRemoverPanel::enableStereoSettings() {
    const bool on = w_.chkKeepStereo->isEnabled() && w_.chkKeepStereo->isChecked();
    for (QSpinBox* b : {w_.spnStereoStrength, w_.spnStereoFrom, w_.spnStereoTo}) b->setEnabled(on);
}

void VocalRemoverPanel::spnStereo_Change() {
    w_.spnStereoFrom->setMaximum(w_.spnStereoTo->value() - 1);
    w_.spnStereoTo->setMinimum(w_.spnStereoFrom->value() + 1);
    s_.chain.stereoStrength = float(w_.spnStereoStrength->value()) / 100.0f;
    s_.chain.stereoLowHz = float(w_.spnStereoFrom->value());
    s_.chain.stereoHighHz = float(w_.spnStereoTo->value());
    s_.applyChain();
}

void VocalRemoverPanel::cboChannels_Click(int index) {
    if (index < 0 || index > int(effects::Channels::Mono)) return;
    s_.chain.channels = effects::Channels(index);
    s_.applyChain();
}

bool VocalRemoverPanel::takesFile() const {
    // The remover that keeps the stereo picture works on the front pair of any file of two
    // channels or more; the others on stereo files alone.
    if (s_.fileChannels == 0) return true;
    return w_.chkKeepStereo->isChecked() ? s_.fileChannels >= 2 : s_.stereoFile();
}

void VocalRemoverPanel::onlyStereo() {
    platform::message(Text::tr("Only Stereo ").toStdString(),
                      Text::tr("Quorvin Audio Tools ").toStdString(), platform::Icon::Critical);
}

void VocalRemoverPanel::Chkrem_Click() {
    if (!resetting_ && !takesFile()) {
        onlyStereo();
        return;
    }
    equalizer_.buttonOff();
    if (w_.Chkrem->isChecked()) {
        // The gain slider comes to 9 with the remover, not after it: at 10 the remover lets no
        // sound through, and a block of silence would be heard between the two.
        {
            const QSignalBlocker quiet(w_.vcompr[0]);
            w_.vcompr[0]->setValue(9);
        }
        s_.chain.removerGainSlider = 9;
        s_.chain.remover = wantedMode();
        s_.applyChain();
        if (w_.chkKeepStereo->isChecked())
            equalizer_.EqDef();
        else
            equalizer_.EqRem(keepBass());
        equalizer_.chkEqualizer_Click();
        w_.LblRem->setEnabled(true);
    } else {
        default_();
        equalizer_.EqDef();
    }
}

void VocalRemoverPanel::default_() {
    // The remover goes first, so that the gain slider's move to 10 (no sound through the gain
    // effect) is never heard.
    s_.chain.remover = effects::Remover::Off;
    s_.chain.equalizer = false;
    s_.applyChain();
    resetting_ = true;
    w_.Chkrem->setChecked(false);  // when it was set, its handler runs the "off" branch first
    resetting_ = false;
    w_.LblRem->setEnabled(false);
    w_.vcompr[0]->setValue(10);
}

void VocalRemoverPanel::vcompr_Change(int) {
    s_.chain.removerGainSlider = w_.vcompr[0]->value();
    s_.applyChain();
}

void VocalRemoverPanel::fileLoaded() {
    w_.Chkrem->setEnabled(true);
    w_.chkKeepBass->setEnabled(true);
    w_.chkKeepStereo->setEnabled(true);
    enableStereoSettings();
    default_();
}

void VocalRemoverPanel::playStarted() {
    if (w_.Chkrem->isChecked()) Chkrem_Click();
}

}  // namespace dsp

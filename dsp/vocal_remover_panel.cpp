#include "dsp/vocal_remover_panel.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "dsp/equalizer_panel.h"
#include "dsp/vocal_remover.h"
#include "platform/platform.h"
#include "platform/widgets.h"

namespace dsp {

VocalRemoverPanel::VocalRemoverPanel(player::Session& session, const VocalRemoverWidgets& widgets,
                                     EqualizerPanel& equalizer)
    : s_(session), w_(widgets), equalizer_(equalizer) {}

VocalRemoverPanel::~VocalRemoverPanel() = default;

bool VocalRemoverPanel::keepBass() const {
    return w_.chkKeepBass->isChecked();
}

void VocalRemoverPanel::attachRemover() {
    if (!keepBass()) {
        s_.VocalRemoverDsp = attachVocalRemover(s_.PlayChannel);
        return;
    }
    BASS_CHANNELINFO info{};
    const double rate = BASS_ChannelGetInfo(s_.PlayChannel, &info) && info.freq ? info.freq : 44100;
    // The previous one is detached by now (default_ or a swap), so no block still runs through it.
    keepBassRemover_ = std::make_unique<KeepBassRemover>(rate);
    s_.VocalRemoverDsp = keepBassRemover_->attach(s_.PlayChannel);
}

void VocalRemoverPanel::chkKeepBass_Click() {
    if (!w_.Chkrem->isChecked() || !s_.stereoFile()) return;
    // Only the channel that sounds: a render's channel keeps the remover it started with.
    BASS_CHANNELINFO info{};
    if (!BASS_ChannelGetInfo(s_.PlayChannel, &info) || (info.flags & BASS_STREAM_DECODE)) return;
    // Detach the remover and the equalizer, then attach both again in their first order.
    BASS_ChannelRemoveDSP(s_.PlayChannel, s_.VocalRemoverDsp);
    BASS_FX_DSP_Remove(s_.PlayChannel, BASS_FX_PEAKEQ);
    attachRemover();
    equalizer_.chkEqualizer_Click();
}

bool VocalRemoverPanel::active() const {
    return w_.Chkrem->isChecked() && s_.stereoFile();
}

void VocalRemoverPanel::Chkrem_Click() {
    if (s_.fileChannels != 0 && !s_.stereoFile()) {
        platform::message("Only Stereo ", "Quorvin Audio Tools ", platform::Icon::Critical);
        return;
    }
    equalizer_.buttonOff();
    if (w_.Chkrem->isChecked()) {
        attachRemover();
        equalizer_.EqRem();
        equalizer_.chkEqualizer_Click();
        w_.LblRem->setEnabled(true);
        BASS_FX_DSP_Set(s_.PlayChannel, BASS_FX_GAIN, 1);
        if (w_.vcompr[0]->value() == 9)
            vcompr_Change(0);
        else
            w_.vcompr[0]->setValue(9);  // raises vcompr_Change
    } else {
        default_();
        equalizer_.EqDef();
    }
}

void VocalRemoverPanel::default_() {
    w_.Chkrem->setChecked(false);  // when it was set, its handler runs the "off" branch first
    w_.LblRem->setEnabled(false);
    w_.vcompr[0]->setValue(10);
    BASS_ChannelRemoveDSP(s_.PlayChannel, s_.VocalRemoverDsp);
    BASS_FX_DSP_Remove(s_.PlayChannel, BASS_FX_PEAKEQ);
    BASS_FX_DSP_Remove(s_.PlayChannel, BASS_FX_GAIN);
    BASS_ChannelRemoveDSP(s_.PlayChannel, s_.VocalRemoverDsp);
}

void VocalRemoverPanel::vcompr_Change(int) {
    setVocalRemoverGain(s_.PlayChannel, w_.vcompr[0]->value());
}

void VocalRemoverPanel::fileLoaded() {
    w_.Chkrem->setEnabled(true);
    w_.chkKeepBass->setEnabled(true);
    default_();
}

void VocalRemoverPanel::playStarted() {
    if (w_.Chkrem->isChecked()) Chkrem_Click();
}

}  // namespace dsp

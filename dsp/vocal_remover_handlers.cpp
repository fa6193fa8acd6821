// The vocal remover's switch (Chkrem), its reset (`default`) and its gain slider (vcompr). The
// engine steps and the DSP procedure itself are in dsp/vocal_remover.
#include <QLabel>
#include <QPushButton>

#include "app/frmWriteWave.h"
#include "app/widgets.h"
#include "dsp/vocal_remover.h"
#include "platform/platform.h"

void frmWriteWave::Chkrem_Click() {
    BASS_ChannelGetInfo(PlayChannel, &ChannelInfo);
    if (ChannelInfo.chans == 1) {
        platform::message("Only Stereo ", "Quorvin Audio Tools ", platform::Icon::Critical);
        return;
    }
    if (CEq->isChecked()) {
        CEq->setChecked(false);  // its handler hides Label5 and removes the equalizer
        BASS_FX_DSP_Remove(PlayChannel, BASS_FX_PEAKEQ);
    }
    if (Chkrem->isChecked()) {
        VocalRemoverDsp = dsp::attachVocalRemover(PlayChannel);
        EqRem();
        chkEqualizer_Click();
        LblRem->setEnabled(true);
        BASS_FX_DSP_Set(PlayChannel, BASS_FX_GAIN, 1);
        if (vcompr[0]->value() == 9)
            vcompr_Change(0);
        else
            vcompr[0]->setValue(9);  // raises vcompr_Change
    } else {
        default_();
        EqDef();
    }
}

void frmWriteWave::default_() {
    Chkrem->setChecked(false);  // when it was set, its handler runs the "off" branch first
    LblRem->setEnabled(false);
    vcompr[0]->setValue(10);
    BASS_ChannelRemoveDSP(PlayChannel, VocalRemoverDsp);
    BASS_FX_DSP_Remove(PlayChannel, BASS_FX_PEAKEQ);
    BASS_FX_DSP_Remove(PlayChannel, BASS_FX_GAIN);
    BASS_ChannelRemoveDSP(PlayChannel, VocalRemoverDsp);
}

void frmWriteWave::vcompr_Change(int) {
    dsp::setVocalRemoverGain(PlayChannel, vcompr[0]->value());
}

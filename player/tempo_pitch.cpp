// Tempo and pitch sliders. Both act on PlayChannel; after each change the BPM text (at the new
// speed) and the position text are recomputed. The playback rate is never changed.
#include <QCheckBox>
#include <QLabel>

#include "app/frmWriteWave.h"
#include "app/widgets.h"
#include "player/bpm_display.h"

void frmWriteWave::sldTempo_Scroll(int index) {
    if (index == 0) {
        const int v = sldTempo[0]->value();
        BASS_FX_TempoSet(PlayChannel, static_cast<float>(v), 0, -100);
        const QString text = QString::number(v) + "%";
        lblTempo->setText(text);
        sldTempo[0]->setToolTip(text);
    } else if (index == 2) {
        const int v = sldTempo[2]->value();
        BASS_FX_TempoSet(PlayChannel, -100, 0, static_cast<float>(v));
        lblPitch->setText(QString::number(v));
    }
    const DWORD source = chkBPMCallback->isChecked() ? PlayChannel : BpmChannel;
    lblBPM->setText("BPM: " + player::twoDecimals(CurrentBPM(source)));
    ShowPlayPosition();
}

void frmWriteWave::lblTempo_Click() {
    sldTempo[0]->setValue(0);
    sldTempo_Scroll(0);
}

void frmWriteWave::lblPitch_Click() {
    sldTempo[2]->setValue(0);
    sldTempo_Scroll(2);
}

#include "effects/equalizer.h"

namespace effects {

void equalizerOn(DWORD channel, BASS_FX_DSPPEAKEQ& params,
                 const std::array<int, kEqBands>& sliderValues) {
    DWORD rate = 0;
    BASS_ChannelGetAttributes(channel, &rate, nullptr, nullptr);
    // One request per band; the engine keeps a single effect that holds every band.
    for (int i = 0; i < kEqBands; ++i) BASS_FX_DSP_Set(channel, BASS_FX_PEAKEQ, kEqPriority);
    params.fGain = 0.0f;
    params.lFreq = rate;
    params.fBandwidth = kEqBandwidth;
    params.fQ = kEqQ;
    for (int band = 0; band < kEqBands; ++band) {
        params.lBand = band;
        params.fCenter = kEqCentres[size_t(band)];
        BASS_FX_DSP_SetParameters(channel, BASS_FX_PEAKEQ, &params);
    }
    for (int band = 0; band < kEqBands; ++band)
        equalizerSetBand(channel, params, band, sliderValues[size_t(band)]);
}

void equalizerSetBand(DWORD channel, BASS_FX_DSPPEAKEQ& params, int band, int sliderValue) {
    params.lBand = band;
    BASS_FX_DSP_GetParameters(channel, BASS_FX_PEAKEQ, &params);
    params.fGain = eqGainForSlider(sliderValue);
    BASS_FX_DSP_SetParameters(channel, BASS_FX_PEAKEQ, &params);
}

void equalizerOff(DWORD channel) {
    BASS_FX_DSP_Remove(channel, BASS_FX_PEAKEQ);
}

}  // namespace effects

// The seven-band peaking equalizer: the band table, the curve that goes with the vocal remover,
// and the engine steps that switch it on, set a band's gain and switch it off. The main window's
// handlers and the render share these, so that both set the equalizer up the same way.
#pragma once

#include <array>
#include <cstddef>

#include "engine/bass.h"

namespace effects {

constexpr int kEqBands = 7;
// Centre frequency of each band, Hz (band index = slider index, leftmost first).
constexpr std::array<float, kEqBands> kEqCentres = {80, 200, 1500, 4000, 7500, 10000, 12000};
constexpr float kEqBandwidth = 2.5f;
constexpr float kEqQ = 1.0f;
// Slider values (top -10 .. bottom 10) of the curve that compensates the vocal remover.
constexpr std::array<int, kEqBands> kEqRemCurve = {-10, -7, -3, 0, 1, -7, -7};
// The curve's first bands restore the bass the full remover takes away: with the remover that
// keeps the bass they stay flat.
constexpr int kEqRemKeptBands = 2;
constexpr int kEqSliderMin = -10;
constexpr int kEqSliderMax = 10;
// The equalizer's place among a channel's effects: after the vocal remover (priority 0) and its
// gain (1), whichever was switched on first.
constexpr int kEqPriority = -1;

// A band's gain in dB for a slider value: the negated value (the top of a slider boosts).
constexpr float eqGainForSlider(int sliderValue) {
    return -float(sliderValue);
}

// Switches the equalizer on for `channel`: reads the channel's sample rate, sets effect 5 (once
// per band), writes every band's centre with gain 0, then gives each band its slider's gain in
// band order. `params` is the caller's parameter record, reused for every band.
void equalizerOn(DWORD channel, BASS_FX_DSPPEAKEQ& params,
                 const std::array<int, kEqBands>& sliderValues);
// Gives band `band` the gain of `sliderValue`: reads the band back from the engine (sample rate,
// bandwidth, Q, centre), sets its gain and writes it. Harmless when the effect is not set.
void equalizerSetBand(DWORD channel, BASS_FX_DSPPEAKEQ& params, int band, int sliderValue);
// Removes the equalizer from `channel`.
void equalizerOff(DWORD channel);

}  // namespace effects

// The vocal remover: takes out what is mixed equally into both channels of a stereo recording
// (as a rule the lead voice) by replacing every frame with half the difference of its right and
// left samples, written to both channels.
#pragma once

#include <cstdint>

#include "engine/bass.h"

namespace dsp {

// One frame's result: round_half_even((right - left) / 2), limited to the 16-bit range (the one
// frame left = -32768, right = 32767 would give 32768 and stores 32767).
constexpr int16_t vocalRemoverSample(int16_t left, int16_t right) {
    const int32_t d = int32_t(right) - int32_t(left);
    const int32_t half = d >> 1;              // floor(d / 2)
    const int32_t v = half + (d & half & 1);  // an odd d rounds to the even neighbour
    return int16_t(v > 32767 ? 32767 : v);
}

// Attaches VocalRemoverDSP to `channel` with priority 0; the DSP handle (0 on failure).
HDSP attachVocalRemover(DWORD channel);

// Sends the "Gain Audio" slider value (0..10) to the gain effect on `channel`: the amplification
// field becomes 10 - value, the fields before it 10 and the one after it 1000. The effect's
// current parameters are read first so that the field the program does not set keeps its value.
void setVocalRemoverGain(DWORD channel, int sliderValue);

}  // namespace dsp

// The DSP procedure the engine calls with each block of 16-bit interleaved stereo audio. Works in
// place without allocating; a trailing partial frame (never sent by the engine) is left alone.
void VocalRemoverDSP(HDSP handle, DWORD channel, void* buffer, DWORD length, void* user);

// The Queen Mary DSP library's tempo tracker over mono audio, as a baseline (qm_tempo.cpp); built
// when the library is installed (QUORVIN_QM_DSP).
#pragma once

#include <cstddef>

float qmTempo(const float* mono, size_t count, int rate);

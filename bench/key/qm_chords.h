// A plain chord baseline over the Queen Mary DSP library's constant-Q chromagram (qm_chords.cpp);
// built when the library is installed (QUORVIN_QM_DSP).
#pragma once

#include <cstddef>
#include <vector>

#include "analysis/chord_detect.h"

std::vector<analysis::chords::ChordSpan> qmChords(const float* mono, size_t count, int rate);

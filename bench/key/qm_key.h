// The Queen Mary DSP library's key detector over mono audio, as a baseline on the real set
// (qm_key.cpp); built when the library is installed (QUORVIN_QM_DSP).
#pragma once

#include <cstddef>

struct QmKey {
    int tonic = -1;  // 0 = C .. 11 = B; -1 when no block was long enough
    bool minor = false;
};

QmKey qmKey(const float* mono, size_t count, int rate);

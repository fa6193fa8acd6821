// The key detector of the Queen Mary DSP library (a constant-Q chromagram, its mean over ten
// frames, the key profile that correlates best, a median over ten keys), as its own key-detector
// plugin sets it up: tuning 440 Hz, blocks and steps of the size it asks for. It gives a key per
// block; the recording's key is the one it gives most often. Kept in a file of its own: the
// library's headers bring namespace std into the global one.
#include "bench/key/qm_key.h"

#include <dsp/keydetection/GetKeyMode.h>

#include <algorithm>
#include <map>
#include <vector>

QmKey qmKey(const float* mono, size_t count, int rate) {
    GetKeyMode detector(rate, 440.0f, 10, 10);
    const size_t block = detector.getBlockSize(), hop = detector.getHopSize();
    std::vector<double> samples(block);
    std::map<int, int> votes;  // 1..12 C..B major, 13..24 C..B minor
    for (size_t at = 0; at + block <= count; at += hop) {
        std::copy(mono + at, mono + at + block, samples.begin());
        ++votes[detector.process(samples.data())];
    }
    QmKey k;
    int most = 0;
    for (const auto& [key, n] : votes)
        if (key >= 1 && key <= 24 && n > most) {
            most = n;
            k.tonic = (key - 1) % 12;
            k.minor = key > 12;
        }
    return k;
}

// The chroma of the Queen Mary DSP library's key detector (a constant-Q chromagram of 36 bins an
// octave over audio decimated by 8, as its key-detector plugin sets it up, tuning 440 Hz), a frame
// every quarter frame, each frame read as the major or minor triad whose notes hold most of it
// (the cosine, as ours scores it), with no smoothing: what the library's chroma alone gives. Kept
// in a file of its own: the library's headers bring namespace std into the global one.
#include "bench/key/qm_chords.h"

#include <dsp/keydetection/GetKeyMode.h>

#include <algorithm>
#include <cmath>

std::vector<analysis::chords::ChordSpan> qmChords(const float* mono, size_t count, int rate) {
    GetKeyMode detector(rate, 440.0f, 1, 1);
    const size_t block = detector.getBlockSize(), hop = std::max<size_t>(1, block / 4);
    const unsigned bins = detector.getChromaSize();
    std::vector<double> samples(block);
    std::vector<analysis::chords::ChordSpan> spans;
    for (size_t at = 0; at + block <= count; at += hop) {
        std::copy(mono + at, mono + at + block, samples.begin());
        detector.process(samples.data());
        const double* chroma = detector.getChroma();
        // Three bins a semitone, a note's centre between bins 3p and 3p + 1 (C in bins 0 and 1).
        double c[12] = {};
        for (unsigned b = 0; b < bins; ++b) c[((b + 1) / 3) % 12] += chroma[b];
        double norm = 0;
        for (double v : c) norm += v * v;
        analysis::chords::ChordSpan s;
        s.start = (double(at) + double(block) / 2 - double(hop) / 2) / rate;
        s.end = s.start + double(hop) / rate;
        double best = 0;
        for (int state = 0; state < 24 && norm > 0; ++state) {
            const int r = state % 12, third = (r + (state >= 12 ? 3 : 4)) % 12;
            const double v = (c[r] + c[third] + c[(r + 7) % 12]) / std::sqrt(3 * norm);
            if (v > best) {
                best = v;
                s.root = r;
                s.minor = state >= 12;
            }
        }
        spans.push_back(s);
    }
    if (!spans.empty()) spans.front().start = 0;
    return spans;
}

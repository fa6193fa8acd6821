// A third baseline for the real set: the tempo tracker of the Queen Mary DSP library (a complex
// spectral-difference onset function, a comb-filter tempo with a Viterbi path, a dynamic-
// programming beat tracker), as its own beat-tracker plugin sets it up: steps of 1/86 s, windows
// of two steps. The BPM is that of the median interval between the beats it tracks. Kept in a
// file of its own: the library's headers bring namespace std into the global one.
#include "bench/bpm/qm_tempo.h"

#include <dsp/onsets/DetectionFunction.h>
#include <dsp/tempotracking/TempoTrackV2.h>

#include <algorithm>
#include <vector>

float qmTempo(const float* mono, size_t count, int rate) {
    const unsigned step = unsigned(rate / 86.0), length = step * 2;
    DFConfig config{};
    config.stepSize = step;
    config.frameLength = length;
    config.DFType = DF_COMPLEXSD;
    config.dbRise = 3;
    config.adaptiveWhitening = false;
    config.whiteningRelaxCoeff = -1;
    config.whiteningFloor = -1;
    DetectionFunction onsets(config);
    std::vector<double> frame(length), df;
    for (size_t at = 0; at + length <= count; at += step) {
        std::copy(mono + at, mono + at + length, frame.begin());
        df.push_back(onsets.processTimeDomain(frame.data()));
    }
    if (df.size() < 3) return 0.0f;
    // The plugin leaves out the first two values (the windows before the audio is in them).
    std::vector<double> d(df.begin() + 2, df.end()), beatPeriod(d.size(), 0.0), tempi, beats;
    TempoTrackV2 tracker(float(rate), step);
    tracker.calculateBeatPeriod(d, beatPeriod, tempi);
    tracker.calculateBeats(d, beatPeriod, beats);
    std::vector<double> intervals;
    for (size_t i = 1; i < beats.size(); ++i) intervals.push_back(beats[i] - beats[i - 1]);
    if (intervals.empty()) return 0.0f;
    std::nth_element(intervals.begin(), intervals.begin() + std::ptrdiff_t(intervals.size() / 2),
                     intervals.end());
    const double median = intervals[intervals.size() / 2];
    return median > 0 ? float(60.0 * rate / (median * step)) : 0.0f;
}

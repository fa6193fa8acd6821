// The one signal the analyses (tempo, beats, key, chords) hear of a file of several channels: the
// channels' mean, as one speaker plays them. A channel in opposite phase to the first (a
// recording wired wrongly, L = -R) would cancel in the mean and leave silence to analyse: a
// channel whose running correlation with the first falls below -0.5 is taken upside down, until
// it rises above -0.3 again; each turn is faded over 512 frames.
// Threads: one mixer per analysis, used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace analysis {

class MonoMix {
  public:
    explicit MonoMix(int channels);
    // `frames` interleaved frames of 16-bit `pcm` into `mono` (frames floats, full scale 1).
    void mix(const int16_t* pcm, size_t frames, float* mono);

  private:
    int channels_;
    std::vector<double> cross_, power_;  // per channel, against the first; decaying sums
    double firstPower_ = 0;
    std::vector<float> sign_, from_;  // per channel: now, and at the start of the step
};

}  // namespace analysis

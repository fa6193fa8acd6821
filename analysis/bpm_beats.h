// Causal beat tracking on a stream of mono audio: the onset envelope of bpm_tempo.h, a tempo
// re-estimated every half second over the last eight seconds, the beat phase that lines the most
// onsets up with that tempo, and each predicted beat pulled onto the onset peak near it.
//
// A beat is reported once the audio a little past it (about 40 ms) has been analysed, so that
// its time can be taken from the onset itself rather than from the prediction alone.
//
// Threads: one thread at a time (the BPM worker).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "analysis/bpm_tempo.h"

namespace analysis::bpm {

class BeatTracker {
  public:
    explicit BeatTracker(int sampleRate, TempoRange range = kDefaultRange);
    ~BeatTracker();
    BeatTracker(const BeatTracker&) = delete;
    BeatTracker& operator=(const BeatTracker&) = delete;

    // Feeds `count` samples and appends the beats found, as sample positions counted from the
    // first sample fed since construction or reset() (fractional), to `beats`.
    void push(const float* mono, size_t count, std::vector<double>& beats);
    // The audio fed from now on continues the timeline `shift` samples away from where the audio
    // fed so far led (an A-B loop that went back: negative). The tempo and the beat grid found
    // so far are kept, moved with the timeline, so the beats go on at once where the grid puts
    // them; the beat phase is lined up again only on the audio after the jump. A beat not yet
    // reported from before the jump is dropped.
    void jump(double shift);
    // The tempo the tracker follows, in BPM (0 until it has heard enough).
    double tempo() const;
    void reset();

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace analysis::bpm

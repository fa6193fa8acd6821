// The vocal remover that keeps the stereo picture: in a short-time spectrum of the first two
// channels, each bin is lowered by how centred it sounds, and everything else stays where it was
// (a guitar on the left stays on the left, at its level; the room's reverb stays wide).
//
// A bin counts as centred when the two channels carry the same sound there: their cross-spectrum,
// smoothed over a few frames and the neighbouring bins, is in phase and coherent, and the level
// difference puts the source near the middle (a voice panned up to about a third to one side still
// counts; an instrument panned two thirds or more does not). Bins outside the frequency range (by
// default 120 Hz to 8 kHz: the bass and the air) pass untouched. Frames of about 46 ms (2048
// samples at 44.1 kHz) with a hop of a quarter, analysed and resynthesised through the square root
// of a Hann window, so that the windows sum flat and a strength of 0 gives the input back.
//
// The output lags the input by latency() frames; attach() sets it on the channel as a lagging DSP
// (engine::setLaggingDsp), which compensates it. Channels past the first two are delayed by as
// much and otherwise passed; a mono channel passes unchanged.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/fft.h"
#include "engine/bass.h"

namespace effects {

class StereoRemover {
  public:
    static constexpr float kDefaultLowHz = 120.0f;
    static constexpr float kDefaultHighHz = 8000.0f;

    StereoRemover(double sampleRate, int channels);
    StereoRemover(const StereoRemover&) = delete;
    StereoRemover& operator=(const StereoRemover&) = delete;

    // 0 leaves the sound as it is, 1 removes what is centred entirely. Any thread, at any time.
    void setStrength(float strength);
    // The band where the centre is removed, in Hz. Any thread, at any time.
    void setRange(float lowHz, float highHz);

    int latency() const { return size_; }
    // One block of 16-bit interleaved frames of `channels` channels, in place, without allocating.
    void process(int16_t* frames, size_t count);
    // Samples that went beyond full scale and were clipped, since it was made (any thread).
    int64_t clipped() const { return clipped_.load(std::memory_order_relaxed); }
    // Forgets the audio heard so far (after a seek).
    void reset();
    // Sets the procedure on `channel` (which must have the channel count given above); the DSP
    // handle, 0 on failure. Keep the object until the channel is freed or the DSP removed.
    HDSP attach(DWORD channel);

  private:
    void analyseAndResynthesise();
    static void dsp(HDSP, DWORD, void* buffer, DWORD length, void* user);

    double rate_;
    int channels_;
    int size_;  // frame length, a power of two
    int hop_;
    int filled_ = 0;  // samples of the current hop received
    analysis::RealFft fft_;
    std::vector<float> window_;
    std::vector<float> input_[2], output_[2], spectrum_[2];
    // Smoothed per bin: the power of each channel and the cross-spectrum.
    std::vector<float> powerL_, powerR_, crossRe_, crossIm_;
    std::vector<float> gain_;
    // The channels past the first two, delayed by latency().
    std::vector<int16_t> delayed_;
    std::atomic<int64_t> clipped_{0};
    size_t delayAt_ = 0;
    std::atomic<float> strength_{1.0f}, lowHz_{kDefaultLowHz}, highHz_{kDefaultHighHz};
};

}  // namespace effects

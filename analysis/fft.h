// The engine's real FFT, over aubio's (opened when the first transform is made: see
// shared_library.h). The BPM, beat and key analysers use it, and the stereo vocal remover both
// ways.
//
//   RealFft fft(4096);
//   fill fft.input()[0 .. 4095];
//   const float* mag = fft.magnitudes();   // bins 0 .. 2048
//
// One object per thread; objects on different threads are independent.
#pragma once

#include <memory>

namespace analysis {

class RealFft {
  public:
    explicit RealFft(int size);  // a power of two
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    int size() const { return size_; }

    // size() samples, the transform's input.
    float* input();
    // Transforms input(); the spectrum packed in size() values: the real part of bin k at [k]
    // for k = 0 .. size()/2, its imaginary part at [size() - k] for k = 1 .. size()/2 - 1.
    const float* packed();
    // Transforms input(); the magnitudes of bins 0 .. size()/2.
    const float* magnitudes();

    // size() values, a packed spectrum (as packed() gives) for inverse().
    float* spectrum();
    // Transforms spectrum() back to size() samples: inverse() after copying packed() into
    // spectrum() gives input() again. Allocates nothing (for audio callbacks).
    const float* inverse();

  private:
    // False when aubio could not be loaded: the transforms then give zeros.
    bool ok() const;

    struct Impl;
    int size_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace analysis

// The vocal remover: takes out what is mixed equally into both channels of a stereo recording
// (as a rule the lead voice) by replacing every frame with half the difference of its right and
// left samples, written to both channels.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "engine/bass.h"

namespace effects {

// One frame's result: round_half_even((right - left) / 2), limited to the 16-bit range (the one
// frame left = -32768, right = 32767 would give 32768 and stores 32767).
constexpr int16_t vocalRemoverSample(int16_t left, int16_t right) {
    const int32_t d = int32_t(right) - int32_t(left);
    const int32_t half = d >> 1;              // floor(d / 2)
    const int32_t v = half + (d & half & 1);  // an odd d rounds to the even neighbour
    return int16_t(v > 32767 ? 32767 : v);
}

// Attaches VocalRemoverDSP to `channel` with priority 0; the DSP handle (0 on failure). On a
// channel that is not stereo the procedure is attached but leaves the audio as it is.
HDSP attachVocalRemover(DWORD channel);

// True when the remover acts on `channel`: it has two channels.
bool vocalRemoverApplies(DWORD channel);

// The remover that keeps the bass: the band below the crossover passes as the mid signal
// (left + right) / 2, and above it the centre is removed as VocalRemoverDSP does. Both channels get
// the same result. The split is a 5th-order Butterworth pair: its two bands are in quadrature, so
// that both their sum and their difference keep every frequency's level. A part on the right
// (mid and side in phase) and one on the left (in opposite phase) thus come out equally, with no
// notch at the crossover. Owns its filter state: attach it to one channel, keep the object until
// that channel is freed or the DSP removed. On a channel that is not stereo it leaves the audio as
// it is.
class KeepBassRemover {
  public:
    static constexpr double kDefaultCrossoverHz = 150.0;

    // `removeCentre` false gives the two bands of the mid signal summed back (for checking that
    // the split is flat).
    explicit KeepBassRemover(double sampleRate, double crossoverHz = kDefaultCrossoverHz,
                             bool removeCentre = true);
    HDSP attach(DWORD channel);
    // One block of 16-bit interleaved stereo frames, in place.
    void process(int16_t* frames, size_t count);
    void reset();
    // Samples that went beyond full scale and were clipped, since it was made (any thread).
    int64_t clipped() const { return clipped_.load(std::memory_order_relaxed); }

  private:
    // One section in transposed direct form II (a first-order section has b2 = a2 = 0).
    struct Section {
        double b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        double z1 = 0, z2 = 0;
        double run(double x) {
            const double y = b0 * x + z1;
            z1 = b1 * x - a1 * y + z2;
            z2 = b2 * x - a2 * y;
            return y;
        }
    };
    static constexpr size_t kSections = 3;  // first order, then two second-order: 5th order
    static void dsp(HDSP, DWORD, void* buffer, DWORD length, void* user);

    std::array<Section, kSections> low_, high_;
    bool removeCentre_;
    bool split_ = true;  // false: the rate leaves no room for the crossover (all is bass)
    std::atomic<int64_t> clipped_{0};
};

// Sends the "Gain Audio" slider value (0..10) to the gain effect on `channel`: the amplification
// field becomes 10 - value, the fields before it 10 and the one after it 1000. The effect's
// current parameters are read first so that the field the program does not set keeps its value.
void setVocalRemoverGain(DWORD channel, int sliderValue);

}  // namespace effects

// The DSP procedure the engine calls with each block of 16-bit interleaved stereo audio. Works in
// place without allocating; a trailing partial frame (never sent by the engine) is left alone.
void VocalRemoverDSP(HDSP handle, DWORD channel, void* buffer, DWORD length, void* user);

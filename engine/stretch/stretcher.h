// The stretchers behind a tempo channel (engine/stretch/tempo.cpp), one file each: SoundTouch,
// the default and the one for live playback, and Rubber Band's finer engine, for high quality.
// Internal to the engine.
#pragma once

#include <cstdint>
#include <memory>

namespace engine::detail {

// Frames handed to a stretcher at a time.
constexpr int64_t kFeedFrames = 2048;

// What the tempo channel needs of a stretcher: interleaved float in and out, frames counted.
class Stretcher {
  public:
    virtual ~Stretcher() = default;
    virtual void set(double tempoPercent, double pitchSemitones, double rateFactor) = 0;
    virtual void put(const float* interleaved, int64_t frames) = 0;
    virtual int64_t available() = 0;
    virtual int64_t receive(float* interleaved, int64_t frames) = 0;
    virtual void clear() = 0;
    // True when set() changed a ratio the stretcher cannot change any more: restart it.
    virtual bool wantsRestart() const { return false; }
};

std::unique_ptr<Stretcher> makeSoundTouchStretcher(int rate, int chans);
// `decoding`: a decoding channel (a render), which runs the offline mode.
std::unique_ptr<Stretcher> makeRubberBandStretcher(int rate, int chans, bool decoding);

}  // namespace engine::detail

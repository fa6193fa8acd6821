// The musical key of a recording (tonic and mode), estimated from a chromagram over the whole
// file.
//
// Method: mono audio decimated to about 11 kHz, 8192-point FFT frames every 2048 samples,
// spectral peaks from 50 Hz to 2.5 kHz that last into the next frame (drum hits do not, so they
// are left out), the tuning as the circular mean of the peaks' offsets from equal temperament,
// a chroma of the peaks' compressed magnitudes (bass below 250 Hz counted twice: the bass line
// names the harmony), and the key whose profile (the sum of two classic key profiles)
// correlates best with that chroma, the share of the chroma on the key's scale counted beside
// (the key signature: sevenths tip the profiles towards the key a fifth up).
//
// Plain audio in, no engine handles: engine/key_channel.h reads channels and files into it.
//
// Threads: the free functions are reentrant and meant for a background thread; a KeyAnalyser
// is used by one thread at a time.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace analysis::key {

// The chroma of one analysis frame (C first), tuning applied: of the partials above the bass
// (250 Hz) and of the bass's.
struct FrameChroma {
    std::array<float, 12> upper{};
    std::array<float, 12> bass{};
};

struct KeyEstimate {
    int tonic = 0;  // 0 = C .. 11 = B
    bool minor = false;
    float confidence = 0;   // correlation of the chroma with the key's profile, 0..1
    float tuningCents = 0;  // the recording's offset from A = 440 Hz, -50..50 cents
};

// Progress in percent (0..100), called on the estimating thread.
using ProgressFn = std::function<void(float percent)>;

// The analysis frames: the key's (0.74 s long), or the chords' (half as long, twice as often).
enum class Frames { Key, Chords };

// Chroma of mono audio fed in blocks, and the key it points to.
class KeyAnalyser {
  public:
    explicit KeyAnalyser(int sampleRate, Frames frames = Frames::Key);
    ~KeyAnalyser();
    KeyAnalyser(const KeyAnalyser&) = delete;
    KeyAnalyser& operator=(const KeyAnalyser&) = delete;

    void push(const float* mono, size_t count);
    // Nothing when the audio held no lasting pitched sound, or only noise (its peaks keep to no
    // tuning).
    std::optional<KeyEstimate> estimate() const;
    // The chroma (C first), summed over the audio so far, tuning applied.
    std::array<double, 12> chroma() const;
    float tuningCents() const;
    // The chroma of every frame so far (the chords: chord_detect.h); frames are frameSeconds()
    // apart, the first centred at firstFrameSeconds() (before 0: its window starts in silence).
    std::vector<FrameChroma> frameChroma() const;
    double frameSeconds() const;
    double firstFrameSeconds() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// "A minor", "F# major", "Bb major": sharps for the keys written with sharps, flats for those
// written with flats (ASCII '#' and 'b').
std::string keyName(int tonic, bool minor);
std::string keyName(const KeyEstimate& k);

// The key after shifting the pitch by `semitones` (the mode, confidence and tuning unchanged).
KeyEstimate transposed(KeyEstimate k, int semitones);

}  // namespace analysis::key

// Tempo estimation on plain audio: an onset-strength envelope (log-band spectral flux) and a
// tempo estimator over it (autocorrelation, a comb over the first beat multiples and a tempo
// prior). No engine handles here: the engine's BPM operations feed these from decoding channels
// and from the playing channel's tap.
//
// Threads: an OnsetEnvelope is used by one thread at a time; the free functions are reentrant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace analysis::bpm {

// The range the tempo is searched in, in beats per minute.
// `ceiling` (when above `max`) lets a fast tempo through: a tempo between max and ceiling is
// reported only when the music's accents make it the beat (off-beats as strong as the beats, as
// in punk, metal or a fast polka), otherwise its half is.
struct TempoRange {
    float min = 60.0f;
    float max = 180.0f;
    float ceiling = 0.0f;
};

// The range used when a caller passes 0: 60..180 BPM covers the tempos of nearly all music
// with its beat, not its half or double; fast songs up to 210 BPM when their accents say so.
constexpr TempoRange kDefaultRange{60.0f, 180.0f, 210.0f};

// LOWORD = minimum, HIWORD = maximum. 0, or a half of 0, gives the default range; a reversed
// pair is swapped; values are kept within 20..500.
TempoRange rangeFromMinMax(uint32_t minMax);

// Onset strength of mono audio, one value per analysis frame (about 5.8 ms). Samples may be fed
// in blocks of any size; the result is the same as one call with everything. Besides the whole
// spectrum's onsets it keeps, frame by frame, the onsets of three parts of it and the changes of
// harmony, which the estimator uses to tell a tempo from its double.
enum class OnsetBand {
    Low,       // below about 300 Hz: kick drum, bass
    Mid,       // about 300 Hz to 4.5 kHz: chords, melody, the body of a snare
    High,      // above about 4.5 kHz: hi-hats, cymbals, the rattle of a snare
    Harmonic,  // changes of the pitch classes (chroma) sounding, every fourth frame held
};
class OnsetEnvelope {
  public:
    explicit OnsetEnvelope(int sampleRate);
    ~OnsetEnvelope();
    OnsetEnvelope(const OnsetEnvelope&) = delete;
    OnsetEnvelope& operator=(const OnsetEnvelope&) = delete;

    void push(const float* mono, size_t count);
    // Frames per second of the envelope, and input samples per frame.
    double frameRate() const;
    int samplesPerFrame() const;
    const std::vector<float>& values() const;
    // The onsets of one part of the spectrum; as long as values() and frame by frame with it.
    const std::vector<float>& bandValues(OnsetBand band) const;
    // Forgets the envelope values but keeps the analysis state, so that the next values continue
    // the stream seamlessly.
    void clearValues();
    // Forgets the first `count` values (the oldest), keeping the rest and the analysis state.
    void discardValues(size_t count);
    // Forgets everything (a new, unrelated stream follows).
    void reset();
    void reserveSeconds(double seconds);

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// The tempo of an onset envelope, in BPM, searched in `range`. A tempo found below the range
// (possible when the range is narrower than an octave) is doubled into it when `mult2` is set,
// otherwise returned as found. 0 when the envelope is too short (under about 2.5 s) or flat.
float estimateTempo(const std::vector<float>& envelope, double frameRate, TempoRange range,
                    bool mult2);

// The same from a whole onset envelope: with its parts of the spectrum and its harmony to tell a
// fast tempo from its half (a walking bass or a double kick on every beat, chords struck on every
// beat without drums).
float estimateTempo(const OnsetEnvelope& envelope, TempoRange range, bool mult2);

// Convenience: the envelope and the estimate of mono audio in one call.
float detectTempo(const float* mono, size_t count, int sampleRate, TempoRange range = kDefaultRange,
                  bool mult2 = true);

}  // namespace analysis::bpm

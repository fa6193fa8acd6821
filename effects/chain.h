// The effect chain a listener hears, as one value, and the one way it is put on channels.
//
// effects::Chain describes everything between the decoded file and the output: the vocal remover
// (off, full, keeping the bass, or keeping the stereo picture) with its gain, the equalizer with
// its seven bands, the sides heard (both, left, right or mono), tempo and pitch (semitones and
// cents). The main window's panels change the
// session's Chain and ask for it to be applied; the play channel, the render and `quorvin render`
// all go through ChainApplier, so what is heard and what is saved are built by the same code in
// the same order:
//
//   decoding stream -> gain -> vocal remover -> equalizer -> sides heard -> stretcher (tempo,
//   pitch)
//   -> output
//
// The remover and the equalizer work before the stretcher, on the source's own samples: the
// stretcher changes the phase between the channels, after which the centre no longer cancels.
//
// Threads: the controlling thread (the window thread, or the command line's); the effects then
// run on whichever thread processes the channel, under the channel's lock.
#pragma once

#include <array>
#include <memory>
#include <optional>

#include "effects/channel_pick.h"
#include "effects/equalizer.h"
#include "engine/bass.h"

namespace effects {

class KeepBassRemover;
class StereoRemover;

// How the vocal remover works: not at all, everywhere, only above the bass, or bin by bin in the
// spectrum, keeping the stereo picture (StereoRemover).
enum class Remover { Off, Full, KeepBass, Stereo };

// Whether the remover `mode` works on a source of `channels` channels: the stereo one on the first
// two of any number, the others on stereo only.
inline bool removerApplies(Remover mode, int channels) {
    return mode == Remover::Stereo ? channels >= 2 : channels == 2;
}

struct Chain {
    Remover remover = Remover::Off;
    // The stereo remover's strength (0..1) and the band it works in (Hz).
    float stereoStrength = 1.0f;
    float stereoLowHz = 120.0f;
    float stereoHighHz = 8000.0f;
    // The "Gain Audio" slider (0..10) while the remover is on: the gain factor is 10 - value.
    int removerGainSlider = 9;
    bool equalizer = false;
    std::array<int, kEqBands> eqSliders{};  // slider values: gain = -value dB
    Channels channels = Channels::Stereo;   // the sides heard (stereo sources only)
    float tempoPercent = 0.0f;              // -60 .. +60
    float pitchSemitones = 0.0f;            // -8 .. +8
    float pitchCents = 0.0f;                // -50 .. +50, on top of the semitones

    // The whole pitch shift in semitones: the semitones and the cents.
    float pitchShift() const { return pitchSemitones + pitchCents / 100.0f; }

    bool operator==(const Chain&) const = default;
};

// Keeps one pair of channels in step with a Chain: the gain, the remover and the equalizer on the
// decoding stream the stretcher reads, tempo and pitch on the tempo channel. apply() changes only
// what differs from the chain it applied last, so a slider's move does not reset the filters.
class ChainApplier {
  public:
    ChainApplier();
    ~ChainApplier();  // takes the effects off channels that still exist
    ChainApplier(const ChainApplier&) = delete;
    ChainApplier& operator=(const ChainApplier&) = delete;

    // The channels the chain goes on from now on; nothing is applied until apply(). The channels
    // bound before are left as they are (they are gone, or keep what they had).
    void bind(DWORD effectsStream, DWORD tempoChannel);
    void apply(const Chain& chain);
    // Takes the gain, the remover and the equalizer off the bound stream and forgets the channels.
    void detach();
    // Samples the keep-bass and stereo removers clipped since the channels were bound.
    int64_t removerClippedSamples() const;

  private:
    void setRemover(Remover mode);

    DWORD effects_ = 0;
    DWORD tempo_ = 0;
    std::optional<Chain> applied_;
    HDSP removerDsp_ = 0;
    HDSP pickDsp_ = 0;
    // The keep-bass remover's filters, alive while its procedure is attached.
    std::unique_ptr<KeepBassRemover> keepBass_;
    // The stereo remover, alive while its procedure is attached.
    std::unique_ptr<StereoRemover> stereo_;
    int64_t removedClipped_ = 0;  // what the removers taken off clipped
    BASS_FX_DSPPEAKEQ eqParams_{};
};

}  // namespace effects

// The chords of a recording over time (major and minor triads with their sevenths, or no chord),
// from the frame
// chroma of the key analyser (key_detect.h, with frames of 0.37 s every 0.09 s): each frame scored
// against the 24 triads by the cosine of its chroma with the triad's notes, with a bass on the root
// counted beside it (so Dm7 reads as D minor, not F major, and C/E as C), and the sequence that
// scores best over the whole file with a cost for every change (Viterbi), so a passing note does
// not split a chord. Within each triad's span the seventh is chosen the same way (none, minor or
// major seventh, by its chroma against the triad's), so C Cmaj7 C7 splits where the seventh moves.
//
// Threads: reentrant; meant for a background thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "analysis/key_detect.h"

namespace analysis::chords {

struct ChordSpan {
    double start = 0, end = 0;  // seconds
    int root = -1;              // 0 = C .. 11 = B; -1: no chord (silence, drums alone)
    bool minor = false;
    // The seventh sounding with the triad, in semitones above the root: 10 (G7, Dm7), 11 (Cmaj7);
    // 0: none.
    int seventh = 0;
};

// The chords of `frames`, `hop` seconds apart with the first centred at `first`; the spans are
// in order, meet each other, start at 0 and end at `end` (seconds; the audio's length).
std::vector<ChordSpan> chordSpans(const std::vector<key::FrameChroma>& frames, double hop,
                                  double first, double end);

// The chords of mono audio fed in blocks (through a key analyser with the chords' frames). Used
// by one thread at a time.
class ChordAnalyser {
  public:
    explicit ChordAnalyser(int sampleRate);
    void push(const float* mono, size_t count);
    std::vector<ChordSpan> spans() const;

  private:
    key::KeyAnalyser analyser_;
    int rate_;
    size_t frames_ = 0;
};

// How a chord's root is written: as the key of the root itself is named (Bb, Eb, Ab, Db, F#;
// C#m, G#m, Ebm, Bbm), or all with sharps or all with flats, as a key's signature writes them.
enum class Spelling { Usual, Sharps, Flats };
// The spelling of the key `tonic` (0 = C) major or minor, as keyName names it: sharps for a key
// of sharps (G, D, A, E, B, F# major; E, B, F#, C#, G# minor), flats for one of flats, the usual
// for C major and A minor.
Spelling spellingOf(int tonic, bool minor);
// The spelling of the chords of a song in `key` heard `semitones` up or down: the usual one when
// no key was found.
Spelling spellingOf(const std::optional<key::KeyEstimate>& key, int semitones);

// "C", "F#m", "Bb", "Ebm"; "N.C." for no chord.
std::string chordName(int root, bool minor, Spelling spelling = Spelling::Usual);
// The same with the seventh: "G7", "Dm7", "Cmaj7".
std::string chordName(const ChordSpan& c, Spelling spelling = Spelling::Usual);

// The chord after shifting the pitch by `semitones`.
ChordSpan transposed(ChordSpan c, int semitones);

// The span holding `seconds`, or nothing (before the first, after the last, or no spans).
const ChordSpan* chordAt(const std::vector<ChordSpan>& spans, double seconds);

}  // namespace analysis::chords

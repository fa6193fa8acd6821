// Text helpers of the BPM and beat display. Any thread.
#pragma once

#include <QString>
#include <limits>
#include <optional>
#include <string>

#include <vector>

#include "analysis/chord_detect.h"
#include "analysis/key_detect.h"

namespace player {

// The leading number of a text, read the way the period box is read: blanks anywhere are
// skipped, an optional sign, digits with one decimal point, an optional exponent (E or D), or a
// hexadecimal (&H) or octal (&O) integer; reading stops at the first character that cannot
// continue the number. A text without a leading number gives 0. "10 s" gives 10.
double leadingNumber(const std::string& text);

// A value with at least one integer digit and exactly two decimals, with the system's decimal
// separator and no grouping ("0.00").
QString twoDecimals(double value);

// The key label's text: "Key: …" while `estimating`, "Key: unknown" when no key was found,
// "Key: A minor", and with the pitch moved by `semitones` (the whole shift, cents included) the
// key heard beside it, the nearest one to the shift: "Key: A minor → G minor (−2)",
// "Key: A minor → F# minor (−2 −50 cents)".
QString keyText(bool estimating, const std::optional<analysis::key::KeyEstimate>& key,
                double semitones);

// The chord label's text: "Chord: …" while `estimating`, "Chord:" before a place is known
// (`seconds` < 0) or where no chord was found, "Chord: Am" at `seconds`, "Chord: N.C." where
// nothing pitched plays, and with the pitch moved by `semitones` the chord heard beside it,
// shifted by the nearest whole semitone: "Chord: Am → Gm". Sharps or flats as the `key` (and the
// key heard) writes them.
QString chordText(bool estimating, const std::vector<analysis::chords::ChordSpan>& chords,
                  double seconds, double semitones,
                  const std::optional<analysis::key::KeyEstimate>& key = std::nullopt);

// The beat positions of one play run, as they are shown: they only move forward, except when an
// A-B loop wraps (a beat inside the loop after one near its end). A seek, a new file or Play
// starts a new run.
class BeatRun {
  public:
    void restart() { last_ = -std::numeric_limits<double>::infinity(); }
    // The loop the channel wraps in (seconds on the file's timeline); a >= b: none.
    void setLoop(double a, double b) {
        loopA_ = a;
        loopB_ = b;
    }
    // True when `seconds` is to be shown (and becomes the run's last position).
    bool accept(double seconds);

  private:
    double last_ = -std::numeric_limits<double>::infinity();
    double loopA_ = 0.0, loopB_ = 0.0;
};

// The tempo of beats tapped by hand: the median of the last (up to eight) intervals, once three
// are known. A pause of more than kTapPause seconds starts over; a tap within kTapBounce seconds
// of the one before is a bounce of the same tap and is dropped.
class TapTempo {
  public:
    static constexpr double kTapPause = 2.0, kTapBounce = 0.1;
    // A tap at `seconds` on any steady clock; the tapped BPM, or 0 while too few taps are known.
    double tap(double seconds);
    void restart() { times_.clear(); }

  private:
    std::vector<double> times_;
};

// The power of two (-2..2) that brings `bpm` nearest to `tapped`; 0 when either is not a tempo.
int octaveToward(double bpm, double tapped);

}  // namespace player

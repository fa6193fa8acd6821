#include "analysis/chord_detect.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace analysis::chords {

namespace {

constexpr int kChords = 24;        // C, C#, .. B major, then the minors
constexpr int kNoChord = kChords;  // the state of no chord
constexpr int kStates = kChords + 1;
// The weights were set on the tuned part of the real-music chord benchmark (bench_chords), over a
// coarse grid; the held-out part took no part.
constexpr double kBassWeight = 0.1;    // a bass on the root, as a share of the bass, counts this
constexpr double kNoChordScore = 0.5;  // what no chord scores against the triads' cosines
constexpr double kChangeCost = 1.5;    // the cost of a change of chord, in frame scores
// A frame with less than this share of the file's median chroma energy holds no chord.
constexpr double kQuietShare = 0.05;
// A triad sounds when two of its notes do: the second loudest of its three with at least this
// share of the loudest. Where one note alone sounds (a sine, a bass or a melody's long note), every
// triad that holds it would score its cosine: they score just under no chord, so that a file or
// a passage of one note has none, while the change costs keep a chord through a moment of one
// note within it (on the real tuned tracks a margin of 0.05 cost 0.1 point; scoring 0, 6 points).
constexpr double kSecondNoteShare = 0.1;
constexpr double kOneNoteMargin = 0.01;
// A frame scores no seventh at this share, a seventh by its chroma over the mean of the triad's
// notes (bass included); a change of seventh within a triad costs kSeventhChange frame scores. Set
// on the tuned parts of the real and generated sets of bench_chords (share 0.4-0.5 and cost 2-6
// are within 1.5 points on both).
constexpr double kSeventhShare = 0.45;
constexpr double kSeventhChange = 3.0;

int rootOf(int state) {
    return state % 12;
}
bool minorOf(int state) {
    return state >= 12 && state < kChords;
}

// The sequence of states with the best total of `s` (a row per frame) less `change` for each
// change of state (Viterbi). The best way into a change is from the best state so far.
template <size_t N>
std::vector<int> bestPath(const std::vector<std::array<double, N>>& s, double change) {
    std::vector<int> path(s.size());
    if (s.empty()) return path;
    std::vector<std::array<uint8_t, N>> from(s.size());
    std::array<double, N> best = s[0];
    for (size_t f = 1; f < s.size(); ++f) {
        size_t top = 0;
        for (size_t j = 1; j < N; ++j)
            if (best[j] > best[top]) top = j;
        std::array<double, N> next{};
        for (size_t j = 0; j < N; ++j) {
            const bool stays = best[j] >= best[top] - change;
            next[j] = (stays ? best[j] : best[top] - change) + s[f][j];
            from[f][j] = uint8_t(stays ? j : top);
        }
        best = next;
    }
    size_t state = 0;
    for (size_t j = 1; j < N; ++j)
        if (best[j] > best[state]) state = j;
    for (size_t f = s.size(); f-- > 0;) {
        path[f] = int(state);
        state = from[f][state];
    }
    return path;
}

// Each frame's score for every state.
std::vector<std::array<double, kStates>> scores(const std::vector<key::FrameChroma>& frames) {
    std::vector<double> energy(frames.size());
    for (size_t f = 0; f < frames.size(); ++f) {
        double e = 0;
        for (int i = 0; i < 12; ++i) e += frames[f].upper[size_t(i)] + frames[f].bass[size_t(i)];
        energy[f] = e;
    }
    std::vector<double> sorted;
    for (double e : energy)
        if (e > 0) sorted.push_back(e);
    double median = 0;
    if (!sorted.empty()) {
        std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
        median = sorted[sorted.size() / 2];
    }
    std::vector<std::array<double, kStates>> s(frames.size());
    for (size_t f = 0; f < frames.size(); ++f) {
        auto& row = s[f];
        row.fill(0.0);
        row[kNoChord] = kNoChordScore;
        if (!(energy[f] > kQuietShare * median)) {
            row[kNoChord] = 1.0;
            continue;
        }
        std::array<double, 12> x{};
        double norm = 0, bassSum = 0;
        for (int i = 0; i < 12; ++i) {
            x[size_t(i)] = double(frames[f].upper[size_t(i)]) + frames[f].bass[size_t(i)];
            norm += x[size_t(i)] * x[size_t(i)];
            bassSum += frames[f].bass[size_t(i)];
        }
        norm = std::sqrt(norm);
        for (int state = 0; state < kChords; ++state) {
            const int r = rootOf(state);
            const int third = (r + (minorOf(state) ? 3 : 4)) % 12, fifth = (r + 7) % 12;
            const double cosine =
                (x[size_t(r)] + x[size_t(third)] + x[size_t(fifth)]) / (norm * std::sqrt(3.0));
            const double bass = bassSum > 0 ? frames[f].bass[size_t(r)] / bassSum : 0.0;
            std::array<double, 3> notes{x[size_t(r)], x[size_t(third)], x[size_t(fifth)]};
            std::sort(notes.begin(), notes.end());
            row[size_t(state)] = cosine + kBassWeight * bass;
            if (notes[1] < kSecondNoteShare * notes[2])
                row[size_t(state)] = std::min(row[size_t(state)], kNoChordScore - kOneNoteMargin);
        }
    }
    return s;
}

// The sevenths of the frames `from` to `to` (centred at `first` + f * `hop`), all of the triad
// `c`: each frame scores no seventh at kSeventhShare and each seventh by its chroma over the mean
// of the triad's notes (bass included), and the best sequence with a cost for each change
// (Viterbi), as for the triads. `c` split where its seventh changes (C Cmaj7 C7) goes to `out`.
void splitBySeventh(const ChordSpan& c, const std::vector<key::FrameChroma>& frames, size_t from,
                    size_t to, double first, double hop, std::vector<ChordSpan>& out) {
    if (c.root < 0 || from >= to) {
        out.push_back(c);
        return;
    }
    const int r = c.root;
    const size_t third = size_t((r + (c.minor ? 3 : 4)) % 12), fifth = size_t((r + 7) % 12);
    const size_t minor7 = size_t((r + 10) % 12), major7 = size_t((r + 11) % 12);
    constexpr size_t kKinds = 3;  // none, minor seventh, major seventh
    std::vector<std::array<double, kKinds>> score(to - from);
    for (size_t f = from; f < to; ++f) {
        auto x = [&](size_t i) { return double(frames[f].upper[i]) + frames[f].bass[i]; };
        const double triad = (x(size_t(r)) + x(third) + x(fifth)) / 3;
        auto ratio = [&](size_t i) { return triad > 0 ? std::min(x(i) / triad, 2.0) : 0.0; };
        score[f - from] = {kSeventhShare, ratio(minor7), c.minor ? -1e9 : ratio(major7)};
    }
    const std::vector<int> kinds = bestPath(score, kSeventhChange);
    static constexpr int kSeventh[kKinds] = {0, 10, 11};
    for (size_t i = 0; i < kinds.size(); ++i) {
        if (i > 0 && kinds[i] == kinds[i - 1]) continue;
        ChordSpan part = c;
        part.seventh = kSeventh[size_t(kinds[i])];
        if (i > 0) {
            part.start = std::clamp(first + (double(from + i) - 0.5) * hop, c.start, c.end);
            out.back().end = part.start;
        }
        out.push_back(part);
    }
    out.back().end = c.end;
}

}  // namespace

std::vector<ChordSpan> chordSpans(const std::vector<key::FrameChroma>& frames, double hop,
                                  double first, double end) {
    std::vector<ChordSpan> spans;
    if (frames.empty() || !(hop > 0) || !(end > 0)) return spans;
    const auto s = scores(frames);
    const std::vector<int> path = bestPath(s, kChangeCost);
    // Spans meet halfway between the centres of the frames where the chord changes.
    struct Run {
        int state;
        double start;
    };
    std::vector<Run> runs;
    for (size_t f = 0; f < path.size(); ++f)
        if (f == 0 || path[f] != path[f - 1])
            runs.push_back(
                {path[f], f == 0 ? 0.0 : std::clamp(first + (double(f) - 0.5) * hop, 0.0, end)});
    for (size_t i = 0; i < runs.size(); ++i) {
        const double to = i + 1 < runs.size() ? runs[i + 1].start : end;
        if (!(to > runs[i].start)) continue;
        ChordSpan c;
        c.start = runs[i].start;
        c.end = to;
        c.root = runs[i].state == kNoChord ? -1 : rootOf(runs[i].state);
        c.minor = minorOf(runs[i].state);
        if (!spans.empty() && spans.back().root == c.root && spans.back().minor == c.minor)
            spans.back().end = to;
        else
            spans.push_back(c);
    }
    if (!spans.empty()) spans.front().start = 0.0;
    // Each chord's sevenths, from the frames centred in its span.
    std::vector<ChordSpan> withSevenths;
    size_t f = 0;
    for (const ChordSpan& c : spans) {
        while (f < frames.size() && first + double(f) * hop < c.start) ++f;
        size_t to = f;
        while (to < frames.size() && first + double(to) * hop < c.end) ++to;
        splitBySeventh(c, frames, f, to, first, hop, withSevenths);
        f = to;
    }
    return withSevenths;
}

ChordAnalyser::ChordAnalyser(int sampleRate)
    : analyser_(sampleRate, key::Frames::Chords), rate_(sampleRate > 0 ? sampleRate : 44100) {}

void ChordAnalyser::push(const float* mono, size_t count) {
    analyser_.push(mono, count);
    frames_ += count;
}

std::vector<ChordSpan> ChordAnalyser::spans() const {
    return chordSpans(analyser_.frameChroma(), analyser_.frameSeconds(),
                      analyser_.firstFrameSeconds(), double(frames_) / rate_);
}

Spelling spellingOf(int tonic, bool minor) {
    //                                 C  Db D  Eb E  F  F# G  Ab A  Bb B
    static constexpr int kMajor[12] = {0, 2, 1, 2, 1, 2, 1, 1, 2, 1, 2, 1};
    static constexpr int kMinor[12] = {2, 1, 2, 2, 1, 2, 1, 2, 1, 0, 2, 1};
    const int t = ((tonic % 12) + 12) % 12;
    return Spelling((minor ? kMinor : kMajor)[t]);
}

Spelling spellingOf(const std::optional<key::KeyEstimate>& key, int semitones) {
    return key ? spellingOf(key->tonic + semitones, key->minor) : Spelling::Usual;
}

std::string chordName(int root, bool minor, Spelling spelling) {
    static constexpr const char* kUsual[12] = {"C",  "Db", "D",  "Eb", "E",  "F",
                                               "F#", "G",  "Ab", "A",  "Bb", "B"};
    static constexpr const char* kUsualMinor[12] = {"C",  "C#", "D",  "Eb", "E",  "F",
                                                    "F#", "G",  "G#", "A",  "Bb", "B"};
    static constexpr const char* kSharps[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                                "F#", "G",  "G#", "A",  "A#", "B"};
    static constexpr const char* kFlats[12] = {"C",  "Db", "D",  "Eb", "E",  "F",
                                               "Gb", "G",  "Ab", "A",  "Bb", "B"};
    if (root < 0) return "N.C.";
    const int r = root % 12;
    const char* name = spelling == Spelling::Sharps  ? kSharps[r]
                       : spelling == Spelling::Flats ? kFlats[r]
                       : minor                       ? kUsualMinor[r]
                                                     : kUsual[r];
    return std::string(name) + (minor ? "m" : "");
}

std::string chordName(const ChordSpan& c, Spelling spelling) {
    std::string name = chordName(c.root, c.minor, spelling);
    if (c.root >= 0 && c.seventh == 10) name += "7";
    if (c.root >= 0 && c.seventh == 11) name += "maj7";
    return name;
}

ChordSpan transposed(ChordSpan c, int semitones) {
    if (c.root >= 0) c.root = ((c.root + semitones) % 12 + 12) % 12;
    return c;
}

const ChordSpan* chordAt(const std::vector<ChordSpan>& spans, double seconds) {
    const auto it = std::upper_bound(spans.begin(), spans.end(), seconds,
                                     [](double t, const ChordSpan& c) { return t < c.end; });
    if (it == spans.end() || seconds < it->start) return nullptr;
    return &*it;
}

}  // namespace analysis::chords

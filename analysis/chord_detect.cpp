#include "analysis/chord_detect.h"

#include <algorithm>
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

int rootOf(int state) {
    return state % 12;
}
bool minorOf(int state) {
    return state >= 12 && state < kChords;
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
            row[size_t(state)] = cosine + kBassWeight * bass;
        }
    }
    return s;
}

}  // namespace

std::vector<ChordSpan> chordSpans(const std::vector<key::FrameChroma>& frames, double hop,
                                  double first, double end) {
    std::vector<ChordSpan> spans;
    if (frames.empty() || !(hop > 0) || !(end > 0)) return spans;
    const auto s = scores(frames);
    // Viterbi: the best total score of a path ending in each state, and where each came from.
    std::vector<std::array<uint8_t, kStates>> from(frames.size());
    std::array<double, kStates> best{};
    for (int j = 0; j < kStates; ++j) best[size_t(j)] = s[0][size_t(j)];
    for (size_t f = 1; f < frames.size(); ++f) {
        int top = 0;
        for (int j = 1; j < kStates; ++j)
            if (best[size_t(j)] > best[size_t(top)]) top = j;
        std::array<double, kStates> next{};
        for (int j = 0; j < kStates; ++j) {
            const double stay = best[size_t(j)], change = best[size_t(top)] - kChangeCost;
            const bool stays = stay >= change;
            next[size_t(j)] = (stays ? stay : change) + s[f][size_t(j)];
            from[f][size_t(j)] = uint8_t(stays ? j : top);
        }
        best = next;
    }
    std::vector<int> path(frames.size());
    int state = 0;
    for (int j = 1; j < kStates; ++j)
        if (best[size_t(j)] > best[size_t(state)]) state = j;
    for (size_t f = frames.size(); f-- > 0;) {
        path[f] = state;
        state = from[f][size_t(state)];
    }
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
    return spans;
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

std::string chordName(int root, bool minor) {
    static constexpr const char* kMajor[12] = {"C",  "Db", "D",  "Eb", "E",  "F",
                                               "F#", "G",  "Ab", "A",  "Bb", "B"};
    static constexpr const char* kMinor[12] = {"Cm",  "C#m", "Dm",  "Ebm", "Em",  "Fm",
                                               "F#m", "Gm",  "G#m", "Am",  "Bbm", "Bm"};
    if (root < 0) return "N.C.";
    const int r = root % 12;
    return minor ? kMinor[r] : kMajor[r];
}

std::string chordName(const ChordSpan& c) {
    return chordName(c.root, c.minor);
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

// Chord benchmark: the share of the time the chord shown (analysis/chord_detect.h) is the chord
// played, as a major or minor triad (G7 is G, Dm7 is Dm, Cmaj7 is C) and as the whole chord with
// its seventh (beside it, the same chords with no seventh named), sampled every 50 ms from 0.5 s
// on.
//
// The real set: the MMA accompaniments of the real BPM set (bench/bpm/make_real_set.sh), whose
// chords.tsv gives each groove's bar length and its progression, one chord a bar; its parts are
// the BPM set's (a third of the styles held out). The generated set: the key benchmark's tracks
// (tests/engine/test_key_music.h), seeds 1 and 2 tuned, 11 and 12 held out. The baseline: the
// Queen Mary DSP library's chromagram (as its key detector sets it up) matched frame by frame
// against the same triads, when the library is installed. Time: the chord analysis against the
// key analysis of the same audio (the window's worker runs both in one decoding).
//
// Options: --tuned-only, --real-only, --verbose (the tracks under 80 %), --real <folder>.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/chord_detect.h"
#include "analysis/key_detect.h"
#include "bench/key/real_set.h"
#include "tests/engine/test_key_music.h"
#include "tests/support/audio_fixtures.h"
#ifdef QUORVIN_QM_DSP
#include "bench/key/qm_chords.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;
using analysis::chords::ChordSpan;

// A chord of a progression: "Bb7" is Bb major with its minor seventh, "Dm7" D minor with its
// minor seventh, "Cmaj7" C major with its major seventh.
struct Played {
    keytest::ChordAt triad;
    int seventh = 0;  // semitones above the root, 0: none
};

Played parseChord(const std::string& name) {
    static const std::map<char, int> kLetters = {{'C', 0}, {'D', 2}, {'E', 4}, {'F', 5},
                                                 {'G', 7}, {'A', 9}, {'B', 11}};
    Played c{{0, kLetters.at(name[0]), false}, 0};
    size_t i = 1;
    if (i < name.size() && (name[i] == '#' || name[i] == 'b')) {
        c.triad.root = (c.triad.root + (name[i] == '#' ? 1 : 11)) % 12;
        ++i;
    }
    const std::string rest = name.substr(i);
    c.triad.minor = rest.rfind("m", 0) == 0 && rest.rfind("maj", 0) != 0;
    if (rest == "7" || rest == "m7") c.seventh = 10;
    if (rest == "maj7") c.seventh = 11;
    return c;
}

// The shares of the sampled times at which `spans` give the triad of `truth` (in order) and the
// chord with its seventh (`sevenths`, one per chord of `truth`; none when empty).
struct Agreement {
    double triad = 0, full = 0;
};
Agreement agreement(const std::vector<ChordSpan>& spans, const std::vector<keytest::ChordAt>& truth,
                    const std::vector<int>& sevenths, double seconds) {
    int n = 0, right = 0, full = 0;
    for (double t = 0.5; t < seconds - 0.25; t += 0.05) {
        auto it = std::upper_bound(truth.begin(), truth.end(), t,
                                   [](double x, const keytest::ChordAt& c) { return x < c.start; });
        if (it == truth.begin()) continue;
        --it;
        const ChordSpan* c = analysis::chords::chordAt(spans, t);
        ++n;
        const bool triad = c && c->root == it->root && c->minor == it->minor;
        right += triad;
        const int seventh = sevenths.empty() ? 0 : sevenths[size_t(it - truth.begin())];
        full += triad && c->seventh == seventh;
    }
    return n ? Agreement{double(right) / n, double(full) / n} : Agreement{};
}

struct Tally {
    double sum = 0;
    int n = 0;
    void add(double v) {
        sum += v;
        ++n;
    }
    double mean() const { return n ? 100.0 * sum / n : 0.0; }
};

struct Result {
    Agreement ours, oursTriads;  // oursTriads: the same chords with no seventh named
    double theirs = -1;
    double analyseMs = 0, chordsMs = 0;
};

Result measure(const fixtures::Pcm& pcm, const std::vector<keytest::ChordAt>& truth,
               const std::vector<int>& sevenths) {
    Result r;
    const std::vector<float> mono = realset::monoOf(pcm);
    const double seconds = double(mono.size()) / pcm.rate;
    const auto t0 = Clock::now();
    analysis::key::KeyAnalyser key(pcm.rate);
    key.push(mono.data(), mono.size());
    (void)key.estimate();
    const auto t1 = Clock::now();
    analysis::chords::ChordAnalyser chords(pcm.rate);
    chords.push(mono.data(), mono.size());
    const auto spans = chords.spans();
    const auto t2 = Clock::now();
    r.analyseMs = std::chrono::duration<double, std::milli>(t1 - t0).count();
    r.chordsMs = std::chrono::duration<double, std::milli>(t2 - t1).count();
    r.ours = agreement(spans, truth, sevenths, seconds);
    std::vector<ChordSpan> triads = spans;
    for (ChordSpan& c : triads) c.seventh = 0;
    r.oursTriads = agreement(triads, truth, sevenths, seconds);
#ifdef QUORVIN_QM_DSP
    r.theirs =
        agreement(qmChords(mono.data(), mono.size(), pcm.rate), truth, sevenths, seconds).triad;
#endif
    return r;
}

// Triads, then whole chords (the seventh as well), and whole chords when no seventh is named.
struct Tallies {
    Tally triad, full, fullNoSevenths, theirs;
    void add(const Result& r) {
        triad.add(r.ours.triad);
        full.add(r.ours.full);
        fullNoSevenths.add(r.oursTriads.full);
        if (r.theirs >= 0) theirs.add(r.theirs);
    }
};

void report(const char* what, const Tallies& t) {
    std::printf(
        "chords: %-28s (%3d) triad %5.1f %%, with the seventh %5.1f %% (%5.1f %% naming none)",
        what, t.triad.n, t.triad.mean(), t.full.mean(), t.fullNoSevenths.mean());
    if (t.theirs.n)
        std::printf("   Queen Mary chromagram, triad frame by frame: %5.1f %%", t.theirs.mean());
    std::printf("\n");
}

void real(const std::string& folder, bool tunedOnly, bool verbose) {
    std::map<std::string, std::string> partOf = realset::parts(folder);
    std::ifstream chords(folder + "/chords.tsv");
    if (partOf.empty() || !chords) {
        std::printf(
            "chords: real set: no %s/chords.tsv (make it with bench/bpm/make_real_set.sh)\n",
            folder.c_str());
        return;
    }
    std::string line;
    Tallies tally[2];
    while (std::getline(chords, line)) {
        std::istringstream in(line);
        std::string file, bar, prog;
        if (!std::getline(in, file, '\t') || !std::getline(in, bar, '\t') ||
            !std::getline(in, prog) || !partOf.count(file))
            continue;
        const int pi = partOf[file] == "held-out" ? 1 : 0;
        if (tunedOnly && pi == 1) continue;
        std::vector<Played> names;
        std::istringstream ps(prog);
        for (std::string c; ps >> c;) names.push_back(parseChord(c));
        const double barSeconds = std::atof(bar.c_str());
        const fixtures::Pcm pcm = fixtures::readAudio(folder + "/" + file);
        std::vector<keytest::ChordAt> truth;
        std::vector<int> sevenths;
        for (int b = 0; b * barSeconds < 31; ++b) {
            const Played& c = names[size_t(b) % names.size()];
            truth.push_back(c.triad);
            truth.back().start = b * barSeconds;
            sevenths.push_back(c.seventh);
        }
        const Result r = measure(pcm, truth, sevenths);
        tally[pi].add(r);
        if (verbose && (r.ours.triad < 0.8 || r.ours.full < 0.6))
            std::printf("chords:   %-52s %-28s %5.1f %% %5.1f %% (QM %5.1f %%)\n", file.c_str(),
                        prog.c_str(), 100 * r.ours.triad, 100 * r.ours.full, 100 * r.theirs);
    }
    report("real, tuned part", tally[0]);
    if (!tunedOnly) report("real, held-out part", tally[1]);
}

}  // namespace

int main(int argc, char** argv) {
    const realset::Options o = realset::options(argc, argv);
    const bool tunedOnly = o.tunedOnly, verbose = o.verbose;
    real(o.folder, tunedOnly, verbose);
    if (o.realOnly) return 0;
    constexpr double kSeconds = 20;
    double analyseMs = 0, chordsMs = 0;
    for (unsigned seeds : {1u, 11u}) {
        if (tunedOnly && seeds != 1) continue;
        Tallies tally;
        for (unsigned seed : {seeds, seeds + 1})
            for (const auto& k : keytest::keySet(seed)) {
                std::vector<keytest::ChordAt> truth;
                const fixtures::Pcm pcm = keytest::keyTrack(k, kSeconds, seed, 44100, &truth);
                const Result r = measure(pcm, truth, {});
                tally.add(r);
                analyseMs += r.analyseMs;
                chordsMs += r.chordsMs;
                if (verbose && r.ours.full < 0.8)
                    std::printf("chords:   %-9s%s%s seed %u: %5.1f %%\n",
                                analysis::key::keyName(k.tonic, k.minor).c_str(),
                                k.drums ? " drums" : "", k.cents ? " detuned" : "", seed,
                                100 * r.ours.full);
            }
        report(seeds == 1 ? "generated, tuned seeds" : "generated, held-out seeds", tally);
    }
    if (analyseMs > 0)
        std::printf("chords: the chord analysis takes %.2f x the time of the key analysis\n",
                    chordsMs / analyseMs);
    return 0;
}

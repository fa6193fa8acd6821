// Key benchmark: engine::estimateKey on WAV files of test_key_music.h (every tonic, both
// modes, with and without drums, in tune and 20..45 cents off). Scores: exact key; exact with
// the fifth, relative and parallel keys counted as half; and the weighted score (exact 1, fifth
// 0.5, relative 0.3, parallel 0.2). Seeds 1 and 2 are the set the estimator was tuned on;
// seeds 11 and 12 are held out. Time: estimation per minute of audio, against decoding the same
// file alone through the engine (the part of the work that is not ours).
//
// The real set: the tracks of the real BPM set (bench/bpm/make_real_set.sh) whose key is known, as
// listed in its keys.tsv: MMA accompaniments over progressions in C major, A minor, F major and G
// minor, and MIDI songs whose file gives a key signature other than C major. Its parts are the BPM
// set's (a third of the styles and songs held out); the Queen Mary DSP library's key detector runs
// on the same files when it is installed.
//
// Options: --tuned-only, --verbose (list the misses), --real <folder> (default
// ~/.cache/quorvin/bpm-real), --real-only.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/key_detect.h"
#include "bench/key/real_set.h"
#include "engine/bass.h"
#include "engine/bpm/key_channel.h"
#include "tests/engine/test_key_music.h"
#include "tests/support/audio_fixtures.h"
#ifdef QUORVIN_QM_DSP
#include "bench/key/qm_key.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

enum class Relation { Exact, Fifth, Relative, Parallel, Other };

Relation relate(const keytest::KeyTrack& truth, const analysis::key::KeyEstimate& k) {
    const int d = ((k.tonic - truth.tonic) % 12 + 12) % 12;
    if (k.minor == truth.minor) {
        if (d == 0) return Relation::Exact;
        if (d == 7 || d == 5) return Relation::Fifth;
        return Relation::Other;
    }
    if (d == 0) return Relation::Parallel;
    // The relative minor lies 9 semitones above a major tonic; the relative major 3 above a minor.
    if ((!truth.minor && d == 9) || (truth.minor && d == 3)) return Relation::Relative;
    return Relation::Other;
}

double decodeMs(const std::string& path) {
    const auto t0 = Clock::now();
    const HSTREAM s = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    std::vector<int16_t> buf(32768);
    while (BASS_ChannelGetData(s, buf.data(), DWORD(buf.size() * 2)) > 0) {
    }
    BASS_StreamFree(s);
    return msSince(t0);
}

double weightOf(Relation r) {
    return r == Relation::Exact      ? 1.0
           : r == Relation::Fifth    ? 0.5
           : r == Relation::Relative ? 0.3
           : r == Relation::Parallel ? 0.2
                                     : 0.0;
}

struct Tally {
    int n = 0, exact = 0, close = 0;
    double weighted = 0;
    void add(Relation r) {
        ++n;
        exact += r == Relation::Exact;
        close += r != Relation::Exact && r != Relation::Other;
        weighted += weightOf(r);
    }
    void print(const char* who) const {
        std::printf(
            "key:   %-22s (%3d) exact %5.1f %%, with fifth/relative/parallel as half %5.1f %%, "
            "weighted %5.1f %%\n",
            who, n, 100.0 * exact / std::max(1, n), 100.0 * (exact + 0.5 * close) / std::max(1, n),
            100.0 * weighted / std::max(1, n));
    }
};

void real(const std::string& folder, bool tunedOnly, bool verbose) {
    std::map<std::string, std::string> partOf = realset::parts(folder);
    std::ifstream keys(folder + "/keys.tsv");
    if (partOf.empty() || !keys) {
        std::printf("key: real set: no %s/keys.tsv (make it with bench/bpm/make_real_set.sh)\n",
                    folder.c_str());
        return;
    }
    std::string line;
    struct Track {
        std::string file;
        keytest::KeyTrack key;
    };
    std::vector<Track> parts[2];  // tuned, held-out
    while (std::getline(keys, line)) {
        const auto tab = line.find('\t');
        if (tab == std::string::npos || !partOf.count(line.substr(0, tab))) continue;
        const std::string file = line.substr(0, tab), name = line.substr(tab + 1);
        for (int t = 0; t < 24; ++t)
            if (analysis::key::keyName(t % 12, t >= 12) == name) {
                keytest::KeyTrack k{};
                k.tonic = t % 12;
                k.minor = t >= 12;
                parts[partOf[file] == "held-out" ? 1 : 0].push_back({file, k});
            }
    }
    const char* names[2] = {"tuned", "held-out"};
    for (int pi = 0; pi < (tunedOnly ? 1 : 2); ++pi) {
        Tally ours, qm;
        std::map<std::string, Tally> bySource;
        for (const Track& tr : parts[pi]) {
            const std::string path = folder + "/" + tr.file;
            const auto est = engine::estimateKey(path);
            const Relation r = est ? relate(tr.key, *est) : Relation::Other;
            ours.add(r);
            bySource[tr.file.substr(0, tr.file.find('-'))].add(r);
            std::string theirs;
#ifdef QUORVIN_QM_DSP
            const fixtures::Pcm pcm = fixtures::readAudio(path);
            const std::vector<float> mono = realset::monoOf(pcm);
            const QmKey q = qmKey(mono.data(), mono.size(), pcm.rate);
            analysis::key::KeyEstimate qe;
            qe.tonic = q.tonic;
            qe.minor = q.minor;
            qm.add(q.tonic < 0 ? Relation::Other : relate(tr.key, qe));
            if (q.tonic >= 0) theirs = analysis::key::keyName(qe);
#endif
            if (verbose && r != Relation::Exact)
                std::printf("key:   miss %-52s %-9s: %s (QM %s)\n", tr.file.c_str(),
                            analysis::key::keyName(tr.key.tonic, tr.key.minor).c_str(),
                            est ? analysis::key::keyName(*est).c_str() : "none", theirs.c_str());
        }
        std::printf("key: real set, %s part: %zu tracks of 30 s\n", names[pi], parts[pi].size());
        ours.print("ours");
        for (const auto& [source, t] : bySource) t.print(("ours, " + source).c_str());
#ifdef QUORVIN_QM_DSP
        qm.print("Queen Mary detector");
#endif
    }
}

}  // namespace

int main(int argc, char** argv) {
    const realset::Options o = realset::options(argc, argv);
    const bool tunedOnly = o.tunedOnly, verbose = o.verbose;
    real(o.folder, tunedOnly, verbose);
    if (o.realOnly) return 0;
    struct Part {
        const char* name;
        unsigned seeds[2];
    };
    const Part parts[2] = {{"tuned", {1, 2}}, {"held-out", {11, 12}}};
    constexpr double kSeconds = 20;
    fixtures::TempDir dir;
    const std::string path = dir.file("key.wav");
    double oursMs = 0, decMs = 0;
    int timed = 0;
    for (const Part& part : parts) {
        if (tunedOnly && part.seeds[0] != 1) continue;
        int n = 0, exact = 0, close = 0, none = 0;
        double weighted = 0, tuningErr = 0;
        int perGroup[2][2] = {}, perGroupN[2][2] = {};  // [drums][detuned]
        for (unsigned seed : part.seeds)
            for (const auto& k : keytest::keySet(seed)) {
                fixtures::writeWav(path, keytest::keyTrack(k, kSeconds, seed));
                const auto t0 = Clock::now();
                const auto est = engine::estimateKey(path);
                oursMs += msSince(t0);
                if (timed < 8) {
                    decMs += decodeMs(path);
                    ++timed;
                } else {
                    oursMs -= msSince(t0);  // time the first files only, with their decoding
                }
                ++n;
                ++perGroupN[k.drums][k.cents != 0];
                if (!est) {
                    ++none;
                    continue;
                }
                const Relation r = relate(k, *est);
                exact += r == Relation::Exact;
                perGroup[k.drums][k.cents != 0] += r == Relation::Exact;
                close += r != Relation::Other && r != Relation::Exact;
                weighted += r == Relation::Exact      ? 1.0
                            : r == Relation::Fifth    ? 0.5
                            : r == Relation::Relative ? 0.3
                            : r == Relation::Parallel ? 0.2
                                                      : 0.0;
                tuningErr += std::abs(est->tuningCents - k.cents);
                if (verbose && r != Relation::Exact)
                    std::printf("key:   miss %-9s%s%s seed %u: %s (%.2f)\n",
                                analysis::key::keyName(k.tonic, k.minor).c_str(),
                                k.drums ? " drums" : "", k.cents ? " detuned" : "", seed,
                                analysis::key::keyName(*est).c_str(), est->confidence);
            }
        std::printf("key: %s part (seeds %u, %u): %d tracks of %.0f s\n", part.name, part.seeds[0],
                    part.seeds[1], n, kSeconds);
        std::printf(
            "key:   exact %.1f %% (goal >= 90 %%), with fifth/relative/parallel as half "
            "%.1f %% (goal >= 95 %%), weighted score %.1f %%, none %d\n",
            100.0 * exact / n, 100.0 * (exact + 0.5 * close) / n, 100.0 * weighted / n, none);
        std::printf(
            "key:   exact: plain %.0f %%, drums %.0f %%, detuned %.0f %%, drums+detuned "
            "%.0f %%; tuning error %.1f cents mean\n",
            100.0 * perGroup[0][0] / std::max(1, perGroupN[0][0]),
            100.0 * perGroup[1][0] / std::max(1, perGroupN[1][0]),
            100.0 * perGroup[0][1] / std::max(1, perGroupN[0][1]),
            100.0 * perGroup[1][1] / std::max(1, perGroupN[1][1]),
            tuningErr / std::max(1, n - none));
    }
    if (timed > 0) {
        const double minutes = timed * kSeconds / 60.0;
        std::printf(
            "key: estimateKey %.1f ms per minute of audio, %.2f x the time of decoding the "
            "same files alone (%.1f ms per minute)\n",
            oursMs / minutes, oursMs / std::max(1e-9, decMs), decMs / minutes);
    }
    return 0;
}

// What the key and chord benchmarks share: their options and the real BPM set's parts
// (bench/bpm/make_real_set.sh), and the mono mix they analyse.
#pragma once

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/audio_fixtures.h"

namespace realset {

struct Options {
    bool tunedOnly = false, verbose = false, realOnly = false;
    std::string folder;  // the real set's, ~/.cache/quorvin/bpm-real unless --real gives one
};

// --tuned-only, --verbose, --real-only, --real <folder>.
inline Options options(int argc, char** argv) {
    Options o;
    const char* home = std::getenv("HOME");
    o.folder = std::string(home ? home : ".") + "/.cache/quorvin/bpm-real";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--tuned-only") o.tunedOnly = true;
        if (a == "--verbose") o.verbose = true;
        if (a == "--real-only") o.realOnly = true;
        if (a == "--real" && i + 1 < argc) o.folder = argv[++i];
    }
    return o;
}

// Each track's part, "tuned" or "held-out", from the set's list.tsv; empty when there is none.
inline std::map<std::string, std::string> parts(const std::string& folder) {
    std::map<std::string, std::string> partOf;
    std::ifstream list(folder + "/list.tsv");
    std::string line;
    std::getline(list, line);  // the header
    while (std::getline(list, line)) {
        std::istringstream in(line);
        std::string file, bpm, source, part;
        if (std::getline(in, file, '\t') && std::getline(in, bpm, '\t') &&
            std::getline(in, source, '\t') && std::getline(in, part, '\t'))
            partOf[file] = part;
    }
    return partOf;
}

// The channels' mean, full scale 1.
inline std::vector<float> monoOf(const fixtures::Pcm& pcm) {
    std::vector<float> mono(size_t(pcm.frames()));
    for (size_t i = 0; i < mono.size(); ++i) {
        float sum = 0;
        for (int c = 0; c < pcm.channels; ++c)
            sum += pcm.samples[i * size_t(pcm.channels) + size_t(c)];
        mono[i] = sum / (32768.0f * float(pcm.channels));
    }
    return mono;
}

}  // namespace realset

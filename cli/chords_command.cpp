// quorvin chords IN [--pitch S]: the chords of the whole file, a line for each change
// ("0:07.4  Am"), named as heard with the pitch moved by S semitones.
#include <cmath>
#include <cstdio>

#include "analysis/chord_detect.h"
#include "cli/cli_support.h"
#include "cli/commands.h"
#include "engine/bass.h"
#include "engine/bpm/key_channel.h"
#include "files/open_error.h"

namespace cli {

namespace {
constexpr const char* kName = "quorvin chords: ";

int usage(std::ostream& err, const std::string& why) {
    err << kName << why << "\nusage: quorvin chords IN [--pitch S]\n";
    return 2;
}

// "1:07.4": minutes and seconds to the tenth, as the chord starts.
std::string clock(double seconds) {
    const long tenths = std::lround(seconds * 10.0);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld.%ld", tenths / 600, tenths / 10 % 60, tenths % 10);
    return text;
}
}  // namespace

int chordsCommand(const Args& args, std::ostream& out, std::ostream& err) {
    const ParsedArgs parsed = parseArgs(args, {"--pitch"}, {});
    if (!parsed.error.empty()) return usage(err, parsed.error);
    if (parsed.positional.size() != 1) return usage(err, "wants one input file");
    double pitch = 0;
    if (const files::Result r = numberOption(parsed, "--pitch", -8, 8, false, pitch); !r)
        return usage(err, r.message);
    const std::string& path = parsed.positional[0];
    const HSTREAM s = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    if (!s) {
        // Made before the prefix is written: the open it makes may draw a library's own line.
        const std::string why = files::cannotOpenMessage(path, BASS_ErrorGetCode());
        err << kName << why << "\n";
        return 1;
    }
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(s, &info);
    std::optional<std::vector<analysis::chords::ChordSpan>> chords;
    std::optional<analysis::key::KeyEstimate> key;
    {
        ProgressBar bar(out, stdoutIsTerminal());
        chords = engine::estimateChords(
            s, nullptr, [&](float percent) { bar.update(uint64_t(percent), 100); }, &key);
    }
    const std::string note = files::sourceNote(s, path, true);
    BASS_StreamFree(s);
    if (!note.empty()) err << kName << "note: " << note << "\n";
    if (!chords || chords->empty()) {
        // The shortest that holds a frame: a tenth of a second at the usual rates, far more at
        // the lowest.
        const double least =
            analysis::key::KeyAnalyser(int(info.freq), analysis::key::Frames::Chords)
                .frameSeconds();
        char under[32];
        std::snprintf(under, sizeof under, "%.2f", least);
        err << kName << "no audio to find chords in \"" << path << "\", or too little (under "
            << under << " s at " << info.freq << " Hz)\n";
        return 1;
    }
    const int heard = int(std::lround(pitch));
    // Sharps or flats as the key heard writes them.
    const auto spelling = analysis::chords::spellingOf(key, heard);
    for (const analysis::chords::ChordSpan& c : *chords)
        out << clock(c.start) << "  "
            << analysis::chords::chordName(analysis::chords::transposed(c, heard), spelling)
            << "\n";
    return 0;
}

}  // namespace cli

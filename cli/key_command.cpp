// quorvin key IN: the key of the whole file ("Key: A minor") and how far its tuning is from
// A = 440 Hz ("Tuning: +12 cents").
#include <cmath>
#include <cstdio>

#include "analysis/key_detect.h"
#include "cli/cli_support.h"
#include "cli/commands.h"
#include "engine/bass.h"
#include "engine/bpm/key_channel.h"
#include "files/open_error.h"
#include "render/render_pipeline.h"

namespace cli {

namespace {
constexpr const char* kName = "quorvin key: ";
}  // namespace

int keyCommand(const Args& args, std::ostream& out, std::ostream& err) {
    const ParsedArgs parsed = parseArgs(args, {}, {});
    if (!parsed.error.empty() || parsed.positional.size() != 1) {
        err << kName << (parsed.error.empty() ? "wants one input file" : parsed.error)
            << "\nusage: quorvin key IN\n";
        return 2;
    }
    const std::string& path = parsed.positional[0];
    const HSTREAM s = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    if (!s) {
        // Made before the prefix is written: the open it makes may draw a library's own line.
        const std::string why = files::cannotOpenMessage(path, BASS_ErrorGetCode());
        err << kName << why << "\n";
        return 1;
    }
    std::optional<analysis::key::KeyEstimate> key;
    {
        ProgressBar bar(out, stdoutIsTerminal());
        key = engine::estimateKey(s, nullptr,
                                  [&](float percent) { bar.update(uint64_t(percent), 100); });
    }
    const std::string note = files::sourceNote(s, path, true);
    BASS_StreamFree(s);
    if (!note.empty()) err << kName << "note: " << note << "\n";
    if (!key) {
        err << kName << "no pitched sound to find a key in \"" << path << "\"\n";
        return 1;
    }
    char tuning[32];
    std::snprintf(tuning, sizeof tuning, "%+d", int(std::lround(key->tuningCents)));
    out << "Key: " << analysis::key::keyName(*key) << "\n";
    out << "Tuning: " << tuning << " cents\n";
    return 0;
}

}  // namespace cli

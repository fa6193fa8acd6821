// quorvin bpm IN: the BPM the main window shows after Play (detected over seconds 0 to 30, at
// normal speed) and the BPM over the whole file, one "name: value" line each.
#include <cstdio>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "engine/bass.h"
#include "files/open_error.h"
#include "render/render_pipeline.h"

namespace cli {

namespace {

constexpr const char* kName = "quorvin bpm: ";

// Detects over [start, end] seconds on a fresh decoding stream of `path`, with the window's
// settings (default range, doubling below the range, source released with the detection) but on
// this thread, and returns the BPM at normal speed as the window shows it.
bool detect(const std::string& path, float start, float end, float& bpm, std::string& error) {
    const HSTREAM s = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    if (!s) {
        error = files::cannotOpenMessage(path, BASS_ErrorGetCode());
        return false;
    }
    if (end < 0) end = BASS_ChannelBytes2Seconds(s, BASS_ChannelGetLength(s));
    BASS_FX_BPM_DecodeGet(s, start, end, 0, BASS_FX_BPM_MULT2 | BASS_FX_FREESOURCE, nullptr);
    bpm = BASS_FX_BPM_Translate(s, 100.0f, BASS_FX_BPM_TRAN_PERCENT2);
    BASS_FX_BPM_Free(s);
    BASS_StreamFree(s);
    return true;
}

std::string format(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", double(v > 0 ? v : 0.0f));
    return buf;
}

}  // namespace

int bpmCommand(const Args& args, std::ostream& out, std::ostream& err) {
    const ParsedArgs parsed = parseArgs(args, {}, {});
    if (!parsed.error.empty() || parsed.positional.size() != 1) {
        err << kName << (parsed.error.empty() ? "wants one input file" : parsed.error)
            << "\nusage: quorvin bpm IN\n";
        return 2;
    }
    float first = 0, whole = 0;
    std::string error;
    if (!detect(parsed.positional[0], 0.0f, 30.0f, first, error) ||
        !detect(parsed.positional[0], 0.0f, -1.0f, whole, error)) {
        err << kName << error << "\n";
        return 1;
    }
    out << "bpm 0-30 s: " << format(first) << "\n";
    out << "bpm whole file: " << format(whole) << "\n";
    return 0;
}

}  // namespace cli

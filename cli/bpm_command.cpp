// quorvin bpm IN: the BPM the main window shows after Play (detected over seconds 0 to 30, at
// normal speed) and the BPM over the whole file, one "name: value" line each.
#include <algorithm>
#include <cstdio>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "engine/bass.h"
#include "files/open_error.h"
#include "render/render_pipeline.h"

namespace cli {

namespace {

constexpr const char* kName = "quorvin bpm: ";

// The progress bar both detections draw on, and the share of it the one running covers (the
// engine's progress procedure takes no user value; one detection at a time, on this thread).
struct Progress {
    ProgressBar* bar = nullptr;
    double from = 0, span = 100;
};
Progress gProgress;

void showProgress(DWORD, float percent) {
    if (gProgress.bar)
        gProgress.bar->update(uint64_t(gProgress.from + gProgress.span * percent / 100.0), 100);
}

// Detects over [start, end] seconds on a fresh decoding stream of `path`, with the window's
// settings (default range, doubling below the range, source released with the detection) but on
// this thread, and returns the BPM at normal speed as the window shows it.
// `note`, when given, receives what the decoding found wrong with the file (cut short, damaged).
bool detect(const std::string& path, float start, float end, float& bpm, std::string& error,
            std::string* note = nullptr) {
    const HSTREAM s = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    if (!s) {
        error = files::cannotOpenMessage(path, BASS_ErrorGetCode());
        return false;
    }
    const float length = BASS_ChannelBytes2Seconds(s, BASS_ChannelGetLength(s));
    if (end < 0) {
        // The whole file, after its first seconds: the bar's part by the time each reads.
        end = length;
        const double first = std::min(30.0, double(length));
        gProgress.from = length > 0 ? 100.0 * first / (first + length) : 0.0;
        gProgress.span = 100.0 - gProgress.from;
    } else {
        gProgress.from = 0;
        gProgress.span = length > 0 ? 100.0 * std::min(30.0, double(length)) /
                                          (std::min(30.0, double(length)) + length)
                                    : 0.0;
    }
    BASS_FX_BPM_DecodeGet(s, start, end, 0, BASS_FX_BPM_MULT2 | BASS_FX_FREESOURCE, showProgress);
    bpm = BASS_FX_BPM_Translate(s, 100.0f, BASS_FX_BPM_TRAN_PERCENT2);
    if (note) *note = files::sourceNote(s, path, true);
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
    std::string error, note;
    bool detected = false;
    {
        ProgressBar bar(out, stdoutIsTerminal());
        gProgress.bar = &bar;
        detected = detect(parsed.positional[0], 0.0f, 30.0f, first, error) &&
                   detect(parsed.positional[0], 0.0f, -1.0f, whole, error, &note);
        gProgress.bar = nullptr;
    }
    if (!detected) {
        err << kName << error << "\n";
        return 1;
    }
    if (!note.empty()) err << kName << "note: " << note << "\n";
    out << "bpm 0-30 s: " << format(first) << "\n";
    out << "bpm whole file: " << format(whole) << "\n";
    return 0;
}

}  // namespace cli

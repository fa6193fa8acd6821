// quorvin render IN OUT [--tempo P] [--pitch S] [--vocal-remover[=keep-bass]] [--eq g0,...,g6]
//                [--quality high] [--from S] [--to S] [--bitrate K]
//
// The same render as the main window's "Process": the same pipeline, the same effects. The
// result is written under a temporary name beside OUT and put in place only when complete, so
// a failed render never leaves a half-written OUT or destroys an existing one.
#include <array>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <vector>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "cli/mp3_output.h"
#include "files/file_io.h"
#include "render/render_pipeline.h"
#include "files/safe_copy.h"

namespace fs = std::filesystem;

namespace cli {

namespace {

constexpr const char* kName = "quorvin render: ";

// The temporary file being written, removed when the render is interrupted (Ctrl-C).
char interruptedTemp[4096];

extern "C" void removeTemporaryAndExit(int sig) {
    if (interruptedTemp[0]) std::remove(interruptedTemp);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// Registers `path` for removal on an interrupt while it lives.
struct InterruptGuard {
    explicit InterruptGuard(const std::string& path) {
        std::snprintf(interruptedTemp, sizeof interruptedTemp, "%s", path.c_str());
        std::signal(SIGINT, removeTemporaryAndExit);
        std::signal(SIGTERM, removeTemporaryAndExit);
    }
    ~InterruptGuard() {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        interruptedTemp[0] = 0;
    }
};

int usageError(std::ostream& err, const std::string& what) {
    err << kName << what << "\nusage: quorvin render "
        << "IN OUT [--tempo P] [--pitch S] [--vocal-remover[=keep-bass]] [--eq g0,g1,...,g6] "
           "[--quality high] [--from S] [--to S] [--bitrate K]\n";
    return 2;
}

// A number option within [lo, hi]; `wholeOnly` for integers.
bool numberOption(const ParsedArgs& p, const std::string& name, double lo, double hi,
                  bool wholeOnly, double& value, std::string& error) {
    const auto it = p.options.find(name);
    if (it == p.options.end()) return true;
    const auto v = parseNumber(it->second);
    if (!v || *v < lo || *v > hi || (wholeOnly && *v != std::floor(*v))) {
        std::ostringstream os;
        os << name << " wants " << (wholeOnly ? "a whole number" : "a number") << " from " << lo
           << " to " << hi << ", not \"" << it->second << "\"";
        error = os.str();
        return false;
    }
    value = *v;
    return true;
}

// "--eq g0,...,g6": seven gains in dB, whole numbers from -10 to 10 as on the window's sliders.
bool eqOption(const std::string& text, std::array<int, dsp::kEqBands>& sliders,
              std::string& error) {
    std::vector<std::string> parts;
    std::stringstream ss(text);
    for (std::string part; std::getline(ss, part, ',');) parts.push_back(part);
    bool ok = parts.size() == size_t(dsp::kEqBands) && text.back() != ',';
    for (size_t i = 0; ok && i < parts.size(); ++i) {
        const auto v = parseNumber(parts[i]);
        ok = v && *v >= -10 && *v <= 10 && *v == std::floor(*v);
        if (ok) sliders[i] = -int(*v);  // a slider's value is the negated gain
    }
    if (!ok)
        error =
            "--eq wants seven gains in dB, whole numbers from -10 to 10 separated by commas "
            "(bands 80, 200, 1500, 4000, 7500, 10000, 12000 Hz), not \"" +
            text + "\"";
    return ok;
}

}  // namespace

int renderCommand(const Args& args, std::ostream& out, std::ostream& err) {
    // "--vocal-remover=keep-bass" is the remover's second mode; the plain flag is the first.
    Args plainArgs;
    std::string vocalMode;
    for (const std::string& a : args) {
        if (a.rfind("--vocal-remover=", 0) == 0) {
            vocalMode = a.substr(16);
            plainArgs.push_back("--vocal-remover");
        } else {
            plainArgs.push_back(a);
        }
    }
    const ParsedArgs p = parseArgs(
        plainArgs, {"--tempo", "--pitch", "--eq", "--bitrate", "--quality", "--from", "--to"},
        {"--vocal-remover"});
    if (!p.error.empty()) return usageError(err, p.error);
    if (!vocalMode.empty() && vocalMode != "keep-bass")
        return usageError(err, "--vocal-remover= wants keep-bass, not \"" + vocalMode + "\"");
    if (p.positional.size() != 2) return usageError(err, "wants an input and an output file");
    const std::string& in = p.positional[0];
    const std::string& outPath = p.positional[1];

    render::RenderSettings settings;
    std::string error;
    double tempo = 0, pitch = 0, bitrate = 0;
    if (!numberOption(p, "--tempo", -60, 60, false, tempo, error) ||
        !numberOption(p, "--pitch", -8, 8, false, pitch, error) ||
        !numberOption(p, "--bitrate", 8, 320, true, bitrate, error))
        return usageError(err, error);
    // --from / --to: the passage to render, in seconds of the source.
    double from = 0, to = 0;
    if (!numberOption(p, "--from", 0, 1e7, false, from, error) ||
        !numberOption(p, "--to", 0, 1e7, false, to, error))
        return usageError(err, error);
    if (p.options.count("--to") && to <= from)
        return usageError(err, "--to must come after --from");
    settings.fromSeconds = from;
    settings.toSeconds = to;
    settings.tempoPercent = float(tempo);
    settings.pitchSemitones = float(pitch);
    settings.vocalRemover = p.options.count("--vocal-remover") != 0;
    if (vocalMode == "keep-bass") settings.vocalMode = render::VocalMode::KeepBass;
    if (const auto it = p.options.find("--quality"); it != p.options.end()) {
        if (it->second != "high" && it->second != "normal")
            return usageError(err, "--quality wants high or normal, not \"" + it->second + "\"");
        settings.highQuality = it->second == "high";
    }
    if (const auto it = p.options.find("--eq"); it != p.options.end()) {
        if (!eqOption(it->second, settings.eqSliders, error)) return usageError(err, error);
        settings.equalizer = true;
    }
    if (p.options.count("--bitrate") && !endsWithNoCase(outPath, ".mp3"))
        err << kName << "note: --bitrate applies to MP3 output only\n";

    const bool mp3 = endsWithNoCase(outPath, ".mp3");
    if (!mp3 && !endsWithNoCase(outPath, ".wav"))
        return usageError(err, "the output file's name must end in .wav or .mp3");
    if (mp3 && !mp3OutputAvailable()) {
        std::string why;
        encodeMp3({}, why);
        err << kName << why << "\n";
        return 1;
    }

    // Refusals that need no engine: a missing input, an output that is the input itself.
    const fs::path inFs = files::pathFromUtf8(in), outFs = files::pathFromUtf8(outPath);
    std::error_code ec;
    if (!fs::exists(inFs, ec)) {
        err << kName << "cannot open \"" << in << "\": no such file\n";
        return 1;
    }
    if (fs::exists(outFs, ec) && fs::equivalent(inFs, outFs, ec)) {
        err << kName << "the output \"" << outPath
            << "\" is the input file itself; choose another name\n";
        return 1;
    }
    if (fs::is_directory(outFs, ec)) {
        err << kName << "cannot write \"" << outPath << "\": it is a folder\n";
        return 1;
    }

    const std::string temp = files::createTemporaryBeside(outPath, error);
    if (temp.empty()) {
        err << kName << error << "\n";
        return 1;
    }
    // The WAV render goes to a temporary beside OUT; for MP3 output a second one takes the MP3.
    const InterruptGuard guard(temp);
    auto discard = [&](const std::string& path) { fs::remove(files::pathFromUtf8(path), ec); };

    render::RenderPipeline pipeline;
    if (!pipeline.open(in, temp, settings)) {
        discard(temp);
        err << kName << pipeline.error() << "\n";
        return 1;
    }
    if (!pipeline.note().empty()) err << kName << "note: " << pipeline.note() << "\n";
    ProgressBar bar(out, stdoutIsTerminal());
    render::RenderPipeline::Step step;
    while ((step = pipeline.step()) == render::RenderPipeline::Step::More)
        bar.update(pipeline.position(), pipeline.length());
    bar.update(pipeline.length(), pipeline.length());
    bar.done();
    const bool finished = pipeline.finish();
    pipeline.close();
    if (step == render::RenderPipeline::Step::Stopped || !finished) {
        discard(temp);
        err << kName << pipeline.error() << "\n";
        return 1;
    }

    std::string result = temp;
    if (mp3) {
        Mp3Job job{temp, files::createTemporaryBeside(outPath, error), in, int(bitrate)};
        const bool encoded = !job.mp3Path.empty() && encodeMp3(job, error);
        discard(temp);
        if (!encoded) {
            if (!job.mp3Path.empty()) discard(job.mp3Path);
            err << kName << error << "\n";
            return 1;
        }
        result = job.mp3Path;
    }
    const auto placed = files::replaceFile(result, outPath);
    if (!placed.ok) {
        err << kName << placed.message << "\n";
        return 1;
    }
    return 0;
}

}  // namespace cli

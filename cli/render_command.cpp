// quorvin render IN OUT [--tempo P] [--pitch S] [--cents C] [--vocal-remover[=keep-bass|stereo]]
//                [--remover-gain G] [--remover-strength X] [--remover-range LO,HI] [--eq g0,...,g6]
//                [--channels stereo|left|right|mono]
//                [--quality high|normal] [--from S] [--to S] [--bitrate K]
//
// The same render as the main window's "Process": the same pipeline, the same effects. The
// result is written under a temporary name beside OUT and put in place only when complete, so
// a failed render never leaves a half-written OUT or destroys an existing one.
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <sstream>
#include <system_error>
#include <vector>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "cli/mp3_output.h"
#include "cli/render_output.h"
#include "encode/encode_wav_file.h"
#include "encode/formats.h"
#include "files/file_io.h"
#include "files/open_error.h"
#include "files/paths.h"
#include "files/result.h"
#include "files/temporary_file.h"
#include "render/render_pipeline.h"

namespace fs = std::filesystem;

namespace cli {

namespace {

constexpr const char* kName = "quorvin render: ";

int usageError(std::ostream& err, const std::string& what) {
    err << kName << what << "\nusage: quorvin render "
        << "IN OUT [--tempo P] [--pitch S] [--cents C] [--vocal-remover[=keep-bass|stereo]] "
           "[--remover-gain G] [--remover-strength X] [--remover-range LO,HI] [--eq g0,g1,...,g6] "
           "[--channels stereo|left|right|mono] "
           "[--quality high|normal] [--from S] [--to S] [--bitrate K]\n";
    return 2;
}

// "--eq g0,...,g6": seven gains in dB, whole numbers from -10 to 10 as on the window's sliders.
files::Result eqOption(const std::string& text, std::array<int, effects::kEqBands>& sliders) {
    std::vector<std::string> parts;
    std::stringstream ss(text);
    for (std::string part; std::getline(ss, part, ',');) parts.push_back(part);
    bool ok = parts.size() == size_t(effects::kEqBands) && text.back() != ',';
    for (size_t i = 0; ok && i < parts.size(); ++i) {
        const auto v = parseNumber(parts[i]);
        ok = v && *v >= -10 && *v <= 10 && *v == std::floor(*v);
        if (ok) sliders[i] = -int(*v);  // a slider's value is the negated gain
    }
    if (ok) return files::Result::success();
    return files::Result::failure(
        "--eq wants seven gains in dB, whole numbers from -10 to 10 separated by commas "
        "(bands 80, 200, 1500, 4000, 7500, 10000, 12000 Hz), not \"" +
        text + "\"");
}

// "--remover-range LO,HI": the stereo remover's band in Hz, LO below HI.
files::Result rangeOption(const std::string& text, effects::Chain& chain) {
    const auto comma = text.find(',');
    const auto lo = comma == std::string::npos ? std::nullopt : parseNumber(text.substr(0, comma));
    const auto hi = comma == std::string::npos ? std::nullopt : parseNumber(text.substr(comma + 1));
    if (lo && hi && *lo >= 20 && *hi <= 20000 && *lo < *hi) {
        chain.stereoLowHz = float(*lo);
        chain.stereoHighHz = float(*hi);
        return files::Result::success();
    }
    return files::Result::failure(
        "--remover-range wants two frequencies in Hz from 20 to 20000, the lower first, "
        "separated by a comma, not \"" +
        text + "\"");
}

}  // namespace

int renderCommand(const Args& args, std::ostream& out, std::ostream& err) {
    return renderCommandWithLimit(args, out, err, files::kMaxWaveDataBytes);
}

int renderCommandWithLimit(const Args& args, std::ostream& out, std::ostream& err,
                           uint32_t maxWavDataBytes) {
    // "--vocal-remover=keep-bass" and "=stereo" are the remover's other modes; the plain flag is
    // the first.
    Args plainArgs;
    std::optional<std::string> vocalMode;  // what follows "--vocal-remover=", when given
    bool optionsEnded = false;
    for (const std::string& a : args) {
        optionsEnded = optionsEnded || a == "--";
        if (!optionsEnded && a.rfind("--vocal-remover=", 0) == 0) {
            vocalMode = a.substr(16);
            plainArgs.push_back("--vocal-remover");
        } else if (!optionsEnded && a == "--vocal-remover") {
            vocalMode.reset();  // the last one given counts, as for every option
            plainArgs.push_back(a);
        } else {
            plainArgs.push_back(a);
        }
    }
    const ParsedArgs p =
        parseArgs(plainArgs,
                  {"--tempo", "--pitch", "--cents", "--eq", "--bitrate", "--quality", "--from",
                   "--to", "--remover-strength", "--remover-range", "--remover-gain", "--channels"},
                  {"--vocal-remover"});
    if (!p.error.empty()) return usageError(err, p.error);
    if (vocalMode && *vocalMode != "keep-bass" && *vocalMode != "stereo")
        return usageError(err,
                          "--vocal-remover= wants keep-bass or stereo, not \"" + *vocalMode + "\"");
    if (p.positional.size() != 2) return usageError(err, "wants an input and an output file");
    const std::string& in = p.positional[0];
    const std::string& outPath = p.positional[1];

    render::RenderSettings settings;
    double tempo = 0, pitch = 0, cents = 0, bitrate = 0;
    files::Result r = numberOption(p, "--tempo", -60, 60, false, tempo);
    if (r) r = numberOption(p, "--pitch", -8, 8, false, pitch);
    if (r) r = numberOption(p, "--cents", -50, 50, false, cents);
    if (r) r = numberOption(p, "--bitrate", 8, 320, true, bitrate);
    if (!r) return usageError(err, r.message);
    // --from / --to: the passage to render, in seconds of the source.
    double from = 0, to = 0;
    r = numberOption(p, "--from", 0, 1e7, false, from);
    if (r) r = numberOption(p, "--to", 0, 1e7, false, to);
    if (!r) return usageError(err, r.message);
    if (p.options.count("--to") && to <= from)
        return usageError(err, "--to must come after --from");
    settings.fromSeconds = from;
    settings.toSeconds = to;
    settings.chain.tempoPercent = float(tempo);
    settings.chain.pitchSemitones = float(pitch);
    settings.chain.pitchCents = float(cents);
    if (p.options.count("--vocal-remover"))
        settings.chain.remover = vocalMode == "keep-bass" ? effects::Remover::KeepBass
                                 : vocalMode == "stereo"  ? effects::Remover::Stereo
                                                          : effects::Remover::Full;
    // "Gain Audio" as the window's slider sets it: the level is 10 - the slider's value.
    double gain = 10 - settings.chain.removerGainSlider;
    if (r = numberOption(p, "--remover-gain", 0, 10, true, gain); !r)
        return usageError(err, r.message);
    settings.chain.removerGainSlider = 10 - int(gain);
    if (p.options.count("--remover-gain") && settings.chain.remover == effects::Remover::Off)
        err << kName << "note: --remover-gain applies with --vocal-remover only\n";
    double strength = settings.chain.stereoStrength;
    if (r = numberOption(p, "--remover-strength", 0, 1, false, strength); !r)
        return usageError(err, r.message);
    settings.chain.stereoStrength = float(strength);
    if (const auto it = p.options.find("--remover-range"); it != p.options.end())
        if (r = rangeOption(it->second, settings.chain); !r) return usageError(err, r.message);
    if ((p.options.count("--remover-strength") || p.options.count("--remover-range")) &&
        settings.chain.remover != effects::Remover::Stereo)
        err << kName << "note: --remover-strength and --remover-range apply to "
            << "--vocal-remover=stereo only\n";
    if (const auto it = p.options.find("--channels"); it != p.options.end()) {
        const std::string& c = it->second;
        if (c != "stereo" && c != "left" && c != "right" && c != "mono")
            return usageError(err,
                              "--channels wants stereo, left, right or mono, not \"" + c + "\"");
        settings.chain.channels = c == "left"    ? effects::Channels::Left
                                  : c == "right" ? effects::Channels::Right
                                  : c == "mono"  ? effects::Channels::Mono
                                                 : effects::Channels::Stereo;
    }
    if (const auto it = p.options.find("--quality"); it != p.options.end()) {
        if (it->second != "high" && it->second != "normal")
            return usageError(err, "--quality wants high or normal, not \"" + it->second + "\"");
        settings.highQuality = it->second == "high";
    }
    if (const auto it = p.options.find("--eq"); it != p.options.end()) {
        if (r = eqOption(it->second, settings.chain.eqSliders); !r)
            return usageError(err, r.message);
        settings.chain.equalizer = true;
    }
    if (p.options.count("--bitrate") && !files::endsWithNoCase(outPath, ".mp3"))
        err << kName << "note: --bitrate applies to MP3 output only\n";

    // OUT's format by its extension; "-" is standard output, which takes WAV.
    const bool toStdout = outPath == "-";
    if (toStdout && stdoutIsTerminal())
        return usageError(err, "standard output is a terminal: send the WAV to a file or a pipe");
    const bool mp3 = !toStdout && files::endsWithNoCase(outPath, ".mp3");
    const std::optional<encode::Format> otherFormat =
        toStdout ? std::nullopt : renderFormatOf(outPath);
    if (!toStdout && !mp3 && !otherFormat && !files::endsWithNoCase(outPath, ".wav"))
        return usageError(
            err,
            "the output file's name must end in .wav, .mp3, .flac, .ogg or .opus (or be - "
            "for standard output)");
    if (mp3 && !mp3OutputAvailable()) {
        err << kName << encodeMp3({}).message << "\n";
        return 1;
    }

    // "-" reads standard input: spooled to a work file, since the decoders seek.
    files::TemporaryFile spool;
    std::string source = in;
    const std::string inName = in == "-" ? "standard input" : in;
    if (in == "-") {
        if (r = spoolStandardInput(spool); !r) {
            err << kName << r.message << "\n";
            return 1;
        }
        source = spool.path();
    }
    // Messages name what the user gave, never the work files.
    const auto named = [&](std::string message, const files::TemporaryFile& temporary) {
        if (in == "-") message = files::namingDestination(message, spool.path(), inName);
        return files::namingDestination(message, temporary.path(),
                                        toStdout ? "standard output" : outPath);
    };

    // Refusals that need no engine: a missing input, an output that is the input itself.
    // A pipe or a device is refused before the engine would wait on it.
    if (!files::whyCannotOpen(source).empty()) {
        const std::string why = files::cannotOpenMessage(in, BASS_ERROR_FILEOPEN);
        err << kName << why << "\n";
        return 1;
    }
    if (!toStdout && files::isTheInputItself(source, outPath)) {
        err << kName << "the output \"" << outPath
            << "\" is the input file itself; choose another name\n";
        return 1;
    }
    // The user's file at OUT is replaced only when it may be written, as the window's save.
    if (!toStdout) {
        if (r = files::checkReplaceable(outPath); !r) {
            err << kName << r.message << "\n";
            return 1;
        }
    }
    // Standard output gets the finished WAV from a work file.
    std::string destination = outPath;
    if (toStdout) {
        std::string folder;
        if (r = workFolder(folder); !r) {
            err << kName << r.message << "\n";
            return 1;
        }
        destination = files::RPP(folder) + "standard-output.wav";
    }
    const encode::Tags tags = encode::readTags(source);

    // The WAV render goes to a temporary beside OUT; for MP3 output a second one takes the MP3.
    // Both remove themselves on every way out, and on an interrupt (see main.cpp).
    files::TemporaryFile wav;
    r = wav.create(destination);
    if (r) r = wav.closeStream();
    if (!r) {
        err << kName << r.message << "\n";
        return 1;
    }

    render::RenderPipeline pipeline(maxWavDataBytes);
    if (!pipeline.open(source, wav.path(), settings)) {
        err << kName << named(pipeline.error(), wav) << "\n";
        return 1;
    }
    // A format that cannot hold the source's channels is said before the render, not after it.
    if (const std::string refused =
            otherFormat ? encode::channelRefusal(*otherFormat, pipeline.header().format.channels)
                        : std::string();
        !refused.empty()) {
        err << kName << refused << "\n";
        return 1;
    }
    ProgressBar bar(out, !toStdout && stdoutIsTerminal());
    render::RenderPipeline::Step step;
    while ((step = pipeline.step()) == render::RenderPipeline::Step::More)
        bar.update(pipeline.position(), pipeline.length());
    if (step == render::RenderPipeline::Step::Finished) bar.update(1, 1);
    bar.done();
    const bool finished = pipeline.finish();
    const uint32_t speakerMask = pipeline.speakerMask();
    if (const std::string note = pipeline.note(); !note.empty())
        err << kName << "note: " << named(note, wav) << "\n";
    pipeline.close();
    if (!finished) {
        // A failed write: what is on disk is not the whole result; nothing is put in place.
        err << kName << named(pipeline.error(), wav) << "\n";
        return 1;
    }
    // Stopped yet finished: the WAV size limit was reached and the file is valid up to there.
    const bool cutAtLimit = step == render::RenderPipeline::Step::Stopped;

    files::TemporaryFile result = std::move(wav);
    if (mp3) {
        files::TemporaryFile encoded;
        r = encoded.create(outPath);
        if (r) r = encoded.closeStream();
        if (!r) {
            err << kName << r.message << "\n";
            return 1;
        }
        // The encoding takes a bar of its own: it may take far longer than the render.
        ProgressBar encoding(out, stdoutIsTerminal());
        Mp3Job job{
            result.path(), encoded.path(),
            source,        int(bitrate),
            speakerMask,   [&encoding](int percent) { encoding.update(uint64_t(percent), 100); }};
        std::string mp3Note;
        r = encodeMp3(job, &mp3Note);
        encoding.done();
        if (!r) {
            err << kName
                << files::namingDestination(
                       files::namingDestination(r.message, encoded.path(), outPath), result.path(),
                       outPath)
                << "\n";
            return 1;
        }
        // What MP3 could not hold as asked (the finished render it encodes is whole).
        if (!mp3Note.empty()) err << kName << "note: " << mp3Note << "\n";
        if (!encode::tagMp3(encoded.path(), tags)) {
            err << kName << "cannot write the tags of \"" << outPath << "\"\n";
            return 1;
        }
        result = std::move(encoded);
    } else if (otherFormat) {
        files::TemporaryFile other;
        r = other.create(outPath);
        if (r) r = other.closeStream();
        if (r) {
            ProgressBar encoding(out, !toStdout && stdoutIsTerminal());
            r = encode::encodeWavFile(
                result.path(), *otherFormat, other.path(), tags, nullptr,
                [&encoding](double share) { encoding.update(uint64_t(share * 1000), 1000); },
                speakerMask);
        }
        if (!r) {
            err << kName << named(named(r.message, other), result) << "\n";
            return 1;
        }
        result = std::move(other);
    } else if (!cutAtLimit && !encode::tagWav(result.path(), tags)) {  // no room at the limit
        err << kName << "cannot write the tags of \"" << (toStdout ? "standard output" : outPath)
            << "\"\n";
        return 1;
    }
    if (toStdout) {
        if (r = copyToStream(result.path(), out); !r) {
            err << kName << named(r.message, result) << "\n";
            return 1;
        }
    } else if (r = result.commit(); !r) {
        err << kName << r.message << "\n";
        return 1;
    }
    if (cutAtLimit)
        err << kName << "note: the render reached the largest size "
            << (mp3 || otherFormat ? "of the WAV file it is encoded from (2 GiB of audio)"
                                   : "a WAV file can have")
            << "; \"" << (toStdout ? "standard output" : outPath)
            << "\" holds the audio up to that point\n";
    return 0;
}

}  // namespace cli

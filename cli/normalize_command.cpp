// `quorvin normalize IN OUT PERCENT | --lufs L [--bits 16|24]`: the normalising component from the
// command line.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "components/normaliser_component.h"
#include "files/file_io.h"

namespace cli {

namespace {

constexpr const char* kName = "quorvin normalize: ";
constexpr const char* kUsage =
    "usage: quorvin normalize IN OUT (PERCENT | --lufs L) [--bits 16|24]";

}  // namespace

int normalizeCommand(const Args& args, std::ostream& out, std::ostream& err) {
    const ParsedArgs parsed = parseArgs(args, {"--lufs", "--bits"}, {});
    const bool lufs = parsed.options.count("--lufs") != 0;
    if (!parsed.error.empty() || parsed.positional.size() != (lufs ? 2u : 3u)) {
        err << kName
            << (parsed.error.empty()
                    ? std::string(lufs ? "--lufs takes IN OUT" : "wants IN OUT PERCENT")
                    : parsed.error)
            << "\n"
            << kUsage << "\n";
        return 2;
    }
    const std::string& in = parsed.positional[0];
    const std::string& outPath = parsed.positional[1];
    NormaliseOptions options;
    if (lufs) {
        const auto v = parseNumber(parsed.options.at("--lufs"));
        if (!v || !(*v >= -70 && *v <= 0)) {
            err << kName << "--lufs wants a loudness from -70 to 0, not \""
                << parsed.options.at("--lufs") << "\".\n";
            return 2;
        }
        options.target = NormaliseOptions::Target::Loudness;
        options.lufs = *v;
    } else {
        // Written out as every number of the command line is ("12.5", not " 50", "50%" or
        // "12,5", which the window's text box takes).
        const auto v = parseNumber(parsed.positional[2]);
        if (!v || !(*v >= 1 && *v <= 100)) {
            err << kName << "the percentage must be a number from 1 to 100 (\""
                << parsed.positional[2] << "\").\n";
            return 2;
        }
        options.percent = *v;
    }
    if (const auto it = parsed.options.find("--bits"); it != parsed.options.end()) {
        if (it->second != "16" && it->second != "24") {
            err << kName << "--bits wants 16 or 24, not \"" << it->second << "\".\n";
            return 2;
        }
        options.bits = std::stoi(it->second);
    }
    // The normaliser reads and writes WAV files by name: neither a stream nor another format.
    for (const std::string& name : {in, outPath})
        if (name == "-") {
            err << kName << "reads and writes files, not standard input or output (\"-\")\n";
            return 2;
        }
    // OUT is a WAV file: a name with another audio format's extension is refused (.bwf too: a
    // broadcast WAV, with a chunk the normaliser does not write). Any other name is taken as it
    // is ("Mr. Brown", "take.2").
    static const char* const kOtherFormats[] = {
        ".aac", ".ac3", ".aif", ".aifc", ".aiff", ".alac", ".amr", ".ape",
        ".au",  ".bwf", ".caf", ".dts",  ".flac", ".m4a",  ".m4b", ".mka",
        ".mp2", ".mp3", ".mpc", ".oga",  ".ogg",  ".opus", ".ra",  ".rf64",
        ".snd", ".spx", ".tta", ".voc",  ".w64",  ".webm", ".wma", ".wv"};
    const std::string extension = std::filesystem::path(outPath).extension().string();
    std::string lower = extension;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (std::find(std::begin(kOtherFormats), std::end(kOtherFormats), lower) !=
        std::end(kOtherFormats)) {
        err << kName << "writes a WAV file: \"" << outPath << "\" would name it " << extension
            << "; give OUT a .wav name\n";
        return 2;
    }
    if (files::isTheInputItself(in, outPath)) {
        err << kName << "the output \"" << outPath
            << "\" is the input file itself; choose another name\n";
        return 1;
    }
    ProgressBar bar(out, stdoutIsTerminal());
    const NormaliseResult result = NormaliserComponent::normalise(
        in, outPath, options, [&](double p) { bar.update(uint64_t(p * 10), 1000); });
    if (!result.error.empty()) {
        bar.done();
        err << kName << result.error << "\n";
        return 1;
    }
    bar.update(1000, 1000);
    bar.done();
    // Each line of the note with the command's name, as every message.
    for (size_t from = 0; from < result.note.size();) {
        const size_t end = std::min(result.note.find('\n', from), result.note.size());
        err << kName << "note: " << result.note.substr(from, end - from) << "\n";
        from = end + 1;
    }
    // Rounded, and never "-0".
    const auto rounded = [](double v, double places) {
        const double r = std::round(v * places) / places;
        return r == 0 ? 0.0 : r;
    };
    if (result.leftAsItIs)
        out << "Wrote " << in << " at its own level"
            << (result.gainDb < 0 ? ", its peaks lowered" : "") << " (gain "
            << rounded(result.gainDb, 100) << " dB): " << outPath << "\n";
    else if (lufs)
        out << "Normalized " << in << " to " << rounded(result.lufs, 10) << " LUFS (gain "
            << rounded(result.gainDb, 100) << " dB): " << outPath << "\n";
    else
        out << "Normalized " << in << " to " << options.percent << " % of full scale: " << outPath
            << "\n";
    return 0;
}

}  // namespace cli

#include "rip/cd_commands.h"

#include <strings.h>
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

#include "disc/basscd.h"
#include "disc/cd_cue.h"
#include "disc/cd_ext.h"
#include "encode/basswma.h"
#include "files/file_io.h"
#include "files/open_error.h"
#include "files/paths.h"
#include "files/safe_copy.h"
#include "files/temporary_file.h"
#include "rip/extract.h"
#include "rip/rip_command.h"
#include "rip/stop_signals.h"
#include "rip/track_list.h"

namespace fs = std::filesystem;

namespace cd {

namespace {

constexpr const char* kListUsage = "usage: quorvin cd-list SOURCE\n";
constexpr const char* kRipUsage =
    "usage: quorvin cd-rip SOURCE TRACK OUT [--bitrate K] [--tag Name=Text]...\n"
    "  SOURCE: a drive's device or a disc image (.cue); TRACK: 1 for the first track;\n"
    "  OUT: a .wav or .wma file; --bitrate and --tag for WMA only\n"
    "   or: quorvin cd-rip SOURCE all FOLDER [--format F] [--name TEMPLATE] [--offset N]\n"
    "                      [--bitrate K] [--year Y] [--accuraterip-db FILE] [--test-and-copy]\n";

// "0.4", not the window's ".4".
std::string tenthsWithLeadingZero(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

int usage(std::ostream& err, const std::string& command, const std::string& what,
          const char* text) {
    err << "quorvin " << command << ": " << what << "\n" << text;
    return 2;
}

// Whether cd-rip's second positional argument is "all" (the whole disc). Every option of either
// form takes a value, given after '=' or as the next argument, except --test-and-copy.
bool ripsTheWholeDisc(const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size() && positional.size() < 2; ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            positional.insert(positional.end(), args.begin() + std::ptrdiff_t(i) + 1, args.end());
            break;
        }
        if (a.size() > 2 && a.rfind("--", 0) == 0) {
            if (a.find('=') == std::string::npos && a != "--test-and-copy") ++i;  // its value
            continue;
        }
        positional.push_back(a);
    }
    return positional.size() >= 2 && strcasecmp(positional[1].c_str(), "all") == 0;
}

}  // namespace

std::optional<long> wholeNumber(const std::string& text, bool signedOk) {
    const size_t i = (signedOk && !text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
    if (text.size() <= i || text.size() > 9) return std::nullopt;
    for (size_t k = i; k < text.size(); ++k)
        if (!std::isdigit(static_cast<unsigned char>(text[k]))) return std::nullopt;
    return std::stol(text);
}

WmaBitrate chooseWmaBitrate(const std::optional<std::string>& text) {
    WmaBitrate chosen;
    const DWORD* rates = BASS_WMA_EncodeGetRates(44100, 2, 0);
    if (!rates) {
        chosen.error =
            "Error: Can't find a codec (Error Code : " + std::to_string(BASS_ErrorGetCode()) + ")";
        return chosen;
    }
    std::vector<uint32_t> offered;
    for (const DWORD* r = rates; *r; ++r) offered.push_back(*r);
    if (!text) {
        chosen.bitsPerSecond = std::find(offered.begin(), offered.end(), 128000u) != offered.end()
                                   ? 128000u
                                   : offered.front();
        return chosen;
    }
    const auto k = wholeNumber(*text);
    if (!k || std::find(offered.begin(), offered.end(), uint32_t(*k) * 1000) == offered.end()) {
        std::string list;
        for (uint32_t r : offered) list += (list.empty() ? "" : ", ") + std::to_string(r / 1000);
        chosen.error = "--bitrate must be one of " + list + " (kbit/s)";
        chosen.badUsage = true;
        return chosen;
    }
    chosen.bitsPerSecond = uint32_t(*k) * 1000;
    return chosen;
}

int openCommandSource(const std::string& source, const std::string& command, std::ostream& err) {
    std::string why;
    const int drive = engine::cdOpenSource(source, &why);
    if (drive >= 0) return drive;
    std::error_code ec;
    const auto type = fs::status(files::pathFromUtf8(source), ec).type();
    const bool device = type == fs::file_type::block || type == fs::file_type::character;
    if (!device && !files::whyCannotOpen(source).empty()) {
        err << "quorvin " << command << ": "
            << files::cannotOpenMessage(source, BASS_ERROR_FILEOPEN) << "\n";
        return -1;
    }
    err << "quorvin " << command << ": cannot open \"" << source
        << "\" as a CD drive or disc image";
    if (!why.empty()) err << ": " << why;
    if (files::endsWithNoCase(source, ".cue") && why == engine::cd::kMissingBinReason)
        err << " (a .cue needs beside it the .bin its FILE line names, or one of its own name)";
    err << "\n";
    return -1;
}

// What an image cut inside its last sector lacks, when `track` (0-based; -1 for any) is its last
// track: "" for a whole image, a drive, or another track. The whole-disc rip says the same.
std::string cutShortNote(int drive, int track) {
    engine::CdToc toc;
    if (!engine::cdReadToc(DWORD(drive), &toc) || toc.missingBytes == 0 || toc.tracks.empty())
        return {};
    const int last = int(toc.tracks.size()) - 1;
    if (track >= 0 && track != last) return {};
    return "The image is shorter than its cue sheet: track " + std::to_string(last + 1) +
           " is cut short (the last " + std::to_string(toc.missingBytes) +
           " bytes of its last sector are missing; the sector is left out)";
}

int cdListCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--") {  // the end of the options: what follows is SOURCE, "--x" too
            positional.insert(positional.end(), args.begin() + std::ptrdiff_t(i) + 1, args.end());
            break;
        }
        if (args[i].size() > 2 && args[i].rfind("--", 0) == 0)
            return usage(err, "cd-list", "unknown option " + args[i], kListUsage);
        positional.push_back(args[i]);
    }
    if (positional.size() != 1) return usage(err, "cd-list", "wants one SOURCE", kListUsage);
    const std::string& source = positional[0];
    int drive = openCommandSource(source, "cd-list", err);
    if (drive < 0) return 1;
    TrackListing list = readTrackList(drive);
    switch (list.outcome) {
        case TrackListing::Outcome::NotReady:
            err << "quorvin cd-list: no readable disc in \"" << source << "\"\n";
            return 1;
        case TrackListing::Outcome::TrackCountFailed:
            err << "quorvin cd-list: Error retreiving number of tracks.\n";
            return 1;
        case TrackListing::Outcome::CdTextFailed:
            err << "quorvin cd-list: the disc's CD-Text cannot be read: Error #"
                << list.error.number << ", " << list.error.description << "\n";
            return 1;
        case TrackListing::Outcome::Listed:
            break;
    }
    out << "Artist: " << list.artist << "\n"
        << "Album: " << list.album << "\n";
    for (const std::string& row : list.rows) out << row << "\n";
    if (const std::string cut = cutShortNote(drive, -1); !cut.empty())
        err << "quorvin cd-list: note: " << cut << "\n";
    return 0;
}

int cdRipCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 const CommandProgress& progress) {
    if (ripsTheWholeDisc(args)) return cdRipDiscCommand(args, out, err, progress);
    const std::string name = "cd-rip";
    std::vector<std::string> positional;
    std::optional<std::string> bitrateText;
    std::vector<std::pair<std::string, std::string>> tags;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {  // the end of the options: what follows is positional, "--x" too
            positional.insert(positional.end(), args.begin() + std::ptrdiff_t(i) + 1, args.end());
            break;
        }
        auto value = [&](const std::string& option) -> std::optional<std::string> {
            if (a.rfind(option + "=", 0) == 0) return a.substr(option.size() + 1);
            if (a == option && i + 1 < args.size()) return args[++i];
            return std::nullopt;
        };
        if (a == "--bitrate" || a.rfind("--bitrate=", 0) == 0) {
            bitrateText = value("--bitrate");
            if (!bitrateText) return usage(err, name, "--bitrate wants a number", kRipUsage);
        } else if (a == "--tag" || a.rfind("--tag=", 0) == 0) {
            auto tag = value("--tag");
            size_t eq = tag ? tag->find('=') : std::string::npos;
            if (eq == std::string::npos)
                return usage(err, name, "--tag wants Name=Text", kRipUsage);
            std::string tagName = tag->substr(0, eq);
            const auto& known = wmaTagNames();
            auto it = std::find_if(known.begin(), known.end(), [&](const std::string& k) {
                return strcasecmp(k.c_str(), tagName.c_str()) == 0;
            });
            if (it == known.end())
                return usage(err, name,
                             "unknown tag \"" + tagName +
                                 "\" (Title, Author, WM/AlbumTitle, Description, Rating, "
                                 "Copyright, WM/Genre, WM/Year)",
                             kRipUsage);
            tags.emplace_back(*it, tag->substr(eq + 1));
        } else if (a.rfind("--", 0) == 0) {
            return usage(err, name, "unknown option " + a, kRipUsage);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 3) return usage(err, name, "wants SOURCE, TRACK and OUT", kRipUsage);
    const std::string& outPath = positional[2];
    const bool wma = files::endsWithNoCase(outPath, ".wma");
    if (!wma && !files::endsWithNoCase(outPath, ".wav"))
        return usage(err, name, "OUT must end in .wav or .wma", kRipUsage);
    if (!wma && (bitrateText || !tags.empty()))
        return usage(err, name, "--bitrate and --tag are for WMA files", kRipUsage);
    auto trackNumber = wholeNumber(positional[1]);
    if (!trackNumber || *trackNumber < 1)
        return usage(err, name, "TRACK must be a track number, 1 or more", kRipUsage);

    uint32_t bitrate = 0;
    if (wma) {
        const WmaBitrate chosen = chooseWmaBitrate(bitrateText);
        if (chosen.badUsage) return usage(err, name, chosen.error, kRipUsage);
        if (!chosen.error.empty()) {
            err << "quorvin cd-rip: " << chosen.error << "\n";
            return 1;
        }
        bitrate = chosen.bitsPerSecond;
    }

    // Refused before the disc is read, by the check every writer of the program makes.
    if (const files::Result r = files::checkReplaceable(outPath); !r) {
        err << "quorvin cd-rip: " << r.message << "\n";
        return 1;
    }
    int drive = openCommandSource(positional[0], name, err);
    if (drive < 0) return 1;
    for (const std::string& file : engine::cdImageFiles(DWORD(drive)))
        if (files::isTheInputItself(file, outPath)) {
            err << "quorvin cd-rip: the output \"" << outPath
                << "\" is a file of the disc image itself; choose another name\n";
            return 1;
        }
    int tracks = BASS_CD_GetTracks(DWORD(drive));
    if (tracks < 0) {
        err << "quorvin cd-rip: no readable disc in \"" << positional[0] << "\"\n";
        return 1;
    }
    if (*trackNumber > tracks) {
        err << "quorvin cd-rip: the disc has " << tracks << (tracks == 1 ? " track" : " tracks")
            << ", there is no track " << *trackNumber << "\n";
        return 1;
    }
    const int track = int(*trackNumber - 1);

    // A WAV file is written beside OUT under a fresh temporary name (the WMA extraction does the
    // same itself); OUT is replaced only by a complete file.
    std::string temp;
    if (!wma) {
        std::string why;
        temp = files::createTemporaryBeside(outPath, why);
        if (temp.empty()) {
            err << "quorvin cd-rip: " << why << "\n";
            return 1;
        }
    }
    ExtractHooks hooks;
    hooks.progress = progress.update;
    // Ctrl-C, a SIGTERM or a closed terminal stop it after the read under way, with nothing left.
    hooks.stop = [] { return StopOnSignals::stopped().load(); };
    const ExtractResult r = [&] {
        const StopOnSignals stopping;
        return wma ? extractTrackToWma(drive, track, bitrate, outPath, tags, hooks)
                   : extractTrackToWav(drive, track, temp, hooks);
    }();
    if (progress.done) progress.done();
    std::error_code ec;
    if (r.status == ExtractResult::Status::Stopped) {
        if (!temp.empty()) files::removeTemporary(temp);
        err << "quorvin cd-rip: stopped; nothing was written to \"" << outPath << "\"\n";
        return 130;
    }
    if (!r.ok()) {
        if (!temp.empty()) files::removeTemporary(temp);
        // The message names the user's OUT, never the temporary it never saw.
        const std::string message = files::namingDestination(r.message, temp, outPath);
        err << "quorvin cd-rip: ";
        switch (r.status) {
            case ExtractResult::Status::StreamFailed:
                // A data track (cd-list shows it as such) is said plainly; anything else with the
                // engine's code.
                if (r.engineError == BASS_ERROR_NOTAUDIO)
                    err << "track " << track + 1 << " is a data track, not audio\n";
                else
                    err << "track " << track + 1
                        << " cannot be read as audio (a data track?) (Error Code : "
                        << r.engineError << ")\n";
                break;
            case ExtractResult::Status::EncoderFailed:
                if (!r.reason.empty())  // the file could not be made: the system says why
                    err << files::namingDestination(r.reason, temp, outPath) << "\n";
                else
                    err << message << " (Error Code : " << r.engineError << ")\n";
                break;
            default:
                err << message << "\n";
                break;
        }
        err << "quorvin cd-rip: nothing was written to \"" << outPath << "\"\n";
        return 1;
    }
    if (!temp.empty()) {
        if (auto put = files::replaceFile(temp, outPath); !put.ok) {
            err << "quorvin cd-rip: " << put.message << "\n";
            return 1;
        }
    }
    const double audioSeconds = double(r.bytesRead) / BASS_CD_BYTES_PER_SECOND;
    out << "Track " << track + 1 << " (" << Seconds2HMS(lengthSeconds(int64_t(r.bytesRead)))
        << ") written to " << outPath;
    if (r.seconds > 0)
        out << " in " << tenthsWithLeadingZero(r.seconds) << " s, "
            << int64_t(audioSeconds / r.seconds) << "x realtime";
    out << "\n";
    // Kept, as the whole-disc rip keeps it, but not claimed complete.
    if (const std::string cut = cutShortNote(drive, track); !cut.empty()) {
        err << "quorvin cd-rip: " << cut << "\n";
        return 1;
    }
    return 0;
}

}  // namespace cd

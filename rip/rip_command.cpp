#include "rip/rip_command.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstddef>
#include <memory>
#include <optional>

#include "disc/basscd.h"
#include "encode/formats.h"
#include "rip/rip_disc.h"
#include "rip/stop_signals.h"
#include "rip/track_list.h"

namespace cd {

namespace {

constexpr const char* kUsage =
    "usage: quorvin cd-rip SOURCE all FOLDER [--format F] [--name TEMPLATE] [--offset N]\n"
    "                      [--bitrate K] [--year Y] [--accuraterip-db FILE] [--test-and-copy]\n"
    "  every audio track of SOURCE into FOLDER, with a rip log (CRC32, AccurateRip)\n"
    "  --format: flac (default), wav, mp3, ogg, opus, wma\n"
    "  --name: file names from %N (01), %n (1), %t title, %a artist, %A album artist,\n"
    "          %d album, %y year, %% and '/' for folders; default \"%N - %t\"\n"
    "  --offset: the drive's read offset in samples (e.g. +6, -472)\n"
    "  --bitrate: kbit/s for mp3, 8 to 320 (default 256), and wma, one of the encoder's rates\n"
    "             (default 128)\n"
    "  --year: the year for the tags and %y, 1 to 4 digits\n"
    "  --accuraterip-db: verify every track against this AccurateRip database file\n"
    "  --test-and-copy: read every track twice and compare the two CRCs\n";

int usage(std::ostream& err, const std::string& what) {
    err << "quorvin cd-rip: " << what << "\n" << kUsage;
    return 2;
}

const char* trackStatusWord(const TrackRip& t) {
    switch (t.status) {
        case TrackRip::Status::Ripped:
            switch (t.problem()) {
                case TrackRip::Problem::SkippedReads:
                    return "SKIPPED READS";
                case TrackRip::Problem::CutShort:
                    return "CUT SHORT";
                case TrackRip::Problem::TestMismatch:
                    return "TEST AND COPY MISMATCH";
                case TrackRip::Problem::None:
                    break;
            }
            return "ok";
        case TrackRip::Status::DataTrack:
            return "data track, skipped";
        case TrackRip::Status::ReadFailed:
            return "READ FAILED";
        case TrackRip::Status::WriteFailed:
            return "WRITE FAILED";
        case TrackRip::Status::Stopped:
            return "stopped";
        case TrackRip::Status::NotReached:
            return "not ripped";
    }
    return "";
}

}  // namespace

int cdRipDiscCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     const CommandProgress& progress) {
    std::vector<std::string> positional;
    RipOptions options;
    std::optional<std::string> bitrateText;  // checked once the format is known
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::optional<std::string> v;
        std::string option;
        if (a == "--") {  // the end of the options: what follows is positional, "--x" too
            positional.insert(positional.end(), args.begin() + std::ptrdiff_t(i) + 1, args.end());
            break;
        }
        if (a == "--test-and-copy") {
            options.testAndCopy = true;
            continue;
        }
        if (a.rfind("--", 0) == 0) {
            const size_t eq = a.find('=');
            option = a.substr(0, eq);
            if (eq != std::string::npos)
                v = a.substr(eq + 1);
            else if (i + 1 < args.size())
                v = args[++i];
            if (!v) return usage(err, option + " wants a value");
        } else {
            positional.push_back(a);
            continue;
        }
        if (option == "--format") {
            auto f = parseRipFormat(*v);
            if (!f) return usage(err, "unknown format \"" + *v + "\"");
            options.format = *f;
        } else if (option == "--name") {
            std::string why;
            if (!validNameTemplate(*v, &why)) return usage(err, why);
            options.nameTemplate = *v;
        } else if (option == "--offset") {
            auto n = wholeNumber(*v, true);
            if (!n || *n < -100000 || *n > 100000)
                return usage(
                    err, "--offset wants a number of samples from -100000 to 100000, not \"" + *v +
                             "\"");
            options.readOffset = int(*n);
        } else if (option == "--bitrate") {
            bitrateText = *v;
        } else if (option == "--year") {
            if (v->empty() || v->size() > 4 || !wholeNumber(*v))
                return usage(err, "--year wants a year of 1 to 4 digits, not \"" + *v + "\"");
            options.year = *v;
        } else if (option == "--accuraterip-db") {
            auto db = std::make_shared<AccurateRipDb>();
            std::string error;
            if (!readAccurateRipDb(*v, *db, error)) {
                err << "quorvin cd-rip: " << error << "\n";
                return 1;
            }
            options.accurateRipDb = std::move(db);
            options.accurateRipDbName = *v;
        } else {
            return usage(err, "unknown option " + option);
        }
    }
    if (positional.size() != 3) return usage(err, "wants SOURCE, all and FOLDER");
    // The bit rates a single track's rip and a render take: WMA's from the encoder's list, MP3's
    // from 8 to 320 kbit/s, with a note when MP3 writes another rate than asked.
    std::string bitrateNote;
    if (bitrateText) {
        if (!encode::takesBitrate(options.format))
            return usage(err, "--bitrate is for mp3 and wma");
        if (options.format == RipFormat::Wma) {
            const WmaBitrate chosen = chooseWmaBitrate(bitrateText);
            if (chosen.badUsage) return usage(err, chosen.error);
            if (!chosen.error.empty()) {
                err << "quorvin cd-rip: " << chosen.error << "\n";
                return 1;
            }
            options.bitrate = chosen.bitsPerSecond;
        } else {
            const auto n = wholeNumber(*bitrateText, true);
            if (!n || *n < 8 || *n > 320)
                return usage(err, "--bitrate wants a whole number from 8 to 320, not \"" +
                                      *bitrateText + "\"");
            options.bitrate = uint32_t(*n) * 1000;
        }
        bitrateNote = encode::bitrateNote(options.format, options.bitrate);
    }
    options.folder = positional[2];

    const int drive = openCommandSource(positional[0], "cd-rip", err);
    if (drive < 0) return 1;

    RipHooks hooks;
    hooks.progress = progress.update;
    // Ctrl-C, a SIGTERM or a closed terminal end the rip after the read under way: that track is
    // left out, the finished ones kept with the log, cue sheet and playlist written.
    const DiscRip rip = [&] {
        const StopOnSignals stopping;
        return ripDisc(drive, options, hooks, &StopOnSignals::stopped());
    }();
    if (progress.update) progress.update(1, 1);
    if (progress.done) progress.done();

    if (rip.status == DiscRip::Status::NoDisc || rip.status == DiscRip::Status::NoFolder) {
        err << "quorvin cd-rip: " << rip.message << "\n";
        return 1;
    }
    if (!bitrateNote.empty()) err << "quorvin cd-rip: note: " << bitrateNote << "\n";
    for (const TrackRip& t : rip.tracks) {
        out << "Track " << trackNumberField(t.number - 1) << ": " << trackStatusWord(t);
        if (!t.path.empty()) out << "  " << t.path;
        if (!t.message.empty() && t.status != TrackRip::Status::Ripped)
            out << "  (" << t.message << ")";
        if (t.tested && t.status == TrackRip::Status::Ripped)
            out << (t.testMismatch() ? "  test and copy: MISMATCH" : "  test and copy: match");
        if (t.accurateRip.kind != AccurateRipVerdict::Kind::NotChecked)
            out << "  AccurateRip: " << verdictText(t.accurateRip);
        out << "\n";
    }
    out << "Log: " << (rip.logPath.empty() ? "(could not be written)" : rip.logPath) << "\n";
    if (rip.status == DiscRip::Status::Stopped) {
        const bool any = std::any_of(rip.tracks.begin(), rip.tracks.end(), [](const TrackRip& t) {
            return t.status == TrackRip::Status::Ripped;
        });
        err << "quorvin cd-rip: stopped; "
            << (any ? "the finished tracks are in place\n" : "no track was finished\n");
        return 130;
    }
    if (!rip.allClean()) {
        const std::string faults = ripFaultSummary(rip);
        err << "quorvin cd-rip: " << (faults.empty() ? "NOT every track was ripped." : faults)
            << (rip.logPath.empty() ? "\n" : " (see the log)\n");
        return 1;
    }
    if (options.accurateRipDb && !rip.allAccurate()) {
        err << "quorvin cd-rip: NOT every track is accurate in AccurateRip (see the log)\n";
        return 1;
    }
    return rip.logPath.empty() ? 1 : 0;
}

}  // namespace cd

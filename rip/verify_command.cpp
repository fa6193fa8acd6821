#include "rip/verify_command.h"

#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <filesystem>
#include <optional>

#include "engine/bass.h"
#include "files/file_io.h"
#include "rip/accuraterip_db.h"
#include "rip/track_list.h"

namespace fs = std::filesystem;

namespace cd {

namespace {

constexpr const char* kUsage =
    "usage: quorvin cd-verify FOLDER --accuraterip-db FILE\n"
    "  checks the WAV or FLAC tracks ripped into FOLDER against an AccurateRip database file\n"
    "  (dBAR-NNN-XXXXXXXX-XXXXXXXX-XXXXXXXX.bin); tracks in track-number order\n";

int usage(std::ostream& err, const std::string& what) {
    err << "quorvin cd-verify: " << what << "\n" << kUsage;
    return 2;
}

struct TrackFile {
    int number = 0;
    std::string path;
    uint64_t frames = 0;  // stereo frames of 16-bit 44.1 kHz audio
};

// The track number: the file's track-number tag, else the number its name starts with.
std::optional<int> trackNumberOf(const fs::path& path) {
    TagLib::FileRef ref(path.c_str(), false);
    if (!ref.isNull() && ref.tag() && ref.tag()->track() > 0 && ref.tag()->track() < 100)
        return int(ref.tag()->track());
    const std::string name = path.filename().string();
    size_t digits = 0;
    while (digits < name.size() && digits < 3 &&
           std::isdigit(static_cast<unsigned char>(name[digits])))
        ++digits;
    if (digits == 0 || digits > 2) return std::nullopt;
    return std::stoi(name.substr(0, digits));
}

// The file's length in frames; nullopt when the decoder does not read it, and `why` when it is
// audio but not CD audio.
std::optional<uint64_t> probeTrack(const fs::path& path, std::string& why) {
    const HSTREAM s = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE);
    if (!s) return std::nullopt;
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(s, &info);
    const QWORD bytes = BASS_ChannelGetLength(s);
    BASS_StreamFree(s);
    if (info.freq != 44100 || info.chans != 2)
        why = "not CD audio (" + std::to_string(info.freq) + " Hz, " + std::to_string(info.chans) +
              " channels)";
    return bytes == QWORD(-1) ? 0 : bytes / 4;
}

// The track's AccurateRip checksums, its audio decoded piece by piece. False when the file
// cannot be decoded again.
bool checksumTrack(const TrackFile& t, bool first, bool last, TrackChecksums& sums) {
    const HSTREAM s = BASS_StreamCreateFile(0, t.path.c_str(), 0, 0, BASS_STREAM_DECODE);
    if (!s) return false;
    std::vector<uint8_t> buf(1 << 16);
    sums = TrackChecksums(t.frames, first, last);
    for (int n; (n = BASS_ChannelGetData(s, buf.data(), DWORD(buf.size()))) > 0;)
        sums.add(buf.data(), size_t(n));
    BASS_StreamFree(s);
    return true;
}

}  // namespace

int cdVerifyCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    const CommandProgress& progress) {
    std::vector<std::string> positional;
    std::string dbPath;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {  // the end of the options: what follows is FOLDER, "--x" too
            positional.insert(positional.end(), args.begin() + std::ptrdiff_t(i) + 1, args.end());
            break;
        }
        if (a == "--accuraterip-db" && i + 1 < args.size()) {
            dbPath = args[++i];
        } else if (a.rfind("--accuraterip-db=", 0) == 0) {
            dbPath = a.substr(17);
        } else if (a.rfind("--", 0) == 0) {
            return usage(err,
                         a == "--accuraterip-db" ? a + " wants a file" : "unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 1) return usage(err, "wants one FOLDER");
    if (dbPath.empty()) return usage(err, "wants --accuraterip-db FILE");
    AccurateRipDb db;
    std::string error;
    if (!readAccurateRipDb(dbPath, db, error)) {
        err << "quorvin cd-verify: " << error << "\n";
        return 1;
    }
    const fs::path folder = files::pathFromUtf8(positional[0]);
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        err << "quorvin cd-verify: \"" << positional[0] << "\" is not a folder\n";
        return 1;
    }
    std::vector<fs::path> paths;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.is_regular_file(ec)) paths.push_back(e.path());
    std::sort(paths.begin(), paths.end());

    std::vector<TrackFile> tracks;
    for (const fs::path& path : paths) {
        const std::string name = path.filename().string();
        std::string ext = path.extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        // A WMA or AAC rip, which the program writes or meets but does not decode, is not passed
        // over as if it were the log.
        for (const char* undecoded : {".wma", ".m4a", ".aac"})
            if (ext == undecoded) {
                err << "quorvin cd-verify: " << name
                    << " is not a WAV or FLAC file: only a WAV or FLAC rip can be verified\n";
                return 1;
            }
        std::string why;
        const auto frames = probeTrack(path, why);
        if (!frames) continue;  // not audio: the log, the cue sheet, the playlist
        // A lossy file decodes to other samples than the disc held: no checksum can match
        // (and Opus decodes at 48 kHz, which is no CD audio either).
        for (const char* lossy : {".mp3", ".mp2", ".ogg", ".oga", ".opus"})
            if (ext == lossy) {
                err << "quorvin cd-verify: " << name
                    << " is compressed with loss: only a WAV or FLAC rip can be verified\n";
                return 1;
            }
        if (!why.empty()) {
            err << "quorvin cd-verify: " << name << ": " << why << "\n";
            return 1;
        }
        const auto number = trackNumberOf(path);
        if (!number) {
            err << "quorvin cd-verify: " << name << " has no track number (tag or name)\n";
            return 1;
        }
        for (const TrackFile& t : tracks)
            if (t.number == *number) {
                err << "quorvin cd-verify: " << name << " and "
                    << fs::path(t.path).filename().string() << " are both track " << *number
                    << "\n";
                return 1;
            }
        tracks.push_back({*number, path.string(), *frames});
    }
    if (tracks.empty()) {
        err << "quorvin cd-verify: no audio files in \"" << positional[0] << "\"\n";
        return 1;
    }
    std::sort(tracks.begin(), tracks.end(),
              [](const TrackFile& a, const TrackFile& b) { return a.number < b.number; });

    // The disc as the files give it: the tracks one after another (a hidden track first).
    DiscLayout layout;
    int audioTracks = 0;
    uint32_t at = 0;
    for (const TrackFile& t : tracks) {
        const auto sectors = uint32_t(t.frames / kFramesPerSector);
        if (t.number > 0) {
            layout.trackStarts.push_back(at);
            ++audioTracks;
        }
        at += sectors;
    }
    layout.leadOut = at;
    const DiscIds ids = discIds(layout);
    // The submissions for the disc the files make, when the file holds any; else every one for
    // as many tracks (a data track or a pregap before track 1 changes the IDs).
    const bool sameDisc =
        std::any_of(db.submissions.begin(), db.submissions.end(), [&](const auto& s) {
            return s.id1 == ids.accurateRip1 && s.id2 == ids.accurateRip2 && s.freedb == ids.freedb;
        });
    if (!sameDisc)
        err << "quorvin cd-verify: note: the files give the disc ID " << hex8(ids.accurateRip1)
            << "-" << hex8(ids.accurateRip2) << "-" << hex8(ids.freedb)
            << ", which the database file does not hold (a data track or a pregap before track 1 "
               "changes it); the tracks are compared by their number\n";

    // Each track is the track of its number on the disc. A folder that lost tracks is a disc of as
    // many tracks as the database file's submissions give (its last track checksummed as the
    // last), not of as many as the folder holds.
    int discTracks = audioTracks;
    if (!sameDisc && tracks.back().number != audioTracks)
        for (const auto& s : db.submissions)
            if (int(s.tracks.size()) >= tracks.back().number) {
                discTracks = int(s.tracks.size());
                break;
            }

    // Numbers past every submission's tracks, the first of them past 1: they count a data track
    // before the audio (an enhanced CD's first track), where AccurateRip counts audio tracks only.
    // The smallest count of such tracks for which a submission holds the rest gives the shift.
    int shift = 0;
    const auto firstNumbered =
        std::find_if(tracks.begin(), tracks.end(), [](const TrackFile& t) { return t.number > 0; });
    const auto holding = [&](int count) {  // the tracks of a submission of `count` or more
        for (const auto& s : db.submissions)
            if (int(s.tracks.size()) >= count) return int(s.tracks.size());
        return 0;
    };
    if (!sameDisc && firstNumbered != tracks.end() && !holding(tracks.back().number))
        for (int s = 1; s < firstNumbered->number; ++s)
            if (const int held = holding(tracks.back().number - s)) {
                shift = s;
                discTracks = held;
                break;
            }
    const auto indexOf = [shift](const TrackFile& t) { return t.number - shift; };

    // The checksums first (with the progress bar), then the verdicts.
    std::vector<std::optional<TrackChecksums>> sums(tracks.size());
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (progress.update) progress.update(i, tracks.size());
        if (tracks[i].number == 0) continue;
        const int index = indexOf(tracks[i]);
        TrackChecksums s(0, false, false);
        if (checksumTrack(tracks[i], index == 1, index == discTracks, s)) sums[i] = s;
    }
    if (progress.update) progress.update(1, 1);
    if (progress.done) progress.done();
    bool allAccurate = true;
    for (size_t i = 0; i < tracks.size(); ++i) {
        const TrackFile& t = tracks[i];
        out << "Track " << trackNumberField(t.number - 1) << ": ";
        if (t.number == 0) {
            out << "hidden track, not in AccurateRip\n";
            continue;
        }
        if (!sums[i]) {
            out << "cannot be decoded\n";
            allAccurate = false;
            continue;
        }
        const TrackChecksums& sum = *sums[i];
        const AccurateRipVerdict verdict =
            verifyTrack(db, indexOf(t), discTracks, sum.accurateRipV1(), sum.accurateRipV2(),
                        sameDisc ? &ids : nullptr);
        if (verdict.kind != AccurateRipVerdict::Kind::Accurate) allAccurate = false;
        out << verdictText(verdict) << "\n";
    }
    if (!allAccurate) err << "quorvin cd-verify: NOT every track is accurate in AccurateRip\n";
    return allAccurate ? 0 : 1;
}

}  // namespace cd

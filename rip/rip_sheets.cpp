// The cue sheet and the .m3u playlist written beside a rip.
#include <cstdio>
#include <filesystem>
#include <string>

#include "files/file_io.h"
#include "rip/rip_disc.h"

namespace fs = std::filesystem;

namespace cd {

namespace {

// A text as a cue sheet quotes it: a cue sheet has no way to write a double quote.
std::string quoted(std::string text) {
    for (char& c : text)
        if (c == '"') c = '\'';
    return "\"" + text + "\"";
}

std::string msf(uint32_t sectors) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", sectors / (60 * 75), sectors / 75 % 60,
                  sectors % 75);
    return buf;
}

// A ripped file's path relative to the rip's folder, with '/' between folders.
std::string relativePath(const DiscRip& rip, const std::string& path) {
    std::error_code ec;
    const fs::path relative =
        fs::relative(files::pathFromUtf8(path), files::pathFromUtf8(rip.folder), ec);
    return ec || relative.empty() ? fs::path(path).filename().generic_string()
                                  : relative.generic_string();
}

bool ripped(const TrackRip& t) {
    return t.status == TrackRip::Status::Ripped;
}

}  // namespace

std::string ripCueSheet(const DiscRip& rip) {
    std::string cue;
    auto line = [&](const std::string& text) { cue += text + "\n"; };
    if (!rip.genre.empty()) line("REM GENRE " + quoted(rip.genre));
    if (!rip.year.empty()) line("REM DATE " + rip.year);
    if (!rip.catalog.empty()) line("CATALOG " + rip.catalog);
    line("REM DISCID " + hex8(rip.ids.freedb));
    line("REM MUSICBRAINZ_DISCID " + rip.musicBrainzId);
    if (!rip.artist.empty()) line("PERFORMER " + quoted(rip.artist));
    if (!rip.album.empty()) line("TITLE " + quoted(rip.album));
    const TrackRip* previous = nullptr;  // the track ripped just before, adjacent on the disc
    for (const TrackRip& t : rip.tracks) {
        if (!ripped(t)) {
            previous = nullptr;
            continue;
        }
        const std::string file = "FILE " + quoted(relativePath(rip, t.path)) + " WAVE";
        if (t.number == 0) {  // the hidden track: track 1's INDEX 00, in a file of its own
            // Only before track 1's file: a sheet's first track starts where its first file does.
            const bool trackOne = &t != &rip.tracks.back() && ripped(*(&t + 1));
            if (trackOne) line(file);
            previous = trackOne ? &t : nullptr;
            continue;
        }
        char number[8];
        std::snprintf(number, sizeof number, "%02d", t.number);
        std::string head = "  TRACK " + std::string(number) + " AUDIO\n";
        if (!t.title.empty()) head += "    TITLE " + quoted(t.title) + "\n";
        if (!t.artist.empty()) head += "    PERFORMER " + quoted(t.artist) + "\n";
        if (t.copyPermitted || t.preEmphasis)
            head += std::string("    FLAGS") + (t.copyPermitted ? " DCP" : "") +
                    (t.preEmphasis ? " PRE" : "") + "\n";
        if (!t.isrc.empty()) head += "    ISRC " + t.isrc + "\n";
        // The pregap lies at the end of the file before (gaps appended), when that file exists.
        // A hidden track is all of track 1's pregap.
        const uint32_t pregap = previous && previous->number == 0 ? 0 : t.pregapLba;
        if (previous && pregap < t.startLba && pregap >= previous->startLba) {
            cue += head;
            line("    INDEX 00 " + msf(pregap - previous->startLba));
            line(file);
        } else {
            line(file);
            cue += head;
            // Silence before track 1 (not ripped).
            if (&t == &rip.tracks.front() && t.startLba > 0) line("    PREGAP " + msf(t.startLba));
        }
        line("    INDEX 01 00:00:00");
        previous = &t;
    }
    return cue;
}

std::string ripPlaylist(const DiscRip& rip) {
    std::string m3u = "#EXTM3U\n";
    for (const TrackRip& t : rip.tracks) {
        if (!ripped(t)) continue;
        const uint64_t seconds = (t.bytes + 88200) / 176400;
        const std::string title =
            t.title.empty()
                ? "Track " + std::string(t.number < 10 ? "0" : "") + std::to_string(t.number)
                : t.title;
        const std::string name = t.artist.empty() ? title : t.artist + " - " + title;
        // A line that starts with '#' would be read as a comment.
        const std::string path = relativePath(rip, t.path);
        m3u += "#EXTINF:" + std::to_string(seconds) + "," + name + "\n" +
               (!path.empty() && path.front() == '#' ? "./" : "") + path + "\n";
    }
    return m3u;
}

}  // namespace cd

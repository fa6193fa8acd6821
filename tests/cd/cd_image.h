// Disc images the CD tests write: a .bin of generated audio tracks (and data tracks) and a .cue
// of the same base name, with CD-Text titles and performers where asked. The cue sheet is
// written in Latin-1, as cue sheets are read.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <sndfile.h>

#include "tests/support/audio_fixtures.h"

namespace cdimage {

constexpr int kFramesPerSector = 588;
constexpr int kSectorBytes = 2352;

struct Track {
    int sectors = 75;  // one second
    bool data = false;
    double freq = 440.0;                          // tone of an audio track
    bool noise = false;                           // white noise instead of the tone
    std::optional<std::string> title, performer;  // UTF-8
    // The first `pregap` sectors are the track's INDEX 00 (silence when `silentPregap`); for
    // track 1 they are the audio before its INDEX 01, where a hidden track may be.
    int pregap = 0;
    bool silentPregap = false;
    bool pre = false, dcp = false;  // FLAGS
    std::optional<std::string> isrc;
};

struct Disc {
    std::vector<Track> tracks;
    std::optional<std::string> title, performer;
    std::optional<std::string> genre, date;  // REM GENRE, REM DATE
    std::optional<std::string> catalog;      // CATALOG
};

// `n` audio tracks of `sectors` sectors each with distinct tones.
inline std::vector<Track> audioTracks(int n, int sectors) {
    std::vector<Track> out;
    for (int i = 0; i < n; ++i) {
        Track t;
        t.sectors = sectors;
        t.freq = 220.0 + 55.0 * i;
        out.push_back(t);
    }
    return out;
}

// A disc of `tracks` such tracks with an album, a performer and titles "Song 1"...
inline Disc namedDisc(int tracks, int sectors) {
    Disc d;
    d.title = "Night Album";
    d.performer = "The Band";
    d.tracks = audioTracks(tracks, sectors);
    for (int i = 0; i < tracks; ++i) d.tracks[size_t(i)].title = "Song " + std::to_string(i + 1);
    return d;
}

// The bytes of one track as they stand in the .bin (little-endian 16-bit stereo for audio).
inline std::vector<uint8_t> trackBytes(const Track& t, int index) {
    std::vector<uint8_t> b(size_t(t.sectors) * kSectorBytes);
    if (t.data) {
        for (size_t i = 0; i < b.size(); ++i) b[i] = uint8_t(0x5a ^ (i * 31 + size_t(index)));
        return b;
    }
    if (t.noise) {
        uint32_t seed = 2463534242u + uint32_t(index) * 7919u;
        for (auto& byte : b) {
            seed ^= seed << 13;
            seed ^= seed >> 17;
            seed ^= seed << 5;
            byte = uint8_t(seed >> 24);
        }
        if (t.silentPregap) std::fill_n(b.begin(), size_t(t.pregap) * kSectorBytes, uint8_t(0));
        return b;
    }
    const size_t frames = size_t(t.sectors) * kFramesPerSector;
    for (size_t f = 0; f < frames; ++f) {
        double s = std::sin(2.0 * M_PI * t.freq * double(f) / 44100.0);
        auto l = int16_t(std::lround(12000.0 * s));
        auto r = int16_t(std::lround(-9000.0 * s) + int(f % 7) - 3);
        b[f * 4 + 0] = uint8_t(l & 0xff);
        b[f * 4 + 1] = uint8_t((l >> 8) & 0xff);
        b[f * 4 + 2] = uint8_t(r & 0xff);
        b[f * 4 + 3] = uint8_t((r >> 8) & 0xff);
    }
    if (t.silentPregap) std::fill_n(b.begin(), size_t(t.pregap) * kSectorBytes, uint8_t(0));
    return b;
}

inline std::string latin1(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += char(c);
        } else if ((c & 0xe0) == 0xc0 && i + 1 < utf8.size()) {
            out += char(((c & 0x1f) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3f));
        } else {
            out += '?';
        }
    }
    return out;
}

inline std::string msf(int sector) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", sector / (75 * 60), (sector / 75) % 60,
                  sector % 75);
    return buf;
}

// How write() lays the disc out: one .bin (as most rippers write); a .bin per track, each track's
// INDEX 00 at the start of its own file or at the end of the file before; one FLAC of the whole
// disc; a WAV per track, its gap at the end of the file before (FILE ... WAVE: audio tracks only).
enum class Files { One, PerTrack, PerTrackGapsBefore, OneFlac, PerTrackWav };

// Writes the disc's files and `base`.cue (base: a path without extension): `base`.bin, `base`.flac
// or `base` (Track NN).bin/.wav. Returns the .cue's path.
inline std::string write(const std::string& base, const Disc& disc, Files files = Files::One) {
    const std::string folder = base.substr(0, base.find_last_of('/') + 1);
    const std::string stem = base.substr(folder.size());
    const bool perTrack = files == Files::PerTrack || files == Files::PerTrackGapsBefore ||
                          files == Files::PerTrackWav;
    const bool gapsBefore = files == Files::PerTrackGapsBefore || files == Files::PerTrackWav;
    std::string cue, name;
    std::vector<uint8_t> bytes;  // of the file being written
    auto flush = [&] {
        if (name.empty()) return;
        if (files == Files::OneFlac || files == Files::PerTrackWav) {
            fixtures::Pcm pcm;
            pcm.samples.resize(bytes.size() / 2);
            for (size_t i = 0; i < pcm.samples.size(); ++i)
                pcm.samples[i] = int16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
            fixtures::writeSound(folder + name, pcm,
                                 files == Files::OneFlac ? SF_FORMAT_FLAC | SF_FORMAT_PCM_16
                                                         : SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        } else {
            std::ofstream(folder + name, std::ios::binary | std::ios::trunc)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        }
        bytes.clear();
    };
    auto newFile = [&](const std::string& next) {
        flush();
        name = next;
        const bool audio = files == Files::OneFlac || files == Files::PerTrackWav;
        cue += "FILE \"" + name + (audio ? "\" WAVE\n" : "\" BINARY\n");
    };
    if (disc.genre) cue += "REM GENRE " + *disc.genre + "\n";
    if (disc.date) cue += "REM DATE " + *disc.date + "\n";
    if (disc.catalog) cue += "CATALOG " + *disc.catalog + "\n";
    if (disc.performer) cue += "PERFORMER \"" + latin1(*disc.performer) + "\"\n";
    if (disc.title) cue += "TITLE \"" + latin1(*disc.title) + "\"\n";
    if (files == Files::One) {
        newFile(stem + ".bin");
    } else if (files == Files::OneFlac) {
        newFile(stem + ".flac");
    }
    int pos = 0;  // in the current file
    for (size_t i = 0; i < disc.tracks.size(); ++i) {
        const Track& t = disc.tracks[i];
        char own[32];
        std::snprintf(own, sizeof own, " (Track %02d).%s", int(i + 1),
                      files == Files::PerTrackWav ? "wav" : "bin");
        const bool gapBefore = gapsBefore && i > 0 && t.pregap > 0;
        if (perTrack && !gapBefore) {
            newFile(stem + own);
            pos = 0;
        }
        char head[64];
        std::snprintf(head, sizeof head, "  TRACK %02d %s\n", int(i + 1),
                      t.data ? "MODE1/2352" : "AUDIO");
        cue += head;
        if (t.title) cue += "    TITLE \"" + latin1(*t.title) + "\"\n";
        if (t.performer) cue += "    PERFORMER \"" + latin1(*t.performer) + "\"\n";
        if (t.pre || t.dcp)
            cue += std::string("    FLAGS") + (t.dcp ? " DCP" : "") + (t.pre ? " PRE" : "") + "\n";
        if (t.isrc) cue += "    ISRC " + *t.isrc + "\n";
        if (t.pregap > 0) cue += "    INDEX 00 " + msf(pos) + "\n";
        const auto track = trackBytes(t, int(i));
        size_t from = 0;
        if (gapBefore) {  // the gap ends the file before; the track's own file starts at INDEX 01
            from = size_t(t.pregap) * kSectorBytes;
            bytes.insert(bytes.end(), track.begin(), track.begin() + std::ptrdiff_t(from));
            newFile(stem + own);
            pos = -t.pregap;
        }
        cue += "    INDEX 01 " + msf(pos + t.pregap) + "\n";
        bytes.insert(bytes.end(), track.begin() + std::ptrdiff_t(from), track.end());
        pos += t.sectors;
    }
    flush();
    std::ofstream(base + ".cue", std::ios::binary | std::ios::trunc) << cue;
    return base + ".cue";
}

}  // namespace cdimage

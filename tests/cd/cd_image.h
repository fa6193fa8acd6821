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

// How write() lays the disc out: one .bin (as most rippers write), or a .bin per track with each
// track's INDEX 00 at the start of its own file or at the end of the file before it.
enum class Files { One, PerTrack, PerTrackGapsBefore };

// Writes `base`.bin (or `base` (Track NN).bin, one per track) and `base`.cue (base: a path without
// extension); returns the .cue's path.
inline std::string write(const std::string& base, const Disc& disc, Files files = Files::One) {
    const std::string folderless = base.substr(base.find_last_of('/') + 1);
    std::ofstream bin;
    std::string cue;
    if (disc.performer) cue += "PERFORMER \"" + latin1(*disc.performer) + "\"\n";
    if (disc.title) cue += "TITLE \"" + latin1(*disc.title) + "\"\n";
    auto newFile = [&](const std::string& name) {
        bin.close();
        bin.open(base.substr(0, base.size() - folderless.size()) + name,
                 std::ios::binary | std::ios::trunc);
        cue += "FILE \"" + name + "\" BINARY\n";
    };
    if (files == Files::One) {
        bin.open(base + ".bin", std::ios::binary | std::ios::trunc);
        cue += "FILE \"image.bin\" BINARY\n";
    }
    int pos = 0;  // in the current file
    for (size_t i = 0; i < disc.tracks.size(); ++i) {
        const Track& t = disc.tracks[i];
        char name[32];
        std::snprintf(name, sizeof name, " (Track %02d).bin", int(i + 1));
        const bool gapBefore = files == Files::PerTrackGapsBefore && i > 0 && t.pregap > 0;
        if (files != Files::One && !gapBefore) {
            newFile(folderless + name);
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
        const auto bytes = trackBytes(t, int(i));
        size_t from = 0;
        if (gapBefore) {  // the gap ends the file before; the track's own file starts at INDEX 01
            from = size_t(t.pregap) * kSectorBytes;
            bin.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(from));
            newFile(folderless + name);
            pos = -t.pregap;
        }
        cue += "    INDEX 01 " + msf(pos + t.pregap) + "\n";
        bin.write(reinterpret_cast<const char*>(bytes.data() + from),
                  std::streamsize(bytes.size() - from));
        pos += t.sectors;
    }
    bin.close();
    std::ofstream(base + ".cue", std::ios::binary | std::ios::trunc) << cue;
    return base + ".cue";
}

}  // namespace cdimage

// Ripping a whole disc: every audio track of a drive into a folder, in one format, named from a
// template and tagged from the disc's CD-Text, each track checksummed (CRC32, AccurateRip v1 and
// v2) while it is read, with a rip log, a cue sheet and an .m3u playlist beside the files. Data
// tracks are skipped and listed. Audio before track 1's INDEX 01 that is not digital silence (a
// hidden track) is ripped as track 00. With a downloaded AccurateRip database file each track is
// verified against it; with test and copy each track is read twice and the two CRCs compared.
//
// Each file is written under a temporary name beside its final one and renamed when complete, so
// a stop, a failing disc or a full disk never leaves a partial file under a final name; tracks
// read completely before a stop are finished and stay. The tracks are encoded on one thread of
// the rip's own while the next ones are read. ripDisc() runs on any thread (the window runs it on
// a worker); its hooks run on that thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "disc/cd_ext.h"
#include "engine/bass.h"
#include "rip/accuraterip_db.h"
#include "rip/rip_checksums.h"
#include "rip/rip_formats.h"
#include "rip/rip_names.h"

namespace cd {

struct RipOptions {
    std::string folder;  // created when missing
    RipFormat format = RipFormat::Flac;
    std::string nameTemplate = kDefaultNameTemplate;
    uint32_t bitrate = 0;  // MP3 and WMA, bits per second; 0: the format's default
    int readOffset = 0;    // samples; applied to the drive for this rip
    std::string year;      // tagged and in names when not empty
    // When set, every track is verified against this AccurateRip database file's submissions.
    std::shared_ptr<const AccurateRipDb> accurateRipDb;
    std::string accurateRipDbName;  // the file's name, for the log
    // Every track read twice (a test read for its CRC, then the copy), the CRCs compared.
    bool testAndCopy = false;
};

struct TrackRip {
    enum class Status {
        Ripped,       // complete, under `path`
        DataTrack,    // skipped: not audio
        ReadFailed,   // the disc failed: no file
        WriteFailed,  // the file could not be written: no file
        Stopped,      // stopped while this track was read: no file
        NotReached,   // the rip ended before this track
    };
    int number = 0;  // as on the disc; 0: the hidden track before track 1
    Status status = Status::NotReached;
    std::string path;  // final path (Ripped)
    std::string title, artist;
    uint64_t bytes = 0;  // PCM bytes read
    uint32_t crc32 = 0, accurateRipV1 = 0, accurateRipV2 = 0;
    uint32_t peak = 0;  // 0..32768
    engine::CdReadReport report;
    uint32_t missingBytes = 0;  // an image cut inside the track's last sector: what it lacks
    std::string message;        // why, for the failures
    // From the table of contents: where the track's INDEX 00 and INDEX 01 are (LBA), its flags
    // and its ISRC.
    uint32_t pregapLba = 0, startLba = 0;
    bool preEmphasis = false, copyPermitted = false;
    std::string isrc;
    // Test and copy: the CRC32 of the test read (`tested` once it was read completely).
    bool tested = false;
    uint32_t testCrc32 = 0;
    bool testMismatch() const { return tested && status == Status::Ripped && testCrc32 != crc32; }
    AccurateRipVerdict accurateRip;  // NotChecked without a database file
    // What keeps a ripped track from being an exact copy, the first of them that applies.
    enum class Problem { None, SkippedReads, CutShort, TestMismatch };
    Problem problem() const {
        if (report.skipped > 0 || report.readErrors > 0) return Problem::SkippedReads;
        if (missingBytes > 0) return Problem::CutShort;
        if (testMismatch()) return Problem::TestMismatch;
        return Problem::None;
    }
    // Read completely and without skipped reads or read errors (and, tested, read the same
    // twice).
    bool clean() const { return status == Status::Ripped && problem() == Problem::None; }
};

struct DiscRip {
    enum class Status {
        Done,      // every track was attempted (see the tracks for each one's result)
        Stopped,   // the user stopped it
        NoDisc,    // no table of contents: nothing done
        NoFolder,  // the folder cannot be made: nothing done
    };
    Status status = Status::NoDisc;
    std::string message;
    std::string artist, album;
    // The year (--year, else a disc image's REM DATE) and the genre (CD-Text, REM GENRE).
    std::string year, genre;
    std::string catalog;  // a disc image's catalogue number (UPC/EAN), for the cue sheet
    std::string driveName, paranoiaMode;
    int readOffset = 0;
    RipFormat format = RipFormat::Flac;
    DiscIds ids;
    std::string musicBrainzId, musicBrainzUrl;
    // Tagged ALBUMARTIST: the disc's performer, when a track's performer differs from it.
    std::string albumArtist;
    bool testAndCopy = false;
    std::string accurateRipDbName;  // "" when not verified
    // Every track of the disc, data tracks included; a hidden track (number 0) first.
    std::vector<TrackRip> tracks;
    std::string logPath;                // "" when the log could not be written
    std::string cuePath, playlistPath;  // "" when not written
    std::string folder;
    double seconds = 0;
    // Every audio track ripped, none with a skipped read or a read error.
    bool allClean() const;
    // Verified against a database file, and every audio track found accurate.
    bool allAccurate() const;
};

struct RipHooks {
    // A track starts being read (index into DiscRip::tracks), with its stream; with test and copy
    // twice, for the test read and for the copy.
    std::function<void(int index, HSTREAM stream)> trackStarted;
    // After every read: audio bytes read of the whole disc, and the disc's audio bytes (twice
    // them with test and copy).
    std::function<void(uint64_t done, uint64_t total)> progress;
    // After every read: bytes read of the track being read, and its length in bytes.
    std::function<void(uint64_t done, uint64_t total)> trackProgress;
    // A track is done (whatever its status), in disc order. Files are finished while the next
    // track is read, so this may come after the next track's trackStarted.
    std::function<void(const TrackRip& track)> trackDone;
};

// Rips `drive` as `options` say. `stop`, when set by another thread, ends the rip after the read
// under way. The log is written even after a stop.
DiscRip ripDisc(int drive, const RipOptions& options, const RipHooks& hooks = {},
                const std::atomic<bool>* stop = nullptr);

// What went wrong, in sentences that name the cause (reads, an image cut short, writing the
// files, tracks not reached) and the tracks; "" when every attempted track is clean.
std::string ripFaultSummary(const DiscRip& rip);

// The rip log's text.
std::string ripLogText(const DiscRip& rip, const std::string& when);

// The cue sheet of the ripped files (one FILE each, gaps appended to the track before them:
// INDEX 00 in the file before, INDEX 01 at the start of its own), with the disc's CD-Text,
// FLAGS (PRE, DCP) and ISRCs; and the .m3u playlist of the files. Paths relative to the folder.
std::string ripCueSheet(const DiscRip& rip);
std::string ripPlaylist(const DiscRip& rip);

}  // namespace cd

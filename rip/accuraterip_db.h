// Verifying ripped tracks against a downloaded AccurateRip database file (dBAR-NNN-….bin), with
// no network: the file holds one or more submissions (pressings, drive offsets), each a byte of
// track count, the two AccurateRip disc IDs and the freedb ID, then per track a byte of
// confidence, the track's checksum (v1 or v2) and the checksum of its frame 450, all 32-bit
// little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rip/rip_checksums.h"

namespace cd {

struct AccurateRipSubmission {
    struct Track {
        int confidence = 0;
        uint32_t crc = 0;
        uint32_t frame450Crc = 0;
    };
    uint32_t id1 = 0, id2 = 0, freedb = 0;
    std::vector<Track> tracks;
};

struct AccurateRipDb {
    std::vector<AccurateRipSubmission> submissions;
};

// The largest database file read (real ones hold a few kilobytes).
constexpr size_t kMaxAccurateRipDbBytes = 4 * 1024 * 1024;

// False with `error` set (for the user) when `bytes` is not a database file: empty, a track
// count of 0, cut short inside a submission, or too large.
bool parseAccurateRipDb(std::string_view bytes, AccurateRipDb& db, std::string& error);
// The file at `path` (UTF-8) read and parsed; the error names the file's fault.
bool readAccurateRipDb(const std::string& path, AccurateRipDb& db, std::string& error);

struct AccurateRipVerdict {
    enum class Kind { NotChecked, Accurate, NotAccurate, NotInDatabase };
    Kind kind = Kind::NotChecked;
    int confidence = 0;  // Accurate: the confidence of the submissions matched
    int version = 0;     // Accurate: 2 when the v2 checksum matched, else 1
};

// The verdict on audio track `track` (1-based among the disc's `audioTracks` audio tracks) with
// checksums v1 and v2. Only submissions for as many tracks count, and with `ids` given only
// those for that disc. A track with no submission holding a checksum for it is not in the
// database; a v2 match wins over a v1 match, and the confidences of the submissions that match
// add up.
AccurateRipVerdict verifyTrack(const AccurateRipDb& db, int track, int audioTracks, uint32_t v1,
                               uint32_t v2, const DiscIds* ids = nullptr);

// "accurate (confidence 12, v2)", "not accurate", "not in database"; "" when not checked.
std::string verdictText(const AccurateRipVerdict& verdict);

}  // namespace cd

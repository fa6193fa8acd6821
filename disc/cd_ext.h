// What the CD engine offers beyond the drive and stream operations of basscd.h: the table of
// contents, read offset correction, what error correction did while a stream was read, and a
// read fault stand-in for tests. Any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disc/basscd.h"

namespace engine {

// Table of contents of a drive (a real drive or a .cue image opened as a drive).
struct CdTrackEntry {
    int number;         // as on the disc (usually 1 for the first track)
    uint32_t startLba;  // first sector
    uint32_t sectors;   // up to the next track's start (or the lead-out)
    bool audio;
    uint32_t pregapLba = 0;  // its INDEX 00 (== startLba when the disc names none: a drive)
    bool preEmphasis = false;
    bool copyPermitted = false;  // the "digital copy permitted" flag
    std::string isrc;            // empty when the disc has none
};
// LBAs as on the disc (first track usually 0; add 150 for MSF/AccurateRip/freedb conventions).
struct CdToc {
    std::vector<CdTrackEntry> tracks;
    uint32_t leadOutLba = 0;
    // An image cut inside a sector: the bytes its last sector lacks (that sector is left out of
    // the last track). 0 for a whole image or a disc.
    uint32_t missingBytes = 0;
    // The year a disc image's cue sheet gives (REM DATE); empty for a disc and when not given.
    std::string year;
    // The disc's catalogue number (UPC/EAN, 13 digits) a cue sheet gives; empty when not given.
    std::string catalog;
};
// False with BASS_ERROR_NOCD when the drive holds no readable disc (BASS_ERROR_DEVICE past the
// last drive).
bool cdReadToc(DWORD drive, CdToc* toc);

// A stream (as BASS_CD_StreamCreate makes) of the audio before the first track's INDEX 01: the
// sectors from the disc's start, where a hidden track may be. 0 with BASS_ERROR_NOTAUDIO when
// the first track starts at the disc's start or is a data track.
HSTREAM cdHiddenTrackStreamCreate(DWORD drive, DWORD flags);

// Read offset correction in samples (stereo frames), applied to every CD stream created
// afterwards for that drive (positive: the audio is taken `samples` later on the disc; beyond
// the disc's ends, silence). 0 for a drive that does not exist.
void setCdReadOffset(DWORD drive, int samples);
int cdReadOffset(DWORD drive);

// What error correction reported while a CD stream was read, for the rip log: sectors
// delivered, reads that needed correction, reads skipped, sectors read again after a failed
// read, and sectors that could not be read at all.
struct CdReadReport {
    uint64_t sectorsRead = 0;
    uint32_t corrected = 0;
    uint32_t skipped = 0;
    uint32_t reReads = 0;
    uint32_t readErrors = 0;
};
// False (BASS_ERROR_HANDLE) when `stream` is not a live CD stream.
bool cdStreamReadReport(HSTREAM stream, CdReadReport* out);
// The error correction `drive`'s streams are read with, e.g. "full, never skip off" (none for a
// disc image of audio files or of a file per track); empty past the last drive.
std::string cdParanoiaMode(DWORD drive);
// The drive's vendor and model, or the image's path; empty past the last drive.
std::string cdDriveName(DWORD drive);
// The files an image reads: its sheet and the files it names. Empty for a drive and past the
// last drive.
std::vector<std::string> cdImageFiles(DWORD drive);

// Drives come and go: the poller looks for drives plugged in or removed every few seconds. A new
// drive is added at the end of the table; a removed one keeps its index and description but every
// call on it fails with BASS_ERROR_DEVICE, and its streams fail their next read.
bool cdDrivePresent(DWORD drive);
// Changes whenever a drive was added or removed by a rescan.
uint64_t cdDriveListGeneration();
// Looks for drives now (any thread; it may take a moment per new drive).
void cdRescanDrives();
// Tests only: the rescans see these paths (disc images standing in for devices) instead of the
// machine's drives; null returns to the machine's drives.
void cdSetTestDeviceList(const std::vector<std::string>* paths);

// Tests only: makes the CD reader of `drive` report a skipped read at disc sector `sector`
// (and fail the read when `fail`), on every stream reading it from now on.
void cdInjectReadFault(DWORD drive, uint32_t sector, bool fail);

}  // namespace engine

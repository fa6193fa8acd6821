// The engine's CD operations: drives, door, tracks, CD-Text and CD audio streams, on libcdio and
// libcdio-paranoia.
//
// Drives are numbered from 0: first the machine's CD drives (found at the first call), then the
// disc images added with engine::cdAddImage(), which behave as drives whose door can be neither
// opened nor locked. Queries that may touch the hardware (door, lock, ready, tracks, CD-Text)
// answer from what a background poller last read, so the window thread never waits for a slow
// or busy drive. Every operation may be called from any thread; returned strings stay valid as
// the comments say. After a failure BASS_ErrorGetCode() tells why.
#pragma once

#include <cstdint>
#include <string>

#include "engine/bass.h"

// --- records and constants -----------------------------------------------------------------
// BASS_CD_GetInfo: what a drive can do.
struct BASS_CD_INFO {
    DWORD flags;     // BASS_CD_RWFLAG_* capability bits
    DWORD canopen;   // 1 when the door can be opened and closed
    DWORD canlock;   // 1 when the door can be locked
    DWORD maxspeed;  // maximum read speed in KB per second (0 when the drive does not say)
    DWORD cache;     // cache size in KB (0 when the drive does not say)
    DWORD cdtext;    // 1 when the drive can read CD-Text
};

constexpr DWORD BASS_CD_RWFLAG_READCDR = 0x1;
constexpr DWORD BASS_CD_RWFLAG_READCDRW = 0x2;
constexpr DWORD BASS_CD_RWFLAG_READCDRW2 = 0x4;  // CD-R/RW "method 2"
constexpr DWORD BASS_CD_RWFLAG_READDVD = 0x8;
constexpr DWORD BASS_CD_RWFLAG_READDVDR = 0x10;
constexpr DWORD BASS_CD_RWFLAG_READDVDRAM = 0x20;
constexpr DWORD BASS_CD_RWFLAG_READM2F1 = 0x100000;
constexpr DWORD BASS_CD_RWFLAG_READM2F2 = 0x200000;
constexpr DWORD BASS_CD_RWFLAG_READMULTI = 0x400000;
constexpr DWORD BASS_CD_RWFLAG_READCDDA = 0x1000000;
constexpr DWORD BASS_CD_RWFLAG_READCDDASIA = 0x2000000;  // "stream is accurate"

// BASS_CD_Door actions.
constexpr DWORD BASS_CD_DOOR_CLOSE = 0;
constexpr DWORD BASS_CD_DOOR_OPEN = 1;
constexpr DWORD BASS_CD_DOOR_LOCK = 2;
constexpr DWORD BASS_CD_DOOR_UNLOCK = 3;

// BASS_CD_GetID kinds.
constexpr DWORD BASS_CDID_TEXT = 4;  // CD-Text block: "KEYn=value" strings, then an empty one

// Errors of the CD operations (beside those of bass.h).
constexpr int BASS_ERROR_NOTAUDIO = 17;      // the track is a data track
constexpr int BASS_ERROR_CDREAD = 18;        // the disc could not be read (door opened, scratches)
constexpr int BASS_ERROR_NOTSUPPORTED = 21;  // the drive cannot do that (door of a disc image)

// Bytes per second of CD audio: 44100 frames of 2 channels of 16 bits.
constexpr DWORD BASS_CD_BYTES_PER_SECOND = 176400;
constexpr DWORD BASS_CD_SECTOR_BYTES = 2352;  // one sector of CD audio, 588 frames

// --- operations ----------------------------------------------------------------------------
// "vendor model revision" of the drive; null past the last drive. Valid for the program's life.
const char* BASS_CD_GetDriveDescription(DWORD drive);
// The drive's letter number (0 = A). Drives have no letters on Linux: (DWORD)-1 with
// BASS_ERROR_NOTAVAIL; use engine::cdDriveShortName() there.
DWORD BASS_CD_GetDriveLetter(DWORD drive);
BOOL BASS_CD_GetInfo(DWORD drive, BASS_CD_INFO* info);
// Opens, closes, locks or unlocks the door. FALSE with BASS_ERROR_NOTSUPPORTED for a disc image.
// Never waits for a busy drive: while the poller is reading the disc the action is queued, runs
// as soon as the drive is free, and TRUE is returned; BASS_CD_DoorIsOpen/IsLocked then follow.
BOOL BASS_CD_Door(DWORD drive, DWORD action);
BOOL BASS_CD_DoorIsOpen(DWORD drive);
BOOL BASS_CD_DoorIsLocked(DWORD drive);
// TRUE when a disc can be read.
BOOL BASS_CD_IsReady(DWORD drive);
// Number of tracks on the disc (audio and data), -1 on failure.
int BASS_CD_GetTracks(DWORD drive);
// Length of a track (0-based) in bytes of 16-bit stereo audio; -1 for a data track
// (BASS_ERROR_NOTAUDIO) or on failure.
int BASS_CD_GetTrackLength(DWORD drive, DWORD track);
// BASS_CDID_TEXT: the disc's CD-Text as "TITLE0=...", "PERFORMER1=..." NUL-terminated strings
// ended by an empty string (index 0 is the disc, k the k-th track), UTF-8; null when the disc has
// none. Valid until the next BASS_CD_GetID call for the same drive.
const char* BASS_CD_GetID(DWORD drive, DWORD id);
// A stream of an audio track (0-based): 44100 Hz, 2 channels, 16 bits, read with error
// correction. flags: BASS_STREAM_DECODE, BASS_STREAM_AUTOFREE. A read that fails fires
// BASS_SYNC_CD_ERROR syncs and ends the stream. 0 on failure.
HSTREAM BASS_CD_StreamCreate(DWORD drive, DWORD track, DWORD flags);

// --- our own calls -------------------------------------------------------------------------
namespace engine {

// Adds a disc image (.cue with its .bin of the same base name, .toc, .nrg) as a drive. Returns
// its drive index; an image already added returns its existing index (read again when its sheet
// or files changed on disk since). -1 when the image cannot
// be opened (BASS_ERROR_FILEOPEN: the image or its .bin is missing or unreadable) or is malformed
// (BASS_ERROR_FILEFORM); `why` then gets the reason for the user. A cue sheet is checked in full
// before it is read.
// `readAgain` (when given): an image added before, whose sheet or files changed on disk since,
// was read again (as a disc exchanged: its streams stop).
int cdAddImage(const std::string& utf8Path, std::string* why = nullptr, bool* readAgain = nullptr);
// The drive for a device path (/dev/sr0) or an image path, added when needed; -1 on failure.
int cdOpenSource(const std::string& utf8Path, std::string* why = nullptr);
// Whether the machine's drives are looked for at the first call (default true). Tests switch it
// off before any CD call so that only their images are drives.
void cdUseDeviceDrives(bool use);
// The drive's short name: the device's own name (sr0) or the image's file name; null past the
// last drive. Valid for the program's life.
const char* cdDriveShortName(DWORD drive);
int cdDriveCount();

// A drive stand-in for tests, on an image drive: the door reported open (the disc is then not
// ready and reads fail), reads failing from a sector on (disc sector, -1 = never), queries held
// until released (a drive that does not answer), the track count failing, and a CD-Text block
// of the test's own (NUL-separated strings; the terminating empty string is added). Applies at
// once.
struct CdTestFaults {
    bool doorOpen = false;
    int64_t failReadsFromSector = -1;
    bool holdQueries = false;
    bool failTrackCount = false;
    std::string cdText;
};
bool cdSetTestFaults(int drive, const CdTestFaults& faults);
// Removes every disc image drive (the machine's drives stay), so that a test starts with only
// its own images. Strings returned for the removed drives stay valid.
void cdRemoveImages();

}  // namespace engine

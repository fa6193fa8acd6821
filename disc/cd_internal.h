// Inside the CD layer: drives, their backends (a device or a disc image) and the poller that
// keeps each drive's last known state.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "disc/basscd.h"
#include "engine/engine_ext.h"

namespace engine::cd {

constexpr int kFramesPerSector = 588;

struct TrackEntry {
    int number = 0;       // as on the disc
    int32_t lsn = 0;      // first sector
    int32_t sectors = 0;  // up to the next track's start
    bool audio = false;
    int32_t pregap = 0;  // where its INDEX 00 starts (== lsn when the disc says none)
    bool preEmphasis = false, copyPermitted = false;
    std::string isrc;  // empty when the disc has none
};

// What the poller read from the disc in a drive.
struct Disc {
    std::vector<TrackEntry> tracks;
    int32_t leadout = 0;  // first sector after the last track
    std::string cdText;   // the CD-Text block with its terminating empty string; empty when none
    // Bytes of the last sector that an image cut inside a sector lacks (that sector is left out).
    uint32_t missingBytes = 0;
    std::string year;     // a disc image's, from its cue sheet's REM DATE; empty when not known
    std::string catalog;  // the disc's catalogue number (UPC/EAN), 13 digits; empty when none
};

// What a drive answered when last asked.
struct Probe {
    bool doorOpen = false;
    bool locked = false;
    bool ready = false;
    bool changed = false;  // a disc was inserted or exchanged since the last probe
};

// What error correction did while one stream read, counted by its reader.
struct ReadCounters {
    std::atomic<uint64_t> sectorsRead{0};
    std::atomic<uint32_t> corrected{0};
    std::atomic<uint32_t> skipped{0};
    std::atomic<uint32_t> reReads{0};
    std::atomic<uint32_t> readErrors{0};
};

// Reading a disc: one per stream, on its own handle so that a stream never waits for the poller.
class SectorReader {
  public:
    virtual ~SectorReader() = default;
    // Reads sector `lsn` (2352 bytes of little-endian 16-bit stereo) into `dst`. False on a read
    // error.
    virtual bool read(int32_t lsn, int16_t* dst) = 0;
    // The next read starts at `lsn`.
    virtual void seek(int32_t lsn) = 0;
};

// The hardware (or the image) behind a drive. probe() and readDisc() run on the poller's thread,
// door() on the caller's; the drive serialises them.
class Backend {
  public:
    virtual ~Backend() = default;
    virtual Probe probe() = 0;
    virtual std::shared_ptr<const Disc> readDisc() = 0;
    // 0 on success, else a BASS_ERROR_ code.
    virtual int door(DWORD action) = 0;
    // A reader over the sectors [first, first + count), counting into `counters`.
    virtual std::unique_ptr<SectorReader> openReader(int32_t first, int32_t count,
                                                     std::shared_ptr<ReadCounters> counters) = 0;
    // How its readers correct errors (the rip log says it).
    virtual std::string readMode() const;
    // The files an image reads besides its sheet (its .bin, the files its sheet names); none
    // for a drive.
    virtual std::vector<std::string> files() const { return {}; }
};

// An ISRC as it must be: 12 letters and digits (a drive or a sheet may hand back anything).
bool validIsrc(const char* s);

class Drive {
  public:
    Drive(std::unique_ptr<Backend> backend, std::string path, std::string name,
          std::string description, BASS_CD_INFO info, bool image);

    const std::string path;  // device or image path
    const std::string name;
    const std::string description;
    const BASS_CD_INFO info;
    const bool image;

    // Asks the drive now (poller thread, or the caller for an image's first answer), after the
    // door actions queued meanwhile.
    void poll();
    // Runs a door action now when the drive is free; queues it for the poller otherwise (0), and
    // always a move of a real tray.
    int door(DWORD action);

    bool doorOpen() const { return doorOpen_.load(); }
    // The drive was unplugged: every call on it fails, its streams stop reading.
    bool gone() const { return gone_.load(); }
    void markGone() { gone_ = true; }
    // Found among the machine's drives (not added by path): rescans may find it gone.
    std::atomic<bool> plugged{false};
    bool locked() const { return locked_.load(); }
    // The disc as last read; null while no readable disc is in the drive. `generation`: its
    // generation, for openReader.
    std::shared_ptr<const Disc> disc(uint64_t* generation = nullptr) const;
    // Changes whenever the disc is taken out or exchanged; a stream stops reading when it does.
    uint64_t discGeneration() const { return generation_.load(); }

    // Test stand-in.
    void setFaults(const CdTestFaults& faults);
    CdTestFaults faults() const;
    // Releases a poll held by holdQueries (shutdown).
    void releaseHold();

    // A reader of the disc of `generation` (as disc() gave it); null when the disc changed since.
    std::unique_ptr<SectorReader> openReader(int32_t first, int32_t count,
                                             std::shared_ptr<ReadCounters> counters,
                                             uint64_t generation);
    std::string readMode() const { return backend()->readMode(); }
    std::vector<std::string> files() const { return backend()->files(); }

    // An image whose sheet or files changed on disk since it was read (a sheet mended, a .bin
    // written again).
    bool imageChanged() const;
    // The image read again: as a disc exchanged, its streams stop and its table is the new one.
    void replaceImage(std::unique_ptr<Backend> backend);

    // Read offset in frames for streams created from now on.
    std::atomic<int> readOffset{0};
    // Test stand-in: sectors whose read reports a skip (value: the read fails too).
    void injectReadFault(int32_t sector, bool fail);
    // -1: no fault at `sector`; 0: a skip; 1: a skip and a failed read.
    int injectedFault(int32_t sector) const;

    std::mutex idMutex;  // guards lastId
    std::string lastId;  // the block BASS_CD_GetID returned last

  private:
    void store(const Probe& probe, std::shared_ptr<const Disc> disc);
    int runDoorAction(DWORD action);  // with ioMutex_ held
    void runQueuedDoorActions();      // with ioMutex_ held

    std::shared_ptr<Backend> backend() const;

    std::shared_ptr<Backend> backend_;  // guarded by stateMutex_, with stamp_
    std::string stamp_;                 // an image's files' sizes and times when read
    std::mutex ioMutex_;                // one hardware conversation at a time (poll, door)
    std::mutex doorQueueMutex_;
    std::vector<DWORD> doorQueue_;  // door actions waiting for the poller
    mutable std::mutex stateMutex_;
    std::shared_ptr<const Disc> disc_;
    std::atomic<bool> doorOpen_{false};
    std::atomic<bool> gone_{false};
    std::atomic<bool> locked_{false};
    std::atomic<uint64_t> generation_{0};

    mutable std::mutex faultMutex_;
    std::condition_variable holdCv_;
    CdTestFaults faults_;
    std::vector<std::pair<int32_t, bool>> injected_;
    bool released_ = false;
};

// The drive behind an index, null past the last drive (sets BASS_ERROR_DEVICE).
std::shared_ptr<Drive> driveAt(DWORD drive);

// Backends. An image that cannot be used says why in `problem` (an error code and a reason).
struct ImageProblem {
    int code = 0;
    std::string reason;
};
std::unique_ptr<Backend> openImageBackend(const std::string& path, std::string* description,
                                          BASS_CD_INFO* info, ImageProblem* problem);
// A cue sheet's FILE (`named`) beside the sheet `cue` or where its path leads from there; a sheet
// made on another machine may name it by a path of that machine ("C:\\Rips\\x.bin"), whose last
// name is then looked for beside the sheet, or by a path with backslashes or in another case.
// Empty when there is none.
std::string namedFile(const std::string& cue, const std::string& named);
// What a FILE (`named`) beside the sheet `cue` is when it is there but no file: "is a folder, not
// a file", "is a named pipe (FIFO), not a file", "is a device, not a file"; empty otherwise.
std::string notAFile(const std::string& cue, const std::string& named);

// `s` with its ASCII letters in lower case (file names and extensions compared in any case).
std::string asciiLower(std::string s);
// Whether the file at `path` begins as an audio file does (WAV, AIFF, FLAC, an MP3's ID3v2 tag),
// not as the raw sectors of a .bin.
bool isAudioFileByContent(const std::string& path);

// A cue sheet libcdio cannot read: several files (a .bin per track), or audio files (WAVE, AIFF,
// MP3: a WAV or FLAC of the whole disc or of each track) instead of a .bin. It is laid out by the
// sheet check and read by the program itself (cd_cue_files.cpp). Null with `problem` set when it is
// refused.
// `fileOf` finds the file a FILE line names (namedFile, or more) of the sheet at `cue`.
std::unique_ptr<Backend> openCueFiles(const std::string& cue, const std::string& text,
                                      std::string* description, BASS_CD_INFO* info,
                                      ImageProblem* problem,
                                      const std::function<std::string(const std::string&)>& fileOf);

std::unique_ptr<Backend> openDeviceBackend(const std::string& device, std::string* description,
                                           BASS_CD_INFO* info);
std::vector<std::string> findDevices();

// Builds the CD-Text block from libcdio's CD-Text (a cdtext_t*) for `tracks` tracks numbered
// from `firstTrack` on the disc.
std::string buildCdTextBlock(const void* cdtext, int firstTrack, int tracks);

// The audio of a track (0-based) as an engine source; null with *error set when the drive has no
// such audio track or it cannot be opened.
// `counters` receives what error correction did while the source reads.
// kHiddenTrack as `track`: the audio before the first track's INDEX 01.
std::unique_ptr<Source> openTrackSource(DWORD drive, DWORD track, int* error,
                                        std::shared_ptr<ReadCounters> counters = nullptr);
constexpr DWORD kHiddenTrack = 0xffffffffu;

// The error correction mode of every reader through paranoia (Backend::readMode describes it).
int paranoiaMode();

}  // namespace engine::cd

// Extracting a CD track to a WAV file (bit for bit, behind the program's WAV header) or to a WMA
// file, without a window. The CD window and `quorvin cd-rip` both extract through these.
//
// The door is locked while the track is read and unlocked afterwards. The track is read in
// blocks of 20000 bytes from a decoding CD stream; after each block `progress` runs (the command
// line draws its bar; the window reads on a thread of its own). A read that fails ends the
// extraction with what was read so far: a WAV file's header then describes exactly those bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/bass.h"

namespace cd {

constexpr uint32_t kExtractBlockBytes = 20000;

struct ExtractHooks {
    // The stream, as soon as it exists (the window shows its position while it is read), on the
    // extracting thread.
    std::function<void(HSTREAM)> onStream;
    // After every block: bytes read so far and the track's length in bytes.
    std::function<void(uint64_t done, uint64_t total)> progress;
    // After every block, on the extracting thread: true ends the extraction as Stopped, keeping
    // nothing (the WAV file is removed; a WMA file already at the path is left as it was).
    std::function<bool()> stop;
};

struct ExtractResult {
    enum class Status {
        Done,
        StreamFailed,   // the track could not be opened (data track, no disc): nothing written
        ReadFailed,     // the disc failed part-way: the file holds what was read
        WriteFailed,    // the output could not be created or written
        EncoderFailed,  // the WMA encoder could not be opened or failed while encoding
        NoBitrate,      // a WMA extraction without a bit rate (no encoder): nothing written
        Stopped,        // ExtractHooks::stop asked for it: nothing kept
    };
    Status status = Status::Done;
    int engineError = 0;      // BASS_ErrorGetCode() for the engine's failures
    uint64_t bytesRead = 0;   // audio bytes read from the disc
    uint64_t trackBytes = 0;  // the track's length
    double seconds = 0.0;     // time taken (monotonic clock)
    std::string message;      // for ReadFailed / WriteFailed: what happened, for the user
    std::string reason;       // the system's reason behind an EncoderFailed, when it gave one
    bool ok() const { return status == Status::Done; }
};

// Track `track` (0-based) of `drive` into the WAV file `path` (created or emptied).
ExtractResult extractTrackToWav(int drive, int track, const std::string& path,
                                const ExtractHooks& hooks = {});

// The eight WMA tag names, in the order of the window's tag boxes.
const std::vector<std::string>& wmaTagNames();

// Track `track` of `drive` into the WMA file `path` at `bitrate` bits per second with `tags`
// (name, text); tags with an empty text are left out. The file is encoded under a temporary name
// beside `path` and put in place only when complete: after any failure a file already at `path`
// is left as it was.
ExtractResult extractTrackToWma(int drive, int track, uint32_t bitrate, const std::string& path,
                                const std::vector<std::pair<std::string, std::string>>& tags,
                                const ExtractHooks& hooks = {});

}  // namespace cd

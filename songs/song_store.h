// What the program keeps per song for practising: named loops (one of them current), named
// markers, the position last played, and the octave the user set the BPM shown to. Songs are known
// by their contents, not their path, so a renamed or moved file is still found: the key is the
// file's size and a hash of its first and last megabyte. Each song is one small JSON file in the
// store's folder (`songs/` under
// `$XDG_DATA_HOME/quorvin`, else `~/.local/share/quorvin`), written through a temporary; a file
// that is damaged or not ours is put aside (renamed to NAME.damaged, or NAME.2.damaged and on when
// that is taken: never over an earlier one) and the song starts empty, with a note that says so. A
// file of a newer version of the program is left as it is, neither read nor written, with a note.
// Plain C++ over Qt Core's JSON; any thread, one store per thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/result.h"

namespace songs {

struct Loop {
    std::string name;
    double start = 0.0, end = 0.0;  // seconds on the file's timeline; start < end when set
    bool set() const { return start < end; }
    bool operator==(const Loop&) const = default;
};

struct Marker {
    std::string name;
    double at = 0.0;  // seconds
    bool operator==(const Marker&) const = default;
};

struct SongRecord {
    std::vector<Loop> loops;
    int currentLoop = -1;  // index into loops, -1: none
    std::vector<Marker> markers;
    double lastPosition = 0.0;  // seconds
    int bpmOctave = 0;          // the BPM shown is the detected one times 2^bpmOctave (-2..2)
    bool empty() const {
        return loops.empty() && markers.empty() && lastPosition <= 0.0 && bpmOctave == 0;
    }
    bool operator==(const SongRecord&) const = default;
};

// A song's identity: its size and the hash of its first and last megabyte.
struct SongKey {
    uint64_t size = 0;
    std::string hash;  // hex; empty when the file could not be read
    bool valid() const { return !hash.empty(); }
    // The store's file name for the song.
    std::string fileName() const;
};

// The key of the file at `path` (UTF-8); invalid when it cannot be read.
SongKey songKey(const std::string& path);

// `$XDG_DATA_HOME/quorvin`, or `~/.local/share/quorvin` when that is not set.
std::string defaultDataFolder();

// What is stored now (`stored`, perhaps written meanwhile by another running copy of the program)
// with the changes one copy made to its record since it last read or wrote it (`from` to `to`):
// loops and markers it added or removed (alike in every field: one moved or renamed is removed
// and added), and its current loop, last position and BPM octave where it changed them. What the
// other copy made stays.
SongRecord mergeChanges(SongRecord stored, const SongRecord& from, const SongRecord& to);

// The record as the store writes it, and read back: false (with `why`) for text that is not a
// record of this program's store, or one whose values make no sense (a loop ending before it
// starts, a negative time); `newer` (when given) tells a record of a newer version of the program.
std::string toJson(const SongRecord& record);
bool fromJson(const std::string& text, SongRecord& record, std::string& why, bool* newer = nullptr);

class SongStore {
  public:
    // `dataFolder`: where the program keeps its data; the songs go in its `songs` folder.
    explicit SongStore(std::string dataFolder = defaultDataFolder());

    struct Loaded {
        SongRecord record;
        // For the user when the stored file was ignored (damaged, foreign, or of a newer
        // version); empty otherwise.
        std::string note;
    };
    // The song's record; empty when nothing is stored for it.
    Loaded load(const SongKey& key) const;
    // Writes the record through a temporary (an empty record removes the song's file). A newer
    // version's file stays as it is: a failure that says so.
    files::Result save(const SongKey& key, const SongRecord& record) const;
    std::string folder() const { return folder_; }

  private:
    std::string folder_;
};

}  // namespace songs

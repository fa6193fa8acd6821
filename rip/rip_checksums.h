// Checksums of a ripped disc that other people's rips can be compared with: per track the
// AccurateRip v1 and v2 sums and the CRC32 of its PCM; per disc the AccurateRip disc IDs and the
// freedb disc ID.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cd {

constexpr uint32_t kFramesPerSector = 588;
// AccurateRip leaves out five sectors at each end of the disc (drives cannot all reach them).
constexpr uint32_t kAccurateRipEdgeFrames = 5 * kFramesPerSector;
// LBAs on the disc start at 0; the MSF addresses that freedb and AccurateRip use start at 150.
constexpr uint32_t kLeadInSectors = 150;

// The running checksums of one track, fed with its 16-bit stereo PCM in order, in pieces of any
// size (a piece may end in the middle of a frame).
class TrackChecksums {
  public:
    // `totalFrames`: the track's length in stereo frames; first/last: whether it is the first or
    // the last audio track of the disc (their edge frames are left out of the AccurateRip sums).
    TrackChecksums(uint64_t totalFrames, bool firstTrack, bool lastTrack);

    void add(const uint8_t* pcm, size_t bytes);

    uint32_t accurateRipV1() const { return v1_; }
    uint32_t accurateRipV2() const { return v2_; }
    uint32_t crc32() const { return crc_; }
    // The largest absolute sample value seen (0..32768).
    uint32_t peak() const { return peak_; }
    uint64_t frames() const { return index_; }

  private:
    void addFrame(uint32_t frame);

    uint64_t first_, last_;  // 1-based frame positions counted in the AccurateRip sums
    uint64_t index_ = 0;     // frames added so far
    uint32_t v1_ = 0, v2_ = 0;
    uint32_t crc_ = 0;
    uint32_t peak_ = 0;
    uint8_t pending_[4] = {};
    size_t pendingBytes_ = 0;
};

// A disc's layout for its IDs: the start LBA of every track (audio and data, in order), which of
// them are audio (empty: all), and the lead-out's LBA (the end of the last track of any kind, on
// a multi-session disc that of the last session), as on the disc (first track usually 0).
struct DiscLayout {
    std::vector<uint32_t> trackStarts;
    std::vector<bool> audio;
    uint32_t leadOut = 0;
    // A disc image's layout, with each track's INDEX 00 in `pregaps` (its start when it has none;
    // empty: none known). A drive's table of contents has the 11400 sectors between an enhanced
    // CD's sessions before its data track; an image has them only where it lays them out, as that
    // track's gap.
    bool image = false;
    std::vector<uint32_t> pregaps = {};
};

struct DiscIds {
    uint32_t accurateRip1 = 0;
    uint32_t accurateRip2 = 0;
    uint32_t freedb = 0;
    int tracks = 0;       // every track (the freedb ID counts them all)
    int audioTracks = 0;  // the AccurateRip IDs count and number the audio tracks only
};

DiscIds discIds(const DiscLayout& layout);

// "0000abcd": eight lower-case hexadecimal digits.
std::string hex8(uint32_t value);
// Where the AccurateRip database keeps the disc's results:
// http://www.accuraterip.com/accuraterip/a/b/c/dBAR-NNN-id1-id2-freedb.bin
std::string accurateRipUrl(const DiscIds& ids);

// The MusicBrainz disc ID of the disc's audio session: the data tracks at its end (an enhanced
// CD's second session) are left out, its lead-out then 11400 sectors (the gap between sessions)
// before the first of them where the layout has that gap, else where the audio ends (the data
// track's INDEX 00 or start); never at or before the last audio track's start. 28 characters of
// base64 in MusicBrainz's alphabet ('.', '_', '-').
std::string musicBrainzDiscId(const DiscLayout& layout);
// The MusicBrainz page that looks the disc up by its ID and table of contents.
std::string musicBrainzUrl(const DiscLayout& layout);

}  // namespace cd

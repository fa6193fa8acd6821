// The waveform overview of an audio file: the lowest and highest sample of each column of a fixed
// number of columns, per channel or mixed, computed without a window (on a worker thread), first
// coarsely from short pieces spread over the file, then exactly from a full decode. Overviews are
// cached by path, size and modification time, in memory and, when given a folder, on disk.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace player {

enum class OverviewChannels { Mixed, PerChannel };

struct WaveformOverview {
    int channels = 1;       // channels kept: 1 when mixed
    int rate = 0;           // of the file
    int64_t frames = 0;     // length of the file in frames
    int columns = 0;        // columns covered (the last may cover fewer frames)
    bool exact = false;     // false for the coarse first pass: each column from a piece of it
    std::vector<float> lo;  // [column * channels + channel], -1..1
    std::vector<float> hi;

    double seconds() const { return rate > 0 ? double(frames) / rate : 0.0; }
    // First frame of `column` (column == columns: the end).
    int64_t columnStart(int column) const;
};

struct OverviewResult {
    bool ok = false;
    std::string message;  // for the user when !ok
    std::shared_ptr<const WaveformOverview> overview;
    bool unreadable = false;  // when !ok: the file could not be read (else: not audio)
};

// Identity of a file's contents for the cache; empty path when the file cannot be examined.
struct OverviewKey {
    std::string path;
    uint64_t size = 0;
    int64_t mtimeNs = 0;
    int columns = 0;
    OverviewChannels mode = OverviewChannels::Mixed;
    bool operator==(const OverviewKey&) const = default;
};
OverviewKey overviewKey(const std::string& utf8Path, int columns, OverviewChannels mode);

// The peaks of interleaved 16-bit `pcm` (`frames` frames of `channels`) folded into `ov`, whose
// first frame is `firstFrame` of the file. `ov` has its columns, channels and frames set.
void addPeaks(WaveformOverview& ov, const int16_t* pcm, int64_t frames, int channels,
              int64_t firstFrame);

struct OverviewRequest {
    std::string path;  // UTF-8
    int columns = 2000;
    OverviewChannels mode = OverviewChannels::Mixed;
    int coarseColumns = 64;  // 0: no coarse pass
    // Each decoded block checks it; a cancelled computation returns !ok with an empty message.
    const std::atomic<bool>* cancel = nullptr;
    // Called on the computing thread with each overview worth drawing: the coarse one, then the
    // exact one filled up to where the decode stands (about every `refineSeconds` of work).
    std::function<void(std::shared_ptr<const WaveformOverview>)> progress;
    double refineSeconds = 0.25;
};

// Decodes the file (through the engine's file sources) and returns its exact overview.
OverviewResult computeOverview(const OverviewRequest& request);

// Overviews by file identity. Thread-safe. Keeps the most recent `capacity` in memory; with a
// folder, also writes each exact overview there (through a temporary file) and reads it back in
// later runs.
class OverviewCache {
  public:
    explicit OverviewCache(std::string diskFolder = {}, size_t capacity = 16);
    std::shared_ptr<const WaveformOverview> find(const OverviewKey& key);
    void store(const OverviewKey& key, std::shared_ptr<const WaveformOverview> overview);
    // Overviews kept on disk (about 16 kB each): the oldest go beyond it.
    static constexpr size_t kMaxDiskEntries = 500;

  private:
    std::string diskPath(const OverviewKey& key) const;
    void pruneDisk() const;
    std::string folder_;
    size_t capacity_;
    std::mutex mutex_;
    std::list<std::pair<OverviewKey, std::shared_ptr<const WaveformOverview>>> entries_;
};

// computeOverview through `cache`: a cached overview is returned at once (without progress).
OverviewResult cachedOverview(OverviewCache& cache, const OverviewRequest& request);

}  // namespace player

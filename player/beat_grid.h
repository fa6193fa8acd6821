// The beat grid of a file, for the count-in: the beats the beat tracker finds in its first minute,
// and the beat period they keep, so that a count-in from any point falls on the grid (beyond the
// beats found, the grid goes on at that period). Estimated off the window thread, one file at a
// time, as the key is (player/key_worker.h).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace player {

struct BeatGrid {
    std::vector<double> beats;  // seconds on the file's timeline, rising
    double period = 0.0;        // seconds; 0: no grid

    bool known() const { return period > 0 && !beats.empty(); }
    // From `seconds` to the first beat at or after it, in seconds (0 without a grid).
    double toBeat(double seconds) const;
};

// The grid of the file at `utf8Path` (its first `maxSeconds`); empty when it cannot be read, has
// no steady beat, or `*cancel` became true. Any thread.
BeatGrid fileBeatGrid(const std::string& utf8Path, const std::atomic<bool>* cancel,
                      double maxSeconds = 60.0);

class BeatGridWorker {
  public:
    using Done = std::function<void(BeatGrid)>;
    BeatGridWorker() = default;
    ~BeatGridWorker() { cancel(); }
    BeatGridWorker(const BeatGridWorker&) = delete;
    BeatGridWorker& operator=(const BeatGridWorker&) = delete;

    // Cancels the one under way and starts on `utf8Path`; `done` runs on the window thread with
    // the grid unless cancelled first. Window thread.
    void start(const std::string& utf8Path, Done done);
    void cancel();

  private:
    std::shared_ptr<std::atomic<bool>> cancel_;
};

}  // namespace player

// The key and the chords of the loaded file, estimated off the window thread (in one decoding): one
// file at a time on the global thread pool; a new file (or the worker's end) cancels the one under
// way, and its answer is never delivered. The answer reaches the window thread through
// platform::postToWindowThread.
//
// The file is decoded through its own engine source, not a channel: Play frees the engine (and
// every channel) while the estimate may still be running.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <vector>

#include "analysis/chord_detect.h"
#include "analysis/key_detect.h"

namespace player {

struct Harmony {
    // Nothing when the file holds no lasting pitched sound.
    std::optional<analysis::key::KeyEstimate> key;
    std::vector<analysis::chords::ChordSpan> chords;
};

// The key and chords of the file at `utf8Path`; nothing when it cannot be read or `*cancel`
// became true. Any thread.
std::optional<Harmony> estimateFileHarmony(const std::string& utf8Path,
                                           const std::atomic<bool>* cancel);

class KeyWorker {
  public:
    // Nothing when the file could not be read.
    using Done = std::function<void(std::optional<Harmony>)>;
    KeyWorker() = default;
    ~KeyWorker() { cancel(); }
    KeyWorker(const KeyWorker&) = delete;
    KeyWorker& operator=(const KeyWorker&) = delete;

    // Cancels the estimate under way and starts one for `utf8Path`; `done` runs on the window
    // thread with its answer, unless it was cancelled first. Window thread.
    void start(const std::string& utf8Path, Done done);
    // Window thread.
    void cancel();

  private:
    std::shared_ptr<std::atomic<bool>> cancel_;
};

}  // namespace player

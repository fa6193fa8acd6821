// The one way the program hands work from the engine's threads (decoder worker, output clock,
// BPM worker, encoder and normaliser workers) to the window thread. The work is queued on the
// application object, which lives as long as the program, so a thread never needs a pointer to a
// window that may be closing: the work looks the window up when it runs, on the window thread.
// Any thread may call postToWindowThread; the work runs on the window thread.
#pragma once

#include <functional>

namespace platform {

// Runs `work` later on the window thread. Does nothing when no application object exists.
void postToWindowThread(std::function<void()> work);

}  // namespace platform

// The one way the program hands work from the engine's threads (decoder worker, output clock,
// BPM worker, encoder and normaliser workers) to the window thread. The work is queued on the
// application object, which lives as long as the program, so a thread never needs a pointer to a
// window that may be closing: the work looks the window up when it runs, on the window thread.
// Any thread may call postToWindowThread; the work runs on the window thread.
//
// And the way back: small file work the window thread hands off so that it never waits on a
// drive (the song store's reads and writes, the desktop's recent list) runs off it, in order.
#pragma once

#include <functional>

namespace platform {

// Runs `work` later on the window thread. Does nothing when no application object exists.
void postToWindowThread(std::function<void()> work);

// Runs `work` on Qt's global thread pool once every work handed here before it has ended: one at
// a time, in the order given, so that a read sees the writes asked for before it. The program's
// end waits for them, as for every task of that pool. Any thread; `work` must not throw.
void runInOrderOffWindowThread(std::function<void()> work);

}  // namespace platform

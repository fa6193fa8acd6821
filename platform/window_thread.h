// The one way the program hands work from the engine's threads (decoder worker, output clock,
// BPM worker, encoder and normaliser workers) to the window thread. The work is queued on the
// application object, which lives as long as the program, so a thread never needs a pointer to a
// window that may be closing: the work looks the window up when it runs, on the window thread.
// Any thread may call postToWindowThread; the work runs on the window thread.
//
// And the way out: file work the window thread hands off so that it never waits on a drive, in
// order (the song store, the desktop's recent list) or waited for with its events flowing.
#pragma once

#include <functional>

namespace platform {

// Runs `work` later on the window thread. Does nothing when no application object exists.
void postToWindowThread(std::function<void()> work);

// Runs `work` on Qt's global thread pool once every work handed here before it has ended: one at
// a time, in the order given, so that a read sees the writes asked for before it. The program's
// end waits for them (finishInOrderWork). Any thread; `work` must not throw.
void runInOrderOffWindowThread(std::function<void()> work);
// Returns once every work handed to runInOrderOffWindowThread has ended: the program's end calls
// it, so that a save asked for last (the position at Stop) is not lost with the program.
void finishInOrderWork();

// Runs `work` on a thread of its own and returns once it has, while the window thread goes on
// handling its events (a local event loop): for a step the window's flow waits for, such as the
// copy of a finished render to where the user chose, so that the window is drawn and answers
// while the drive works. Window thread; `work` must not throw or touch a widget.
void waitOffWindowThread(const std::function<void()>& work);

}  // namespace platform

// Opening the sound output for the windows, with a way on when there is no sound device: after
// the window's own message the user may continue without sound (the null output, for every
// window from then on), try the device again, or cancel. Window thread only.
#pragma once

#include <functional>

namespace player {

// Frees the engine and opens the output again. When the device cannot be opened, `sayFailure`
// shows the window's message, then the choice is offered. False (nothing open) on Cancel.
bool openSoundOutput(const std::function<void()>& sayFailure);

// The user chose to continue without sound: nothing is heard until the program ends.
bool playingWithoutSound();

}  // namespace player

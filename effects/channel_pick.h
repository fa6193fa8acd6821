// Which sides of a stereo recording are heard: both as recorded, the left or the right one alone
// (on both sides), or the two mixed to mono. Players of hard-panned recordings use it to hear one
// instrument alone; mono hears a mix as a single speaker does.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/bass.h"

namespace effects {

enum class Channels { Stereo, Left, Right, Mono };

// One block of 16-bit interleaved stereo frames, in place: the side chosen on both sides, or
// floor((left + right) / 2) on both for Mono. Stereo leaves them as they are.
void pickChannels(Channels which, int16_t* frames, size_t count);

// Attaches the pick to `channel` at `priority`; the DSP handle (0 on failure). On a channel that
// is not stereo, or for Channels::Stereo, the procedure is attached but leaves the audio alone.
HDSP attachChannelPick(DWORD channel, Channels which, int priority);

}  // namespace effects

// What the CD window's panels share: the selected drive and the stream that plays (or the last
// one extracted). Window thread only.
#pragma once

#include "engine/bass.h"

namespace cd {

struct CdSession {
    int currentDrive = 0;
    DWORD currentChannel = 0;
    DWORD failedChannel = 0;  // the stream whose read error was reported
    bool closed = false;      // the window has ended its work: late posts do nothing
};

}  // namespace cd

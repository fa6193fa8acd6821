// What the CD window's panels share: the selected drive and the stream that plays (or the last
// one extracted). Window thread only.
#pragma once

#include <atomic>
#include <memory>

#include "engine/bass.h"

namespace cd {

struct CdSession {
    int currentDrive = 0;
    DWORD currentChannel = 0;
    DWORD failedChannel = 0;  // the stream whose read error was reported
    bool closed = false;      // the window has ended its work: late posts do nothing
    // The last track asked to play, counted: a track being opened off the window thread plays
    // only while it is still the last asked for (shared with that work, which may outlive the
    // window).
    std::shared_ptr<std::atomic<int>> playRequest = std::make_shared<std::atomic<int>>(0);

    // Stops the stream that plays, and a track still being opened.
    void stopPlaying() {
        ++*playRequest;
        BASS_ChannelStop(currentChannel);
    }
};

}  // namespace cd

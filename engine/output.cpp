// Output: temporary placeholder until playback lands.
#include "engine/core_internal.h"

namespace engine::detail {
struct PlayState {};
bool outputReady() {
    return false;
}
void detachFromOutput(Channel&) {}
bool flushPlayback(Channel&, int64_t) {
    return true;
}
QWORD playedPositionBytes(Channel&, bool* valid) {
    *valid = false;
    return 0;
}
void cancelSlide(Channel&, bool, bool, bool) {}
}  // namespace engine::detail

using namespace engine::detail;
DWORD BASS_ChannelIsActive(DWORD handle) {
    auto ch = findChannel(handle);
    if (!ch) return fail(BASS_ERROR_HANDLE, BASS_ACTIVE_STOPPED);
    std::lock_guard g(*ch->lock);
    return ch->atEnd() ? BASS_ACTIVE_STOPPED : BASS_ACTIVE_PLAYING;
}
BOOL BASS_Free() {
    freeAllChannels();
    return kTrue;
}

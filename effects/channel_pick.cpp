#include "effects/channel_pick.h"

namespace effects {

namespace {

// The procedures' user data: one constant per choice, so that nothing is owned per channel.
constexpr Channels kChoices[] = {Channels::Stereo, Channels::Left, Channels::Right, Channels::Mono};

void channelPickDsp(HDSP, DWORD, void* buffer, DWORD length, void* user) {
    pickChannels(*static_cast<const Channels*>(user), static_cast<int16_t*>(buffer), length / 4);
}

}  // namespace

void pickChannels(Channels which, int16_t* frames, size_t count) {
    if (which == Channels::Stereo) return;
    for (size_t i = 0; i < count; ++i, frames += 2) {
        const int16_t left = frames[0], right = frames[1];
        const int16_t v = which == Channels::Left    ? left
                          : which == Channels::Right ? right
                                                     : int16_t((int32_t(left) + right) >> 1);
        frames[0] = frames[1] = v;
    }
}

HDSP attachChannelPick(DWORD channel, Channels which, int priority) {
    BASS_CHANNELINFO info{};
    const bool stereo = BASS_ChannelGetInfo(channel, &info) && info.chans == 2;
    const Channels* user = &kChoices[int(stereo ? which : Channels::Stereo)];
    return BASS_ChannelSetDSP(channel, &channelPickDsp, const_cast<Channels*>(user), priority);
}

}  // namespace effects

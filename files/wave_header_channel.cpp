// Filling a WAV header from an engine channel: the one part of the WAV header code that asks the
// engine.
#include "files/wave_header.h"

namespace files {

std::optional<WaveHeader> WaveHeader::fromChannel(DWORD channel) {
    BASS_CHANNELINFO info{};
    DWORD rate = 0;
    if (!BASS_ChannelGetInfo(channel, &info) ||
        !BASS_ChannelGetAttributes(channel, &rate, nullptr, nullptr))
        return std::nullopt;
    return forFormat(int(info.chans), int(rate), (info.flags & BASS_SAMPLE_8BITS) != 0);
}

}  // namespace files

// Reading all that a decoding engine channel delivers, for the tests.
#pragma once

#include <vector>

#include "engine/bass.h"
#include "tests/support/audio_fixtures.h"

namespace fixtures {

// Everything the decoding channel `handle` delivers from where it stands, read in blocks of
// `blockBytes` bytes, with its rate and channel count.
inline Pcm readChannel(DWORD handle, DWORD blockBytes = 20000) {
    BASS_CHANNELINFO info{};
    BASS_ChannelGetInfo(handle, &info);
    Pcm pcm{int(info.freq), int(info.chans), {}};
    std::vector<int16_t> buf(blockBytes / 2 + 2);
    for (;;) {
        const int n = BASS_ChannelGetData(handle, buf.data(), blockBytes);
        if (n <= 0) break;
        pcm.samples.insert(pcm.samples.end(), buf.begin(), buf.begin() + n / 2);
    }
    return pcm;
}

}  // namespace fixtures

// The channel order of Vorbis, and of Opus streams of channel mapping family 1 (3 to 8 channels:
// front left, centre, front right, then the rear or side pairs, the LFE last), against WAVE's
// (front left, front right, centre, LFE, back pair, side pair), which the rest of the program
// uses. A decoder puts each frame into WAVE's order (whose usual speaker mask for the count, the
// one a mask of 0 stands for, then says the channels' places); an encoder into Vorbis's.
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine {

// For `channels` (3..8) the Vorbis channel each WAVE channel comes from: wave[k] =
// vorbis[order[k]]. Null where the orders agree (1, 2 and 4 channels) or none is defined.
inline const int* vorbisToWaveOrder(int channels) {
    static constexpr int k3[] = {0, 2, 1};                 // L C R
    static constexpr int k5[] = {0, 2, 1, 3, 4};           // FL C FR RL RR
    static constexpr int k6[] = {0, 2, 1, 5, 3, 4};        // FL C FR RL RR LFE
    static constexpr int k7[] = {0, 2, 1, 6, 5, 3, 4};     // FL C FR SL SR RC LFE
    static constexpr int k8[] = {0, 2, 1, 7, 5, 6, 3, 4};  // FL C FR SL SR RL RR LFE
    switch (channels) {
        case 3:
            return k3;
        case 5:
            return k5;
        case 6:
            return k6;
        case 7:
            return k7;
        case 8:
            return k8;
        default:
            return nullptr;
    }
}

// Reorders `frames` interleaved frames of `channels` in place: from Vorbis's order to WAVE's, or
// (`toVorbis`) back.
template <class T>
void reorderVorbisChannels(T* samples, size_t frames, int channels, bool toVorbis) {
    const int* order = vorbisToWaveOrder(channels);
    if (!order) return;
    T frame[8];
    for (size_t f = 0; f < frames; ++f) {
        T* s = samples + f * size_t(channels);
        for (int k = 0; k < channels; ++k) frame[k] = s[k];
        for (int k = 0; k < channels; ++k) {
            if (toVorbis)
                s[order[k]] = frame[k];
            else
                s[k] = frame[order[k]];
        }
    }
}

}  // namespace engine

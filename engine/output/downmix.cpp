// The stereo downmix of engine_ext.h.
#include <algorithm>
#include <bit>
#include <cmath>

#include "engine/engine_ext.h"

namespace engine {

// The mask FLAC's channel order gives each count (WAVE's usual masks for 4, 6 and 8 channels).
uint32_t usualSpeakerMask(int chans) {
    switch (chans) {
        case 1:
            return 0x4;  // C
        case 2:
            return 0x3;  // L R
        case 3:
            return 0x7;  // L R C
        case 4:
            return 0x33;  // L R BL BR
        case 5:
            return 0x37;  // L R C BL BR
        case 6:
            return 0x3f;  // 5.1
        case 7:
            return 0x70f;  // 6.1: L R C LFE BC SL SR
        case 8:
            return 0x63f;  // 7.1: L R C LFE BL BR SL SR
        default:
            return 0;
    }
}

StereoDownmix stereoDownmix(int chans, uint32_t speakerMask) {
    StereoDownmix m;
    chans = std::clamp(chans, 1, kMaxChannels);
    if (chans == 1) {
        m.left[0] = m.right[0] = 1.0f;
        return m;
    }
    if (chans == 2) {
        m.left[0] = m.right[1] = 1.0f;
        return m;
    }
    const double half = std::sqrt(0.5);  // -3 dB
    double l[kMaxChannels] = {}, r[kMaxChannels] = {};
    uint32_t mask = std::popcount(speakerMask) == chans ? speakerMask : usualSpeakerMask(chans);
    if (mask) {
        for (int c = 0; c < chans; ++c) {
            const int bit = std::countr_zero(mask);
            mask &= mask - 1;
            switch (Speaker(bit)) {
                case FrontLeft:
                case FrontLeftOfCentre:
                    l[c] = 1;
                    break;
                case FrontRight:
                case FrontRightOfCentre:
                    r[c] = 1;
                    break;
                case FrontCentre:
                case TopCentre:
                case TopFrontCentre:
                    l[c] = r[c] = half;
                    break;
                case Lfe:
                    break;
                case BackLeft:
                case SideLeft:
                case TopFrontLeft:
                case TopBackLeft:
                    l[c] = half;
                    break;
                case BackRight:
                case SideRight:
                case TopFrontRight:
                case TopBackRight:
                    r[c] = half;
                    break;
                case BackCentre:
                case TopBackCentre:
                    l[c] = r[c] = half * half;
                    break;
                default:
                    l[c] = r[c] = half;
                    break;  // a speaker WAVE reserves: in the middle
            }
        }
    } else {
        for (int c = 0; c < chans; ++c) (c % 2 ? r : l)[c] = 1;
    }
    double sumL = 0, sumR = 0;
    for (int c = 0; c < chans; ++c) sumL += l[c], sumR += r[c];
    const double scale = 1.0 / std::max({sumL, sumR, 1.0});
    for (int c = 0; c < chans; ++c) {
        m.left[c] = float(l[c] * scale);
        m.right[c] = float(r[c] * scale);
    }
    return m;
}

}  // namespace engine
